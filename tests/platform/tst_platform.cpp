#include "common/testenvironment.h"

#include "platform/atomicfile.h"
#include "platform/diagnostics.h"
#include "platform/folderbookmark.h"
#include "platform/serialqueue.h"
#include "platform/settingsstore.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

class TestPlatform : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void settingsKeepTypesAcrossRestart();
    void settingsTypedGettersRejectWrongTypes();
    void settingsSignalOnlyOnRealChange();
    void settingsDamagedFileIsKeptAside();
    void settingsKeepWhatTheyCannotRead_data();
    void settingsKeepWhatTheyCannotRead();
    void settingsLiveInTheConfigFolder();
    void atomicWriteReplacesWholeFileOrNothing();
    void newFileNeverReplacesAnother();
    void bookmarkFindsFolderAgain();
    void bookmarkNoticesReplacedFolder();
    void bookmarkFollowsRenamedFolder();
    void bookmarkRejectsForeignData();
    void serialQueueRunsInOrder();
    void diagnosticsCanBeCollected();
    void diagnosticsNeverReachStandardOutput();
};

namespace {

/// Sends this process's standard output and error to files while it lives.
class Redirected
{
public:
    Redirected(const QString &out, const QString &err)
        : m_out(redirect(STDOUT_FILENO, out)), m_err(redirect(STDERR_FILENO, err))
    {
    }
    ~Redirected()
    {
        restore(STDOUT_FILENO, m_out);
        restore(STDERR_FILENO, m_err);
    }

private:
    static int redirect(int fd, const QString &path)
    {
        std::fflush(nullptr);
        const int saved = ::dup(fd);
        const int file = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT, 0600);
        ::dup2(file, fd);
        ::close(file);
        return saved;
    }
    static void restore(int fd, int saved)
    {
        std::fflush(nullptr);
        ::dup2(saved, fd);
        ::close(saved);
    }

    int m_out;
    int m_err;
};

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

void TestPlatform::settingsKeepTypesAcrossRestart()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("settings.json"));
    const QVariantMap frame{{QStringLiteral("x"), 10.5}, {QStringLiteral("w"), qint64(800)}};
    {
        SettingsStore defaults(file);
        defaults.setValue(QStringLiteral("text"), QStringLiteral("日本語"));
        defaults.setValue(QStringLiteral("flag"), false);
        defaults.setValue(QStringLiteral("size"), 14);
        defaults.setValue(QStringLiteral("ratio"), 2.0); // integral double stays a double
        defaults.setValue(QStringLiteral("blob"), QByteArray("\x00\xff\x10", 3));
        defaults.setValue(QStringLiteral("list"), QStringList{QStringLiteral("a"), QString()});
        defaults.setValue(QStringLiteral("frame"), frame);
        defaults.setValue(QStringLiteral("mixed"),
                          QVariantList{QStringLiteral("a"), qint64(3), QStringLiteral("b")});
    }
    SettingsStore reread(file);
    QCOMPARE(reread.string(QStringLiteral("text")), QStringLiteral("日本語"));
    QCOMPARE(reread.boolean(QStringLiteral("flag")), false);
    QCOMPARE(reread.integer(QStringLiteral("size")), qint64(14));
    QCOMPARE(reread.value(QStringLiteral("ratio")).typeId(), int(QMetaType::Double));
    QCOMPARE(reread.data(QStringLiteral("blob")), QByteArray("\x00\xff\x10", 3));
    QCOMPARE(reread.stringArray(QStringLiteral("list")),
             QStringList({QStringLiteral("a"), QString()}));
    QCOMPARE(reread.dictionary(QStringLiteral("frame")), frame);
    // A number among strings stays a number, so the array is not an array of strings.
    QCOMPARE(reread.stringArray(QStringLiteral("mixed")), std::nullopt);
    QCOMPARE(reread.array(QStringLiteral("mixed"))->at(1).typeId(), int(QMetaType::LongLong));
}

void TestPlatform::settingsTypedGettersRejectWrongTypes()
{
    QTemporaryDir dir;
    SettingsStore defaults(dir.filePath(QStringLiteral("settings.json")));
    defaults.setValue(QStringLiteral("s"), QStringLiteral("1"));
    defaults.setValue(QStringLiteral("b"), true);
    QCOMPARE(defaults.integer(QStringLiteral("s")), std::nullopt);
    QCOMPARE(defaults.string(QStringLiteral("b")), std::nullopt);
    QCOMPARE(defaults.data(QStringLiteral("s")), std::nullopt);
    QCOMPARE(defaults.boolean(QStringLiteral("absent")), std::nullopt);
    QCOMPARE(defaults.integerOr(QStringLiteral("s"), 13), qint64(13));
    QVERIFY(!defaults.setValue(QStringLiteral("unsupported"), QVariant(QDate(2025, 1, 1))));
    QVERIFY(!defaults.contains(QStringLiteral("unsupported")));
}

