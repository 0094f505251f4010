#include "common/heldfolderlock.h"
#include "common/testenvironment.h"
#include "common/testfiles.h"
#include "index/indexedsearch.h"
#include "links/linkfollower.h"
#include "links/linkresolver.h"
#include "links/linkrewrite.h"
#include "links/linktables.h"
#include "links/linkupdater.h"
#include "links/notehistory.h"
#include "links/notelinks.h"
#include "storage/notestore.h"

#include <QTest>

#include <memory>

using Status = LinkResolver::Resolution::Status;

class TestLinks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void parsesLinks_data();
    void parsesLinks();
    void resolves_data();
    void resolves();
    void findsTags_data();
    void findsTags();
    void foldsTagsToOne();
    void rewritesForMove_data();
    void rewritesForMove();
    void rewritesOnDiskAndReportsUnwritable();
    void indexAnswersBacklinksAndTags();
    void followsMovesWhenAsked_data();
    void drawsWikiLinksAsMarkdown();
    void walksBackAndForward();
    void findsWhereCompletionStarts_data();
    void findsWhereCompletionStarts();
    void findsWhereTagCompletionStarts_data();
    void findsWhereTagCompletionStarts();
    void followsMovesWhenAsked();
    void followsFolderMovesWhenAsked_data() { followsMovesWhenAsked_data(); }
    void followsFolderMovesWhenAsked();

private:
    QString base() const { return m_env->path(QStringLiteral("base")); }
    /// What a follower asked, and the open note's editor text as its edits left it.
    struct Asked
    {
        qsizetype links = -1;
        QStringList notes;
        QString editorText;
    };
    /// A follower over an index that knows the notes as they are now, answering `yes`, whose
    /// open note is `openNote` holding `asked.editorText`; none when the index cannot be made.
    std::unique_ptr<LinkFollower> follower(const QString &root, const QString &indexName,
                                           bool yes, const QString &openNote, Asked &asked)
    {
        const QString indexPath = m_env->path(indexName);
        {
            // The index knows the notes before the move, as the window's would.
            IndexedSearch search(root, indexPath);
            QString problem;
            if (!search.refresh(&problem)) {
                qWarning() << problem;
                return nullptr;
            }
        }
        LinkFollower::Handlers handlers;
        handlers.confirm = [&asked, yes](qsizetype links,
                                         const QList<LinkUpdater::Linker> &linkers) {
            asked.links = links;
            for (const LinkUpdater::Linker &linker : linkers)
                asked.notes.append(linker.path);
            return yes;
        };
        handlers.openNote = [&asked, openNote](const QString &path, const auto &edit) {
            if (path != openNote)
                return false;
            asked.editorText = edit(asked.editorText);
            return true;
        };
        return std::make_unique<LinkFollower>(handlers, nullptr, indexPath);
    }
    std::unique_ptr<TestEnvironment> m_env;
};

void TestLinks::parsesLinks_data()
{
    QTest::addColumn<QString>("text");
    // Each link as "target|heading|shown".
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("wiki forms") << QStringLiteral("[[会議メモ]] [[計画|予定]] [[計画#見出し|x]]")
                                << QStringList{u"会議メモ||"_qs, u"計画||予定"_qs,
                                               u"計画|見出し|x"_qs};
    QTest::newRow("markdown relative paths")
        << QStringLiteral("[計画](../仕事/計画.md) [a](my%20note.md#章) [b](<my note.md>)")
        << QStringList{u"../仕事/計画.md||計画"_qs, u"my note.md|章|a"_qs, u"my note.md||b"_qs};
    QTest::newRow("not notes: urls, pictures, other files")
        << QStringLiteral("[w](https://example.com/a.md) ![p](a.md) [f](file.pdf) [r](/abs.md)")
        << QStringList{};
    QTest::newRow("code spans and blocks are text")
        << QStringLiteral("`[[a]]` ``x [[b]] `` [[c]]\n```\n[[d]]\n```\n~~~~\n[[e]]\n~~~~\n[[f]]")
        << QStringList{u"c||"_qs, u"f||"_qs};
    QTest::newRow("unclosed fence swallows the rest")
        << QStringLiteral("[[a]]\n```\n[[b]]") << QStringList{u"a||"_qs};
    QTest::newRow("not across lines, not empty")
        << QStringLiteral("[[a\nb]] [[ ]] [[x]]") << QStringList{u"x||"_qs};
    QTest::newRow("front matter values count")
        << QStringLiteral("---\nauthor:\n  - \"[[Kevin Kelly]]\"\n---\n本文")
        << QStringList{u"Kevin Kelly||"_qs};
}

