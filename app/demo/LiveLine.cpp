#include "app/demo/LiveLine.h"

#include <QList>
#include <algorithm>

namespace vardel::demo {

namespace {

constexpr int kBarWidth = 24;
constexpr int kFullBar = 100;
constexpr char kClearToEnd[] = "\x1b[K";

// Columns a character takes on a terminal: Chinese text takes two.
int Width(char32_t c) { return c < 0x1100 ? 1 : 2; }

QString FitTo(const QString& text, int columns) {
    QString fitted;
    int used = 0;
    for (const uint unit : text.toUcs4()) {
        const auto c = static_cast<char32_t>(unit);
        used += Width(c);
        if (used > columns) {
            break;
        }
        fitted += QString::fromUcs4(&c, 1);
    }
    return fitted;
}

}  // namespace

void LiveLine::SetPercent(const QString& text) {
    bool isNumber = false;
    const int percent = QString(text).remove(QLatin1Char('%')).toInt(&isNumber);
    Show(isNumber ? percent : percent_, step_, status_);
}

void LiveLine::Show(int percent, const QString& step, const QString& status) {
    if (shown_ && percent == percent_ && step == step_ && status == status_) {
        return;
    }
    percent_ = percent;
    step_ = step;
    status_ = status;
    Draw("\r");
}

void LiveLine::Print(const QString& line) {
    (void)std::fprintf(out_, "\r%s%s\n", kClearToEnd, line.toUtf8().constData());
    if (shown_) {
        Draw("");
    } else {
        (void)std::fflush(out_);
    }
}

void LiveLine::Finish() {
    if (shown_) {
        (void)std::fputs("\n", out_);
        (void)std::fflush(out_);
        shown_ = false;
    }
}

void LiveLine::Draw(const char* before) {
    // The bar shows at most a full bar, as the window's does; the label may
    // say more than 100 %.
    const int filled = std::clamp(percent_, 0, kFullBar) * kBarWidth / kFullBar;
    const QString line =
        QStringLiteral("[%1%2] %3%  %4  %5")
            .arg(QString(filled, QLatin1Char('#')), QString(kBarWidth - filled, QLatin1Char('-')))
            .arg(percent_, 3)
            .arg(step_, status_);
    // The last column stays free: writing it makes some terminals wrap. The
    // cursor goes back to the line's start, so that a debug line the program
    // writes to standard error, the same terminal, takes the row whole.
    (void)std::fprintf(out_, "%s%s%s\r", before, FitTo(line, columns_ - 1).toUtf8().constData(),
                       kClearToEnd);
    (void)std::fflush(out_);
    shown_ = true;
}

}  // namespace vardel::demo
