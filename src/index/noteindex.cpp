#include "index/noteindex.h"

#include "links/linktables.h"
#include "storage/pathmanager.h"

#include <QChar>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <sqlite3.h>
#include <sys/stat.h>

namespace {

/// How long a statement waits for another connection's write to end. Writers keep their
/// transactions short (a few hundred notes), so this is only reached when something is wrong.
constexpr int busyTimeoutMs = 3000;

bool isLineBreak(char16_t unit)
{
    return (unit >= 0x0A && unit <= 0x0D) || unit == 0x85 || unit == 0x2028 || unit == 0x2029;
}

/// A statement, finalized when it goes out of scope.
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
    sqlite3_stmt *get() const { return m_statement; }

    void bind(int index, qint64 value) { sqlite3_bind_int64(m_statement, index, value); }
    void bind(int index, const QByteArray &bytes, bool asText = false)
    {
        if (asText)
            sqlite3_bind_text(m_statement, index, bytes.constData(), int(bytes.size()),
                              SQLITE_TRANSIENT);
        else
            sqlite3_bind_blob(m_statement, index, bytes.constData(), int(bytes.size()),
                              SQLITE_TRANSIENT);
    }
    int step() { return sqlite3_step(m_statement); }
    void reset() { sqlite3_reset(m_statement); }
    qint64 integer(int column) const { return sqlite3_column_int64(m_statement, column); }
    QByteArray bytes(int column) const
    {
        const void *data = sqlite3_column_blob(m_statement, column);
        return QByteArray(static_cast<const char *>(data),
                          sqlite3_column_bytes(m_statement, column));
    }

private:
    sqlite3_stmt *m_statement = nullptr;
};

/// The pieces of a keyword the index can look up: its runs of characters between line breaks,
/// NULs and surrogates, each folded as the index folds. A match of the keyword holds each run.
QList<QString> lookupRuns(const QString &keyword)
{
    QList<QString> runs;
    QString run;
    for (const QChar c : keyword) {
        const char16_t unit = c.unicode();
        if (c.isSurrogate() || isLineBreak(unit) || unit == 0) {
            if (!run.isEmpty())
                runs.append(std::exchange(run, QString()));
            continue;
        }
        run += QChar(char16_t(QChar::toCaseFolded(char32_t(unit))));
    }
    if (!run.isEmpty())
        runs.append(run);
    return runs;
}

/// `text` as one FTS5 string: in double quotes, its own doubled.
QByteArray quoted(QStringView text)
{
    QByteArray utf8 = text.toUtf8();
    utf8.replace('"', "\"\"");
    return '"' + utf8 + '"';
}

/// The character after the last of `run` in code point order, so that [run, upperBound) holds
/// exactly the terms starting with `run`.
QString upperBound(const QString &run)
{
    QString bound = run.chopped(1);
    char32_t next = char32_t(run.back().unicode()) + 1;
    if (next >= 0xD800 && next <= 0xDFFF)
        next = 0xE000;
    bound += QString::fromUcs4(&next, 1);
    return bound;
}

bool makePrivateFolder(const QString &path)
{
    if (!QDir().mkpath(path))
        return false;
    return ::chmod(QFile::encodeName(path).constData(), 0700) == 0;
}

} // namespace

QString NoteIndex::defaultPath(const QString &baseFolder)
{
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    // Relative values are to be ignored, as for the other XDG folders.
    if (cache.isEmpty() || !QDir::isAbsolutePath(cache))
        cache = QDir::homePath() + QStringLiteral("/.cache");
    const QString base = PathManager::standardizedPath(baseFolder);
    const QString folder = QDir::cleanPath(cache + QStringLiteral("/Quillmere/index"));
    // Never among the notes, where sync tools and the search itself would find it.
    const auto inside = [](const QString &path, const QString &root) {
        return path == root || path.startsWith(root.endsWith(u'/') ? root : root + u'/');
    };
    const QString realFolder = QFileInfo(folder).canonicalFilePath();
    const QString realBase = QFileInfo(base).canonicalFilePath();
    if (inside(folder, base) ||
        (!realFolder.isEmpty() && !realBase.isEmpty() && inside(realFolder, realBase)))
        return {};
    const QByteArray hash =
        QCryptographicHash::hash(QFile::encodeName(base), QCryptographicHash::Sha256).toHex();
    return folder + u'/' + QString::fromLatin1(hash.left(32)) + QStringLiteral(".sqlite");
}