void TestLinks::parsesLinks()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    QStringList got;
    for (const NoteLinks::Link &link : NoteLinks::links(text)) {
        got.append(link.target + u'|' + link.heading + u'|' + link.shown);
        // The target's characters are where the rewrite will put the new name.
        if (link.kind == NoteLinks::Link::Kind::wiki)
            QCOMPARE(text.sliced(link.targetStart, link.targetLength).trimmed(), link.target);
    }
    QCOMPARE(got, expected);
}

void TestLinks::resolves_data()
{
    QTest::addColumn<QStringList>("notes");
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("from");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("paths");
    const QStringList notes{u"Notes/Memo.md"_qs,
                            u"仕事/計画.md"_qs,
                            u"趣味/計画.md"_qs,
                            u"アーカイブ/仕事/計画.md"_qs,
                            u"Notes/ｶﾞｲﾄﾞ.md"_qs,
                            u"Notes/ＡＢＣ.txt"_qs,
                            u"Daily/2026-12-07.txt"_qs,
                            u"Notes/2026-12-07.md"_qs,
                            u"Notes/Kafe\u0301.md"_qs,
                            u"a/Same.md"_qs,
                            u"b/same.md"_qs,
                            u"b/Other.md"_qs};
    const int found = int(Status::found), missing = int(Status::missing),
              ambiguous = int(Status::ambiguous);
    QTest::newRow("case") << notes << u"[[memo]]"_qs << u"x.md"_qs << found
                          << QStringList{u"Notes/Memo.md"_qs};
    QTest::newRow("half-width kana to full")
        << notes << u"[[ガイド]]"_qs << u"x.md"_qs << found << QStringList{u"Notes/ｶﾞｲﾄﾞ.md"_qs};
    QTest::newRow("full-width letters, case")
        << notes << u"[[abc]]"_qs << u"x.md"_qs << found << QStringList{u"Notes/ＡＢＣ.txt"_qs};
    QTest::newRow("NFC link, NFD file")
        << notes << u"[[kafé]]"_qs << u"x.md"_qs << found << QStringList{u"Notes/Kafe\u0301.md"_qs};
    QTest::newRow("two fits are ambiguous")
        << notes << u"[[計画]]"_qs << u"x.md"_qs << ambiguous
        << QStringList{u"アーカイブ/仕事/計画.md"_qs, u"仕事/計画.md"_qs, u"趣味/計画.md"_qs};
    QTest::newRow("the linker's own folder fits better")
        << notes << u"[[計画]]"_qs << u"趣味/日記.md"_qs << found
        << QStringList{u"趣味/計画.md"_qs};
    QTest::newRow("folder part: only inside that folder")
        << notes << u"[[趣味/計画]]"_qs << u"x.md"_qs << found << QStringList{u"趣味/計画.md"_qs};
    QTest::newRow("folder part fitting two folders")
        << notes << u"[[仕事/計画]]"_qs << u"x.md"_qs << ambiguous
        << QStringList{u"アーカイブ/仕事/計画.md"_qs, u"仕事/計画.md"_qs};
    QTest::newRow("folder part elsewhere is missing")
        << notes << u"[[Notes/計画]]"_qs << u"x.md"_qs << missing << QStringList{};
    QTest::newRow("exact spelling fits better than folded")
        << notes << u"[[Same]]"_qs << u"x.md"_qs << found << QStringList{u"a/Same.md"_qs};
    QTest::newRow("folded only, two equal") << notes << u"[[SAME]]"_qs << u"x.md"_qs << ambiguous
                                            << QStringList{u"a/Same.md"_qs, u"b/same.md"_qs};
    QTest::newRow("a date is the day's memo") << notes << u"[[2026-12-07]]"_qs << u"Notes/x.md"_qs
                                              << found << QStringList{u"Daily/2026-12-07.txt"_qs};
    QTest::newRow("heading and shown text do not matter")
        << notes << u"[[Other#章|見せる]]"_qs << u"x.md"_qs << found
        << QStringList{u"b/Other.md"_qs};
    QTest::newRow("markdown path from the linker's folder")
        << notes << u"[計画](../仕事/計画.md)"_qs << u"趣味/日記.md"_qs << found
        << QStringList{u"仕事/計画.md"_qs};
    QTest::newRow("markdown path folded") << notes << u"[m](notes/MEMO.md)"_qs << u"x.md"_qs
                                          << found << QStringList{u"Notes/Memo.md"_qs};
    QTest::newRow("markdown path leaving the base")
        << notes << u"[m](../../Memo.md)"_qs << u"Notes/x.md"_qs << missing << QStringList{};
}

