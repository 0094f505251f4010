#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

/// File names and paths as exact bytes. The file system takes any bytes in a name, while Qt
/// decodes names as UTF-8 and turns bytes that are not UTF-8 into U+FFFD, so that a name such as
/// "caf\xe9.md" comes back as a path to a file that does not exist. decode() keeps every such
/// byte instead, as one unpaired surrogate (U+DC80 to U+DCFF for the bytes 0x80 to 0xFF), and
/// encode() turns it back into that byte: the two round-trip for any name.
namespace FileNames {

/// The name or path `native` as text: UTF-8 where it is UTF-8, each other byte kept as above.
QString decode(QByteArrayView native);

/// The bytes decode() made `text` from; anything else in UTF-8.
QByteArray encode(QStringView text);

/// Whether `text` holds bytes that are not UTF-8 (kept by decode()), so that Qt's own file
/// classes, which encode names as UTF-8, would reach another file or none.
bool hasForeignBytes(QStringView text);

} // namespace FileNames
