#include "common/testenvironment.h"
#include "common/testfiles.h"

#include "platform/atomicfile.h"
#include "platform/diagnostics.h"
#include "platform/folderbookmark.h"
#include "platform/serialqueue.h"
#include "platform/settingsstore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

using TestFiles::read;
using TestFiles::write;

/// Sends this process's standard output and error to files until the returned guard goes.
auto redirectOutput(const QString &out, const QString &err)
{
    const auto redirect = [](int fd, const QString &path) {
        std::fflush(nullptr);
        const int saved = ::dup(fd);
        const int file = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT, 0600);
        ::dup2(file, fd);
        ::close(file);
        return saved;
    };
    const int savedOut = redirect(STDOUT_FILENO, out);
    const int savedErr = redirect(STDERR_FILENO, err);
    return qScopeGuard([savedOut, savedErr] {
        std::fflush(nullptr);
        ::dup2(savedOut, STDOUT_FILENO);
        ::dup2(savedErr, STDERR_FILENO);
        ::close(savedOut);
        ::close(savedErr);
    });
}

} // namespace

class TestPlatform : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void settingsKeepTypesAcrossRestart()
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
            QVERIFY(!defaults.setValue(QStringLiteral("unsupported"), QVariant(QDate(2025, 1, 1))));
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
        QVERIFY(!reread.contains(QStringLiteral("unsupported")));
        // Typed getters refuse a value of another type rather than convert it.
        QCOMPARE(reread.integer(QStringLiteral("text")), std::nullopt);
        QCOMPARE(reread.string(QStringLiteral("flag")), std::nullopt);
        QCOMPARE(reread.data(QStringLiteral("text")), std::nullopt);
        QCOMPARE(reread.integerOr(QStringLiteral("text"), 13), qint64(13));
    }

    void settingsSignalOnlyOnRealChange()
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

    void settingsLiveInTheConfigFolder()
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

    // Damaged settings are kept aside and reported on standard error only: a command printing
    // --json results must not have its output spoilt.
    void settingsKeepWhatTheyCannotRead_data()
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
    void settingsKeepWhatTheyCannotRead()
    {
        QFETCH(QByteArray, stored);
        QFETCH(bool, wholeValueUnread);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("settings.json"));
        const QByteArray text = R"({"other": 1, "kept": )" + stored + "}";
        QVERIFY(write(file, text));
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
        const QJsonObject rewritten = QJsonDocument::fromJson(read(file)).object();
        QCOMPARE(rewritten.value(QStringLiteral("kept")), expected.value(QStringLiteral("kept")));
        QCOMPARE(rewritten.value(QStringLiteral("other")), QJsonValue(2));
    }

    void damagedSettingsAreKeptAsideAndReported()
    {
        QTemporaryDir dir;
        const QString settings = dir.filePath(QStringLiteral("settings.json"));
        QVERIFY(write(settings, "{\"fontSize\": 1"));
        const QString out = dir.filePath(QStringLiteral("stdout"));
        const QString err = dir.filePath(QStringLiteral("stderr"));
        QString collected;
        {
            const auto redirected = redirectOutput(out, err);
            SettingsStore defaults(settings);
            QVERIFY(!defaults.contains(QStringLiteral("fontSize")));
            defaults.setValue(QStringLiteral("fontSize"), 16);
            Diagnostics::Capture capture;
            Diagnostics::log(QStringLiteral("保存エラー: disk full"));
            // A worker's line is not the capturing command's: it goes out on its own.
            std::thread([] { Diagnostics::log(QStringLiteral("背景の保存エラー")); }).join();
            collected = capture.finish();
        }
        const QStringList kept =
            QDir(dir.path()).entryList({QStringLiteral("settings.json.damaged-*")}, QDir::Files);
        QCOMPARE(kept.size(), 1);
        QCOMPARE(read(dir.filePath(kept.first())), QByteArray("{\"fontSize\": 1"));
        QCOMPARE(read(out), QByteArray());
        const QString errors = QString::fromUtf8(read(err));
        QVERIFY2(errors.startsWith(QStringLiteral("設定ファイルを読めないため退避しました: ")),
                 qPrintable(errors));
        QVERIFY(errors.endsWith(QStringLiteral("\n背景の保存エラー\n")));
        QCOMPARE(collected, QStringLiteral("保存エラー: disk full"));
    }

    void atomicWritesReplaceOrRefuseWhole()
    {
        QTemporaryDir dir;
        const QString note = dir.filePath(QStringLiteral("note.md"));
        QVERIFY(AtomicFile::write(note, "first"));
        QVERIFY(AtomicFile::write(note, "second"));
        QCOMPARE(read(note), QByteArray("second"));

        const QString fresh = dir.filePath(QStringLiteral("新しいノート.md"));
        bool exists = true;
        QVERIFY(AtomicFile::writeNew(fresh, "mine", nullptr, &exists));
        QVERIFY(!exists);
        QString error;
        QVERIFY(!AtomicFile::writeNew(fresh, "theirs", &error, &exists));
        QVERIFY(exists);
        QVERIFY(!error.isEmpty());
        QCOMPARE(read(fresh), QByteArray("mine"));

        error.clear();
        QVERIFY(!AtomicFile::write(dir.filePath(QStringLiteral("missing/note.md")), "x", &error));
        QVERIFY(!error.isEmpty());
        // No temporary file is left beside them.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({QStringLiteral("note.md"), QStringLiteral("新しいノート.md")}));
    }

    void bookmarkFindsFolderAgain()
    {
        QTemporaryDir dir;
        const auto resolved = FolderBookmark::resolve(*FolderBookmark::create(dir.path()));
        QVERIFY(resolved);
        QCOMPARE(resolved->path, dir.path());
        QVERIFY(!resolved->stale);
        QVERIFY(FolderBookmark::startAccess(resolved->path));
        QCOMPARE(FolderBookmark::create(dir.filePath(QStringLiteral("nope"))), std::nullopt);
        for (const QByteArray &foreign :
             {QByteArray(), QByteArray("book\0mark", 9), QByteArray(R"({"path":"/tmp"})")})
            QCOMPARE(FolderBookmark::resolve(foreign), std::nullopt);
    }

    void bookmarkAfterTheFolderMoved_data()
    {
        QTest::addColumn<bool>("replaced");
        QTest::newRow("renamed: followed") << false;
        // The old folder stays alive under another name: a removed one could hand its inode on
        // to the new folder, which would then pass for the old one.
        QTest::newRow("replaced by a new folder of the same name") << true;
    }
    void bookmarkAfterTheFolderMoved()
    {
        QFETCH(bool, replaced);
        QTemporaryDir dir;
        const QString before = dir.filePath(QStringLiteral("メモ"));
        const QString after = dir.filePath(QStringLiteral("メモ2"));
        QVERIFY(QDir().mkpath(before));
        const auto data = FolderBookmark::create(before);
        QVERIFY(QDir().rename(before, after));
        if (replaced)
            QVERIFY(QDir().mkpath(before));
        const auto resolved = FolderBookmark::resolve(*data);
        QVERIFY(resolved);
        QCOMPARE(resolved->path, replaced ? before : after);
        QVERIFY(resolved->stale);
        if (!replaced) {
            QVERIFY(QDir(after).removeRecursively());
            QCOMPARE(FolderBookmark::resolve(*data), std::nullopt);
        }
    }

    void serialQueueRunsInOrder()
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

    void diagnosticsCanBeCollected()
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
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
