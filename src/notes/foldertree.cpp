#include "notes/foldertree.h"

namespace {

QString parentOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash <= 0)
        return slash == 0 && path.size() > 1 ? QStringLiteral("/") : QString();
    return path.left(slash);
}

} // namespace

FolderTree::FolderTree(QStringList folders) : m_folders(std::move(folders))
{
    if (m_folders.isEmpty())
        return;
    const qsizetype rootSlashes = m_folders.constFirst().count(u'/');
    m_depth.reserve(m_folders.size());
    for (const QString &folder : std::as_const(m_folders)) {
        m_depth.insert(folder, int(folder.count(u'/') - rootSlashes));
        if (folder != m_folders.constFirst())
            m_parents.insert(parentOf(folder));
    }
}

QStringList FolderTree::ancestorFolders(const QString &folder) const
{
    QStringList ancestors;
    if (m_folders.isEmpty() || folder == root())
        return ancestors;
    const QString top = root();
    for (QString current = parentOf(folder); current.size() >= top.size();
         current = parentOf(current)) {
        if (contains(current))
            ancestors.append(current);
        if (current == top)
            break;
    }
    return ancestors;
}

bool FolderTree::isVisible(const QString &folder, const QSet<QString> &expanded) const
{
    const QStringList ancestors = ancestorFolders(folder);
    return std::all_of(ancestors.cbegin(), ancestors.cend(), [&](const QString &ancestor) {
        return !hasSubfolders(ancestor) || expanded.contains(ancestor);
    });
}

QList<FolderRow> FolderTree::visibleRows(const QSet<QString> &expanded) const
{
    QList<FolderRow> rows;
    // The list is depth first, so a collapsed folder hides exactly the run of deeper rows that
    // follows it.
    int hiddenBelowDepth = -1;
    for (const QString &folder : m_folders) {
        const int depth = m_depth.value(folder);
        if (hiddenBelowDepth >= 0 && depth > hiddenBelowDepth)
            continue;
        hiddenBelowDepth = -1;
        FolderRow row{folder, folder.mid(folder.lastIndexOf(u'/') + 1), depth,
                      FolderIconState::leaf};
        if (hasSubfolders(folder)) {
            const bool open = expanded.contains(folder);
            row.state = open ? FolderIconState::expanded : FolderIconState::collapsed;
            if (!open)
                hiddenBelowDepth = depth;
        }
        rows.append(row);
    }
    return rows;
}

QSet<QString> FolderTree::pruned(const QSet<QString> &expanded) const
{
    // Folders of other base folders are not this tree's to judge: switching back to one must
    // find its folders open as they were left.
    const QString top = root();
    QSet<QString> kept;
    for (const QString &folder : expanded) {
        const bool inside = folder == top || folder.startsWith(top + u'/');
        if (contains(folder) || !inside)
            kept.insert(folder);
    }
    return kept;
}

QSet<QString> FolderTree::foldersToReveal(const QString &folder) const
{
    QSet<QString> reveal;
    for (const QString &ancestor : ancestorFolders(folder)) {
        if (hasSubfolders(ancestor))
            reveal.insert(ancestor);
    }
    if (hasSubfolders(folder))
        reveal.insert(folder);
    return reveal;
}
