#include "common/heldfolderlock.h"
#include "common/testenvironment.h"
#include "common/testfiles.h"
#include "notes/notestestutil.h"

#include "notes/notenaming.h"
#include "notes/notesoperations.h"
#include "search/globalsearch.h"
#include "search/quickopen.h"
#include "search/searchstore.h"
#include "storage/memomanager.h"
#include "storage/notedocument.h"

#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <array>

#include <sqlite3.h>
#include <unistd.h>

using namespace NotesTestUtil;
using namespace Qt::StringLiterals;

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QString err;

    QStringList lines() const { return QString::fromUtf8(out).split(u'\n', Qt::SkipEmptyParts); }
    QList<QJsonObject> objects() const
    {
        QList<QJsonObject> objects;
        for (const QString &line : lines())
            objects.append(QJsonDocument::fromJson(line.toUtf8()).object());
        return objects;
    }
};

/// Checks the dynamic loader's logs in `folder`, which name every library a process looks for,
/// whether needed or opened later: a command starts in a few milliseconds only while it loads
/// no window system (the Qt Gui, Widgets and D-Bus libraries), nor libgit2, which only a command
/// that changes notes (and so records their history) or reads the history opens.
void expectQtCoreOnly(const QString &folder, bool history)
{
    static const QRegularExpression loaded("find library=(\\S+)");
    QStringList libraries;
    for (const QFileInfo &log : QDir(folder).entryInfoList(QDir::Files)) {
        const QString text = QString::fromUtf8(readBytes(log.filePath()));
        for (auto it = loaded.globalMatch(text); it.hasNext();)
            libraries.append(it.next().captured(1));
    }
    QVERIFY2(libraries.contains("libQt6Core.so.6"), qPrintable(libraries.join(u' ')));
    for (const QString &library : libraries)
        for (const char *heavy : {"libQt6Gui", "libQt6Widgets", "libQt6DBus", "libgit2"})
            QVERIFY2(!library.startsWith(heavy) || (history && library.startsWith("libgit2")),
                     qPrintable(library));
}

/// Runs the program, arguments written "memo|2025-03-05|--print", with no display to reach: a
/// window, or even a QApplication, would fail, and checks that it loaded Qt Core only.
/// `locale` replaces LC_ALL when given.
Run quillmere(const QString &line, const QString &stdoutFile = {}, const QString &locale = {},
              const QString &program = QUILLMERE_BINARY)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.insert("QT_QPA_PLATFORM", "xcb");
    if (!locale.isEmpty())
        environment.insert("LC_ALL", locale);
    QTemporaryDir logs;
    environment.insert("LD_DEBUG", "libs");
    environment.insert("LD_DEBUG_OUTPUT", logs.filePath("loader"));
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!stdoutFile.isEmpty())
        process.setStandardOutputFile(stdoutFile);
    process.start(program, line.isEmpty() ? QStringList() : line.split(u'|'));
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    const QStringList arguments = line.split(u'|');
    const bool history = std::any_of(arguments.begin(), arguments.end(), [](const QString &a) {
        return a.startsWith(u"--append"_s) || a == u"new"_s || a == u"history"_s ||
               a == u"restore"_s || a == u"rename"_s;
    });
    expectQtCoreOnly(logs.path(), history);
    return {process.exitCode(), process.readAllStandardOutput(),
            QString::fromUtf8(process.readAllStandardError())};
}

/// Timestamps within ten minutes of now become "NOW": two saves a moment apart then compare
/// equal, while an older date kept from a header still has to match.
QString maskRecent(QString text)
{
    static const QRegularExpression stamp("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d");
    const QDateTime now = QDateTime::currentDateTime();
    for (auto it = stamp.globalMatch(text); it.hasNext();) {
        const QString found = it.next().captured();
        if (qAbs(QDateTime::fromString(found, Qt::ISODate).secsTo(now)) < 600)
            text.replace(found, "NOW");
    }
    return text;
}

const QString japanese = QStringLiteral("ja_JP.UTF-8");

