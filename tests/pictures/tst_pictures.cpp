#include "common/notechanges.h"
#include "common/systemcallfaults.h"
#include "common/testenvironment.h"
#include "common/testfiles.h"
#include "notes/notescan.h"
#include "pictures/pictureassets.h"
#include "pictures/picturedecoder.h"
#include "pictures/picturefollower.h"
#include "pictures/picturelinks.h"
#include "pictures/pictureloader.h"
#include "pictures/picturepath.h"
#include "pictures/picturereference.h"
#include "storage/noteassets.h"
#include "storage/notestore.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QSignalSpy>
#include <QTest>
#include <QtEndian>

namespace {

const QString photo = QStringLiteral(QUILLMERE_TEST_DATA "/pictures/out-of-control.jpg");

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    return writer.write(image) ? bytes : QByteArray();
}

/// A picture whose left half is red and right half blue.
QImage halves(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width / 2; ++x)
            image.setPixel(x, y, qRgb(255, 0, 0));
    return image;
}

/// `jpeg` with an EXIF block that gives `orientation`, as a phone writes it.
QByteArray withOrientation(const QByteArray &jpeg, quint16 orientation)
{
    QByteArray tiff("MM\0\x2a\0\0\0\x08", 8);
    QByteArray entry(2 + 12 + 4, '\0');
    qToBigEndian<quint16>(1, entry.data());
    qToBigEndian<quint16>(0x0112, entry.data() + 2); // Orientation
    qToBigEndian<quint16>(3, entry.data() + 4);      // SHORT
    qToBigEndian<quint32>(1, entry.data() + 6);
    qToBigEndian<quint16>(orientation, entry.data() + 10);
    const QByteArray exif = QByteArray("Exif\0\0", 6) + tiff + entry;
    QByteArray segment("\xff\xe1\0\0", 4);
    qToBigEndian<quint16>(quint16(exif.size() + 2), segment.data() + 2);
    return jpeg.left(2) + segment + exif + jpeg.mid(2);
}

quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xffffffffu;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

/// The header of a PNG that claims `width` × `height` pixels and holds no picture data.
QByteArray pngHeaderClaiming(quint32 width, quint32 height)
{
    QByteArray ihdr("IHDR\0\0\0\0\0\0\0\0\x08\x06\0\0\0", 17);
    qToBigEndian(width, ihdr.data() + 4);
    qToBigEndian(height, ihdr.data() + 8);
    QByteArray chunk(4, '\0');
    qToBigEndian<quint32>(13, chunk.data());
    chunk += ihdr;
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(crc32(ihdr), crc.data());
    // The reader stops at the first picture data, so the header is all that is read.
    const QByteArray idat("IDAT\x78\x9c\x03\0\0\0\0\x01", 12);
    QByteArray idatChunk(4, '\0');
    qToBigEndian<quint32>(quint32(idat.size() - 4), idatChunk.data());
    QByteArray idatCrc(4, '\0');
    qToBigEndian<quint32>(crc32(idat), idatCrc.data());
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk + crc + idatChunk + idat + idatCrc;
}

/// A one-pixel GIF with two frames: red, then green.
QByteArray twoFrameGif()
{
    const char bytes[] = "GIF89a\x01\0\x01\0\x80\0\0"
                         "\xff\0\0\0\xff\0"                             // red, green
                         "\x2c\0\0\0\0\x01\0\x01\0\0\x02\x02\x44\x01\0" // index 0
                         "\x21\xf9\x04\0\x0a\0\0\0"                     // 0.1 s
                         "\x2c\0\0\0\0\x01\0\x01\0\0\x02\x02\x4c\x01\0" // index 1
                         "\x3b";
    return QByteArray(bytes, sizeof(bytes) - 1);
}

bool hasReader(const QByteArray &format)
{
    return QImageReader::supportedImageFormats().contains(format);
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                  QDir::Name);
}

} // namespace

class TestPictures : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup()
    {
        SystemCallFaults::reset();
        m_env.reset();
    }

    void findsPicturesInALine_data();
    void findsPicturesInALine();
    void resolvesPaths_data();
    void resolvesPaths();
    void decodesUprightAndWithinLimits_data();
    void decodesUprightAndWithinLimits();
    void loaderCachesByFileAndWidth();
    void storesPastedAndDroppedPictures();
    void storingFailsWholeAndWritesNothing_data();
    void storingFailsWholeAndWritesNothing();
    void rewritesLinksForAMove_data();
    void rewritesLinksForAMove();
    void picturesTravelWithTheirNote();
    void picturesGoWithADeletedNote();
    void notesPageHidesAssetsFolders();

