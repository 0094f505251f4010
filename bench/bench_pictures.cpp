#include "benchrow.h"
#include "editor/markdowneditor.h"
#include "editor/notetextedit.h"
#include "pictures/picturedecoder.h"
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

#include <cstdlib>

#include <sys/resource.h>

namespace {

double loadAverage()
{
    double load = 0;
    return ::getloadavg(&load, 1) == 1 ? load : -1;
}

/// Processor time this process has used, all threads, in milliseconds.
double cpuMs()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

} // namespace

/// A note with 50 phone photos (4000 × 3000 JPEG, made here, never committed): how soon its
/// text shows, how soon every picture is in, how long a keystroke in the editor takes while
/// they are decoded on the other cores, and how much memory the decoded pictures keep.
class BenchPictures : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void noteWithFiftyPhotos();
    void onePhotoAtPreviewWidth();
    void previewOfLongDataLine();
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
    const double cpuBefore = cpuMs();
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
    const double cpu = cpuMs() - cpuBefore;
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
    benchRow(QStringLiteral("all 50 photos (4000 × 3000) decoded and in (processor time %1 ms; "
                            "load average %2)")
                 .arg(cpu, 0, 'f', 0)
                 .arg(loadAverage(), 0, 'f', 1),
             allPictures, QStringLiteral("goal"), 3000, "ms:3000");
    benchRow(QStringLiteral("keystroke while they decode (median of %1; max %2 ms)")
                 .arg(strokes.size())
                 .arg(strokes.back(), 0, 'f', 1),
             strokes[strokes.size() / 2], QStringLiteral("one frame"), 16, "ms:16");
    benchRow(QStringLiteral("decoded pictures kept (MiB, at most %1)")
                 .arg(PictureLoader::budgetBytes / (1024 * 1024)),
             double(peakCached) / (1024 * 1024), QStringLiteral("budget"),
             double(PictureLoader::budgetBytes) / (1024 * 1024), "ratio:1");
}

// One photo read on one thread: what each of the 50 costs a core.
void BenchPictures::onePhotoAtPreviewWidth()
{
    QTemporaryDir base;
    QVERIFY(base.isValid());
    const QString path = base.path() + QStringLiteral("/IMG.jpg");
    QFile file(path);
    const QByteArray jpeg = phoneJpeg();
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(jpeg) == jpeg.size());
    file.close();
    const PictureTarget target =
        PicturePath::resolve(QStringLiteral("IMG.jpg"), base.path(), base.path());
    std::vector<double> headers;
    std::vector<double> decodes;
    for (int round = 0; round < 9; ++round) {
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(PictureDecoder::readHeader(target).size, QSize(4000, 3000));
        headers.push_back(timer.nsecsElapsed() / 1e6);
        timer.start();
        QCOMPARE(PictureDecoder::decode(target, 562).image.size(), QSize(562, 422));
        decodes.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(headers.begin(), headers.end());
    std::sort(decodes.begin(), decodes.end());
    benchRow(QStringLiteral("one 4000 × 3000 photo (%1 MB) decoded at 562 px, one thread")
                 .arg(double(jpeg.size()) / 1e6, 0, 'f', 1),
             decodes[decodes.size() / 2], QStringLiteral("its header alone"),
             headers[headers.size() / 2], "ms:60");
}

// A pasted picture kept inline: the preview of a note with one 256 KB data: line, after an edit
// elsewhere (what follows every typing pause).
void BenchPictures::previewOfLongDataLine()
{
    QImage image(320, 220, QImage::Format_RGB32);
    QRandomGenerator random(3);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, random.generate() | 0xff000000);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "png").write(image);
    const QString line =
        QStringLiteral("![図](data:image/png;base64,") + QString::fromLatin1(png.toBase64()) + u')';
    QVERIFY(line.size() > 200 * 1024);
    QTemporaryDir base;
    PathManager::setBaseFolderForProcess(base.path());
    MarkdownPreviewView preview;
    preview.resize(600, 900);
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    preview.setNotePath(base.path() + QStringLiteral("/Notes/memo.md"));
    const QString body = QStringLiteral("# 会議\n\n") + line + QStringLiteral("\n\n次の作業\n");
    preview.setMarkdownText(body);
    std::vector<double> rounds;
    for (int round = 0; round < 9; ++round) {
        QElapsedTimer timer;
        timer.start();
        preview.setMarkdownText(body + QString(round + 1, u'a'));
        preview.viewport()->repaint();
        rounds.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(rounds.begin(), rounds.end());
    benchRow(
        QStringLiteral("preview after an edit beside a %1 KB data: line").arg(line.size() / 1024),
        rounds[rounds.size() / 2], QStringLiteral("one frame"), 16, "ms:16");
}

QTEST_MAIN(BenchPictures)
#include "bench_pictures.moc"
