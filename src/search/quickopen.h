#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

/// Quick open: every note below the base folder, hidden folders included, narrowed by name as
/// the user types. Qt Core only, so a command-line tool can share the filtering.
namespace QuickOpen {

/// Entries listed while the query is empty.
inline constexpr qsizetype recentLimit = 30;

struct Candidate
{
    QString filePath;
    QString fileName;
    /// The folder below the base folder ("A/B"), "." for the base folder itself.
    QString folderLabel;
    /// Lower-cased once when gathered, so filtering a keystroke only compares.
    QString lowerFileName;
    QString lowerFolderName;
    /// Modification time in milliseconds since the epoch; unset when it could not be read.
    std::optional<qint64> modifiedMSecs;
};

/// Every file below `baseFolder` whose extension is "md" or "txt" in any letter case, hidden
/// ones and those inside hidden folders included, the application's Data folder left out, in
/// walk order with each folder's entries in
/// NaturalOrder (see NoteFiles).
QList<Candidate> gatherFiles(const QString &baseFolder);

/// The entries to show, as indices into `files`. An empty query gives the recentLimit most
/// recently modified files, newest first (equal times keep walk order; files without a time are
/// left out). Otherwise every file, in walk order, whose lower-cased name (extension included)
/// or containing folder's lower-cased name contains the lower-cased query.
QList<qsizetype> filteredFiles(const QList<Candidate> &files, const QString &query);

/// The folder label shown under a name: the file's folder relative to `baseFolder` without
/// leading or trailing "/", "." for the base folder itself, the full folder path for a file
/// that is not below the base folder.
QString relativeFolder(const QString &filePath, const QString &baseFolder);

} // namespace QuickOpen

/// The palette's state: the gathered files, the query, the visible list and its selection.
/// Widgets only show it and forward keys.
class QuickOpenController : public QObject
{
    Q_OBJECT

public:
    explicit QuickOpenController(QObject *parent = nullptr);

    /// Gathers the files of the current base folder; called when the palette appears. Files
    /// created later are not listed until it appears again.
    void gather();
    /// Uses a given list instead of gathering (the palette's tests).
    void setFiles(QList<QuickOpen::Candidate> files);

    const QList<QuickOpen::Candidate> &files() const { return m_files; }
    const QString &query() const { return m_query; }
    /// A new query puts the selection back on the first entry.
    void setQuery(const QString &query);

    /// Indices into files() of the entries shown.
    const QList<qsizetype> &visible() const { return m_visible; }
    const QuickOpen::Candidate &visibleAt(qsizetype row) const;

    qsizetype selectedIndex() const { return m_selectedIndex; }
    void setSelectedIndex(qsizetype row);
    /// Up and Down: one step, wrapping around at either end; nothing on an empty list.
    void moveUp();
    void moveDown();

    /// The path of the selected entry; none when the list is empty or the selection is outside.
    std::optional<QString> selectedFile() const;

Q_SIGNALS:
    void visibleChanged();
    void selectedIndexChanged(qsizetype row);

private:
    void refilter();

    QList<QuickOpen::Candidate> m_files;
    QString m_query;
    QList<qsizetype> m_visible;
    qsizetype m_selectedIndex = 0;
};
