#include "common/testenvironment.h"
#include "common/testfiles.h"

#include "search/quickopen.h"
#include "search/searchcontroller.h"
#include "search/searchstore.h"

#include <QSignalSpy>
#include <QTest>

class TestSearchState : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void historyKeepsRecentUniqueKeywords_data()
    {
        QTest::addColumn<QStringList>("searches");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("a repeat moves to the front")
            << QStringList{"a", "b", "a"} << QStringList{"a", "b"};
        QTest::newRow("case matters") << QStringList{"a", "A"} << QStringList{"A", "a"};
        QStringList newestFirst;
        for (int i = 51; i >= 1; --i)
            newestFirst.append(QString::number(i));
        QTest::newRow("51 searches keep the newest 50")
            << QStringList(newestFirst.rbegin(), newestFirst.rend()) << newestFirst.first(50);
    }
    void historyKeepsRecentUniqueKeywords()
    {
        QFETCH(QStringList, searches);
        QFETCH(QStringList, expected);
        for (const QString &keyword : searches)
            SearchStore::addToHistory(keyword);
        QCOMPARE(SearchStore::loadHistory(), expected);
    }

    void historyRemovalAndClearing()
    {
        SearchStore::addToHistory(QStringLiteral("b"));
        SearchStore::addToHistory(QStringLiteral("a"));
        QCOMPARE(SearchStore::removeFromHistory(QStringLiteral("b")), QStringList{"a"});
        SearchStore::clearHistory();
        QVERIFY(!SettingsStore::instance().contains(QStringLiteral("searchHistory")));
        SettingsStore::resetInstance(); // a restart
        QCOMPARE(SearchStore::loadHistory(), QStringList());
    }

    // Not JSON, not an array, a key missing, a count as text, a count with a fraction.
    void undecodableResultsAreIgnored()
    {
        for (const char *data : {"[{", "{}", R"([{"urlPath":"/a","snippet":"s"}])",
                                 R"([{"urlPath":"/a","snippet":"s","matchCount":"2"}])",
                                 R"([{"urlPath":"/a","snippet":"s","matchCount":1.5}])"}) {
            QVERIFY2(!SearchStore::decodeHits(data), data);
            SettingsStore::instance().setValue(QStringLiteral("persistedResults"),
                                               QByteArray(data));
            QVERIFY2(!SearchStore::restorePersistedResults(), data);
        }
    }

    // The stored results come back with their paths, snippets and counts, in the order of the
    // files' dates now.
    void restoredResultsFollowCurrentDates()
    {
        const QString base = m_env->useBaseFolder();
        QVERIFY(TestFiles::write(base + "/a.md", "x", 1000));
        QVERIFY(TestFiles::write(base + "/会議.md", "x", 2000));
        SearchStore::persistResults({{base + "/会議.md", QStringLiteral("会議の snippet"), 1, {}},
                                     {base + "/gone.md", QStringLiteral("g"), 2, {}},
                                     {base + "/a.md", QStringLiteral("a"), 3, {}}});
        QVERIFY(TestFiles::write(base + "/a.md", "x", 3000)); // edited since
        const std::optional<QList<SearchHit>> restored = SearchStore::restorePersistedResults();
        QVERIFY(restored);
        QStringList order;
        for (const SearchHit &h : *restored)
            order.append(QStringLiteral("%1:%2:%3")
                             .arg(h.filePath.mid(base.size() + 1), h.snippet)
                             .arg(h.matchCount));
        QCOMPARE(order, (QStringList{"a.md:a:3", "会議.md:会議の snippet:1", "gone.md:g:2"}));
        QCOMPARE(restored->last().sortDate, GlobalSearch::earliestDate());
    }

    void searchOpensNewestHitAndStoresEverything()
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
        QCOMPARE(synced, QList<QVariantList>{{QStringLiteral("memo")}});
        QCOMPARE(opened, QList<QVariantList>{{QString(base + "/new.md")}});
        // Keyword, summary, the hit opened, history and the keyword stored.
        QCOMPARE((QStringList{
                     controller.keyword(), controller.summary(), controller.selectedFile(),
                     controller.history().join(u'|'),
                     SettingsStore::instance().stringOr(QStringLiteral("lastSearchKeyword"), {})}),
                 (QStringList{"memo", "2 件 / 一致 3 件", base + "/new.md", "memo", "memo"}));
        QCOMPARE(SearchStore::restorePersistedResults()->size(), 2);

        controller.setKeyword(QStringLiteral("absent"));
        controller.runSearch();
        QVERIFY(controller.hasSearched());
        QCOMPARE(controller.summary(), QStringLiteral("0 件"));
        QVERIFY(!SearchStore::restorePersistedResults());
    }

    // A search for a blank keyword clears as the clear button does: the editor is told to
    // highlight nothing rather than runs of spaces, and no results are kept; the history stays.
    void blankSearchAndClearEmptyThePage_data()
    {
        QTest::addColumn<bool>("clearButton");
        QTest::newRow("search for spaces") << false;
        QTest::newRow("clear button") << true;
    }
    void blankSearchAndClearEmptyThePage()
    {
        QFETCH(bool, clearButton);
        const auto controller = searchedForA();
        QSignalSpy cleared(controller.get(), &SearchController::cleared);
        QSignalSpy focus(controller.get(), &SearchController::focusKeywordFieldRequested);
        QSignalSpy synced(controller.get(), &SearchController::keywordSynced);
        if (clearButton) {
            controller->clearSearch();
        } else {
            controller->setKeyword(QStringLiteral("   "));
            QVERIFY(controller->results().isEmpty() && !controller->hasSearched());
            controller->runSearch();
        }
        QCOMPARE(synced, QList<QVariantList>{{QString()}});
        QVERIFY(controller->results().isEmpty() && !controller->hasSearched());
        QVERIFY(!SearchStore::restorePersistedResults());
        QCOMPARE(controller->history(), QStringList{"a"});
        if (clearButton) {
            QCOMPARE(controller->selectedFile() + controller->keyword(), QString());
            QCOMPARE((QList<qsizetype>{cleared.size(), focus.size()}), (QList<qsizetype>{1, 1}));
        }
    }

    void baseFolderChangeDropsResults()
    {
        const auto controller = searchedForA();
        m_env->useBaseFolder(QStringLiteral("other"));
        QVERIFY(controller->results().isEmpty());
        QVERIFY(!controller->hasSearched()); // no "0 件" for a folder that was never searched
        QCOMPARE(controller->keyword(), QStringLiteral("a"));
        QCOMPARE(controller->history(), QStringList{"a"});
    }

    void appearRestoresResultsForMatchingKeyword()
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

    // Each folder's files and subfolders in natural order: "proj-notes.md" before "Projects".
    // Hidden notes are listed. A save's temporary file is hidden and never ends in a note
    // extension. The application's state in Data is not a note; a folder of the user's with the
    // same name is.
    void quickOpenFilters_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("name or folder, any case")
            << "PROJ" << QStringList{"./proj-notes.md", "Projects/a.md", "Projects/b.txt"};
        QTest::newRow("the extension is part of the name, hidden notes too")
            << ".md" << QStringList{".obsidian/hidden.md", "./item 2.md",     "./item 10.md",
                                    "Notes/Data/kept.md",  "./proj-notes.md", "Projects/a.md",
                                    "会議/議事録.md"};
        QTest::newRow("Japanese") << "議事" << QStringList{"会議/議事録.md"};
        QTest::newRow("folder name only, not the path above") << "ects/a" << QStringList{};
        QTest::newRow("a Data folder of the user's, not the application's")
            << "data" << QStringList{"Notes/Data/kept.md"};
        QTest::newRow("nothing inside a trash folder, at any depth") << "trash" << QStringList{};
        QTest::newRow("note extensions in any case, no temporary file")
            << "upper" << QStringList{"./Upper.TXT"};
    }
    void quickOpenFilters()
    {
        QFETCH(QString, query);
        QFETCH(QStringList, expected);
        const QString base = m_env->useBaseFolder();
        for (const char *path :
             {"proj-notes.md", "Projects/a.md", "Projects/b.txt", "会議/議事録.md", "item 10.md",
              "item 2.md", ".obsidian/hidden.md", "Upper.TXT", "upper.png",
              ".Upper.TXT.quillmere-4242-Ab12Cd", "Notes/Data/kept.md", "Data/pinned_notes.txt",
              "Data/old/note.md", "Trash/old.md", "Projects/TRASH/old.md", "Notes/x/trash/old.md"})
            QVERIFY(TestFiles::write(base + u'/' + path, "", 1000));
        const QList<QuickOpen::Candidate> files = QuickOpen::gatherFiles(base);
        QStringList shown;
        for (const qsizetype i : QuickOpen::filteredFiles(files, query))
            shown.append(files[i].folderLabel + u'/' + files[i].fileName);
        QCOMPARE(shown, expected);
    }

    void quickOpenRecentListIsNewestThirty()
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

    // In the base folder, nested, below a base with a trailing slash, and outside (a sibling
    // sharing the base's prefix is outside): the full folder.
    void quickOpenFolderLabels()
    {
        const auto label = [](const char *file, const char *base) {
            return QuickOpen::relativeFolder(QString::fromUtf8(file), QString::fromUtf8(base));
        };
        QCOMPARE((QStringList{label("/b/n.md", "/b"), label("/b/A/B/n.md", "/b"),
                              label("/b/A/n.md", "/b/"), label("/b2/n.md", "/b")}),
                 (QStringList{".", "A/B", "A", "/b2"}));
    }

    // Wrapping with the arrow keys is driven through the palette in tst_searchwidgets.
    void quickOpenQueryStartsAtTheTop()
    {
        QuickOpenController controller;
        QVERIFY(!controller.selectedFile());
        controller.moveUp(); // nothing to move on an empty list
        QCOMPARE(controller.selectedIndex(), 0);
        QList<QuickOpen::Candidate> files;
        for (const QString &name : QStringList{"a.md", "b.md", "c.md"})
            files.append({u"/b/" + name, name, QStringLiteral("."), name, QStringLiteral("b"), 1});
        controller.setFiles(files);
        controller.moveDown();
        controller.setQuery(QStringLiteral("c"));
        QCOMPARE(controller.selectedIndex(), 0);
        QCOMPARE(controller.selectedFile(), QStringLiteral("/b/c.md"));
        controller.setQuery(QStringLiteral("zzz"));
        QVERIFY(!controller.selectedFile());
    }

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

QTEST_GUILESS_MAIN(TestSearchState)
#include "tst_searchstate.moc"
