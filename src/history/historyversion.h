#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

/// Why a version of a note was kept.
enum class HistoryEvent {
    original, ///< the note as it was before its first change in a session
    save,     ///< saved while typing, on switching to another note, on quitting
    outside,  ///< another program's version, as it was noticed
    rename,   ///< renamed or moved
    deleted,  ///< its last text, just before it was deleted
    restore,  ///< an earlier version brought back
    append,   ///< just before the command line added a line
};

namespace HistoryEvents {

/// The word that stands for `event` in the repository and in --json ("save").
QString code(HistoryEvent event);
std::optional<HistoryEvent> fromCode(QStringView code);
/// What the user is shown ("保存").
QString label(HistoryEvent event);

} // namespace HistoryEvents

/// One recorded version of a note.
struct HistoryVersion
{
    /// The commit's id, 40 hexadecimal digits.
    QString id;
    QDateTime time;
    HistoryEvent event = HistoryEvent::save;
    /// Where the note was, below the base folder.
    QString path;
    /// The text's size in bytes.
    qint64 size = 0;
    /// Characters added and removed since the version before.
    qint64 added = 0;
    qint64 removed = 0;
};

/// A note the history knows whose last place in the base folder holds nothing now.
struct DeletedNote
{
    /// Below the base folder.
    QString path;
    /// When it was deleted; for a note another program deleted, the time of its last version.
    QDateTime time;
    QString firstLine;
    /// The version a restore brings back: the last one.
    QString versionId;
};
