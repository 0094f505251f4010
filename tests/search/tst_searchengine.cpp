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
        const QStringList parts = QDir(base).relativeFilePath(info.filePath()).split(u'/');
        const bool skipped = parts.first() == u"Data" ||
                             std::any_of(parts.begin(), parts.end(),
                                         [](auto &part) { return part.startsWith(u'.'); });
        const QString suffix = info.suffix().toLower();
        if (!skipped && info.isFile() && !info.isSymLink() && (suffix == u"md" || suffix == u"txt"))
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
        QString snippet;
        for (const QString &line : body.split(lineBreaks)) {
            if (line.contains(keyword, Qt::CaseInsensitive)) {
                snippet = line;
                break;
            }
        }
        if (snippet.isEmpty() && n >= 1)
            snippet = QStringLiteral("タイトル「") + baseName + QStringLiteral("」に一致");
        else if (snippet.isEmpty() && f >= 1)
            snippet = QStringLiteral("フォルダ「") + folderName + QStringLiteral("」に一致");
        hits.append({path, snippet, b + n + f, GlobalSearch::searchSortDate(path)});
    }
    GlobalSearch::sortHits(hits);
    return hits;
}

QString joinedNames(const QList<SearchHit> &hits, const QString &base)
{
    QStringList names;
    for (const SearchHit &hit : hits)
        names.append(QDir(base).relativeFilePath(hit.filePath));
    return names.join(u',');
}

// Characters whose case folding trips up naive matchers: the Kelvin sign and long s fold to
// ASCII, final sigma and sigma share a fold, dotted capital I folds to itself, full-width
// letters have cases, an emoji needs surrogates.
const QStringList trickyPieces = {"a",      "A",      "k",      "K",      "\u212A", "s",
                                  "\u017F", "\u00DF", "\u03C3", "\u03C2", "\u03A3", "\u0130",
                                  "i",      "\uFF21", "\uFF41", "会",     "議",     "\U0001F600",
                                  " ",      "\n",     "\u00E9", "\u00C9", "\u2028"};

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

    void countsNonOverlappingCaseInsensitive_data();
    void countsNonOverlappingCaseInsensitive();
    void matcherAgreesWithQtOnTrickyText();
    void fastScanCountsAsBefore_data();
    void fastScanCountsAsBefore();
    void utf8CheckAgreesWithDecoder();
    void utf8CheckCatchesCharactersCutAtBlockEnds();
    void bodyRangeAgreesWithNoteParser();

    void searchRules_data();
    void searchRules();
    void snippetOfLongLineKeepsMatchInView();
    void ordersNewestFirstThenLaterPath();
    void sortDateFallsBackToDailyName();
    void folderMatchNeedsWholeFolderPrefix();
    void specialFilesNeverStallOrMatch();
    void agreesWithReferenceOnMixedCorpus();
    void tiesKeepTheWalkOrderWhateverTheThreads();

private:
    std::unique_ptr<TestEnvironment> m_env;
};

void TestSearchEngine::countsNonOverlappingCaseInsensitive_data()
{
    QTest::addColumn<QString>("needle");
    QTest::addColumn<QString>("haystack");
    QTest::addColumn<int>("expected");
    const auto row = [](const char *name, const QString &needle, const QString &haystack, int n) {
        QTest::newRow(name) << needle << haystack << n;
    };
    row("overlapping pattern counts once", "aba", "abab", 1);
    row("repeats without overlap", "aa", "aaaaa", 2);
    row("case differs", "abc", "ABC xAbC", 2);
    row("empty needle", "", "abc", 0);
    row("Japanese", "会議", "会議と会議室", 2);
    row("Kelvin sign folds to k", "k", "\u212A", 1);
    row("no width folding", "a", "\uFF41", 0);
    row("no diacritic folding", "e", "\u00E9", 0);
    row("emoji keyword", "\U0001F600", "x\U0001F600y\U0001F600", 2);
}

void TestSearchEngine::countsNonOverlappingCaseInsensitive()
{
    QFETCH(QString, needle);
    QFETCH(QString, haystack);
    QFETCH(int, expected);
    const KeywordMatcher matcher(needle);
    QCOMPARE(matcher.count(haystack), expected);
    if (matcher.isLineLocal())
        QCOMPARE(matcher.countUtf8(haystack.toUtf8()), expected);
}