QString NoteIndex::indexedText(QStringView body)
{
    QString text;
    text.resize(body.size() + 2);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (const QChar c : body) {
        const char16_t unit = c.unicode();
        // SQLite's tokenizer stops at a NUL; a line feed stands in, which no looked-up run holds.
        if (unit == 0)
            *out++ = u'\n';
        else if (c.isSurrogate())
            *out++ = unit;
        else
            *out++ = char16_t(QChar::toCaseFolded(char32_t(unit)));
    }
    *out++ = u'\n';
    *out = u'\n';
    return text;
}

NoteIndex::NoteIndex() : m_hook(&LinkTables::writeNote) {}

NoteIndex::~NoteIndex()
{
    close();
}

void NoteIndex::close()
{
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

void NoteIndex::remove(const QString &path)
{
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1String(suffix));
}

bool NoteIndex::fail(const QString &what)
{
    m_error = what;
    const int primary = m_db ? sqlite3_errcode(m_db) & 0xFF : SQLITE_OK;
    m_damaged = primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
    if (m_db)
        m_error += QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(m_db));
    return false;
}

bool NoteIndex::exec(const char *sql)
{
    char *message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    m_error = QString::fromUtf8(message ? message : sqlite3_errmsg(m_db));
    sqlite3_free(message);
    const int primary = sqlite3_errcode(m_db) & 0xFF;
    m_damaged = primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
    return false;
}

std::optional<qint64> NoteIndex::scalar(const char *sql)
{
    Statement statement(m_db, sql);
    if (!statement || statement.step() != SQLITE_ROW) {
        fail(QStringLiteral("索引を読めません"));
        return std::nullopt;
    }
    return statement.integer(0);
}

bool NoteIndex::createSchema(const QString &baseFolder)
{
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    // Another connection (the window's index worker and its links worker open the same file)
    // may have made the tables since this one found none: whole, version and base included,
    // since they are written in one transaction.
    if (scalar("SELECT count(*) FROM sqlite_schema").value_or(0) > 0) {
        rollback();
        return checkSchema(baseFolder);
    }
    const bool made =
        exec("CREATE TABLE meta(key TEXT PRIMARY KEY, value) WITHOUT ROWID;"
             "CREATE TABLE notes(id INTEGER PRIMARY KEY, path BLOB NOT NULL UNIQUE,"
             " size INTEGER NOT NULL, mtime_ns INTEGER NOT NULL, ctime_ns INTEGER NOT NULL,"
             " inode INTEGER NOT NULL, text_id INTEGER NOT NULL UNIQUE);"
             "CREATE VIRTUAL TABLE texts USING fts5(body, content='', detail=none,"
             " tokenize='trigram case_sensitive 1');"
             "INSERT INTO meta VALUES('complete', 0), ('dead_texts', 0),"
             " ('next_text', 1);") &&
        LinkTables::createSchema(m_db);
    if (!made) {
        rollback();
        return false;
    }
    Statement version(m_db, "INSERT INTO meta VALUES('version', ?1), ('base', ?2)");
    version.bind(1, schemaVersion);
    version.bind(2, QFile::encodeName(baseFolder));
    if (!version || version.step() != SQLITE_DONE) {
        rollback();
        return false;
    }
    return exec("COMMIT");
}

bool NoteIndex::checkSchema(const QString &baseFolder)
{
    Statement statement(m_db, "SELECT (SELECT value FROM meta WHERE key = 'version'),"
                              " (SELECT value FROM meta WHERE key = 'base')");
    if (!statement)
        return false;
    if (statement.step() != SQLITE_ROW)
        return false;
    return statement.integer(0) == schemaVersion &&
           statement.bytes(1) == QFile::encodeName(baseFolder);
}