void TestPlatform::settingsSignalOnlyOnRealChange()
{
    QTemporaryDir dir;
    SettingsStore defaults(dir.filePath(QStringLiteral("settings.json")));
    QSignalSpy spy(&defaults, &SettingsStore::valueChanged);
    defaults.setValue(QStringLiteral("k"), 1);
    defaults.setValue(QStringLiteral("k"), 1);
    defaults.setValue(QStringLiteral("k"), 2);
    defaults.remove(QStringLiteral("k"));
    defaults.remove(QStringLiteral("k"));
    QCOMPARE(spy.count(), 3);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("k"));
}

void TestPlatform::settingsDamagedFileIsKeptAside()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("settings.json"));
    QFile damaged(file);
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write("{\"fontSize\": 1");
    damaged.close();

    SettingsStore defaults(file);
    QVERIFY(!defaults.contains(QStringLiteral("fontSize")));
    defaults.setValue(QStringLiteral("fontSize"), 16);
    const QStringList kept =
        QDir(dir.path()).entryList({QStringLiteral("settings.json.damaged-*")}, QDir::Files);
    QCOMPARE(kept.size(), 1);
    QFile keptFile(dir.filePath(kept.first()));
    QVERIFY(keptFile.open(QIODevice::ReadOnly));
    QCOMPARE(keptFile.readAll(), QByteArray("{\"fontSize\": 1"));
}

void TestPlatform::settingsKeepWhatTheyCannotRead_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("wholeValueUnread");
    QTest::newRow("another version's tag") << QByteArray(R"({"future": [1, 2]})") << true;
    QTest::newRow("a tag with a payload of the wrong type")
        << QByteArray(R"({"double": "1.5"})") << true;
    QTest::newRow("null") << QByteArray("null") << true;
    QTest::newRow("an unreadable element keeps the array")
        << QByteArray(R"([1, {"x": 1, "y": 2}, "a"])") << false;
    QTest::newRow("an unreadable member keeps the dictionary")
        << QByteArray(R"({"dictionary": {"c": {"future": 1}, "d": 2}})") << false;
}

// Another version's settings, or a hand edit, survive this version changing another setting.
void TestPlatform::settingsKeepWhatTheyCannotRead()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, wholeValueUnread);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("settings.json"));
    const QByteArray text = R"({"other": 1, "kept": )" + stored + "}";
    QFile written(file);
    QVERIFY(written.open(QIODevice::WriteOnly));
    written.write(text);
    written.close();
    {
        SettingsStore defaults(file);
        QVERIFY(defaults.contains(QStringLiteral("kept")));
        QCOMPARE(defaults.value(QStringLiteral("kept")).typeId() == QMetaType::QJsonValue,
                 wholeValueUnread);
        QCOMPARE(defaults.number(QStringLiteral("kept")), std::nullopt);
        QCOMPARE(defaults.string(QStringLiteral("kept")), std::nullopt);
        defaults.setValue(QStringLiteral("other"), 2);
    }
    const QJsonObject expected = QJsonDocument::fromJson(text).object();
    const QJsonObject rewritten = QJsonDocument::fromJson(contents(file)).object();
    QCOMPARE(rewritten.value(QStringLiteral("kept")), expected.value(QStringLiteral("kept")));
    QCOMPARE(rewritten.value(QStringLiteral("other")), QJsonValue(2));
}

void TestPlatform::settingsLiveInTheConfigFolder()
{
    TestEnvironment env;
    SettingsStore &defaults = SettingsStore::instance();
    QCOMPARE(defaults.filePath(), env.path(QStringLiteral("config/Quillmere/settings.json")));
    // A burst of changes (typing into a bound field) is written once, shortly after.
    for (int i = 0; i < 20; ++i)
        defaults.setValue(QStringLiteral("k"), QString::number(i));
    QVERIFY(!QFile::exists(defaults.filePath()));
    QTRY_VERIFY(QFile::exists(defaults.filePath()));
    SettingsStore reread(defaults.filePath());
    QCOMPARE(reread.string(QStringLiteral("k")), QStringLiteral("19"));
}

void TestPlatform::atomicWriteReplacesWholeFileOrNothing()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("note.md"));
    QVERIFY(AtomicFile::write(file, "first"));
    QVERIFY(AtomicFile::write(file, "second"));
    QFile read(file);
    QVERIFY(read.open(QIODevice::ReadOnly));
    QCOMPARE(read.readAll(), QByteArray("second"));

    QString error;
    QVERIFY(!AtomicFile::write(dir.filePath(QStringLiteral("missing/note.md")), "x", &error));
    QVERIFY(!error.isEmpty());
    // Nothing but the note itself is left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("note.md")});
}

void TestPlatform::newFileNeverReplacesAnother()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("新しいノート.md"));
    bool exists = true;
    QVERIFY(AtomicFile::writeNew(file, "mine", nullptr, &exists));
    QVERIFY(!exists);

    QString error;
    QVERIFY(!AtomicFile::writeNew(file, "theirs", &error, &exists));
    QVERIFY(exists);
    QVERIFY(!error.isEmpty());
    QFile read(file);
    QVERIFY(read.open(QIODevice::ReadOnly));
    QCOMPARE(read.readAll(), QByteArray("mine"));
    // No temporary file is left beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("新しいノート.md")});
}

