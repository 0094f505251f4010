#include "app/contentview.h"

#include "editor/markdowneditor.h"
#include "editor/memoeditorview.h"
#include "editor/notetextedit.h"
#include "pictures/pictureclipboard.h"
#include "pictures/picturefollower.h"
#include "pictures/picturelinks.h"
#include "platform/clock.h"
#include "preview/markdownpreviewpane.h"
#include "storage/memomanager.h"

void ContentView::connectPictures()
{
    m_editor->editor()->textEdit()->setPictureHandler(
        {&PictureClipboard::hasPictures,
         [this](const QMimeData *mime) { return storePictures(mime); }});
    new PictureFollower(
        [this](const QString &oldPath, const QString &newPath) {
            return followOpenNoteMove(oldPath, newPath);
        },
        this);
}

std::optional<QString> ContentView::storePictures(const QMimeData *mime)
{
    const QString notePath = m_memo.currentFilePath();
    if (notePath.isEmpty() || !m_memo.isEditable())
        return std::nullopt;
    QString error;
    const auto pictures = PictureClipboard::pictures(
        mime, Clock::current().now().toTimeZone(Clock::current().timeZone()), &error);
    if (pictures.isEmpty()) {
        m_memo.showTemporaryMessage(PictureAssets::saveFailedMessage + QStringLiteral(": ") +
                                    error);
        return std::nullopt;
    }
    const PictureAssets::Stored stored = PictureAssets::store(notePath, pictures);
    if (!stored.ok()) {
        m_memo.showTemporaryMessage(stored.error);
        return std::nullopt;
    }
    return stored.markdown;
}

bool ContentView::followOpenNoteMove(const QString &oldPath, const QString &newPath)
{
    const QString open = m_memo.currentFilePath();
    if (open.isEmpty() || (open != oldPath && open != newPath))
        return false;
    if (!m_memo.isEditable())
        return true;
    // Through the editor, as the user's own edit: one undo step, saved and merged like typing.
    const QString text = m_editor->text();
    const QList<PictureLinkEdit> edits = PictureLinks::editsForMove(text, oldPath, newPath);
    if (edits.isEmpty())
        return true;
    const QString rewritten = PictureLinks::apply(text, edits);
    m_editor->replaceText(rewritten);
    m_sidePane->setMarkdownText(rewritten);
    edited();
    return true;
}
