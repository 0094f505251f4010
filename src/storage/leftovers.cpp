#include "storage/leftovers.h"

#include "platform/atomicfile.h"
#include "platform/settingsstore.h"
#include "storage/pathmanager.h"

#include <QFileInfo>
#include <QThreadPool>

void removeWriteLeftovers()
{
    const QString base = PathManager::baseFolderPath();
    const QString settings = QFileInfo(SettingsStore::instanceFilePath()).absolutePath();
    QThreadPool::globalInstance()->start(
        [base, settings] { removeWriteLeftoversIn(base, settings); });
}

int removeWriteLeftoversIn(const QString &baseFolder, const QString &settingsFolder)
{
    int removed = 0;
    if (!baseFolder.isEmpty()) {
        // Notes keeps folders of the user's own; memos and data files lie flat. Quick open
        // edits notes that lie in the base folder itself too.
        removed += AtomicFile::removeLeftovers(baseFolder, false);
        removed += AtomicFile::removeLeftovers(baseFolder + QStringLiteral("/Daily"), false);
        removed += AtomicFile::removeLeftovers(baseFolder + QStringLiteral("/Data"), false);
        removed += AtomicFile::removeLeftovers(baseFolder + QStringLiteral("/Notes"), true);
    }
    if (!settingsFolder.isEmpty())
        removed += AtomicFile::removeLeftovers(settingsFolder, false);
    return removed;
}
