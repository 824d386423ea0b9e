// The codec of the instrument's byte layouts: the little-endian words, the command frames, record
// placement in both layouts and back, the measurement-file marker, the cp1251 texts and the
// display-image sizes.
#include "data/instrument_bytes.h"

#include <QStringDecoder>
#include <QTest>
#include <cstring>
#include <vector>

using namespace vyz;

namespace {

// A record whose 32 bytes all differ, so a byte placed at the wrong offset shows.
ArchiveRecord distinctRecord(uint8_t first) {
    ArchiveRecord r;
    auto* bytes = reinterpret_cast<uint8_t*>(&r);
    for (size_t i = 0; i < sizeof r; ++i)
        bytes[i] = static_cast<uint8_t>(first + 7 * i);
    return r;
}

const uint8_t* bytesOf(const ArchiveRecord& r) {
    return reinterpret_cast<const uint8_t*>(&r);
}

std::vector<uint8_t> bytes(const QByteArray& a) {
    return {a.begin(), a.end()};
}

} // namespace

class TestInstrumentBytes : public QObject {
    Q_OBJECT
private slots:
    void littleEndian_data();
    void littleEndian();
    void commandFrames_data();
    void commandFrames();
    void placement_data();
    void placement();
    void marker_data();
    void marker();
    void cp1251();
    void imageSizes();
};

void TestInstrumentBytes::littleEndian_data() {
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<uint>("word");
    QTest::addColumn<int>("int32");
    QTest::newRow("zero") << QByteArray(4, '\0') << 0u << 0;
    QTest::newRow("low byte first") << QByteArray("\x34\x12\x00\x00", 4) << 0x1234u << 0x1234;
    QTest::newRow("high half") << QByteArray("\xFF\xFF\x01\x00", 4) << 0xFFFFu << 0x1FFFF;
    QTest::newRow("negative") << QByteArray("\xFE\xFF\xFF\xFF", 4) << 0xFFFEu << -2;
    QTest::newRow("image size") << QByteArray("\x00\x58\x02\x00", 4) << 0x5800u << 153600;
}

void TestInstrumentBytes::littleEndian() {
    QFETCH(QByteArray, wire);
    QFETCH(uint, word);
    QFETCH(int, int32);
    const std::vector<uint8_t> in = bytes(wire);
    QCOMPARE(uint(Le16(in.data())), word);
    QCOMPARE(LeInt32(in.data()), int32);
    uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    PutLe16(out, uint16_t(word));
    QCOMPARE(QByteArray(reinterpret_cast<char*>(out), 2), wire.left(2));
    QCOMPARE(int(out[2]), 0xEE); // nothing beyond the word
    PutLe32(out, uint32_t(int32));
    QCOMPARE(QByteArray(reinterpret_cast<char*>(out), 4), wire);
}

void TestInstrumentBytes::commandFrames_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("identity") << int(CmdIdentity) << QByteArray("\x01\xFE", 2);
    QTest::newRow("archive state") << int(CmdArchiveState) << QByteArray("\x02\xFD", 2);
    QTest::newRow("records") << int(CmdRecords) << QByteArray("\x03\xFC", 2);
    QTest::newRow("display image") << int(CmdScreen) << QByteArray("\x04\xFB", 2);
}

void TestInstrumentBytes::commandFrames() {
    QFETCH(int, code);
    QFETCH(QByteArray, wire);
    const auto frame = CommandFrame(uint8_t(code));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(frame.data()), 2), wire);
    QVERIFY(IsCommandFrame(frame.data()));
    const uint8_t wrong[2] = {frame[0], uint8_t(frame[1] ^ 1)};
    QVERIFY(!IsCommandFrame(wrong));
}

// Both layouts into a slot and, for the plain one, back: the leading 22 bytes stand alike, the
// tail word comes at 22 in a plain record and at 30 in a coordinates record.
void TestInstrumentBytes::placement_data() {
    QTest::addColumn<bool>("coordinates");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("fill"); // what the slot held before
    QTest::newRow("plain") << false << 1 << 0xEE;
    QTest::newRow("plain over zeros") << false << 0x80 << 0x00;
    QTest::newRow("coordinates") << true << 3 << 0xEE;
    QTest::newRow("coordinates over zeros") << true << 0xF0 << 0x00;
}

