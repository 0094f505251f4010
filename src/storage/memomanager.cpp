#include "storage/memomanager.h"

#include "platform/clock.h"
#include "platform/diagnostics.h"
#include "platform/mainqueue.h"
#include "platform/notificationcenter.h"
#include "storage/pathmanager.h"
#include "storage/pins.h"
#include "storage/textfile.h"
#include "storage/viewcounts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

struct FileDates
{
    std::optional<QDateTime> created;
    std::optional<QDateTime> modified;
};

FileDates fileDates(const QString &filePath)
{
    if (filePath.isEmpty())
        return {};
    const QFileInfo info(filePath);
    if (!info.exists())
        return {};
    FileDates dates;
    // Not every file system records a birth time; then the creation date stays unknown.
    if (const QDateTime born = info.birthTime(); born.isValid())
        dates.created = born;
    if (const QDateTime modified = info.lastModified(); modified.isValid())
        dates.modified = modified;
    return dates;
}

QString baseNameOf(const QString &filePath)
{
    return QFileInfo(filePath).completeBaseName();
}

} // namespace

MemoManager::MemoManager(QObject *parent) : QObject(parent) {}

void MemoManager::setMemoText(const QString &text)
{
    if (m_memoText == text)
        return;
    m_memoText = text;
    Q_EMIT memoTextChanged();
}

void MemoManager::loadItem(const MemoItem &item)
{
    m_declinedExternalContent.reset();
    if (const auto *date = std::get_if<QDate>(&item)) {
        loadPath(PathManager::dailyMemoURL(*date));
        return;
    }
    if (const auto *path = std::get_if<QString>(&item); path && !path->isEmpty()) {
        loadPath(*path);
        return;
    }
    clearDocument();
}

void MemoManager::loadMemo(const QDate &date)
{
    m_declinedExternalContent.reset();
    loadPath(PathManager::dailyMemoURL(date));
}

void MemoManager::loadPath(const QString &filePath)
{
    const TextFileRead read = TextFile::readUtf8(filePath);
    applyLoadedText(read.text, filePath);
    setModified(false);
    if (read.editable()) {
        setEditable(true, {});
        return;
    }
    setEditable(false, read.error);
    Diagnostics::log(QStringLiteral("読み込みエラー: ") + filePath + QStringLiteral(": ") +
                     read.error);
    showTemporaryMessage(unreadableMessage);
}

void MemoManager::clearDocument()
{
    applyLoadedText(QString(), QString());
    setModified(false);
    setEditable(true, {});
    m_declinedExternalContent.reset();
}

void MemoManager::applyLoadedText(const QString &text, const QString &filePath)
{
    setCurrentFileURL(filePath);
    m_originalText = text;
    NoteDocumentParts parts = parseNoteDocument(text);
    m_managedFrontMatter = std::move(parts.obsidian);
    m_joplinYAML = std::move(parts.joplinYAML);
    m_joplinIsTrailing = parts.joplinIsTrailing;
    m_originalBody = parts.body;
    setMemoText(parts.body);

    m_fileCreatedDate.reset();
    m_fileModifiedDate.reset();
    const FileDates dates = fileDates(filePath);
    setStatusModificationDate(dates.modified.value_or(QDateTime()));
    if (!m_managedFrontMatter || !hasCreated(*m_managedFrontMatter))
        m_fileCreatedDate = dates.created;
    if (!m_managedFrontMatter || !hasUpdated(*m_managedFrontMatter))
        m_fileModifiedDate = dates.modified;
    refreshHeader();
}

void MemoManager::refreshHeader()
{
    if (m_currentFileURL.isEmpty()) {
        m_headerYAML.clear();
        m_joplinHeaderYAML.clear();
        m_headerIsPending = false;
    } else {
        const NoteFrontMatter header =
            completeHeaderForDisplay(m_managedFrontMatter, baseNameOf(m_currentFileURL),
                                     m_joplinYAML, m_fileCreatedDate, m_fileModifiedDate);
        m_headerYAML = renderFrontMatter(header);
        m_headerIsPending = !m_managedFrontMatter.has_value();
        m_joplinHeaderYAML = m_joplinYAML.value_or(QString());
    }
    Q_EMIT headerChanged();
}

bool MemoManager::writeDocument(QString *error)
{
    const NoteFrontMatter header =
        completeHeaderForSave(m_managedFrontMatter, baseNameOf(m_currentFileURL), m_joplinYAML,
                              m_fileCreatedDate, Clock::current().now());
    const QString text = buildNoteSaveText(header, m_memoText, m_joplinYAML, m_joplinIsTrailing);
    // The folder may have been removed behind our back; recreating it beats losing the text.
    QDir().mkpath(QFileInfo(m_currentFileURL).absolutePath());
    if (!TextFile::writeUtf8(m_currentFileURL, text, error))
        return false;
    applyLoadedText(text, m_currentFileURL);
    setModified(false);
    m_declinedExternalContent.reset();
    return true;
}

