#pragma once

#include <QChar>
#include <QComboBox>
#include <QEvent>
#include <QListWidget>
#include <QString>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "platform/ShellNamespace.h"

class QPainter;

namespace qd {

class ImageList;

// Image-list draw styles (ILD_ flags) kept in TItemInfo::DrawStyle.
enum : int { ILD_NORMAL = 0, ILD_TRANSPARENT = 1, ILD_MASK = 0x10 };

enum TIconType : int { itLarge, itSmall };
// The icon edge of a type: 32 pixels for itLarge, 16 for itSmall.
int IconEdge(TIconType type);

// One shell item as the boxes show it. The list given to the constructor is
// read, not kept: the caller frees it.
class TItemInfo {
public:
    TItemInfo(PCItemIDList list, unsigned iconFlags, int drawStyle, int data);

    QString Path;        // drive path of the item; empty when it has none
    QString DisplayName; // the shell's name, e.g. a drive's name and letter
    std::int32_t LargeIcon = 0;
    std::int32_t SmallIcon = 0;
    std::int32_t Data = 0;      // the caller's value, kept unchanged
    std::int32_t DrawStyle = 0; // ILD_ flags used when the icon is drawn
};

// LargeIcon for itLarge, SmallIcon for itSmall, 0 for any other value.
int IconIndexOf(const TItemInfo& item, TIconType type);

// An unsorted list of display names, each with a TItemInfo that the list
// owns: deleting an entry, clearing or destroying the list frees the objects.
class TItemList {
public:
    int Count() const { return int(entries_.size()); }
    // Appends and takes ownership of object; returns the new index.
    int AddObject(const QString& text, TItemInfo* object);
    // Inserts before index (0..Count()) and takes ownership of object.
    void InsertObject(int index, const QString& text, TItemInfo* object);
    void Delete(int index);
    void Clear() { entries_.clear(); }
    const QString& Strings(int index) const { return entries_.at(std::size_t(index)).first; }
    TItemInfo* Objects(int index) const { return entries_.at(std::size_t(index)).second.get(); }

private:
    std::vector<std::pair<QString, std::unique_ptr<TItemInfo>>> entries_;
};

// This unit's own item-ID list helpers (the walk of ItemIDListSize stops at
// the terminator; the allocator is the shell allocator).
namespace shctrls {
// size bytes from the shell allocator, all zero; nullptr for a negative size
// or when the allocator refuses.
void* ShellAllocZero(std::int16_t size);
// nullptr when the item's count is 0 or the next item's count is 0; else the next item.
PItemIDList NextItemID(PItemIDList item);
// 0 for nullptr; else the sum of all counts + 2 for the terminator, in 16 bits.
std::uint16_t ItemIDListSize(PCItemIDList list);
// A new list: the items of a, then those of b, then the terminator (either
// may be nullptr). nullptr when the allocator refuses or the joined list
// would not fit a 16-bit signed allocation size.
PItemIDList ConcatItemIDLists(PCItemIDList a, PCItemIDList b);
QString DisplayNameFromItemIDList(PCItemIDList list);
QString PathFromItemIDList(PCItemIDList list);

// The unit's shared state, set up at first use: the system image lists, the
// desktop folder, and every live shell combo and list box.
ImageList* LargeSystemImages();
ImageList* SmallSystemImages();
const std::shared_ptr<ShellFolder>& DesktopFolder();
const QList<QWidget*>& ShellControls();
} // namespace shctrls

// The path-changed notice among the members of a group, sent synchronously
// with QCoreApplication::sendEvent; the path lives as long as the send.
class ShPathChangedEvent final : public QEvent {
public:
    explicit ShPathChangedEvent(QString path) : QEvent(eventType()), path_(std::move(path)) {}
    static QEvent::Type eventType();
    const QString& path() const { return path_; }

private:
    QString path_;
};

// Owner-drawn drop-down list of shell items: each entry is its small system
// icon at left + 2 and its display name 22 pixels right of the left edge.
// Every visible entry carries a TItemInfo (not owned) under ItemInfoRole.
class TCustomShComboBox : public QComboBox {
    Q_OBJECT
public:
    static constexpr int ItemInfoRole = Qt::UserRole + 1;

    explicit TCustomShComboBox(QWidget* parent = nullptr);
    ~TCustomShComboBox() override;

    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int group) { groupIndex_ = group; }
    // The fixed entry height: the font's height, at least 18 pixels.
    int ItemHeight() const { return itemHeight_; }
    // The TItemInfo of a visible entry; nullptr out of range.
    TItemInfo* ItemInfo(int index) const;

