#include "common/testenvironment.h"
#include "common/testfiles.h"

#include "platform/appevents.h"
#include "search/quickopen.h"
#include "search/searchcontroller.h"
#include "search/searchstore.h"

#include <QSignalSpy>
#include <QTest>

namespace {

QStringList names(const QList<QuickOpen::Candidate> &files, const QList<qsizetype> &shown)
{
    QStringList result;
    for (const qsizetype i : shown)
        result.append(files[i].folderLabel + u'/' + files[i].fileName);
    return result;
}

} // namespace

class TestSearchState : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void historyKeepsRecentUniqueKeywords_data();
    void historyKeepsRecentUniqueKeywords();
    void historyRemovalAndClearing();
    void storedResultsRoundTrip();
    void undecodableResultsAreIgnored_data();
    void undecodableResultsAreIgnored();
    void restoredResultsFollowCurrentDates();

    void searchOpensNewestHitAndStoresEverything();
    void blankKeywordClearsInsteadOfSearching();
    void clearEmptiesPageAndTellsEditor();
    void baseFolderChangeDropsResults();
    void appearRestoresResultsForMatchingKeyword();

    void quickOpenListsHiddenNotesButNoAppFiles();
    void quickOpenFilters_data();
    void quickOpenFilters();
    void quickOpenRecentListIsNewestThirty();
    void quickOpenFolderLabels_data();
    void quickOpenFolderLabels();
    void quickOpenSelectionWraps();

private:
    /// A controller that has searched the base folder, holding a.md, for "a".
    std::unique_ptr<SearchController> searchedForA()
    {
        [&] { QVERIFY(TestFiles::write(m_env->useBaseFolder() + u"/a.md", "a", 1000)); }();
        auto controller = std::make_unique<SearchController>();
        controller->setKeyword(QStringLiteral("a"));
        controller->runSearch();
        return controller;
    }
    std::unique_ptr<TestEnvironment> m_env;
};

void TestSearchState::historyKeepsRecentUniqueKeywords_data()
{
    QTest::addColumn<QStringList>("searches");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("a repeat moves to the front")
        << QStringList{"a", "b", "a"} << QStringList{"a", "b"};
    QTest::newRow("case matters") << QStringList{"a", "A"} << QStringList{"A", "a"};
    QStringList many;
    for (int i = 1; i <= 51; ++i)
        many.append(QString::number(i));
    QStringList newestFifty;
    for (int i = 51; i >= 2; --i)
        newestFifty.append(QString::number(i));
    QTest::newRow("51 searches keep the newest 50") << many << newestFifty;
}

void TestSearchState::historyKeepsRecentUniqueKeywords()
{
    QFETCH(QStringList, searches);
    QFETCH(QStringList, expected);
    for (const QString &keyword : searches)
        SearchStore::addToHistory(keyword);
    QCOMPARE(SearchStore::loadHistory(), expected);
}

void TestSearchState::historyRemovalAndClearing()
{
    SearchStore::addToHistory(QStringLiteral("b"));
    SearchStore::addToHistory(QStringLiteral("a"));
    QCOMPARE(SearchStore::removeFromHistory(QStringLiteral("b")), QStringList{"a"});
    SearchStore::clearHistory();
    QVERIFY(!SettingsStore::instance().contains(QStringLiteral("searchHistory")));
    SettingsStore::resetInstance(); // a restart
    QCOMPARE(SearchStore::loadHistory(), QStringList());
}

void TestSearchState::storedResultsRoundTrip()
{
    const QList<SearchHit> hits = {{"/n/a.md", "snippet a", 3, {}}, {"/n/会議.md", "会議", 1, {}}};
    QCOMPARE(SearchStore::decodeHits(SearchStore::encodeHits(hits)),
             (QList<PersistedHit>{{"/n/a.md", "snippet a", 3}, {"/n/会議.md", "会議", 1}}));
}