void TestSearchEngine::matcherAgreesWithQtOnTrickyText()
{
    std::mt19937 random(7);
    for (int round = 0; round < 4000; ++round) {
        const QString needle = randomText(random, 1 + int(random() % 3));
        const QString haystack = randomText(random, int(random() % 40));
        const qsizetype expected = qtCount(needle, haystack);
        // Every way of scanning the bytes: Greek sigmas and the Kelvin sign make probes of
        // several values, or no run of one width at all.
        for (const auto scan : {KeywordMatcher::Utf8Scan::fastest, KeywordMatcher::Utf8Scan::avx2,
                                KeywordMatcher::Utf8Scan::portable}) {
            const KeywordMatcher matcher(needle, scan);
            QCOMPARE(matcher.count(haystack), expected);
            QCOMPARE(matcher.indexIn(haystack), haystack.indexOf(needle, 0, Qt::CaseInsensitive));
            const QByteArray utf8 = haystack.toUtf8();
            if (expected > 0)
                QVERIFY2(matcher.mayMatchUtf8(utf8), qPrintable(needle + u'|' + haystack));
            if (matcher.isLineLocal()) {
                qsizetype firstByte = -1;
                QCOMPARE(matcher.countUtf8(utf8, &firstByte), expected);
                const qsizetype first = matcher.indexIn(haystack);
                QCOMPARE(firstByte, first < 0 ? -1 : haystack.first(first).toUtf8().size());
            }
        }
    }
}

void TestSearchEngine::fastScanCountsAsBefore_data()
{
    QTest::addColumn<QList<QByteArray>>("texts");
    const QList<QByteArray> samples = sampleNoteTexts();
    QVERIFY(samples.size() >= 15);
    QTest::newRow("sample notes in tests/data") << samples;
    std::mt19937 random(5);
    QList<QByteArray> corpus;
    for (int i = 0; i < 60; ++i) {
        QByteArray text;
        for (int p = int(random() % 40); p >= 0; --p) {
            const QByteArray &part = mixedCorpusParts[int(random() % mixedCorpusParts.size())];
            if (!part.startsWith("\xFF")) // the matcher reads valid UTF-8 only
                text += part;
        }
        corpus.append(text);
    }
    QTest::newRow("mixed corpus") << corpus;
}

// The vector scan that finds kana, kanji and letters 32 bytes at a time counts what the scan
// before it (memmem, memchr) counted, and what Qt counts in the decoded text.
void TestSearchEngine::fastScanCountsAsBefore()
{
    QFETCH(QList<QByteArray>, texts);
    std::mt19937 random(9);
    int matched = 0;
    for (const QByteArray &bytes : texts) {
        const QString text = QString::fromUtf8(bytes);
        QStringList keywords = {"会議", "の",  "project",  "the",    "kelvin",
                                "sign", "ID:", "豆腐よう", "\u03A3", "k"};
        // Pieces of the text itself, some in capitals, so that most keywords are there.
        for (int i = 0; i < 40 && !text.isEmpty(); ++i) {
            const qsizetype at = qsizetype(random() % text.size());
            QString piece = text.mid(at, 1 + int(random() % 5));
            if (piece.front().isLowSurrogate() || piece.back().isHighSurrogate())
                continue;
            keywords.append(i % 3 ? piece : piece.toUpper());
        }
        for (const QString &keyword : std::as_const(keywords)) {
            const KeywordMatcher portable(keyword, KeywordMatcher::Utf8Scan::portable);
            if (!portable.isLineLocal())
                continue;
            const qsizetype expected = qtCount(keyword, text);
            qsizetype portableFirst = -2;
            QCOMPARE(portable.countUtf8(bytes, &portableFirst), expected);
            QCOMPARE(portable.mayMatchUtf8(bytes), expected > 0);
            for (const auto scan :
                 {KeywordMatcher::Utf8Scan::fastest, KeywordMatcher::Utf8Scan::avx2}) {
                const KeywordMatcher fast(keyword, scan);
                qsizetype fastFirst = -2;
                QCOMPARE(fast.countUtf8(bytes, &fastFirst), expected);
                QCOMPARE(fastFirst, portableFirst);
                QCOMPARE(fast.mayMatchUtf8(bytes), expected > 0);
            }
            matched += expected > 0;
        }
    }
    QVERIFY(matched >= 100);
}

