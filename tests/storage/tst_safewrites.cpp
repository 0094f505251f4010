#include "common/systemcallfaults.h"
#include "common/testenvironment.h"
#include "common/testfiles.h"

#include "platform/atomicfile.h"
#include "platform/diagnostics.h"
#include "platform/folderlock.h"
#include "platform/settingsstore.h"
#include "storage/leftovers.h"
#include "storage/textfile.h"
#include "storage/textmerge.h"

#include <QCoreApplication>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <QThreadPool>

#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using TestFiles::read;
using TestFiles::write;

// The test binary doubles as a writer killed in the middle of a save.
constexpr char dieWhileWritingArgument[] = "--die-while-writing";

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

mode_t modeOf(const QString &path)
{
    struct stat info = {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

/// A process id that certainly ran and has ended (reaped).
pid_t deadPid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

QString temporaryName(const QString &target, qint64 pid, const QString &suffix = "Ab12Cd")
{
    return u'.' + target + QStringLiteral(".quillmere-") + QString::number(pid) + u'-' + suffix;
}

/// Lowers this process's file size limit, so that writes past it fail with EFBIG as on a full
/// disk, until the returned guard goes.
auto limitFileSize(rlim_t bytes)
{
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = saved;
    lowered.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &lowered);
    return qScopeGuard([saved, handler] {
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, handler);
    });
}

int dieWhileWriting(const char *path)
{
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    rlimit size{};
    ::getrlimit(RLIMIT_FSIZE, &size);
    size.rlim_cur = 1024;
    ::setrlimit(RLIMIT_FSIZE, &size);
    // The default action of SIGXFSZ ends the process in the middle of the write.
    std::signal(SIGXFSZ, SIG_DFL);
    AtomicFile::write(QString::fromLocal8Bit(path), QByteArray(65536, 'x'));
    return 3;
}

enum Writer { replaceFile, createFile };
// The writer, the call that fails, which call of it (from 1), its error, and whether the new
// bytes are in place afterwards.
using FailedCall = std::tuple<Writer, SystemCallFaults::Call, int, int, bool>;
// Writer, umask, mode before (-1: no file before) and mode after.
using Modes = std::array<int, 4>;
// What stands at the path (a "file" holds the bytes), the bytes, the status and text read.
using ReadRow = std::tuple<QString, QByteArray, TextFileRead::Status, QString>;

} // namespace

