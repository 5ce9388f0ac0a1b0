#include "DropTarget.h"

#include <QAbstractScrollArea>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QFontInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPalette>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <QtEndian>
#include <cstdlib>

#include "platform/ImageList.h"
#include "platform/Text.h"

namespace qd {
namespace {

constexpr std::int32_t kEffectMask = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;

// DROPFILES: offset of the first name, a point, the non-client flag, the wide flag.
constexpr qsizetype kDropFilesSize = 20;
constexpr qsizetype kWideFlagAt = 16;

std::uint32_t le32(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<std::uint32_t>(bytes.constData() + at);
}

// Zero-terminated names from at until an empty one; a name that the block
// ends inside is no name.
void readNames(const QByteArray& block, qsizetype at, bool wide, QStringList& names)
{
    const qsizetype unit = wide ? 2 : 1;
    while (at >= 0 && at + unit <= block.size()) {
        qsizetype end = at;
        if (wide) {
            while (end + 2 <= block.size() && qFromLittleEndian<std::uint16_t>(block.constData() + end) != 0)
                end += 2;
        } else {
            while (end < block.size() && block[end] != 0)
                ++end;
        }
        if (end + unit > block.size() || end == at)
            return;
        if (wide) {
            // Unit by unit: a name need not be aligned.
            QString name;
            for (qsizetype i = at; i < end; i += 2)
                name.append(QChar(qFromLittleEndian<std::uint16_t>(block.constData() + i)));
            names.append(name);
        } else {
            names.append(fromAnsi(std::string_view(block.constData() + at, std::size_t(end - at))));
        }
        at = end + unit;
    }
}

// The local files among URLs.
QStringList localFiles(const QList<QUrl>& urls)
{
    QStringList files;
    for (const QUrl& url : urls)
        if (url.isLocalFile())
            files.append(url.toLocalFile());
    return files;
}

// The desktop's copied files: "copy" or "cut", then one URL per line.
QStringList copiedFileLines(const QMimeData& data)
{
    return QString::fromUtf8(data.data(kGnomeCopiedFiles)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList copiedFiles(const QMimeData& data)
{
    QList<QUrl> urls;
    const QStringList lines = copiedFileLines(data);
    for (qsizetype i = 1; i < lines.size(); ++i)
        urls.append(QUrl(lines[i].trimmed()));
    return localFiles(urls);
}

// Whether data carries file names: a DROPFILES block, or local files among its URLs.
bool hasFileNames(const QMimeData& data)
{
    return data.hasFormat(ClipboardFormatMime(CF_HDROP)) || !localFiles(data.urls()).isEmpty();
}

// Appends the file names that data carries; true when names then holds one.
bool readFileNames(const QMimeData& data, QStringList& names)
{
    const QString block = ClipboardFormatMime(CF_HDROP);
    if (data.hasFormat(block))
        return TDropFileTarget::ReadDropFiles(data.data(block), names);
    names.append(localFiles(data.urls()));
    return !names.isEmpty();
}

Qt::DropAction actionOf(std::int32_t effect)
{
    if (effect & DROPEFFECT_COPY)
        return Qt::CopyAction;
    if (effect & DROPEFFECT_MOVE)
        return Qt::MoveAction;
    if (effect & DROPEFFECT_LINK)
        return Qt::LinkAction;
    return Qt::IgnoreAction;
}

// Tells Qt what the target answered.
void answer(QDropEvent* event, std::int32_t effect)
{
    const Qt::DropAction action = actionOf(effect);
    if (action == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
}

const QMimeData* clipboardData()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return nullptr;
    return QGuiApplication::clipboard()->mimeData();
}

} // namespace

TShiftState KeysToShiftState(std::uint32_t keyState)
{
    TShiftState shift;
    shift.setFlag(TShiftFlag::ssShift, keyState & MK_SHIFT);
    shift.setFlag(TShiftFlag::ssCtrl, keyState & MK_CONTROL);
    shift.setFlag(TShiftFlag::ssAlt, keyState & MK_ALT);
    shift.setFlag(TShiftFlag::ssLeft, keyState & MK_LBUTTON);
    shift.setFlag(TShiftFlag::ssRight, keyState & MK_RBUTTON);
    shift.setFlag(TShiftFlag::ssMiddle, keyState & MK_MBUTTON);
    return shift;
}

std::uint32_t KeyStateOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons)
{
    std::uint32_t state = 0;
    if (modifiers & Qt::ShiftModifier)
        state |= MK_SHIFT;
    if (modifiers & Qt::ControlModifier)
        state |= MK_CONTROL;
    if (modifiers & Qt::AltModifier)
        state |= MK_ALT;
    if (buttons & Qt::LeftButton)
        state |= MK_LBUTTON;
    if (buttons & Qt::RightButton)
        state |= MK_RBUTTON;
    if (buttons & Qt::MiddleButton)
        state |= MK_MBUTTON;
    return state;
}

TDropTarget::TDropTarget(QObject* owner) : TInterfacedComponent(owner)
{
    RegisterDropFormats();
    EdgeScrollTimer = new QTimer(this);
    EdgeScrollTimer->setInterval(100);
    connect(EdgeScrollTimer, &QTimer::timeout, this, &TDropTarget::EdgeScrollTimerTimer);
    AddRef();

    CursorImages = new ImageList(32, this);
    QImage blank(32, 32, QImage::Format_ARGB32);
    blank.fill(QGuiApplication::palette().color(QPalette::Window));
    // The window colour is the mask colour: every pixel is transparent.
    QImage mask(32, 32, QImage::Format_RGB32);
    mask.fill(Qt::white);
    CursorImages->add(blank, mask);
}

TDropTarget::~TDropTarget()
{
    Detach();
}

void TDropTarget::Attach(QWidget* control)
{
    Detach();
    if (!control)
        return;
    targetControl_ = control;
    registered_ = clientWidget();
    registered_->setAcceptDrops(true);
    registered_->installEventFilter(this);
    isAttached_ = true;
}

void TDropTarget::Detach()
{
    isAttached_ = false;
    if (registered_) {
        registered_->removeEventFilter(this);
        registered_->setAcceptDrops(false);
    }
    registered_ = nullptr;
    targetControl_ = nullptr;
}

QWidget* TDropTarget::clientWidget() const
{
    if (auto* area = qobject_cast<QAbstractScrollArea*>(targetControl_.data()))
        return area->viewport();
    return targetControl_;
}

QPoint TDropTarget::toClient(QPoint screenPoint) const
{
    const QWidget* client = clientWidget();
    return client ? client->mapFromGlobal(screenPoint) : screenPoint;
}

HRESULT TDropTarget::DragEnter(QMimeData* data, std::uint32_t keyState, QPoint screenPoint, std::int32_t& effect)
{
    ResetData();
    currentData_ = data;
    const QPoint point = toClient(screenPoint);
    LastDragPoint = point;
    DragImage = nullptr; // Qt shows the source's image itself
    if (!AcceptsFormat()) {
        currentData_ = nullptr;
        effect = DROPEFFECT_NONE;
        return S_OK;
    }
    ScrollAxes = {};
    EdgeMargin = targetControl_ ? std::abs(QFontInfo(targetControl_->font()).pixelSize()) : 0;
    if (auto* area = qobject_cast<QAbstractScrollArea*>(targetControl_.data())) {
        ScrollAxes.setFlag(TScrollAxis::Horizontal, area->horizontalScrollBar()->isVisible());
        ScrollAxes.setFlag(TScrollAxis::Vertical, area->verticalScrollBar()->isVisible());
    }
    if (GetDataOnEnter)
        FetchData();
    const TShiftState shift = KeysToShiftState(keyState);
    effect = ChooseEffect(shift, point, effect);
    FireEnter(shift, point, effect);
    return S_OK;
}

std::int32_t TDropTarget::ChooseEffect(TShiftState shift, QPoint point, std::int32_t requested)
{
    std::int32_t allowed = requested;
    if (!Dragtypes.testFlag(TDragType::dtCopy))
        allowed &= ~DROPEFFECT_COPY;
    if (!Dragtypes.testFlag(TDragType::dtMove))
        allowed &= ~DROPEFFECT_MOVE;
    if (!Dragtypes.testFlag(TDragType::dtLink))
        allowed &= ~DROPEFFECT_LINK;
    if (OnGetDropEffect) {
        std::int32_t effect = allowed;
        OnGetDropEffect(this, shift, point, effect);
        return effect;
    }

    const bool shiftHeld = shift.testFlag(TShiftFlag::ssShift);
    const bool ctrlHeld = shift.testFlag(TShiftFlag::ssCtrl);
    std::int32_t effect = DROPEFFECT_NONE;
    if (shiftHeld && ctrlHeld && (allowed & DROPEFFECT_LINK))
        effect = DROPEFFECT_LINK;
    else if (shiftHeld && !ctrlHeld && (allowed & DROPEFFECT_MOVE))
        effect = DROPEFFECT_MOVE;
    else if (allowed & DROPEFFECT_COPY)
        effect = DROPEFFECT_COPY;
    else if (allowed & DROPEFFECT_MOVE)
        effect = DROPEFFECT_MOVE;
    else if (allowed & DROPEFFECT_LINK)
        effect = DROPEFFECT_LINK;

    const QWidget* client = clientWidget();
    const int width = client ? client->width() : 0;
    const int height = client ? client->height() : 0;
    if (ScrollAxes.testFlag(TScrollAxis::Horizontal) && (point.x() < EdgeMargin || point.x() > width - EdgeMargin))
        return effect | DROPEFFECT_SCROLL;
    if (ScrollAxes.testFlag(TScrollAxis::Vertical) && (point.y() < EdgeMargin || point.y() > height - EdgeMargin))
        effect |= DROPEFFECT_SCROLL;
    return effect;
}

HRESULT TDropTarget::DragOver(std::uint32_t keyState, QPoint screenPoint, std::int32_t& effect)
{
    const QPoint point = toClient(screenPoint);
    bool scrolling = false;
    if (!currentData_) {
        effect = DROPEFFECT_NONE;
    } else {
        const TShiftState shift = KeysToShiftState(keyState);
        effect = ChooseEffect(shift, point, effect);
        FireDragOver(shift, point, effect);
        scrolling = ScrollAxes.toInt() != 0 && (effect & DROPEFFECT_SCROLL);
    }
    if (scrolling != EdgeScrollTimer->isActive()) {
        if (scrolling)
            EdgeScrollTimer->start();
        else
            EdgeScrollTimer->stop();
    }
    LastDragPoint = point;
    return S_OK;
}

void TDropTarget::EdgeScrollTimerTimer()
{
    auto* area = qobject_cast<QAbstractScrollArea*>(targetControl_.data());
    const QWidget* client = clientWidget();
    if (!area || !client)
        return;
    const QPoint p = LastDragPoint;
    if (p.y() < EdgeMargin)
        area->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (p.y() > client->height() - EdgeMargin)
        area->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    if (p.x() < EdgeMargin)
        area->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (p.x() > client->width() - EdgeMargin)
        area->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
}

HRESULT TDropTarget::DragLeave()
{
    ResetData();
    EdgeScrollTimer->stop();
    currentData_ = nullptr;
    FireLeave();
    return S_OK;
}

HRESULT TDropTarget::Drop(QMimeData*, std::uint32_t keyState, QPoint screenPoint, std::int32_t& effect)
{
    if (!currentData_) {
        effect = DROPEFFECT_NONE;
        return S_OK;
    }
    EdgeScrollTimer->stop();
    const TShiftState shift = KeysToShiftState(keyState);
    const QPoint point = toClient(screenPoint);
    effect = ChooseEffect(shift, point, effect);
    if (GetDataOnEnter || FetchData())
        FireDrop(shift, point, effect);
    else
        effect = DROPEFFECT_NONE;
    // The data read lives only as long as OnDrop.
    ResetData();
    currentData_ = nullptr;
    return S_OK;
}

void TDropTarget::FireEnter(TShiftState shift, QPoint point, std::int32_t& effect)
{
    if (OnEnter)
        OnEnter(this, shift, point, effect);
}

void TDropTarget::FireDragOver(TShiftState shift, QPoint point, std::int32_t& effect)
{
    if (OnDragOver)
        OnDragOver(this, shift, point, effect);
}

void TDropTarget::FireDrop(TShiftState shift, QPoint point, std::int32_t& effect)
{
    if (OnDrop)
        OnDrop(this, shift, point, effect);
}

void TDropTarget::FireLeave()
{
    if (OnLeave)
        OnLeave(this);
}

std::int32_t TDropTarget::TakeFromClipboard()
{
    const QMimeData* data = clipboardData();
    if (!data)
        return 0;
    const QString preferred = ClipboardFormatMime(CF_PREFERREDDROPEFFECT);
    if (data->hasFormat(preferred)) {
        const QByteArray value = data->data(preferred);
        return value.size() >= 4 ? std::int32_t(le32(value, 0)) : 0;
    }
    const QStringList lines = copiedFileLines(*data);
    if (lines.isEmpty())
        return 0;
    const QString verb = lines.first().trimmed();
    return verb == QLatin1String("cut") ? DROPEFFECT_MOVE : verb == QLatin1String("copy") ? DROPEFFECT_COPY : 0;
}

void* TDropTarget::GetInterface(const QUuid& iid)
{
    if (iid == IID_IDropTarget)
        return static_cast<IDropTarget*>(this);
    return TInterfacedComponent::GetInterface(iid);
}

bool TDropTarget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != registered_)
        return TInterfacedComponent::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter: {
        auto* e = static_cast<QDragEnterEvent*>(event);
        std::int32_t effect = std::int32_t(e->possibleActions()) & kEffectMask;
        DragEnter(const_cast<QMimeData*>(e->mimeData()), KeyStateOf(e->modifiers(), e->buttons()),
                  registered_->mapToGlobal(e->position().toPoint()), effect);
        // Taken whatever the effect, so that the moves and the leave come here too.
        e->setDropAction(actionOf(effect));
        e->accept();
        return true;
    }
    case QEvent::DragMove: {
        auto* e = static_cast<QDragMoveEvent*>(event);
        std::int32_t effect = std::int32_t(e->possibleActions()) & kEffectMask;
        DragOver(KeyStateOf(e->modifiers(), e->buttons()), registered_->mapToGlobal(e->position().toPoint()), effect);
        answer(e, effect);
        return true;
    }
    case QEvent::DragLeave:
        DragLeave();
        return true;
    case QEvent::Drop: {
        auto* e = static_cast<QDropEvent*>(event);
        std::int32_t effect = std::int32_t(e->possibleActions()) & kEffectMask;
        Drop(const_cast<QMimeData*>(e->mimeData()), KeyStateOf(e->modifiers(), e->buttons()),
             registered_->mapToGlobal(e->position().toPoint()), effect);
        answer(e, effect);
        return true;
    }
    default:
        return TInterfacedComponent::eventFilter(watched, event);
    }
}

