#pragma once

#include "platform/Dialogs.h"

namespace qd {

// The program's Dialogs: every request becomes a modal QMessageBox with the
// request's owner, text, caption, icon and buttons. Installed by main().
class MessageBoxDialogs final : public Dialogs {
public:
    DialogAnswer ask(const DialogRequest& request) override;
};

} // namespace qd