private:
    std::unique_ptr<TestEnvironment> m_env;
};

void TestPictures::findsPicturesInALine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("destinations");
    QTest::addColumn<QStringList>("alts");

    QTest::newRow("plain") << "![a cat](cat.png)" << QStringList{"cat.png"} << QStringList{"a cat"};
    QTest::newRow("angle brackets keep spaces and Japanese")
        << "見て ![図](<会議 メモ.assets/写真 1.png>) です"
        << QStringList{"会議 メモ.assets/写真 1.png"} << QStringList{"図"};
    QTest::newRow("title and nested brackets")
        << R"(![a [b] c](x.png "title") and ![](y%20z.png 'two'))"
        << QStringList{"x.png", "y%20z.png"} << QStringList{"a [b] c", ""};
    QTest::newRow("parentheses balanced in a bare destination")
        << "![](photo(1).jpg)" << QStringList{"photo(1).jpg"} << QStringList{""};
    QTest::newRow("code span, escape and link are no pictures")
        << R"(`![no](a.png)` \![no](b.png) [link](c.png) ![yes](d.png))" << QStringList{"d.png"}
        << QStringList{"yes"};
    QTest::newRow("unclosed") << "![a](b.png" << QStringList{} << QStringList{};
}

void TestPictures::findsPicturesInALine()
{
    QFETCH(QString, line);
    QFETCH(QStringList, destinations);
    QFETCH(QStringList, alts);
    QStringList foundDestinations;
    QStringList foundAlts;
    for (const PictureReference &picture : PictureReferences::find(line)) {
        foundDestinations.append(picture.destination);
        foundAlts.append(picture.alt);
        // The reference's span is the whole markup, which a line without it shows as text.
        QVERIFY(line.mid(picture.start, picture.length).startsWith(u"!["));
        QVERIFY(line.mid(picture.start, picture.length).endsWith(u')'));
    }
    QCOMPARE(foundDestinations, destinations);
    QCOMPARE(foundAlts, alts);
}

void TestPictures::resolvesPaths_data()
{
    QTest::addColumn<QString>("destination");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("problem");
    QTest::addColumn<QString>("resolved"); ///< below the base folder, for files

    const int file = int(PictureTarget::Kind::file);
    const int data = int(PictureTarget::Kind::data);
    const int refused = int(PictureTarget::Kind::refused);
    const int none = int(PictureProblem::none);
    QTest::newRow("relative to the note's folder")
        << "Meeting.assets/a.png" << file << none << "Notes/Meeting.assets/a.png";
    QTest::newRow("percent-encoded Japanese and spaces")
        << "%E4%BC%9A%E8%AD%B0%20%E3%83%A1%E3%83%A2.assets/%E5%86%99%E7%9C%9F%201.png" << file
        << none << "Notes/会議 メモ.assets/写真 1.png";
    QTest::newRow("Japanese and spaces as written")
        << "会議 メモ.assets/写真 1.png" << file << none << "Notes/会議 メモ.assets/写真 1.png";
    QTest::newRow("a name that really holds %20")
        << "literal%20name.png" << file << none << "Notes/literal%20name.png";
    QTest::newRow(".. that stays inside")
        << "../Attachments/photo.jpg" << file << none << "Attachments/photo.jpg";
    QTest::newRow(".. that leads out")
        << "../../secret.png" << refused << int(PictureProblem::outside) << "";
    QTest::newRow(".. that leads out to nothing")
        << "../../../nothing.png" << refused << int(PictureProblem::outside) << "";
    QTest::newRow("absolute path outside")
        << "%ROOT%/secret.png" << refused << int(PictureProblem::outside) << "";
    QTest::newRow("file URL outside")
        << "file://%ROOT%/secret.png" << refused << int(PictureProblem::outside) << "";
    QTest::newRow("absolute path inside")
        << "%BASE%/Attachments/photo.jpg" << file << none << "Attachments/photo.jpg";
    QTest::newRow("link that leads out")
        << "escape.png" << refused << int(PictureProblem::outside) << "";
    QTest::newRow("linked folder that leads out")
        << "outside-folder/secret.png" << refused << int(PictureProblem::outside) << "";
    QTest::newRow("link that stays inside")
        << "inside.jpg" << file << none << "Attachments/photo.jpg";
    QTest::newRow("missing") << "Meeting.assets/none.png" << refused << int(PictureProblem::missing)
                             << "";
    QTest::newRow("a folder is no picture")
        << "Meeting.assets" << refused << int(PictureProblem::missing) << "";
    QTest::newRow("https is never fetched")
        << "https://example.com/a.png" << refused << int(PictureProblem::remote) << "";
    QTest::newRow("http is never fetched")
        << "HTTP://example.com/a.png" << refused << int(PictureProblem::remote) << "";
    QTest::newRow("small data URL")
        << "data:image/png;base64," + QString::fromLatin1(encoded(halves(4, 4), "png").toBase64())
        << data << none << "";
    QTest::newRow("data URL too large")
        << "data:image/png;base64," +
               QString(int(PictureLimits::maxDataBytes / 3 * 4 + 8), QLatin1Char('A'))
        << refused << int(PictureProblem::tooLarge) << "";
    QTest::newRow("data URL that is not a picture")
        << "data:text/html;base64,PGI+" << refused << int(PictureProblem::undecodable) << "";
}

