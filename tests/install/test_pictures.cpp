// The pictures the windows show come from the compiled-in resources; a missing file, a wrong
// size or a picture Qt cannot read would leave a window with an empty or distorted button.
#include <QImageReader>
#include <QSet>
#include <QTest>

class TestPictures : public QObject {
    Q_OBJECT
private slots:
    void loadsAtItsSizeAndIsADrawing_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("transparentCorner"); // what sits on the window's background shows it
        QTest::newRow("logo") << ":/pictures/logo.gif" << QSize(147, 69) << true;
        QTest::newRow("Command2 start") << ":/pictures/command2.gif" << QSize(40, 48) << true;
        QTest::newRow("Command1 about") << ":/pictures/command1.gif" << QSize(32, 48) << true;
        QTest::newRow("Command3 home page") << ":/pictures/command3.gif" << QSize(32, 48) << true;
        QTest::newRow("Command4 exit") << ":/pictures/command4.gif" << QSize(40, 52) << true;
        QTest::newRow("About picture") << ":/pictures/about.gif" << QSize(86, 90) << false;
        for (int side : {16, 32, 48, 64}) // the icon: 32 bits, a shape on a transparent ground
            QTest::addRow("icon %d", side)
                << QStringLiteral(":/icons/stepwick-%1.png").arg(side) << QSize(side, side) << true;
    }
    void loadsAtItsSizeAndIsADrawing() {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        QFETCH(bool, transparentCorner);
        QImageReader reader(path);
        QCOMPARE(reader.format(),
                 path.endsWith(QLatin1String(".gif")) ? QByteArray("gif") : QByteArray("png"));
        const QImage read = reader.read();
        QVERIFY2(!read.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(read.size(), size);
        if (reader.format() == "png")
            QCOMPARE(read.depth(), 32);
        const QImage image = read.convertToFormat(QImage::Format_ARGB32);
        QSet<QRgb> opaqueColours; // a drawing, not a blank or single-colour block
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) == 255)
                    opaqueColours.insert(image.pixel(x, y));
        QVERIFY2(opaqueColours.size() >= 4, qPrintable(QString::number(opaqueColours.size())));
        QCOMPARE(qAlpha(image.pixel(0, 0)) == 0, transparentCorner);
    }
};

QTEST_MAIN(TestPictures)
#include "test_pictures.moc"
