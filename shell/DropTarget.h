#pragma once

#include <QFlags>
#include <QMimeData>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <QUuid>
#include <cstdint>
#include <functional>

#include "DropSource.h"

class QByteArray;
class QTimer;
class QWidget;

// A drop target for one control over Qt's drag and drop, in the shape of the
// Windows IDropTarget: enter, over, leave and drop with the effect choice,
// the auto-scroll along the control's edges, and events for the owner.
// TDropFileTarget reads the dropped file names.
namespace qd {

class ImageList;

// Drop effects (the Windows DROPEFFECT values; copy, move and link equal
// Qt's drop actions).
inline constexpr std::int32_t DROPEFFECT_NONE = 0;
inline constexpr std::int32_t DROPEFFECT_COPY = 1;
inline constexpr std::int32_t DROPEFFECT_MOVE = 2;
inline constexpr std::int32_t DROPEFFECT_LINK = 4;
inline constexpr std::int32_t DROPEFFECT_SCROLL = std::int32_t(0x80000000u);

// Key state bits of a drag (the Windows MK_ values).
enum : std::uint32_t { MK_LBUTTON = 1, MK_RBUTTON = 2, MK_SHIFT = 4, MK_CONTROL = 8, MK_MBUTTON = 0x10, MK_ALT = 0x20 };

enum class TDragType : unsigned { dtCopy = 1, dtMove = 2, dtLink = 4 };
Q_DECLARE_FLAGS(TDragTypes, TDragType)

enum class TShiftFlag : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32 };
Q_DECLARE_FLAGS(TShiftState, TShiftFlag)

enum class TScrollAxis : unsigned { Horizontal = 1, Vertical = 2 };
Q_DECLARE_FLAGS(TScrollAxes, TScrollAxis)

// The shift state of a key state.
TShiftState KeysToShiftState(std::uint32_t keyState);
// The key state of Qt's modifiers and buttons.
std::uint32_t KeyStateOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons);

inline const QUuid IID_IDropTarget{QStringLiteral("{00000122-0000-0000-C000-000000000046}")};

// Points are screen coordinates; every operation answers S_OK.
class IDropTarget {
public:
    virtual HRESULT DragEnter(QMimeData* data, std::uint32_t keyState, QPoint screenPoint, std::int32_t& effect) = 0;
    virtual HRESULT DragOver(std::uint32_t keyState, QPoint screenPoint, std::int32_t& effect) = 0;
    virtual HRESULT DragLeave() = 0;
    virtual HRESULT Drop(QMimeData* data, std::uint32_t keyState, QPoint screenPoint, std::int32_t& effect) = 0;

protected:
    ~IDropTarget() = default;
};

// Sender, shift state, point in client coordinates of the control, effect.
using TDropTargetEvent = std::function<void(QObject* sender, TShiftState shift, QPoint point, std::int32_t& effect)>;
using TNotifyEvent = std::function<void(QObject* sender)>;

class TDropTarget : public TInterfacedComponent, public IDropTarget {
    Q_OBJECT
public:
    // Holds one reference on itself, which the owner's keeping stands for.
    explicit TDropTarget(QObject* owner = nullptr);
    ~TDropTarget() override;

    // Makes the target serve control: the control (a scroll area's viewport)
    // accepts drops and its drag events come here. A target serves one
    // control at a time.
    void Attach(QWidget* control);
    // Ends the service: the control no longer accepts drops.
    void Detach();
    bool IsAttached() const { return isAttached_; }
    QWidget* TargetControl() const { return targetControl_; }

    // The data of the drag in progress; nullptr outside a drag.
    QMimeData* CurrentData() const { return currentData_; }

    // Qt draws the source's drag image itself, so a target never has one:
    // ShowImage is kept for the owner and changes nothing on the screen.
    bool ShowImage() const { return showImage_; }
    void setShowImage(bool show) { showImage_ = show; }

