#include "app/demo/DemoDriver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "app/resources/Resource.h"
#include "platform/qt/QtDialogWindow.h"

namespace vardel::demo {

namespace {

constexpr int kGiveUpMs = 120'000;

const char* ControlName(int control) {
    switch (control) {
    case IDC_START:
        return "button";
    case IDC_STATUS:
        return "status";
    case IDC_STEP:
        return "step";
    case IDC_PERCENT:
        return "percent";
    default:
        return "control";
    }
}

}  // namespace

DemoDriver::DemoDriver(const char* picturePath, bool actForUser, int terminalColumns)
    : picturePath_(picturePath != nullptr
                       ? QString::fromLocal8Bit(picturePath)
                       : QDir::temp().filePath(QStringLiteral("vardel-demo.png"))),
      actForUser_(actForUser) {
    picturePath_ = QFileInfo(picturePath_).absoluteFilePath();
    if (terminalColumns > 0) {
        live_.emplace(stdout, terminalColumns);
    }
}

void DemoDriver::Say(const QString& line) {
    if (live_) {
        live_->Print(line);
        return;
    }
    static_cast<void>(std::printf("%s\n", line.toUtf8().constData()));
    static_cast<void>(std::fflush(stdout));
}

bool DemoDriver::ShowLive(int control, const QString& text) {
    if (!live_) {
        return false;
    }
    switch (control) {
    case IDC_PERCENT:
        live_->SetPercent(text);
        return true;
    case IDC_STEP:
        live_->SetStep(text);
        return true;
    case IDC_STATUS:
        live_->SetStatus(text);
        return true;
    default:
        return false;
    }
}

void DemoDriver::WindowOpened(qt::QtDialogWindow& window) {
    if (auto* button = qobject_cast<QPushButton*>(window.Control(IDC_START))) {
        startText_ = button->text();
    }
    Say(QStringLiteral("window: %1").arg(window.windowTitle()));
    if (!actForUser_) {
        return;
    }
    QPointer<qt::QtDialogWindow> guarded(&window);
    QTimer::singleShot(kGiveUpMs, &window, [this, guarded] {
        if (guarded && !finished_) {
            Say(QStringLiteral("demo: the upgrade did not finish in %1 s").arg(kGiveUpMs / 1000));
            SavePicture(*guarded);
            guarded->close();
        }
    });
}

// Only changes are printed: a port that does not open reports its failure on
// every tick.
void DemoDriver::ControlTextSet(qt::QtDialogWindow& /*window*/, int control, const QString& text) {
    auto [it, added] = shown_.try_emplace(control, text);
    if (!added && it->second == text) {
        return;
    }
    it->second = text;
    if (!ShowLive(control, text)) {
        Say(QStringLiteral("%1: %2").arg(QString::fromLatin1(ControlName(control)), text));
    }
}

// The button is enabled once when the port is ready and once more, with its
// restart text, when the upgrade is over. The press goes through the event
// loop, after the tick that enabled it, as a person's would.
void DemoDriver::ControlEnabled(qt::QtDialogWindow& window, int control, bool enabled) {
    if (control != IDC_START || !enabled) {
        return;
    }
    auto* button = qobject_cast<QPushButton*>(window.Control(IDC_START));
    if (button == nullptr) {
        return;
    }
    QPointer<qt::QtDialogWindow> guarded(&window);
    if (!actForUser_) {
        if (!finished_ && button->text() != startText_) {
            finished_ = true;
            QTimer::singleShot(0, &window, [this, guarded] {
                if (guarded) {
                    SavePicture(*guarded);
                }
            });
        }
        return;
    }
    if (!pressed_) {
        pressed_ = true;
        QTimer::singleShot(0, &window, [this, guarded] {
            if (guarded) {
                PressStart(*guarded);
            }
        });
    } else if (!finished_ && button->text() != startText_) {
        finished_ = true;
        QTimer::singleShot(0, &window, [this, guarded] {
            if (!guarded) {
                return;
            }
            SavePicture(*guarded);
            PressStart(*guarded);
            guarded->close();
        });
    }
}

void DemoDriver::WindowEnded(qt::QtDialogWindow& /*window*/, int result) {
    if (live_) {
        live_->Finish();
    }
    Say(QStringLiteral("window: ended with %1").arg(result));
}

void DemoDriver::PressStart(qt::QtDialogWindow& window) {
    if (auto* button = qobject_cast<QPushButton*>(window.Control(IDC_START))) {
        Say(QStringLiteral("demo: pressing %1").arg(button->text()));
        button->click();
    }
}

void DemoDriver::SavePicture(qt::QtDialogWindow& window) {
    if (window.grab().save(picturePath_, "PNG")) {
        Say(QStringLiteral("picture: %1").arg(picturePath_));
    } else {
        Say(QStringLiteral("picture: could not write %1").arg(picturePath_));
    }
}

}  // namespace vardel::demo
