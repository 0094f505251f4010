#pragma once

#include "platform/clock.h"
#include "platform/settingsstore.h"
#include "storage/pathmanager.h"
#include "storage/pins.h"
#include "storage/viewcounts.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

/// A private world for one test: config, data and base folders in a fresh temporary folder, so
/// nothing touches the real user's files. Create one per test function (init) and let it go in
/// cleanup. The environment variables stay pointed at the last temporary folder.
class TestEnvironment
{
public:
    TestEnvironment()
    {
        QVERIFY(m_root.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path(QStringLiteral("config"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(path(QStringLiteral("data"))));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(path(QStringLiteral("cache"))));
        qputenv("XDG_STATE_HOME", QFile::encodeName(path(QStringLiteral("state"))));
        resetProcessState();
    }

    ~TestEnvironment()
    {
        Clock::setCurrent(nullptr);
        resetProcessState();
    }

    TestEnvironment(const TestEnvironment &) = delete;
    TestEnvironment &operator=(const TestEnvironment &) = delete;

    /// A path inside the temporary root (not created).
    QString path(const QString &relative) const { return m_root.filePath(relative); }

    /// Creates a folder inside the temporary root and returns its path.
    QString makeFolder(const QString &relative) const
    {
        const QString folder = path(relative);
        QDir().mkpath(folder);
        return folder;
    }

    /// Makes a fresh folder the base folder and returns its path.
    QString useBaseFolder(const QString &relative = QStringLiteral("base"))
    {
        const QString folder = makeFolder(relative);
        PathManager::setBaseFolder(folder);
        return folder;
    }

private:
    static void resetProcessState()
    {
        ViewCounts::resetCachesForTesting();
        Pins::resetCachesForTesting();
        SettingsStore::resetInstance();
        PathManager::resetForTesting();
    }

    QTemporaryDir m_root;
};
