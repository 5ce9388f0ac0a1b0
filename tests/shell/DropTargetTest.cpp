#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QListWidget>
#include <QMimeData>
#include <QPointer>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QtEndian>
#include <functional>

#include "platform/Text.h"
#include "shell/DropSource.h"
#include "shell/DropTarget.h"
#include "support/QtApp.h"

using namespace qd;

namespace {

// Little-endian 32-bit fields.
QByteArray le32(std::uint32_t v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

// A DROPFILES header: the offset of the first name, a point, the non-client
// flag and the wide flag.
QByteArray dropFilesHeader(std::uint32_t offset, bool wide)
{
    return le32(offset) + le32(7) + le32(9) + le32(0) + le32(wide ? 1 : 0);
}

QByteArray utf16(const QString& s)
{
    QByteArray b;
    for (QChar c : s)
        b += char(c.unicode() & 0xFF), b += char(c.unicode() >> 8);
    return b;
}

const QByteArray kZero16("\0\0", 2);

// What the events of a target saw.
struct Seen {
    int enters = 0, overs = 0, leaves = 0, drops = 0;
    QStringList files, map;
    std::int32_t dropEffect = -1;
};

class DropTargetTest : public ::testing::Test {
protected:
    DropTargetTest()
    {
        test::ensureApp<QApplication>();
        RegisterDropFormats();
        target = new TDropFileTarget;
        target->Dragtypes = {TDragType::dtCopy, TDragType::dtMove, TDragType::dtLink};
        target->OnEnter = [this](QObject*, TShiftState, QPoint, std::int32_t&) { ++seen.enters; };
        target->OnDragOver = [this](QObject*, TShiftState, QPoint, std::int32_t&) { ++seen.overs; };
        target->OnLeave = [this](QObject*) { ++seen.leaves; };
        target->OnDrop = [this](QObject*, TShiftState, QPoint, std::int32_t& effect) {
            ++seen.drops;
            seen.files = target->FileNames;
            seen.map = target->NameMap;
            seen.dropEffect = effect;
        };
    }
    ~DropTargetTest() override { delete target.data(); }

    // Attaches the target to a shown list of the given number of rows, 120 pixels square.
    QListWidget* list(int rows)
    {
        widget = std::make_unique<QListWidget>();
        for (int i = 0; i < rows; ++i)
            widget->addItem(QStringLiteral("row %1").arg(i));
        widget->resize(120, 120);
        widget->show();
        target->Attach(widget.get());
        return widget.get();
    }
    QPoint screen(QPoint client) const { return widget->viewport()->mapToGlobal(client); }

    static std::unique_ptr<QMimeData> files(const QByteArray& block)
    {
        auto data = std::make_unique<QMimeData>();
        data->setData(ClipboardFormatMime(CF_HDROP), block);
        return data;
    }
    static QByteArray twoNames() { return dropFilesHeader(20, false) + "A.TXT" + '\0' + "B.TXT" + '\0' + '\0'; }

    QPointer<TDropFileTarget> target;
    std::unique_ptr<QListWidget> widget;
    Seen seen;
};

constexpr std::int32_t kAll = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;

} // namespace

TEST(ReadDropFiles, ReadsAnsiNamesInCodePage932AndAppends)
{
    // 表 is 0x95 0x5C: its second byte is no separator and no end.
    const QByteArray block = dropFilesHeader(20, false) + "A.TXT" + '\0' + "\x95\x5C.txt" + '\0' + '\0';
    QStringList names{QStringLiteral("kept")};
    EXPECT_TRUE(TDropFileTarget::ReadDropFiles(block, names));
    EXPECT_EQ(names, (QStringList{QStringLiteral("kept"), QStringLiteral("A.TXT"), QString::fromUtf8("表.txt")}));
}

TEST(ReadDropFiles, ReadsUtf16NamesFromTheOffsetEvenWhenUnaligned)
{
    const QString japanese = QString::fromUtf8("日本語 ファイル.txt");
    const QByteArray block = dropFilesHeader(21, true) + 'x' + utf16(japanese) + kZero16 + utf16(QStringLiteral("b")) +
                             kZero16 + kZero16;
    QStringList names;
    EXPECT_TRUE(TDropFileTarget::ReadDropFiles(block, names));
    EXPECT_EQ(names, (QStringList{japanese, QStringLiteral("b")}));
}

TEST(ReadDropFiles, StopsAtTheEndOfABlockThatHasNoEnd)
{
    const struct {
        const char* what;
        QByteArray block;
        QStringList names;
    } cases[] = {
        {"a name cut by the end", dropFilesHeader(20, false) + "A.TXT" + '\0' + "B.T", {QStringLiteral("A.TXT")}},
        {"no empty name at the end", dropFilesHeader(20, false) + "A.TXT" + '\0', {QStringLiteral("A.TXT")}},
        {"a wide name cut in half", dropFilesHeader(20, true) + utf16(QStringLiteral("ab")) + kZero16 + "c", {QStringLiteral("ab")}},
        {"an offset past the end", dropFilesHeader(400, false) + "A.TXT" + '\0' + '\0', {}},
        {"no room for the header", dropFilesHeader(20, false).left(19), {}},
        {"no names", dropFilesHeader(20, false) + '\0', {}},
    };
    for (const auto& c : cases) {
        QStringList names;
        EXPECT_EQ(TDropFileTarget::ReadDropFiles(c.block, names), !c.names.isEmpty()) << c.what;
        EXPECT_EQ(names, c.names) << c.what;
    }
    // The answer is about the list, which need not be empty before.
    QStringList earlier{QStringLiteral("x")};
    EXPECT_TRUE(TDropFileTarget::ReadDropFiles(QByteArray(), earlier));
}

TEST(DropSource, RegistersTheSevenFormatsOnceInTheirOrder)
{
    RegisterDropFormats();
    const TClipFormat formats[] = {CF_FILECONTENTS, CF_FILEGROUPDESCRIPTOR, CF_IDLIST,      CF_PREFERREDDROPEFFECT,
                                   CF_URL,          CF_FILENAMEMAP,         CF_FILENAMEMAPW};
    const char* names[] = {"FileContents",           "FileGroupDescriptor", "Shell IDList Array", "Preferred DropEffect",
                           "UniformResourceLocator", "FileNameMap",         "FileNameMapW"};
    for (std::size_t i = 0; i < std::size(formats); ++i) {
        EXPECT_GE(formats[i], 0xC000u) << names[i];
        if (i > 0) {
            EXPECT_GT(formats[i], formats[i - 1]) << names[i];
        }
        EXPECT_EQ(RegisterClipboardFormat(QString::fromLatin1(names[i]).toUpper()), formats[i]) << names[i];
        EXPECT_EQ(ClipboardFormatMime(formats[i]),
                  QStringLiteral("application/x-qt-windows-mime;value=\"%1\"").arg(QString::fromLatin1(names[i])));
    }
    const TClipFormat before = CF_FILENAMEMAPW;
    RegisterDropFormats();
    EXPECT_EQ(CF_FILENAMEMAPW, before);
    EXPECT_EQ(RegisterClipboardFormat(QString()), 0u);
    EXPECT_TRUE(ClipboardFormatMime(0xBFFF).isEmpty());
}

TEST_F(DropTargetTest, CountsReferencesAndAnswersForItsInterfaces)
{
    EXPECT_EQ(target->RefCount(), 1); // its own, for the owner
    EXPECT_EQ(target->AddRef(), 2);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(target->QueryInterface(IID_IDropTarget, &out), S_OK);
    EXPECT_EQ(out, static_cast<IDropTarget*>(target.data()));
    EXPECT_EQ(target->RefCount(), 3);
    EXPECT_EQ(target->QueryInterface(IID_IUnknown, &out), S_OK);
    EXPECT_EQ(target->RefCount(), 4);
    EXPECT_EQ(target->QueryInterface(QUuid::createUuid(), &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(target->RefCount(), 4);
    for (int expected = 3; expected >= 1; --expected)
        EXPECT_EQ(target->Release(), expected);
    ASSERT_TRUE(target);
    EXPECT_EQ(target->Release(), 0);
    EXPECT_FALSE(target); // destroyed at 0
}

TEST_F(DropTargetTest, KeysChooseTheEffectAmongThoseAllowed)
{
    using F = TShiftFlag;
    const TShiftState none, shift = F::ssShift, ctrl = F::ssCtrl, both = F::ssShift | F::ssCtrl;
    const TDragTypes all = {TDragType::dtCopy, TDragType::dtMove, TDragType::dtLink};
    const struct {
        TDragTypes types;
        std::int32_t requested;
        TShiftState keys;
        std::int32_t effect;
    } cases[] = {
        {all, kAll, none, DROPEFFECT_COPY},
        {all, kAll, ctrl, DROPEFFECT_COPY}, // Ctrl alone counts as no key
        {all, kAll, shift, DROPEFFECT_MOVE},
        {all, kAll, both, DROPEFFECT_LINK},
        {{TDragType::dtCopy, TDragType::dtMove}, kAll, both, DROPEFFECT_COPY},
        {{TDragType::dtMove}, kAll, both, DROPEFFECT_MOVE},
        {all, DROPEFFECT_COPY | DROPEFFECT_MOVE, both, DROPEFFECT_COPY}, // the source offers no link
        {{TDragType::dtCopy, TDragType::dtLink}, kAll, shift, DROPEFFECT_COPY},
        {{TDragType::dtLink}, kAll, shift, DROPEFFECT_LINK},
        {{TDragType::dtMove, TDragType::dtLink}, kAll, none, DROPEFFECT_MOVE},
        {{}, kAll, none, DROPEFFECT_NONE},
    };
    for (const auto& c : cases) {
        target->Dragtypes = c.types;
        EXPECT_EQ(target->ChooseEffect(c.keys, QPoint(5, 5), c.requested), c.effect)
            << "types " << c.types.toInt() << " requested " << c.requested << " keys " << c.keys.toInt();
    }
}

TEST_F(DropTargetTest, TheEdgesOfAScrollingControlAddTheScrollBitAndScrollIt)
{
    QListWidget* rows = list(200);
    ASSERT_TRUE(rows->verticalScrollBar()->isVisible());
    rows->verticalScrollBar()->setValue(50);
    const auto data = files(twoNames());
    std::int32_t effect = kAll;
    target->DragEnter(data.get(), MK_LBUTTON, screen(QPoint(30, 1)), effect);
    ASSERT_GT(target->EdgeMargin, 1);
    EXPECT_EQ(effect, DROPEFFECT_COPY | DROPEFFECT_SCROLL);
    effect = kAll;
    target->DragOver(MK_LBUTTON, screen(QPoint(30, 1)), effect);
    EXPECT_EQ(effect, DROPEFFECT_COPY | DROPEFFECT_SCROLL);
    EXPECT_TRUE(target->EdgeScrollTimer->isActive());
    EXPECT_TRUE(QTest::qWaitFor([&] { return rows->verticalScrollBar()->value() < 50; }, 5000));

    // Back in the middle: no scrolling.
    effect = kAll;
    target->DragOver(MK_LBUTTON, screen(QPoint(30, 50)), effect);
    EXPECT_EQ(effect, DROPEFFECT_COPY);
    EXPECT_FALSE(target->EdgeScrollTimer->isActive());
    target->DragLeave();
}

TEST_F(DropTargetTest, AControlWithoutScrollBarsNeverScrolls)
{
    list(1);
    ASSERT_FALSE(widget->verticalScrollBar()->isVisible());
    ASSERT_FALSE(widget->horizontalScrollBar()->isVisible());
    const auto data = files(twoNames());
    std::int32_t effect = kAll;
    target->DragEnter(data.get(), 0, screen(QPoint(1, 1)), effect);
    EXPECT_EQ(effect, DROPEFFECT_COPY);
    effect = kAll;
    target->DragOver(0, screen(QPoint(1, 1)), effect);
    EXPECT_EQ(effect, DROPEFFECT_COPY);
    EXPECT_FALSE(target->EdgeScrollTimer->isActive());
}

TEST_F(DropTargetTest, AHandlerOfOnGetDropEffectDecidesAlone)
{
    list(200);
    std::int32_t offered = -1;
    target->Dragtypes = {TDragType::dtCopy, TDragType::dtLink};
    target->OnGetDropEffect = [&](QObject*, TShiftState, QPoint, std::int32_t& effect) {
        offered = effect;
        effect = DROPEFFECT_LINK;
    };
    const auto data = files(twoNames());
    std::int32_t effect = kAll;
    // At the edge, with Shift: neither the scroll bit nor the key rule.
    target->DragEnter(data.get(), MK_SHIFT, screen(QPoint(30, 1)), effect);
    EXPECT_EQ(offered, DROPEFFECT_COPY | DROPEFFECT_LINK);
    EXPECT_EQ(effect, DROPEFFECT_LINK);
    effect = kAll;
    target->DragOver(MK_SHIFT, screen(QPoint(30, 1)), effect);
    EXPECT_EQ(effect, DROPEFFECT_LINK);
    EXPECT_FALSE(target->EdgeScrollTimer->isActive());
}

TEST_F(DropTargetTest, DataWithoutFileNamesIsRefusedButTheLeaveIsStillTold)
{
    list(1);
    auto text = std::make_unique<QMimeData>();
    text->setText(QStringLiteral("just text"));
    text->setUrls({QUrl(QStringLiteral("https://example.org/a.txt"))});
    std::int32_t effect = kAll;
    target->DragEnter(text.get(), 0, screen(QPoint(50, 50)), effect);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    EXPECT_EQ(target->CurrentData(), nullptr);
    effect = kAll;
    target->DragOver(0, screen(QPoint(50, 50)), effect);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    target->DragLeave();
    EXPECT_EQ(seen.enters, 0);
    EXPECT_EQ(seen.overs, 0);
    EXPECT_EQ(seen.leaves, 1);
}

TEST_F(DropTargetTest, ANameMapIsDeliveredOnlyWhenItHasOneNamePerFile)
{
    const QByteArray two = QByteArray("one.txt") + '\0' + "two.txt" + '\0' + '\0';
    const QByteArray oneWide = utf16(QStringLiteral("ein.txt")) + kZero16 + kZero16;
    const QByteArray twoWide = utf16(QStringLiteral("eins.txt")) + kZero16 + utf16(QStringLiteral("zwei.txt")) + kZero16 + kZero16;
    const struct {
        const char* what;
        QByteArray narrow, wide;
        QStringList map;
    } cases[] = {
        {"single-byte names first", two, oneWide, {QStringLiteral("one.txt"), QStringLiteral("two.txt")}},
        {"wide names without single-byte ones", {}, twoWide, {QStringLiteral("eins.txt"), QStringLiteral("zwei.txt")}},
        {"one name for two files", {}, oneWide, {}},
    };
    list(1);
    for (const auto& c : cases) {
        seen = {};
        const auto data = files(twoNames());
        if (!c.narrow.isEmpty())
            data->setData(ClipboardFormatMime(CF_FILENAMEMAP), c.narrow);
        data->setData(ClipboardFormatMime(CF_FILENAMEMAPW), c.wide);
        std::int32_t effect = kAll;
        target->DragEnter(data.get(), 0, screen(QPoint(50, 50)), effect);
        effect = kAll;
        target->Drop(data.get(), 0, screen(QPoint(50, 50)), effect);
        EXPECT_EQ(seen.drops, 1) << c.what;
        EXPECT_EQ(seen.files, (QStringList{QStringLiteral("A.TXT"), QStringLiteral("B.TXT")})) << c.what;
        EXPECT_EQ(seen.map, c.map) << c.what;
        EXPECT_EQ(effect, DROPEFFECT_COPY) << c.what;
        // The names live only as long as the drop.
        EXPECT_TRUE(target->FileNames.isEmpty()) << c.what;
        EXPECT_EQ(target->CurrentData(), nullptr) << c.what;
    }
}

TEST_F(DropTargetTest, ADropWhoseDataCannotBeReadIsNoDrop)
{
    list(1);
    const auto data = files(dropFilesHeader(20, false) + '\0');
    std::int32_t effect = kAll;
    target->DragEnter(data.get(), 0, screen(QPoint(50, 50)), effect);
    EXPECT_EQ(effect, DROPEFFECT_COPY); // the format is there
    EXPECT_EQ(seen.enters, 1);
    effect = kAll;
    target->Drop(data.get(), 0, screen(QPoint(50, 50)), effect);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    EXPECT_EQ(seen.drops, 0);

    // A drop with no drag in progress is none as well.
    effect = kAll;
    target->Drop(data.get(), 0, screen(QPoint(50, 50)), effect);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
}

TEST_F(DropTargetTest, QtDragEventsReachTheTargetOfTheirControl)
{
    QTemporaryDir dir;
    const QStringList paths = {dir.filePath(QStringLiteral("a.txt")), dir.filePath(QString::fromUtf8("日本.txt"))};
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(paths[0]), QUrl::fromLocalFile(paths[1])});
    QListWidget* rows = list(1);
    QWidget* client = rows->viewport();
    EXPECT_TRUE(client->acceptDrops());
    const QPoint at(40, 40);
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;

    QDragEnterEvent enter(at, offered, &data, Qt::LeftButton, Qt::ShiftModifier);
    QCoreApplication::sendEvent(client, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(enter.dropAction(), Qt::MoveAction);
    QDragMoveEvent move(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(client, &move);
    EXPECT_TRUE(move.isAccepted());
    EXPECT_EQ(move.dropAction(), Qt::CopyAction);
    QDropEvent drop(QPointF(at), offered, &data, Qt::LeftButton, Qt::ShiftModifier);
    QCoreApplication::sendEvent(client, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(drop.dropAction(), Qt::MoveAction);
    EXPECT_EQ(seen.files, paths);
    EXPECT_EQ(seen.dropEffect, DROPEFFECT_MOVE);

    // Data without files: refused while it moves; its leave is still told.
    QMimeData text;
    text.setText(QStringLiteral("x"));
    QDragEnterEvent textEnter(at, offered, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(client, &textEnter);
    QDragMoveEvent textMove(at, offered, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(client, &textMove);
    EXPECT_FALSE(textMove.isAccepted());
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(client, &leave);
    EXPECT_EQ(seen.leaves, 1);

    target->Detach();
    EXPECT_FALSE(target->IsAttached());
    EXPECT_EQ(target->TargetControl(), nullptr);
    EXPECT_FALSE(client->acceptDrops());
    QDropEvent late(QPointF(at), offered, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(client, &late);
    EXPECT_EQ(seen.drops, 1);
}

TEST_F(DropTargetTest, TakesFileNamesAndTheirEffectFromTheClipboard)
{
    const QString file = QStringLiteral("/tmp/qd-example/a.txt");
    const QByteArray uri = QUrl::fromLocalFile(file).toEncoded();
    const struct {
        const char* what;
        std::function<void(QMimeData&)> fill;
        std::int32_t effect;
        QStringList names;
    } cases[] = {
        {"a block and a preferred effect",
         [](QMimeData& d) {
             d.setData(ClipboardFormatMime(CF_HDROP), twoNames());
             d.setData(ClipboardFormatMime(CF_PREFERREDDROPEFFECT), le32(DROPEFFECT_MOVE));
         },
         DROPEFFECT_MOVE, {QStringLiteral("A.TXT"), QStringLiteral("B.TXT")}},
        {"files cut on the desktop", [&](QMimeData& d) { d.setData(kGnomeCopiedFiles, "cut\n" + uri); },
         DROPEFFECT_MOVE, {file}},
        {"files copied on the desktop",
         [&](QMimeData& d) {
             d.setData(kGnomeCopiedFiles, "copy\n" + uri);
             d.setUrls({QUrl::fromLocalFile(file)});
         },
         DROPEFFECT_COPY, {file}},
        {"a URL list alone counts as a copy", [&](QMimeData& d) { d.setUrls({QUrl::fromLocalFile(file)}); },
         DROPEFFECT_COPY, {file}},
        {"a block without names", [](QMimeData& d) { d.setData(ClipboardFormatMime(CF_HDROP), dropFilesHeader(20, false) + '\0'); },
         0, {}},
        {"text", [](QMimeData& d) { d.setText(QStringLiteral("a.txt")); }, 0, {QStringLiteral("earlier")}},
    };
    for (const auto& c : cases) {
        auto* data = new QMimeData;
        c.fill(*data);
        QGuiApplication::clipboard()->setMimeData(data);
        target->FileNames = QStringList{QStringLiteral("earlier")};
        EXPECT_EQ(target->TakeFromClipboard(), c.effect) << c.what;
        EXPECT_EQ(target->FileNames, c.names) << c.what;
    }
}