void TestLinks::resolves()
{
    QFETCH(QStringList, notes);
    QFETCH(QString, link);
    QFETCH(QString, from);
    QFETCH(int, status);
    QFETCH(QStringList, paths);
    const QList<NoteLinks::Link> parsed = NoteLinks::links(link);
    QCOMPARE(parsed.size(), 1);
    const LinkResolver::Resolution resolution = LinkResolver(notes).resolve(parsed[0], from);
    QCOMPARE(int(resolution.status), status);
    QCOMPARE(resolution.paths, paths);
}

void TestLinks::findsTags_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("ascii, japanese, full-width, nested")
        << QStringLiteral("#tag と＃タグ、#仕事/会議 (#括弧)")
        << QStringList{u"tag"_qs, u"タグ"_qs, u"仕事/会議"_qs, u"括弧"_qs};
    QTest::newRow("headings stay headings")
        << QStringLiteral("# 見出し #no\n## 章\n#見出しではない")
        << QStringList{u"見出しではない"_qs};
    QTest::newRow("digits alone are not tags")
        << QStringLiteral("#123 #2026/12 #a1 #1a") << QStringList{u"a1"_qs, u"1a"_qs};
    QTest::newRow("not in code, links or words")
        << QStringLiteral("`#code` [[a#b]] [x](y.md#z) https://e.com/#frag a#b &#38;\n```\n#"
                          "fenced\n```\n#after")
        << QStringList{u"after"_qs};
    QTest::newRow("ending punctuation and slashes")
        << QStringLiteral("#end. #tail/ #a-b_c") << QStringList{u"end"_qs, u"tail"_qs, u"a-b_c"_qs};
    QTest::newRow("front matter list and string")
        << QStringLiteral("---\ntags:\n  - 仕事\n  - \"#会議\"\ntitle: #no\n---\n#本文")
        << QStringList{u"仕事"_qs, u"会議"_qs, u"本文"_qs};
    QTest::newRow("front matter flow list and plain string")
        << QStringLiteral("---\ntags: [a, b]\n---\n") << QStringList{u"a"_qs, u"b"_qs};
    QTest::newRow("front matter string") << QStringLiteral("---\ntags: 読書, メモ 旅\n---\n")
                                         << QStringList{u"読書"_qs, u"メモ"_qs, u"旅"_qs};
}

void TestLinks::findsTags()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    QStringList got;
    for (const NoteLinks::Tag &tag : NoteLinks::tags(text))
        got.append(tag.spelling);
    QCOMPARE(got, expected);
}

void TestLinks::foldsTagsToOne()
{
    // Width, case and composition do not make another tag; compatibility forms do.
    QCOMPARE(NoteLinks::fold(u"ＴＡＧ"), NoteLinks::fold(u"tag"));
    QCOMPARE(NoteLinks::fold(u"ﾀｸﾞ"), NoteLinks::fold(u"タグ"));
    QCOMPARE(NoteLinks::fold(u"Cafe\u0301"), NoteLinks::fold(u"café"));
    QVERIFY(NoteLinks::fold(u"①") != NoteLinks::fold(u"1"));
    QVERIFY(NoteLinks::fold(u"タグ") != NoteLinks::fold(u"たぐ"));
}

