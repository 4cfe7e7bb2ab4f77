// The pictures the windows show come from the compiled-in resources; a missing file, a wrong
// size or a GIF that Qt cannot read would leave a window with an empty or distorted button.
#include <QColor>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QSet>
#include <QSize>
#include <QString>
#include <QTest>

namespace {

// Counts the pixels that are fully transparent and the distinct opaque colours.
struct PixelSurvey {
    int transparent = 0;
    QSet<QRgb> opaqueColours;
};

PixelSurvey survey(const QImage& image) {
    PixelSurvey result;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb pixel = argb.pixel(x, y);
            if (qAlpha(pixel) == 0)
                ++result.transparent;
            else if (qAlpha(pixel) == 255)
                result.opaqueColours.insert(pixel);
        }
    }
    return result;
}

} // namespace

class TestPictures : public QObject {
    Q_OBJECT

private slots:
    void gifPictureLoadsAtItsSize_data();
    void gifPictureLoadsAtItsSize();
    void iconHasFourSizesOf32Bits_data();
    void iconHasFourSizesOf32Bits();
};

void TestPictures::gifPictureLoadsAtItsSize_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    // Buttons and logo sit on the window's own background, so their corners must show it.
    QTest::addColumn<bool>("transparentCorner");

    QTest::newRow("logo") << ":/pictures/logo.gif" << QSize(147, 69) << true;
    QTest::newRow("Command2 start") << ":/pictures/command2.gif" << QSize(40, 48) << true;
    QTest::newRow("Command1 about") << ":/pictures/command1.gif" << QSize(32, 48) << true;
    QTest::newRow("Command3 home page") << ":/pictures/command3.gif" << QSize(32, 48) << true;
    QTest::newRow("Command4 exit") << ":/pictures/command4.gif" << QSize(40, 52) << true;
    QTest::newRow("About picture") << ":/pictures/about.gif" << QSize(86, 90) << false;
}

void TestPictures::gifPictureLoadsAtItsSize() {
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(bool, transparentCorner);

    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("gif"));
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);

    // The way the windows load it.
    const QPixmap pixmap(path);
    QCOMPARE(pixmap.size(), size);

    // A drawing, not a blank or single-colour block.
    const PixelSurvey pixels = survey(image);
    QVERIFY2(pixels.opaqueColours.size() >= 8,
             qPrintable(QStringLiteral("only %1 opaque colours").arg(pixels.opaqueColours.size())));
    QCOMPARE(qAlpha(image.convertToFormat(QImage::Format_ARGB32).pixel(0, 0)) == 0, transparentCorner);
}

void TestPictures::iconHasFourSizesOf32Bits_data() {
    QTest::addColumn<int>("side");
    for (int side : {16, 32, 48, 64})
        QTest::addRow("%dx%d", side, side) << side;
}

void TestPictures::iconHasFourSizesOf32Bits() {
    QFETCH(int, side);
    const QString path = QStringLiteral(":/icons/stepwick-%1.png").arg(side);

    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("png"));
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), QSize(side, side));
    QVERIFY(image.hasAlphaChannel());
    QCOMPARE(image.depth(), 32);

    // The icon has a shape: transparent around it, opaque in it.
    const PixelSurvey pixels = survey(image);
    QVERIFY(pixels.transparent > 0);
    QVERIFY(pixels.opaqueColours.size() >= 4);
}

QTEST_MAIN(TestPictures)
#include "test_pictures.moc"
