// The demonstration's one live line on a terminal: a bar, the percentage, the
// step and the latest status text, rewritten in place as the labels change.
// Other lines are printed above it.
#pragma once

#include <QString>
#include <cstdio>

namespace vardel::demo {

class LiveLine {
public:
    // columns: the terminal's width; the line is cut to fit it.
    LiveLine(std::FILE* out, int columns) : out_(out), columns_(columns) {}

    void SetPercent(const QString& text);
    void SetStep(const QString& text) { Show(percent_, text, status_); }
    void SetStatus(const QString& text) { Show(percent_, step_, text); }
    // A line of its own, above the live one.
    void Print(const QString& line);
    // Leaves the live line as it stands and goes to the next one.
    void Finish();

private:
    void Show(int percent, const QString& step, const QString& status);
    void Draw(const char* before);

    std::FILE* out_;
    int columns_;
    int percent_ = 0;
    QString step_;
    QString status_;
    bool shown_ = false;
};

}  // namespace vardel::demo