void TestLinks::rewritesForMove_data()
{
    QTest::addColumn<QString>("linker");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("oldPath");
    QTest::addColumn<QString>("newPath");
    QTest::addColumn<QString>("expected");
    QTest::newRow("shown text and heading kept")
        << u"x.md"_qs << u"[[計画]] [[計画|予定]] [[計画#章|見る]] [[計画#章]]"_qs
        << u"仕事/計画.md"_qs << u"仕事/方針.md"_qs
        << u"[[方針]] [[方針|予定]] [[方針#章|見る]] [[方針#章]]"_qs;
    QTest::newRow("code and other notes left alone")
        << u"x.md"_qs << u"`[[計画]]` [[計画x]] [[計画]]\n```\n[[計画]]\n```"_qs
        << u"仕事/計画.md"_qs << u"仕事/方針.md"_qs
        << u"`[[計画]]` [[計画x]] [[方針]]\n```\n[[計画]]\n```"_qs;
    QTest::newRow("spelling of other case still rewritten")
        << u"x.md"_qs << u"[[MEMO]] and [[memo.md]]"_qs << u"Memo.md"_qs << u"Note.md"_qs
        << u"[[Note]] and [[Note.md]]"_qs;
    QTest::newRow("folder part kept and moved")
        << u"x.md"_qs << u"[[仕事/計画]]"_qs << u"仕事/計画.md"_qs << u"旧/計画.md"_qs
        << u"[[旧/計画]]"_qs;
    QTest::newRow("folder added when the bare name would be ambiguous")
        << u"x.md"_qs << u"[[計画]]"_qs << u"仕事/計画.md"_qs << u"趣味/予定.md"_qs
        << u"[[趣味/予定]]"_qs;
    QTest::newRow("markdown paths, spelt as before")
        << u"趣味/日記.md"_qs << u"[a](../仕事/計画.md#章) [b](<../仕事/計画.md>)"_qs
        << u"仕事/計画.md"_qs << u"仕事/新しい 計画.md"_qs
        << u"[a](../仕事/新しい%20計画.md#章) [b](<../仕事/新しい 計画.md>)"_qs;
    QTest::newRow("the moved note's own relative links follow it")
        << u"深い/フォルダ/計画.md"_qs << u"[[計画]] [予定](予定.md)"_qs << u"仕事/計画.md"_qs
        << u"深い/フォルダ/計画.md"_qs << u"[[計画]] [予定](../../仕事/予定.md)"_qs;
}

void TestLinks::rewritesForMove()
{
    QFETCH(QString, linker);
    QFETCH(QString, text);
    QFETCH(QString, oldPath);
    QFETCH(QString, newPath);
    QFETCH(QString, expected);
    QStringList notes{oldPath, u"計画x.md"_qs, u"仕事/予定.md"_qs};
    if (linker != newPath)
        notes.append(linker);
    const LinkResolver before(notes);
    QCOMPARE(
        LinkRewrite::apply(text, LinkRewrite::editsForMove(text, linker, oldPath, newPath, before)),
        expected);
}

void TestLinks::rewritesOnDiskAndReportsUnwritable()
{
    const QString root = base();
    const QByteArray linking = "前 [[計画|予定]] 後\n";
    QVERIFY(TestFiles::write(root + u"/a/one.md"_qs, linking));
    QVERIFY(TestFiles::write(root + u"/b/two.md"_qs, "\xEF\xBB\xBF[[計画#章]]\r\n"));
    QVERIFY(TestFiles::write(root + u"/c/locked.md"_qs, linking));
    QVERIFY(TestFiles::write(root + u"/d/readonly.md"_qs, linking));
    QVERIFY(QFile::setPermissions(root + u"/d/readonly.md"_qs, QFile::ReadOwner));
    const QStringList notes{u"a/one.md"_qs, u"b/two.md"_qs, u"c/locked.md"_qs, u"d/readonly.md"_qs,
                            u"仕事/計画.md"_qs};
    const LinkUpdater updater(root, notes);
    const QList<LinkUpdater::Linker> linkers = updater.linkersOf(u"仕事/計画.md"_qs);
    QStringList linkerPaths;
    for (const LinkUpdater::Linker &linker : linkers)
        linkerPaths.append(linker.path);
    QCOMPARE(linkerPaths,
             (QStringList{u"a/one.md"_qs, u"b/two.md"_qs, u"c/locked.md"_qs, u"d/readonly.md"_qs}));
    const HeldFolderLock held(root + u"/c"_qs);
    const LinkUpdater::Outcome outcome = updater.rewrite(u"仕事/計画.md"_qs, u"仕事/新計画.md"_qs,
                                                         linkerPaths, std::chrono::milliseconds(0));
    QCOMPARE(outcome.updated, (QStringList{u"a/one.md"_qs, u"b/two.md"_qs}));
    QCOMPARE(outcome.failed, (QStringList{u"c/locked.md"_qs, u"d/readonly.md"_qs}));
    // Only the names changed: byte-order mark, line breaks and every other byte kept.
    QCOMPARE(TestFiles::read(root + u"/a/one.md"_qs), "前 [[新計画|予定]] 後\n");
    QCOMPARE(TestFiles::read(root + u"/b/two.md"_qs), "\xEF\xBB\xBF[[新計画#章]]\r\n");
    QCOMPARE(TestFiles::read(root + u"/c/locked.md"_qs), linking);
    QCOMPARE(TestFiles::read(root + u"/d/readonly.md"_qs), linking);
}

