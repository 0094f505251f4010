#include "platform/clock.h"
#include "storage/notedates.h"
#include "storage/notedocument.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTest>

#include <algorithm>
#include <array>

namespace {

// Most tables here are one list of strings per row: an empty cell stands for "none", and cells
// left out of a row are empty.
void table()
{
    QTest::addColumn<QStringList>("cells");
}

void row(const char *name, const QStringList &cells)
{
    QTest::newRow(name) << cells;
}

template <std::size_t N> std::array<QString, N> cells()
{
    QFETCH(QStringList, cells);
    std::array<QString, N> padded;
    std::copy_n(cells.cbegin(), std::min(cells.size(), qsizetype(N)), padded.begin());
    return padded;
}

std::optional<QString> optional(const QString &cell)
{
    return cell.isEmpty() ? std::nullopt : std::optional(cell);
}

QDateTime utc(const char *iso)
{
    return QDateTime::fromString(QLatin1String(iso), Qt::ISODateWithMs).toUTC();
}

QString asUtc(const std::optional<QDateTime> &date)
{
    return date ? date->toUTC().toString(Qt::ISODateWithMs) : QString();
}

// The header lines another application owns: all but the top-level lower-case title, created and
// updated keys.
QStringList foreignLines(const QStringList &lines)
{
    static const QRegularExpression own(QStringLiteral("^(title|created|updated)\\s*:"));
    QStringList kept = lines;
    kept.removeIf([](const QString &line) { return own.match(line).hasMatch(); });
    return kept;
}

} // namespace

