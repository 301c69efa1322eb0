#include "platform/qt/QtWindowSystem.h"

#include <QFile>
#include <QString>

#include "platform/qt/QtDialogWindow.h"

namespace vardel::qt {

IconHandle QtWindowSystem::LoadIcon(int resource) {
    const QString path = QStringLiteral(":/icon/%1").arg(resource);
    if (!QFile::exists(path)) {
        return 0;
    }
    icons_.emplace_back(path);
    return static_cast<IconHandle>(icons_.size());
}

QIcon QtWindowSystem::Icon(IconHandle icon) const {
    if (icon <= 0 || static_cast<std::size_t>(icon) > icons_.size()) {
        return {};
    }
    return icons_[static_cast<std::size_t>(icon) - 1];
}

int QtWindowSystem::RunModal(const DialogTemplate& dialogTemplate, DialogMessages& messages) {
    QtDialogWindow window(dialogTemplate, messages, *this, observer_);
    if (!window.IsComplete()) {
        return -1;
    }
    running_.push_back(&window);
    const int result = window.Run();
    running_.pop_back();
    return result;
}

QtDialogWindow* QtWindowSystem::ActiveWindow() const {
    return running_.empty() ? nullptr : running_.back();
}

void QtWindowSystem::SendCommand(int id) const {
    if (QtDialogWindow* window = ActiveWindow()) {
        window->SendCommand(id);
    }
}

}  // namespace vardel::qt