bool MemoManager::save()
{
    if (m_currentFileURL.isEmpty() || !m_isModified)
        return false;
    if (!m_isEditable) {
        showTemporaryMessage(readOnlySaveMessage);
        return false;
    }
    QString error;
    if (!writeDocument(&error)) {
        showTemporaryMessage(saveFailedMessage);
        Diagnostics::log(QStringLiteral("保存エラー: ") + error);
        return false;
    }
    setStatusModificationDate(Clock::current().now());
    showTemporaryMessage(savedMessage);
    NotificationCenter::defaultCenter().postMemoSaved();
    return true;
}

void MemoManager::updateModifiedFlag()
{
    setModified(m_memoText != m_originalBody);
}

void MemoManager::markModified()
{
    setModified(true);
}

std::optional<QString> MemoManager::externalChangeText() const
{
    if (m_currentFileURL.isEmpty() || !QFileInfo::exists(m_currentFileURL))
        return std::nullopt;
    const TextFileRead read = TextFile::readUtf8(m_currentFileURL);
    if (!read.ok() || read.text == m_originalText)
        return std::nullopt;
    if (m_declinedExternalContent && *m_declinedExternalContent == read.text)
        return std::nullopt;
    return read.text;
}

void MemoManager::reloadFromDisk(const QString &text)
{
    applyLoadedText(text, m_currentFileURL);
    setModified(false);
    setEditable(true, {});
    m_declinedExternalContent.reset();
}

bool MemoManager::renameCurrentFile(const QString &newName)
{
    if (m_currentFileURL.isEmpty())
        return false;
    const QFileInfo current(m_currentFileURL);
    if (current.absoluteDir().dirName() == QStringLiteral("Daily"))
        return false;
    const QString cleaned = sanitizeFileName(newName);
    if (cleaned.isEmpty()) {
        showTemporaryMessage(emptyNameMessage);
        return false;
    }
    const QString suffix = current.suffix();
    const QString newPath = current.absolutePath() + QLatin1Char('/') + cleaned +
                            (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
    if (PathManager::standardizedPath(newPath) == PathManager::standardizedPath(m_currentFileURL))
        return true;
    if (QFileInfo::exists(newPath)) {
        showTemporaryMessage(nameTakenMessage);
        return false;
    }
    if (m_isModified) {
        QString error;
        if (!m_isEditable || !writeDocument(&error)) {
            showTemporaryMessage(saveFailedMessage);
            if (!error.isEmpty())
                Diagnostics::log(QStringLiteral("保存エラー: ") + error);
            return false;
        }
    }
    const QString oldPath = m_currentFileURL;
    QFile file(oldPath);
    // QFile::rename refuses to replace an existing file, so a name taken in the meantime is
    // reported instead of overwritten.
    if (!file.rename(newPath)) {
        showTemporaryMessage(renameFailedMessage);
        Diagnostics::log(QStringLiteral("リネームエラー: ") + file.errorString());
        return false;
    }
    Pins::renamePinnedNote(oldPath, newPath);
    ViewCounts::renameViewCount(oldPath, newPath);
    setCurrentFileURL(newPath);
    refreshHeader();
    NotificationCenter::defaultCenter().postFileMoved(newPath);
    return true;
}

void MemoManager::followMovedFile(const QString &oldPath, const QString &newPath)
{
    if (m_currentFileURL.isEmpty() || m_currentFileURL != oldPath || newPath.isEmpty())
        return;
    setCurrentFileURL(newPath);
    refreshHeader();
}

void MemoManager::showTemporaryMessage(const QString &text)
{
    if (m_temporaryMessage != text) {
        m_temporaryMessage = text;
        Q_EMIT temporaryMessageChanged();
    }
    MainQueue::asyncAfter(this, m_messageDurationMsec, [this, text] {
        if (m_temporaryMessage != text)
            return;
        m_temporaryMessage.clear();
        Q_EMIT temporaryMessageChanged();
    });
}

QString MemoManager::sanitizeFileName(const QString &name)
{
    static const QString forbidden = QStringLiteral("/:\\*?\"<>|");
    QString cleaned;
    const QString trimmed = name.trimmed();
    cleaned.reserve(trimmed.size());
    for (const QChar c : trimmed) {
        if (forbidden.contains(c) || c.category() == QChar::Other_Control)
            continue;
        cleaned.append(c);
    }
    // Strip leading dots until none is left, also behind spaces: ". .name" must not come out as
    // the hidden file ".name".
    cleaned = cleaned.trimmed();
    while (cleaned.startsWith(QLatin1Char('.')))
        cleaned = cleaned.mid(1).trimmed();
    return cleaned;
}

void MemoManager::setModified(bool modified)
{
    if (m_isModified == modified)
        return;
    m_isModified = modified;
    Q_EMIT isModifiedChanged(modified);
}

void MemoManager::setCurrentFileURL(const QString &filePath)
{
    if (m_currentFileURL == filePath)
        return;
    m_currentFileURL = filePath;
    Q_EMIT currentFileURLChanged();
}

void MemoManager::setStatusModificationDate(const QDateTime &date)
{
    if (m_statusModificationDate == date && m_statusModificationDate.isValid() == date.isValid())
        return;
    m_statusModificationDate = date;
    Q_EMIT statusModificationDateChanged();
}

void MemoManager::setEditable(bool editable, const QString &error)
{
    m_loadError = error;
    if (m_isEditable == editable)
        return;
    m_isEditable = editable;
    Q_EMIT editableChanged();
}