void TestPictures::resolvesPaths()
{
    QFETCH(QString, destination);
    QFETCH(int, kind);
    QFETCH(int, problem);
    QFETCH(QString, resolved);
    const QString base = m_env->useBaseFolder();
    const QString root = m_env->path(QString());
    const QString notes = base + QStringLiteral("/Notes");
    const QByteArray png = encoded(halves(4, 4), "png");
    QVERIFY(TestFiles::write(notes + QStringLiteral("/Meeting.assets/a.png"), png));
    QVERIFY(TestFiles::write(notes + QStringLiteral("/会議 メモ.assets/写真 1.png"), png));
    QVERIFY(TestFiles::write(notes + QStringLiteral("/literal%20name.png"), png));
    QVERIFY(TestFiles::write(base + QStringLiteral("/Attachments/photo.jpg"), png));
    QVERIFY(TestFiles::write(root + QStringLiteral("/secret.png"), png));
    QVERIFY(TestFiles::write(root + QStringLiteral("/outside/secret.png"), png));
    QVERIFY(
        QFile::link(root + QStringLiteral("/secret.png"), notes + QStringLiteral("/escape.png")));
    QVERIFY(
        QFile::link(root + QStringLiteral("/outside"), notes + QStringLiteral("/outside-folder")));
    QVERIFY(QFile::link(base + QStringLiteral("/Attachments/photo.jpg"),
                        notes + QStringLiteral("/inside.jpg")));
    destination.replace(QStringLiteral("%ROOT%"), QDir::cleanPath(root));
    destination.replace(QStringLiteral("%BASE%"), base);

    const PictureTarget target = PicturePath::resolve(destination, notes, base);
    QCOMPARE(int(target.kind), kind);
    QCOMPARE(int(target.problem), problem);
    if (!resolved.isEmpty())
        QCOMPARE(target.path, QFileInfo(base + u'/' + resolved).canonicalFilePath());
    if (target.kind == PictureTarget::Kind::data)
        QCOMPARE(PictureDecoder::decode(target, 100).image.size(), QSize(4, 4));
    QVERIFY(!PictureProblems::text(target.problem).isEmpty() ||
            target.problem == PictureProblem::none);
}

