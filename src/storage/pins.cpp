#include "storage/pins.h"

#include "platform/atomicfile.h"
#include "platform/diagnostics.h"
#include "platform/regularfile.h"
#include "storage/notekey.h"
#include "storage/pathmanager.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>

#include <optional>
#include <utility>

namespace Pins {
namespace {

struct PinCache
{
    QStringList list;
    QSet<QString> set;
    /// The file was there but not a whole list (not UTF-8, not a regular file, not readable):
    /// it is set aside before the list is written.
    bool damaged = false;
    /// Standardized base folder the cache belongs to; unset until the first load.
    std::optional<QString> basePath;
};

PinCache &cache()
{
    static PinCache pins;
    return pins;
}

QStringList loadPins(bool &damaged)
{
    const RegularFileRead file = RegularFile::read(pinsFilePath());
    damaged = file.status != RegularFileRead::Status::Ok &&
              file.status != RegularFileRead::Status::Missing;
    if (!file.ok())
        return {};
    // Decoded leniently: one damaged line must not cost the user every other pin when the list
    // is written back.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(file.bytes);
    damaged = decoder.hasError();
    static const QRegularExpression lineBreaks(QStringLiteral("[\\n\\x{000B}\\f\\r\\x{0085}"
                                                              "\\x{2028}\\x{2029}]"));
    QStringList keys;
    for (const QString &line : text.split(lineBreaks, Qt::SkipEmptyParts)) {
        const QString key = line.trimmed();
        if (!key.isEmpty())
            keys.append(key);
    }
    return keys;
}

void ensurePinsLoaded()
{
    PinCache &pins = cache();
    const QString base = standardizedBaseFolderPath();
    if (pins.basePath == base)
        return;
    pins.basePath = base;
    pins.list = loadPins(pins.damaged);
    pins.set = QSet<QString>(pins.list.cbegin(), pins.list.cend());
}

void savePins(const QStringList &keys)
{
    QStringList unique;
    QSet<QString> seen;
    unique.reserve(keys.size());
    for (const QString &key : keys) {
        if (!seen.contains(key)) {
            seen.insert(key);
            unique.append(key);
        }
    }
    QString text = unique.join(u'\n');
    if (!unique.isEmpty())
        text.append(u'\n');
    PinCache &pins = cache();
    if (std::exchange(pins.damaged, false)) {
        if (const QString kept = RegularFile::setAside(pinsFilePath()); !kept.isEmpty())
            Diagnostics::log(QStringLiteral("ピン留めの一覧を読めないため退避しました: ") + kept);
    }
    AtomicFile::write(pinsFilePath(), text.toUtf8());

    pins.list = std::move(unique);
    pins.set = std::move(seen);
    pins.basePath = standardizedBaseFolderPath();
}

// Takes the note's key out of the pins and, to pin it, puts it first.
void changePin(const QString &filePath, bool pinned)
{
    const auto key = relativeNotePath(filePath);
    if (!key)
        return;
    ensurePinsLoaded();
    QStringList keys = cache().list;
    keys.removeAll(*key);
    if (pinned)
        keys.prepend(*key);
    savePins(keys);
}

} // namespace

QString pinsFilePath()
{
    return PathManager::dataFolderPath() + QStringLiteral("/pinned_notes.txt");
}

bool isPinned(const QString &filePath)
{
    const auto key = relativeNotePath(filePath);
    if (!key)
        return false;
    ensurePinsLoaded();
    return cache().set.contains(*key);
}

void pinNote(const QString &filePath)
{
    changePin(filePath, true);
}

void unpinNote(const QString &filePath)
{
    changePin(filePath, false);
}

void renamePinnedNote(const QString &from, const QString &to)
{
    const auto oldKey = relativeNotePath(from);
    const auto newKey = relativeNotePath(to);
    if (!oldKey || !newKey)
        return;
    ensurePinsLoaded();
    QStringList keys = cache().list;
    const qsizetype index = keys.indexOf(*oldKey);
    if (index < 0)
        return;
    keys[index] = *newKey;
    savePins(keys);
}

QStringList pinnedFiles(const QStringList &filePaths)
{
    ensurePinsLoaded();
    QHash<QString, QString> fileForKey;
    for (const QString &path : filePaths) {
        if (const auto key = relativeNotePath(path); key && cache().set.contains(*key))
            fileForKey.insert(*key, path);
    }
    QStringList pinned;
    for (const QString &key : std::as_const(cache().list)) {
        // take(): a key read twice from a hand-edited file must not list its file twice.
        const QString path = fileForKey.take(key);
        if (!path.isNull())
            pinned.append(path);
    }
    return pinned;
}

QStringList pinnedPaths()
{
    ensurePinsLoaded();
    const QString base = *cache().basePath;
    QStringList paths;
    paths.reserve(cache().list.size());
    for (const QString &key : std::as_const(cache().list))
        paths.append(base + u'/' + key);
    return paths;
}

void resetCachesForTesting()
{
    cache() = PinCache();
}

} // namespace Pins
