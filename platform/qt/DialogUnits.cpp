#include "platform/qt/DialogUnits.h"

#include <QFontMetrics>
#include <QStringList>

namespace vardel::qt {

namespace {

constexpr int kHorizontalUnitsPerChar = 4;
constexpr int kVerticalUnitsPerChar = 8;
constexpr int kLatinLetterCount = 26;

// value * numerator / denominator, rounded half away from zero.
int ScaleRounded(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    const long long rounded =
        product >= 0 ? (product + half) / denominator : -((-product + half) / denominator);
    return static_cast<int>(rounded);
}

}  // namespace

QFont DialogFont(const DialogTemplate& dialogTemplate) {
    QFont font;
    if (SameText(dialogTemplate.fontFace, kShellDialogFont)) {
        font.setFamilies({QStringLiteral("Sans Serif"), QStringLiteral("WenQuanYi Micro Hei")});
        font.setStyleHint(QFont::SansSerif);
    } else {
        font.setFamily(QString::fromUtf16(dialogTemplate.fontFace));
    }
    font.setPointSize(dialogTemplate.fontPointSize);
    return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(letters / kLatinLetterCount + 1) / 2, metrics.height()};
}

QRect DialogUnitsToPixels(const DialogUnitRect& rect, DialogBaseUnits units) {
    return {ScaleRounded(rect.x, units.width, kHorizontalUnitsPerChar),
            ScaleRounded(rect.y, units.height, kVerticalUnitsPerChar),
            ScaleRounded(rect.width, units.width, kHorizontalUnitsPerChar),
            ScaleRounded(rect.height, units.height, kVerticalUnitsPerChar)};
}

}  // namespace vardel::qt
