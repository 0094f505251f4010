#include "links/linktables.h"

#include "links/linkresolver.h"
#include "links/notelinks.h"

#include <QSet>

#include <algorithm>

#include <sqlite3.h>

namespace LinkTables {
namespace {

class Statement
{
public:
    Statement(sqlite3 *db, const char *sql)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr) != SQLITE_OK)
            m_statement = nullptr;
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    explicit operator bool() const { return m_statement != nullptr; }

    void bind(int index, qint64 value) { sqlite3_bind_int64(m_statement, index, value); }
    void bind(int index, const QString &text)
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(m_statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    int step() { return sqlite3_step(m_statement); }
    void reset() { sqlite3_reset(m_statement); }
    bool done()
    {
        const bool ok = m_statement && sqlite3_step(m_statement) == SQLITE_DONE;
        sqlite3_reset(m_statement);
        return ok;
    }
    qint64 integer(int column) const { return sqlite3_column_int64(m_statement, column); }
    QString text(int column) const
    {
        return QString::fromUtf8(
            reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column)),
            sqlite3_column_bytes(m_statement, column));
    }
    QByteArray bytes(int column) const
    {
        return QByteArray(static_cast<const char *>(sqlite3_column_blob(m_statement, column)),
                          sqlite3_column_bytes(m_statement, column));
    }

private:
    sqlite3_stmt *m_statement = nullptr;
};

} // namespace

bool createSchema(sqlite3 *db)
{
    return sqlite3_exec(db,
                        "CREATE TABLE links(note_id INTEGER NOT NULL, name_key TEXT NOT NULL,"
                        " target TEXT NOT NULL, markdown INTEGER NOT NULL, line INTEGER NOT NULL);"
                        "CREATE INDEX links_by_note ON links(note_id);"
                        "CREATE INDEX links_by_key ON links(name_key);"
                        "CREATE TABLE tags(note_id INTEGER NOT NULL, tag_key TEXT NOT NULL,"
                        " spelling TEXT NOT NULL, PRIMARY KEY(tag_key, note_id)) WITHOUT ROWID;"
                        "CREATE INDEX tags_by_note ON tags(note_id);",
                        nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool writeNote(sqlite3 *db, qint64 noteId, QStringView body, QStringView header)
{
    Statement dropLinks(db, "DELETE FROM links WHERE note_id = ?1");
    Statement dropTags(db, "DELETE FROM tags WHERE note_id = ?1");
    dropLinks.bind(1, noteId);
    dropTags.bind(1, noteId);
    if (!dropLinks.done() || !dropTags.done())
        return false;
    if (body.isEmpty() && header.isEmpty())
        return true;
    Statement addLink(db, "INSERT INTO links VALUES(?1, ?2, ?3, ?4, ?5)");
    Statement addTag(db, "INSERT OR IGNORE INTO tags VALUES(?1, ?2, ?3)");
    if (!addLink || !addTag)
        return false;
    const auto putLinks = [&](QStringView text, bool inHeader) {
        for (const NoteLinks::Link &link : NoteLinks::links(text)) {
            addLink.bind(1, noteId);
            addLink.bind(2, LinkResolver::linkKey(link));
            addLink.bind(3, link.target);
            addLink.bind(4, link.kind == NoteLinks::Link::Kind::markdown ? 1 : 0);
            addLink.bind(5, inHeader ? -1 : link.line);
            if (!addLink.done())
                return false;
        }
        return true;
    };
    const auto putTags = [&](QStringView text) {
        for (const NoteLinks::Tag &tag : NoteLinks::tags(text)) {
            addTag.bind(1, noteId);
            addTag.bind(2, NoteLinks::fold(tag.spelling));
            addTag.bind(3, tag.spelling);
            if (!addTag.done())
                return false;
        }
        return true;
    };
    return putLinks(header, true) && putLinks(body, false) && putTags(header) && putTags(body);
}

std::optional<QList<LinkRow>> linksByKey(sqlite3 *db, const QString &nameKey)
{
    Statement query(db, "SELECT notes.path, links.target, links.markdown, links.line FROM links"
                        " JOIN notes ON notes.id = links.note_id WHERE links.name_key = ?1");
    if (!query)
        return std::nullopt;
    query.bind(1, nameKey);
    QList<LinkRow> rows;
    int code;
    while ((code = query.step()) == SQLITE_ROW)
        rows.append({query.bytes(0), query.text(1), query.integer(2) != 0, int(query.integer(3))});
    if (code != SQLITE_DONE)
        return std::nullopt;
    return rows;
}

std::optional<QList<TagCount>> tagCounts(sqlite3 *db)
{
    // The first spelling: the one of the lowest note id, the note indexed first.
    Statement query(db, "SELECT tag_key, spelling, count(*), min(note_id) FROM tags"
                        " GROUP BY tag_key ORDER BY tag_key");
    if (!query)
        return std::nullopt;
    QList<TagCount> counts;
    int code;
    while ((code = query.step()) == SQLITE_ROW)
        counts.append({query.text(0), query.text(1), query.integer(2)});
    if (code != SQLITE_DONE)
        return std::nullopt;
    return counts;
}

std::optional<QList<QByteArray>> notesWithTags(sqlite3 *db, const QStringList &keys)
{
    if (keys.isEmpty())
        return QList<QByteArray>();
    // A tag counts its nested ones: "仕事" finds "仕事/会議" ("0" follows "/").
    Statement query(db, "SELECT DISTINCT notes.path FROM tags JOIN notes ON notes.id = tags.note_id"
                        " WHERE tags.tag_key = ?1 OR (tags.tag_key > ?1 || '/'"
                        " AND tags.tag_key < ?1 || '0')");
    if (!query)
        return std::nullopt;
    std::optional<QSet<QByteArray>> common;
    for (const QString &key : keys) {
        query.bind(1, key);
        QSet<QByteArray> paths;
        int code;
        while ((code = query.step()) == SQLITE_ROW)
            paths.insert(query.bytes(0));
        query.reset();
        if (code != SQLITE_DONE)
            return std::nullopt;
        if (common)
            common->intersect(paths);
        else
            common = paths;
    }
    QList<QByteArray> sorted(common->begin(), common->end());
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

} // namespace LinkTables