void TestSearchState::undecodableResultsAreIgnored_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("not JSON") << QByteArray("[{");
    QTest::newRow("not an array") << QByteArray("{}");
    QTest::newRow("missing key") << QByteArray(R"([{"urlPath":"/a","snippet":"s"}])");
    QTest::newRow("count as text")
        << QByteArray(R"([{"urlPath":"/a","snippet":"s","matchCount":"2"}])");
    QTest::newRow("fractional count")
        << QByteArray(R"([{"urlPath":"/a","snippet":"s","matchCount":1.5}])");
}

void TestSearchState::undecodableResultsAreIgnored()
{
    QFETCH(QByteArray, data);
    QVERIFY(!SearchStore::decodeHits(data));
    SettingsStore::instance().setValue(QStringLiteral("persistedResults"), data);
    QVERIFY(!SearchStore::restorePersistedResults());
}

void TestSearchState::restoredResultsFollowCurrentDates()
{
    const QString base = m_env->useBaseFolder();
    QVERIFY(TestFiles::write(base + "/a.md", "x", 1000));
    QVERIFY(TestFiles::write(base + "/b.md", "x", 2000));
    SearchStore::persistResults({{base + "/b.md", QStringLiteral("b"), 1, {}},
                                 {base + "/gone.md", QStringLiteral("g"), 2, {}},
                                 {base + "/a.md", QStringLiteral("a"), 1, {}}});
    QVERIFY(TestFiles::write(base + "/a.md", "x", 3000)); // edited since
    const std::optional<QList<SearchHit>> restored = SearchStore::restorePersistedResults();
    QVERIFY(restored);
    QStringList order;
    for (const SearchHit &h : *restored)
        order.append(QFileInfo(h.filePath).fileName() + u':' + h.snippet);
    QCOMPARE(order, (QStringList{"a.md:a", "b.md:b", "gone.md:g"}));
    QCOMPARE(restored->last().sortDate, GlobalSearch::earliestDate());
}

void TestSearchState::searchOpensNewestHitAndStoresEverything()
{
    const QString base = m_env->useBaseFolder();
    QVERIFY(TestFiles::write(base + "/old.md", "Memo one memo", 1000));
    QVERIFY(TestFiles::write(base + "/new.md", "memo", 2000));
    SearchController controller;
    QSignalSpy opened(&controller, &SearchController::hitSelected);
    QSignalSpy synced(&controller, &SearchController::keywordSynced);
    controller.setKeyword(QStringLiteral("  memo "));
    QCOMPARE(controller.results().size(), 0); // typing does not search
    controller.runSearch();

    QCOMPARE(synced.size(), 1);
    QCOMPARE(synced.at(0).at(0).toString(), QStringLiteral("memo"));
    QCOMPARE(controller.keyword(), QStringLiteral("memo"));
    QCOMPARE(controller.summary(), QStringLiteral("2 件 / 一致 3 件"));
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened.at(0).at(0).toString(), base + "/new.md");
    QCOMPARE(controller.selectedFile(), base + "/new.md");
    QCOMPARE(controller.history(), QStringList{"memo"});
    QCOMPARE(SettingsStore::instance().stringOr(QStringLiteral("lastSearchKeyword"), {}),
             QStringLiteral("memo"));
    QCOMPARE(SearchStore::restorePersistedResults()->size(), 2);

    controller.setKeyword(QStringLiteral("absent"));
    controller.runSearch();
    QVERIFY(controller.hasSearched());
    QCOMPARE(controller.summary(), QStringLiteral("0 件"));
    QVERIFY(!SearchStore::restorePersistedResults());
}

void TestSearchState::blankKeywordClearsInsteadOfSearching()
{
    const auto controller = searchedForA();
    QSignalSpy synced(controller.get(), &SearchController::keywordSynced);
    controller->setKeyword(QStringLiteral("   "));
    QVERIFY(controller->results().isEmpty());
    QVERIFY(!controller->hasSearched());
    controller->runSearch();
    // The editor is told to highlight nothing rather than runs of spaces.
    QCOMPARE(synced, QList<QVariantList>{{QString()}});
    QVERIFY(!SearchStore::restorePersistedResults());
    QCOMPARE(controller->history(), QStringList{"a"});
}

