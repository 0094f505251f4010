#pragma once

#include "storage/notedocument.h"
#include "storage/textfile.h"

#include <QDate>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <optional>
#include <variant>

class QFileSystemWatcher;
class QTimer;

/// What the editor is asked to show: nothing, the daily memo of a day, or a file.
using MemoItem = std::variant<std::monostate, QDate, QString>;

/// What became of a save.
struct SaveOutcome
{
    enum class Status {
        NothingToSave, ///< no document, or the text is what the file already holds
        Saved,         ///< the text was written
        Merged,        ///< another program had changed the file: both changes were written
        Conflicted,    ///< both changed the same lines: the other program's file was kept and
                       ///< the text written beside it (conflictPath); the document now shows
                       ///< the other program's file
        Unmerged,      ///< another program had changed the file and the two could not be merged
                       ///< (the merge could not run, or the file can no longer be read): as
                       ///< Conflicted, their file kept and the text written to conflictPath
        Failed,        ///< nothing was written; the edits exist only in the editor
        Refused,       ///< the document is read-only because its file could not be read
        Busy,          ///< another program holds the folder's lock: nothing was written, the
                       ///< edits exist only in the editor; try again shortly
        Restored,      ///< the file had gone (another program deleted or moved it): the text
                       ///< was written to its path again
    };
    Status status = Status::NothingToSave;
    QString conflictPath;

    /// The user's text is safely on disk (or there was nothing to write).
    bool succeeded() const
    {
        return status != Status::Failed && status != Status::Refused && status != Status::Busy;
    }
};

/// What a status message reports: shown in the success or the error colour.
enum class MessageKind { success, failure };

/// Whether a save tells the user it happened ("保存しました"). Failures and merges are always
/// told.
enum class SaveAnnouncement { announced, quiet };

/// The state of the one document a window edits, a daily memo or a note file: the file's path,
/// its header and Joplin metadata kept aside, and the text last read from or written to disk.
/// The text being edited is not kept here: the editor holds it, and hands it to save().
///
/// Reading keeps the header and any Joplin metadata apart so the editor sees only the body. A
/// file that exists but cannot be read (or is not UTF-8) is opened read-only and is never
/// written over. Saving never overwrites what another program wrote in the meantime: under a
/// folder lock, the file on disk is compared with what was last read or written, and a change
/// is merged three ways (or, when both changed the same lines, the text goes to a conflict copy
/// beside the file). The open file is watched, so such changes are noticed while the window is
/// active. Main thread only.
class MemoManager : public QObject
{
    Q_OBJECT

public:
    explicit MemoManager(QObject *parent = nullptr);
    ~MemoManager() override;

    // Messages shown in the editor's toolbar.
    static inline const QString savedMessage = QStringLiteral("保存しました");
    static inline const QString saveFailedMessage = QStringLiteral("保存できませんでした");
    static inline const QString emptyNameMessage = QStringLiteral("名前が空です");
    static inline const QString nameTakenMessage = QStringLiteral("同名のファイルがあります");
    static inline const QString renameFailedMessage = QStringLiteral("名前の変更に失敗しました");
    static inline const QString unreadableMessage =
        QStringLiteral("このファイルは読み込めませんでした");
    static inline const QString readOnlySaveMessage =
        QStringLiteral("読み込めなかったファイルのため保存しません");
    static inline const QString writeProtectedMessage =
        QStringLiteral("書き込みの権限がないファイルのため、読み取り専用で開きました");
    static inline const QString writeProtectedSaveMessage =
        QStringLiteral("書き込みの権限がないファイルのため保存しません");
    static inline const QString foreignNameMessage =
        QStringLiteral("ファイル名が UTF-8 ではないため、読み取り専用で開きました");
    static inline const QString foreignNameSaveMessage =
        QStringLiteral("ファイル名が UTF-8 ではないため保存しません");
    static inline const QString mergedMessage =
        QStringLiteral("他のアプリケーションでの変更と合わせて保存しました");
    /// Followed by the conflict copy's file name.
    static inline const QString conflictMessage = QStringLiteral(
        "他のアプリケーションと同じ箇所が変更されたため、別のファイルに保存しました: ");
    static inline const QString busyMessage = QStringLiteral("他のプログラムが書き込み中です");
    static inline const QString restoredMessage =
        QStringLiteral("他のアプリケーションで削除または移動されたファイルを書き戻しました");
    static inline const QString goneMessage =
        QStringLiteral("ファイルが他のアプリケーションで削除または移動されました");
    /// Followed by the copy's file name: another program changed the file, and the changes
    /// could not be combined at all.
    static inline const QString unmergedMessage = QStringLiteral(
        "他のアプリケーションでの変更と合わせられなかったため、別のファイルに保存しました: ");

