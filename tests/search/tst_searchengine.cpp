#include "common/testenvironment.h"
#include "common/testfiles.h"

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

// The search as first written, straight from its rules with the plain Qt calls: what the fast
// search must agree with exactly.
QList<SearchHit> referenceSearch(const QString &base, const QString &keyword)
{
    QList<SearchHit> hits;
    QDirIterator it(base, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    QStringList files;
    while (it.hasNext()) {
        const QString path = it.next();
        const QStringList parts = QDir(base).relativeFilePath(path).split(u'/');
        const bool skipped =
            std::any_of(parts.begin(), parts.end(),
                        [](const QString &part) { return part.startsWith(u'.'); }) ||
            parts.first() == u"Data";
        const QFileInfo info(path);
        if (!skipped && info.isFile() && !info.isSymLink() &&
            QStringList{QStringLiteral("md"), QStringLiteral("txt")}.contains(
                info.suffix().toLower()))
            files.append(path);
    }
    files.sort();
    const auto count = [](const QString &needle, QStringView haystack) {
        qsizetype n = 0;
        for (qsizetype at = haystack.indexOf(needle, 0, Qt::CaseInsensitive); at >= 0;
             at = haystack.indexOf(needle, at + needle.size(), Qt::CaseInsensitive))
            ++n;
        return n;
    };
    static const QRegularExpression lineBreaks(
        QStringLiteral("[\\n\\x{000B}\\f\\r\\x{0085}\\x{2028}\\x{2029}]"));
    for (const QString &path : files) {
        const TextFileRead read = TextFile::readUtf8(path);
        const QString body = parseNoteDocument(read.ok() ? read.text : QString()).body;
        const QFileInfo info(path);
        const QString baseName = NoteFiles::nameWithoutExtension(info.fileName()).toString();
        const qsizetype b = count(keyword, body);
        const qsizetype n = count(keyword, baseName);
        qsizetype f = 0;
        QString folderName;
        const QString relativeFolder = QDir(base).relativeFilePath(info.path());
        for (const QString &piece : relativeFolder.split(u'/', Qt::SkipEmptyParts)) {
            if (piece == u".")
                continue;
            const qsizetype c = count(keyword, piece);
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
const QStringList trickyPieces = {
    QStringLiteral("a"),      QStringLiteral("A"),      QStringLiteral("k"),
    QStringLiteral("K"),      QStringLiteral("\u212A"), QStringLiteral("s"),
    QStringLiteral("\u017F"), QStringLiteral("\u00DF"), QStringLiteral("\u03C3"),
    QStringLiteral("\u03C2"), QStringLiteral("\u03A3"), QStringLiteral("\u0130"),
    QStringLiteral("i"),      QStringLiteral("\uFF21"), QStringLiteral("\uFF41"),
    QStringLiteral("会"),     QStringLiteral("議"),     QStringLiteral("\U0001F600"),
    QStringLiteral(" "),      QStringLiteral("\n"),     QStringLiteral("\u00E9"),
    QStringLiteral("\u00C9"), QStringLiteral("\u2028"),
};

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
};

/// Non-overlapping case-insensitive matches, as Qt finds them.
qsizetype qtCount(const QString &needle, QStringView haystack)
{
    qsizetype n = 0;
    for (qsizetype at = haystack.indexOf(needle, 0, Qt::CaseInsensitive); at >= 0;
         at = haystack.indexOf(needle, at + needle.size(), Qt::CaseInsensitive))
        ++n;
    return n;
}

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
    void bodyRangeOnSampleNotes();

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
    QTest::newRow("overlapping pattern counts once") << "aba"
                                                     << "abab" << 1;
    QTest::newRow("repeats without overlap") << "aa"
                                             << "aaaaa" << 2;
    QTest::newRow("case differs") << "abc"
                                  << "ABC xAbC" << 2;
    QTest::newRow("empty needle") << ""
                                  << "abc" << 0;
    QTest::newRow("Japanese") << "会議"
                              << "会議と会議室" << 2;
    QTest::newRow("Kelvin sign folds to k") << "k"
                                            << "\u212A" << 1;
    QTest::newRow("no width folding") << "a"
                                      << "\uFF41" << 0;
    QTest::newRow("no diacritic folding") << "e"
                                          << "\u00E9" << 0;
    QTest::newRow("emoji keyword") << "\U0001F600"
                                   << "x\U0001F600y\U0001F600" << 2;
}

void TestSearchEngine::countsNonOverlappingCaseInsensitive()
{
    QFETCH(QString, needle);
    QFETCH(QString, haystack);
    QFETCH(int, expected);
    QCOMPARE(GlobalSearch::countOccurrences(needle, haystack), expected);
    const KeywordMatcher matcher(needle);
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
        QStringList keywords = {QStringLiteral("会議"),    QStringLiteral("の"),
                                QStringLiteral("project"), QStringLiteral("the"),
                                QStringLiteral("kelvin"),  QStringLiteral("sign"),
                                QStringLiteral("ID:"),     QStringLiteral("豆腐よう"),
                                QStringLiteral("\u03A3"),  QStringLiteral("k")};
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
        if (length1) {
            QCOMPARE(QString::fromUtf8(bytes.first(*length1)), text);
            // What the search decodes itself (lines, snippets) decodes as Qt does, a
            // byte-order mark at the start included.
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

void TestSearchEngine::bodyRangeAgreesWithNoteParser()
{
    const QStringList lines = {
        QStringLiteral("---"),
        QStringLiteral(" --- "),
        QStringLiteral("..."),
        QStringLiteral(""),
        QStringLiteral("   "),
        QStringLiteral("\u3000"),
        QStringLiteral("title: Note"),
        QStringLiteral("created: 2024-01-01T09:00:00"),
        QStringLiteral("source: Joplin"),
        QStringLiteral("id: 0123abcd"),
        QStringLiteral("parent_id: 9f"),
        QStringLiteral("type_: 1"),
        QStringLiteral("body text"),
        QStringLiteral("会議のメモ"),
        QStringLiteral("a: b"),
        QStringLiteral("- list: item"),
        QStringLiteral("\uFEFF"),
        QStringLiteral("mar\u212Aup_language: md"),
    };
    std::mt19937 random(3);
    NoteBody::Scratch scratch;
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
        const auto range = NoteBody::bodyRange(utf8, scratch);
        QVERIFY(range);
        const QString body =
            Utf8Validation::decodePiece(utf8.sliced(range->first, range->second - range->first));
        // The file is read with a decoder, which drops one byte-order mark before the parser.
        QStringDecoder decoder(QStringDecoder::Utf8);
        QCOMPARE(body, parseNoteDocument(decoder.decode(utf8)).body);
    }
    QVERIFY(!NoteBody::bodyRange("a\r\nb", scratch));
    // An empty file, whose bytes have no address at all: an empty body, nothing read.
    const auto empty = NoteBody::bodyRange(QByteArray(), scratch);
    QVERIFY(empty);
    QCOMPARE(empty->first, qsizetype(0));
    QCOMPARE(empty->second, qsizetype(0));
}

void TestSearchEngine::bodyRangeOnSampleNotes()
{
    NoteBody::Scratch scratch;
    QDirIterator it(QStringLiteral(QUILLMERE_TEST_DATA), {QStringLiteral("*.md")}, QDir::Files,
                    QDirIterator::Subdirectories);
    int checked = 0;
    while (it.hasNext()) {
        QFile file(it.next());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const auto range = NoteBody::bodyRange(bytes, scratch);
        if (!range)
            continue; // carriage returns: the parser is asked instead
        QCOMPARE(
            Utf8Validation::decodePiece(bytes.sliced(range->first, range->second - range->first)),
            parseNoteDocument(TextFile::readUtf8(file.fileName()).text).body);
        ++checked;
    }
    QVERIFY(checked >= 5);
}

void TestSearchEngine::searchRules_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("expected"); // relative path | count | snippet, per hit

    QTest::newRow("name matches without body") << "memo"
                                               << "Memo.md|1|タイトル「Memo」に一致,Projects/Memo "
                                                  "Work/plan.md|1|フォルダ「Memo Work」に一致";
    QTest::newRow("folder below the base matches")
        << "work"
        << "Projects/Memo Work/plan.md|1|フォルダ「Memo Work」に一致";
    QTest::newRow("body, name and folder add up, snippet is the first body line")
        << "plan"
        << "Projects/Memo Work/plan.md|3|second plan line: Plan B";
    QTest::newRow("front matter is not searched") << "secretheader"
                                                  << "";
    QTest::newRow("hidden files and folders are skipped") << "hiddenword"
                                                          << "";
    QTest::newRow("extensions in any case, other files never")
        << "extword"
        << "Note.MD|1|extword upper,Text.txt|1|extword txt";
    QTest::newRow("the application's Data folder is not searched, a deeper Data folder is")
        << "data"
        << "Notes/Data/pinned.md|1|フォルダ「Data」に一致";
    QTest::newRow("not UTF-8: found by name only") << "latin"
                                                   << "latin1.txt|1|タイトル「latin1」に一致";
    QTest::newRow("CRLF note with trailing Joplin metadata")
        << "windows"
        << "Windows.md|3|windows line"; // two in the body, one in the name
}

void TestSearchEngine::searchRules()
{
    QFETCH(QString, keyword);
    QFETCH(QString, expected);
    const QString base = m_env->useBaseFolder();
    qint64 time = 1700000000;
    const auto note = [&](const QString &path, const QByteArray &text) {
        QVERIFY(TestFiles::write(base + u'/' + path, text, time -= 100));
    };
    note(QStringLiteral("Memo.md"), "nothing to see");
    note(QStringLiteral("Projects/Memo Work/plan.md"),
         "---\ntitle: plan\n---\nfirst line\nsecond plan line: Plan B\n");
    note(QStringLiteral("header.md"), "---\ntitle: secretheader\n---\nbody only\n");
    note(QStringLiteral(".hidden/visible.md"), "hiddenword");
    note(QStringLiteral("Notes/.secret.md"), "hiddenword");
    note(QStringLiteral("Note.MD"), "extword upper");
    note(QStringLiteral("Text.txt"), "extword txt");
    note(QStringLiteral("image.PNG"), "extword png");
    note(QStringLiteral("latin1.txt"), "latin \xE9t\xE9");
    note(QStringLiteral("Data/pinned_notes.txt"), "Notes/Data/pinned.md\n");
    note(QStringLiteral("Data/Sub/data.md"), "data");
    note(QStringLiteral("Notes/Data/pinned.md"), "");
    note(QStringLiteral("Windows.md"),
         "windows line\r\nmore windows\r\n\r\nid: 1a\r\nsource: joplin windows\r\n");

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
    QVERIFY(TestFiles::write(base + QStringLiteral("/short.md"), "a short needle line"));
    const QList<SearchHit> hits = GlobalSearch::runSearch(base, QStringLiteral("NEEDLE"));
    QCOMPARE(hits.size(), 2);
    for (const SearchHit &hit : hits) {
        if (hit.filePath.endsWith(u"short.md")) {
            QCOMPARE(hit.snippet, QStringLiteral("a short needle line"));
            continue;
        }
        QVERIFY(hit.snippet.contains(u"needle"));
        QVERIFY(hit.snippet.startsWith(QChar(0x2026)));
        QVERIFY(hit.snippet.endsWith(QChar(0x2026)));
        QCOMPARE(hit.snippet.size(), GlobalSearch::snippetLimit + 2);
    }
}

void TestSearchEngine::ordersNewestFirstThenLaterPath()
{
    const QString base = m_env->useBaseFolder();
    QVERIFY(TestFiles::write(base + QStringLiteral("/old.md"), "word", 1000));
    QVERIFY(TestFiles::write(base + QStringLiteral("/note2.md"), "word", 5000));
    QVERIFY(TestFiles::write(base + QStringLiteral("/note10.md"), "word", 5000));
    QVERIFY(TestFiles::write(base + QStringLiteral("/Note3.md"), "word", 5000));
    QVERIFY(TestFiles::write(base + QStringLiteral("/会議.md"), "word", 5000));
    QVERIFY(TestFiles::write(base + QStringLiteral("/愛.md"), "word", 5000));
    QVERIFY(TestFiles::write(base + QStringLiteral("/new.md"), "word", 9000));
    // Equal dates: the path that sorts later (numbers by value, case ignored, kanji by
    // reading) comes first.
    QCOMPARE(joinedNames(GlobalSearch::runSearch(base, QStringLiteral("word")), base),
             QStringLiteral("new.md,会議.md,愛.md,note10.md,Note3.md,note2.md,old.md"));
}

void TestSearchEngine::sortDateFallsBackToDailyName()
{
    FixedClock clock(QDateTime(QDate(2024, 5, 1), QTime(12, 0), QTimeZone::utc()),
                     QTimeZone("Asia/Tokyo"));
    Clock::setCurrent(&clock);
    const QString base = m_env->useBaseFolder();
    QCOMPARE(GlobalSearch::searchSortDate(base + QStringLiteral("/Daily/2024-03-05.txt")),
             QDateTime(QDate(2024, 3, 5), QTime(0, 0), QTimeZone("Asia/Tokyo")));
    QCOMPARE(GlobalSearch::searchSortDate(base + QStringLiteral("/Other/2024-03-05.txt")),
             GlobalSearch::distantPast());
    QCOMPARE(GlobalSearch::searchSortDate(base + QStringLiteral("/Daily/notes.txt")),
             GlobalSearch::distantPast());
    QVERIFY(TestFiles::write(base + QStringLiteral("/Daily/2024-03-06.txt"), "x", 1700000000));
    QCOMPARE(GlobalSearch::searchSortDate(base + QStringLiteral("/Daily/2024-03-06.txt")),
             QDateTime::fromSecsSinceEpoch(1700000000, QTimeZone::utc()));
}

void TestSearchEngine::folderMatchNeedsWholeFolderPrefix()
{
    const KeywordMatcher matcher(QStringLiteral("2"));
    QCOMPARE(GlobalSearch::folderMatch(QStringLiteral("/n/notes2/a.md"), QStringLiteral("/n/notes"),
                                       matcher),
             GlobalSearch::FolderMatch{});
    QCOMPARE(GlobalSearch::folderMatch(QStringLiteral("/n/notes/x2/y2/a.md"),
                                       QStringLiteral("/n/notes"), matcher),
             (GlobalSearch::FolderMatch{2, QStringLiteral("x2")}));
    QCOMPARE(GlobalSearch::folderMatch(QStringLiteral("/n/notes2/a.md"),
                                       QStringLiteral("/n/notes2"), matcher),
             GlobalSearch::FolderMatch{});
}

void TestSearchEngine::specialFilesNeverStallOrMatch()
{
    const QString base = m_env->useBaseFolder();
    QVERIFY(mkfifo(QFile::encodeName(base + QStringLiteral("/pipe word.md")).constData(), 0600) ==
            0);
    QDir().mkpath(base + QStringLiteral("/folder word.md"));
    QVERIFY(TestFiles::write(base + QStringLiteral("/real.md"), "word"));
    QVERIFY(QFile::link(base + QStringLiteral("/real.md"), base + QStringLiteral("/link.md")));
    QVERIFY(QFile::link(base + QStringLiteral("/gone.md"), base + QStringLiteral("/dangling.md")));
    QCOMPARE(joinedNames(GlobalSearch::runSearch(base, QStringLiteral("word"), {1}), base)
                 .split(u',')
                 .size(),
             2); // real.md and the link to it
}

void TestSearchEngine::agreesWithReferenceOnMixedCorpus()
{
    // Notes of every shape the search meets: headers, Joplin blocks at either end, CRLF, byte
    // order marks, text that is not UTF-8, long lines, and names and folders that match.
    const QString base = m_env->useBaseFolder();
    std::mt19937 random(42);
    const QList<QByteArray> &parts = mixedCorpusParts;
    for (int i = 0; i < 120; ++i) {
        QByteArray text;
        for (int p = int(random() % 5); p >= 0; --p)
            text += parts[int(random() % parts.size())];
        const QString folder = QStringList{QStringLiteral("Notes"), QStringLiteral("Projects/A"),
                                           QStringLiteral("Daily"), QStringLiteral("会議"),
                                           QStringLiteral("Data")}[int(random() % 5)];
        const QString name =
            QStringLiteral("%1-%2.%3")
                .arg(random() % 3 ? QStringLiteral("note") : QStringLiteral("project"))
                .arg(i)
                .arg(random() % 4 ? QStringLiteral("md") : QStringLiteral("TXT"));
        QVERIFY(TestFiles::write(base + u'/' + folder + u'/' + name, text,
                                 1600000000 + qint64(random() % 50)));
    }
    for (const QString &keyword :
         {QStringLiteral("project"), QStringLiteral("会議"), QStringLiteral("kelvin"),
          QStringLiteral("sign"), QStringLiteral("line two"), QStringLiteral("a")}) {
        const QList<SearchHit> expected = referenceSearch(base, keyword);
        QCOMPARE(GlobalSearch::runSearch(base, keyword, {1}), expected);
        QCOMPARE(GlobalSearch::runSearch(base, keyword, {4}), expected);
    }
}

// Names that differ only in letter case tie in the name order too; such hits keep the order of
// the walk (folders and files by bytes), though several threads found them in any order.
void TestSearchEngine::tiesKeepTheWalkOrderWhateverTheThreads()
{
    const QString base = m_env->useBaseFolder();
    QStringList walkOrder;
    for (const QString &folder : {QStringLiteral("A"), QStringLiteral("a"), QStringLiteral("a/B"),
                                  QStringLiteral("a/b"), QStringLiteral("b")}) {
        for (int i = 0; i < 20; ++i) {
            for (const QString &name : {QStringLiteral("Note %1.md"), QStringLiteral("note %1.md")})
                QVERIFY(TestFiles::write(base + u'/' + folder + u'/' + name.arg(i), "hit\n",
                                         1600000000));
        }
    }
    const QList<SearchHit> sequential = GlobalSearch::runSearch(base, QStringLiteral("hit"), {1});
    QCOMPARE(sequential.size(), 200);
    // Equal names come in byte order of their paths: "A/…" before "a/…", "Note" before "note".
    const auto at = [&](const QString &relative) {
        for (qsizetype i = 0; i < sequential.size(); ++i) {
            if (sequential[i].filePath == base + u'/' + relative)
                return i;
        }
        return qsizetype(-1);
    };
    QVERIFY(at(QStringLiteral("A/Note 3.md")) < at(QStringLiteral("A/note 3.md")));
    QVERIFY(at(QStringLiteral("A/note 3.md")) < at(QStringLiteral("a/Note 3.md")));
    QVERIFY(at(QStringLiteral("a/B/note 7.md")) < at(QStringLiteral("a/b/Note 7.md")));
    for (const int threads : {2, 3, 8})
        QCOMPARE(GlobalSearch::runSearch(base, QStringLiteral("hit"), {threads}), sequential);
}

QTEST_GUILESS_MAIN(TestSearchEngine)
#include "tst_searchengine.moc"
