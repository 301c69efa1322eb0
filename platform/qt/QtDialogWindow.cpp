#include "platform/qt/QtDialogWindow.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimerEvent>
#include <algorithm>
#include <chrono>

#include "platform/qt/HostObserver.h"
#include "platform/qt/QtWindowSystem.h"

namespace vardel::qt {

namespace {

constexpr int kBarMinimum = 0;
constexpr int kBarMaximum = 100;
constexpr std::uint32_t kButtonTypeMask = 0x000Fu;

bool Has(std::uint32_t style, std::uint32_t bits) { return (style & bits) == bits; }

Qt::Alignment StaticAlignment(std::uint32_t style) {
    switch (style & SS_TYPEMASK) {
    case SS_CENTER:
        return Qt::AlignHCenter | Qt::AlignTop;
    case SS_RIGHT:
        return Qt::AlignRight | Qt::AlignTop;
    default:
        return Qt::AlignLeft | Qt::AlignTop;
    }
}

// No close box, system menu, minimise or maximise box unless the template
// asks for a system menu; the size is fixed in BuildControls.
Qt::WindowFlags FrameFlags(std::uint32_t style) {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint;
    if (Has(style, WS_CAPTION)) {
        flags |= Qt::WindowTitleHint;
    }
    if (Has(style, WS_SYSMENU)) {
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    }
    return flags;
}

}  // namespace

QtDialogWindow::QtDialogWindow(const DialogTemplate& dialogTemplate, DialogMessages& messages,
                               const QtWindowSystem& system, HostObserver* observer)
    : messages_(messages), system_(system), observer_(observer) {
    setWindowFlags(FrameFlags(dialogTemplate.style));
    setWindowTitle(QString::fromUtf16(dialogTemplate.caption));
    setModal(true);
    setSizeGripEnabled(false);
    centred_ = Has(dialogTemplate.style, DS_CENTER);
    BuildControls(dialogTemplate);
}

QtDialogWindow::~QtDialogWindow() = default;

void QtDialogWindow::BuildControls(const DialogTemplate& dialogTemplate) {
    setFont(DialogFont(dialogTemplate));
    units_ = BaseUnitsOf(font());
    const QRect frame = DialogUnitsToPixels(dialogTemplate.rect, units_);
    setFixedSize(frame.size());
    if (!centred_) {
        move(frame.topLeft());
    }
    QWidget* previous = nullptr;
    for (std::size_t i = 0; i < dialogTemplate.controlCount; ++i) {
        const ControlTemplate& control = dialogTemplate.controls[i];
        QWidget* widget = BuildControl(control);
        if (widget == nullptr) {
            complete_ = false;
            continue;
        }
        widget->setGeometry(DialogUnitsToPixels(control.rect, units_));
        widget->setVisible(Has(control.style, WS_VISIBLE));
        controls_[control.id] = widget;
        templateOrder_.push_back(widget);
        if (widget->focusPolicy() & Qt::TabFocus) {
            if (previous != nullptr) {
                setTabOrder(previous, widget);
            }
            previous = widget;
        }
    }
}

QWidget* QtDialogWindow::BuildControl(const ControlTemplate& control) {
    const QString text = QString::fromUtf16(control.text);
    if (SameText(control.windowClass, kButtonClass)) {
        auto* button = new QPushButton(text, this);
        // Enter is the dialog's IDOK, never a press of this button, unless the
        // template makes it the default button.
        button->setAutoDefault(false);
        button->setDefault((control.style & kButtonTypeMask) == BS_DEFPUSHBUTTON);
        button->setFocusPolicy(Has(control.style, WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
        const int id = control.id;
        connect(button, &QPushButton::clicked, this, [this, id] { Deliver(id, BN_CLICKED); });
        return button;
    }
    if (SameText(control.windowClass, kStaticClass)) {
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(StaticAlignment(control.style));
        label->setWordWrap(true);
        return label;
    }
    if (SameText(control.windowClass, kProgressClass)) {
        // Fusion, the style Qt uses here, draws one continuous bar in a
        // border, which is what WS_BORDER with PBS_SMOOTH asks for.
        auto* bar = new QProgressBar(this);
        bar->setRange(kBarMinimum, kBarMaximum);
        bar->setValue(kBarMinimum);
        bar->setTextVisible(false);
        bar->setFocusPolicy(Qt::NoFocus);
        return bar;
    }
    return nullptr;
}

QWidget* QtDialogWindow::Control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

int QtDialogWindow::Run() {
    const int placeFocus = messages_.InitDialog(*this);
    if (observer_ != nullptr) {
        observer_->WindowOpened(*this);
    }
    if (!ended_) {
        if (placeFocus != 0) {
            FocusFirstControl();
        }
        if (centred_) {
            PlaceCentred();
        }
        exec();
    }
    messages_.Destroyed();
    return result_;
}

void QtDialogWindow::SendCommand(int id) { Deliver(id, BN_CLICKED); }

// Nothing reaches the dialog once it has ended, as after EndDialog on the
// target no message is dispatched to it any more.
void QtDialogWindow::Deliver(int id, int notification) {
    if (!ended_) {
        messages_.Command(id, notification);
    }
}

void QtDialogWindow::FocusFirstControl() {
    for (QWidget* widget : templateOrder_) {
        if (widget->isEnabled() && (widget->focusPolicy() & Qt::TabFocus)) {
            widget->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

bool QtDialogWindow::HasDefaultButton() const {
    const QList<QPushButton*> buttons = findChildren<QPushButton*>();
    return std::any_of(buttons.begin(), buttons.end(),
                       [](const QPushButton* button) { return button->isDefault(); });
}

void QtDialogWindow::PlaceCentred() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void QtDialogWindow::SetControlText(int control, const char16_t* text) {
    QWidget* widget = Control(control);
    const QString value = QString::fromUtf16(text);
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        button->setText(value);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(value);
    }
    if (observer_ != nullptr && widget != nullptr) {
        observer_->ControlTextSet(*this, control, value);
    }
}

void QtDialogWindow::EnableControl(int control, bool enable) {
    QWidget* widget = Control(control);
    if (widget == nullptr) {
        return;
    }
    widget->setEnabled(enable);
    if (observer_ != nullptr) {
        observer_->ControlEnabled(*this, control, enable);
    }
}

// QProgressBar ignores a value outside its range; the bar control clamps it,
// so that 228 shows a full bar.
void QtDialogWindow::SetBarPosition(int control, int position) {
    if (auto* bar = qobject_cast<QProgressBar*>(Control(control))) {
        bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
    }
}

// Qt checks its timers only when the event loop runs, and reschedules a timer
// from the time it fired: a tick that holds the thread longer than the period
// is followed by a single timer event, not by one for every period missed.
void QtDialogWindow::StartTimer(int timer, std::uint32_t periodMs) {
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->second == timer) {
            killTimer(it->first);
            timers_.erase(it);
            break;
        }
    }
    const int qtTimer = startTimer(std::chrono::milliseconds(periodMs), Qt::PreciseTimer);
    if (qtTimer != 0) {
        timers_[qtTimer] = timer;
    }
}

void QtDialogWindow::timerEvent(QTimerEvent* event) {
    const auto it = timers_.find(event->timerId());
    if (it == timers_.end()) {
        QDialog::timerEvent(event);
        return;
    }
    if (!ended_) {
        messages_.Timer(it->second);
    }
}

// Qt keeps one icon with all its images and lets the window manager pick the
// small and the big one from it.
void QtDialogWindow::SetIcon(int /*which*/, IconHandle icon) { setWindowIcon(system_.Icon(icon)); }

// Changing a window flag hides a visible window; it is shown again in place.
void QtDialogWindow::MakeTopmost() {
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (visible) {
        show();
    }
}

void QtDialogWindow::EndDialog(int result) {
    if (ended_) {
        return;
    }
    ended_ = true;
    result_ = result;
    for (const auto& [qtTimer, timer] : timers_) {
        static_cast<void>(timer);
        killTimer(qtTimer);
    }
    timers_.clear();
    if (observer_ != nullptr) {
        observer_->WindowEnded(*this, result);
    }
    done(result);
}

void QtDialogWindow::reject() { Deliver(IDCANCEL, BN_CLICKED); }

void QtDialogWindow::accept() { Deliver(IDOK, BN_CLICKED); }

void QtDialogWindow::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (enter && plain && !HasDefaultButton()) {
        Deliver(IDOK, BN_CLICKED);
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace vardel::qt