QString textOf(const QString &path)
{
    return QString::fromUtf8(readBytes(path));
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_base = m_env->makeFolder("base");
    }
    void cleanup() { m_env.reset(); }

    // Every refusal is one line on standard error, with no control character of the user's
    // reaching the terminal, and nothing written. Which names are usable is checked in
    // tst_noteslogic; a row here for each check the command line makes.
    void usageErrorsChangeNothing_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("message");
        QTest::newRow("no command") << "--json" << QString();
        QTest::newRow("unknown command") << "frob" << QString();
        QTest::newRow("option of another command") << "search|x|--print" << QString();
        QTest::newRow("option without its value") << "today|--append" << QString();
        QTest::newRow("keyword of spaces only") << "search| \t " << QString();
        QTest::newRow("date that does not exist") << "memo|2025-02-30" << QString();
        QTest::newRow("hidden note name") << "new|.x" << QString();
        QTest::newRow("folder above Notes") << "new|../x" << QString();
        QTest::newRow("folder that does not exist") << "new|nowhere/x" << QString();
        QTest::newRow("base folder that does not exist")
            << "today|--base=/nonexistent" << QString();
        const QString control = QStringLiteral("制御文字を含む名前は使えません: ");
        QTest::newRow("tab at the end, where trimming would hide it") << "new|name\t" << control;
        QTest::newRow("tab in an existing folder part") << "new|tab\tbed/x" << control;
        QTest::newRow("nothing to append") << "today|--append|" << u"追加するテキストが空です"_s;
        // 255 bytes of UTF-8 is the most a name may take, its ".md" included.
        const QString limit = u"255 バイトまで"_s;
        QTest::newRow("name over the limit") << "new|" + QString(256, u'a') << limit;
        QTest::newRow("name over the limit once .md is added")
            << "new|" + QString(85, u'あ') << limit;
        const QString system = u"ベースフォルダにできません"_s;
        QTest::newRow("the root folder as the base")
            << "memo|2025-03-05|--print|--base=/" << system;
        QTest::newRow("the root folder, spelled otherwise")
            << "memo|2025-03-05|--print|--base=/tmp/.." << system;
        QTest::newRow("a kernel folder as the base")
            << "memo|2025-03-05|--base=/proc/self" << system;
    }
    void usageErrorsChangeNothing()
    {
        QFETCH(QString, line);
        QFETCH(QString, message);
        QVERIFY(QDir().mkpath(at("Notes/tab\tbed")));
        const Run run = line.contains("--base") ? quillmere(line) : inBase(line);
        expectOneErrorLine(run, 2, message);
        QVERIFY(!NoteNaming::containsControlCharacter(run.err.chopped(1)));
        if (message.startsWith(u"制御文字")) // the name is shown, its control characters replaced
            QVERIFY(run.err.contains(QChar::ReplacementCharacter));
        QVERIFY(!QDirIterator(m_base, QDir::Files, QDirIterator::Subdirectories).hasNext());
    }

    void helpWinsAndVersion()
    {
        const Run help = quillmere("search|--frob|--help");
        QCOMPARE(help.exitCode, 0);
        for (const char *command : {"search", "today", "memo", "new", "open", "holidays", "--base"})
            QVERIFY2(help.out.contains(command), command);
        QCOMPARE(quillmere("--version").out, QByteArray("quillmere " QUILLMERE_VERSION "\n"));
    }

    // `quillmere` without a command becomes the window's program beside it (beside the real
    // file, when started through a link), with the same arguments and exit status.
    void withoutCommandTheWindowProgramTakesOver_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("throughLink");
        QTest::newRow("no arguments") << "" << false;
        QTest::newRow("Qt's options, started through a link elsewhere") << "-style|fusion" << true;
    }
    void withoutCommandTheWindowProgramTakesOver()
    {
        QFETCH(QString, line);
        QFETCH(bool, throughLink);
        const QString folder = m_env->makeFolder("installed");
        const QString program = folder + "/quillmere";
        QVERIFY(QFile::copy(QUILLMERE_BINARY, program));
        QVERIFY(writeNote(
            folder + "/quillmere-window",
            "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > \"$(dirname \"$0\")/started\"\nexit 7\n"));
        QVERIFY(QFile::setPermissions(folder + "/quillmere-window",
                                      QFile::ReadOwner | QFile::ExeOwner));
        QString started = program;
        if (throughLink) {
            started = m_env->makeFolder("bin") + "/quillmere";
            QVERIFY(QFile::link(program, started));
        }

        const Run run = quillmere(line, {}, {}, started);
        QCOMPARE(run.exitCode, 7);
        QCOMPARE(run.out, QByteArray());
        const QStringList arguments = line.isEmpty() ? QStringList() : line.split(u'|');
        QCOMPARE(QString::fromUtf8(readBytes(folder + "/started")).split(u'\n', Qt::SkipEmptyParts),
                 QStringList{folder + "/quillmere-window"} + arguments);

        // Without the window's program: one line on standard error and a shell's status.
        QVERIFY(QFile::remove(folder + "/quillmere-window"));
        const Run missing = quillmere(line, {}, {}, started);
        expectOneErrorLine(missing, 127, folder + "/quillmere-window");
    }

    // Thousands of hits are made into lines on two threads and written in pieces: every line
    // comes out once, in the library's order. The program runs under a Japanese locale, the
    // library here under C: names that tie on their dates ("item 2", "item 10") still come in
    // the same order.
    void searchListsTheLibraryHits()
    {
        QVERIFY(writeFixture());
        for (int i = 0; i < 2500; ++i) {
            const QString path = at(QStringLiteral("Notes/f%1/n%2.md").arg(i % 7).arg(i));
            // ASCII, two-, three- and four-byte characters, in every line.
            QVERIFY(writeNote(
                path, "x\nhello \xC3\xA9 会議 \xF0\x9F\x98\x80 " + QByteArray(i % 90, 'y') + "\n",
                minute(i % 300)));
        }
        QList<QJsonObject> objects;
        const QStringList lines = libraryHits(QStringLiteral("hello"), &objects);
        const Run text = inBase("search|  hello\t", japanese);
        QCOMPARE(text.exitCode, 0);
        QVERIFY(text.out.size() > 64 * 1024);
        QCOMPARE(text.lines(), lines);
        QCOMPARE(inBase("search|--json|hello", japanese).objects(), objects);
        const Run none = inBase("search|zebra");
        QCOMPARE(none.exitCode, 1);
        QCOMPARE(none.out, QByteArray());
    }

    void searchRemembersOnlyWhenAsked()
    {
        for (const char *line : {"search|hello", "search|--remember| zebra "})
            inBase(line);
        SettingsStore::resetInstance();
        QCOMPARE(SearchStore::loadHistory(), QStringList{"zebra"});

        // A history that cannot be stored fails the command, after the hits it found.
        QVERIFY(writeNote(at("Notes/a.md"), "zebra\n"));
        const QString settings = QFileInfo(SettingsStore::instance().filePath()).absolutePath();
        QVERIFY(QDir(settings).removeRecursively() && writeNote(settings, "in the way"));
        const Run run = inBase("search|--remember|zebra");
        QCOMPARE(run.exitCode, 3);
        QCOMPARE(run.lines(), QStringList{"1\tNotes/a.md\tzebra"});
        QVERIFY2(run.err.contains(u"検索履歴を保存できませんでした"_s), qPrintable(run.err));
    }

    void baseOptionLeavesTheSettingsAlone()
    {
        const QString stored = m_env->useBaseFolder("stored");
        SettingsStore::instance().sync();
        const QByteArray settings = readBytes(SettingsStore::instance().filePath());
        QCOMPARE(inBase("memo|2025-03-05|--append|x").lines(), {at("Daily/2025-03-05.txt")});
        QCOMPARE(inBase("new|n").exitCode, 0);
        QCOMPARE(readBytes(SettingsStore::instance().filePath()), settings);
        // Without --base the stored folder is used.
        QCOMPARE(quillmere("memo|2025-03-05").lines(), {stored + "/Daily/2025-03-05.txt"});
    }

    void appendSavesAsTheEditorDoes_data()
    {
        QTest::addColumn<QByteArray>("original");
        QTest::addColumn<QString>("expectedBody");
        const QString line = "- [ ] 追記";
        QTest::newRow("new memo") << QByteArray() << line;
        QTest::newRow("no final line break") << QByteArray("first") << "first\n" + line;
        QTest::newRow("final line break kept") << QByteArray("a\r\n") << "a\n" + line + '\n';
        QTest::newRow("old created date and other header lines kept")
            << QByteArray("---\ntitle: x\ncreated: \"2020-01-02T03:04:05\"\ntags: [a]\n---\n\nb")
            << "b\n" + line;
    }
    void appendSavesAsTheEditorDoes()
    {
        QFETCH(QByteArray, original);
        QFETCH(QString, expectedBody);
        const QString memo = at("Daily/2025-03-05.txt");
        const QString byEditor = m_env->makeFolder("editor") + "/Daily/2025-03-05.txt";
        if (!original.isNull())
            QVERIFY(writeNote(memo, original) && writeNote(byEditor, original));

        const Run run = inBase("memo|2025-03-05|--append|- [ ] 追記|--json|--print");
        QCOMPARE(
            run.objects(),
            (QList<QJsonObject>{{{"path", memo}, {"date", "2025-03-05"}, {"body", expectedBody}}}));
        PathManager::setBaseFolderForProcess(m_env->path("editor"));
        MemoManager editor;
        editor.loadMemo(QDate(2025, 3, 5));
        editor.markModified();
        QVERIFY(editor.save(expectedBody).succeeded());
        QCOMPARE(maskRecent(textOf(memo)), maskRecent(textOf(byEditor)));
    }

    // An appended line and the header lines written anew end as the file's lines do; every
    // other byte stays, the byte-order mark and the fences as written included.
    void appendKeepsTheFilesBytes_data()
    {
        QTest::addColumn<QByteArray>("original");
        QTest::addColumn<QByteArray>("expected"); // NOW: the time of the append
        const QByteArray title = "title: \"2025-03-05\"";
        const QByteArray created = "created: \"2025-03-05T09:00:00\"";
        QTest::newRow("CRLF with a header")
            << QByteArray("---\r\n" + title + "\r\n" + created +
                          "\r\nupdated: \"x\"\r\n---\r\n\r\na\r\n")
            << QByteArray("---\r\n" + title + "\r\n" + created +
                          "\r\nupdated: \"NOW\"\r\n---\r\n\r\na\r\n追記\r\n");
        QTest::newRow("CRLF without a header or a final break")
            << QByteArray("a\r\nb")
            << QByteArray("---\r\n" + title +
                          "\r\ncreated: \"NOW\"\r\nupdated: \"NOW\"\r\n---\r\n\r\na\r\nb\r\n追記");
        QTest::newRow("lone CR, byte-order mark, fences with a space and a tab")
            << QByteArray("\xEF\xBB\xBF--- \r" + title + "\r" + created +
                          "\rupdated: \"x\"\r---\t\ra\r")
            << QByteArray("\xEF\xBB\xBF--- \r" + title + "\r" + created +
                          "\rupdated: \"NOW\"\r---\t\ra\r追記\r");
        const QByteArray sample =
            readBytes(QStringLiteral(QUILLMERE_TEST_DATA "/joplin/frontmatter-bom-crlf.md"));
        QTest::newRow("byte-order mark and CRLF from another program")
            << sample
            << QByteArray(QByteArray(sample)
                              .replace("title: \"Travel \\\"notes\\\"\"", title)
                              .replace("updated: 2019-05-01T16:54:00Z", "updated: \"NOW\"") +
                          "追記\r\n");
    }
    void appendKeepsTheFilesBytes()
    {
        QFETCH(QByteArray, original);
        QFETCH(QByteArray, expected);
        const QString memo = at("Daily/2025-03-05.txt");
        QVERIFY(writeNote(memo, original));
        QCOMPARE(inBase("memo|2025-03-05|--append|追記").exitCode, 0);
        QCOMPARE(maskRecent(textOf(memo)), QString::fromUtf8(expected));
    }

    // Two writers at once (two loops of --append here; the window saves the same way) take
    // turns from reading to writing, so neither loses the other's lines.
    void concurrentAppendsLoseNothing()
    {
        const QString script = QStringLiteral(
            "for i in $(seq 1 200); do \"$0\" --base \"$1\" memo 2025-03-05 --append \"$2$i\" "
            "|| echo failed >&2; done");
        QProcess writers[2];
        for (int i = 0; i < 2; ++i)
            writers[i].start("sh", {"-c", script, QUILLMERE_BINARY, m_base, i == 0 ? "a" : "b"});
        for (QProcess &writer : writers) {
            QVERIFY(writer.waitForFinished(300000));
            QCOMPARE(writer.readAllStandardError(), QByteArray());
        }

        const QStringList lines = parseNoteDocument(textOf(at("Daily/2025-03-05.txt")))
                                      .body.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 400);
        for (const QString &prefix : {QStringLiteral("a"), QStringLiteral("b")}) {
            int expected = 1;
            for (const QString &line : lines) {
                if (line.startsWith(prefix))
                    QCOMPARE(line, prefix + QString::number(expected++));
            }
            QCOMPARE(expected, 201);
        }
        // Nothing of the writers is left behind.
        QCOMPARE(QDir(at("Daily")).entryList(QDir::Files | QDir::Hidden).size(), 1);
        // Both wrote the same history meanwhile: every text the memo held is there, once.
        QCOMPARE(inBase("history|Daily/2025-03-05.txt").lines().size(), 400);
    }

    // A writer that keeps the memo's folder locked is waited for ten seconds, not for ever.
    void appendGivesUpOnAStuckWriter()
    {
        QVERIFY(QDir().mkpath(at("Daily")));
        HeldFolderLock other(at("Daily"), std::chrono::seconds(60));
        QVERIFY(other.isHeld());
        expectOneErrorLine(inBase("memo|2025-03-05|--append|x"), 3,
                           u"他のプログラムが書き込み中"_s);
        QCOMPARE(QDir(at("Daily")).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void memoFailuresWriteNothing_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("message");
        QTest::newRow("append to a memo that is not UTF-8")
            << u"latin1"_s << u"--append|x"_s << MemoManager::readOnlySaveMessage;
        QTest::newRow("print a memo that is not UTF-8")
            << u"latin1"_s << u"--print"_s << MemoManager::unreadableMessage;
        QTest::newRow("append where a folder stands")
            << u"folder"_s << u"--append|x"_s << MemoManager::readOnlySaveMessage;
        QTest::newRow("append when the file cannot be written")
            << u"blocked"_s << u"--append|x"_s
            << MemoManager::saveFailedMessage + u": フォルダがありません: "_s;
        QTest::newRow("append to a memo the user may not write")
            << u"0444"_s << u"--append|x"_s << MemoManager::writeProtectedSaveMessage;
    }
    void memoFailuresWriteNothing()
    {
        QFETCH(QString, setup);
        QFETCH(QString, option);
        QFETCH(QString, message);
        const QString memo = at("Daily/2025-03-05.txt");
        if (setup == u"latin1")
            QVERIFY(writeNote(memo, "caf\xe9\n"));
        else if (setup == u"0444")
            QVERIFY(writeNote(memo, "mine\n") && QFile::setPermissions(memo, QFile::ReadOwner));
        else if (setup == u"folder")
            QVERIFY(QDir().mkpath(memo));
        else
            QVERIFY(writeNote(at("Daily"), "a file where the folder should be"));
        const QByteArray before = readBytes(memo);
        expectOneErrorLine(inBase("memo|2025-03-05|" + option), 3, message);
        QCOMPARE(readBytes(memo), before);
    }

    void todayPrintAndLostOutput()
    {
        const QString today = QDate::currentDate().toString(Qt::ISODate);
        QCOMPARE(inBase("today").lines(), {at("Daily/" + today + ".txt")});
        QVERIFY(writeNote(at("Daily/2025-03-05.txt"), "---\ntitle: x\n---\n\nline 1\nline 2\n"));
        QCOMPARE(inBase("memo|2025-03-05|--print").out,
                 QString(at("Daily/2025-03-05.txt") + "\nline 1\nline 2\n").toUtf8());
        // A result that cannot be written is not a success.
        QCOMPARE(quillmere("--base|" + m_base + "|today", "/dev/full").exitCode, 3);
    }

    void newNoteAsTheListCreatesIt_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("taken name gets the next free number") << "taken.md";
        QTest::newRow("into a folder, name trimmed") << "Projects/ 計画 ";
    }
    void newNoteAsTheListCreatesIt()
    {
        QFETCH(QString, name);
        QVERIFY(writeNote(at("Notes/taken.md")) && writeNote(at("Notes/taken (1).md")));
        QVERIFY(QDir().mkpath(at("Notes/Projects")));
        const qsizetype slash = name.lastIndexOf(u'/');
        const QString folder = at("Notes") + (slash < 0 ? QString() : '/' + name.first(slash));
        const QString free =
            NoteNaming::freeNotePath(folder, NoteNaming::newNoteFileName(name.sliced(slash + 1)));
        QCOMPARE(inBase("new|" + name).lines(), {free});
        const QString title = QFileInfo(free).completeBaseName();
        QCOMPARE(maskRecent(textOf(free)), maskRecent(NotesOperations::newNoteText(title)));
    }

    // Twenty at once, all asking for the same name: each gets a note of its own.
    void concurrentNewNotesEachGetTheirOwn()
    {
        QVERIFY(QDir().mkpath(at("Notes")));
        const QString name = u"同名ノート"_s;
        std::array<QProcess, 20> processes;
        for (QProcess &process : processes)
            process.start(QUILLMERE_BINARY, {"--base", m_base, "new", name});
        QStringList printed;
        for (QProcess &process : processes) {
            QVERIFY(process.waitForFinished(60000));
            QCOMPARE(process.readAllStandardError(), QByteArray());
            QCOMPARE(process.exitCode(), 0);
            printed.append(QString::fromUtf8(process.readAllStandardOutput()).trimmed());
        }
        QStringList expected;
        for (int n = 0; n < 20; ++n)
            expected.append(at("Notes/" + NoteNaming::numberedFileName(name + ".md", n)));
        printed.sort();
        expected.sort();
        QCOMPARE(printed, expected);
        for (const QString &path : expected)
            QCOMPARE(maskRecent(textOf(path)),
                     maskRecent(NotesOperations::newNoteText(QFileInfo(path).completeBaseName())));
        QCOMPARE(QDir(at("Notes")).entryList(QDir::Files | QDir::Hidden).size(), 20);
    }

    void openListsAsQuickOpen()
    {
        QVERIFY(writeFixture());
        const QList<QuickOpen::Candidate> files = QuickOpen::gatherFiles(m_base);
        // Without a query the most recent notes; "X" matches names and folders, hidden ones too.
        // The application's files in Data are not notes, however recent; Notes/Data/kept.md is.
        for (const QString &line : {QStringLiteral("open"), QStringLiteral("open|X")}) {
            QList<QJsonObject> expected;
            for (const qsizetype i : QuickOpen::filteredFiles(files, line.section('|', 1)))
                expected.append({{"path", files[i].filePath},
                                 {"name", files[i].fileName},
                                 {"folder", files[i].folderLabel}});
            QCOMPARE(inBase(line + "|--json", japanese).objects(), expected);
            QCOMPARE(inBase(line, japanese).lines().size(), expected.size());
        }
    }

    // links, backlinks, tags and rename answer from the index the command brings up to date;
    // rename carries the links unless told not to, and never replaces a note.
    void linksBacklinksTagsAndRename()
    {
        const auto write = [&](const QString &name, const QByteArray &bytes) {
            QVERIFY(TestFiles::write(m_base + '/' + name, bytes));
        };
        write("Notes/計画.md", "#仕事/会議 [[予定]]\n");
        write("Notes/a.md", "前\n[[計画|見る]] [[無い]] `[[計画]]`\n");
        write("Notes/b.md", "[計画](計画.md) #仕事/会議 ＃ｔａｇ\n");
        write("Notes/予定.md", "x\n");
        QCOMPARE(inBase("links|Notes/a.md").lines(),
                 (QStringList{"[[計画|見る]]\tfound\tNotes/計画.md", "[[無い]]\tmissing"}));
        const QStringList back = inBase("backlinks|" + m_base + "/Notes/計画.md").lines();
        QCOMPARE(back.size(), 2);
        QVERIFY(back.contains("Notes/a.md\t2\t[[計画|見る]] [[無い]] `[[計画]]`"));
        QCOMPARE(inBase("tags").lines(), (QStringList{"ｔａｇ\t1", "仕事/会議\t2"}));
        QCOMPARE(inBase("tags|#TAG|--json").objects().value(0).value("path").toString(),
                 u"Notes/b.md"_s);
        QCOMPARE(inBase("backlinks|Notes/無い.md").exitCode, 2);
        // Never onto an existing note.
        QCOMPARE(inBase("rename|Notes/計画.md|予定").exitCode, 3);
        QCOMPARE(inBase("rename|Notes/計画.md|方針").lines(), QStringList{"Notes/方針.md"});
        QCOMPARE(TestFiles::read(m_base + "/Notes/a.md"),
                 "前\n[[方針|見る]] [[無い]] `[[計画]]`\n");
        QCOMPARE(TestFiles::read(m_base + "/Notes/b.md"), "[計画](方針.md) #仕事/会議 ＃ｔａｇ\n");
        QCOMPARE(inBase("rename|Notes/方針.md|Archive/方針|--no-links").exitCode, 2);
        QVERIFY(QDir().mkpath(m_base + "/Archive"));
        QCOMPARE(inBase("rename|Notes/方針.md|Archive/方針|--no-links").exitCode, 0);
        QCOMPARE(TestFiles::read(m_base + "/Notes/b.md"), "[計画](方針.md) #仕事/会議 ＃ｔａｇ\n");
        // --no-links: the linking notes and the moved note itself stay as they were.
        QCOMPARE(TestFiles::read(m_base + "/Archive/方針.md"), "#仕事/会議 [[予定]]\n");
    }

    void holidaysAsTheCalendarShows()
    {
        QVERIFY(writeNote(at("Data/syukujitsu.csv"), "国民の祝日・休日月日,国民の祝日・休日名称\n"
                                                     "2025/1/1,元日\n2025/1/13,成人の日\n"));
        QCOMPARE(inBase("holidays|2025").lines(),
                 (QStringList{"2025-01-01\t元日", "2025-01-13\t成人の日"}));
        QCOMPARE(inBase("holidays|2025|--json").objects().value(0),
                 (QJsonObject{{"date", "2025-01-01"}, {"name", "元日"}}));
        QCOMPARE(inBase("holidays|2030").exitCode, 1);
        // Any folder without a table of its own gets the shipped one, and is not written to.
        const QString other = m_env->makeFolder("other");
        for (const QString &line :
             QStringList{"--base|" + other + "|holidays|2030", "holidays|2030"})
            QVERIFY(quillmere(line).lines().contains("2030-01-01\t元日"));
        QVERIFY(QDir(other).isEmpty());
    }

    // A pipe where the holiday table belongs is never opened: the command cannot hang on it.
    void aPipeAsHolidayTableIsNeverOpened()
    {
        const TestFiles::Fifo fifo(at("Data/syukujitsu.csv"), m_env->path("spare"));
        QVERIFY(fifo.made());
        QVERIFY(inBase("holidays|2025").exitCode >= 0);
        QCOMPARE(fifo.timesOpened(), 0);
    }

    // A name that is not UTF-8 is printed as the bytes it is, so that the path leads to the
    // file; JSON keeps each such byte as an unpaired surrogate escape.
    void namesThatAreNotUtf8KeepTheirBytes()
    {
        const QByteArray native = QFile::encodeName(at("Notes")) + "/caf\xe9.md";
        QVERIFY(QDir().mkpath(at("Notes")));
        QVERIFY(TestFiles::writeExactly(native, "hello\n"));
        // QTemporaryDir cannot remove a name that is not UTF-8.
        const auto remove = qScopeGuard([&native] { ::unlink(native.constData()); });

        QCOMPARE(inBase("open").out, native + '\n');
        QCOMPARE(inBase("search|hello").out, "1\tNotes/caf\xe9.md\thello\n");
        const QByteArray json = inBase("open|--json").out;
        const QByteArray path = QFile::encodeName(at("Notes")) + "/caf\\udce9.md";
        QVERIFY2(json.contains(QByteArray("\"path\": \"" + path + '"')), json.constData());
        QJsonParseError error{};
        QJsonDocument::fromJson(json, &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
    }

    void controlCharactersStayOutOfTextOutput()
    {
        const QString name = "evil\x1b]0;x\x07\n.md";
        QVERIFY(writeNote(at(name), "hello\x1b[2J there\n"));
        QCOMPARE(inBase("search|hello").lines(),
                 {"1\tevil\uFFFD]0;x\uFFFD\uFFFD.md\thello\uFFFD[2J there"});
        QCOMPARE(inBase("search|hello|--json").objects().value(0).value("path").toString(), name);
    }

    // The index answers what the scan answers, after whatever another program did, with the
    // window's connection open and writing at the same time; a damaged or locked index costs
    // at most one line on standard error.
    void searchWithTheIndexStaysExact()
    {
        QVERIFY(writeFixture());
        // Standard error of the search, or a note that its hits differ from the scan's.
        const auto expectScan = [this](const QString &keyword) -> QString {
            const Run indexed = inBase("search|" + keyword);
            if (indexed.lines() != libraryHits(keyword) ||
                indexed.lines() != inBase("search|--no-index|" + keyword).lines())
                return "hits differ from the scan's for " + keyword;
            return indexed.err;
        };
        QCOMPARE(expectScan("会議"), QString());
        const Run state = inBase("index|--json");
        const QJsonObject object = state.objects().value(0);
        QCOMPARE(object.value("notes").toInt(), 7);
        QCOMPARE(object.value("state").toString(), "complete");
        const QString indexPath = object.value("path").toString();
        QVERIFY(QFileInfo(indexPath).size() > 0);
        QVERIFY(!indexPath.startsWith(m_base));

        // Changed, added, removed and renamed by another program.
        QVERIFY(writeNote(at("Notes/item 2.txt"), "会議のあと\n", minute(21)));
        QVERIFY(writeNote(at("Notes/new.md"), "会議室\n", minute(22)));
        QVERIFY(QFile::remove(at("Daily/2025-03-05.txt")));
        QVERIFY(QFile::rename(at("Notes/Projects/Memo Work/plan.md"), at("Notes/会議.md")));
        QCOMPARE(expectScan("会議"), QString());
        QCOMPARE(expectScan("議"), QString());
        QCOMPARE(expectScan("hello"), QString());

        // The window's connection holds a write open: a command with nothing to write still
        // answers from the index; one with a note to write waits, then scans and says so.
        sqlite3 *window = nullptr;
        QVERIFY(sqlite3_open(QFile::encodeName(indexPath).constData(), &window) == SQLITE_OK);
        QVERIFY(sqlite3_exec(window, "BEGIN IMMEDIATE; DELETE FROM meta WHERE key = 'none'",
                             nullptr, nullptr, nullptr) == SQLITE_OK);
        QCOMPARE(expectScan("会議"), QString());
        QVERIFY(writeNote(at("Notes/newer.md"), "会議\n", minute(23)));
        QVERIFY(expectScan("会議").contains(u"索引を使わずに検索しました"_s));
        QVERIFY(sqlite3_exec(window, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK);
        sqlite3_close(window);
        QCOMPARE(expectScan("会議"), QString());

        // Garbage in place of the index: the next search starts a new one and is still exact.
        QVERIFY(writeNote(indexPath, QByteArray(8192, 'x')));
        QFile::remove(indexPath + "-wal");
        QCOMPARE(expectScan("会議"), QString());
        QCOMPARE(inBase("index|--json").objects().value(0).value("notes").toInt(), 8);
        QCOMPARE(inBase("index|--rebuild").exitCode, 0);
        QCOMPARE(expectScan("hello"), QString());
    }

    // Keywords the search cannot use are refused; a huge one is answered.
    void searchAnswersOddKeywords()
    {
        QVERIFY(writeNote(at("Notes/a.md"), "abc\n"));
        expectOneErrorLine(inBase("search|   "), 2, u"キーワードが空です"_s);
        // As long as one argument may be (128 KiB).
        const Run huge = inBase("search|" + QString(100000, u'a'));
        QCOMPARE(huge.exitCode, 1);
        QCOMPARE(huge.err, QString());
    }

    // What a command changes is kept in the history, which the command line lists, shows and
    // brings back, a deleted note by its old path, with the bytes it had.
    void historyKeepsWhatCommandsChangeAndGivesItBack()
    {
        const QByteArray original = "\xEF\xBB\xBF\u6628\u65E5\u306E\u30E1\u30E2\r\nsecond\r\n";
        QVERIFY(writeNote(at("Daily/2025-03-05.txt"), original));
        QCOMPARE(inBase("memo|2025-03-05|--append|added").exitCode, 0);
        const Run listed = inBase("history|Daily/2025-03-05.txt|--json");
        QCOMPARE(listed.exitCode, 0);
        const QList<QJsonObject> versions = listed.objects();
        QCOMPARE(versions.size(), 2);
        QCOMPARE(versions[0].value("event").toString(), u"save"_s);
        QCOMPARE(versions[1].value("event").toString(), u"append"_s);
        QCOMPARE(versions[1].value("size").toInteger(), original.size());
        QVERIFY(QDateTime::fromString(versions[1].value("time").toString(), Qt::ISODate).isValid());
        const QString before = versions[1].value("id").toString();
        QCOMPARE(inBase("history|Daily/2025-03-05.txt|--show|" + before.left(8)).out, original);

        // Into the note, through the editor's save: the body comes back.
        QCOMPARE(inBase("restore|Daily/2025-03-05.txt|" + before).exitCode, 0);
        QCOMPARE(parseNoteDocument(textOf(at("Daily/2025-03-05.txt"))).body,
                 u"\u6628\u65E5\u306E\u30E1\u30E2\nsecond\n"_s);
        const QList<QJsonObject> after = inBase("history|Daily/2025-03-05.txt|--json").objects();
        QCOMPARE(after.size(), 3);
        QCOMPARE(after[0].value("event").toString(), u"restore"_s);

        // Deleted by another program: listed, and written back exactly.
        QVERIFY(QFile::remove(at("Daily/2025-03-05.txt")));
        const QList<QJsonObject> deleted = inBase("history|--deleted|--json").objects();
        QCOMPARE(deleted.size(), 1);
        QCOMPARE(deleted[0].value("path").toString(), u"Daily/2025-03-05.txt"_s);
        const Run restored = inBase("restore|Daily/2025-03-05.txt|" + before);
        QCOMPARE(restored.exitCode, 0);
        QCOMPARE(readBytes(at("Daily/2025-03-05.txt")), original);
        QCOMPARE(inBase("history|--deleted").exitCode, 1);

        expectOneErrorLine(inBase("history"), 2, u"ノートを指定してください"_s);
        expectOneErrorLine(inBase("history|Daily/2025-03-05.txt|--show|ffff"), 1,
                           u"その版はありません"_s);
    }

private:
    QString at(const QString &relative) const { return m_base + '/' + relative; }
    Run inBase(const QString &line, const QString &locale = {}) const
    {
        return quillmere("--base|" + m_base + '|' + line, {}, locale);
    }

    /// The library's hits for `keyword` as the command's text lines and, when asked, JSON objects.
    QStringList libraryHits(const QString &keyword, QList<QJsonObject> *objects = nullptr) const
    {
        QStringList lines;
        for (const SearchHit &hit : GlobalSearch::runSearch(m_base, keyword)) {
            const QString path = hit.filePath.mid(m_base.size() + 1);
            lines.append(QString::number(hit.matchCount) + '\t' + path + '\t' + hit.snippet);
            if (objects)
                objects->append(
                    {{"path", path}, {"matchCount", hit.matchCount}, {"snippet", hit.snippet}});
        }
        return lines;
    }

    static void expectOneErrorLine(const Run &run, int exitCode, const QString &containing = {})
    {
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.out, QByteArray());
        QCOMPARE(run.err.count(u'\n'), 1);
        QVERIFY2(run.err.startsWith("quillmere: ") && run.err.contains(containing),
                 qPrintable(run.err));
    }

    /// False unless every file holds its text and date. Data/ holds the application's own files.
    bool writeFixture() const
    {
        const QByteArray header = "---\ntitle: x\ntags: hello\n---\n\n";
        return writeNote(at("Notes/a.md"), header + "Hello hello\nsecond hello line\n",
                         minute(50)) &&
               writeNote(at("Notes/Memo.md"), header + "nothing here\n", minute(40)) &&
               writeNote(at("Notes/Projects/Memo Work/plan.md"), "会議 hello\n", minute(30)) &&
               writeNote(at("Notes/item 2.txt"), "hello\n", minute(20)) &&
               writeNote(at("Notes/item 10.txt"), "hello\n", minute(20)) &&
               writeNote(at(".hidden/x.md"), "hello\n", minute(60)) &&
               writeNote(at("Daily/2025-03-05.txt"), "会議の日\n", minute(10)) &&
               writeNote(at("Notes/picture.png"), "hello\n", minute(70)) &&
               writeNote(at("Data/pinned_notes.txt"), "hello\nNotes/Data/kept.md\n", minute(90)) &&
               writeNote(at("Data/imported/hello.md"), "hello\n", minute(90)) &&
               writeNote(at("Notes/Data/kept.md"), "", minute(80));
    }

    std::unique_ptr<TestEnvironment> m_env;
    QString m_base;
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