void TestInstrumentBytes::placement() {
    QFETCH(bool, coordinates);
    QFETCH(int, first);
    QFETCH(int, fill);
    const ArchiveRecord source = distinctRecord(uint8_t(first));
    ArchiveRecord slot;
    std::memset(&slot, fill, sizeof slot);
    const uint8_t* in = bytesOf(source);
    const uint8_t* out = bytesOf(slot);
    if (coordinates) {
        PlaceCoordinatesRecord(slot, in);
        QCOMPARE(std::memcmp(out, in, sizeof slot), 0);
        return;
    }
    const PlainRecord plain = PlainRecordOf(source);
    QCOMPARE(std::memcmp(plain.data(), in, 22), 0);
    QCOMPARE(int(Le16(plain.data() + 22)), int(source.TailWord));
    QCOMPARE(int(plain[22]), int(in[30])); // the tail word's low byte first
    PlacePlainRecord(slot, plain.data());
    QCOMPARE(std::memcmp(out, in, 22), 0);
    for (int i = 22; i < 30; ++i)
        QCOMPARE(int(out[i]), fill); // the coordinates keep what they held
    QCOMPARE(slot.TailWord, source.TailWord);
    QVERIFY(PlainRecordOf(slot) == plain);
}

// The program reads a file as coordinates when bytes 0..10 are "GLONASS/GPS" and byte 11 is
// zero; bytes 12..15 are not examined.
void TestInstrumentBytes::marker_data() {
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<bool>("coordinates");
    const QByteArray marker(reinterpret_cast<const char*>(CoordinatesMarker), MarkerSize);
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("11 bytes: the characters alone") << marker.left(11) << false;
    QTest::newRow("12 bytes: characters and terminator") << marker.left(12) << true;
    QTest::newRow("16 bytes: the whole marker") << marker << true;
    QTest::newRow("bytes 12..15 not examined") << marker.left(12) + "abcd" << true;
    QTest::newRow("byte 11 not zero") << marker.left(11) + QByteArray("X\0\0\0\0", 5) << false;
    QTest::newRow("one character differs") << QByteArray("GLONASS/GPT\0\0\0\0\0", 16) << false;
    QTest::newRow("lower case") << QByteArray("glonass/gps\0\0\0\0\0", 16) << false;
    QTest::newRow("records behind") << marker + QByteArray(64, '\x11') << true;
    QTest::newRow("plain records") << QByteArray(48, '\x47') << false;
}

void TestInstrumentBytes::marker() {
    QFETCH(QByteArray, head);
    QFETCH(bool, coordinates);
    const std::vector<uint8_t> file = bytes(head);
    const FileLayout layout = DetectLayout(file);
    QCOMPARE(layout.coordinates, coordinates);
    QCOMPARE(layout.dataOffset, coordinates ? size_t(16) : size_t(0));
    QCOMPARE(layout.recordSize, coordinates ? size_t(32) : size_t(24));
}

// Every byte as Qt's own decoder reads the code page, but for the one byte the code page leaves
// undefined, which becomes the replacement character instead of a control character.
void TestInstrumentBytes::cp1251() {
    QStringDecoder reference("windows-1251");
    QVERIFY(reference.isValid());
    for (int b = 1; b < 256; ++b) {
        const char byte = char(b);
        const QString expected =
            b == 0x98 ? QString(QChar(0xFFFD)) : reference(QByteArray(&byte, 1));
        QCOMPARE(QString::fromStdString(Cp1251ToUtf8(std::string_view(&byte, 1))), expected);
    }
    const QByteArray text("\xCF\xEB\xEE\xF2\xED\xEE\xEC\xE5\xF0 \xB9"
                          "5");
    QCOMPARE(QString::fromStdString(Cp1251ToUtf8(std::string_view(text.data(), text.size()))),
             QString::fromUtf8("Плотномер №5"));
    // A zero byte inside a counted text stays; a C string ends at its zero.
    QCOMPARE(Cp1251ToUtf8(std::string_view("a\0b", 3)), std::string("a\0b", 3));
    QCOMPARE(Cp1251ToUtf8("a\0b"), std::string("a"));
}

void TestInstrumentBytes::imageSizes() {
    QCOMPARE(ColourImageBytes, 153600);
    QCOMPARE(MonoImageBytes, 9600);
    QCOMPARE(ColourImageRowBytes * DisplayHeight, ColourImageBytes);
    QCOMPARE(MonoImageBytes * 8, DisplayWidth * DisplayHeight);
}

QTEST_APPLESS_MAIN(TestInstrumentBytes)
#include "test_instrument_bytes.moc"