TDropFileTarget::TDropFileTarget(QObject* owner) : TDropTarget(owner)
{
    FileNameMapFormatEtc.cfFormat = CF_FILENAMEMAP;
    FileNameMapWFormatEtc.cfFormat = CF_FILENAMEMAPW;
}

bool TDropFileTarget::ReadDropFiles(const QByteArray& block, QStringList& names)
{
    if (block.size() >= kDropFilesSize)
        readNames(block, qsizetype(le32(block, 0)), le32(block, kWideFlagAt) != 0, names);
    return !names.isEmpty();
}

bool TDropFileTarget::AcceptsFormat()
{
    return CurrentData() && hasFileNames(*CurrentData());
}

void TDropFileTarget::ResetData()
{
    FileNames.clear();
    NameMap.clear();
}

bool TDropFileTarget::FetchData()
{
    ResetData();
    const QMimeData* data = CurrentData();
    if (!data)
        return false;
    // Without file names the result is false and a name map is dropped below.
    const bool result = readFileNames(*data, FileNames);

    const QString narrow = ClipboardFormatMime(FileNameMapFormatEtc.cfFormat);
    const QString wide = ClipboardFormatMime(FileNameMapWFormatEtc.cfFormat);
    if (data->hasFormat(narrow))
        readNames(data->data(narrow), 0, false, NameMap);
    else if (data->hasFormat(wide))
        readNames(data->data(wide), 0, true, NameMap);
    if (NameMap.size() != FileNames.size())
        NameMap.clear();
    return result;
}

std::int32_t TDropFileTarget::TakeFromClipboard()
{
    const QMimeData* data = clipboardData();
    if (!data)
        return 0;
    // Without a file list of its own, the desktop's copied files stand for one.
    QStringList copied;
    if (!hasFileNames(*data)) {
        copied = copiedFiles(*data);
        if (copied.isEmpty())
            return 0;
    }
    FileNames.clear();
    if (copied.isEmpty())
        readFileNames(*data, FileNames);
    else
        FileNames = copied;
    if (FileNames.isEmpty())
        return 0;
    const std::int32_t effect = TDropTarget::TakeFromClipboard();
    return effect != 0 ? effect : DROPEFFECT_COPY;
}

} // namespace qd
