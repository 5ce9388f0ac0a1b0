#pragma once

#include <QObject>
#include <QString>
#include <QUuid>
#include <atomic>
#include <cstdint>

// The base of the drag-and-drop components and the clipboard formats they
// use. Formats are numbered as Windows numbers them and travel in QMimeData
// under the MIME type that Qt gives a Windows clipboard format.
namespace qd {

using HRESULT = std::int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_NOINTERFACE = HRESULT(0x80004002u);

inline const QUuid IID_IUnknown{QStringLiteral("{00000000-0000-0000-C000-000000000046}")};

// A component (a QObject kept by its owner) that is also a reference-counted
// object. The count starts at 0; Release destroys the object when the count
// reaches 0, and the owner may also destroy it at any time.
class TInterfacedComponent : public QObject {
    Q_OBJECT
public:
    explicit TInterfacedComponent(QObject* owner = nullptr);

    // S_OK with *out set to the interface (and a reference taken) when the
    // class implements iid; else E_NOINTERFACE with *out set to nullptr.
    HRESULT QueryInterface(const QUuid& iid, void** out);
    // Both return the new count.
    std::int32_t AddRef();
    std::int32_t Release();
    std::int32_t RefCount() const { return refCount_.load(); }

protected:
    // The interface for iid, or nullptr. Subclasses answer for their own
    // interfaces and hand every other identifier to their base.
    virtual void* GetInterface(const QUuid& iid);

private:
    std::atomic<std::int32_t> refCount_{0};
};

// Clipboard format numbers. CF_HDROP is predefined; the others are numbered
// by RegisterClipboardFormat.
using TClipFormat = std::uint32_t;
inline constexpr TClipFormat CF_HDROP = 15;

// The formats registered at start-up, 0 until then.
extern TClipFormat CF_FILECONTENTS;        // "FileContents"
extern TClipFormat CF_FILEGROUPDESCRIPTOR; // "FileGroupDescriptor"
extern TClipFormat CF_IDLIST;              // "Shell IDList Array"
extern TClipFormat CF_PREFERREDDROPEFFECT; // "Preferred DropEffect"
extern TClipFormat CF_URL;                 // "UniformResourceLocator"
extern TClipFormat CF_FILENAMEMAP;         // "FileNameMap"
extern TClipFormat CF_FILENAMEMAPW;        // "FileNameMapW"

// The start-up of the drag-and-drop units: registers the seven formats above
// in that order. Later calls change nothing.
void RegisterDropFormats();

// The number of a named format: the same for the same name (case ignored),
// a new one from 0xC000 up for a new name; 0 for an empty name.
TClipFormat RegisterClipboardFormat(const QString& name);

// The MIME type that carries a format in QMimeData, as Qt names a Windows
// format: application/x-qt-windows-mime;value="NAME". CF_HDROP is carried
// as "CF_HDROP" (a DROPFILES block). Empty for a number never registered.
QString ClipboardFormatMime(TClipFormat format);

// On Linux desktops the clipboard tells a cut from a copy in this format:
// "copy" or "cut" on the first line, then the files' URLs.
inline const QString kGnomeCopiedFiles = QStringLiteral("x-special/gnome-copied-files");

} // namespace qd
