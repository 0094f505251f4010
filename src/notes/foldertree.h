#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

/// How a folder's icon looks in the tree.
enum class FolderIconState {
    leaf,      ///< no subfolders
    collapsed, ///< subfolders hidden
    expanded,  ///< subfolders shown
};

/// One shown row of the folder tree.
struct FolderRow
{
    QString path;
    QString name;
    /// Levels below the Notes folder (0 for the Notes folder itself).
    int depth = 0;
    FolderIconState state = FolderIconState::leaf;

    bool operator==(const FolderRow &) const = default;
};

/// The folders of the Notes folder as a tree: which folders have subfolders, which are shown
/// for a set of expanded folders, and how deep each sits. Built from the depth-first list of
/// NoteScan::collectFolders, whose first entry is the Notes folder. Expanded folders are kept
/// as paths, the same spelling as the list's.
class FolderTree
{
public:
    FolderTree() = default;
    explicit FolderTree(QStringList folders);

    /// The Notes folder; empty for an empty tree.
    QString root() const { return m_folders.isEmpty() ? QString() : m_folders.constFirst(); }
    const QStringList &folders() const { return m_folders; }
    bool contains(const QString &folder) const { return m_depth.contains(folder); }

    /// Whether some listed folder lies below `folder`.
    bool hasSubfolders(const QString &folder) const { return m_parents.contains(folder); }

    /// The listed folders that contain `folder`, nearest first, up to the Notes folder.
    QStringList ancestorFolders(const QString &folder) const;

    /// Whether `folder` is shown: every listed folder containing it is expanded.
    bool isVisible(const QString &folder, const QSet<QString> &expanded) const;

    /// The rows to show, in list order.
    QList<FolderRow> visibleRows(const QSet<QString> &expanded) const;

    /// What is expanded on the very first run: every folder that has subfolders.
    QSet<QString> initiallyExpanded() const { return m_parents; }

    /// `expanded` without the folders of this Notes folder that are no longer listed; folders
    /// elsewhere (of another base folder) are kept.
    QSet<QString> pruned(const QSet<QString> &expanded) const;

    /// The folders to expand so that `folder` is shown and, when it has subfolders, open.
    QSet<QString> foldersToReveal(const QString &folder) const;

private:
    QStringList m_folders;
    /// Listed folder → depth below the Notes folder.
    QHash<QString, int> m_depth;
    /// Listed folders that have at least one listed subfolder.
    QSet<QString> m_parents;
};