void TestSearchState::clearEmptiesPageAndTellsEditor()
{
    const auto controller = searchedForA();
    QSignalSpy cleared(controller.get(), &SearchController::cleared);
    QSignalSpy focus(controller.get(), &SearchController::focusKeywordFieldRequested);
    QSignalSpy synced(controller.get(), &SearchController::keywordSynced);
    controller->clearSearch();
    QCOMPARE(cleared.size(), 1);
    QCOMPARE(focus.size(), 1);
    QCOMPARE(synced, QList<QVariantList>{{QString()}});
    QCOMPARE(controller->keyword(), QString());
    QCOMPARE(controller->selectedFile(), QString());
    QVERIFY(controller->results().isEmpty());
    QVERIFY(!SearchStore::restorePersistedResults());
}

void TestSearchState::baseFolderChangeDropsResults()
{
    const auto controller = searchedForA();
    m_env->useBaseFolder(QStringLiteral("other"));
    QVERIFY(controller->results().isEmpty());
    // No "0 件" for a folder that was never searched.
    QVERIFY(!controller->hasSearched());
    QCOMPARE(controller->keyword(), QStringLiteral("a"));
    QCOMPARE(controller->history(), QStringList{"a"});
}

void TestSearchState::appearRestoresResultsForMatchingKeyword()
{
    searchedForA().reset();
    SearchController restarted;
    QSignalSpy focus(&restarted, &SearchController::focusKeywordFieldRequested);
    restarted.appear();
    QCOMPARE(restarted.results().size(), 1);
    QVERIFY(restarted.hasSearched());
    QCOMPARE(restarted.history(), QStringList{"a"});
    QTest::qWait(1);
    QCOMPARE(focus.size(), 0); // results shown: the field is left alone

    // The results belong to another keyword, of which the stored one is a part.
    restarted.setKeyword(QStringLiteral("an"));
    restarted.appear();
    QVERIFY(!restarted.hasSearched());
}

void TestSearchState::quickOpenListsHiddenNotesButNoAppFiles()
{
    const QString base = m_env->useBaseFolder();
    QVERIFY(TestFiles::write(base + "/.obsidian/hidden.md", "", 1000));
    QVERIFY(TestFiles::write(base + "/Upper.TXT", "", 1000));
    QVERIFY(TestFiles::write(base + "/image.png", "", 1000));
    // A save's temporary file is hidden and never ends in a note extension.
    QVERIFY(TestFiles::write(base + "/.Upper.TXT.quillmere-4242-Ab12Cd", "", 1000));
    // The application's state is not a note; a folder of the user's with the same name is.
    QVERIFY(TestFiles::write(base + "/Data/pinned_notes.txt", "", 2000));
    QVERIFY(TestFiles::write(base + "/Data/old/note.md", "", 2000));
    QVERIFY(TestFiles::write(base + "/Notes/Data/kept.md", "", 1000));
    QStringList found;
    const QList<QuickOpen::Candidate> files = QuickOpen::gatherFiles(base);
    for (const QuickOpen::Candidate &file : files)
        found.append(file.folderLabel + u'/' + file.fileName);
    QCOMPARE(found, (QStringList{".obsidian/hidden.md", "Notes/Data/kept.md", "./Upper.TXT"}));
    QCOMPARE(names(files, QuickOpen::filteredFiles(files, QStringLiteral("data"))),
             QStringList{"Notes/Data/kept.md"});
}

