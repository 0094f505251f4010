#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

/// The note files below a base folder, as the search and quick open list them.
///
/// A note file is what NoteRule says: a regular file (or a link to one) whose extension, in any
/// letter case, is "md" or "txt", outside folders named "trash" in any letter case. Folders are
/// walked depth first; inside a folder, files and subfolders come in the byte order of their names,
/// or in NaturalOrder when asked, so the list is the same on every run. Links to folders are not
/// followed, so a link cycle cannot trap the walk. Folders that cannot be read add nothing.
namespace NoteFiles {

enum class HiddenItems { Skip, Include };

/// The order of the entries inside a folder: bytes for lists that are sorted afterwards anyway,
/// natural (NaturalOrder) for lists shown in walk order.
enum class NameOrder { bytes, natural };

struct Folder
{
    /// Absolute path, without a trailing slash.
    QString path;
    /// Path below the base folder ("" for the base folder itself, "A/B" below it).
    QString relativePath;
    /// `path` in the file system's encoding.
    QByteArray nativePath;
};

struct File
{
    /// Index into NoteFileList::folders.
    qsizetype folder = 0;
    QString name;
    /// `name` in the file system's encoding.
    QByteArray nativeName;
    /// Modification time in milliseconds since the epoch, when asked for and readable.
    std::optional<qint64> modifiedMSecs;
};

struct NoteFileList
{
    QList<Folder> folders;
    QList<File> files;

    QString filePath(const File &file) const
    {
        return folders[file.folder].path + u'/' + file.name;
    }
};

struct ListOptions
{
    HiddenItems hidden = HiddenItems::Skip;
    /// Also read each file's modification time (one stat call per file).
    bool withModificationTimes = false;
    NameOrder order = NameOrder::bytes;
};

/// Lists the note files below `baseFolder`. Names starting with "." are hidden; with
/// HiddenItems::Skip neither they nor anything inside a hidden folder is listed. The base
/// folder's own "Data" folder (PathManager::dataFolderPath) holds the application's state, not
/// notes, and is never listed; a "Data" folder deeper down is the user's and is.
NoteFileList listNoteFiles(const QString &baseFolder, const ListOptions &options = {});

/// One entry of a folder that the walk visits: a note file or a subfolder.
struct FolderEntry
{
    QString name;
    /// `name` in the file system's encoding.
    QByteArray nativeName;
    bool isFolder = false;
    /// A note's modification time in milliseconds since the epoch, when asked for and known
    /// without another system call.
    std::optional<qint64> modifiedMSecs;
};

/// The entries of the folder at `nativePath` that listNoteFiles visits, in its order: note files
/// and subfolders (never a "trash" folder), hidden ones only when asked for. Empty when the folder
/// cannot be read. Lets a caller walk the folders in its own way (several at once) and still list,
/// and order, exactly what listNoteFiles lists.
QList<FolderEntry> readFolder(const QByteArray &nativePath, const ListOptions &options = {});

/// Whether a file name ends in ".md" or ".txt" in any letter case. A name whose only dot is its
/// first character (".md") has no extension.
bool hasNoteExtension(QStringView fileName);

/// The file name without its extension ("a.b.md" gives "a.b"); names without one are returned
/// whole.
QStringView nameWithoutExtension(QStringView fileName);

} // namespace NoteFiles