class TestNoteDocument : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_clock.setTimeZone(QTimeZone("Asia/Tokyo"));
        Clock::setCurrent(&m_clock);
    }
    void cleanup() { Clock::setCurrent(nullptr); }
    void splitsDocument_data()
    {
        table();
        const QString meta = QStringLiteral("id: 1\nparent_id: 2\ntype_: 1");
        row("header, blank line, body", {"---\ntitle: A\n---\n\nHello", "A", "Hello"});
        row("CR, CRLF and BOM become plain LF",
            {QChar(0xFEFF) + QStringLiteral("---\r\ntitle: A\r\n---\r\n\r\none\r\ntwo\rthree"), "A",
             "one\ntwo\nthree"});
        row("full-width space line is blank", {"---\ntitle: A\n---\n\u3000\nHello", "A", "Hello"});
        row("unclosed fence stays in body", {"---\ntitle: A\nHello", "", "---\ntitle: A\nHello"});
        row("indented fence is a block scalar's text",
            {"---\ntitle: A\nscript: |\n  ---\n---\nHello", "A", "Hello"});
        row("indented opening fence is body",
            {" ---\ntitle: A\n---\nHi", "", " ---\ntitle: A\n---\nHi"});
        row("second plain block stays in body",
            {"---\ntitle: A\n---\n---\ntitle: B\n---\nText", "A", "---\ntitle: B\n---\nText"});
        row("leading Joplin block, then header",
            {"---\nparent_id: x\n...\n\n---\ntitle: T\n---\nBody", "T", "Body",
             "---\nparent_id: x\n...", "leading"});
        row("leading Joplin block wins over trailing lines",
            {"---\nsource: joplin-desktop\n---\nBody\n\n" + meta, "", "Body\n\n" + meta,
             "---\nsource: joplin-desktop\n---", "leading"});
        row("trailing metadata and the blanks above it",
            {"Body\n\n\n" + meta, "", "Body", meta, "trailing"});
        row("trailing fenced metadata", {"Body\n\n---\nsource_application: app\n---\n\n", "",
                                         "Body", "---\nsource_application: app\n---", "trailing"});
        row("prose line ends the run of key lines",
            {"Intro\nparent_id: 1\nfree text\ntype_: 1", "", "Intro\nparent_id: 1\nfree text",
             "type_: 1", "trailing"});
        row("key lines without a Joplin key stay",
            {"Body\n\nnote: see below", "", "Body\n\nnote: see below"});
        row("non-identifier key ends the run",
            {"Body\nmy key: 1\nsee-also: x", "", "Body\nmy key: 1\nsee-also: x"});
        row("empty text", {"", "", ""});
    }
    void splitsDocument()
    {
        const auto [text, title, body, joplin, where] = cells<5>();

        const NoteDocumentParts parts = parseNoteDocument(text);
        QCOMPARE(parts.obsidian ? parts.obsidian->title : std::nullopt, optional(title));
        QCOMPARE(parts.body, body);
        QCOMPARE(parts.joplinYAML, optional(joplin));
        QCOMPARE(parts.joplinIsTrailing, where == u"trailing");
    }
    void readsHeaderLines_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<NoteFrontMatter>("expected");

        const QString early = QStringLiteral("2020-01-01T00:00:00Z");
        const QString late = QStringLiteral("2021-01-01T00:00:00Z");
        const QDateTime lateDate = utc("2021-01-01T00:00:00Z");
        const auto row = [](const char *name, const QStringList &lines, NoteFrontMatter expected) {
            expected.lines = lines;
            QTest::newRow(name) << lines << expected;
        };
        row("own created wins over created_time above it",
            {"created_time: " + early, "created: " + late}, {{}, lateDate, late, {}, {}, {}});
        row("own created wins over created_time below it",
            {"created: " + late, "created_time: " + early}, {{}, lateDate, late, {}, {}, {}});
        row("among other keys a user time replaces",
            {"Updated: " + early, "  user_updated_time: '" + late + "'"},
            {{}, {}, {}, lateDate, late, {}});
        row("date and modified are aliases, keys ignore case",
            {"Date: 1700000000", "MODIFIED: someday"},
            {{}, utc("2023-11-14T22:13:20Z"), "1700000000", {}, "someday", {}});
        row("empty own line leaves the alias", {"created:", "date: " + late, "title:", "Title: T"},
            {"T", lateDate, late, {}, {}, {}});
        row("empty values set nothing but an empty title", {"title:", "created: \"\"", "updated:"},
            {QString(""), {}, {}, {}, {}, {}});
        row("own title wins over indented and capitalised ones",
            {"title: Own", "Title: Other", "book:", "  title: Inner"}, {"Own", {}, {}, {}, {}, {}});
        row("of duplicate own lines the last with a value counts",
            {"created: " + early, "created: " + late, "created: ''"},
            {{}, lateDate, late, {}, {}, {}});
        row("other lines and blank lines kept as read",
            {"tags:", "  - travel", "", " \t", "# comment", "author: "}, {});
    }
    void readsHeaderLines()
    {
        QFETCH(QStringList, lines);
        QFETCH(NoteFrontMatter, expected);
        QCOMPARE(parseFrontMatterLines(lines), expected);
    }
    void readsDates_data()
    {
        // Expected in UTC; the zone defaults to Tokyo. Lenient rows go through the lenient reader.
        table();
        row("11 digits: seconds", {"17000000000", "2508-09-16T06:13:20.000Z"});
        row("12 digits: milliseconds", {"100000000000", "1973-03-03T09:46:40.000Z"});
        row("8 digits: nothing", {"20240304", ""});
        row("full-width digits: nothing", {"１７００００００００", ""});
        row("6 fraction digits, +HH:MM",
            {"2024-03-04T10:20:30.123456+09:00", "2024-03-04T01:20:30.123Z"});
        row("no fraction, -HH:MM", {"2024-03-04T10:20:30-05:00", "2024-03-04T15:20:30.000Z"});
        row("6 fraction digits, +HHMM",
            {"2024-03-04T10:20:30.999999+0530", "2024-03-04T04:50:30.999Z"});
        row("local, space and 3 fraction digits",
            {"2024-03-04 10:20:30.500", "2024-03-04T01:20:30.500Z"});
        row("local, date only", {"2024-03-04", "2024-03-03T15:00:00.000Z"});
        row("wall time skipped by DST", {"2024-03-10T02:30:00", "", "America/New_York"});
        row("internet form, 1 fraction digit",
            {"2024-03-04T10:20:30.5Z", "2024-03-04T10:20:30.500Z"});
        row("9 fraction digits", {"2024-03-04T10:20:30.123456789+09:00", ""});
        row("minutes without seconds", {"2019-05-01 16:54-07:00", ""});
        row("February 30", {"2024-02-30", ""});
        row("offset hour 24", {"2024-03-04T10:00:00+24:00", ""});
        row("surrounding space is not trimmed", {" 2024-03-04", ""});
        row("lenient: 9 fraction digits and offset",
            {"2024-03-04T10:20:30.123456789+09:00", "2024-03-04T01:20:30.000Z", "", "lenient"});
        row("lenient: space and line breaks trimmed",
            {" \n2024-03-04\t", "2024-03-03T15:00:00.000Z", "", "lenient"});
        row("lenient: strict success keeps the fraction",
            {"2024-03-04T10:20:30.250Z", "2024-03-04T10:20:30.250Z", "", "lenient"});
    }
    void readsDates()
    {
        const auto [text, expected, zone, lenient] = cells<4>();
        if (!zone.isEmpty())
            m_clock.setTimeZone(QTimeZone(zone.toLatin1()));
        const auto parse = lenient.isEmpty() ? parseFrontMatterDate : parseFrontMatterDateLenient;
        QCOMPARE(asUtc(parse(text)), expected);
    }
    void quotingRoundTrips_data()
    {
        table();
        row("Japanese with inner spaces", {"\"豆腐 よう\"", "豆腐 よう"});
        row("escaped quotes, outer space", {" \"Travel \\\"notes\\\"\"\t", "Travel \"notes\""});
        row("trailing backslash", {"\"C:\\\\dir\\\\\"", "C:\\dir\\"});
        row("single quotes unescape the same way", {"'a\\\"b\\\\'", "a\"b\\"});
        row("mismatched quotes kept", {"\"abc'", "\"abc'"});
        row("empty", {"\"\"", ""});
    }
    void quotingRoundTrips()
    {
        const auto [written, value] = cells<2>();
        QCOMPARE(unquoteValue(written), value);
        QCOMPARE(unquoteValue(quoteValue(value)), value);

        NoteFrontMatter header;
        header.title = value;
        header.createdRaw = value;
        const NoteDocumentParts parts = parseNoteDocument(renderFrontMatter(header) + "\nBody");
        QVERIFY(parts.obsidian);
        QCOMPARE(parts.obsidian->title, std::optional(value));
        QCOMPARE(parts.obsidian->createdRaw, optional(value));
    }
    void findsFirstBodyLine_data()
    {
        table();
        row("Unicode line separators", {"\u3000\u2028 Second\u2029Third", "Second"});
        row("trailing metadata is not body", {"\n\nid: 1\ntype_: 1", ""});
    }
    void findsFirstBodyLine()
    {
        const auto [text, expected] = cells<2>();
        QCOMPARE(firstBodyLine(text), optional(expected));
    }
    void buildsSaveText_data()
    {
        table();
        const QString h = QStringLiteral("---\ntitle: \"A\"\nx: 1\n---");
        const QString meta = QStringLiteral("id: 1\ntype_: 1");
        row("empty body ends in one line feed", {"", "", "", h + "\n"});
        // One separating empty line, then the body's own: it reads back as it was.
        row("body's own leading line feed is kept", {"\nHello", "", "", h + "\n\n\nHello"});
        row("trailing metadata, body ending in line feeds",
            {"Hello\n\n", meta, "trailing", h + "\n\nHello\n\n" + meta + "\n"});
        row("trailing metadata, empty body", {"", meta, "trailing", h + "\n\n" + meta + "\n"});
    }
    void buildsSaveText()
    {
        const auto [body, joplin, where, expected] = cells<4>();

        const NoteFrontMatter header{QStringLiteral("A"), {}, {}, {}, {}, {"x: 1"}};
        const QString saved =
            buildNoteSaveText(header, body, optional(joplin), where == u"trailing");
        QCOMPARE(saved, expected);
        const NoteDocumentParts reread = parseNoteDocument(saved);
        QCOMPARE(reread.joplinYAML, optional(joplin));
        QCOMPARE(reread.joplinIsTrailing, where == u"trailing");
    }
    void completesHeader_data()
    {
        // File dates: created 2024-01-01, modified 2024-02-01 (UTC) when "known"; now is
        // 2024-05-01.
        table();
        const QString now = QStringLiteral("2024-05-01T12:00:00");
        row("no header: file dates",
            {"Body", "known", "2024-01-01T09:00:00", "2024-02-01T09:00:00", "2024-01-01T09:00:00"});
        row("no header, no file dates: save uses now", {"Body", "", "", "", now});
        row("header dates win",
            {"---\ntitle: Old\ncreated: 2020-01-01\nupdated: 2020-02-02\n---\nBody", "known",
             "2020-01-01", "2020-02-02", "2020-01-01"});
        row("trailing Joplin times beat file dates",
            {"Body\n\nid: 1\ncreated_time: 2023-04-01T08:15:30.120Z\n"
             "user_created_time: 2023-03-01T00:00:00.000Z\nupdated_time: 2023-04-02T00:00:00.000Z",
             "known", "2023-03-01T00:00:00.000Z", "2023-04-02T00:00:00.000Z",
             "2023-03-01T00:00:00.000Z"});
        row("leading Joplin created key",
            {"---\nsource: joplin\ncreated: 2024-03-04 09:00\n---\nBody", "", "2024-03-04 09:00",
             "", "2024-03-04 09:00"});
    }
    void completesHeader()
    {
        const auto [text, fileDates, shownCreated, shownUpdated, savedCreated] = cells<5>();

        const bool known = !fileDates.isEmpty();
        const auto fileCreated = known ? std::optional(utc("2024-01-01T00:00:00Z")) : std::nullopt;
        const auto fileModified = known ? std::optional(utc("2024-02-01T00:00:00Z")) : std::nullopt;
        const NoteDocumentParts parts = parseNoteDocument(text);
        const NoteFrontMatter shown = completeHeaderForDisplay(
            parts.obsidian, QStringLiteral("A"), parts.joplinYAML, fileCreated, fileModified);
        QCOMPARE(shown.createdRaw, optional(shownCreated));
        QCOMPARE(shown.updatedRaw, optional(shownUpdated));
        QCOMPARE(shown.created, parseFrontMatterDateLenient(shownCreated));

        const NoteFrontMatter saved = completeHeaderForSave(
            parts.obsidian, QStringLiteral("A"), parts.joplinYAML, fileCreated, m_clock.now());
        QCOMPARE(saved.createdRaw, savedCreated);
        QCOMPARE(saved.updatedRaw, QStringLiteral("2024-05-01T12:00:00"));
        QCOMPARE(saved.updated, std::optional(m_clock.now()));
    }
    void keepsForeignFilesOnSave_data()
    {
        table(); // where the Joplin text is; created empty: save time
        row("offset dates stay extra", {"obsidian/2020-08-08-an-earlier-post.md", "", ""});
        row("date key", {"obsidian/2023-09-12 Meeting with Steph.md", "", "2023-09-12"});
        row("empty body", {"obsidian/Fushimi Inari.md", "", "2023-09-12"});
        row("empty Source key", {"obsidian/豆腐よう.md", "", ""});
        row("BOM and CRLF", {"joplin/frontmatter-bom-crlf.md", "", "2019-05-01 16:54-07:00"});
        row("leading Joplin block",
            {"joplin/frontmatter-source.md", "leading", "2024-03-04 09:00"});
        row("raw note", {"joplin/raw-note.md", "trailing", "2023-04-01T08:15:30.120Z"});
    }
    void keepsForeignFilesOnSave()
    {
        const auto [path, where, created] = cells<3>();

        QFile file(QStringLiteral(QUILLMERE_TEST_DATA "/") + path); // written by other programs
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        // Keep a byte-order mark in the text: dropping it is the parser's job.
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
        const QString original = decoder.decode(file.readAll());
        const QString name = QFileInfo(path).completeBaseName();
        const QString savedAt = formatFrontMatterDate(m_clock.now());

        const NoteDocumentParts parts = parseNoteDocument(original);
        QCOMPARE(parts.obsidian.has_value(), where.isEmpty());
        QCOMPARE(parts.joplinYAML.has_value(), !where.isEmpty());
        QCOMPARE(parts.joplinIsTrailing, where == u"trailing");

        const std::optional<NoteFrontMatter> header =
            parseNoteDocument(savedAndReread(parts, name)).obsidian;
        QVERIFY(header);
        QCOMPARE(header->title, name);
        QCOMPARE(header->createdRaw, created.isEmpty() ? savedAt : created);
        QCOMPARE(header->updatedRaw, savedAt);
        // Every line another application wrote stays, in its order; this program's own lines are
        // rewritten only where their value changed.
        const QStringList before = parts.obsidian ? parts.obsidian->lines : QStringList();
        const QStringList after = header->lines;
        QCOMPARE(foreignLines(after), foreignLines(before));
        const QString createdLine = "created: " + created;
        QCOMPARE(after.contains(createdLine), before.contains(createdLine));
    }
    void keepsHeaderLinesOnSave_data()
    {
        // Saved as "note" at NOW with no file dates; each text is read in LF and in CRLF. {t},
        // {c} and {u} stand for the title, created and updated lines a save composes.
        table();
        row("own title as it was, unquoted",
            {"---\ntitle: note\n---\n\nHello", "---\ntitle: note\n{c}{u}---\n\nHello"});
        row("no header: the one this program composes", {"Hello", "---\n{t}{c}{u}---\n\nHello"});
        row("other spellings and a blank line",
            {"---\nTitle: My talk\n\nDate: tomorrow\n---\nBody",
             "---\n{t}created: \"tomorrow\"\n{u}Title: My talk\n\nDate: tomorrow\n---\nBody"});
        row("own lines updated where they are, unchanged ones kept as written",
            {"---\ntags:\n  - a\ncreated: 2020-01-01\n# by hand\nupdated: 2020-01-02\n"
             "title: x\n---\nB",
             "---\ntags:\n  - a\ncreated: 2020-01-01\n# by hand\n{u}{t}---\nB"});
        row("a missing key follows the one before it",
            {"---\naliases:\n- x\ncreated: 2020-01-01\nstatus: draft\n---\nB",
             "---\n{t}aliases:\n- x\ncreated: 2020-01-01\n{u}status: draft\n---\nB"});
        row("of duplicates only the line that counts changes",
            {"---\ntitle: a\ntitle: b\ncreated: 2020-01-01\ncreated:\nupdated: 1\n"
             "updated: 2\n---\nB",
             "---\ntitle: a\n{t}created: 2020-01-01\ncreated:\nupdated: 1\n{u}---\nB"});
        row("a value over several lines is replaced whole",
            {"---\ntitle: A long\n  title\ncreated:\n- 2020\n- 2021\ntags:\n  - a\n---\nB",
             "---\n{t}{c}{u}tags:\n  - a\n---\nB"});
        row("a stray item at the top stays put, not taken as the new title's value",
            {"---\n-\n---\nB", "---\n-\n{t}{c}{u}---\nB"});
        row("a line indented with a full-width space belongs to the value above",
            {"---\ncreated: 2020-01-01\n\u3000more\nkeep: 1\n---\nB",
             "---\n{t}created: \"2020-01-01\"\n{u}keep: 1\n---\nB"});
        row("empty header", {"---\n---\nB", "---\n{t}{c}{u}---\nB"});
        row("leading Joplin block kept after the header",
            {"---\nTitle: T\n---\n\n---\nparent_id: 1\n---\nB",
             "---\n{t}{c}{u}Title: T\n---\n\n---\nparent_id: 1\n---\nB"});
    }
    void keepsHeaderLinesOnSave()
    {
        auto [text, expected] = cells<2>();
        composed(expected);
        for (const QString &lineEnd : {QStringLiteral("\n"), QStringLiteral("\r\n")}) {
            const NoteDocumentParts parts = parseNoteDocument(QString(text).replace("\n", lineEnd));
            QCOMPARE(savedAndReread(parts, QStringLiteral("note")), expected);
        }
    }

    // Only this program's own lines change: a header's other lines, its fences as written, the
    // blank lines around it and the Joplin metadata keep every byte, whatever the line breaks. A
    // header that needs no change and the same body give back the very text.
    void keepsEveryOtherByteOnSave_data()
    {
        table();
        const QString own = QStringLiteral("title: note\ncreated: 2020\nupdated: 1\n");
        const QString saved = QStringLiteral("title: note\ncreated: 2020\n{u}");
        row("fences with trailing space and tab",
            {"--- \n" + own + "---\t\n\nB", "--- \n" + saved + "---\t\n\nB"});
        row("indented fence in a block scalar is the value's",
            {"---\n" + own + "script: |\n  ---\n  echo\nkeep: 1\n---\nB",
             "---\n" + saved + "script: |\n  ---\n  echo\nkeep: 1\n---\nB"});
        row("a title spelled with a space is another application's",
            {"---\ntitle : spaced\ncreated: 2020\nupdated: 1\n---\n\nB",
             "---\ntitle : spaced\ncreated: 2020\n{u}---\n\nB"});
        row("own title beside a spaced one",
            {"---\ntitle: a\ntitle : b\n---\n\nB", "---\n{t}{c}{u}title : b\n---\n\nB"});
        row("blank lines above, none below, closing dots",
            {"\n \n---\n" + own + "...\nB\n", "\n \n---\n" + saved + "...\nB\n"});
        row("Joplin block above the header, metadata and blank lines at the end",
            {"---\nparent_id: x\n---\n---\n" + own + "---\n\nB\nid: 1\ntype_: 1\n\n \n",
             "---\nparent_id: x\n---\n---\n" + saved + "---\n\nB\nid: 1\ntype_: 1\n\n \n"});
        row("byte-order mark",
            {"\uFEFF---\n" + own + "---\n\nB", "\uFEFF---\n" + saved + "---\n\nB"});
    }
    void keepsEveryOtherByteOnSave()
    {
        auto [text, expected] = cells<2>();
        composed(expected);
        for (const char *lineEnd : {"\n", "\r\n", "\r"}) {
            const QString original = QString(text).replace("\n", lineEnd);
            const NoteDocumentParts parts = parseNoteDocument(original);
            QCOMPARE(restoreLineEnds(save(parts, QStringLiteral("note")), original),
                     QString(expected).replace("\n", lineEnd));
            QVERIFY(parts.obsidian);
            QCOMPARE(
                restoreLineEnds(buildNoteSaveText(*parts.obsidian, parts.body, parts.joplinYAML,
                                                  parts.joplinIsTrailing, parts.layout),
                                original),
                original);
        }
    }
    void restoresLineEnds_data()
    {
        table(); // the original, the new text with line feeds, what is written
        row("CRLF throughout, for new lines too",
            {"a\r\nb\r\n", "a\nnew\nb\n", "a\r\nnew\r\nb\r\n"});
        row("lone CR", {"a\rb", "a\nb\nc", "a\rb\rc"});
        row("mixed: lines kept keep theirs, new ones take the most common",
            {"h\r\na\nb\r\nc\r\n", "h\na\nnew\nb\nc\nend\n", "h\r\na\nnew\r\nb\r\nc\r\nend\r\n"});
        row("mixed: lines matched around several edits",
            {"1\n2\r\n3\r\n4\n5\r\n6\r\n", "1\nX\n3\n4\nY\n6\n", "1\nX\r\n3\r\n4\nY\r\n6\r\n"});
    }
    void restoresLineEnds()
    {
        const auto [original, text, expected] = cells<3>();
        QCOMPARE(restoreLineEnds(text, original), expected);
    }

