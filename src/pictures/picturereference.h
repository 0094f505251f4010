#pragma once

#include <QList>
#include <QString>
#include <QStringView>

/// One inline picture in a line of markdown: `![alt](destination "title")`. Positions are
/// UTF-16 offsets into the line.
struct PictureReference
{
    qsizetype start = 0;  ///< of the "!"
    qsizetype length = 0; ///< through the closing ")"
    QString alt;          ///< the description, backslash escapes removed
    /// The destination as written, angle brackets included when it has them.
    qsizetype destinationStart = 0;
    qsizetype destinationLength = 0;
    QString destination; ///< without angle brackets and backslash escapes; not percent-decoded

    bool operator==(const PictureReference &) const = default;
};

namespace PictureReferences {

/// The inline pictures of one line, in order. Code spans are skipped, as are escaped "!" and
/// "[". Reference-style pictures (`![alt][label]`) are not pictures here.
QList<PictureReference> find(QStringView line);

/// Whether the line holds nothing but pictures and spaces between them.
bool isPictureLine(QStringView line, const QList<PictureReference> &pictures);

/// The line with its pictures left out (what a line that mixes text and pictures shows as text).
QString withoutPictures(QStringView line, const QList<PictureReference> &pictures);

/// How a picture's destination is written in a link the program inserts: in angle brackets, so
/// that spaces and Japanese stay readable; the few characters that cannot stand there
/// percent-encoded.
QString destinationText(const QString &relativePath);

} // namespace PictureReferences
