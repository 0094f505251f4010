#include "app/contentview.h"

#include "editor/markdowneditor.h"
#include "editor/memoeditorview.h"
#include "editor/notetextedit.h"
#include "links/backlinksview.h"
#include "links/linkcompleter.h"
#include "links/linkfollower.h"
#include "links/linkgraph.h"
#include "links/linktables.h"
#include "links/notelinks.h"
#include "links/tagsview.h"
#include "notes/notesbrowser.h"
#include "notes/notesview.h"
#include "platform/serialqueue.h"
#include "preview/markdownpreviewpane.h"
#include "preview/markdownpreviewview.h"
#include "search/notefiles.h"
#include "storage/memomanager.h"
#include "storage/notestore.h"
#include "storage/pathmanager.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QMouseEvent>
#include <QShortcut>
#include <QTabBar>

void ContentView::connectLinks()
{
    LinkFollower::Handlers handlers;
    handlers.confirm = [this](qsizetype links, const QList<LinkUpdater::Linker> &linkers) {
        QStringList names;
        for (const LinkUpdater::Linker &linker : linkers)
            names.append(QStringLiteral("%1（%2 件）").arg(linker.path).arg(linker.links));
        QMessageBox box(QMessageBox::Question, QStringLiteral("リンクの更新"),
                        QStringLiteral("%1 件のリンクを更新しますか？").arg(links),
                        QMessageBox::Yes | QMessageBox::No, window());
        box.setInformativeText(QStringLiteral("書き換えるノート:\n") + names.join(u'\n'));
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes;
    };
    handlers.openNote = [this](const QString &path,
                               const std::function<QString(const QString &)> &edit) {
        if (path != m_memo.currentFilePath() || !m_memo.isEditable())
            return false;
        // Through the editor, as the user's own edit: one undo step, saved and merged like
        // typing.
        const QString text = m_editor->text();
        const QString rewritten = edit(text);
        if (rewritten != text) {
            m_editor->replaceText(rewritten);
            m_sidePane->setMarkdownText(rewritten);
            edited();
        }
        return true;
    };
    handlers.report = [this](const QStringList &failed) {
        m_memo.showTemporaryMessage(QStringLiteral("リンクを更新できなかったノート: ") +
                                    failed.join(QStringLiteral("、")));
    };
    new LinkFollower(std::move(handlers), this);
    connectLinkNavigation();
    new LinkCompleter(
        m_editor->editor()->textEdit(),
        [] { return QuickOpen::gatherFiles(PathManager::baseFolderPath()); },
        [this] { return m_tagNames; }, this);

    m_linkGraph = std::make_shared<std::unique_ptr<LinkGraph>>();
    m_linkWorker = std::make_shared<SerialQueue>(QStringLiteral("links"));
    connect(&m_memo, &MemoManager::documentLoaded, this, &ContentView::refreshBacklinks);
    connect(&m_memo, &MemoManager::documentLoaded, this, &ContentView::refreshMissingLinks);
    m_sidePane->previewView()->setMissingLink([this](const QString &address) {
        if (m_missingLinks.isEmpty())
            return false;
        const QUrl url(address);
        if (url.scheme() == NoteLinks::noteScheme)
            return m_missingLinks.contains(
                QStringLiteral("w:") + NoteLinks::linkFromNoteUrl(url.path(QUrl::FullyEncoded),
                                                                  url.fragment(QUrl::FullyEncoded))
                                           .target);
        return url.isRelative() && m_missingLinks.contains(QStringLiteral("m:") + url.path());
    });
    // The tags for completion, whichever page is shown.
    connect(&m_memo, &MemoManager::documentLoaded, this, &ContentView::refreshTags);
    connect(&m_memo, &MemoManager::saved, this, [this] {
        if (m_sidePane->selectedTab() == MarkdownPreviewPane::SideTab::links)
            refreshBacklinks();
    });
    connect(m_sidePane->tabBar(), &QTabBar::currentChanged, this, [this] {
        if (m_sidePane->selectedTab() == MarkdownPreviewPane::SideTab::links)
            refreshBacklinks();
    });
    connect(&m_notes->browser(), &NotesBrowser::notesChanged, this, &ContentView::refreshTags);
    connect(m_notes->tagsView(), &TagsView::chosenChanged, this, &ContentView::filterByTags);
    connect(m_sidePane->backlinksView(), &BacklinksView::rowActivated, this,
            [this](const QString &filePath, int line) {
                openLinkedNote(filePath, line < 0 ? 0 : line);
            });
}