bool NoteIndex::open(const QString &path, const QString &baseFolder, QString *problem, bool *reset)
{
    close();
    m_path = path;
    if (reset)
        *reset = false;
    const auto failed = [&](const QString &what) {
        fail(what);
        close();
        if (problem)
            *problem = m_error;
        return false;
    };
    if (path.isEmpty())
        return failed(QStringLiteral("索引の置き場所がありません"));
    if (!makePrivateFolder(QFileInfo(path).absolutePath()))
        return failed(QStringLiteral("索引のフォルダを作れません: ") +
                      QString::fromLocal8Bit(strerror(errno)));
    const QByteArray native = QFile::encodeName(path);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (sqlite3_open_v2(native.constData(), &m_db,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK)
            return failed(QStringLiteral("索引を開けません"));
        sqlite3_extended_result_codes(m_db, 1);
        sqlite3_busy_timeout(m_db, busyTimeoutMs);
        // Whether the file is this program's index at all: its first read tells garbage and
        // truncated files apart (SQLITE_NOTADB, SQLITE_CORRUPT) from a locked one (SQLITE_BUSY).
        int code = SQLITE_ERROR;
        qint64 tableCount = -1;
        {
            Statement tables(m_db, "SELECT count(*) FROM sqlite_schema");
            code = tables ? tables.step() : sqlite3_errcode(m_db);
            if (code == SQLITE_ROW)
                tableCount = tables.integer(0);
        }
        const int primary = code & 0xFF;
        if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
            return failed(QStringLiteral("索引が使用中です"));
        const bool readable = code == SQLITE_ROW;
        const bool fresh = tableCount == 0;
        const bool ours =
            readable && (fresh || checkSchema(PathManager::standardizedPath(baseFolder)));
        if (!ours) {
            if (attempt > 0)
                return failed(QStringLiteral("索引を作り直せません"));
            // Not ours, or damaged: a cache, so it goes, with its journal.
            sqlite3_close_v2(m_db);
            m_db = nullptr;
            remove(path);
            if (reset)
                *reset = true;
            continue;
        }
        if (!exec("PRAGMA journal_mode=WAL") || !exec("PRAGMA synchronous=NORMAL"))
            return failed(QStringLiteral("索引を開けません"));
        if (fresh && !createSchema(PathManager::standardizedPath(baseFolder)))
            return failed(QStringLiteral("索引を作れません"));
        // The vocabulary of the trigrams, for keywords shorter than one: private to this
        // connection, so the file holds nothing another version would not know.
        if (!exec("CREATE VIRTUAL TABLE IF NOT EXISTS temp.terms USING fts5vocab(main, texts,"
                  " instance)"))
            return failed(QStringLiteral("索引を開けません"));
        return true;
    }
    return failed(QStringLiteral("索引を開けません"));
}

bool NoteIndex::clear(QString *problem)
{
    const bool done =
        begin() && exec("DELETE FROM notes") && exec("DELETE FROM links") &&
        exec("DELETE FROM tags") && exec("INSERT INTO texts(texts) VALUES('delete-all')") &&
        exec("UPDATE meta SET value = 0 WHERE key IN ('complete', 'dead_texts')") && commit();
    if (!done) {
        rollback();
        if (problem)
            *problem = m_error;
    }
    return done;
}

bool NoteIndex::isComplete()
{
    return scalar("SELECT value FROM meta WHERE key = 'complete'").value_or(0) == 1;
}

bool NoteIndex::setComplete(bool complete)
{
    return exec(complete ? "UPDATE meta SET value = 1 WHERE key = 'complete'"
                         : "UPDATE meta SET value = 0 WHERE key = 'complete'");
}

std::optional<QHash<QByteArray, NoteIndex::Entry>> NoteIndex::entries()
{
    Statement statement(m_db,
                        "SELECT path, id, size, mtime_ns, ctime_ns, inode, text_id FROM notes");
    if (!statement) {
        fail(QStringLiteral("索引を読めません"));
        return std::nullopt;
    }
    QHash<QByteArray, Entry> found;
    // Room for every note at once: the ids run up to about their number.
    found.reserve(qsizetype(scalar("SELECT ifnull(max(id), 0) FROM notes").value_or(0)));
    int code;
    while ((code = statement.step()) == SQLITE_ROW) {
        Entry entry;
        entry.id = statement.integer(1);
        entry.stamp = {statement.integer(2), statement.integer(3), statement.integer(4),
                       statement.integer(5)};
        entry.textId = statement.integer(6);
        found.insert(statement.bytes(0), entry);
    }
    if (code != SQLITE_DONE) {
        fail(QStringLiteral("索引を読めません"));
        return std::nullopt;
    }
    return found;
}

