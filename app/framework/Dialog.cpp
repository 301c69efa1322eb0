#include "app/framework/Dialog.h"

#include "app/resources/Resources.h"

namespace vardel {

void ProgressCtrl::Bind(Dialog& owner, int control) {
    owner_ = &owner;
    control_ = control;
}

void ProgressCtrl::SetPos(int position) {
    if (owner_ != nullptr && owner_->HasWindow()) {
        owner_->GetWindow().SetBarPosition(control_, position);
    }
}

void DDX_Control(DataExchange& dx, int control, ProgressCtrl& object) {
    object.Bind(dx.dialog, control);
}

Dialog::Dialog(int templateId, WindowSystem& windows)
    : windows_(windows), templateId_(templateId) {}

int Dialog::DoModal() {
    const DialogTemplate* found = FindDialogTemplate(templateId_);
    if (found == nullptr) {
        return -1;
    }
    return windows_.RunModal(*found, *this);
}

void Dialog::EndDialog(int result) {
    if (window_ != nullptr) {
        window_->EndDialog(result);
    }
}

void Dialog::UpdateData(bool saving) {
    DataExchange dx{*this, saving};
    DoDataExchange(dx);
}

int Dialog::OnInitDialog() {
    UpdateData(false);
    return 1;
}

void Dialog::DoDataExchange(DataExchange& /*dx*/) {}

void Dialog::OnTimer(int /*timer*/) {}

bool Dialog::OnCommand(int /*id*/, int /*notification*/) { return false; }

void Dialog::OnOK() {
    UpdateData(true);
    EndDialog(IDOK);
}

void Dialog::OnCancel() { EndDialog(IDCANCEL); }

int Dialog::InitDialog(Window& window) {
    window_ = &window;
    return OnInitDialog();
}

void Dialog::Timer(int timer) { OnTimer(timer); }

// The dialog's own map comes first; what it leaves, the dialog manager's
// commands, goes to the base handlers.
void Dialog::Command(int id, int notification) {
    if (OnCommand(id, notification)) {
        return;
    }
    if (id == IDOK) {
        OnOK();
    } else if (id == IDCANCEL) {
        OnCancel();
    }
}

void Dialog::Destroyed() { window_ = nullptr; }

}  // namespace vardel
