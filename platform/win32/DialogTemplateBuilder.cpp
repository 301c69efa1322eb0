#include "platform/win32/DialogTemplateBuilder.h"

namespace vardel::win32 {

namespace {

constexpr WORD kExtendedVersion = 1;
constexpr WORD kExtendedSignature = 0xFFFF;
constexpr WORD kNone = 0;  // no menu, the default dialog class, no creation data
constexpr WORD kDefaultWeight = FW_NORMAL;
constexpr BYTE kNotItalic = FALSE;
constexpr BYTE kCharset = DEFAULT_CHARSET;

}  // namespace

DialogTemplateBytes::DialogTemplateBytes(const DialogTemplate& dialogTemplate) {
    Word(kExtendedVersion);
    Word(kExtendedSignature);
    Dword(0);  // help identifier
    Dword(0);  // extended style
    Dword(dialogTemplate.style);
    Word(static_cast<WORD>(dialogTemplate.controlCount));
    Coordinate(dialogTemplate.rect.x);
    Coordinate(dialogTemplate.rect.y);
    Coordinate(dialogTemplate.rect.width);
    Coordinate(dialogTemplate.rect.height);
    Word(kNone);  // menu
    Word(kNone);  // window class
    Text(dialogTemplate.caption);
    if ((dialogTemplate.style & DS_SETFONT) != 0) {
        Word(static_cast<WORD>(dialogTemplate.fontPointSize));
        Word(kDefaultWeight);
        Word(MAKEWORD(kNotItalic, kCharset));
        Text(dialogTemplate.fontFace);
    }
    for (std::size_t i = 0; i < dialogTemplate.controlCount; ++i) {
        Control(dialogTemplate.controls[i]);
    }
}

void DialogTemplateBytes::Dword(DWORD value) {
    Word(LOWORD(value));
    Word(HIWORD(value));
}

void DialogTemplateBytes::Coordinate(int value) {
    Word(static_cast<WORD>(static_cast<short>(value)));
}

void DialogTemplateBytes::Text(const char16_t* text) {
    for (const char16_t* unit = text; unit != nullptr && *unit != u'\0'; ++unit) {
        Word(static_cast<WORD>(*unit));
    }
    Word(0);
}

// The buffer itself starts DWORD-aligned, so a count of words decides.
void DialogTemplateBytes::AlignToDword() {
    if (words_.size() % 2 != 0) Word(0);
}

void DialogTemplateBytes::Control(const ControlTemplate& control) {
    AlignToDword();
    Dword(0);  // help identifier
    Dword(0);  // extended style
    Dword(control.style);
    Coordinate(control.rect.x);
    Coordinate(control.rect.y);
    Coordinate(control.rect.width);
    Coordinate(control.rect.height);
    Dword(static_cast<DWORD>(control.id));
    Text(control.windowClass);
    Text(control.text);
    Word(kNone);  // creation data
}

}  // namespace vardel::win32