std::optional<NoteIndex::EntryTable> NoteIndex::entryTable()
{
    Statement statement(m_db,
                        "SELECT path, id, size, mtime_ns, ctime_ns, inode, text_id FROM notes");
    if (!statement) {
        fail(QStringLiteral("索引を読めません"));
        return std::nullopt;
    }
    EntryTable table;
    const qint64 expected = scalar("SELECT ifnull(max(id), 0) FROM notes").value_or(0);
    table.rows.reserve(size_t(expected));
    table.paths.reserve(qsizetype(expected) * 48);
    int code;
    while ((code = statement.step()) == SQLITE_ROW) {
        EntryTable::Row row;
        const void *path = sqlite3_column_blob(statement.get(), 0);
        row.length = sqlite3_column_bytes(statement.get(), 0);
        row.offset = table.paths.size();
        table.paths.append(static_cast<const char *>(path), row.length);
        row.entry.id = statement.integer(1);
        row.entry.stamp = {statement.integer(2), statement.integer(3), statement.integer(4),
                           statement.integer(5)};
        row.entry.textId = statement.integer(6);
        table.rows.push_back(row);
    }
    if (code != SQLITE_DONE) {
        fail(QStringLiteral("索引を読めません"));
        return std::nullopt;
    }
    return table;
}

bool NoteIndex::begin()
{
    return exec("BEGIN IMMEDIATE");
}

bool NoteIndex::commit()
{
    return exec("COMMIT");
}

