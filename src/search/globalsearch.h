#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringView>

class KeywordMatcher;
namespace NoteFiles {
struct NoteFileList;
}
namespace NoteBody {
struct Scratch;
}

/// One file found by the global search.
struct SearchHit
{
    QString filePath;
    /// The first body line holding the keyword, or a note that the title or a folder matched.
    QString snippet;
    /// Matches in the body, the name and the folder names together; at least 1.
    qsizetype matchCount = 0;
    /// Newest first in the result list; see GlobalSearch::searchSortDate.
    QDateTime sortDate;

    bool operator==(const SearchHit &) const = default;
};

/// The keyword search over every note below the base folder. Qt Core only, so the page and a
/// command-line tool share it. Matching is case-insensitive without diacritic or width folding
/// and counts UTF-16 units, as KeywordMatcher describes.
namespace GlobalSearch {

/// Lines longer than this are cut to a window around the first match for the snippet.
inline constexpr qsizetype snippetLimit = 200;

/// How a file's folders below the base folder match: the sum of the matches in every folder
/// name, and the first folder name that matched (empty when none).
struct FolderMatch
{
    qsizetype count = 0;
    QString folderName;

    bool operator==(const FolderMatch &) const = default;
};

/// Matches of the keyword in the folder names of `relativeFolder` ("A/B", "" for the base
/// folder itself, whose own name never counts).
FolderMatch folderMatch(QStringView relativeFolder, const KeywordMatcher &matcher);

/// The same for a file path; nothing matches when the file is not below `baseFolder`.
FolderMatch folderMatch(const QString &filePath, const QString &baseFolder,
                        const KeywordMatcher &matcher);

/// The earliest date there is: the sort date of a file whose date is unknown.
QDateTime earliestDate();

/// The date a hit sorts by: the file's modification time; failing that, for a file in a folder
/// named exactly "Daily", the day its name spells ("yyyy-MM-dd", local midnight in the clock's
/// time zone); failing that, earliestDate().
QDateTime searchSortDate(const QString &filePath);

/// Puts hits in result order: later sort date first; on equal dates the path that sorts later
/// in NaturalOrder first; hits equal in both keep their order.
void sortHits(QList<SearchHit> &hits);

struct SearchOptions
{
    /// Worker threads to use; 0 picks one per core, 1 searches on the calling thread only.
    /// The result is the same whatever the number.
    int threadCount = 0;
};

/// Searches every note below `baseFolder` for `keyword` (matched as given; callers trim it):
/// hidden files and folders and the application's Data folder are skipped; only the body of each
/// note is read, after its front-matter header and Joplin metadata; the file name without its
/// extension and the folder names below the base folder count as well. Files that cannot be read,
/// or are not UTF-8, are searched as empty text. Returns the hits in result order; none for an
/// empty keyword.
QList<SearchHit> runSearch(const QString &baseFolder, const QString &keyword,
                           const SearchOptions &options = {});

/// What the search reads of a note file's bytes: the body after the header and Joplin metadata,
/// as parseNoteDocument gives it; empty for a file that is not UTF-8. A keyword matches the
/// note's body exactly where it matches this text.
QString searchedBody(QByteArrayView bytes, NoteBody::Scratch &scratch);

/// runSearch() restricted to some of the notes of `list`: the files at `files`, indexes into
/// list.files in the list's order (the walk's). Every one is read and matched as runSearch does,
/// so for a set of files that holds every hit the result is runSearch's, hit for hit.
QList<SearchHit> searchNotes(const NoteFiles::NoteFileList &list, const QList<qsizetype> &files,
                             const QString &keyword, const SearchOptions &options = {});

} // namespace GlobalSearch