void ContentView::refreshBacklinks()
{
    BacklinksView *view = m_sidePane->backlinksView();
    const QString current = m_memo.currentFilePath();
    const QString base = PathManager::standardizedPath(PathManager::baseFolderPath());
    const QString root = base + u'/';
    const quint64 request = ++m_backlinksRequest;
    if (!current.startsWith(root)) {
        view->clear();
        return;
    }
    // Only while the tab is shown: the stat walk is not for every switch of note.
    if (m_sidePane->selectedTab() != MarkdownPreviewPane::SideTab::links)
        return;
    const QString note = current.sliced(root.size());
    m_linkWorker->submit([this, graph = m_linkGraph, base, root, note, request] {
        if (!*graph || (*graph)->baseFolder() != base)
            *graph = std::make_unique<LinkGraph>(base);
        QString problem;
        QList<BacklinksView::Row> links;
        QList<BacklinksView::Row> mentions;
        bool ok = (*graph)->refresh(&problem);
        if (ok) {
            const auto linked = (*graph)->backlinks(note, &problem);
            const auto mentioned =
                linked ? (*graph)->unlinkedMentions(note, &problem) : std::nullopt;
            ok = linked && mentioned;
            if (ok) {
                for (const LinkGraph::Mention &row : *linked)
                    links.append({root + row.path, row.line, row.text});
                for (const LinkGraph::Mention &row : *mentioned)
                    mentions.append({root + row.path, row.line, row.text});
            }
        }
        QMetaObject::invokeMethod(
            this,
            [this, request, ok, problem, links, mentions] {
                // An answer for a note no longer open is dropped.
                if (request != m_backlinksRequest)
                    return;
                if (ok)
                    m_sidePane->backlinksView()->setRows(links, mentions);
                else
                    m_sidePane->backlinksView()->clear(
                        QStringLiteral("リンクを調べられませんでした（") + problem +
                        QStringLiteral("）"));
            },
            Qt::QueuedConnection);
    });
}

void ContentView::refreshMissingLinks()
{
    const QString current = m_memo.currentFilePath();
    const QString base = PathManager::standardizedPath(PathManager::baseFolderPath());
    const QString root = base + u'/';
    const quint64 request = ++m_missingLinksRequest;
    const QString text = m_editor->text();
    const QList<NoteLinks::Link> links =
        current.startsWith(root) ? NoteLinks::links(text) : QList<NoteLinks::Link>();
    if (links.isEmpty()) {
        if (!m_missingLinks.isEmpty()) {
            m_missingLinks.clear();
            m_sidePane->previewView()->missingLinksChanged();
        }
        return;
    }
    const QString note = current.sliced(root.size());
    m_linkWorker->submit([this, graph = m_linkGraph, base, note, links, request] {
        if (!*graph || (*graph)->baseFolder() != base)
            *graph = std::make_unique<LinkGraph>(base);
        QString problem;
        QSet<QString> missing;
        // Without an index nothing is drawn as missing: a click still finds out.
        if ((*graph)->refresh(&problem)) {
            for (const NoteLinks::Link &link : links) {
                if ((*graph)->resolver().resolve(link, note).status ==
                    LinkResolver::Resolution::Status::missing)
                    missing.insert((link.kind == NoteLinks::Link::Kind::wiki
                                        ? QStringLiteral("w:")
                                        : QStringLiteral("m:")) +
                                   link.target);
            }
        }
        QMetaObject::invokeMethod(
            this,
            [this, request, missing] {
                // An answer for a note no longer open is dropped.
                if (request != m_missingLinksRequest)
                    return;
                m_missingLinks = missing;
                m_sidePane->previewView()->missingLinksChanged();
            },
            Qt::QueuedConnection);
    });
}

namespace {

/// Hands mouse presses to `handler`; a true answer swallows them.
class PressFilter : public QObject
{
public:
    PressFilter(std::function<bool(QMouseEvent *)> handler, QObject *parent)
        : QObject(parent), m_handler(std::move(handler))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonPress &&
            m_handler(static_cast<QMouseEvent *>(event)))
            return true;
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<bool(QMouseEvent *)> m_handler;
};

