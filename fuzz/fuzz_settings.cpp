// A settings file edited by hand or cut short: loading it must not crash, and what it loads
// must be written back as it was read.
#include "fuzzcheck.h"
#include "platform/diagnostics.h"
#include "platform/settingsstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {

QTemporaryDir *folder = nullptr;

void write(const QString &path, QByteArrayView bytes)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes.data(), bytes.size()) == bytes.size());
}

void readEveryWay(const SettingsStore &defaults, const QString &key)
{
    defaults.string(key);
    defaults.boolean(key);
    defaults.integer(key);
    defaults.number(key);
    defaults.data(key);
    defaults.stringArray(key);
    defaults.array(key);
    defaults.dictionary(key);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // With an application object, changes wait for sync() instead of being written one by one.
    static QCoreApplication app(*argc, *argv);
    folder = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/fuzz-settings-XXXXXX"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Diagnostics::Capture quiet;
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString path = folder->filePath(QStringLiteral("settings.json"));
    const QString copyPath = folder->filePath(QStringLiteral("copy.json"));
    write(path, bytes);
    // The store does not list its keys; the file's own do.
    const QStringList keys = QJsonDocument::fromJson(bytes.toByteArray()).object().keys();
    {
        const SettingsStore loaded(path);
        {
            SettingsStore copy(copyPath);
            for (const QString &key : keys) {
                readEveryWay(loaded, key);
                if (loaded.contains(key))
                    FUZZ_CHECK(copy.setValue(key, loaded.value(key)));
            }
        }
        const SettingsStore reread(copyPath);
        for (const QString &key : keys) {
            FUZZ_CHECK(reread.contains(key) == loaded.contains(key));
            FUZZ_CHECK(reread.value(key) == loaded.value(key));
        }
    }
    // Damaged files are kept beside the settings; clear them so the folder stays small.
    for (const QString &name : QDir(folder->path()).entryList(QDir::Files))
        QFile::remove(folder->filePath(name));
    return 0;
}