void NoteIndex::rollback()
{
    if (m_db && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

std::optional<qint64> NoteIndex::putNote(const QByteArray &path, const Stamp &stamp,
                                         QStringView body, qint64 *newTextId, QStringView header)
{
    const std::optional<qint64> textId = scalar("SELECT value FROM meta WHERE key = 'next_text'");
    if (!textId)
        return std::nullopt;
    Statement text(m_db, "INSERT INTO texts(rowid, body) VALUES(?1, ?2)");
    text.bind(1, *textId);
    text.bind(2, indexedText(body).toUtf8(), true);
    if (!text || text.step() != SQLITE_DONE ||
        !exec("UPDATE meta SET value = value + 1 WHERE key = 'next_text'")) {
        fail(QStringLiteral("索引に書けません"));
        return std::nullopt;
    }
    // An update keeps the note's id; its old text stays behind, unreferenced.
    Statement old(m_db, "SELECT id FROM notes WHERE path = ?1");
    old.bind(1, path);
    std::optional<qint64> id;
    if (old && old.step() == SQLITE_ROW)
        id = old.integer(0);
    Statement write(m_db, id ? "UPDATE notes SET size = ?2, mtime_ns = ?3, ctime_ns = ?4,"
                               " inode = ?5, text_id = ?6 WHERE id = ?1"
                             : "INSERT INTO notes(path, size, mtime_ns, ctime_ns, inode, text_id)"
                               " VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    if (id)
        write.bind(1, *id);
    else
        write.bind(1, path);
    write.bind(2, stamp.size);
    write.bind(3, stamp.modifiedNs);
    write.bind(4, stamp.changedNs);
    write.bind(5, stamp.inode);
    write.bind(6, *textId);
    if (!write || write.step() != SQLITE_DONE) {
        fail(QStringLiteral("索引に書けません"));
        return std::nullopt;
    }
    if (id && !exec("UPDATE meta SET value = value + 1 WHERE key = 'dead_texts'")) {
        fail(QStringLiteral("索引に書けません"));
        return std::nullopt;
    }
    const qint64 noteId = id ? *id : sqlite3_last_insert_rowid(m_db);
    if (newTextId)
        *newTextId = *textId;
    if (m_hook && !m_hook(m_db, noteId, body, header)) {
        fail(QStringLiteral("索引に書けません"));
        return std::nullopt;
    }
    return noteId;
}

bool NoteIndex::moveNote(const QByteArray &from, const QByteArray &to)
{
    Statement move(m_db, "UPDATE notes SET path = ?2 WHERE path = ?1");
    move.bind(1, from);
    move.bind(2, to);
    if (!move || move.step() != SQLITE_DONE)
        return fail(QStringLiteral("索引に書けません"));
    return sqlite3_changes(m_db) == 1;
}

bool NoteIndex::removeNote(const QByteArray &path)
{
    Statement find(m_db, "SELECT id FROM notes WHERE path = ?1");
    find.bind(1, path);
    if (!find)
        return fail(QStringLiteral("索引を読めません"));
    if (find.step() != SQLITE_ROW)
        return true;
    const qint64 id = find.integer(0);
    Statement remove(m_db, "DELETE FROM notes WHERE id = ?1");
    remove.bind(1, id);
    if (!remove || remove.step() != SQLITE_DONE ||
        !exec("UPDATE meta SET value = value + 1 WHERE key = 'dead_texts'"))
        return fail(QStringLiteral("索引に書けません"));
    if (m_hook && !m_hook(m_db, id, {}, {}))
        return fail(QStringLiteral("索引に書けません"));
    return true;
}

std::optional<QList<qint64>> NoteIndex::textCandidates(const QString &keyword, bool *failed)
{
    *failed = false;
    const QList<QString> runs = lookupRuns(keyword);
    // Runs of three characters or more are looked up by all their trigrams (the table keeps no
    // positions, so a phrase is asked as every trigram in it); shorter ones by the trigrams that
    // start with them, of which the line feeds after every text make sure there is one.
    QStringList trigrams;
    QSet<QString> seen;
    for (const QString &run : runs) {
        for (qsizetype i = 0; i + 3 <= run.size(); ++i) {
            const QString trigram = run.sliced(i, 3);
            if (!seen.contains(trigram)) {
                seen.insert(trigram);
                trigrams.append(trigram);
            }
        }
    }
    // Any of them narrow down to a superset; a few spread over a long keyword narrow as well
    // as all of them, and keep the query small whatever was pasted.
    constexpr qsizetype maxTrigrams = 24;
    QByteArray match;
    const qsizetype used = std::min(trigrams.size(), maxTrigrams);
    for (qsizetype k = 0; k < used; ++k) {
        if (!match.isEmpty())
            match += " AND ";
        match += quoted(trigrams[k * trigrams.size() / used]);
    }
    QList<qint64> ids;
    if (!match.isEmpty()) {
        Statement query(m_db, "SELECT rowid FROM texts WHERE texts MATCH ?1");
        query.bind(1, match, true);
        int code;
        while (query && (code = query.step()) == SQLITE_ROW)
            ids.append(query.integer(0));
        if (!query || code != SQLITE_DONE) {
            *failed = true;
            fail(QStringLiteral("索引を読めません"));
            return std::nullopt;
        }
        return ids;
    }
    if (runs.isEmpty())
        return std::nullopt;
    // The longest of the short runs narrows the most.
    const QString run =
        *std::max_element(runs.begin(), runs.end(),
                          [](const QString &a, const QString &b) { return a.size() < b.size(); });
    Statement query(m_db, "SELECT DISTINCT doc FROM temp.terms WHERE term >= ?1 AND term < ?2");
    query.bind(1, run.toUtf8(), true);
    query.bind(2, upperBound(run).toUtf8(), true);
    int code;
    while (query && (code = query.step()) == SQLITE_ROW)
        ids.append(query.integer(0));
    if (!query || code != SQLITE_DONE) {
        *failed = true;
        fail(QStringLiteral("索引を読めません"));
        return std::nullopt;
    }
    return ids;
}

QList<QByteArray> NoteIndex::samplePaths(qsizetype count)
{
    QList<QByteArray> paths;
    const std::optional<qint64> last = scalar("SELECT ifnull(max(id), 0) FROM notes");
    if (!last || *last == 0)
        return paths;
    Statement sample(m_db, "SELECT path FROM notes WHERE id % ?1 = 0 LIMIT ?2");
    sample.bind(1, std::max<qint64>(1, *last / std::max<qsizetype>(count, 1)));
    sample.bind(2, qint64(count));
    while (sample && sample.step() == SQLITE_ROW)
        paths.append(sample.bytes(0));
    return paths;
}

bool NoteIndex::looksUpByPrefix(const QString &keyword)
{
    const QList<QString> runs = lookupRuns(keyword);
    return !runs.isEmpty() &&
           std::all_of(runs.begin(), runs.end(), [](const QString &run) { return run.size() < 3; });
}

bool NoteIndex::needsCompaction()
{
    const std::optional<qint64> dead = scalar("SELECT value FROM meta WHERE key = 'dead_texts'");
    const std::optional<qint64> live = scalar("SELECT count(*) FROM notes");
    return dead && live && *dead > std::max<qint64>(*live, 1000);
}

std::optional<NoteIndex::Status> NoteIndex::status()
{
    const std::optional<qint64> notes = scalar("SELECT count(*) FROM notes");
    if (!notes)
        return std::nullopt;
    Status status;
    status.notes = *notes;
    status.complete = isComplete();
    for (const char *suffix : {"", "-wal"})
        status.bytes += QFileInfo(m_path + QLatin1String(suffix)).size();
    return status;
}