void TestSearchState::quickOpenFilters_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("expected");
    // Each folder's files and subfolders in natural order: "proj-notes.md" before "Projects".
    QTest::newRow("name or folder, any case")
        << "PROJ" << QStringList{"./proj-notes.md", "Projects/a.md", "Projects/b.txt"};
    QTest::newRow("the extension is part of the name")
        << ".md"
        << QStringList{"./item 2.md", "./item 10.md", "./proj-notes.md", "Projects/a.md",
                       "会議/議事録.md"};
    QTest::newRow("names in natural order") << "ITEM" << QStringList{"./item 2.md", "./item 10.md"};
    QTest::newRow("Japanese") << "議事" << QStringList{"会議/議事録.md"};
    QTest::newRow("folder name only, not the path above") << "ects/a" << QStringList{};
}

void TestSearchState::quickOpenFilters()
{
    QFETCH(QString, query);
    QFETCH(QStringList, expected);
    const QString base = m_env->useBaseFolder();
    for (const QString &name : {QStringLiteral("proj-notes.md"), QStringLiteral("Projects/a.md"),
                                QStringLiteral("Projects/b.txt"), QStringLiteral("会議/議事録.md"),
                                QStringLiteral("item 10.md"), QStringLiteral("item 2.md")})
        QVERIFY(TestFiles::write(base + u'/' + name, "", 1000));
    const QList<QuickOpen::Candidate> files = QuickOpen::gatherFiles(base);
    QCOMPARE(names(files, QuickOpen::filteredFiles(files, query)), expected);
}

void TestSearchState::quickOpenRecentListIsNewestThirty()
{
    QList<QuickOpen::Candidate> files;
    for (int i = 0; i < 40; ++i)
        files.append({QStringLiteral("/b/n%1.md").arg(i), {}, {}, {}, {}, qint64(i / 2)});
    files[39].modifiedMSecs.reset(); // unreadable date: left out
    const QList<qsizetype> shown = QuickOpen::filteredFiles(files, QString());
    QCOMPARE(shown.size(), QuickOpen::recentLimit);
    // Newest first; the two files sharing a time keep their walk order.
    QCOMPARE(shown.mid(0, 4), (QList<qsizetype>{38, 36, 37, 34}));
}

void TestSearchState::quickOpenFolderLabels_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("label");
    const auto row = [](const char *name, const QString &file, const QString &base,
                        const QString &label) { QTest::newRow(name) << file << base << label; };
    row("in the base folder", "/b/n.md", "/b", ".");
    row("nested", "/b/A/B/n.md", "/b", "A/B");
    row("base with trailing slash", "/b/A/n.md", "/b/", "A");
    row("outside: the full folder", "/x/n.md", "/b", "/x");
    row("a sibling sharing the prefix is outside", "/b2/n.md", "/b", "/b2");
}

void TestSearchState::quickOpenFolderLabels()
{
    QFETCH(QString, file);
    QFETCH(QString, base);
    QFETCH(QString, label);
    QCOMPARE(QuickOpen::relativeFolder(file, base), label);
}

void TestSearchState::quickOpenSelectionWraps()
{
    QuickOpenController controller;
    QVERIFY(!controller.selectedFile());
    controller.moveUp(); // nothing to move on an empty list
    QCOMPARE(controller.selectedIndex(), 0);
    QList<QuickOpen::Candidate> files;
    for (const QString &name :
         {QStringLiteral("a.md"), QStringLiteral("b.md"), QStringLiteral("c.md")})
        files.append({u"/b/" + name, name, QStringLiteral("."), name, QStringLiteral("b"), 1});
    controller.setFiles(files);
    controller.moveUp();
    QCOMPARE(controller.selectedIndex(), 2);
    controller.moveDown();
    QCOMPARE(controller.selectedIndex(), 0);
    controller.moveDown();
    controller.setQuery(QStringLiteral("c"));
    QCOMPARE(controller.selectedIndex(), 0); // a new query starts at the top
    QCOMPARE(controller.selectedFile(), QStringLiteral("/b/c.md"));
    controller.setQuery(QStringLiteral("zzz"));
    QVERIFY(!controller.selectedFile());
}

QTEST_GUILESS_MAIN(TestSearchState)
#include "tst_searchstate.moc"