void TestSearchEngine::utf8CheckAgreesWithDecoder()
{
    // Mostly valid text with damage here and there, long enough for the vector path, and every
    // way a file can end in the middle of a character.
    std::mt19937 random(11);
    const QList<QByteArray> valid = {"a",
                                     "\xC2\xA0",
                                     "\xE3\x81\x82",
                                     "\xF0\x9F\x98\x80",
                                     "\xED\x9F\xBF",
                                     "\xEF\xBF\xBF",
                                     "\xF4\x8F\xBF\xBF",
                                     "\xE0\xA0\x80",
                                     "\n"};
    const QByteArray damage = QByteArray("\x80\xBF\xC0\xC1\xE0\xED\xF0\xF4\xF5\xFF\xE3", 11);
    for (int round = 0; round < 20000; ++round) {
        QByteArray bytes;
        const int length = 40 + int(random() % 160);
        while (bytes.size() < length) {
            if (round % 2 && random() % 16 == 0)
                bytes += damage[int(random() % damage.size())];
            else
                bytes += valid[int(random() % valid.size())];
        }
        bytes.chop(int(random() % 3));
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString text = decoder.decode(bytes);
        const std::optional<qsizetype> length1 = Utf8Validation::decodableLength(bytes);
        QCOMPARE(length1, Utf8Validation::decodableLengthScalar(bytes));
        QCOMPARE(Utf8Validation::decodableLengthAvx2(bytes), length1);
        QCOMPARE(length1.has_value(), !decoder.hasError());
        if (!length1)
            continue;
        QCOMPARE(QString::fromUtf8(bytes.first(*length1)), text);
        // What the search decodes itself (lines, snippets) decodes as Qt does, a byte-order mark
        // at the start included.
        QByteArray piece = bytes.first(*length1).sliced(round % 3);
        if (round % 5 == 0)
            piece.prepend("\xEF\xBB\xBF");
        if (Utf8Validation::decodableLengthScalar(piece) == piece.size()) {
            QString decoded = QStringLiteral("left over from the last piece");
            Utf8Validation::decodePieceInto(piece, decoded);
            QCOMPARE(decoded, Utf8Validation::decodePiece(piece));
        }
    }
}

// A character cut off where a vector block ends, and ASCII after it, has nothing in the next
// block to give it away, nor in a later one that is not ASCII: every offset around the ends of
// 32- and 64-byte blocks, with every kind of lead byte, missing one or more continuation bytes
// or none.
void TestSearchEngine::utf8CheckCatchesCharactersCutAtBlockEnds()
{
    const QList<QByteArray> characters = {"\xC3\xA9", "\xE3\x81\x82", "\xF0\x9F\x98\x80"};
    for (int offset = 24; offset < 136; ++offset) {
        for (const QByteArray &character : characters) {
            for (qsizetype kept = 1; kept <= character.size(); ++kept) {
                QByteArray bytes(offset, 'a');
                bytes += character.first(kept);
                bytes += QByteArray(100, 'b') + "\xC3\xA9 and more";
                QStringDecoder decoder(QStringDecoder::Utf8);
                const QString text = decoder.decode(bytes);
                const std::optional<qsizetype> expected =
                    decoder.hasError() ? std::nullopt : std::optional(bytes.size());
                QCOMPARE(Utf8Validation::decodableLength(bytes), expected);
                QCOMPARE(Utf8Validation::decodableLengthAvx2(bytes), expected);
                QCOMPARE(Utf8Validation::decodableLengthScalar(bytes), expected);
            }
        }
    }
}

