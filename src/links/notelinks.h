#pragma once

#include <QList>
#include <QString>
#include <QStringView>

/// Links between notes and tags, as they are written in a note's text. Qt Core only: the
/// window, the index and the command line read notes the same way.
namespace NoteLinks {

/// One link to a note: `[[name]]`, `[[name|shown]]`, `[[name#heading]]` (an embed `![[…]]` too),
/// or a markdown link `[shown](relative/path.md)` whose target is a relative path to a note file
/// (spaces as `%20` or the path in `<…>`).
struct Link
{
    enum class Kind { wiki, markdown };
    Kind kind = Kind::wiki;
    /// The whole link in the text, brackets included (the "!" of an embed not).
    qsizetype start = 0;
    qsizetype length = 0;
    /// The characters that name the target as written: a wiki link's name with its folder part,
    /// a markdown link's destination without its fragment (inside the angle brackets).
    qsizetype targetStart = 0;
    qsizetype targetLength = 0;
    /// The target as meant: for a markdown link percent-decoded.
    QString target;
    /// The part after "#", without it; empty when none.
    QString heading;
    /// The shown text: after "|" in a wiki link, in brackets in a markdown link.
    QString shown;
    /// The line the link starts on, from 0.
    int line = 0;
    /// A markdown destination written in angle brackets, or with "%20" for its spaces.
    bool angleBrackets = false;
    bool percentSpaces = false;
};

/// The links of `text` (a whole note, front matter included: links in front matter values
/// count), in their order. Code spans and fenced code blocks are text.
QList<Link> links(QStringView text);

struct Tag
{
    /// As written, without "#" or "＃".
    QString spelling;
    /// Where the tag starts in the text, its "#" included; -1 for a front matter tag.
    qsizetype start = -1;
    int line = 0;
};

/// The tags of `text`: `#tag` or `＃タグ` in the body, outside code, headings and links, and the
/// front matter's `tags:` (a list, or a string of names separated by commas or spaces). A tag
/// is letters, digits and marks of any script and `_`, `-`, `/`; not digits alone.
QList<Tag> tags(QStringView text);

/// The form two names or tags are compared in: canonical composition (NFC and NFD alike), the
/// full-width and half-width forms (U+FF00 to U+FFEF, and the ideographic space) folded to their
/// usual ones, and case folding.
QString fold(QStringView name);

/// Whether `character` may continue a tag.
bool isTagCharacter(char32_t character);

/// The ranges of `text` that are code: fenced blocks (``` or ~~~) and code spans. Sorted.
QList<std::pair<qsizetype, qsizetype>> codeRanges(QStringView text);

/// Where the front matter ("---" lines at the very start) ends in `text`: the offset after its
/// closing line, or 0 when there is none.
qsizetype frontMatterEnd(QStringView text);

/// Where the name being typed into a wiki link starts in `line` (the text of a line before the
/// caret): just after its unclosed "[[", when no "]", "|" or "#" came since and the "[[" is not
/// in a code span; -1 otherwise.
qsizetype completionStart(QStringView line);

/// Where the tag being typed in `line` (the text before the caret) starts: just after its "#"
/// or "＃", when everything since is tag characters and the "#" can start a tag there (not
/// inside a word, not "##", not in a code span); -1 otherwise.
qsizetype tagCompletionStart(QStringView line);

/// The scheme of the addresses wikiLinksAsMarkdown gives wiki links.
inline constexpr QLatin1String noteScheme("quillmere-note");

/// `text` with every wiki link (and embed) written as a markdown link to
/// "quillmere-note:<target>#<heading>" showing its shown text, or its name: for renderers that
/// know only markdown links.
QString wikiLinksAsMarkdown(QStringView text);

/// The wiki link an address of wikiLinksAsMarkdown stands for.
Link linkFromNoteUrl(const QString &encodedPath, const QString &fragment);

} // namespace NoteLinks
