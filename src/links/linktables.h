#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

struct sqlite3;

/// The note index's tables of links and tags, keyed by the note's id in its `notes` table and
/// filled in the same transaction as the note's text (NoteIndex's note hook).
///
/// `links` holds, per link, the folded name it is looked up by (LinkResolver::linkKey), the
/// target as written and the line; backlinks of a note are the links whose key is the note's
/// name key, resolved exactly afterwards. `tags` holds each tag's folded form and spelling.
namespace LinkTables {

/// Creates the tables; inside the schema's transaction.
bool createSchema(sqlite3 *db);

/// Replaces the links and tags of note `noteId` by those of `header` (front matter: line -1)
/// and `body`; both empty: the note is gone.
bool writeNote(sqlite3 *db, qint64 noteId, QStringView body, QStringView header);

struct LinkRow
{
    /// The linking note, below the base folder (exact bytes of its path as UTF-8).
    QByteArray notePath;
    QString target;
    bool markdown = false;
    /// Line of the body, from 0; -1 in the front matter.
    int line = 0;
};

/// Every link whose key is `nameKey`.
std::optional<QList<LinkRow>> linksByKey(sqlite3 *db, const QString &nameKey);

struct TagCount
{
    QString key;
    /// The first spelling the index met.
    QString spelling;
    qint64 notes = 0;
};

/// Every tag with the number of notes carrying it, by key.
std::optional<QList<TagCount>> tagCounts(sqlite3 *db);

/// The paths of the notes carrying every one of the tags `keys` (folded, NoteLinks::fold), a tag
/// or one nested in it.
std::optional<QList<QByteArray>> notesWithTags(sqlite3 *db, const QStringList &keys);

} // namespace LinkTables
