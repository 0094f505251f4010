#include "app/contentview.h"

#include "editor/memoeditorview.h"
#include "links/linkfollower.h"
#include "preview/markdownpreviewpane.h"
#include "storage/memomanager.h"
#include "storage/pathmanager.h"

#include <QMessageBox>

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
}
