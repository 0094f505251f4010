#include "platform/settingsstore.h"
#include "storage/pathmanager.h"
#include "storage/pins.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

/// Pin list costs on a large list: reading the file into the cache, and membership lookups on
/// a warm cache, which the note list does once per row.
class BenchPins : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void coldLoadOfTenThousandPins();
    void warmLookupOfTenThousandNotes();

private:
    static constexpr int keyCount = 10000;

    QTemporaryDir m_root;
    QString m_base;
    QStringList m_notes;
};

void BenchPins::initTestCase()
{
    QVERIFY(m_root.isValid());
    // Settings and the default base folder must land in the temporary folder, never in the
    // user's own.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_root.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_root.filePath(QStringLiteral("data"))));
    SettingsStore::resetInstance();
    PathManager::resetForTesting();

    m_base = m_root.filePath(QStringLiteral("base"));
    QVERIFY(QDir().mkpath(m_base));
    PathManager::setBaseFolder(m_base);

    QByteArray file;
    for (int i = 0; i < keyCount; ++i) {
        const QString key = QStringLiteral("Notes/Folder%1/note-%2.md").arg(i % 50).arg(i);
        m_notes.append(m_base + u'/' + key);
        file += key.toUtf8() + '\n';
    }
    QFile pins(Pins::pinsFilePath());
    QVERIFY(pins.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(pins.write(file), file.size());
}

void BenchPins::cleanupTestCase()
{
    Pins::resetCachesForTesting();
    SettingsStore::resetInstance();
    PathManager::resetForTesting();
}

void BenchPins::coldLoadOfTenThousandPins()
{
    bool pinned = false;
    QBENCHMARK
    {
        Pins::resetCachesForTesting();
        pinned = Pins::isPinned(m_notes.constFirst());
    }
    QVERIFY(pinned);
}

void BenchPins::warmLookupOfTenThousandNotes()
{
    QVERIFY(Pins::isPinned(m_notes.constFirst()));
    int pinned = 0;
    QBENCHMARK
    {
        pinned = 0;
        for (const QString &note : std::as_const(m_notes))
            pinned += Pins::isPinned(note) ? 1 : 0;
    }
    QCOMPARE(pinned, keyCount);
}

QTEST_GUILESS_MAIN(BenchPins)
#include "bench_pins.moc"