void TestLinks::indexAnswersBacklinksAndTags()
{
    const QString root = base();
    const QString vault = QStringLiteral(QUILLMERE_TEST_DATA "/linkvault");
    for (const QString &name : {u"References/Out of Control.md"_qs, u"References/Kevin Kelly.md"_qs,
                                u"Categories/Books.md"_qs, u"Daily/2023-09-12.md"_qs})
        QVERIFY(TestFiles::write(root + u'/' + name, TestFiles::read(vault + u'/' + name)));
    QVERIFY(TestFiles::write(root + u"/メモ.md"_qs,
                             "---\ntags: [読書]\n---\n#ＴＡＧ [[kevin kelly]]\n"));
    QVERIFY(TestFiles::write(root + u"/二.md"_qs, "#tag #読書\n"));
    IndexedSearch search(root, m_env->path(QStringLiteral("index.sqlite")));
    QString problem;
    QVERIFY2(search.refresh(&problem), qPrintable(problem));
    sqlite3 *db = search.index().handle();
    const auto rows = LinkTables::linksByKey(db, LinkResolver::nameKey(u"Kevin Kelly.md"_qs));
    QVERIFY(rows);
    QStringList linkers;
    for (const LinkTables::LinkRow &row : *rows)
        linkers.append(QString::fromUtf8(row.notePath) + u':' + QString::number(row.line));
    linkers.sort();
    // A link in the front matter has no body line; the body's lines count from the body.
    QCOMPARE(linkers, (QStringList{u"References/Out of Control.md:-1"_qs, u"メモ.md:0"_qs}));
    const auto tags = LinkTables::tagCounts(db);
    QVERIFY(tags);
    QStringList counted;
    for (const LinkTables::TagCount &tag : *tags)
        counted.append(tag.spelling + u'=' + QString::number(tag.notes));
    // "categories" is the real vault's front matter list.
    QCOMPARE(counted, (QStringList{u"categories=1"_qs, u"ＴＡＧ=2"_qs, u"読書=2"_qs}));
    const auto both =
        LinkTables::notesWithTags(db, {NoteLinks::fold(u"tag"), NoteLinks::fold(u"読書")});
    QVERIFY(both);
    QCOMPARE(both->size(), 2);
    // A note changed on disk drops its old rows.
    QVERIFY(
        TestFiles::write(root + u"/二.md"_qs, "なし\n", QDateTime::currentDateTime().addSecs(5)));
    QVERIFY2(search.refresh(&problem), qPrintable(problem));
    QCOMPARE(LinkTables::notesWithTags(db, {NoteLinks::fold(u"読書")})->size(), 1);
}

void TestLinks::followsMovesWhenAsked_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
}