    /// The body as last read from or written to disk: the reference for the modified flag and
    /// the base of a merge. Never the header or the Joplin metadata.
    const QString &loadedBody() const { return m_loadedBody; }
    bool isModified() const { return m_isModified; }
    /// The document's file; empty when no document is open.
    const QString &currentFilePath() const { return m_currentFilePath; }
    const QString &temporaryMessage() const { return m_temporaryMessage; }
    MessageKind temporaryMessageKind() const { return m_temporaryMessageKind; }
    /// The header as the next save will write it.
    const QString &headerYAML() const { return m_headerYAML; }
    /// True when the file has no header of its own yet.
    bool headerIsPending() const { return m_headerIsPending; }
    const QString &joplinHeaderYAML() const { return m_joplinHeaderYAML; }
    /// The modification date shown for the document; invalid when there is none.
    const QDateTime &statusModificationDate() const { return m_statusModificationDate; }
    /// False when the file could not be read: the document is shown empty and read-only, and
    /// saving is refused so the file on disk stays as it is.
    bool isEditable() const { return m_isEditable; }
    /// Why the open file could not be read, or why it is read-only; empty when it is editable.
    const QString &loadError() const { return m_loadError; }
    /// Why the last failed save failed, in the user's words (AtomicFile::Error::reason).
    const QString &saveFailureReason() const { return m_saveFailureReason; }
    /// The open file was on disk when last read or written and is not there now: another
    /// program deleted it or moved it (or its folder) away.
    bool fileIsGone() const;
    /// False when the file exists but could not be read: nothing of it is shown. A file that
    /// was read but may not be written (no write permission, a name that is not UTF-8) is
    /// readable and not editable.
    bool isReadable() const { return m_isReadable; }

    /// Watches the open file, so that changes made by other programs are noticed at once
    /// (diskChanged()); off by default (the command line has no use for it).
    void setWatchingFile(bool watching);

    void loadItem(const MemoItem &item);
    void loadMemo(const QDate &date);
    void loadFile(const QString &filePath) { loadItem(filePath); }
    void clearDocument();

    /// Writes `body` (the editor's text) with the completed header, merging what another
    /// program changed since the file was last read or written. Nothing is written when `body`
    /// is the loaded body. On success the loaded body is what the file now holds. Never waits
    /// for the folder's lock: when another program holds it, nothing is written (Busy).
    SaveOutcome save(const QString &body,
                     SaveAnnouncement announcement = SaveAnnouncement::announced);

    /// isModified = (`body` differs from the loaded body).
    void updateModifiedFlag(const QString &body);
    void markModified();

    /// The file's text on disk when another program changed it since it was loaded or saved,
    /// unless that same text was already declined.
    std::optional<QString> externalChangeText() const;
    /// Reads the file again and takes it as the document; unsaved edits are dropped. False
    /// (nothing changes) when it cannot be read.
    bool reloadFromDisk();
    /// When the file on disk is readable and differs from what was last read or written, takes
    /// it as the document (as reloadFromDisk) and returns true.
    bool reloadIfChangedOnDisk();
    void setDeclinedExternalContent(const std::optional<QString> &text)
    {
        m_declinedExternalContent = text;
    }

