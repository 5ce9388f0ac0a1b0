#include "DropSource.h"

#include <QHash>

namespace qd {

TClipFormat CF_FILECONTENTS = 0;
TClipFormat CF_FILEGROUPDESCRIPTOR = 0;
TClipFormat CF_IDLIST = 0;
TClipFormat CF_PREFERREDDROPEFFECT = 0;
TClipFormat CF_URL = 0;
TClipFormat CF_FILENAMEMAP = 0;
TClipFormat CF_FILENAMEMAPW = 0;

namespace {

constexpr TClipFormat kFirstRegistered = 0xC000;

// Registered names by number, as first spelt, and numbers by folded name.
struct FormatRegistry {
    QStringList names;
    QHash<QString, TClipFormat> numbers;
};

FormatRegistry& registry()
{
    static FormatRegistry r;
    return r;
}

QString windowsMime(const QString& name)
{
    return QStringLiteral("application/x-qt-windows-mime;value=\"") + name + QLatin1Char('"');
}

} // namespace

TInterfacedComponent::TInterfacedComponent(QObject* owner) : QObject(owner) {}

HRESULT TInterfacedComponent::QueryInterface(const QUuid& iid, void** out)
{
    void* found = GetInterface(iid);
    if (out)
        *out = found;
    if (!found)
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

std::int32_t TInterfacedComponent::AddRef() { return ++refCount_; }

std::int32_t TInterfacedComponent::Release()
{
    const std::int32_t count = --refCount_;
    if (count == 0)
        delete this;
    return count;
}

void* TInterfacedComponent::GetInterface(const QUuid& iid)
{
    return iid == IID_IUnknown ? this : nullptr;
}

TClipFormat RegisterClipboardFormat(const QString& name)
{
    if (name.isEmpty())
        return 0;
    FormatRegistry& r = registry();
    const QString key = name.toCaseFolded();
    if (const auto it = r.numbers.constFind(key); it != r.numbers.cend())
        return *it;
    const TClipFormat number = kFirstRegistered + TClipFormat(r.names.size());
    r.names.append(name);
    r.numbers.insert(key, number);
    return number;
}

void RegisterDropFormats()
{
    static const bool done = [] {
        CF_FILECONTENTS = RegisterClipboardFormat(QStringLiteral("FileContents"));
        CF_FILEGROUPDESCRIPTOR = RegisterClipboardFormat(QStringLiteral("FileGroupDescriptor"));
        CF_IDLIST = RegisterClipboardFormat(QStringLiteral("Shell IDList Array"));
        CF_PREFERREDDROPEFFECT = RegisterClipboardFormat(QStringLiteral("Preferred DropEffect"));
        CF_URL = RegisterClipboardFormat(QStringLiteral("UniformResourceLocator"));
        CF_FILENAMEMAP = RegisterClipboardFormat(QStringLiteral("FileNameMap"));
        CF_FILENAMEMAPW = RegisterClipboardFormat(QStringLiteral("FileNameMapW"));
        return true;
    }();
    (void)done;
}

QString ClipboardFormatMime(TClipFormat format)
{
    if (format == CF_HDROP)
        return windowsMime(QStringLiteral("CF_HDROP"));
    const QStringList& names = registry().names;
    if (format < kFirstRegistered || format - kFirstRegistered >= TClipFormat(names.size()))
        return QString();
    return windowsMime(names[qsizetype(format - kFirstRegistered)]);
}

} // namespace qd
