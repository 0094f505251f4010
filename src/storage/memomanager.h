#pragma once

#include "storage/notedocument.h"

#include <QDate>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <optional>
#include <variant>

/// What the editor is asked to show: nothing, the daily memo of a day, or a file.
using MemoItem = std::variant<std::monostate, QDate, QString>;

/// The model of the one document a window edits: a daily memo or a note file.
///
/// It reads the file and splits it, so the editor sees only the body while the header and any
/// Joplin metadata are kept aside and written back on save; tracks whether the body changed;
/// renames the file; notices changes made by other programs; and shows short status messages.
/// A file that exists but cannot be read (or is not UTF-8) is opened read-only and is never
/// written over. Main thread only.
class MemoManager : public QObject
{
    Q_OBJECT

public:
    explicit MemoManager(QObject *parent = nullptr);

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

    /// The body being edited (never the header or the Joplin metadata).
    const QString &memoText() const { return m_memoText; }
    /// The view copies edited text here, then calls updateModifiedFlag().
    void setMemoText(const QString &text);
    bool isModified() const { return m_isModified; }
    /// The document's file; empty when no document is open.
    const QString &currentFileURL() const { return m_currentFileURL; }
    const QString &temporaryMessage() const { return m_temporaryMessage; }
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
    /// Why the open file could not be read; empty when it could.
    const QString &loadError() const { return m_loadError; }

    void loadItem(const MemoItem &item);
    void loadMemo(const QDate &date);
    void loadFile(const QString &filePath) { loadItem(filePath); }
    void clearDocument();

    /// Writes the document when it is modified. Returns true when the file was written.
    bool save();

    void updateModifiedFlag();
    void markModified();

    /// The file's text on disk when another program changed it since it was loaded or saved,
    /// unless that same text was already declined.
    std::optional<QString> externalChangeText() const;
    void reloadFromDisk(const QString &text);
    const std::optional<QString> &declinedExternalContent() const
    {
        return m_declinedExternalContent;
    }
    void setDeclinedExternalContent(const std::optional<QString> &text)
    {
        m_declinedExternalContent = text;
    }

    /// Another part of the program moved the open file (or its folder) from `oldPath` to
    /// `newPath`, after saving it: the document follows without touching the disk.
    void followMovedFile(const QString &oldPath, const QString &newPath);

    /// Renames the open note (not a daily memo) to `newName` plus its current extension.
    bool renameCurrentFile(const QString &newName);

    /// Shows `text` for the message duration; a newer message is not cut short by an older
    /// one's timer.
    void showTemporaryMessage(const QString &text);
    void setMessageDurationForTesting(int msec) { m_messageDurationMsec = msec; }

    /// The name cleaned of characters that cannot or should not appear in a file name.
    static QString sanitizeFileName(const QString &name);

Q_SIGNALS:
    void memoTextChanged();
    void isModifiedChanged(bool modified);
    void currentFileURLChanged();
    void temporaryMessageChanged();
    void headerChanged();
    void statusModificationDateChanged();
    void editableChanged();

private:
    void loadPath(const QString &filePath);
    void applyLoadedText(const QString &text, const QString &filePath);
    void refreshHeader();
    bool writeDocument(QString *error);
    void setModified(bool modified);
    void setCurrentFileURL(const QString &filePath);
    void setStatusModificationDate(const QDateTime &date);
    void setEditable(bool editable, const QString &error);

    QString m_memoText;
    bool m_isModified = false;
    QString m_currentFileURL;
    QString m_temporaryMessage;
    QString m_headerYAML;
    bool m_headerIsPending = false;
    QString m_joplinHeaderYAML;
    QDateTime m_statusModificationDate;
    bool m_isEditable = true;
    QString m_loadError;

    QString m_originalText;
    QString m_originalBody;
    std::optional<NoteFrontMatter> m_managedFrontMatter;
    std::optional<QString> m_joplinYAML;
    bool m_joplinIsTrailing = false;
    std::optional<QDateTime> m_fileCreatedDate;
    std::optional<QDateTime> m_fileModifiedDate;
    std::optional<QString> m_declinedExternalContent;
    int m_messageDurationMsec = 3000;
};
