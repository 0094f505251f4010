#include "benchrow.h"
#include "editor/markdowneditor.h"
#include "editor/notetextedit.h"
#include "pictures/pictureloader.h"
#include "preview/markdownpreviewview.h"
#include "storage/pathmanager.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QKeyEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <vector>

/// A note with 50 phone photos (4000 × 3000 JPEG, made here, never committed): how soon its
/// text shows, how soon every picture is in, how long a keystroke in the editor takes while
/// they are decoded on the other cores, and how much memory the decoded pictures keep.
class BenchPictures : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void noteWithFiftyPhotos();
};

namespace {

/// A photo-like picture: smooth shading with grain, so the JPEG is as large as a phone's.
QByteArray phoneJpeg()
{
    QImage image(4000, 3000, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 4000, 3000);
    gradient.setColorAt(0, QColor(40, 90, 160));
    gradient.setColorAt(0.5, QColor(200, 180, 120));
    gradient.setColorAt(1, QColor(30, 120, 60));
    painter.fillRect(image.rect(), gradient);
    painter.end();
    QRandomGenerator random(7);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grain = int(random.bounded(24)) - 12;
            const QRgb p = line[x];
            line[x] = qRgb(qBound(0, qRed(p) + grain, 255), qBound(0, qGreen(p) + grain, 255),
                           qBound(0, qBlue(p) + grain, 255));
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(90);
    writer.write(image);
    return bytes;
}

} // namespace

void BenchPictures::noteWithFiftyPhotos()
{
    QTemporaryDir base;
    QVERIFY(base.isValid());
    PathManager::setBaseFolderForProcess(base.path());
    const QString notes = base.path() + QStringLiteral("/Notes");
    QVERIFY(QDir().mkpath(notes + QStringLiteral("/旅行.assets")));
    const QByteArray jpeg = phoneJpeg();
    QString body = QStringLiteral("# 旅行の写真\n\n");
    QList<qint64> pictureLines;
    for (int i = 0; i < 50; ++i) {
        const QString name = QStringLiteral("IMG %1.jpg").arg(1000 + i);
        QFile file(notes + QStringLiteral("/旅行.assets/") + name);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(jpeg) == jpeg.size());
        file.close();
        body += QStringLiteral("%1 日目の写真。海と山の景色です。\n").arg(i + 1);
        pictureLines.append(body.count(u'\n'));
        body += QStringLiteral("![写真 %1](<旅行.assets/%2>)\n\n").arg(i + 1).arg(name);
    }

    MarkdownPreviewView preview;
    preview.resize(600, 900);
    preview.show();
    EditorLiveState live;
    MarkdownEditor editor(live);
    editor.resize(600, 900);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    editor.setDocumentOpen(true);
    editor.loadText(body);
    editor.focusEditor();

    QElapsedTimer clock;
    clock.start();
    preview.setNotePath(notes + QStringLiteral("/旅行.md"));
    preview.setMarkdownText(body);
    // The scroll bar that the text calls for comes in on the next turn, and the text is drawn.
    QCoreApplication::processEvents();
    preview.viewport()->repaint();
    const double textShown = clock.nsecsElapsed() / 1e6;

    // The user scrolls through: every picture is asked for.
    PictureLoader *loader = preview.pictureLoader();
    for (const qint64 line : pictureLines)
        preview.scrollToLine(line);
    preview.scrollToLine(0);
    std::vector<double> strokes;
    qint64 peakCached = 0;
    while (loader->pendingJobs() > 0) {
        QElapsedTimer stroke;
        stroke.start();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QCoreApplication::sendEvent(editor.textEdit(), &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QCoreApplication::sendEvent(editor.textEdit(), &release);
        QCoreApplication::processEvents();
        editor.textEdit()->viewport()->repaint();
        strokes.push_back(stroke.nsecsElapsed() / 1e6);
        peakCached = std::max(peakCached, loader->cachedBytes());
        QTest::qWait(5);
    }
    const double allPictures = clock.nsecsElapsed() / 1e6;
    // Every picture is in: each one shows when scrolled to, without new work.
    for (const qint64 line : pictureLines) {
        preview.scrollToLine(line);
        preview.viewport()->repaint();
    }
    QCOMPARE(loader->pendingJobs(), 0);
    QVERIFY(!strokes.empty());
    std::sort(strokes.begin(), strokes.end());
    benchRow(QStringLiteral("text of a note with 50 photos shown"), textShown,
             QStringLiteral("goal"), 100, "ms:100");
    benchRow(QStringLiteral("all 50 photos (4000 × 3000) decoded and in"), allPictures,
             QStringLiteral("goal"), 3000, "ms:3000");
    benchRow(QStringLiteral("keystroke while they decode (median of %1; max %2 ms)")
                 .arg(strokes.size())
                 .arg(strokes.back(), 0, 'f', 1),
             strokes[strokes.size() / 2], QStringLiteral("one frame"), 16, "ms:16");
    benchRow(QStringLiteral("decoded pictures kept (MiB, at most %1)")
                 .arg(PictureLoader::budgetBytes / (1024 * 1024)),
             double(peakCached) / (1024 * 1024), QStringLiteral("budget"),
             double(PictureLoader::budgetBytes) / (1024 * 1024), "ratio:1");
}

QTEST_MAIN(BenchPictures)
#include "bench_pictures.moc"
