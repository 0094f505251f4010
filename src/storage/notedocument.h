#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// The on-disk layout of a note: an optional front-matter header fenced by "---" lines, optional
// Joplin metadata (fenced, right after the header, or unfenced at the very end), and the body the
// user edits. Everything here is a pure function of its arguments, except that "now" and the local
// time zone come from Clock::current().

/// The parsed header of a note. Only the lines keyed exactly `title`, `created` and `updated`
/// (lower case, not indented) belong to this program; every other line belongs to whoever wrote
/// it and is written back as it was.
struct NoteFrontMatter
{
    /// From this program's `title` line; else from a title key in another spelling.
    std::optional<QString> title;
    /// From this program's `created` line; else from another application's creation key
    /// (`date`, `Created`, Joplin's times).
    std::optional<QDateTime> created;
    /// The creation value as read (unquoted) or as last formatted.
    std::optional<QString> createdRaw;
    /// From this program's `updated` line; else from another application's update key
    /// (`modified`, `Updated`, Joplin's times).
    std::optional<QDateTime> updated;
    /// The update value as read (unquoted) or as last formatted.
    std::optional<QString> updatedRaw;
    /// Every line between the fences, verbatim and in order, blank lines included; empty for a
    /// header composed from nothing.
    QStringList lines;

    bool operator==(const NoteFrontMatter &) const = default;
};

/// A note's text split into its pieces.
struct NoteDocumentParts
{
    /// The leading fenced header that is not Joplin metadata, if any.
    std::optional<NoteFrontMatter> obsidian;
    /// Joplin metadata exactly as found; a fenced block keeps its fence lines.
    std::optional<QString> joplinYAML;
    /// True when the Joplin metadata came from the end of the file.
    bool joplinIsTrailing = false;
    QString body;

    bool operator==(const NoteDocumentParts &) const = default;
};

/// Splits a file's text into header, Joplin metadata and body. CRLF and CR become LF and a leading
/// byte-order mark is dropped first.
NoteDocumentParts parseNoteDocument(const QString &text);

/// Reads the lines between a header's fences.
NoteFrontMatter parseFrontMatterLines(const QStringList &lines);

/// The header text, fences included, without a final line break: the header's lines as they were,
/// except that this program's own lines carry the values above. Such a line is rewritten only when
/// its value differs; one that is missing is added after the one before it in the order title,
/// created, updated (a missing title at the top), so a header composed from nothing is exactly
/// those three lines. A date with no value is left out.
QString renderFrontMatter(const NoteFrontMatter &frontMatter);

/// Joins a rendered header, the body and an optional trailer (trailing Joplin metadata) into a
/// file's text.
QString composeNoteText(const QString &header, const QString &body, const QString &trailer);

/// True when the header has a creation date or a non-empty raw creation value.
bool hasCreated(const NoteFrontMatter &frontMatter);
/// True when the header has an update date or a non-empty raw update value.
bool hasUpdated(const NoteFrontMatter &frontMatter);

/// The unquoted value of the first of `keys` (lower case) that some "key: value" line of `text`
/// gives a non-empty value; for a key given on several lines the last one counts.
std::optional<QString> yamlValue(const std::optional<QString> &text, const QStringList &keys);

/// The first non-blank line of the note's body, trimmed; used where a note needs a one-line label.
std::optional<QString> firstBodyLine(const QString &text);

/// The header to show: title from `fileName` (the file's name without its extension); missing dates
/// taken from the Joplin metadata, else from the file's own dates.
NoteFrontMatter completeHeaderForDisplay(const std::optional<NoteFrontMatter> &frontMatter,
                                         const QString &fileName,
                                         const std::optional<QString> &joplinYAML,
                                         const std::optional<QDateTime> &fileCreated,
                                         const std::optional<QDateTime> &fileModified);

/// The header to write: as for display, but a creation date that is still missing becomes `now`,
/// and the update date is always `now`. `fileName` is the file's name without its extension.
NoteFrontMatter completeHeaderForSave(const std::optional<NoteFrontMatter> &frontMatter,
                                      const QString &fileName,
                                      const std::optional<QString> &joplinYAML,
                                      const std::optional<QDateTime> &fileCreated,
                                      const QDateTime &now);

/// Trims spaces and tabs and removes one pair of matching surrounding quotes, undoing the escapes
/// that quoteValue adds.
QString unquoteValue(QStringView value);

/// Escapes backslashes and double quotes and wraps the result in double quotes.
QString quoteValue(QStringView value);

/// The whole text to write for a note: the completed header, then the body, with the note's Joplin
/// metadata put back where it was found (after the header, or at the end).
QString buildNoteSaveText(const NoteFrontMatter &completedHeader, const QString &body,
                          const std::optional<QString> &joplinYAML, bool joplinIsTrailing);
