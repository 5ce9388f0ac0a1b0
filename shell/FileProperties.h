#pragma once

#include <QDialog>
#include <QStringList>

class QPushButton;
class QTreeWidget;

namespace qd {

// The properties of real files and folders, as the shell's "プロパティ"
// command shows them: one row per item with its name, folder, type, size,
// three times, permissions and owner, read from the file system when the
// window is made. A link is marked "l" in its permissions; its size and times
// are those of what it points to.
class TFileProperties : public QDialog {
    Q_OBJECT
public:
    enum Column { Name, Location, Type, Size, Created, Modified, Accessed, Permissions, Owner, ColumnCount };

    explicit TFileProperties(const QStringList& paths, QWidget* parent = nullptr);

    // Opens a window of its own for paths (no owner, not modal; it deletes
    // itself when closed) and returns it.
    static TFileProperties* Show(const QStringList& paths);

    QTreeWidget* ListView1; // one row per item, one column per property
    QPushButton* B_Close;
};

} // namespace qd