private:
    /// What saving `parts` as the note `name` writes now, once checked to read back as the same
    /// parts and to be saved again unchanged.
    /// `expected` with {t}, {c} and {u} turned into the title, created and updated lines a save
    /// of "note" now composes.
    void composed(QString &expected) const
    {
        expected.replace("{t}", "title: \"note\"\n")
            .replace("{c}", "created: \"NOW\"\n")
            .replace("{u}", "updated: \"NOW\"\n")
            .replace("NOW", formatFrontMatterDate(m_clock.now()));
    }

    QString savedAndReread(const NoteDocumentParts &parts, const QString &name) const
    {
        const QString saved = save(parts, name);
        const NoteDocumentParts reread = parseNoteDocument(saved);
        [&] {
            QCOMPARE(reread.body, parts.body);
            QCOMPARE(reread.joplinYAML, parts.joplinYAML);
            QCOMPARE(reread.joplinIsTrailing, parts.joplinIsTrailing);
            QCOMPARE(save(reread, name), saved);
        }();
        return saved;
    }

    /// What saving `parts` as the note `name` writes now.
    QString save(const NoteDocumentParts &parts, const QString &name) const
    {
        const NoteFrontMatter header =
            completeHeaderForSave(parts.obsidian, name, parts.joplinYAML, {}, m_clock.now());
        return buildNoteSaveText(header, parts.body, parts.joplinYAML, parts.joplinIsTrailing,
                                 parts.layout);
    }

    FixedClock m_clock{utc("2024-05-01T03:00:00Z"), QTimeZone("Asia/Tokyo")};
};

QTEST_GUILESS_MAIN(TestNoteDocument)
#include "tst_notedocument.moc"