void TestPictures::decodesUprightAndWithinLimits_data()
{
    QTest::addColumn<QString>("format"); ///< the plugin the row needs; empty for none
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("maxWidth");
    QTest::addColumn<int>("problem");
    QTest::addColumn<QSize>("size"); ///< the whole picture, upright
    QTest::addColumn<QSize>("shown");
    QTest::addColumn<QRgb>("topLeft"); ///< roughly, for lossy formats

    const int none = int(PictureProblem::none);
    const QRgb red = qRgb(255, 0, 0);
    const QByteArray jpeg = encoded(halves(40, 20), "jpeg");
    QTest::newRow("JPEG as stored")
        << "jpeg" << jpeg << 400 << none << QSize(40, 20) << QSize(40, 20) << red;
    // Orientation 6 is shown turned a quarter clockwise: the left half comes on top; 8 is
    // turned the other way, the left half at the bottom.
    QTest::newRow("JPEG turned upright from EXIF") << "jpeg" << withOrientation(jpeg, 6) << 400
                                                   << none << QSize(20, 40) << QSize(20, 40) << red;
    QTest::newRow("EXIF-turned JPEG scaled to the width")
        << "jpeg" << withOrientation(jpeg, 8) << 10 << none << QSize(20, 40) << QSize(10, 20)
        << qRgb(0, 0, 255);
    QByteArray real = TestFiles::read(photo);
    QTest::newRow("real photo scaled to the width")
        << "jpeg" << real << 200 << none << QSize(575, 931) << QSize(200, 324) << 0u;
    QTest::newRow("real photo never beyond its size")
        << "jpeg" << real << 2000 << none << QSize(575, 931) << QSize(575, 931) << 0u;
    QTest::newRow("PNG") << "png" << encoded(halves(8, 4), "png") << 400 << none << QSize(8, 4)
                         << QSize(8, 4) << red;
    QTest::newRow("BMP") << "bmp" << encoded(halves(8, 4), "bmp") << 4 << none << QSize(8, 4)
                         << QSize(4, 2) << red;
    QTest::newRow("GIF shows its first frame")
        << "gif" << twoFrameGif() << 400 << none << QSize(1, 1) << QSize(1, 1) << red;
    QTest::newRow("WebP") << "webp" << encoded(halves(8, 4), "webp") << 400 << none << QSize(8, 4)
                          << QSize(8, 4) << red;
    QTest::newRow("SVG drawn at the width")
        << "svg"
        << QByteArray(R"(<svg xmlns="http://www.w3.org/2000/svg" width="4000" height="2000">)"
                      R"(<rect width="2000" height="2000" fill="#ff0000"/>)"
                      R"(<rect x="2000" width="2000" height="2000" fill="#0000ff"/></svg>)")
        << 100 << none << QSize(4000, 2000) << QSize(100, 50) << red;
    QTest::newRow("too many pixels: never decoded")
        << "png" << pngHeaderClaiming(100000, 100000) << 400 << int(PictureProblem::tooLarge)
        << QSize() << QSize() << 0u;
    QTest::newRow("just over the pixel limit")
        << "png" << pngHeaderClaiming(8001, 8000) << 400 << int(PictureProblem::tooLarge) << QSize()
        << QSize() << 0u;
    QTest::newRow("not a picture") << "" << QByteArray("not a picture at all") << 400
                                   << int(PictureProblem::undecodable) << QSize() << QSize() << 0u;
}

void TestPictures::decodesUprightAndWithinLimits()
{
    QFETCH(QString, format);
    QFETCH(QByteArray, bytes);
    QFETCH(int, maxWidth);
    QFETCH(int, problem);
    QFETCH(QSize, size);
    QFETCH(QSize, shown);
    QFETCH(QRgb, topLeft);
    if (!format.isEmpty() && !hasReader(format.toLatin1()))
        QSKIP(qPrintable(QStringLiteral("No image reader for ") + format +
                         QStringLiteral(" (qt6-image-formats-plugins, libqt6svg6)")));
    QVERIFY(!bytes.isEmpty());
    const QString base = m_env->useBaseFolder();
    const QString path = base + QStringLiteral("/picture");
    QVERIFY(TestFiles::write(path, bytes));
    PictureTarget target;
    target.kind = PictureTarget::Kind::file;
    target.path = path;

    const DecodedPicture header = PictureDecoder::readHeader(target);
    QCOMPARE(int(header.problem), problem);
    QCOMPARE(header.size, size);
    const DecodedPicture picture = PictureDecoder::decode(target, maxWidth);
    QCOMPARE(int(picture.problem), problem);
    QCOMPARE(picture.size, size);
    QCOMPARE(picture.image.isNull() ? QSize() : picture.image.size(), shown);
    if (topLeft != 0) {
        const QColor got = picture.image.pixelColor(0, 0);
        const QColor want(topLeft);
        QVERIFY2(qAbs(got.red() - want.red()) < 60 && qAbs(got.blue() - want.blue()) < 60,
                 qPrintable(got.name()));
    }
}

void TestPictures::loaderCachesByFileAndWidth()
{
    const QString base = m_env->useBaseFolder();
    const QString path = base + QStringLiteral("/a.png");
    QVERIFY(TestFiles::write(path, encoded(halves(100, 50), "png"), 1000));
    const PictureTarget target = PicturePath::resolve(QStringLiteral("a.png"), base, base);
    PictureLoader loader;
    QSignalSpy ready(&loader, &PictureLoader::pictureReady);
    auto settled = [&](int width) {
        PictureLoader::Lookup lookup = loader.lookup(target, width);
        while (lookup.pending() && ready.wait())
            lookup = loader.lookup(target, width);
        return lookup;
    };

    PictureLoader::Lookup first = loader.lookup(target, 60);
    QVERIFY(first.pending());
    first = settled(60);
    QCOMPARE(first.image.size(), QSize(60, 30));
    QCOMPARE(first.size, QSize(60, 30));
    QCOMPARE(loader.cachedBytes(), first.image.sizeInBytes());
    // Kept: asked again, it is there at once.
    QCOMPARE(loader.lookup(target, 60).image.size(), QSize(60, 30));
    // Wider than the picture: its own size, decoded once for every such width. Meanwhile the
    // picture at the last width stands in, so a resized preview does not flash empty boxes.
    const PictureLoader::Lookup interim = loader.lookup(target, 500);
    QCOMPARE(interim.image.size(), QSize(60, 30));
    QCOMPARE(interim.size, QSize(100, 50));
    QVERIFY(interim.pending());
    QCOMPARE(settled(500).image.size(), QSize(100, 50));
    QCOMPARE(loader.lookup(target, 800).image.size(), QSize(100, 50));
    // Another program replaced the file: the new picture, not the kept one.
    QVERIFY(TestFiles::write(path, encoded(halves(10, 40), "png"), 2000));
    QCOMPARE(settled(60).image.size(), QSize(10, 40));
    QVERIFY(loader.cachedBytes() <= PictureLoader::budgetBytes);
    // Refused targets answer at once, with their reason.
    const PictureTarget remote =
        PicturePath::resolve(QStringLiteral("https://example.com/a.png"), base, base);
    QCOMPARE(loader.lookup(remote, 60).problem, PictureProblem::remote);
    QVERIFY(TestFiles::write(base + QStringLiteral("/broken.png"), "broken"));
    const PictureTarget broken = PicturePath::resolve(QStringLiteral("broken.png"), base, base);
    PictureLoader::Lookup lookup = loader.lookup(broken, 60);
    while (lookup.pending() && ready.wait())
        lookup = loader.lookup(broken, 60);
    QCOMPARE(lookup.problem, PictureProblem::undecodable);
}

void TestPictures::storesPastedAndDroppedPictures()
{
    const QString base = m_env->useBaseFolder();
    const QString note = base + QStringLiteral("/Notes/会議 メモ.md");
    QVERIFY(TestFiles::write(note, "# memo\n"));
    const QDateTime now(QDate(2026, 12, 7), QTime(9, 30, 5));
    QCOMPARE(PictureAssets::pastedName(now), QStringLiteral("20261207-093005.png"));
    const QByteArray png = encoded(halves(4, 4), "png");
    const QByteArray jpeg = TestFiles::read(photo);
    const QString assets = base + QStringLiteral("/Notes/会議 メモ.assets");
    QVERIFY(TestFiles::write(assets + QStringLiteral("/photo.jpg"), "already there"));

    PictureAssets::Stored stored = PictureAssets::store(
        note, {{PictureAssets::pastedName(now), png}, {QStringLiteral("photo.jpg"), jpeg}});
    QVERIFY2(stored.ok(), qPrintable(stored.error));
    QCOMPARE(stored.markdown, QStringLiteral("![](<会議 メモ.assets/20261207-093005.png>)\n"
                                             "![](<会議 メモ.assets/photo-2.jpg>)"));
    QCOMPARE(TestFiles::read(assets + QStringLiteral("/20261207-093005.png")), png);
    QCOMPARE(TestFiles::read(assets + QStringLiteral("/photo-2.jpg")), jpeg);
    QCOMPARE(TestFiles::read(assets + QStringLiteral("/photo.jpg")), QByteArray("already there"));
    // The same second again: numbered, never replaced.
    stored = PictureAssets::store(note, {{PictureAssets::pastedName(now), jpeg}});
    QCOMPARE(stored.markdown, QStringLiteral("![](<会議 メモ.assets/20261207-093005-2.png>)"));
    QCOMPARE(TestFiles::read(assets + QStringLiteral("/20261207-093005.png")), png);
    // What is inserted finds the file again.
    const QList<PictureReference> found = PictureReferences::find(stored.markdown);
    QCOMPARE(found.size(), 1);
    QCOMPARE(PicturePath::resolve(found[0].destination, base + QStringLiteral("/Notes"), base).path,
             QFileInfo(assets + QStringLiteral("/20261207-093005-2.png")).canonicalFilePath());
    QCOMPARE(sorted(NoteAssets::fileNames(note)),
             sorted({"20261207-093005.png", "20261207-093005-2.png", "photo.jpg", "photo-2.jpg"}));

    // A daily memo that was never saved keeps its pictures beside the file it will be.
    const QString memo = base + QStringLiteral("/Daily/2026-12-07.md");
    stored = PictureAssets::store(memo, {{QStringLiteral("x.png"), png}});
    QVERIFY2(stored.ok(), qPrintable(stored.error));
    QCOMPARE(stored.markdown, QStringLiteral("![](<2026-12-07.assets/x.png>)"));
    QCOMPARE(TestFiles::read(base + QStringLiteral("/Daily/2026-12-07.assets/x.png")), png);
}

void TestPictures::storingFailsWholeAndWritesNothing_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("folderExisted");

    // Each picture's write flushes the file, then the folder after the rename.
    QTest::newRow("full disk on the second picture")
        << 3 << QStringLiteral("ディスクの空きがありません") << false;
    QTest::newRow("folder not flushed after the first picture")
        << 2 << QStringLiteral("ディスクの空きがありません") << true;
    QTest::newRow("read-only folder") << 0 << QStringLiteral("書き込みの権限がありません") << true;
}

