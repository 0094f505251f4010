#include "platform/symbolicons.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTest>

using SymbolIcons::Symbol;

Q_DECLARE_METATYPE(SymbolIcons::Symbol)

namespace {

/// `symbol` painted over `background` into a square of `logical` pixels at `ratio`, as the
/// device's pixels.
QImage painted(Symbol symbol, int logical, qreal ratio, const QColor &background = Qt::transparent)
{
    QPixmap pixmap(QSize(logical, logical) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(background);
    {
        QPainter painter(&pixmap);
        SymbolIcons::paint(painter, QRectF(0, 0, logical, logical), symbol, SymbolIcons::blue);
    }
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

/// The largest difference of one channel between two images of one size.
int largestDifference(const QImage &a, const QImage &b)
{
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            largest = std::max({largest, qAbs(qRed(p) - qRed(q)), qAbs(qGreen(p) - qGreen(q)),
                                qAbs(qBlue(p) - qBlue(q)), qAbs(qAlpha(p) - qAlpha(q))});
        }
    }
    return largest;
}

QImage image(const QIcon &icon, QSize size, qreal ratio, QIcon::Mode mode = QIcon::Normal)
{
    return icon.pixmap(size, ratio, mode).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestSymbolIcons : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sharpOnDenseScreens_data()
    {
        QTest::addColumn<Symbol>("symbol");
        // Drawn straight onto the device, and (the cut-out cross) through a layer of its own.
        QTest::newRow("pin of a pinned note") << Symbol::pinFilled;
        QTest::newRow("page with white lines") << Symbol::document;
        QTest::newRow("cross cut out of a circle") << Symbol::clearCircle;
    }
    void sharpOnDenseScreens()
    {
        QFETCH(Symbol, symbol);
        // 16 logical pixels at twice the density are the same 32 device pixels as a symbol drawn
        // 32 pixels large: not a 16-pixel drawing blown up.
        const QImage reference = painted(symbol, 32, 1.0);
        QImage blank(reference.size(), reference.format());
        blank.fill(Qt::transparent);
        QCOMPARE(largestDifference(reference, blank), 255); // a drawing to compare with
        QVERIFY2(largestDifference(painted(symbol, 16, 2.0), reference) <= 8, "painted at ratio 2");
        const QImage icon = image(SymbolIcons::icon(symbol, SymbolIcons::blue), QSize(16, 16), 2.0);
        QCOMPARE(icon.size(), reference.size());
        QVERIFY2(largestDifference(icon, reference) <= 8, "the icon's pixmap at ratio 2");
    }

    void disabledIconsAreFaded()
    {
        // The plus: two strokes that cross, where a stroke-by-stroke fade would show darker.
        const QIcon icon = SymbolIcons::icon(Symbol::plus, SymbolIcons::blue);
        const QImage normal = image(icon, QSize(32, 32), 1.0);
        const QImage disabled = image(icon, QSize(32, 32), 1.0, QIcon::Disabled);
        QCOMPARE(qAlpha(normal.pixel(15, 15)), 255);
        int unevenlyFaded = 0;
        for (int y = 0; y < normal.height(); ++y) {
            for (int x = 0; x < normal.width(); ++x) {
                const int expected =
                    qRound(qAlpha(normal.pixel(x, y)) * SymbolIcons::disabledOpacity);
                unevenlyFaded += qAbs(qAlpha(disabled.pixel(x, y)) - expected) > 2;
            }
        }
        QCOMPARE(unevenlyFaded, 0);
    }

    // On a dense screen, where the layer the cross is cut out of must match the device.
    void clearCircleShowsWhatLiesBeneath()
    {
        const QImage image = painted(Symbol::clearCircle, 32, 2.0, Qt::red);
        const auto at = [&](int x, int y) { return image.pixelColor(QPoint(x, y) * 2).toRgb(); };
        QCOMPARE(at(16, 16), QColor(Qt::red));          // where the strokes of the cross meet
        QCOMPARE(at(1, 1), QColor(Qt::red));            // outside the circle
        QCOMPARE(at(16, 5), QColor(SymbolIcons::blue)); // the circle above the cross
    }
};

QTEST_MAIN(TestSymbolIcons)
#include "tst_symbolicons.moc"
