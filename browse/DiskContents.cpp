#include "DiskContents.h"

// Placeholder until the contents view lands: keeps the main window buildable.
namespace qd {
struct TDiskContents::Private {};
TDiskContents::TDiskContents(QWidget*, QWidget*, QObject* parent) : QObject(parent), d(new Private) {}
TDiskContents::~TDiskContents() { delete d; }
void TDiskContents::clear() { emit updirEnabledChanged(false); emit reloadEnabledChanged(false); }
void TDiskContents::showNothing() { clear(); }
void TDiskContents::showDisk(const QString&, QWidget*) { clear(); }
void TDiskContents::TB_UpdirClick() {}
void TDiskContents::TL_ViewStyleClick() {}
QMenu* TDiskContents::viewStyleMenu() const { return nullptr; }
} // namespace qd
