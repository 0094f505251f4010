#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// The on-disk layout of a note: an optional front-matter header fenced by "---" lines, optional
// Joplin metadata (fenced, right after the header, or unfenced at the very end), and the body the
// user edits. Everything here is a pure function of its arguments, except that "now" and the local
// time zone come from Clock::current().

/// The parsed header of a note. Only the lines that start exactly `title:`, `created:` or
/// `updated:` (lower case, not indented, no space before the colon) belong to this program; every
/// other line belongs to whoever wrote it and is written back as it was.
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

/// Everything of a note's text around the header's lines and the body, exactly as found: blank
/// lines, fences, Joplin metadata and their line breaks. A save puts the new header lines and
/// body back in their places, so that every other byte stays as it was. Lines are split at line
/// feeds only (the text is read with line feeds).
struct NoteLayout
{
    /// False for a layout made from nothing: the note is composed in this program's own form.
    bool fromText = false;
    bool byteOrderMark = false;
    /// Lines above the header's own lines, its opening fence included; without a header, the
    /// lines above the body.
    QStringList before;
    /// With a header: from its closing fence to the body.
    QStringList between;
    /// Lines below the body (trailing Joplin metadata and the blank lines around it).
    QStringList after;
    /// Whether the body had lines at all: an empty body can be no line or one empty line.
    bool bodyHasLines = false;
    /// A blank line was read as the one that separates the fenced blocks from the body.
    bool bodySeparated = false;
    bool hasHeader = false;

    bool operator==(const NoteLayout &) const = default;
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
    NoteLayout layout;

    bool operator==(const NoteDocumentParts &) const = default;
};

/// Splits a file's text into header, Joplin metadata and body. CRLF and CR become LF and a leading
/// byte-order mark is dropped first (the layout remembers the mark; LineEnds puts the breaks
/// back).
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

/// The whole text to write for a note, with line feeds: the completed header, then the body, with
/// the note's Joplin metadata put back where it was found (after the header, or at the end). With
/// a layout read from the note's text, only this program's header lines and the body are written
/// anew; every other line, fences and blank lines included, is the layout's. A text without a
/// header gets one on top.
QString buildNoteSaveText(const NoteFrontMatter &completedHeader, const QString &body,
                          const std::optional<QString> &joplinYAML, bool joplinIsTrailing,
                          const NoteLayout &layout = {});

/// `text` (lines joined by line feeds) with the line breaks of `original`, the text it replaces:
/// a line that `original` also has, in the same order, ends as it ended there (LF, CRLF or a lone
/// CR); every other line ends with the break most lines of `original` end with (the first of
/// them on a tie; LF when `original` has none).
QString restoreLineEnds(const QString &text, const QString &original);
