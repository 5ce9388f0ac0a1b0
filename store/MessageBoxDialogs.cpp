#include "MessageBoxDialogs.h"

#include <QMessageBox>

namespace qd {

DialogAnswer MessageBoxDialogs::ask(const DialogRequest& r)
{
    QMessageBox box(r.owner);
    box.setWindowTitle(r.caption);
    box.setText(r.text);
    switch (r.icon) {
    case DialogIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case DialogIcon::Information: box.setIcon(QMessageBox::Information); break;
    case DialogIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case DialogIcon::Stop: box.setIcon(QMessageBox::Critical); break;
    case DialogIcon::Question: box.setIcon(QMessageBox::Question); break;
    }
    if (r.buttons == DialogButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(r.defaultAnswer == DialogAnswer::No ? QMessageBox::No : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? DialogAnswer::Yes : DialogAnswer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return DialogAnswer::Ok;
}

} // namespace qd