void TestPictures::storingFailsWholeAndWritesNothing()
{
    QFETCH(int, fault);
    QFETCH(QString, reason);
    QFETCH(bool, folderExisted);
    const QString base = m_env->useBaseFolder();
    const QString note = base + QStringLiteral("/Notes/Plan.md");
    QVERIFY(TestFiles::write(note, "plan\n"));
    const QString assets = base + QStringLiteral("/Notes/Plan.assets");
    if (folderExisted)
        QVERIFY(QDir().mkpath(assets));
    SystemCallFaults::Guard guard;
    if (fault > 0)
        SystemCallFaults::failNth(SystemCallFaults::Call::fsync, fault, ENOSPC);
    else
        SystemCallFaults::refuseCreatingIn(assets, EACCES);

    const PictureAssets::Stored stored = PictureAssets::store(
        note, {{QStringLiteral("a.png"), "aaaa"}, {QStringLiteral("b.png"), "bbbb"}});
    QVERIFY(!stored.ok());
    QVERIFY(stored.markdown.isEmpty());
    QCOMPARE(stored.error, PictureAssets::saveFailedMessage + QStringLiteral(": ") + reason);
    QCOMPARE(entries(assets), QStringList());
    QCOMPARE(QFileInfo::exists(assets), folderExisted);
    QCOMPARE(TestFiles::read(note), QByteArray("plan\n"));
}

