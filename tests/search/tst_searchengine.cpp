#include "common/testenvironment.h"
#include "common/testfiles.h"

#include "platform/naturalorder.h"
#include "search/globalsearch.h"
#include "search/keywordmatcher.h"
#include "search/notebody.h"
#include "search/notefiles.h"
#include "search/utf8validation.h"
#include "storage/notedocument.h"
#include "storage/textfile.h"

#include <QCollator>
#include <QDirIterator>
#include <QStringDecoder>
#include <QTest>

#include <fcntl.h>
#include <random>
#include <sys/stat.h>

namespace {

/// Non-overlapping case-insensitive matches, as Qt finds them.
qsizetype qtCount(const QString &needle, QStringView haystack)
{
    qsizetype n = 0;
    for (qsizetype at = haystack.indexOf(needle, 0, Qt::CaseInsensitive); at >= 0;
         at = haystack.indexOf(needle, at + needle.size(), Qt::CaseInsensitive))
        ++n;
    return n;
}

// The search as first written, straight from its rules with the plain Qt calls: what the fast
// search must agree with exactly.
QList<SearchHit> referenceSearch(const QString &base, const QString &keyword)
{
    QStringList files;
    QDirIterator it(base, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString relative = u'/' + QDir(base).relativeFilePath(info.filePath());
        const QString suffix = info.suffix().toLower();
        if (!relative.startsWith(u"/Data/") && !relative.contains(u"/.") && info.isFile() &&
            !info.isSymLink() && (suffix == u"md" || suffix == u"txt"))
            files.append(info.filePath());
    }
    files.sort();
    static const QRegularExpression lineBreaks(
        QStringLiteral("[\\n\\x{000B}\\f\\r\\x{0085}\\x{2028}\\x{2029}]"));
    QList<SearchHit> hits;
    for (const QString &path : files) {
        const TextFileRead read = TextFile::readUtf8(path);
        const QString body = parseNoteDocument(read.ok() ? read.text : QString()).body;
        const QFileInfo info(path);
        const QString baseName = NoteFiles::nameWithoutExtension(info.fileName()).toString();
        const qsizetype b = qtCount(keyword, body);
        const qsizetype n = qtCount(keyword, baseName);
        qsizetype f = 0;
        QString folderName;
        for (const QString &piece :
             QDir(base).relativeFilePath(info.path()).split(u'/', Qt::SkipEmptyParts)) {
            const qsizetype c = piece == u"." ? 0 : qtCount(keyword, piece);
            f += c;
            if (c > 0 && folderName.isEmpty())
                folderName = piece;
        }
        if (b + n + f < 1)
            continue;
        const QStringList lines = body.split(lineBreaks);
        const auto line = std::find_if(lines.begin(), lines.end(), [&](const QString &text) {
            return text.contains(keyword, Qt::CaseInsensitive);
        });
        QString snippet = line == lines.end() ? QString() : *line;
        if (snippet.isEmpty() && n >= 1)
            snippet = QStringLiteral("タイトル「") + baseName + QStringLiteral("」に一致");
        else if (snippet.isEmpty() && f >= 1)
            snippet = QStringLiteral("フォルダ「") + folderName + QStringLiteral("」に一致");
        hits.append({path, snippet, b + n + f, GlobalSearch::searchSortDate(path)});
    }
    // Newest first; equal dates by path, the later in Japanese collation first (letter case
    // ignored, numbers by value). Sorted here with a collator of its own, not the search's
    // ordering code.
    QCollator collator(QLocale(QLocale::Japanese, QLocale::Japan));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    std::stable_sort(hits.begin(), hits.end(), [&](const SearchHit &a, const SearchHit &b) {
        if (a.sortDate != b.sortDate)
            return a.sortDate > b.sortDate;
        return collator.compare(a.filePath, b.filePath) > 0;
    });
    return hits;
}

// Characters whose case folding trips up naive matchers: the Kelvin sign and long s fold to
// ASCII, final sigma and sigma share a fold, dotted capital I folds to itself, full-width
// letters have cases (but no width folding), no diacritic is folded, an emoji needs surrogates.
const QStringList trickyPieces = {
    "a",          "A",      "b",      "k",      "K",      "\u212A", "s",      "\u017F", "\u00DF",
    "\u03C3",     "\u03C2", "\u03A3", "\u0130", "i",      "\uFF21", "\uFF41", "会",     "議",
    "\U0001F600", " ",      "\n",     "e",      "\u00E9", "\u00C9", "\u2028"};

// The pieces of the mixed corpus: notes of every shape the search meets.
const QList<QByteArray> mixedCorpusParts = {
    "---\ntitle: Project plan\ncreated: 2024-01-01T10:00:00\n---\n",
    "---\nid: 1\nsource: Joplin\n---\n",
    "Project kickoff with the client\n",
    "会議の議事録。プロジェクトの進捗を確認した。\n",
    "- [ ] review the PROJECT budget\n",
    "projectproject project\n",
    "\xEF\xBB\xBF",
    "line one\r\nline two project\r\n",
    "\n\nid: 0f\nparent_id: 9a\ntype_: 1\n",
    "\xFF\xFE broken bytes project\n",
    "\u212Aelvin and ſign: KELVIN\n",
    // Line breaks other than the line feed, around and beside a match.
    "first\u2028a project line\vthird\fforth\u0085fifth project\u2029sixth\n",
    "リリース (\u2028は区切り) project 会議\n",
};

/// Every file below tests/data that is UTF-8, whole.
QList<QByteArray> sampleNoteTexts()
{
    QList<QByteArray> texts;
    QDirIterator it(QStringLiteral(QUILLMERE_TEST_DATA), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QByteArray bytes = TestFiles::read(it.next());
        if (Utf8Validation::decodableLength(bytes) == bytes.size())
            texts.append(bytes);
    }
    return texts;
}

QString randomText(std::mt19937 &random, int pieces)
{
    QString text;
    for (int i = 0; i < pieces; ++i)
        text += trickyPieces[int(random() % trickyPieces.size())];
    return text;
}

} // namespace

