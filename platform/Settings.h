#pragma once

#include <QByteArray>
#include <QChar>
#include <QList>
#include <QSettings>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "Drives.h"

namespace qd::settings {

// The program's lasting settings: organisation "Qd", application "410", user
// scope (the INI file Qd/410.conf under the user's configuration folder on
// Linux). Every reader and writer opens them through open().
std::unique_ptr<QSettings> open();

// "RootDir": the text of the catalog tree's top node.
QString rootDir(); // "MyDisk" when missing
void setRootDir(const QString& text);

// "InsertionNotice": whether the main window tells of a disk put into a
// drive ("ディスクの挿入を知らせる"); on when missing.
bool insertionNotice();
void setInsertionNotice(bool on);

// The main window's placement, group "main", keys left, top, width, height.
struct Placement {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Placement&) const = default;
};
// Each value is read leniently: an integer, or a text holding a decimal
// number that fits 32 bits, is taken; a missing value or any other text
// leaves that field of the given defaults.
Placement readPlacement(const Placement& defaults);
// Written as integers. False when the settings could not be written.
bool writePlacement(const Placement& placement);

// What the catalog tree showed when the program last closed, group "tree":
// the expanded folders and the selected node, each as its path relative to
// the catalog root in file-system bytes (a disk's with its file name; the top
// node is the empty path).
struct TreeState {
    QList<QByteArray> expanded;
    std::optional<QByteArray> selected;
    bool operator==(const TreeState&) const = default;
};
TreeState treeState();
void setTreeState(const TreeState& state);

// The height of the search results pane, as the user last dragged it, group
// "search", key "height": read leniently, at least 1; 65 when missing.
int searchPaneHeight();
void setSearchPaneHeight(int height);

// A folder mapped as a drive, group "Drives/<letter>": path, and optionally
// label, serial (8 hex digits, a dash after the fourth allowed) and kind
// (removable, fixed, cdrom, network, ram; fixed when missing).
struct DriveMapping {
    QChar letter; // upper case
    QString path;
    std::optional<QString> label;
    std::optional<std::uint32_t> serial;
    DriveKind kind = DriveKind::Fixed;
};
// Every valid mapping in letter order. Entries without a path or with a key
// that is not one letter are ignored; an unreadable serial counts as absent.
std::vector<DriveMapping> driveMappings();
// Replaces any mapping of the same letter. False for a letter outside A-Z
// (any case) or an empty path, or when the settings could not be written.
bool mapDrive(const DriveMapping& mapping);
// Removes the mapping of the letter; true when there was one.
bool unmapDrive(QChar letter);

// "1234ABCD" or "1234-ABCD" (any case) to 0x1234ABCD; nullopt otherwise.
std::optional<std::uint32_t> parseSerial(const QString& text);
// 0x1234ABCD as "1234-ABCD", the way Windows shows a volume serial.
QString formatSerial(std::uint32_t serial);

// The kind's word in the settings, and back (nullopt for an unknown word).
QString kindName(DriveKind kind);
std::optional<DriveKind> parseKind(const QString& word);

} // namespace qd::settings