void TestLinks::followsMovesWhenAsked()
{
    QFETCH(bool, yes);
    PathManager::setBaseFolderForProcess(base());
    const QString root = PathManager::standardizedPath(base());
    QVERIFY(TestFiles::write(root + u"/Notes/計画.md"_qs, "[[予定]] [a](予定.md)\n"));
    QVERIFY(TestFiles::write(root + u"/Notes/a.md"_qs, "[[計画|予定表]] と [[計画#章]]\n"));
    QVERIFY(TestFiles::write(root + u"/Notes/開いている.md"_qs, "x [[計画]]\n"));
    QVERIFY(TestFiles::write(root + u"/Notes/無関係.md"_qs, "[[計画x]] `[[計画]]`\n"));
    QVERIFY(TestFiles::write(root + u"/Notes/予定.md"_qs, "本文\n"));
    QVERIFY(QDir().mkpath(root + u"/Archive"_qs));
    // The open note, as its editor holds it (with an edit not saved yet).
    Asked asked{-1, {}, u"x [[計画]] 未保存\n"_qs};
    const auto linkFollower =
        follower(root, QStringLiteral("follow.sqlite"), yes, root + u"/Notes/開いている.md"_qs, asked);
    QVERIFY(linkFollower);
    AtomicFile::Error error;
    QVERIFY(NoteStore::instance().moveNote(root + u"/Notes/計画.md"_qs,
                                           root + u"/Archive/方針.md"_qs, &error));
    QTRY_COMPARE(asked.links, qsizetype(3));
    QCOMPARE(asked.notes, (QStringList{u"Notes/a.md"_qs, u"Notes/開いている.md"_qs}));
    QCOMPARE(TestFiles::read(root + u"/Notes/a.md"_qs),
             yes ? QByteArray("[[方針|予定表]] と [[方針#章]]\n")
                 : QByteArray("[[計画|予定表]] と [[計画#章]]\n"));
    QCOMPARE(asked.editorText, yes ? u"x [[方針]] 未保存\n"_qs : u"x [[計画]] 未保存\n"_qs);
    // The open note's file is the editor's to save.
    QCOMPARE(TestFiles::read(root + u"/Notes/開いている.md"_qs), "x [[計画]]\n");
    QCOMPARE(TestFiles::read(root + u"/Notes/無関係.md"_qs), "[[計画x]] `[[計画]]`\n");
    // The moved note's own relative path follows it either way.
    QCOMPARE(TestFiles::read(root + u"/Archive/方針.md"_qs), "[[予定]] [a](../Notes/予定.md)\n");
}

// A folder's move carries the links into its notes like a note's move, asked once for all of
// them; the notes inside keep their links to each other and reach the others from their new
// place, asked or not.
void TestLinks::followsFolderMovesWhenAsked()
{
    QFETCH(bool, yes);
    PathManager::setBaseFolderForProcess(base());
    const QString root = PathManager::standardizedPath(base());
    QVERIFY(TestFiles::write(root + u"/Notes/仕事/計画.md"_qs,
                             "[a](予定.md) [b](../外.md) [[予定]] [c](<../../Notes/外.md>)\n"));
    QVERIFY(TestFiles::write(root + u"/Notes/仕事/予定.md"_qs, "[[計画#章]]\n"));
    QVERIFY(TestFiles::write(root + u"/Notes/外.md"_qs,
                             "[x](仕事/計画.md) [[計画|表]] `[y](仕事/計画.md)` [z](外.md)\n"));
    QVERIFY(TestFiles::write(root + u"/Notes/開いている.md"_qs, "[p](仕事/予定.md#章)\n"));
    QVERIFY(QDir().mkpath(root + u"/Archive"_qs));
    Asked asked{-1, {}, u"[p](仕事/予定.md#章) 未保存\n"_qs};
    const auto linkFollower =
        follower(root, QStringLiteral("folder.sqlite"), yes, root + u"/Notes/開いている.md"_qs, asked);
    QVERIFY(linkFollower);
    AtomicFile::Error error;
    QVERIFY(NoteStore::instance().moveFolder(root + u"/Notes/仕事"_qs, root + u"/Archive/仕事"_qs,
                                             &error));
    QTRY_COMPARE(asked.links, qsizetype(2));
    QCOMPARE(asked.notes, (QStringList{u"Notes/外.md"_qs, u"Notes/開いている.md"_qs}));
    QCOMPARE(TestFiles::read(root + u"/Notes/外.md"_qs),
             yes ? QByteArray("[x](../Archive/仕事/計画.md) [[計画|表]] `[y](仕事/計画.md)` "
                              "[z](外.md)\n")
                 : QByteArray("[x](仕事/計画.md) [[計画|表]] `[y](仕事/計画.md)` [z](外.md)\n"));
    QCOMPARE(asked.editorText, yes ? u"[p](../Archive/仕事/予定.md#章) 未保存\n"_qs
                             : u"[p](仕事/予定.md#章) 未保存\n"_qs);
    QCOMPARE(TestFiles::read(root + u"/Notes/開いている.md"_qs), "[p](仕事/予定.md#章)\n");
    // Inside, either way: links between the folder's notes stay, the others follow.
    QCOMPARE(TestFiles::read(root + u"/Archive/仕事/計画.md"_qs),
             "[a](予定.md) [b](../../Notes/外.md) [[予定]] [c](<../../Notes/外.md>)\n");
    QCOMPARE(TestFiles::read(root + u"/Archive/仕事/予定.md"_qs), "[[計画#章]]\n");
}