void TestPictures::rewritesLinksForAMove_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    const QString notes = QStringLiteral("/b/Notes/");
    QTest::newRow("renamed: own pictures follow, angle brackets kept")
        << notes + "Plan.md" << notes + "計画 2.md"
        << "a ![x](<Plan.assets/a b.png>) b\n![](Plan.assets/c.png \"t\")\n"
        << "a ![x](<計画 2.assets/a b.png>) b\n![](<計画 2.assets/c.png> \"t\")\n";
    QTest::newRow("renamed: percent-encoded stays percent-encoded")
        << notes + "My Plan.md" << notes + "Other Plan.md"
        << "![](My%20Plan.assets/a.png)"
        << "![](Other%20Plan.assets/a.png)";
    QTest::newRow("renamed: other pictures stay as they are")
        << notes + "Plan.md" << notes + "Next.md"
        << "![](../Attachments/p.jpg) ![](https://e.com/Plan.assets/x.png) "
           "![](/abs/Plan.assets/y.png)"
        << "![](../Attachments/p.jpg) ![](https://e.com/Plan.assets/x.png) "
           "![](/abs/Plan.assets/y.png)";
    QTest::newRow("moved deeper: relative pictures still reach their files")
        << notes + "Plan.md" << notes + "Work/2026/Plan.md"
        << "![](Plan.assets/a.png) ![](../Attachments/p.jpg) ![](shared.png)"
        << "![](Plan.assets/a.png) ![](../../../Attachments/p.jpg) ![](../../shared.png)";
    QTest::newRow("fenced code is left alone")
        << notes + "Plan.md" << notes + "Next.md"
        << "```\n![](Plan.assets/a.png)\n```\n![](Plan.assets/a.png)"
        << "```\n![](Plan.assets/a.png)\n```\n![](Next.assets/a.png)";
    QTest::newRow("a similar name is another note's")
        << notes + "Plan.md" << notes + "Next.md"
        << "![](Plan.assets2/a.png) ![](Plan2.assets/a.png)"
        << "![](Plan.assets2/a.png) ![](Plan2.assets/a.png)";
}

