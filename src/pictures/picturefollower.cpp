#include "pictures/picturefollower.h"

#include "platform/diagnostics.h"
#include "platform/folderlock.h"
#include "storage/notestore.h"
#include "storage/textfile.h"

#include <QFileInfo>

PictureFollower::PictureFollower(OpenNoteHandler openNote, QObject *parent)
    : QObject(parent), m_openNote(std::move(openNote))
{
    connect(&NoteStore::instance(), &NoteStore::changed, this, &PictureFollower::follow);
}

void PictureFollower::follow(const NoteChange &change)
{
    if (change.kind != NoteChange::Kind::moved)
        return;
    // After the announcement has reached everyone (and the open document follows the move), so
    // that no follower hears of the rewrite before the move itself.
    QMetaObject::invokeMethod(
        this,
        [this, oldPath = change.oldPath, newPath = change.path] {
            if (m_openNote && m_openNote(oldPath, newPath))
                return;
            if (!rewriteOnDisk(oldPath, newPath))
                Diagnostics::log(QStringLiteral("画像のパスを書き換えられませんでした: ") +
                                 newPath);
        },
        Qt::QueuedConnection);
}

bool PictureFollower::rewriteOnDisk(const QString &oldPath, const QString &newPath)
{
    // Under the lock another writer (the command line) takes too, so no line of theirs is lost
    // between the read and the write. The window never waits for it.
    const FolderLock lock(QFileInfo(newPath).absolutePath(), FolderLock::noWait);
    if (lock.isBusy())
        return false;
    const TextFileRead read = TextFile::readUtf8(newPath);
    if (!read.ok() || !read.writable)
        return false;
    const QList<PictureLinkEdit> edits = PictureLinks::editsForMove(read.text, oldPath, newPath);
    if (edits.isEmpty())
        return true;
    QString text = PictureLinks::apply(read.text, edits);
    if (read.byteOrderMark)
        text.prepend(QChar(0xFEFF));
    AtomicFile::Error error;
    return NoteStore::instance().writeNote(newPath, text, read.text, &error);
}