    HRESULT DragEnter(QMimeData* data, std::uint32_t keyState, QPoint screenPoint, std::int32_t& effect) override;
    HRESULT DragOver(std::uint32_t keyState, QPoint screenPoint, std::int32_t& effect) override;
    HRESULT DragLeave() override;
    HRESULT Drop(QMimeData* data, std::uint32_t keyState, QPoint screenPoint, std::int32_t& effect) override;

    // The effect granted for a requested one at a client point.
    virtual std::int32_t ChooseEffect(TShiftState shift, QPoint point, std::int32_t requested);
    // The effect that the clipboard's data asks for: the first 32-bit value
    // of "Preferred DropEffect", else copy or move from the desktop's
    // copied-files format; 0 when neither is there.
    virtual std::int32_t TakeFromClipboard();

    TDragTypes Dragtypes;
    bool GetDataOnEnter = false;
    TDropTargetEvent OnEnter;
    TDropTargetEvent OnDragOver;
    TNotifyEvent OnLeave;
    TDropTargetEvent OnDrop;
    TDropTargetEvent OnGetDropEffect;

    ImageList* CursorImages;          // one blank 32 x 32 image
    const ImageList* DragImage = nullptr; // the source's images: never any (see ShowImage)
    QPoint DragHotSpot;
    QPoint LastDragPoint;             // client coordinates
    int EdgeMargin = 0;               // width of the auto-scroll bands, pixels
    TScrollAxes ScrollAxes;
    QTimer* EdgeScrollTimer;          // 100 ms, on only while scrolling

protected:
    virtual void FireEnter(TShiftState shift, QPoint point, std::int32_t& effect);
    virtual void FireDragOver(TShiftState shift, QPoint point, std::int32_t& effect);
    virtual void FireDrop(TShiftState shift, QPoint point, std::int32_t& effect);
    virtual void FireLeave();
    // Reads the data of CurrentData; true when it holds what the target wants.
    virtual bool FetchData() = 0;
    virtual void ResetData() = 0;
    // Whether CurrentData offers the target's format at all.
    virtual bool AcceptsFormat() = 0;

    void* GetInterface(const QUuid& iid) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void EdgeScrollTimerTimer();
    // The widget whose client area the points refer to: a scroll area's viewport.
    QWidget* clientWidget() const;
    QPoint toClient(QPoint screenPoint) const;

    QPointer<QMimeData> currentData_;
    QPointer<QWidget> targetControl_;
    QPointer<QWidget> registered_; // the widget that has the event filter
    bool isAttached_ = false;
    bool showImage_ = true;
};

// The FORMATETC of a format in global memory, as the file target asks for it.
struct FORMATETC {
    TClipFormat cfFormat = 0;
    void* ptd = nullptr;
    std::uint32_t dwAspect = 1; // DVASPECT_CONTENT
    std::int32_t lindex = -1;
    std::uint32_t tymed = 1; // TYMED_HGLOBAL
};

class TDropFileTarget : public TDropTarget {
    Q_OBJECT
public:
    explicit TDropFileTarget(QObject* owner = nullptr);

    // Appends the names of a DROPFILES block (ANSI names in code page 932,
    // or UTF-16 names when its wide flag is set) to names; the list is not
    // cleared first. Reading stops at an empty name or at the block's end.
    // True when names then holds at least one name.
    static bool ReadDropFiles(const QByteArray& block, QStringList& names);

    // The file names from the clipboard: with file data there, the effect it
    // asks for (copy when it asks for none); 0 without file names.
    std::int32_t TakeFromClipboard() override;

    // The names of the drop; NameMap the names the source wants them to
    // have, one per file name, or empty.
    QStringList FileNames;
    QStringList NameMap;
    FORMATETC FileNameMapFormatEtc;
    FORMATETC FileNameMapWFormatEtc;

protected:
    bool FetchData() override;
    void ResetData() override;
    bool AcceptsFormat() override;
};

} // namespace qd

Q_DECLARE_OPERATORS_FOR_FLAGS(qd::TDragTypes)
Q_DECLARE_OPERATORS_FOR_FLAGS(qd::TShiftState)
Q_DECLARE_OPERATORS_FOR_FLAGS(qd::TScrollAxes)
