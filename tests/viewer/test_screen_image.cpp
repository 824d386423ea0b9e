// Decoding of the two display-image formats into the 324 x 244 picture, and the bitmap file read
// back by independent readers (ImageMagick, and a Python program parsing the headers itself).
#include "data/screen_image.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace vyz;

Q_DECLARE_METATYPE(vyz::Rgb)

namespace {

constexpr Rgb Black{0, 0, 0};
constexpr Rgb White{255, 255, 255};
constexpr Rgb Ink{31, 44, 37};
constexpr Rgb Paper{225, 234, 234};

std::vector<uint8_t> ColourImage(uint16_t fill) {
    std::vector<uint8_t> image(ColourImageBytes);
    for (std::size_t i = 0; i < image.size(); i += 2) {
        image[i] = uint8_t(fill);
        image[i + 1] = uint8_t(fill >> 8);
    }
    return image;
}

void SetWord(std::vector<uint8_t>& image, int x, int y, uint16_t word) {
    const std::size_t at = (std::size_t(y) * DisplayWidth + x) * 2;
    image[at] = uint8_t(word);
    image[at + 1] = uint8_t(word >> 8);
}

QByteArray RawRgb(const Picture& p) {
    QByteArray raw;
    for (const Rgb& c : p.pixels())
        raw.append(char(c.r)).append(char(c.g)).append(char(c.b));
    return raw;
}

} // namespace

class TestScreenImage : public QObject {
    Q_OBJECT
private slots:
    void colourWords_data() {
        QTest::addColumn<int>("word");
        QTest::addColumn<Rgb>("expected");
        QTest::newRow("red") << 0xF800 << Rgb{255, 0, 0};
        QTest::newRow("green") << 0x07C0 << Rgb{0, 255, 0};
        QTest::newRow("blue") << 0x001F << Rgb{0, 0, 255};
        QTest::newRow("bit 5 only") << 0x0020 << Rgb{0, 0, 0};
        QTest::newRow("all") << 0xFFFF << Rgb{255, 255, 255};
        QTest::newRow("one step of each") << ((1 << 11) | (1 << 6) | 1) << Rgb{8, 8, 8};
        QTest::newRow("16 of red") << (16 << 11) << Rgb{131, 0, 0};
    }
    void colourWords() {
        QFETCH(int, word);
        QFETCH(Rgb, expected);
        QCOMPARE(DecodeColourWord(uint16_t(word)), expected);
        // The same word at the display's top-left and bottom-right corners of a whole image, the
        // bytes little-endian.
        std::vector<uint8_t> image = ColourImage(0);
        SetWord(image, 0, 0, uint16_t(word));
        SetWord(image, DisplayWidth - 1, DisplayHeight - 1, uint16_t(word));
        const Picture p = RenderColourPicture(image.data());
        QCOMPARE(p.at(2, 2), expected);
        QCOMPARE(p.at(321, 241), expected);
        QCOMPARE(p.at(3, 2), Black);
    }

    void colourRowsAndColumnsLandInPlace() {
        // Each display pixel gets a word that encodes its own position; every one must land at
        // (x + 2, y + 2).
        std::vector<uint8_t> image(ColourImageBytes);
        for (int y = 0; y < DisplayHeight; ++y)
            for (int x = 0; x < DisplayWidth; ++x)
                SetWord(image, x, y, uint16_t((y % 32) << 11 | (x % 32) << 6 | (x / 32)));
        const Picture p = RenderColourPicture(image.data());
        for (int y = 0; y < DisplayHeight; ++y)
            for (int x = 0; x < DisplayWidth; ++x) {
                const Rgb want =
                    DecodeColourWord(uint16_t((y % 32) << 11 | (x % 32) << 6 | (x / 32)));
                if (!(p.at(x + 2, y + 2) == want))
                    QFAIL(qPrintable(QString("pixel %1,%2").arg(x).arg(y)));
            }
    }

    void colourFrameRings() {
        // A white image shows the rings: black outermost, white inside it (the same colour as
        // the image); a red image makes the white ring stand out from it.
        const std::vector<uint8_t> image = ColourImage(0xF800);
        const Picture p = RenderColourPicture(image.data());
        for (int x = 0; x < PictureWidth; ++x) {
            QCOMPARE(p.at(x, 0), Black);
            QCOMPARE(p.at(x, PictureHeight - 1), Black);
        }
        for (int y = 0; y < PictureHeight; ++y) {
            QCOMPARE(p.at(0, y), Black);
            QCOMPARE(p.at(PictureWidth - 1, y), Black);
        }
        for (int x = 1; x < PictureWidth - 1; ++x) {
            QCOMPARE(p.at(x, 1), White);
            QCOMPARE(p.at(x, PictureHeight - 2), White);
        }
        for (int y = 1; y < PictureHeight - 1; ++y) {
            QCOMPARE(p.at(1, y), White);
            QCOMPARE(p.at(PictureWidth - 2, y), White);
        }
        QCOMPARE(p.at(2, 2), (Rgb{255, 0, 0}));
        QCOMPARE(p.at(321, 241), (Rgb{255, 0, 0}));
    }

