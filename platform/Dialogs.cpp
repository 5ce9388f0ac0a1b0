#include "Dialogs.h"

namespace qd {
namespace {

class SilentDialogs final : public Dialogs {
public:
    DialogAnswer ask(const DialogRequest& r) override
    {
        return r.buttons == DialogButtons::Ok ? DialogAnswer::Ok : DialogAnswer::No;
    }
};

SilentDialogs silent;
Dialogs* installed = &silent;

} // namespace

Dialogs& dialogs() { return *installed; }

Dialogs* setDialogs(Dialogs* d)
{
    Dialogs* previous = installed == &silent ? nullptr : installed;
    installed = d ? d : &silent;
    return previous;
}

} // namespace qd
