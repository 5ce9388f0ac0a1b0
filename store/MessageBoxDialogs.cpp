#include "MessageBoxDialogs.h"

#include <QMessageBox>

namespace qd {
namespace {

DialogAnswer exec(QMessageBox& box)
{
    switch (box.exec()) {
    case QMessageBox::Yes: return DialogAnswer::Yes;
    case QMessageBox::No: return DialogAnswer::No;
    case QMessageBox::Cancel: return DialogAnswer::Cancel;
    default: return DialogAnswer::Ok;
    }
}

} // namespace

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
    switch (r.buttons) {
    case DialogButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        break;
    case DialogButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    case DialogButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    if (r.buttons != DialogButtons::Ok)
        box.setDefaultButton(r.defaultAnswer == DialogAnswer::No ? QMessageBox::No : QMessageBox::Yes);
    return exec(box);
}

} // namespace qd
