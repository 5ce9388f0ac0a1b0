#pragma once

#include <QObject>
#include <QString>

#include "catalog/Disk.h"

class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace qd {

// The disk contents view: the file list with its path bar on the first page and
// the property panel with the disk comment on the second. It owns ShownDisk and
// the state of the folder on show. The main window owns the tree, the pages and
// the tool buttons; it calls showNothing()/showDisk() from its tree click and
// forwards "上へ" to TB_UpdirClick(), and it follows the enabling signals.
class TDiskContents : public QObject {
    Q_OBJECT
public:
    // Builds ListView1 and P_FolderName inside filePanel (Panel1), and P_Disk inside
    // propertyPanel (Panel2); both stay hidden until a disk is shown, so that the
    // panels' own text ("選択されていません") shows through.
    TDiskContents(QWidget* filePanel, QWidget* propertyPanel, QObject* parent = nullptr);
    ~TDiskContents() override;

    // The first steps of the tree click: disable "上へ" and "データの更新",
    // empty the property fields and the path bar, hide the property panel.
    void clear();
    // A catalog folder (or nothing) was clicked: also hide the list.
    void showNothing();
    // A disk node was clicked: load its catalog (path without ".qd") and show its
    // root folder, or PendingFolder. owner owns the load's messages.
    void showDisk(const QString& catalogPathWithoutExtension, QWidget* owner);

    void TB_UpdirClick();
    void TL_ViewStyleClick();
    QMenu* viewStyleMenu() const; // PM_ViewStyle, for the main window's TL_ViewStyle

    TDisk ShownDisk;
    std::int32_t CurrentFolder = 0;
    std::int32_t PendingFolder = -1;
    std::int32_t TotalFileCount = 0;

signals:
    void updirEnabledChanged(bool enabled);  // TB_Updir
    void reloadEnabledChanged(bool enabled); // TB_ReLoad

private:
    struct Private;
    Private* d;
};

} // namespace qd