/// The notes below the base folder, as paths below it.
QStringList notesBelow(const QString &base)
{
    const NoteFiles::NoteFileList list = NoteFiles::listNoteFiles(base);
    QStringList paths;
    paths.reserve(list.files.size());
    for (const NoteFiles::File &file : list.files) {
        const QString &folder = list.folders[file.folder].relativePath;
        paths.append(folder.isEmpty() ? file.name : folder + u'/' + file.name);
    }
    return paths;
}

} // namespace

void ContentView::connectLinkNavigation()
{
    connect(m_sidePane->previewView(), &MarkdownPreviewView::linkActivated, this,
            &ContentView::followLinkUrl);
    NoteTextEdit *edit = m_editor->editor()->textEdit();
    edit->viewport()->installEventFilter(new PressFilter(
        [this, edit](QMouseEvent *event) {
            if (event->button() != Qt::LeftButton ||
                (event->modifiers() & ~Qt::ShiftModifier) != Qt::ControlModifier)
                return false;
            return followLinkAt(edit->cursorForPosition(event->position().toPoint()).position());
        },
        this));
    // The mouse's back and forward buttons, anywhere in the window.
    qApp->installEventFilter(new PressFilter(
        [this](QMouseEvent *event) {
            if (event->button() != Qt::BackButton && event->button() != Qt::ForwardButton)
                return false;
            if (!isVisible() || !isActiveWindow())
                return false;
            goAlongLinks(event->button() == Qt::BackButton);
            return true;
        },
        this));
    auto *back = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Left), this);
    back->setContext(Qt::WindowShortcut);
    connect(back, &QShortcut::activated, this, [this] { goAlongLinks(true); });
    auto *forward = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Right), this);
    forward->setContext(Qt::WindowShortcut);
    connect(forward, &QShortcut::activated, this, [this] { goAlongLinks(false); });
    connect(&NoteStore::instance(), &NoteStore::changed, this, [this](const NoteChange &change) {
        // A note that comes or goes may make a link of the open note lead somewhere, or nowhere.
        if (change.kind != NoteChange::Kind::saved &&
            change.kind != NoteChange::Kind::folderCreated)
            refreshMissingLinks();
        if (change.kind == NoteChange::Kind::moved)
            m_linkHistory.moved(change.oldPath, change.path);
        else if (change.kind == NoteChange::Kind::deleted)
            m_linkHistory.removed(change.path);
    });
}

void ContentView::followLinkUrl(const QUrl &url)
{
    if (url.scheme() == NoteLinks::noteScheme) {
        followLinkTarget(NoteLinks::linkFromNoteUrl(url.path(QUrl::FullyEncoded),
                                                    url.fragment(QUrl::FullyEncoded))
                             .target,
                         false);
        return;
    }
    if (url.isRelative() && !url.path().isEmpty()) {
        const QString path = url.path();
        if (path.endsWith(QLatin1String(".md"), Qt::CaseInsensitive) ||
            path.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive))
            followLinkTarget(path, true);
    }
}

bool ContentView::followLinkAt(qsizetype position)
{
    const QString text = m_editor->text();
    for (const NoteLinks::Link &link : NoteLinks::links(text)) {
        if (position < link.start || position >= link.start + link.length)
            continue;
        followLinkTarget(link.target, link.kind == NoteLinks::Link::Kind::markdown);
        return true;
    }
    return false;
}

