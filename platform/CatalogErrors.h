#pragma once

#include <QByteArray>
#include <QString>

namespace qd {

class CatalogError;

// The Japanese texts the windows show for failures that the program reports
// in its own words (the numbered catalog messages and the others given word
// for word elsewhere stay as they are). Each says what went wrong, then, on
// the next line, the file, and where there is one the byte offset of damage
// and the system's reason, in the manner of the numbered messages. qdcat
// keeps CatalogError::what(), in English, as command-line tools do.

// A catalog file that cannot be read or written.
QString CatalogErrorText(const CatalogError& error);

// A folder of the catalog store that cannot be made, or an item that cannot
// be moved to the trash; reason is the system's.
QString CreateFolderErrorText(const QByteArray& path, const QString& reason);
QString TrashErrorText(const QByteArray& path, const QString& reason);

// A catalog, or a folder to write one into, that lies outside the catalog root.
QString OutsideRootText(const QByteArray& path, const QByteArray& root);

// An error without words of its own.
QString UnknownErrorText();

} // namespace qd