    void monoFirstPixelOnly() {
        std::vector<uint8_t> mono(MonoImageBytes, 0);
        mono[0] = 0x80;
        PixelMap map;
        map.fill(7); // whatever was there before is replaced
        UnpackMono(mono.data(), map);
        for (int x = 0; x < PictureWidth; ++x)
            for (int y = 0; y < PictureHeight; ++y)
                QCOMPARE(int(map[PixelIndex(x, y)]), (x == 2 && y == 2) ? 1 : 0);
        QCOMPARE(PixelIndex(2, 2), std::size_t(244 * 2 + 2));
        const Picture p = RenderMonoPicture(map, Ink, Paper);
        for (int x = 0; x < PictureWidth; ++x)
            for (int y = 0; y < PictureHeight; ++y)
                QCOMPARE(p.at(x, y), (x == 2 && y == 2) ? Ink : Paper);
    }

    void monoBitOrderAndRows_data() {
        QTest::addColumn<int>("byteIndex");
        QTest::addColumn<int>("byteValue");
        QTest::addColumn<int>("x"); // picture coordinates of the one ink pixel
        QTest::addColumn<int>("y");
        QTest::newRow("least significant bit of byte 0") << 0 << 0x01 << 9 << 2;
        QTest::newRow("last byte of row 0") << 39 << 0x01 << 321 << 2;
        QTest::newRow("first byte of row 1") << 40 << 0x80 << 2 << 3;
        QTest::newRow("last pixel") << 9599 << 0x01 << 321 << 241;
    }
    void monoBitOrderAndRows() {
        QFETCH(int, byteIndex);
        QFETCH(int, byteValue);
        QFETCH(int, x);
        QFETCH(int, y);
        std::vector<uint8_t> mono(MonoImageBytes, 0);
        mono[byteIndex] = uint8_t(byteValue);
        PixelMap map;
        UnpackMono(mono.data(), map);
        int ink = 0;
        for (uint8_t v : map)
            ink += v;
        QCOMPARE(ink, 1);
        QCOMPARE(int(map[PixelIndex(x, y)]), 1);
    }

    void monoAllInkKeepsBackgroundBorder() {
        std::vector<uint8_t> mono(MonoImageBytes, 0xFF);
        PixelMap map;
        UnpackMono(mono.data(), map);
        const Picture p = RenderMonoPicture(map, Ink, Paper);
        for (int x = 0; x < PictureWidth; ++x)
            for (int y = 0; y < PictureHeight; ++y) {
                const bool border = x < 2 || y < 2 || x >= 322 || y >= 242;
                QCOMPARE(p.at(x, y), border ? Paper : Ink);
            }
    }

    void colorValues() {
        QCOMPARE(RgbFromColorValue(2436127), Ink);
        QCOMPARE(RgbFromColorValue(15395553), Paper);
        QCOMPARE(RgbFromColorValue(16711680), (Rgb{0, 0, 255}));
        QCOMPARE(ColorValueFromRgb(Ink), 2436127u);
    }

    void bitmapReadBackByAnotherReader() {
        // A picture with every pixel different enough to catch swapped channels, a flipped row
        // order or a wrong row padding (324 * 3 = 972 bytes a row).
        std::vector<uint8_t> image(ColourImageBytes);
        for (int y = 0; y < DisplayHeight; ++y)
            for (int x = 0; x < DisplayWidth; ++x)
                SetWord(image, x, y, uint16_t((x * 7 + y * 13) * 97));
        const Picture p = RenderColourPicture(image.data());
        QTemporaryDir dir;
        const QString bmp = dir.filePath("Screenshot.bmp");
        const std::vector<uint8_t> bytes = EncodeBmp24(p);
        QCOMPARE(bytes.size(), size_t(54 + 972 * 244));
        QFile file(bmp);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())),
                 qint64(bytes.size()));
        file.close();

        // ImageMagick decodes it to raw RGB, top row first.
        const QString convert = QStandardPaths::findExecutable("convert");
        QVERIFY2(!convert.isEmpty(),
                 "ImageMagick's convert is needed (scripts/deps.sh installs it)");
        QProcess magick;
        magick.start(convert, {bmp, "-depth", "8", "rgb:" + dir.filePath("magick.rgb")});
        QVERIFY(magick.waitForFinished(30000));
        QCOMPARE(magick.exitCode(), 0);
        QFile magickRaw(dir.filePath("magick.rgb"));
        QVERIFY(magickRaw.open(QIODevice::ReadOnly));
        QVERIFY(magickRaw.readAll() == RawRgb(p));

        // A strict reader of the header fields (sizes, offsets, planes, depth, compression).
        const QString python = QStandardPaths::findExecutable("python3");
        if (python.isEmpty()) return;
        QProcess reader;
        reader.start(python, {QStringLiteral(VYZ_SOURCE_DIR "/tests/viewer/read_bmp.py"), bmp,
                              dir.filePath("raw")});
        QVERIFY(reader.waitForFinished(30000));
        QCOMPARE(reader.exitCode(), 0);
        QCOMPARE(reader.readAllStandardOutput().trimmed(), QByteArray("324x244"));
        QFile raw(dir.filePath("raw"));
        QVERIFY(raw.open(QIODevice::ReadOnly));
        QVERIFY(raw.readAll() == RawRgb(p));
    }
};

QTEST_GUILESS_MAIN(TestScreenImage)
#include "test_screen_image.moc"
