// Turns a dialog template of the program's resources into the extended
// dialog template (DLGTEMPLATEEX) that the system's dialog manager builds a
// window from, so that the dialog units, the font, the controls and their tab
// order are the system's own business, as in a resource script.
#pragma once

#include "platform/win32/SystemHeaders.h"

#include <vector>

#include "platform/DialogTemplate.h"

namespace vardel::win32 {

// The template in memory, DWORD-aligned as DialogBoxIndirectParamW wants it.
class DialogTemplateBytes {
public:
    explicit DialogTemplateBytes(const DialogTemplate& dialogTemplate);

    [[nodiscard]] LPCDLGTEMPLATEW Get() const {
        return reinterpret_cast<LPCDLGTEMPLATEW>(words_.data());
    }
    [[nodiscard]] std::size_t Size() const { return words_.size() * sizeof(WORD); }

private:
    void Word(WORD value) { words_.push_back(value); }
    void Dword(DWORD value);
    void Coordinate(int value);
    void Text(const char16_t* text);
    void AlignToDword();
    void Control(const ControlTemplate& control);

    std::vector<WORD> words_;
};

}  // namespace vardel::win32