void TestPictures::rewritesLinksForAMove()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(PictureLinks::apply(text, PictureLinks::editsForMove(text, from, to)), expected);
}

void TestPictures::picturesTravelWithTheirNote()
{
    const QString base = m_env->useBaseFolder();
    const QString notes = base + QStringLiteral("/Notes");
    PictureFollower follower(nullptr);
    NoteChangeRecorder changes;
    const QByteArray text = "\xef\xbb\xbf---\r\ntitle: Plan\r\n---\r\n"
                            "見て ![図](<Plan.assets/写真 1.png>)\r\n![](../Attachments/p.jpg)\r\n";
    QVERIFY(TestFiles::write(notes + QStringLiteral("/Plan.md"), text));
    QVERIFY(TestFiles::write(notes + QStringLiteral("/Plan.assets/写真 1.png"), "png"));

    // Renamed in place: the folder takes the new name, the link follows, nothing else changes.
    AtomicFile::Error error;
    QVERIFY(NoteStore::instance().moveNote(notes + QStringLiteral("/Plan.md"),
                                           notes + QStringLiteral("/計画.md"), &error));
    QCoreApplication::sendPostedEvents(&follower);
    QVERIFY(!QFileInfo::exists(notes + QStringLiteral("/Plan.assets")));
    QCOMPARE(TestFiles::read(notes + QStringLiteral("/計画.assets/写真 1.png")), QByteArray("png"));
    QCOMPARE(TestFiles::read(notes + QStringLiteral("/計画.md")),
             QByteArray(text).replace("<Plan.assets/", "<計画.assets/"));
    QCOMPARE(changes.take(base),
             QStringList({"moved Notes/Plan.md -> Notes/計画.md",
                          "folderMoved Notes/Plan.assets -> Notes/計画.assets",
                          "saved Notes/計画.md | " + QString::fromUtf8(text.mid(3))}));

    // Moved to another folder: pictures and the path to the shared picture follow.
    QVERIFY(QDir().mkpath(notes + QStringLiteral("/Work")));
    QVERIFY(NoteStore::instance().moveNote(notes + QStringLiteral("/計画.md"),
                                           notes + QStringLiteral("/Work/計画.md"), &error));
    QCoreApplication::sendPostedEvents(&follower);
    QCOMPARE(TestFiles::read(notes + QStringLiteral("/Work/計画.assets/写真 1.png")),
             QByteArray("png"));
    QCOMPARE(TestFiles::read(notes + QStringLiteral("/Work/計画.md")),
             QByteArray(text)
                 .replace("<Plan.assets/", "<計画.assets/")
                 .replace("../Attachments", "../../Attachments"));

    // A folder of the new name in the way: nothing moves at all.
    QVERIFY(TestFiles::write(notes + QStringLiteral("/Work/Taken.assets/other.png"), "other"));
    QVERIFY(!NoteStore::instance().moveNote(notes + QStringLiteral("/Work/計画.md"),
                                            notes + QStringLiteral("/Work/Taken.md"), &error));
    QCOMPARE(error.code, EEXIST);
    QVERIFY(QFileInfo::exists(notes + QStringLiteral("/Work/計画.md")));
    QVERIFY(!QFileInfo::exists(notes + QStringLiteral("/Work/Taken.md")));
    QCOMPARE(entries(notes + QStringLiteral("/Work/計画.assets")), QStringList{"写真 1.png"});
    QCOMPARE(entries(notes + QStringLiteral("/Work/Taken.assets")), QStringList{"other.png"});

    // The folder cannot follow: the note goes back where it was.
    {
        SystemCallFaults::Guard guard;
        SystemCallFaults::failNth(SystemCallFaults::Call::renameat2, 2, EACCES);
        QVERIFY(!NoteStore::instance().moveNote(notes + QStringLiteral("/Work/計画.md"),
                                                notes + QStringLiteral("/Work/Later.md"), &error));
    }
    QVERIFY(QFileInfo::exists(notes + QStringLiteral("/Work/計画.md")));
    QVERIFY(!QFileInfo::exists(notes + QStringLiteral("/Work/Later.md")));
    QVERIFY(QFileInfo::exists(notes + QStringLiteral("/Work/計画.assets/写真 1.png")));
}

