// Dialog units to pixels. A dialog unit is a quarter of the average character
// width and an eighth of the character height of the dialog's font, so a
// template keeps its proportions whatever font size the system uses.
#pragma once

#include <QFont>
#include <QRect>

#include "platform/DialogTemplate.h"

namespace vardel::qt {

struct DialogBaseUnits {
    int width = 0;   // average character width in pixels
    int height = 0;  // character height in pixels
};

// The font a template asks for. "MS Shell Dlg" stands for the system's dialog
// font: here the sans-serif face, with a Chinese face behind it for the
// characters that it lacks.
QFont DialogFont(const DialogTemplate& dialogTemplate);

// The width is the average advance of the 52 Latin letters, rounded; the
// height is the font's line height.
DialogBaseUnits BaseUnitsOf(const QFont& font);

// Each of x, width and y, height scaled on its own and rounded half away from
// zero, as the dialog manager does.
QRect DialogUnitsToPixels(const DialogUnitRect& rect, DialogBaseUnits units);

}  // namespace vardel::qt
