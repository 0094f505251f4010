#include "search/quickopen.h"

#include "search/notefiles.h"
#include "storage/pathmanager.h"

#include <QFileInfo>

#include <algorithm>
#include <vector>

namespace QuickOpen {

QList<Candidate> gatherFiles(const QString &baseFolder)
{
    const NoteFiles::NoteFileList list = NoteFiles::listNoteFiles(
        baseFolder, {NoteFiles::HiddenItems::Include, /*withModificationTimes=*/true,
                     NoteFiles::NameOrder::natural});

    // Labels and lower-cased folder names are made once per folder and shared by its files.
    struct FolderStrings
    {
        QString label;
        QString lowerName;
    };
    std::vector<FolderStrings> folders;
    folders.reserve(size_t(list.folders.size()));
    for (const NoteFiles::Folder &folder : list.folders) {
        const QString label =
            folder.relativePath.isEmpty() ? QStringLiteral(".") : folder.relativePath;
        const qsizetype slash = folder.path.lastIndexOf(u'/');
        folders.push_back({label, folder.path.sliced(slash + 1).toLower()});
    }

    QList<Candidate> candidates;
    candidates.reserve(list.files.size());
    for (const NoteFiles::File &file : list.files) {
        const FolderStrings &folder = folders[size_t(file.folder)];
        candidates.append({list.filePath(file), file.name, folder.label, file.name.toLower(),
                           folder.lowerName, file.modifiedMSecs});
    }
    return candidates;
}

QList<qsizetype> filteredFiles(const QList<Candidate> &files, const QString &query)
{
    QList<qsizetype> shown;
    if (query.isEmpty()) {
        std::vector<std::pair<qint64, qsizetype>> dated;
        for (qsizetype i = 0; i < files.size(); ++i) {
            if (files[i].modifiedMSecs)
                dated.emplace_back(*files[i].modifiedMSecs, i);
        }
        // Newest first; the index breaks ties, which keeps walk order among equal times.
        const auto newer = [](const auto &a, const auto &b) {
            return a.first != b.first ? a.first > b.first : a.second < b.second;
        };
        const auto end = dated.begin() + std::min<qsizetype>(recentLimit, dated.size());
        std::partial_sort(dated.begin(), end, dated.end(), newer);
        for (auto it = dated.begin(); it != end; ++it)
            shown.append(it->second);
        return shown;
    }
    const QString lowerQuery = query.toLower();
    for (qsizetype i = 0; i < files.size(); ++i) {
        const Candidate &file = files[i];
        if (file.lowerFileName.contains(lowerQuery) || file.lowerFolderName.contains(lowerQuery))
            shown.append(i);
    }
    return shown;
}

QString relativeFolder(const QString &filePath, const QString &baseFolder)
{
    const QString folder = QFileInfo(filePath).path();
    QString base = baseFolder;
    while (base.endsWith(u'/'))
        base.chop(1);
    // Only a whole folder name counts as the prefix: "/notes2" is not below "/notes".
    if (folder != base && !folder.startsWith(base + u'/'))
        return folder;
    QStringView rest = QStringView(folder).sliced(base.size());
    while (rest.startsWith(u'/'))
        rest = rest.sliced(1);
    while (rest.endsWith(u'/'))
        rest.chop(1);
    return rest.isEmpty() ? QStringLiteral(".") : rest.toString();
}

} // namespace QuickOpen

QuickOpenController::QuickOpenController(QObject *parent) : QObject(parent) {}

void QuickOpenController::gather()
{
    setFiles(QuickOpen::gatherFiles(PathManager::baseFolderPath()));
}

void QuickOpenController::setFiles(QList<QuickOpen::Candidate> files)
{
    m_files = std::move(files);
    refilter();
}

void QuickOpenController::setQuery(const QString &query)
{
    if (query == m_query)
        return;
    m_query = query;
    refilter();
}

const QuickOpen::Candidate &QuickOpenController::visibleAt(qsizetype row) const
{
    return m_files[m_visible[row]];
}

void QuickOpenController::refilter()
{
    m_visible = QuickOpen::filteredFiles(m_files, m_query);
    m_selectedIndex = 0;
    Q_EMIT visibleChanged();
    Q_EMIT selectedIndexChanged(m_selectedIndex);
}

void QuickOpenController::setSelectedIndex(qsizetype row)
{
    if (row == m_selectedIndex)
        return;
    m_selectedIndex = row;
    Q_EMIT selectedIndexChanged(row);
}

void QuickOpenController::moveUp()
{
    const qsizetype count = m_visible.size();
    if (count > 0)
        setSelectedIndex((m_selectedIndex - 1 + count) % count);
}

void QuickOpenController::moveDown()
{
    const qsizetype count = m_visible.size();
    if (count > 0)
        setSelectedIndex((m_selectedIndex + 1) % count);
}

std::optional<QString> QuickOpenController::selectedFile() const
{
    if (m_selectedIndex < 0 || m_selectedIndex >= m_visible.size())
        return std::nullopt;
    return visibleAt(m_selectedIndex).filePath;
}