void TestPictures::picturesGoWithADeletedNote()
{
    const QString base = m_env->useBaseFolder();
    const QString notes = base + QStringLiteral("/Notes");
    QVERIFY(TestFiles::write(notes + QStringLiteral("/Plan.md"), "plan"));
    QVERIFY(TestFiles::write(notes + QStringLiteral("/Plan.assets/a.png"), "a"));
    QVERIFY(TestFiles::write(notes + QStringLiteral("/Plan.assets/sub/b.png"), "b"));
    QVERIFY(TestFiles::write(notes + QStringLiteral("/Linked.md"), "linked"));
    QVERIFY(TestFiles::write(base + QStringLiteral("/Kept/c.png"), "c"));
    QVERIFY(QFile::link(base + QStringLiteral("/Kept"), notes + QStringLiteral("/Linked.assets")));
    QCOMPARE(NoteAssets::fileNames(notes + QStringLiteral("/Plan.md")), QStringList{"a.png"});
    // The question names them; a note without pictures is asked about as before.
    for (int i = 2; i <= 7; ++i)
        QVERIFY(TestFiles::write(notes + QStringLiteral("/Plan.assets/%1.png").arg(i), "n"));
    QCOMPARE(
        NoteAssets::deletionNotice(notes + QStringLiteral("/Plan.md")),
        QStringLiteral("画像 7 件も削除されます: 2.png、3.png、4.png、5.png、6.png ほか 2 件"));
    QCOMPARE(NoteAssets::deletionNotice(notes + QStringLiteral("/Linked.md")), QString());

    AtomicFile::Error error;
    QVERIFY(NoteStore::instance().deleteNote(notes + QStringLiteral("/Plan.md"), &error));
    QVERIFY(NoteStore::instance().deleteNote(notes + QStringLiteral("/Linked.md"), &error));
    QCOMPARE(entries(notes), QStringList());
    // A linked folder is unlinked, never emptied.
    QCOMPARE(TestFiles::read(base + QStringLiteral("/Kept/c.png")), QByteArray("c"));

    // "Idea.md" beside "Idea.TXT" share "Idea.assets": it neither goes nor moves with one alone.
    QVERIFY(TestFiles::write(notes + QStringLiteral("/Idea.md"), "md"));
    QVERIFY(TestFiles::write(notes + QStringLiteral("/Idea.TXT"), "txt"));
    QVERIFY(TestFiles::write(notes + QStringLiteral("/Idea.assets/d.png"), "d"));
    QCOMPARE(NoteAssets::deletionNotice(notes + QStringLiteral("/Idea.TXT")), QString());
    QVERIFY(NoteStore::instance().moveNote(notes + QStringLiteral("/Idea.TXT"),
                                           notes + QStringLiteral("/Other.TXT"), &error));
    QVERIFY(NoteStore::instance().moveNote(notes + QStringLiteral("/Other.TXT"),
                                           notes + QStringLiteral("/Idea.TXT"), &error));
    QVERIFY(NoteStore::instance().deleteNote(notes + QStringLiteral("/Idea.md"), &error));
    QCOMPARE(TestFiles::read(notes + QStringLiteral("/Idea.assets/d.png")), QByteArray("d"));
    // The last of them takes the folder with it.
    QVERIFY(NoteStore::instance().deleteNote(notes + QStringLiteral("/Idea.TXT"), &error));
    QCOMPARE(entries(notes), QStringList());
}

void TestPictures::notesPageHidesAssetsFolders()
{
    const QString base = m_env->useBaseFolder();
    const QString notes = base + QStringLiteral("/Notes");
    QVERIFY(TestFiles::write(notes + QStringLiteral("/Plan.md"), "plan"));
    QVERIFY(QDir().mkpath(notes + QStringLiteral("/Plan.assets")));
    QVERIFY(TestFiles::write(notes + QStringLiteral("/Work/Memo.TXT"), "memo"));
    QVERIFY(QDir().mkpath(notes + QStringLiteral("/Work/Memo.assets")));
    // Without its note beside it, such a folder is a folder like any other.
    QVERIFY(QDir().mkpath(notes + QStringLiteral("/Orphan.assets")));
    QVERIFY(QDir().mkpath(notes + QStringLiteral("/.assets")));
    QCOMPARE(
        sorted(NoteScan::collectFolders(notes)),
        sorted({notes, notes + QStringLiteral("/Orphan.assets"), notes + QStringLiteral("/Work")}));
}

QTEST_MAIN(TestPictures)
#include "tst_pictures.moc"