void ContentView::followLinkTarget(const QString &target, bool markdown)
{
    const QString base = PathManager::standardizedPath(PathManager::baseFolderPath());
    const QString root = base + u'/';
    const QString current = m_memo.currentFilePath();
    const QString from = current.startsWith(root) ? current.sliced(root.size()) : QString();
    NoteLinks::Link link;
    link.kind = markdown ? NoteLinks::Link::Kind::markdown : NoteLinks::Link::Kind::wiki;
    link.target = target;
    const LinkResolver resolver(notesBelow(base));
    const LinkResolver::Resolution resolution = resolver.resolve(link, from);
    switch (resolution.status) {
    case LinkResolver::Resolution::Status::found:
        openLinkedNote(root + resolution.paths.first());
        return;
    case LinkResolver::Resolution::Status::ambiguous: {
        QMessageBox box(QMessageBox::Information, QStringLiteral("リンク"),
                        QStringLiteral("「%1」に当てはまるノートが複数あります").arg(target),
                        QMessageBox::Ok, window());
        box.setInformativeText(resolution.paths.join(u'\n'));
        box.exec();
        return;
    }
    case LinkResolver::Resolution::Status::missing:
        break;
    }
    if (resolution.createPath.isEmpty())
        return;
    const QString path = root + resolution.createPath;
    QMessageBox ask(QMessageBox::Question, QStringLiteral("リンク"),
                    QStringLiteral("「%1」はまだありません。作成しますか？").arg(target),
                    QMessageBox::Yes | QMessageBox::No, window());
    ask.setInformativeText(resolution.createPath);
    if (ask.exec() != QMessageBox::Yes)
        return;
    QDir().mkpath(QFileInfo(path).absolutePath());
    AtomicFile::Error error;
    bool taken = false;
    // Made only when nothing is there: an existing file is opened, never replaced.
    if (!NoteStore::instance().createNote(path, QByteArray(), &error, &taken) && !taken) {
        m_memo.showTemporaryMessage(QStringLiteral("ノートを作成できませんでした: ") +
                                    error.reason());
        return;
    }
    openLinkedNote(path);
}

bool ContentView::openLinkedNote(const QString &filePath, qint64 line)
{
    const QString from = m_memo.currentFilePath();
    if (filePath != from && !loadDocument(filePath))
        return false;
    if (filePath != from)
        m_linkHistory.followed(from);
    if (line >= 0)
        m_editor->scrollToLine(line);
    m_editor->editor()->focusEditor();
    return true;
}

void ContentView::goAlongLinks(bool back)
{
    const QString current = m_memo.currentFilePath();
    NoteHistory trial = m_linkHistory;
    const std::optional<QString> next = back ? trial.back(current) : trial.forward(current);
    if (!next)
        return;
    // Only once the switch happened (the open note saved) does the history move.
    if (!loadDocument(*next))
        return;
    m_linkHistory = trial;
    m_editor->editor()->focusEditor();
}

void ContentView::refreshTags()
{
    const QString base = PathManager::standardizedPath(PathManager::baseFolderPath());
    const quint64 request = ++m_tagsRequest;
    m_linkWorker->submit([this, graph = m_linkGraph, base, request] {
        if (!*graph || (*graph)->baseFolder() != base)
            *graph = std::make_unique<LinkGraph>(base);
        QString problem;
        QList<TagsView::Tag> tags;
        if ((*graph)->refresh(&problem)) {
            if (const auto counts = LinkTables::tagCounts((*graph)->search().index().handle())) {
                for (const LinkTables::TagCount &count : *counts)
                    tags.append({count.key, count.spelling, count.notes});
            }
        }
        QMetaObject::invokeMethod(
            this,
            [this, request, tags] {
                if (request != m_tagsRequest)
                    return;
                m_notes->tagsView()->setTags(tags);
                m_tagNames.clear();
                for (const TagsView::Tag &tag : tags)
                    m_tagNames.append(tag.spelling);
            },
            Qt::QueuedConnection);
    });
}

void ContentView::filterByTags(const QStringList &keys)
{
    const QString base = PathManager::standardizedPath(PathManager::baseFolderPath());
    const quint64 request = ++m_tagFilterRequest;
    if (keys.isEmpty()) {
        m_notes->browser().setTagFilter(std::nullopt);
        return;
    }
    m_linkWorker->submit([this, graph = m_linkGraph, base, keys, request] {
        if (!*graph || (*graph)->baseFolder() != base)
            *graph = std::make_unique<LinkGraph>(base);
        QString problem;
        QSet<QString> paths;
        if ((*graph)->refresh(&problem)) {
            if (const auto found =
                    LinkTables::notesWithTags((*graph)->search().index().handle(), keys)) {
                for (const QByteArray &path : *found)
                    paths.insert(base + u'/' + QFile::decodeName(path));
            }
        }
        QMetaObject::invokeMethod(
            this,
            [this, request, paths] {
                if (request == m_tagFilterRequest)
                    m_notes->browser().setTagFilter(paths);
            },
            Qt::QueuedConnection);
    });
}
