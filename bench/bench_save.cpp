#include "platform/atomicfile.h"
#include "storage/memomanager.h"
#include "storage/pathmanager.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

/// Costs of saving safely: a 5 MB note saved through the memo store (disk comparison, folder
/// lock, verified write, re-reading the header) against the verified write alone.
class BenchSave : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void writeAloneFiveMegabytes();
    void saveWithDiskCheckFiveMegabytes();

private:
    static QString makeBody(qsizetype bytes);
    QTemporaryDir m_dir;
};

QString BenchSave::makeBody(qsizetype bytes)
{
    QString line = QStringLiteral("今日は会議があり、議事録をまとめました。The note lists open items.\n");
    QString body;
    while (body.toUtf8().size() < bytes)
        body += line.repeated(1000);
    return body;
}

void BenchSave::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("config"))));
    PathManager::setBaseFolderForProcess(m_dir.filePath(QStringLiteral("base")));
    QDir().mkpath(m_dir.filePath(QStringLiteral("base/Notes")));
}

void BenchSave::writeAloneFiveMegabytes()
{
    const QByteArray bytes = makeBody(5 << 20).toUtf8();
    const QString path = m_dir.filePath(QStringLiteral("base/Notes/alone.md"));
    QBENCHMARK {
        QVERIFY(AtomicFile::write(path, bytes));
    }
}

void BenchSave::saveWithDiskCheckFiveMegabytes()
{
    const QString path = m_dir.filePath(QStringLiteral("base/Notes/checked.md"));
    const QString body = makeBody(5 << 20);
    MemoManager memo;
    memo.loadFile(path);
    int round = 0;
    QBENCHMARK {
        // A different text each time, so every round writes.
        memo.markModified();
        QVERIFY(memo.save(body + QString::number(++round), SaveAnnouncement::quiet).succeeded());
    }
}

QTEST_GUILESS_MAIN(BenchSave)
#include "bench_save.moc"