    // Takes over a path announced to the group.
    virtual void ApplyPath(const QString& path) = 0;
    // Rebuilds the entries.
    virtual void RefreshItems() = 0;

    // Sends the path-changed notice with path: to this box alone for group 0,
    // else to every shell combo and list box of that group, this one
    // included. Every member has reacted when it returns.
    void NotifyGroup(const QString& path, int group);

    // Draws one entry in rect: fill, icon, text. selected chooses the
    // highlight colours.
    virtual void DrawItem(QPainter& painter, int index, const QRect& rect, bool selected) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    // The stand-in for the creation of the native window: at construction of
    // the concrete box and again after every font change.
    virtual void CreateWnd() {}
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void UpdateItemHeight();

    int groupIndex_ = 0;
    int itemHeight_ = 0;
};

// The drive box: every file-system child of the computer folder (the drives
// of the drive table, in its order) with its icon and name. Drive is the
// selected letter, QChar(0) until the first selection. A choice by the user
// is announced to the group; OnChange comes only from ApplyPath.
class TShDriveComboBox : public TCustomShComboBox {
    Q_OBJECT
public:
    // Builds the entries and selects the drive that holds the current
    // directory (the drive whose root holds it, the longest root first).
    explicit TShDriveComboBox(QWidget* parent = nullptr);
    ~TShDriveComboBox() override;

    QChar Drive() const { return drive_; }
    TItemList& DriveItems() { return driveItems_; }

    // Rebuilds DriveItems and the visible entries from the computer folder;
    // when it cannot be listed, the entries stay as they were.
    void BuildDriveList();
    // Selects the first entry whose path starts with the path's letter (any
    // case) and makes that letter Drive; nothing changes when none matches.
    void SelectPath(const QString& path);
    // Announces letter's root to the group; a grouped box refuses a drive
    // whose root cannot be read and puts the selection back on Drive.
    void SelectDrive(QChar letter);
    // The Path of the entry's TItemInfo; empty out of range.
    QString PathOfItem(int index) const;

    void ApplyPath(const QString& path) override;
    void RefreshItems() override;

signals:
    void OnChange();

protected:
    void CreateWnd() override;
    bool event(QEvent* event) override;
    // The user's choice of an entry.
    void Change();
    // Makes the visible entries a copy of DriveItems' strings and objects.
    void ShowDriveItems();

private:
    QChar drive_;
    TItemList driveItems_;
};

// Owner-drawn list box of shell items with a fixed entry height: icon at
// the entry's indent, text after it; with AutoScroll the horizontal extent
// follows the widest entry drawn. Every entry carries a TItemInfo (not
// owned) under ItemInfoRole. Subclasses give the texts, indents and minimum
// height.
class TCustomShListBox : public QListWidget {
    Q_OBJECT
public:
    static constexpr int ItemInfoRole = Qt::UserRole + 1;

    explicit TCustomShListBox(QWidget* parent = nullptr);
    ~TCustomShListBox() override;

    TIconType IconType() const { return iconType_; }
    void SetIconType(TIconType type);
    bool AutoScroll() const { return autoScroll_; }
    void SetAutoScroll(bool on);
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int group) { groupIndex_ = group; }
    // The widest entry drawn since the last reset (pixels).
    int WidestItem() const { return widestItem_; }
    // The width the horizontal scroll bar covers; 0 for none.
    int HorizontalExtent() const { return horizontalExtent_; }
    // The fixed entry height: the larger of MinItemHeight and the font's height.
    int ItemHeight() const;
    TItemInfo* ItemInfo(int index) const;

    // Never called by this unit: for subclasses that take over announced paths.
    virtual void ApplyPath(const QString& path) = 0;
    virtual QString ItemText(int index) const = 0;
    virtual int MinItemHeight() const = 0;
    virtual int ItemIndent(int index) const = 0;
    // Never called by this unit: for subclasses that rebuild their entries.
    virtual void RefreshItems() = 0;

    virtual void DrawItem(QPainter& painter, int index, const QRect& rect, bool selected);

protected:
    void changeEvent(QEvent* event) override;
    void SetHorizontalExtent(int extent);
    void UpdateItemHeight();

private:
    TIconType iconType_ = itSmall;
    bool autoScroll_ = false;
    int groupIndex_ = 0;
    int widestItem_ = 0;
    int horizontalExtent_ = 0;
    mutable int itemHeight_ = 0; // 0 until first asked: MinItemHeight is virtual
    QMetaObject::Connection resetConnection_;
};

} // namespace qd
