#include "common/testenvironment.h"

#include "storage/foldermanager.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

QVariant stored(const QString &key)
{
    return SettingsStore::instance().value(key);
}

} // namespace

class TestFolderManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void sixChoicesKeepTheFiveNewestUntilCleared()
    {
        FolderManager manager;
        QSignalSpy changed(&manager, &FolderManager::folderHistoryChanged);
        choose(manager, std::nullopt);
        choose(manager, QString()); // confirmed without a folder
        for (int i = 1; i <= 6; ++i)
            choose(manager, folder(i));

        const QStringList expected{folder(6), folder(5), folder(4), folder(3), folder(2)};
        QCOMPARE(manager.folderHistory(), expected);
        QCOMPARE(stored(QStringLiteral("FolderHistory")).toStringList(), expected);
        QCOMPARE(stored(QStringLiteral("FolderHistoryBookmarks")).toMap().keys(),
                 QStringList({folder(2), folder(3), folder(4), folder(5), folder(6)}));
        QCOMPARE(PathManager::baseFolderPath(), folder(6));
        QCOMPARE(changed.count(), 6);

        // Clearing the history leaves the base folder and its own bookmark alone.
        const QVariant baseBookmark = stored(QStringLiteral("DayleafFolderBookmark"));
        manager.clearFolderHistory();
        QCOMPARE(manager.folderHistory(), QStringList());
        QVERIFY(!SettingsStore::instance().contains(QStringLiteral("FolderHistory")));
        QVERIFY(!SettingsStore::instance().contains(QStringLiteral("FolderHistoryBookmarks")));
        QCOMPARE(PathManager::baseFolderPath(), folder(6));
        QCOMPARE(stored(QStringLiteral("SelectedDayleafFolder")).toString(), folder(6));
        QCOMPARE(stored(QStringLiteral("DayleafFolderBookmark")), baseBookmark);
    }
    void choosingAKnownFolderOnlySwitches_data()
    {
        QTest::addColumn<QString>("spelling");
        QTest::newRow("same path") << "";
        QTest::newRow("detour through the parent") << "/../f2";
    }
    void choosingAKnownFolderOnlySwitches()
    {
        QFETCH(QString, spelling);

        FolderManager manager;
        for (int i = 1; i <= 3; ++i)
            choose(manager, folder(i));
        const QVariant paths = stored(QStringLiteral("FolderHistory"));
        const QVariant bookmarks = stored(QStringLiteral("FolderHistoryBookmarks"));

        choose(manager, folder(2) + spelling);
        QCOMPARE(PathManager::baseFolderPath(), folder(2) + spelling);
        QCOMPARE(manager.folderHistory(), QStringList({folder(3), folder(2), folder(1)}));
        QCOMPARE(stored(QStringLiteral("FolderHistory")), paths);
        QCOMPARE(stored(QStringLiteral("FolderHistoryBookmarks")), bookmarks);
    }
    void switchToFolderMovesItsEntryToTheFront()
    {
        FolderManager manager;
        for (int i = 1; i <= 4; ++i)
            choose(manager, folder(i));

        manager.switchToFolder(folder(2)); // the third entry
        const QStringList expected{folder(2), folder(4), folder(3), folder(1)};
        QCOMPARE(manager.folderHistory(), expected);
        QCOMPARE(stored(QStringLiteral("FolderHistory")).toStringList(), expected);

        // Entries match by exact spelling only; other folders switch without joining the list.
        manager.switchToFolder(folder(3) + QStringLiteral("/."));
        QCOMPARE(PathManager::baseFolderPath(), folder(3) + QStringLiteral("/."));
        QCOMPARE(manager.folderHistory(), expected);
    }
    void storedHistoryOnLaunch_data()
    {
        QTest::addColumn<QVariant>("paths");
        QTest::addColumn<QVariant>("bookmarks");
        QTest::addColumn<QStringList>("expected");

        const QStringList two{"/stored/one", "/stored/two"};
        QTest::newRow("paths without bookmarks") << QVariant(two) << QVariant() << two;
        QTest::newRow("a number among the strings")
            << QVariant(QVariantList{"/stored/one", 7}) << QVariant() << QStringList();
        QTest::newRow("a bookmark that is not data")
            << QVariant(two) << QVariant(QVariantMap{{"/stored/one", "text"}}) << two;
        QTest::newRow("bookmarks that do not resolve")
            << QVariant(two) << QVariant(QVariantMap{{"/stored/one", QByteArray("{}")}}) << two;
    }
    void storedHistoryOnLaunch()
    {
        QFETCH(QVariant, paths);
        QFETCH(QVariant, bookmarks);
        QFETCH(QStringList, expected);

        SettingsStore::instance().setValue(QStringLiteral("FolderHistory"), paths);
        if (bookmarks.isValid())
            SettingsStore::instance().setValue(QStringLiteral("FolderHistoryBookmarks"), bookmarks);
        const QVariant before = stored(QStringLiteral("FolderHistoryBookmarks"));

        FolderManager manager;
        QCOMPARE(manager.folderHistory(), expected);
        QCOMPARE(stored(QStringLiteral("FolderHistoryBookmarks")), before);
    }

private:
    static void choose(FolderManager &manager, const std::optional<QString> &answer)
    {
        manager.setFolderChooser([answer] { return answer; });
        manager.chooseFolder();
    }

    QString folder(int number) const
    {
        return m_env->makeFolder(QStringLiteral("f%1").arg(number));
    }

    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_GUILESS_MAIN(TestFolderManager)
#include "tst_foldermanager.moc"