class TestSafeWrites : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fullDiskLeavesFilesAsTheyWere_data()
    {
        QTest::addColumn<int>("writer");
        QTest::newRow("replacing a note") << int(replaceFile);
        QTest::newRow("creating a note") << int(createFile);
    }
    void fullDiskLeavesFilesAsTheyWere()
    {
        QFETCH(int, writer);
        QTemporaryDir dir;
        const QString note = dir.filePath(QStringLiteral("2025-03-05.txt"));
        const QByteArray old = "# 会議\n14 時から\n";
        if (writer != createFile)
            QVERIFY(write(note, old));
        const QStringList before = entries(dir.path());

        AtomicFile::Error error;
        bool written = true;
        {
            // A part of the new text fits, the rest does not.
            const auto limit = limitFileSize(1024);
            const QByteArray bytes(4096, 'x');
            written = writer == createFile ? AtomicFile::writeNew(note, bytes, &error)
                                           : AtomicFile::write(note, bytes, &error);
        }
        QVERIFY(!written);
        QCOMPARE(error.code, EFBIG);
        QCOMPARE(entries(dir.path()), before);
        QCOMPARE(read(note), writer == createFile ? QByteArray() : old);
    }

    // Each step of a write fails in turn: the write says so, the note is as it was and no
    // temporary file stays. Only when the folder cannot be flushed after the rename are the new
    // bytes already there.
    void failedCallLeavesFilesAsTheyWere_data()
    {
        using C = SystemCallFaults::Call;
        QTest::addColumn<FailedCall>("row");
        QTest::newRow("replacing: the file cannot be flushed")
            << FailedCall{replaceFile, C::fsync, 1, EIO, false};
        QTest::newRow("replacing: the rename fails")
            << FailedCall{replaceFile, C::renameat, 1, EIO, false};
        QTest::newRow("replacing: the folder cannot be flushed")
            << FailedCall{replaceFile, C::fsync, 2, EIO, true};
        QTest::newRow("creating: the file cannot be flushed")
            << FailedCall{createFile, C::fsync, 1, EIO, false};
        QTest::newRow("creating: the rename fails")
            << FailedCall{createFile, C::renameat2, 1, EIO, false};
        QTest::newRow("creating without renameat2: the link fails")
            << FailedCall{createFile, C::linkat, 1, EIO, false};
        QTest::newRow("creating: the folder cannot be flushed")
            << FailedCall{createFile, C::fsync, 2, EIO, true};
    }
    void failedCallLeavesFilesAsTheyWere()
    {
        QFETCH(FailedCall, row);
        const auto [writer, call, nth, error, written] = row;
        QTemporaryDir dir;
        const QString note = dir.filePath(QStringLiteral("2025-03-05.txt"));
        const QByteArray old = "# 会議\n14 時から\n";
        if (writer == replaceFile)
            QVERIFY(write(note, old));
        const QStringList before{QStringLiteral("2025-03-05.txt")};
        const QByteArray bytes = "# 会議\n15 時から\n";

        AtomicFile::Error failure;
        bool reported = true;
        {
            const SystemCallFaults::Guard faults;
            SystemCallFaults::failNth(call, nth, error);
            // A file system without renameat2 has the link to fall back on.
            if (call == SystemCallFaults::Call::linkat)
                SystemCallFaults::failNth(SystemCallFaults::Call::renameat2, 1, EINVAL);
            reported = writer == createFile ? AtomicFile::writeNew(note, bytes, &failure)
                                            : AtomicFile::write(note, bytes, &failure);
        }
        QVERIFY(!reported);
        // The system's reason reaches the message the user sees.
        QCOMPARE(failure.code, error);
        QVERIFY(!failure.text.isEmpty());
        const bool existedBefore = writer == replaceFile;
        QCOMPARE(entries(dir.path()), written || existedBefore ? before : QStringList());
        QCOMPARE(read(note), written ? bytes : existedBefore ? old : QByteArray());
    }

    void settingsWriteFailureStaysPending()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("settings.json"));
        SettingsStore defaults(file);
        defaults.setValue(QStringLiteral("fontSize"), 14);
        defaults.sync();
        const QByteArray old = read(file);
        QString reported;
        {
            const auto limit = limitFileSize(old.size() + 16);
            defaults.setValue(QStringLiteral("history"), QString(4096, u'検'));
            Diagnostics::Capture capture;
            defaults.sync();
            reported = capture.finish();
        }
        QCOMPARE(read(file), old);
        QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("settings.json")});
        QVERIFY(!reported.isEmpty());
        QVERIFY(defaults.hasUnsavedChanges());

        // With room again the next sync writes what was left pending.
        defaults.sync();
        QVERIFY(!defaults.hasUnsavedChanges());
        QCOMPARE(SettingsStore(file).string(QStringLiteral("history")), QString(4096, u'検'));
    }

    void readsWholeUtf8FromRegularFilesOnly_data()
    {
        QTest::addColumn<ReadRow>("row");
        using S = TextFileRead::Status;
        const auto row = [](const char *name, const char *kind, const QByteArray &bytes, S status,
                            const QString &text = {}) {
            QTest::newRow(name) << ReadRow{QString::fromLatin1(kind), bytes, status, text};
        };
        row("Latin-1 café, its last character not UTF-8", "file", "caf\xe9", S::NotUtf8);
        row("日本 cut in the middle of its last character", "file", "\xe6\x97\xa5\xe6\x9c",
            S::NotUtf8);
        row("overlong slash", "file", "\xc0\xaf", S::NotUtf8);
        row("leading byte-order mark dropped", "file", "\xef\xbb\xbf日本語\n", S::Ok, "日本語\n");
        row("only the leading mark is dropped", "file", "\xef\xbb\xbf\xef\xbb\xbfx", S::Ok,
            QStringLiteral("\uFEFFx"));
        row("empty file", "file", "", S::Ok);
        row("named pipe nobody writes to", "pipe", {}, S::Unreadable);
        row("folder", "folder", {}, S::Unreadable);
        row("nothing there", "missing", {}, S::Missing);
        row("link to a note", "link to note", {}, S::Ok, "本文");
    }
    void readsWholeUtf8FromRegularFilesOnly()
    {
        QFETCH(ReadRow, row);
        const auto &[kind, bytes, status, text] = row;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("2025-03-05.txt"));
        const QString note = dir.filePath(QStringLiteral("note"));
        if (kind == u"file")
            QVERIFY(write(path, bytes));
        else if (kind == u"pipe")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == u"folder")
            QVERIFY(QDir().mkdir(path));
        else if (kind == u"link to note")
            QVERIFY(write(note, "本文") && QFile::link(note, path));

        // Returning at all is the point for a pipe: no writer ever opens it.
        const TextFileRead read = TextFile::readUtf8(path);
        QCOMPARE(read.status, status);
        QCOMPARE(read.text, text);
        QCOMPARE(read.error.isEmpty(), read.editable());
        QCOMPARE(read.stamp, TextFile::stampOf(path));
    }

    void newFilesFollowUmaskReplacedKeepTheirMode_data()
    {
        QTest::addColumn<Modes>("modes");
        QTest::newRow("new memo") << Modes{replaceFile, 077, -1, 0600};
        QTest::newRow("new note") << Modes{createFile, 022, -1, 0644};
        QTest::newRow("replaced 0604 stays 0604 under umask 077")
            << Modes{replaceFile, 077, 0604, 0604};
    }
    void newFilesFollowUmaskReplacedKeepTheirMode()
    {
        QFETCH(Modes, modes);
        const auto [writer, umask, oldMode, mode] = modes;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ノート.md"));
        if (oldMode >= 0) {
            QVERIFY(write(path, "old"));
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(oldMode)), 0);
        }
        const mode_t saved = ::umask(mode_t(umask));
        const bool written = writer == createFile ? AtomicFile::writeNew(path, "new")
                                                  : AtomicFile::write(path, "new");
        ::umask(saved);
        QVERIFY(written);
        QCOMPARE(read(path), QByteArray("new"));
        QCOMPARE(modeOf(path), mode_t(mode));
    }

    void writingThroughLinkKeepsTheLink()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("real/memo.txt"));
        const QString link = dir.filePath(QStringLiteral("memo.txt"));
        QVERIFY(write(target, "old") && QFile::link(target, link));
        QVERIFY(TextFile::writeUtf8(link, QStringLiteral("新しい")));
        QCOMPARE(QFileInfo(link).symLinkTarget(), target);
        QCOMPARE(read(target), QByteArray("新しい"));
        QCOMPARE(entries(dir.filePath(QStringLiteral("real"))), QStringList{"memo.txt"});
    }

    void leftoversWhoseLockIsFree_data()
    {
        QTest::addColumn<bool>("recursive");
        QTest::newRow("one folder") << false;
        QTest::newRow("with subfolders") << true;
    }
    void leftoversWhoseLockIsFree()
    {
        QFETCH(bool, recursive);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("Notes"));
        const QString outside = dir.filePath(QStringLiteral("outside"));
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/仕事")));
        const pid_t dead = deadPid();

        const QString deadTemporary = temporaryName(QStringLiteral("a.md"), dead);
        // The writer died and its process id went to another process (here: this one).
        const QString reusedPid = temporaryName(QStringLiteral("b.md"), ::getpid());
        // A writer still at work holds the lock, whatever the process id says.
        const QString locked =
            temporaryName(QStringLiteral("e.md"), dead, QStringLiteral("Lk00Lk"));
        const QStringList kept{
            locked,
            QStringLiteral("a.md"),
            QStringLiteral("a.md.quillmere-%1-Ab12Cd").arg(dead), // not hidden: the user's
            QStringLiteral(".quillmere-%1-Ab12Cd").arg(dead),     // no target name
            temporaryName(QStringLiteral("a.md"), dead, QStringLiteral("Ab12C")),
            QStringLiteral(".a.md.quillmere-x%1-Ab12Cd").arg(dead),
        };
        for (const QString &name : kept + QStringList{deadTemporary, reusedPid})
            QVERIFY(write(folder + u'/' + name, "text"));
        const int lock = ::open(QFile::encodeName(folder + u'/' + locked).constData(), O_RDONLY);
        QVERIFY(lock >= 0 && ::flock(lock, LOCK_EX) == 0);
        const auto unlock = qScopeGuard([lock] { ::close(lock); });
        // A folder and a link that look like leftovers are not files we write.
        const QString folderLookAlike = temporaryName(QStringLiteral("c.md"), dead, "Zz99Zz");
        const QString linkLookAlike = temporaryName(QStringLiteral("d.md"), dead, "Yy88Yy");
        QVERIFY(QDir().mkdir(folder + u'/' + folderLookAlike));
        QVERIFY(QFile::link(outside + u'/' + deadTemporary, folder + u'/' + linkLookAlike));
        QVERIFY(write(folder + QStringLiteral("/仕事/") + deadTemporary, "text"));
        // The walk does not follow a link into another tree.
        QVERIFY(write(outside + u'/' + deadTemporary, "text"));
        QVERIFY(QFile::link(outside, folder + QStringLiteral("/link")));

        QCOMPARE(AtomicFile::removeLeftovers(folder, recursive), recursive ? 3 : 2);
        QStringList expected = kept + QStringList{folderLookAlike, linkLookAlike, "link", "仕事"};
        expected.sort();
        QCOMPARE(entries(folder), expected);
        QCOMPARE(entries(folder + QStringLiteral("/仕事")),
                 recursive ? QStringList() : QStringList{deadTemporary});
        QCOMPARE(entries(outside), QStringList{deadTemporary});
    }

    void killedWriterLeavesNoteAndCleanableLeftover()
    {
        QTemporaryDir dir;
        const QString memo = dir.filePath(QStringLiteral("Daily/2025-03-05.txt"));
        QVERIFY(write(memo, "朝の会議\n"));

        QProcess writer;
        writer.start(QCoreApplication::applicationFilePath(),
                     {QString::fromLatin1(dieWhileWritingArgument), memo});
        QVERIFY(writer.waitForFinished());
        QCOMPARE(writer.exitStatus(), QProcess::CrashExit);
        QCOMPARE(read(memo), QByteArray("朝の会議\n"));
        // The one leftover is the killed writer's, named so that a start removes it.
        QCOMPARE(removeWriteLeftoversIn(dir.path(), QString()), 1);
        QCOMPARE(entries(dir.filePath(QStringLiteral("Daily"))), QStringList{"2025-03-05.txt"});
        QCOMPARE(read(memo), QByteArray("朝の会議\n"));
    }

    // A writer stopped in the middle of its write is alive: its temporary file stays, however
    // its process id looks, until it has gone.
    void leftoverOfStoppedWriterStaysUntilItEnds()
    {
        QTemporaryDir dir;
        const QString memo = dir.filePath(QStringLiteral("2025-03-05.txt"));
        QVERIFY(write(memo, "朝の会議\n"));
        const pid_t writer = ::fork();
        if (writer == 0) {
            rlimit size{};
            ::getrlimit(RLIMIT_FSIZE, &size);
            size.rlim_cur = 1024;
            ::setrlimit(RLIMIT_FSIZE, &size);
            std::signal(SIGXFSZ, [](int) { ::raise(SIGSTOP); });
            AtomicFile::write(memo, QByteArray(65536, 'x'));
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(writer, &status, WUNTRACED), writer);
        auto reap = qScopeGuard([writer] {
            ::kill(writer, SIGKILL);
            ::waitpid(writer, nullptr, 0);
        });
        QVERIFY(WIFSTOPPED(status));
        QCOMPARE(entries(dir.path()).size(), 2);
        QCOMPARE(AtomicFile::removeLeftovers(dir.path(), false), 0);
        QCOMPARE(entries(dir.path()).size(), 2);

        reap.dismiss();
        ::kill(writer, SIGKILL);
        ::waitpid(writer, nullptr, 0);
        QCOMPARE(AtomicFile::removeLeftovers(dir.path(), false), 1);
        QCOMPARE(entries(dir.path()), QStringList{"2025-03-05.txt"});
        QCOMPARE(read(memo), QByteArray("朝の会議\n"));
    }

    void startCleansEveryFolderWeWriteTo()
    {
        TestEnvironment env;
        const QString base = env.useBaseFolder();
        const QString settings = QFileInfo(SettingsStore::instanceFilePath()).absolutePath();
        const pid_t dead = deadPid();
        const QStringList folders{base, base + QStringLiteral("/Daily"),
                                  base + QStringLiteral("/Data"),
                                  base + QStringLiteral("/Notes/仕事/2025"), settings};
        for (const QString &folder : folders)
            QVERIFY(write(folder + u'/' + temporaryName(QStringLiteral("x.md"), dead), "half"));
        // Below the memos nothing is ours to clean.
        const QString notOurs = base + QStringLiteral("/Daily/sub/") + temporaryName("x.md", dead);
        QVERIFY(write(notOurs, "half"));

        removeWriteLeftovers();
        QThreadPool::globalInstance()->waitForDone();
        QCOMPARE(entries(base), (QStringList{"Daily", "Data", "Notes"}));
        QCOMPARE(entries(base + QStringLiteral("/Daily")), QStringList{"sub"});
        for (const QString &folder : folders.mid(2))
            QCOMPARE(entries(folder), QStringList());
        QVERIFY(QFile::exists(notOurs));
    }

    void folderLockIsReentrantAcrossSpellings()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("Notes"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::link(folder, dir.filePath(QStringLiteral("link"))));
        // Another open file description of the folder stands in for another process: flock
        // shuts it out just the same.
        const int probe = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
        QVERIFY(probe >= 0);
        const auto closeProbe = qScopeGuard([probe] { ::close(probe); });
        const auto othersMayLock = [probe] {
            if (::flock(probe, LOCK_EX | LOCK_NB) != 0)
                return false;
            ::flock(probe, LOCK_UN);
            return true;
        };

        auto first = std::make_unique<FolderLock>(folder);
        {
            const FolderLock second(folder + QStringLiteral("/."));
            const FolderLock third(dir.filePath(QStringLiteral("link")));
            QVERIFY(first->isLocked() && second.isLocked() && third.isLocked());
            QVERIFY(!othersMayLock());
        }
        QVERIFY(!othersMayLock()); // the first still holds it
        first.reset();
        QVERIFY(othersMayLock());

        // Held elsewhere: a lock that may wait only a while reports it busy, never locked.
        QCOMPARE(::flock(probe, LOCK_EX | LOCK_NB), 0);
        for (const auto patience : {FolderLock::noWait, std::chrono::milliseconds(30)}) {
            const FolderLock busy(folder, patience);
            QVERIFY(busy.isBusy() && !busy.isLocked());
        }
    }

    void mergeCombinesOrConflicts_data()
    {
        // Base, ours, theirs and the merged text; none for a conflict, whose text nobody reads
        // (the user's text is kept beside theirs).
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("both append different lines")
            << QStringList{"a\nb\nc\n", "a\nb\nc\nX\n", "a\nb\nc\nY\n"};
        QTest::newRow("same change on both sides taken once")
            << QStringList{"a\nb\nc\n", "a\nB\nc\n", "a\nB\nc\n", "a\nB\nc\n"};
        QTest::newRow("empty base, different texts") << QStringList{"", "x\n", "y\n"};
        QTest::newRow("edit at the top, append to a text without final line feed")
            << QStringList{"a\nb\nc", "A\nb\nc", "a\nb\nc\nd", "A\nb\nc\nd"};
    }
    void mergeCombinesOrConflicts()
    {
        QFETCH(QStringList, texts);
        const TextMergeResult result = TextMerge::merge(texts[0], texts[1], texts[2]);
        QCOMPARE(result.status, texts.size() == 4 ? TextMergeResult::Status::Clean
                                                  : TextMergeResult::Status::Conflicted);
        if (result.clean())
            QCOMPARE(result.text, texts[3]);
    }
};

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], dieWhileWritingArgument) == 0)
        return dieWhileWriting(argv[2]);
    QCoreApplication app(argc, argv);
    TestSafeWrites test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_safewrites.moc"