void TestLinks::drawsWikiLinksAsMarkdown()
{
    QCOMPARE(NoteLinks::wikiLinksAsMarkdown(u"[[a b|見*せ*る]] `[[x]]` ![[e]] [[計画#章]]"),
             u"[見\\*せ\\*る](quillmere-note:a%20b) `[[x]]` [e](quillmere-note:e) "
             u"[計画 > 章](quillmere-note:%E8%A8%88%E7%94%BB#%E7%AB%A0)"_qs);
    const QUrl url(u"quillmere-note:a%20b#%E7%AB%A0"_qs);
    const NoteLinks::Link link =
        NoteLinks::linkFromNoteUrl(url.path(QUrl::FullyEncoded), url.fragment(QUrl::FullyEncoded));
    QCOMPARE(link.target, u"a b"_qs);
    QCOMPARE(link.heading, u"章"_qs);
}

void TestLinks::walksBackAndForward()
{
    NoteHistory history;
    QVERIFY(!history.back(u"a"_qs));
    history.followed(u"a"_qs); // a -> b
    history.followed(u"b"_qs); // b -> c
    QCOMPARE(history.back(u"c"_qs), u"b"_qs);
    QCOMPARE(history.back(u"b"_qs), u"a"_qs);
    QVERIFY(!history.back(u"a"_qs));
    QCOMPARE(history.forward(u"a"_qs), u"b"_qs);
    // A new link from b drops the way forward to c.
    history.followed(u"b"_qs);
    QVERIFY(!history.forward(u"d"_qs));
    history.moved(u"b"_qs, u"B"_qs);
    QCOMPARE(history.back(u"d"_qs), u"B"_qs);
    history.removed(u"a"_qs);
    QVERIFY(!history.back(u"B"_qs));
}

void TestLinks::findsWhereCompletionStarts_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("start");
    QTest::newRow("just opened") << u"前 [["_qs << 4;
    QTest::newRow("typing a name") << u"[[会議"_qs << 2;
    QTest::newRow("closed") << u"[[会議]] "_qs << -1;
    QTest::newRow("at the heading") << u"[[会議#"_qs << -1;
    QTest::newRow("at the shown text") << u"[[会議|"_qs << -1;
    QTest::newRow("in a code span") << u"`[["_qs << -1;
    QTest::newRow("after a code span") << u"`x` [[a"_qs << 6;
    QTest::newRow("no brackets") << u"会議"_qs << -1;
}

void TestLinks::findsWhereTagCompletionStarts_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("start");
    QTest::newRow("at the line's start") << u"#"_qs << 1;
    QTest::newRow("full-width, after kana") << u"メモ＃仕事/会"_qs << 3;
    QTest::newRow("a heading's space") << u"# "_qs << -1;
    QTest::newRow("second hash of a heading") << u"##"_qs << -1;
    QTest::newRow("inside a word") << u"C#"_qs << -1;
    QTest::newRow("in a code span") << u"`#ta"_qs << -1;
    QTest::newRow("after a space") << u"と #タ"_qs << 3;
}

void TestLinks::findsWhereTagCompletionStarts()
{
    QFETCH(QString, line);
    QFETCH(int, start);
    QCOMPARE(NoteLinks::tagCompletionStart(line), qsizetype(start));
}

void TestLinks::findsWhereCompletionStarts()
{
    QFETCH(QString, line);
    QFETCH(int, start);
    QCOMPARE(NoteLinks::completionStart(line), qsizetype(start));
}

QTEST_GUILESS_MAIN(TestLinks)
#include "tst_links.moc"
