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
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <numeric>
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
        const QString file = dir.filePath("settings.json");
        const QVariantMap frame{{"x", 10.5}, {"w", qint64(800)}};
        {
            SettingsStore defaults(file);
            defaults.setValue("text", QStringLiteral("日本語"));
            defaults.setValue("flag", false);
            defaults.setValue("size", 14);
            defaults.setValue("ratio", 2.0); // an integral double stays a double
            defaults.setValue("blob", QByteArray("\x00\xff\x10", 3));
            defaults.setValue("list", QStringList{"a", QString()});
            defaults.setValue("frame", frame);
            defaults.setValue("mixed", QVariantList{"a", qint64(3), "b"});
            QVERIFY(!defaults.setValue("unsupported", QVariant(QDate(2025, 1, 1))));
        }
        SettingsStore reread(file);
        QCOMPARE(reread.string("text"), QStringLiteral("日本語"));
        QCOMPARE(reread.boolean("flag"), false);
        QCOMPARE(reread.integer("size"), qint64(14));
        QCOMPARE(reread.value("ratio").typeId(), int(QMetaType::Double));
        QCOMPARE(reread.data("blob"), QByteArray("\x00\xff\x10", 3));
        QCOMPARE(reread.stringArray("list"), QStringList({"a", QString()}));
        QCOMPARE(reread.dictionary("frame"), frame);
        // A number among strings stays a number, so the array is not an array of strings.
        QCOMPARE(reread.stringArray("mixed"), std::nullopt);
        QCOMPARE(reread.array("mixed")->at(1).typeId(), int(QMetaType::LongLong));
        QVERIFY(!reread.contains("unsupported"));
        // Typed getters refuse a value of another type rather than convert it.
        QCOMPARE(reread.string("flag"), std::nullopt);
        QCOMPARE(reread.integerOr("text", 13), qint64(13));
    }

    void settingsLiveInTheConfigFolder()
    {
        TestEnvironment env;
        SettingsStore &defaults = SettingsStore::instance();
        QCOMPARE(defaults.filePath(), env.path("config/Quillmere/settings.json"));
        // A burst of changes (typing into a bound field) is written once, shortly after.
        for (int i = 0; i < 20; ++i)
            defaults.setValue("k", QString::number(i));
        QVERIFY(!QFile::exists(defaults.filePath()));
        QTRY_VERIFY(QFile::exists(defaults.filePath()));
        QCOMPARE(SettingsStore(defaults.filePath()).string("k"), QStringLiteral("19"));
    }

    // Another version's settings, or a hand edit, survive this version changing another setting.
    void settingsKeepWhatTheyCannotRead_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("wholeValueUnread");
        QTest::newRow("another version's tag") << QByteArray(R"({"future": [1, 2]})") << true;
        QTest::newRow("a tag with a payload of the wrong type")
            << QByteArray(R"({"double": "1.5"})") << true;
        QTest::newRow("an unreadable element keeps the array")
            << QByteArray(R"([1, {"x": 1, "y": 2}, "a"])") << false;
        QTest::newRow("an unreadable member keeps the dictionary")
            << QByteArray(R"({"dictionary": {"c": {"future": 1}, "d": 2}})") << false;
    }
    void settingsKeepWhatTheyCannotRead()
    {
        QFETCH(QByteArray, stored);
        QFETCH(bool, wholeValueUnread);
        QTemporaryDir dir;
        const QString file = dir.filePath("settings.json");
        const QByteArray text = R"({"other": 1, "kept": )" + stored + "}";
        QVERIFY(write(file, text));
        {
            SettingsStore defaults(file);
            QCOMPARE(defaults.value("kept").typeId() == QMetaType::QJsonValue, wholeValueUnread);
            QCOMPARE(defaults.string("kept"), std::nullopt);
            defaults.setValue("other", 2);
        }
        QJsonObject expected = QJsonDocument::fromJson(text).object();
        expected.insert("other", 2);
        QCOMPARE(QJsonDocument::fromJson(read(file)).object(), expected);
    }

    // Damaged settings are kept aside and reported on standard error only: a command printing
    // --json results must not have its output spoilt.
    void damagedSettingsAreKeptAsideAndReported()
    {
        QTemporaryDir dir;
        const QString settings = dir.filePath("settings.json");
        QVERIFY(write(settings, "{\"fontSize\": 1"));
        const QString out = dir.filePath("stdout"), err = dir.filePath("stderr");
        QString collected;
        {
            const auto redirected = redirectOutput(out, err);
            SettingsStore defaults(settings);
            QVERIFY(!defaults.contains("fontSize"));
            defaults.setValue("fontSize", 16);
            Diagnostics::Capture capture;
            Diagnostics::log(QStringLiteral("保存エラー: disk full"));
            // A worker's line is not the capturing command's: it goes out on its own.
            std::thread([] { Diagnostics::log(QStringLiteral("背景の保存エラー")); }).join();
            collected = capture.finish();
        }
        const QStringList kept = QDir(dir.path()).entryList({"settings.json.damaged-*"});
        QCOMPARE(kept.size(), 1);
        QCOMPARE(read(dir.filePath(kept.first())), QByteArray("{\"fontSize\": 1"));
        QCOMPARE(read(out), QByteArray());
        const QString errors = QString::fromUtf8(read(err));
        QVERIFY2(errors.startsWith(QStringLiteral("設定ファイルを読めないため退避しました: ")) &&
                     errors.endsWith(QStringLiteral("\n背景の保存エラー\n")),
                 qPrintable(errors));
        QCOMPARE(collected, QStringLiteral("保存エラー: disk full"));
    }

    // Replacing, and failing on a full disk or a missing folder, are the save tests' concern.
    void newFileNeverReplacesAnother()
    {
        QTemporaryDir dir;
        const QString fresh = dir.filePath("新しいノート.md");
        bool exists = true;
        QVERIFY(AtomicFile::writeNew(fresh, "mine", nullptr, &exists));
        QVERIFY(!exists);
        AtomicFile::Error error;
        QVERIFY(!AtomicFile::writeNew(fresh, "theirs", &error, &exists));
        QVERIFY(exists && !error.text.isEmpty());
        QCOMPARE(read(fresh), QByteArray("mine"));
        // No temporary file is left beside it.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"新しいノート.md"});
    }

    void bookmarkFindsTheFolder_data()
    {
        // An unchanged folder, and one renamed, are the base folder tests' rows.
        QTest::addColumn<QString>("change");
        // The old folder stays alive under another name: a removed one could hand its inode on
        // to the new folder, which would then pass for the old one.
        QTest::newRow("replaced by a new folder of the same name") << "replaced";
        QTest::newRow("removed") << "removed";
    }
    void bookmarkFindsTheFolder()
    {
        QFETCH(QString, change);
        QTemporaryDir dir;
        const QString before = dir.filePath("メモ"), after = dir.filePath("メモ2");
        QVERIFY(QDir().mkpath(before));
        const auto data = FolderBookmark::create(before);
        QVERIFY(data);
        if (!change.isEmpty())
            QVERIFY(QDir().rename(before, after));
        if (change == u"replaced")
            QVERIFY(QDir().mkpath(before));
        if (change == u"removed")
            QVERIFY(QDir(after).removeRecursively());
        const auto resolved = FolderBookmark::resolve(*data);
        QCOMPARE(resolved.has_value(), change != u"removed");
        if (resolved) {
            QCOMPARE(resolved->path, before);
            QCOMPARE(resolved->stale, !change.isEmpty());
            QVERIFY(FolderBookmark::startAccess(resolved->path));
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
        std::vector<int> expected(51);
        std::iota(expected.begin(), expected.end(), 0);
        QCOMPARE(order, expected);
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