void TestPlatform::bookmarkFindsFolderAgain()
{
    QTemporaryDir dir;
    const auto data = FolderBookmark::create(dir.path());
    QVERIFY(data);
    const auto resolved = FolderBookmark::resolve(*data);
    QVERIFY(resolved);
    QCOMPARE(resolved->path, dir.path());
    QVERIFY(!resolved->stale);
    QVERIFY(FolderBookmark::startAccess(resolved->path));
    QCOMPARE(FolderBookmark::create(dir.filePath(QStringLiteral("nope"))), std::nullopt);
}

void TestPlatform::bookmarkNoticesReplacedFolder()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("notes"));
    QVERIFY(QDir().mkpath(folder));
    const auto data = FolderBookmark::create(folder);
    // The old folder stays alive under another name: a removed one could hand its inode on to
    // the new folder, which would then pass for the old one.
    const QString old = dir.filePath(QStringLiteral("notes-old"));
    QVERIFY(QDir().rename(folder, old));
    QVERIFY(QDir().mkpath(folder));
    const auto resolved = FolderBookmark::resolve(*data);
    QVERIFY(resolved);
    QCOMPARE(resolved->path, folder);
    QVERIFY(resolved->stale);
}

void TestPlatform::bookmarkFollowsRenamedFolder()
{
    QTemporaryDir dir;
    const QString before = dir.filePath(QStringLiteral("メモ"));
    const QString after = dir.filePath(QStringLiteral("メモ2"));
    QVERIFY(QDir().mkpath(before));
    const auto data = FolderBookmark::create(before);
    QVERIFY(QDir().rename(before, after));
    const auto resolved = FolderBookmark::resolve(*data);
    QVERIFY(resolved);
    QCOMPARE(resolved->path, after);
    QVERIFY(resolved->stale);

    QVERIFY(QDir(after).removeRecursively());
    QCOMPARE(FolderBookmark::resolve(*data), std::nullopt);
}

void TestPlatform::bookmarkRejectsForeignData()
{
    QCOMPARE(FolderBookmark::resolve(QByteArray()), std::nullopt);
    QCOMPARE(FolderBookmark::resolve("book\0mark"), std::nullopt);
    QCOMPARE(FolderBookmark::resolve(R"({"path":"/tmp"})"), std::nullopt);
}

void TestPlatform::serialQueueRunsInOrder()
{
    std::vector<int> order;
    std::atomic<std::thread::id> worker;
    {
        SerialQueue queue(QStringLiteral("test"));
        for (int i = 0; i < 50; ++i) {
            queue.submit([&order, &worker, i] {
                if (i == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                worker = std::this_thread::get_id();
                order.push_back(i);
            });
        }
        queue.waitUntilIdle();
        QCOMPARE(order.size(), size_t(50));
        QVERIFY(worker.load() != std::this_thread::get_id());
        queue.submit([&order] { order.push_back(50); });
    } // the destructor finishes what was submitted
    QCOMPARE(order.size(), size_t(51));
    for (int i = 0; i <= 50; ++i)
        QCOMPARE(order[size_t(i)], i);
}

void TestPlatform::diagnosticsCanBeCollected()
{
    Diagnostics::Capture outer;
    Diagnostics::log(QStringLiteral("保存エラー: disk full"));
    {
        Diagnostics::Capture inner;
        Diagnostics::log(QStringLiteral("リネームエラー: busy"));
        QCOMPARE(inner.finish(), QStringLiteral("リネームエラー: busy"));
    }
    // The inner capture handed collecting back to the outer one.
    Diagnostics::log(QStringLiteral("second"));
    QCOMPARE(outer.finish(), QStringLiteral("保存エラー: disk full second"));
}

void TestPlatform::diagnosticsNeverReachStandardOutput()
{
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("settings.json"));
    QFile damaged(settings);
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write("{");
    damaged.close();
    const QString out = dir.filePath(QStringLiteral("stdout"));
    const QString err = dir.filePath(QStringLiteral("stderr"));
    QString collected;
    {
        const Redirected redirected(out, err);
        // Reading damaged settings reports it, as a command printing --json results might.
        SettingsStore defaults(settings);
        Diagnostics::Capture capture;
        Diagnostics::log(QStringLiteral("保存エラー: disk full"));
        // A worker's line is not the capturing command's: it goes out on its own.
        std::thread([] { Diagnostics::log(QStringLiteral("背景の保存エラー")); }).join();
        collected = capture.finish();
    }
    QCOMPARE(contents(out), QByteArray());
    const QString errors = QString::fromUtf8(contents(err));
    QVERIFY2(errors.startsWith(QStringLiteral("設定ファイルを読めないため退避しました: ")),
             qPrintable(errors));
    QVERIFY(errors.endsWith(QStringLiteral("\n背景の保存エラー\n")));
    QCOMPARE(collected, QStringLiteral("保存エラー: disk full"));
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