    /// Another part of the program moved the open file (or its folder) from `oldPath` to
    /// `newPath`, after saving it: the document follows without touching the disk.
    void followMovedFile(const QString &oldPath, const QString &newPath);

    /// Renames the open note (not a daily memo) to `newName` plus its current extension. The
    /// document must be saved first: a modified document is not renamed.
    bool renameCurrentFile(const QString &newName);

    /// Shows `text` for the message duration; a newer message is not cut short by an older
    /// one's timer. Most messages report a failure; a save reports success.
    void showTemporaryMessage(const QString &text, MessageKind kind = MessageKind::failure);
    void setMessageDurationForTesting(int msec) { m_messageDurationMsec = msec; }

    /// The name cleaned of characters that cannot or should not appear in a file name.
    static QString sanitizeFileName(const QString &name);
    /// Where the text of `filePath` goes when it conflicts with another program's changes:
    /// "<name> (競合 yyyy-MM-dd HHmmss).<ext>" beside it, at local time `when`.
    static QString conflictCopyPath(const QString &filePath, const QDateTime &when);

Q_SIGNALS:
    /// Another document was loaded (or the document was cleared): show loadedBody() afresh.
    void documentLoaded();
    /// The same document's body was replaced (a reload or a merge): show loadedBody() in place.
    void bodyReplaced();
    /// The open file changed on disk, and not by this document's own save.
    void diskChanged();
    void isModifiedChanged(bool modified);
    void currentFilePathChanged();
    void temporaryMessageChanged();
    void headerChanged();
    void statusModificationDateChanged();
    void editableChanged();
    /// A save wrote the file (also quietly): lists and marks that show files follow.
    void saved();

private:
    struct DiskCheck;

    void loadPath(const QString &filePath);
    /// Whether the document just read may be edited and saved; the message that tells the
    /// user why not (empty when it may).
    QString takeAccess(const TextFileRead &read);
    void applyLoadedText(const QString &text, const QString &filePath, const FileStamp &stamp);
    void refreshHeader();
    DiskCheck checkDisk() const;
    SaveOutcome writeBody(const QString &body, SaveAnnouncement announcement);
    SaveOutcome writeConflictCopy(const QString &body, const DiskCheck &disk,
                                  SaveOutcome::Status status);
    bool writeText(const QString &text, const std::optional<QString> &previousText,
                   AtomicFile::Error *error);
    SaveOutcome failSave(const AtomicFile::Error &error);
    void setModified(bool modified);
    void setCurrentFilePath(const QString &filePath);
    void setStatusModificationDate(const QDateTime &date);
    void setEditable(bool editable, const QString &error);
    void watchCurrentFile();
    void onWatchedPathChanged();

    bool m_isModified = false;
    QString m_currentFilePath;
    QString m_temporaryMessage;
    MessageKind m_temporaryMessageKind = MessageKind::failure;
    QString m_headerYAML;
    bool m_headerIsPending = false;
    QString m_joplinHeaderYAML;
    QDateTime m_statusModificationDate;
    bool m_isEditable = true;
    bool m_isReadable = true;
    /// Why a save is refused while the document is not editable.
    QString m_refusalMessage;
    QString m_loadError;
    QString m_saveFailureReason;

    QString m_originalText;
    FileStamp m_originalStamp;
    QString m_loadedBody;
    std::optional<NoteFrontMatter> m_managedFrontMatter;
    std::optional<QString> m_joplinYAML;
    bool m_joplinIsTrailing = false;
    NoteLayout m_layout;
    std::optional<QDateTime> m_fileCreatedDate;
    std::optional<QDateTime> m_fileModifiedDate;
    std::optional<QString> m_declinedExternalContent;
    int m_messageDurationMsec = 3000;

    QFileSystemWatcher *m_watcher = nullptr;
    QTimer *m_watchDebounce = nullptr;
};
