#include "common/testenvironment.h"

#include "platform/appevents.h"
#include "platform/folderbookmark.h"
#include "platform/settingsstore.h"
#include "storage/pathmanager.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class TestPathManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void defaultFolderChoice_data()
    {
        QTest::addColumn<bool>("currentExists");
        QTest::addColumn<bool>("olderExists");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first launch creates the current folder") << false << false << "Quillmere";
        QTest::newRow("only the older folder: it is used") << false << true << "Dayleaf";
        QTest::newRow("both: the current one wins") << true << true << "Quillmere";
    }
    void defaultFolderChoice()
    {
        QFETCH(bool, currentExists);
        QFETCH(bool, olderExists);
        QFETCH(QString, expected);
        if (currentExists)
            m_env->makeFolder(QStringLiteral("data/Quillmere"));
        if (olderExists)
            m_env->makeFolder(QStringLiteral("data/Dayleaf"));

        QCOMPARE(PathManager::baseFolderPath(), m_env->path(QStringLiteral("data/") + expected));
        QVERIFY(QFileInfo(PathManager::baseFolderPath()).isDir());
        // The older folder is never joined by a new current one.
        QCOMPARE(QFileInfo::exists(m_env->path(QStringLiteral("data/Quillmere"))),
                 currentExists || !olderExists);
    }
    void startupPrefersBookmarkThenPathThenDefault()
    {
        const QString marked = m_env->makeFolder(QStringLiteral("marked"));
        const QString stored = m_env->makeFolder(QStringLiteral("stored"));
        defaults().setValue(QStringLiteral("DayleafFolderBookmark"),
                            *FolderBookmark::create(marked));
        defaults().setValue(QStringLiteral("SelectedDayleafFolder"), stored);
        QCOMPARE(PathManager::baseFolderPath(), marked);

        // A bookmark that resolves to nothing is passed over, and kept.
        PathManager::resetForTesting();
        defaults().setValue(QStringLiteral("DayleafFolderBookmark"), QByteArray("garbage"));
        QCOMPARE(PathManager::baseFolderPath(), stored);
        QCOMPARE(defaults().data(QStringLiteral("DayleafFolderBookmark")), QByteArray("garbage"));

        PathManager::resetForTesting();
        defaults().setValue(QStringLiteral("SelectedDayleafFolder"), QString());
        QCOMPARE(PathManager::baseFolderPath(), m_env->path(QStringLiteral("data/Quillmere")));
    }
    void startupMigratesLegacyBookmark()
    {
        const QString marked = m_env->makeFolder(QStringLiteral("marked"));
        const QByteArray bookmark = *FolderBookmark::create(marked);
        defaults().setValue(QStringLiteral("SecureBookmark"), bookmark);

        QCOMPARE(PathManager::baseFolderPath(), marked);
        QCOMPARE(defaults().data(QStringLiteral("DayleafFolderBookmark")), bookmark);
        QVERIFY(!defaults().contains(QStringLiteral("SecureBookmark")));
    }
    void startupRewritesStaleBookmark()
    {
        const QString before = m_env->makeFolder(QStringLiteral("old name"));
        const QByteArray bookmark = *FolderBookmark::create(before);
        defaults().setValue(QStringLiteral("DayleafFolderBookmark"), bookmark);
        const QString after = m_env->path(QStringLiteral("new name"));
        QVERIFY(QDir().rename(before, after));

        QCOMPARE(PathManager::baseFolderPath(), after);
        const auto rewritten = defaults().data(QStringLiteral("DayleafFolderBookmark"));
        QVERIFY(rewritten && *rewritten != bookmark);
        const auto resolved = FolderBookmark::resolve(*rewritten);
        QVERIFY(resolved && !resolved->stale);
        QCOMPARE(resolved->path, after);
    }
    // Every switch is announced and recorded; a bookmark goes with a folder that needs one.
    void switchingRecordsTheChoice_data()
    {
        QTest::addColumn<QString>("folder"); // null: no folder at all
        QTest::addColumn<QString>("bookmark");
        QTest::newRow("a chosen folder gets its bookmark") << u"chosen"_s << u"own"_s;
        QTest::newRow("no folder at all means the default") << QString() << u"none"_s;
        // The default folder needs no bookmark, however it is spelled.
        QTest::newRow("default, plain") << u"data/Quillmere"_s << u"none"_s;
        QTest::newRow("default, dot-dot components")
            << u"data/Quillmere/../Quillmere/."_s << u"none"_s;
        QTest::newRow("a missing folder keeps the previous bookmark")
            << u"not there"_s << u"previous"_s;
    }
    void switchingRecordsTheChoice()
    {
        QFETCH(QString, folder);
        QFETCH(QString, bookmark);
        PathManager::setBaseFolder(m_env->makeFolder(QStringLiteral("other")));
        const auto previous = defaults().data(QStringLiteral("DayleafFolderBookmark"));
        QVERIFY(previous);
        defaults().setValue(QStringLiteral("SecureBookmark"), QByteArray("old"));
        if (bookmark == u"own")
            m_env->makeFolder(folder);
        QSignalSpy changed(&AppEvents::instance(), &AppEvents::baseFolderChanged);

        const QString path = folder.isNull() ? QString() : m_env->path(folder);
        PathManager::setBaseFolder(path);

        QCOMPARE(changed.count(), 1);
        // A spelling is kept as given.
        QCOMPARE(PathManager::baseFolderPath(),
                 path.isNull() ? m_env->path(QStringLiteral("data/Quillmere")) : path);
        QCOMPARE(defaults().string(QStringLiteral("SelectedDayleafFolder")),
                 path.isNull() ? std::nullopt : std::optional(path));
        const auto stored = defaults().data(QStringLiteral("DayleafFolderBookmark"));
        if (bookmark == u"own")
            QCOMPARE(FolderBookmark::resolve(stored.value_or(""))
                         .value_or(FolderBookmark::Resolution())
                         .path,
                     path);
        else
            QCOMPARE(stored, bookmark == u"none" ? std::nullopt : previous);
        if (bookmark != u"previous")
            QVERIFY(!defaults().contains(QStringLiteral("SecureBookmark")));
    }
    void notesFolderIsCreated()
    {
        const QString base = m_env->path(QStringLiteral("gone/base"));
        PathManager::setBaseFolder(base); // a stored folder that no longer exists
        QCOMPARE(PathManager::notesFolderPath(), base + QStringLiteral("/Notes"));
        QVERIFY(QFileInfo(base + QStringLiteral("/Notes")).isDir());
    }

private:
    SettingsStore &defaults() { return SettingsStore::instance(); }
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_GUILESS_MAIN(TestPathManager)
#include "tst_pathmanager.moc"