// Random notes built from the lines headers and Joplin blocks are made of, then the sample
// notes: the body the search finds in the bytes is the one the note parser finds in the text.
void TestSearchEngine::bodyRangeAgreesWithNoteParser()
{
    const QStringList lines =
        QStringLiteral("---| --- |...||   |\u3000|title: Note|created: 2024-01-01T09:00:00|"
                       "source: Joplin|id: 0123abcd|parent_id: 9f|type_: 1|body text|会議のメモ|"
                       "a: b|- list: item|\uFEFF|mar\u212Aup_language: md")
            .split(u'|');
    NoteBody::Scratch scratch;
    const auto searchBody = [&](const QByteArray &utf8) -> std::optional<QString> {
        const auto range = NoteBody::bodyRange(utf8, scratch);
        if (!range)
            return std::nullopt; // carriage returns: the parser is asked instead
        return Utf8Validation::decodePiece(utf8.sliced(range->first, range->second - range->first));
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
        QString text = picked.join(u'\n');
        if (random() % 5 == 0)
            text.prepend(QChar(0xFEFF));
        const QByteArray utf8 = text.toUtf8();
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

void TestSearchEngine::searchRules_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("expected"); // relative path | count | snippet, per hit
    const auto row = [](const char *name, const QString &keyword, const QString &expected) {
        QTest::newRow(name) << keyword << expected;
    };
    row("name matches without body", "memo",
        "Memo.md|1|タイトル「Memo」に一致,Projects/Memo Work/plan.md|1|フォルダ「Memo "
        "Work」に一致");
    row("folder below the base matches", "work",
        "Projects/Memo Work/plan.md|1|フォルダ「Memo Work」に一致");
    row("body, name and folder add up, snippet is the first body line", "plan",
        "Projects/Memo Work/plan.md|3|second plan line: Plan B");
    row("front matter is not searched", "secretheader", "");
    row("hidden files and folders are skipped", "hiddenword", "");
    row("extensions in any case, other files never", "extword",
        "Note.MD|1|extword upper,Text.txt|1|extword txt");
    row("the application's Data folder is not searched, a deeper Data folder is", "data",
        "Notes/Data/pinned.md|1|フォルダ「Data」に一致");
    row("not UTF-8: found by name only", "latin", "latin1.txt|1|タイトル「latin1」に一致");
    row("notes larger than one read, or exactly its size, are read whole", "tailword",
        "big.md|1|tailword at the end,exact.md|1|tailword");
    // Two in the body, one in the name; none in the trailing metadata.
    row("CRLF note with trailing Joplin metadata", "windows", "Windows.md|3|windows line");
}

void TestSearchEngine::searchRules()
{
    QFETCH(QString, keyword);
    QFETCH(QString, expected);
    const QString base = m_env->useBaseFolder();
    qint64 time = 1700000000;
    const QList<std::pair<QString, QByteArray>> notes = {
        {"Memo.md", "nothing to see"},
        {"Projects/Memo Work/plan.md",
         "---\ntitle: plan\n---\nfirst line\nsecond plan line: Plan B\n"},
        {"header.md", "---\ntitle: secretheader\n---\nbody only\n"},
        {".hidden/visible.md", "hiddenword"},
        {"Notes/.secret.md", "hiddenword"},
        {"Note.MD", "extword upper"},
        {"Text.txt", "extword txt"},
        {"image.PNG", "extword png"},
        {"latin1.txt", "latin \xE9t\xE9"},
        {"Data/pinned_notes.txt", "Notes/Data/pinned.md\n"},
        {"Data/Sub/data.md", "data"},
        {"Notes/Data/pinned.md", ""},
        {"big.md", QByteArray(200 * 1024, 'x') + "\ntailword at the end\n"},
        {"exact.md", QByteArray(64 * 1024 - 9, 'y') + "\ntailword"},
        {"Windows.md", "windows line\r\nmore windows\r\n\r\nid: 1a\r\nsource: joplin windows\r\n"},
    };
    for (const auto &[path, text] : notes)
        QVERIFY(TestFiles::write(base + u'/' + path, text, time -= 100));

    QStringList got;
    for (const SearchHit &hit : GlobalSearch::runSearch(base, keyword)) {
        got.append(QDir(base).relativeFilePath(hit.filePath) + u'|' +
                   QString::number(hit.matchCount) + u'|' + hit.snippet);
    }
    QCOMPARE(got.join(u','), expected);
}

void TestSearchEngine::snippetOfLongLineKeepsMatchInView()
{
    const QString base = m_env->useBaseFolder();
    const QString line = QString(300, u'あ') + QStringLiteral("needle") + QString(300, u'い');
    QVERIFY(TestFiles::write(base + QStringLiteral("/long.md"), line.toUtf8()));
    const QList<SearchHit> hits = GlobalSearch::runSearch(base, QStringLiteral("NEEDLE"));
    QCOMPARE(hits.size(), 1);
    const QString snippet = hits[0].snippet;
    QVERIFY(snippet.contains(u"needle"));
    QVERIFY(snippet.startsWith(QChar(0x2026)));
    QVERIFY(snippet.endsWith(QChar(0x2026)));
    QCOMPARE(snippet.size(), GlobalSearch::snippetLimit + 2);
}

void TestSearchEngine::ordersNewestFirstThenLaterPath()
{
    const QString base = m_env->useBaseFolder();
    for (const auto &[name, time] : QList<std::pair<QString, qint64>>{{"old.md", 1000},
                                                                      {"note2.md", 5000},
                                                                      {"note10.md", 5000},
                                                                      {"Note3.md", 5000},
                                                                      {"会議.md", 5000},
                                                                      {"愛.md", 5000},
                                                                      {"new.md", 9000}})
        QVERIFY(TestFiles::write(base + u'/' + name, "word", time));
    // Equal dates: the path that sorts later (numbers by value, case ignored, kanji by
    // reading) comes first.
    QCOMPARE(joinedNames(GlobalSearch::runSearch(base, QStringLiteral("word")), base),
             QStringLiteral("new.md,会議.md,愛.md,note10.md,Note3.md,note2.md,old.md"));
}

void TestSearchEngine::sortDateFallsBackToDailyName()
{
    const QTimeZone tokyo("Asia/Tokyo");
    FixedClock clock(QDateTime(QDate(2024, 5, 1), QTime(12, 0), QTimeZone::utc()), tokyo);
    Clock::setCurrent(&clock);
    const QString base = m_env->useBaseFolder();
    const auto sortDate = [&](const char *relative) {
        return GlobalSearch::searchSortDate(base + u'/' + QString::fromUtf8(relative));
    };
    QCOMPARE(sortDate("Daily/2024-03-05.txt"), QDateTime(QDate(2024, 3, 5), QTime(0, 0), tokyo));
    QCOMPARE(sortDate("Other/2024-03-05.txt"), GlobalSearch::earliestDate());
    QCOMPARE(sortDate("Daily/notes.txt"), GlobalSearch::earliestDate());
    QVERIFY(TestFiles::write(base + QStringLiteral("/Daily/2024-03-06.txt"), "x", 1700000000));
    QCOMPARE(sortDate("Daily/2024-03-06.txt"),
             QDateTime::fromSecsSinceEpoch(1700000000, QTimeZone::utc()));
}

void TestSearchEngine::folderMatchNeedsWholeFolderPrefix()
{
    const KeywordMatcher matcher(QStringLiteral("2"));
    const auto match = [&](const QString &file, const QString &base) {
        return GlobalSearch::folderMatch(file, base, matcher);
    };
    QCOMPARE(match("/n/notes2/a.md", "/n/notes"), GlobalSearch::FolderMatch{});
    QCOMPARE(match("/n/notes/x2/y2/a.md", "/n/notes"), (GlobalSearch::FolderMatch{2, "x2"}));
    QCOMPARE(match("/n/notes2/a.md", "/n/notes2"), GlobalSearch::FolderMatch{});
}

void TestSearchEngine::specialFilesNeverStallOrMatch()
{
    const QString base = m_env->useBaseFolder();
    QCOMPARE(mkfifo(QFile::encodeName(base + QStringLiteral("/pipe word.md")).constData(), 0600),
             0);
    QDir().mkpath(base + QStringLiteral("/folder word.md"));
    QVERIFY(TestFiles::write(base + QStringLiteral("/real.md"), "word"));
    QVERIFY(QFile::link(base + QStringLiteral("/real.md"), base + QStringLiteral("/link.md")));
    QVERIFY(QFile::link(base + QStringLiteral("/gone.md"), base + QStringLiteral("/dangling.md")));
    QCOMPARE(joinedNames(GlobalSearch::runSearch(base, QStringLiteral("word"), {1}), base),
             QStringLiteral("real.md,link.md"));
}

void TestSearchEngine::agreesWithReferenceOnMixedCorpus()
{
    // Notes of every shape the search meets: headers, Joplin blocks at either end, CRLF, byte
    // order marks, text that is not UTF-8, long lines, and names and folders that match.
    const QString base = m_env->useBaseFolder();
    std::mt19937 random(42);
    const QStringList folders = {"Notes", "Projects/A", "Daily", "会議", "Data"};
    for (int i = 0; i < 120; ++i) {
        QByteArray text;
        for (int p = int(random() % 5); p >= 0; --p)
            text += mixedCorpusParts[int(random() % mixedCorpusParts.size())];
        const QString folder = folders[int(random() % folders.size())];
        const QString name = QStringLiteral("%1-%2.%3")
                                 .arg(random() % 3 ? "note" : "project")
                                 .arg(i)
                                 .arg(random() % 4 ? "md" : "TXT");
        QVERIFY(TestFiles::write(base + u'/' + folder + u'/' + name, text,
                                 1600000000 + qint64(random() % 50)));
    }
    for (const QString &keyword :
         QStringList{"project", "会議", "kelvin", "sign", "line two", "a"}) {
        const QList<SearchHit> expected = referenceSearch(base, keyword);
        QCOMPARE(GlobalSearch::runSearch(base, keyword, {1}), expected);
        QCOMPARE(GlobalSearch::runSearch(base, keyword, {4}), expected);
    }
}

// Names that differ only in letter case tie in the name order too; such hits keep the order of
// the walk (folders and files by bytes), though several threads found them in any order. A run
// of plain ASCII paths is ordered by the quick comparison, one with Japanese names by collation
// keys: both must give the collator's order.
void TestSearchEngine::tiesKeepTheWalkOrderWhateverTheThreads()
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
    QList<SearchHit> sequential;
    const auto checkOrder = [&](qsizetype count) {
        sequential = GlobalSearch::runSearch(base, QStringLiteral("hit"), {1});
        QCOMPARE(sequential.size(), count);
        // One long run of equal dates: the path that sorts later first, as in a short run.
        for (qsizetype i = 1; i < sequential.size(); ++i) {
            const QCollatorSortKey earlier = NaturalOrder::sortKey(sequential[i - 1].filePath);
            QVERIFY2(earlier.compare(NaturalOrder::sortKey(sequential[i].filePath)) >= 0,
                     qPrintable(sequential[i - 1].filePath + u" / " + sequential[i].filePath));
        }
        for (const int threads : {2, 3, 8})
            QCOMPARE(GlobalSearch::runSearch(base, QStringLiteral("hit"), {threads}), sequential);
    };
    writeNotes({"A", "a", "a/B", "a/b", "b"}, {"Note %1.md", "note %1.md", "note %1 (2).md"});
    checkOrder(300);
    if (QTest::currentTestFailed())
        return;
    // Equal names come in byte order of their paths: "A/…" before "a/…", "Note" before "note".
    const auto at = [&](const char *relative) {
        return std::find_if(sequential.begin(), sequential.end(),
                            [&](const SearchHit &hit) {
                                return hit.filePath == base + u'/' + QString::fromUtf8(relative);
                            }) -
               sequential.begin();
    };
    QCOMPARE_LT(at("A/Note 3.md"), at("A/note 3.md"));
    QCOMPARE_LT(at("A/note 3.md"), at("a/Note 3.md"));
    QCOMPARE_LT(at("a/B/note 7.md"), at("a/b/Note 7.md"));

    // Kana spellings tie in collation, as letter case does.
    writeNotes({"a", "会議"}, {"メモ %1.md", "めも %1.md", "Memo %1.md"});
    checkOrder(420);
}

QTEST_GUILESS_MAIN(TestSearchEngine)
#include "tst_searchengine.moc"