class TestSearchEngine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void matcherAgreesWithQt_data()
    {
        QTest::addColumn<QList<QByteArray>>("texts");
        QTest::addColumn<bool>("exactProbe"); // whether mayMatchUtf8() must rule out every miss
        std::mt19937 random(7);
        QList<QByteArray> tricky;
        for (int i = 0; i < 1500; ++i)
            tricky.append(randomText(random, int(random() % 40)).toUtf8());
        QTest::newRow("short texts of tricky characters") << tricky << false;
        const QList<QByteArray> samples = sampleNoteTexts();
        QVERIFY(samples.size() >= 15);
        // The mixed corpus goes through the whole search in agreesWithReferenceOnMixedCorpus.
        QTest::newRow("sample notes in tests/data") << samples << true;
    }
    // Every way of scanning counts and finds what Qt counts and finds in the decoded text: the
    // vector scans find kana, kanji and letters 32 or 64 bytes at a time, and Greek sigmas and
    // the Kelvin sign make probes of several values, or no run of one width at all. Keywords are
    // fixed ones, random tricky ones and pieces of the text itself, some in capitals.
    void matcherAgreesWithQt()
    {
        QFETCH(QList<QByteArray>, texts);
        QFETCH(bool, exactProbe);
        QCOMPARE(KeywordMatcher(QString()).count(u"abc"), 0);
        std::mt19937 random(9);
        int matched = 0;
        for (const QByteArray &bytes : texts) {
            const QString text = QString::fromUtf8(bytes);
            const qsizetype byteOrderMark = bytes.size() - text.toUtf8().size(); // Qt drops it
            QStringList keywords = {"会議", "の", "project", "kelvin", "ID:", "豆腐よう", "\u03A3"};
            for (int i = 0; i < 3 && !exactProbe; ++i)
                keywords.append(randomText(random, 1 + int(random() % 3)));
            for (int i = 0; i < 30 && !text.isEmpty(); ++i) {
                const QString piece =
                    text.mid(qsizetype(random() % text.size()), 1 + int(random() % 5));
                if (!piece.front().isLowSurrogate() && !piece.back().isHighSurrogate())
                    keywords.append(i % 3 ? piece : piece.toUpper());
            }
            for (const QString &keyword : std::as_const(keywords)) {
                const qsizetype expected = qtCount(keyword, text);
                const qsizetype first = text.indexOf(keyword, 0, Qt::CaseInsensitive);
                for (const auto scan :
                     {KeywordMatcher::Utf8Scan::fastest, KeywordMatcher::Utf8Scan::avx2,
                      KeywordMatcher::Utf8Scan::portable}) {
                    const KeywordMatcher matcher(keyword, scan);
                    QCOMPARE(matcher.count(text), expected);
                    QCOMPARE(matcher.indexIn(text), first);
                    if (expected > 0 || (exactProbe && matcher.isLineLocal()))
                        QCOMPARE(matcher.mayMatchUtf8(bytes), expected > 0);
                    if (!matcher.isLineLocal())
                        continue;
                    qsizetype firstByte = -2;
                    QCOMPARE(matcher.countUtf8(bytes, &firstByte), expected);
                    QCOMPARE(firstByte,
                             first < 0 ? -1 : byteOrderMark + text.first(first).toUtf8().size());
                }
                matched += expected > 0;
            }
        }
        QVERIFY(matched >= 100);
    }

    // Mostly valid text with damage here and there, long enough for the vector path, and every
    // way a file can end in the middle of a character: the three checks agree with Qt's decoder.
    void utf8CheckAgreesWithDecoder()
    {
        const auto expectAsDecoder = [](const QByteArray &bytes) -> std::optional<qsizetype> {
            QStringDecoder decoder(QStringDecoder::Utf8);
            const QString text = decoder.decode(bytes);
            const std::optional<qsizetype> length = Utf8Validation::decodableLength(bytes);
            [&] {
                QCOMPARE(length.has_value(), !decoder.hasError());
                QCOMPARE(Utf8Validation::decodableLengthScalar(bytes), length);
                QCOMPARE(Utf8Validation::decodableLengthAvx2(bytes), length);
                if (length)
                    QCOMPARE(QString::fromUtf8(bytes.first(*length)), text);
            }();
            return length;
        };
        std::mt19937 random(11);
        const QList<QByteArray> valid =
            QByteArray("a|\xC2\xA0|\xE3\x81\x82|\xF0\x9F\x98\x80|\xED\x9F\xBF|"
                       "\xEF\xBF\xBF|\xF4\x8F\xBF\xBF|\xE0\xA0\x80|\n")
                .split('|');
        const QByteArray damage = QByteArray("\x80\xBF\xC0\xC1\xE0\xED\xF0\xF4\xF5\xFF\xE3", 11);
        for (int round = 0; round < 20000 && !QTest::currentTestFailed(); ++round) {
            QByteArray bytes;
            const int length = 40 + int(random() % 160);
            while (bytes.size() < length) {
                if (round % 2 && random() % 16 == 0)
                    bytes += damage[int(random() % damage.size())];
                else
                    bytes += valid[int(random() % valid.size())];
            }
            bytes.chop(int(random() % 3));
            const std::optional<qsizetype> decodable = expectAsDecoder(bytes);
            if (!decodable)
                continue;
            // What the search decodes itself (lines, snippets) decodes as Qt does, a byte-order
            // mark at the start included.
            QByteArray piece = bytes.first(*decodable).sliced(round % 3);
            if (round % 5 == 0)
                piece.prepend("\xEF\xBB\xBF");
            if (Utf8Validation::decodableLengthScalar(piece) == piece.size()) {
                QString decoded = QStringLiteral("left over from the last piece");
                Utf8Validation::decodePieceInto(piece, decoded);
                QCOMPARE(decoded, Utf8Validation::decodePiece(piece));
            }
        }
        // A character cut off where a vector block ends, and ASCII after it, has nothing in the
        // next block to give it away, nor in a later one that is not ASCII: every offset around
        // the ends of 32- and 64-byte blocks, with every kind of lead byte, missing one or more
        // continuation bytes or none.
        for (int offset = 24; offset < 136 && !QTest::currentTestFailed(); ++offset) {
            for (const QByteArray &character :
                 QList<QByteArray>{"\xC3\xA9", "\xE3\x81\x82", "\xF0\x9F\x98\x80"}) {
                for (qsizetype kept = 1; kept <= character.size(); ++kept)
                    expectAsDecoder(QByteArray(offset, 'a') + character.first(kept) +
                                    QByteArray(100, 'b') + "\xC3\xA9 and more");
            }
        }
    }

    // Random notes built from the lines headers and Joplin blocks are made of, then the sample
    // notes: the body the search finds in the bytes is the one the note parser finds in the text.
    void bodyRangeAgreesWithNoteParser()
    {
        const QStringList lines =
            QStringLiteral(
                "---| --- |...||   |\u3000|title: Note|created: 2024-01-01T09:00:00|"
                "source: Joplin|id: 0123abcd|parent_id: 9f|type_: 1|body text|会議のメモ|"
                "a: b|- list: item|\uFEFF|mar\u212Aup_language: md")
                .split(u'|');
        NoteBody::Scratch scratch;
        const auto searchBody = [&](const QByteArray &utf8) -> std::optional<QString> {
            const auto range = NoteBody::bodyRange(utf8, scratch);
            if (!range)
                return std::nullopt; // carriage returns: the parser is asked instead
            return Utf8Validation::decodePiece(
                utf8.sliced(range->first, range->second - range->first));
        };
        // The file is read with a decoder, which drops one byte-order mark before the parser.
        const auto parserBody = [](const QByteArray &utf8) {
            QStringDecoder decoder(QStringDecoder::Utf8);
            return parseNoteDocument(decoder.decode(utf8)).body;
        };
        std::mt19937 random(3);
        for (int round = 0; round < 6000; ++round) {
            QStringList picked;
            // Mostly a few lines; now and then a long note, whose middle is never looked at.
            const int count = round % 100 == 0  ? 300 + int(random() % 300)
                              : round % 10 == 0 ? int(random() % 80)
                                                : int(random() % 12);
            for (int i = 0; i < count; ++i)
                picked.append(lines[int(random() % lines.size())]);
            const QByteArray utf8 = ((random() % 5 ? "" : "\uFEFF") + picked.join(u'\n')).toUtf8();
            const std::optional<QString> body = searchBody(utf8);
            QVERIFY(body);
            QCOMPARE(*body, parserBody(utf8));
        }
        QVERIFY(!searchBody("a\r\nb"));
        // An empty file, whose bytes have no address at all: an empty body, nothing read.
        QCOMPARE(searchBody(QByteArray()), std::optional<QString>(QString()));
        int checked = 0;
        for (const QByteArray &bytes : sampleNoteTexts()) {
            if (const std::optional<QString> body = searchBody(bytes)) {
                QCOMPARE(*body, parserBody(bytes));
                ++checked;
            }
        }
        QVERIFY(checked >= 5);
    }

    void searchRules_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("expected"); // relative path | count | snippet, per hit
        const auto row = [](const char *name, const QString &keyword, const QString &expected) {
            QTest::newRow(name) << keyword << expected;
        };
        // Name and folder matches and their snippets, counts that add up, headers, Joplin blocks,
        // CRLF and bytes that are not UTF-8 are compared with the reference search further down.
        row("hidden files and folders are skipped", "hiddenword", "");
        row("trash folders are skipped in any letter case and at any depth, a trash note is not",
            "trashword", "trash.md|1|trashword file");
        row("extensions in any case, other files never", "extword",
            "Note.MD|1|extword upper,Text.txt|1|extword txt");
        row("the application's Data folder is not searched, a deeper Data folder is", "data",
            "Notes/Data/pinned.md|1|フォルダ「Data」に一致");
        row("not UTF-8: found by name only", "latin", "latin1.txt|1|タイトル「latin1」に一致");
        row("notes larger than one read, or exactly its size, are read whole", "tailword",
            "big.md|1|tailword at the end,exact.md|1|tailword");
        row("a long line's snippet is cut around the match", "NEEDLE",
            "long.md|1|…" + QString(40, u'あ') + "needle" + QString(154, u'い') + "…");
        row("pipes, folders and dangling links never stall or match, a link to a note does",
            "special", "real.md|1|special,link.md|1|special");
    }
    void searchRules()
    {
        QFETCH(QString, keyword);
        QFETCH(QString, expected);
        const QString base = m_env->useBaseFolder();
        qint64 time = 1700000000;
        const QList<std::pair<QString, QByteArray>> notes = {
            {"real.md", "special"},
            {".hidden/visible.md", "hiddenword"},
            {"Notes/.secret.md", "hiddenword"},
            {"Trash/gone.md", "trashword"},
            {"Notes/仕事/TRASH/old.md", "trashword"},
            {"Notes/tRaSh/deeper/old.md", "trashword"},
            {"trash.md", "trashword file"},
            {"Note.MD", "extword upper"},
            {"Text.txt", "extword txt"},
            {"image.PNG", "extword png"},
            {"latin1.txt", "latin \xE9t\xE9"},
            {"Data/pinned_notes.txt", "Notes/Data/pinned.md\n"},
            {"Data/Sub/data.md", "data"},
            {"Notes/Data/pinned.md", ""},
            {"big.md", QByteArray(200 * 1024, 'x') + "\ntailword at the end\n"},
            {"exact.md", QByteArray(64 * 1024 - 9, 'y') + "\ntailword"},
        };
        for (const auto &[path, text] : notes)
            QVERIFY(TestFiles::write(base + u'/' + path, text, time -= 100));
        const QString line = QString(300, u'あ') + "needle" + QString(300, u'い');
        QVERIFY(TestFiles::write(base + "/long.md", line.toUtf8()));
        const auto path = [&](const char *name) -> QString {
            return base + u'/' + QString::fromUtf8(name);
        };
        QCOMPARE(mkfifo(QFile::encodeName(path("pipe special.md")).constData(), 0600), 0);
        QVERIFY(QDir().mkpath(path("folder special.md")));
        QVERIFY(QFile::link(path("real.md"), path("link.md")));
        QVERIFY(QFile::link(path("gone.md"), path("dangling special.md")));
        QStringList got;
        for (const SearchHit &hit : GlobalSearch::runSearch(base, keyword))
            got.append(QDir(base).relativeFilePath(hit.filePath) + u'|' +
                       QString::number(hit.matchCount) + u'|' + hit.snippet);
        QCOMPARE(got.join(u','), expected);
    }

    void sortDateFallsBackToDailyName()
    {
        const QTimeZone tokyo("Asia/Tokyo");
        FixedClock clock(QDateTime(QDate(2024, 5, 1), QTime(12, 0), QTimeZone::utc()), tokyo);
        Clock::setCurrent(&clock);
        const QString base = m_env->useBaseFolder();
        const auto sortDate = [&](const char *relative) {
            return GlobalSearch::searchSortDate(base + u'/' + QString::fromUtf8(relative));
        };
        QVERIFY(TestFiles::write(base + QStringLiteral("/Daily/2024-03-06.txt"), "x", 1700000000));
        QCOMPARE(
            (QList<QDateTime>{sortDate("Daily/2024-03-05.txt"), sortDate("Other/2024-03-05.txt"),
                              sortDate("Daily/notes.txt"), sortDate("Daily/2024-03-06.txt")}),
            (QList<QDateTime>{QDateTime(QDate(2024, 3, 5), QTime(0, 0), tokyo),
                              GlobalSearch::earliestDate(), GlobalSearch::earliestDate(),
                              QDateTime::fromSecsSinceEpoch(1700000000, QTimeZone::utc())}));
    }

    void folderMatchNeedsWholeFolderPrefix()
    {
        const KeywordMatcher matcher(QStringLiteral("2"));
        const auto match = [&](const QString &file, const QString &base) {
            return GlobalSearch::folderMatch(file, base, matcher);
        };
        QCOMPARE(match("/n/notes2/a.md", "/n/notes"), GlobalSearch::FolderMatch{});
        QCOMPARE(match("/n/notes/x2/y2/a.md", "/n/notes"), (GlobalSearch::FolderMatch{2, "x2"}));
        QCOMPARE(match("/n/notes2/a.md", "/n/notes2"), GlobalSearch::FolderMatch{});
    }

    // Notes of every shape the search meets: headers, Joplin blocks at either end, CRLF, byte
    // order marks, text that is not UTF-8, long lines, and names and folders that match.
    void agreesWithReferenceOnMixedCorpus()
    {
        const QString base = m_env->useBaseFolder();
        std::mt19937 random(42);
        const QStringList folders = {"Notes", "Projects/A", "Daily", "会議", "Data"};
        for (int i = 0; i < 120; ++i) {
            QByteArray text;
            for (int p = int(random() % 5); p >= 0; --p)
                text += mixedCorpusParts[int(random() % mixedCorpusParts.size())];
            const QString name = QStringLiteral("%1/%2-%3.%4")
                                     .arg(folders[int(random() % folders.size())])
                                     .arg(random() % 3 ? "note" : "project")
                                     .arg(i)
                                     .arg(random() % 4 ? "md" : "TXT");
            // Few dates, so that many hits tie and go by their paths, in short and long runs.
            QVERIFY(TestFiles::write(base + u'/' + name, text, 1600000000 + qint64(random() % 8)));
        }
        for (const QString &keyword :
             QStringList{"project", "会議", "kelvin", "sign", "line two", "a"}) {
            const QList<SearchHit> expected = referenceSearch(base, keyword);
            QCOMPARE(GlobalSearch::runSearch(base, keyword, {1}), expected);
            QCOMPARE(GlobalSearch::runSearch(base, keyword, {4}), expected);
        }
    }

    // Names that differ only in letter case tie in the name order too; such hits keep the order
    // of the walk (folders and files by bytes), though several threads found them in any order.
    // A run of plain ASCII paths is ordered by the quick comparison, one with Japanese names by
    // collation keys: both must give the collator's order.
    void tiesKeepTheWalkOrderWhateverTheThreads()
    {
        const QString base = m_env->useBaseFolder();
        const auto writeNotes = [&](const QStringList &folders, const QStringList &names) {
            for (const QString &folder : folders) {
                for (int i = 0; i < 20; ++i) {
                    for (const QString &name : names)
                        QVERIFY(TestFiles::write(base + u'/' + folder + u'/' + name.arg(i), "hit\n",
                                                 1600000000));
                }
            }
        };
        QStringList sequential;
        const auto checkOrder = [&](qsizetype count) {
            const QList<SearchHit> hits = GlobalSearch::runSearch(base, QStringLiteral("hit"), {1});
            QCOMPARE(hits.size(), count);
            sequential.clear();
            for (const SearchHit &hit : hits)
                sequential.append(QDir(base).relativeFilePath(hit.filePath));
            // One long run of equal dates: the path that sorts later first, as in a short run.
            for (qsizetype i = 1; i < hits.size(); ++i) {
                const QCollatorSortKey earlier = NaturalOrder::sortKey(hits[i - 1].filePath);
                QVERIFY2(earlier.compare(NaturalOrder::sortKey(hits[i].filePath)) >= 0,
                         qPrintable(sequential[i - 1] + u" / " + sequential[i]));
            }
            for (const int threads : {2, 3, 8})
                QCOMPARE(GlobalSearch::runSearch(base, QStringLiteral("hit"), {threads}), hits);
        };
        writeNotes({"A", "a", "a/B", "a/b", "b"}, {"Note %1.md", "note %1.md", "note %1 (2).md"});
        checkOrder(300);
        // Equal names come in byte order of their paths: "A/…" before "a/…", "Note" before "note".
        QCOMPARE_LT(sequential.indexOf("A/Note 3.md"), sequential.indexOf("A/note 3.md"));
        QCOMPARE_LT(sequential.indexOf("A/note 3.md"), sequential.indexOf("a/Note 3.md"));
        QCOMPARE_LT(sequential.indexOf("a/B/note 7.md"), sequential.indexOf("a/b/Note 7.md"));
        // Kana spellings tie in collation, as letter case does.
        writeNotes({"a", "会議"}, {"メモ %1.md", "めも %1.md", "Memo %1.md"});
        checkOrder(420);
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_GUILESS_MAIN(TestSearchEngine)
#include "tst_searchengine.moc"
