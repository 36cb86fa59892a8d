// GPS format catalogue: reference file grammar, bit fields, coordinate and payload decoding, comparison, bookkeeping.
#include <QtTest>

#include <limits>

#include "tests/common/TestSupport.h"
#include "utils/GpsFormat.h"

using TestSupport::thrownBy;
using Vantrel::Utils::CoordInfo_t;
using Vantrel::Utils::GpsFormat;
using Vantrel::Utils::GpsFormat_t;

namespace {

QString referencePath()
{
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../Data/format.kvl"));
}

// A valid 31-field line with field n replaced.
QString line(const QString& name, int n = -1, const QString& text = QString())
{
    QStringList f =
        QStringLiteral("%1,Maker,Model,Rev,64,0,1,1,20,6,1,0,1,0,21,1,22,21,6,1,0,1,0,0,1021,48,16,0,48,0,1")
            .arg(name)
            .split(',');
    if (n >= 0)
        f[n] = text;
    return f.join(',');
}

// The numeric fields in file order, from field 4 on.
QList<qint64> numbers(const GpsFormat_t& f)
{
    QList<qint64> n{f.payloadLen};
    for (const CoordInfo_t& c : {f.lat, f.lon})
        n << c.signPos << c.signLen << c.pos << c.len << c.t << c.u << c.v << c.w << c.ty;
    n << f.encryptionType << f.polynom << f.crcPos << f.crcLen << f.dataPos << f.dataLen << f.indexPos << f.gpsCheck;
    return n;
}

} // namespace

Q_DECLARE_METATYPE(CoordInfo_t)

class TstGpsFormat : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    GpsFormat* readFile(const QString& content, bool clearFirst = true)
    {
        const QString path = dir.filePath(QStringLiteral("formats.kvl"));
        if (!TestSupport::writeFile(path, content))
            qFatal("cannot write %s", qPrintable(path));
        GpsFormat* catalog = GpsFormat::instance();
        if (clearFirst)
            catalog->clearGpsFormats(GpsFormat::ORIGIN_FILE);
        catalog->readGpsFormatsFromFile(QFileInfo(path));
        return catalog;
    }

    static GpsFormat_t fileFormat(int index)
    {
        return GpsFormat::instance()->getAvailableFormats().value({GpsFormat::ORIGIN_FILE, index});
    }

private Q_SLOTS:
    void cleanup() { GpsFormat::instance()->resetCatalog(); }

    void lineSelection_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("30 fields skipped, index kept") << line("A") + "\n" + line("B").section(',', 0, 29) + "\n"
                + line("C") << QStringList{"A", "C"};
        QTest::newRow("32 fields skipped, index kept") << line("A") + "\n" + line("B") + ",0\n" + line("C")
                                                       << QStringList{"A", "C"};
        QTest::newRow("headers, comments, blank lines") << "name;maker\n# A,B\n\n" + line("A") << QStringList{"A"};
        QTest::newRow("trailing ,# leaves 31 fields") << line("A").section(',', 0, 29) + ",#" << QStringList{"A"};
        QTest::newRow("CRLF endings") << line("A") + "\r\n" + line("B") + "#\r\n" << QStringList{"A", "B"};
    }
    void lineSelection()
    {
        QFETCH(QString, content);
        QStringList read;
        const auto formats = readFile(content)->getFormatsForOrigin(GpsFormat::ORIGIN_FILE);
        for (int i = 0; i < formats.size(); ++i) {
            QCOMPARE(formats[i].first, i);
            read << formats[i].second.name;
        }
        QTEST(read, "names");
    }

    void fieldParsing_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("polynom 1F021 keeps low 16 bits") << 24 << "1F021" << qint64(0xF021);
        QTest::newRow("encryption 65536") << 23 << "65536" << qint64(0);
        QTest::newRow("gpsCheck 7") << 30 << "7" << qint64(1);
        QTest::newRow("gpsCheck 1## keeps one #") << 30 << "1##" << qint64(0);
        QTest::newRow("int beyond 32 bits") << 4 << "2147483648" << qint64(0);
    }
    void fieldParsing()
    {
        QFETCH(int, field);
        QFETCH(QString, text);
        QCOMPARE(readFile(line("A", field, text))->getFormatsForOrigin(GpsFormat::ORIGIN_FILE).size(), 1);
        QTEST(numbers(fileFormat(0)).at(field - 4), "expected");
    }

    void fieldsLandInOrder()
    {
        QStringList f{"N", "%2", "50%", "%1"};
        for (int i = 4; i <= 30; ++i)
            f << QString::number(i);
        f[23] = "2";
        readFile(f.join(','));
        QList<qint64> expected;
        for (int i = 4; i <= 22; ++i)
            expected << i;
        expected << 2 << 0x24 << 25 << 26 << 27 << 28 << 29 << 1;
        QCOMPARE(numbers(fileFormat(0)), expected);
        QCOMPARE(fileFormat(0).description, QStringLiteral("%2 - 50% (%1)")); // place markers in the text stay
    }

    void extractNumber_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("pos");
        QTest::addColumn<int>("len");
        QTest::addColumn<qint32>("expected");
        QTest::newRow("most significant bit first") << QByteArray::fromHex("8000") << 0 << 1 << 1;
        QTest::newRow("field crossing bytes") << QByteArray::fromHex("1abc") << 4 << 12 << 0xabc;
        QTest::newRow("32 bits") << QByteArray::fromHex("ffffffff") << 0 << 32 << -1;
        QTest::newRow("40 bits keep the last 32") << QByteArray::fromHex("123456789a") << 0 << 40 << 0x3456789a;
        QTest::newRow("one bit past the end") << QByteArray::fromHex("ff") << 7 << 2 << 0;
    }
    void extractNumber()
    {
        QFETCH(QByteArray, payload);
        QFETCH(int, pos);
        QFETCH(int, len);
        QTEST(GpsFormat::extractNumber(payload, pos, len), "expected");
    }

    void decodeCoordinate_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<CoordInfo_t>("coord");
        QTest::addColumn<uint>("limit");
        QTest::addColumn<double>("degrees");
        using C = CoordInfo_t;
        // Sign set and wrapping on a payload are in decodePayloadUsesBothLimits.
        const QByteArray sm20 = QByteArray::fromHex("a95802e253a00000"); // -33.8688 as sign and 20 bits of 1e-4 degree
        const QByteArray above = QByteArray::fromHex("5265c1"); // 5 400 001
        const QByteArray ones = QByteArray::fromHex("ffffffff");
        QTest::newRow("signLen 0 is positive") << sm20 << C{0, 0, 1, 20, 6, 1, 0, 1, 0} << 90u << 33.8688;
        QTest::newRow("two-bit sign 3 gives -5m") << QByteArray::fromHex("c1") << C{0, 2, 2, 6, 1, 1, 0, 1, 0} << 90u
                                                  << -5 / 60000.0;
        QTest::newRow("magnitude unsigned") << ones << C{0, 0, 0, 32, 1, 1, 0, 1, 0} << 180u << 4294967295.0 / 60000;
        QTest::newRow("A and B factors") << QByteArray::fromHex("0a") << C{0, 0, 0, 8, 3, 2, -10, 4, 0} << 90u
                                         << 12.5 / 60000;
        QTest::newRow("short payload gives V/W") << ones.left(2) << C{0, 0, 0, 20, 6, 1, 150000, 1, 0} << 90u << 2.5;
        QTest::newRow("ty keeps the limit") << QByteArray::fromHex("5265c0") << C{0, 0, 0, 24, 1, 1, 0, 1, 1} << 90u
                                            << 90.0;
        QTest::newRow("ty 0 never wraps") << above << C{0, 0, 0, 24, 1, 1, 0, 1, 0} << 90u << 5400001 / 60000.0;
    }
    void decodeCoordinate()
    {
        QFETCH(QByteArray, payload);
        QFETCH(CoordInfo_t, coord);
        QFETCH(uint, limit);
        QTEST(GpsFormat::decodeCoordinate(payload, coord, limit), "degrees");
    }

    void decodePayloadUsesBothLimits()
    {
        GpsFormat* catalog = GpsFormat::instance();
        double lat = 0, lon = 0;
        GpsFormat_t wrap;
        wrap.lat = {0, 0, 0, 24, 1, 1, 0, 1, 1};
        wrap.lon = {0, 0, 0, 24, 1, 1, 0, 1, 1};
        catalog->addGpsFormat(GpsFormat::ORIGIN_PLATFORM, 0, wrap);
        QVERIFY(catalog->decodePayload(GpsFormat::ORIGIN_PLATFORM, 0, QByteArray::fromHex("5265c1"), lat, lon));
        QCOMPARE(lat, -5399999 / 60000.0);
        QCOMPARE(lon, 5400001 / 60000.0);

        // Other origin with the same index, same origin with another index, one past the reference formats.
        const QList<GpsFormat::FormatKey_t> absent{
            {GpsFormat::ORIGIN_DFR, 0}, {GpsFormat::ORIGIN_PLATFORM, 1}, {GpsFormat::ORIGIN_FILE, 6}};
        for (const auto& [origin, index] : absent) {
            QVERIFY(!catalog->decodePayload(origin, index, QByteArray::fromHex("a95802e253a00000"), lat, lon));
            QCOMPARE(lon, 5400001 / 60000.0); // left alone
        }
        // A zero divisor (W, then U) gives no position, not NaN or infinity.
        for (const CoordInfo_t& broken : {CoordInfo_t{0, 0, 0, 24, 1, 1, 0, 0, 0}, CoordInfo_t{0, 0, 0, 24, 1, 0, 0, 1, 0}}) {
            wrap.lon = broken;
            catalog->addGpsFormat(GpsFormat::ORIGIN_PLATFORM, 0, wrap);
            QVERIFY(!catalog->decodePayload(GpsFormat::ORIGIN_PLATFORM, 0, QByteArray::fromHex("5265c1"), lat, lon));
            QCOMPARE(lat, -5399999 / 60000.0); // left alone
        }
    }

    void compare_data()
    {
        QTest::addColumn<int>("field");
        for (int field = 0; field <= 30; ++field)
            QTest::addRow("field %d", field) << field;
    }
    void compare()
    {
        QFETCH(int, field);
        // The name in other case, any other field as another number.
        const QString text = field == 0 ? "a" : line("A").section(',', field, field) == "0" ? "2" : "0";
        readFile(line("A") + "\n" + line("A", field, text));
        const bool same = field >= 1 && field <= 3; // maker, model and revision are only a description
        QCOMPARE(GpsFormat::compare(fileFormat(0), fileFormat(1)), same);
        QCOMPARE(GpsFormat::compare(fileFormat(1), fileFormat(0)), same);
    }

    void catalogueBookkeeping()
    {
        GpsFormat* catalog = GpsFormat::instance();
        for (int index : {5, -1, 2})
            catalog->addGpsFormat(GpsFormat::ORIGIN_PLATFORM, index, fileFormat(index < 0 ? 0 : 1));
        catalog->addGpsFormat(GpsFormat::ORIGIN_DFR, 0, fileFormat(2));
        catalog->addGpsFormat(GpsFormat::ORIGIN_PLATFORM, 2, fileFormat(3)); // replaces
        catalog->removeGpsFormat(GpsFormat::ORIGIN_PLATFORM, 5);
        catalog->removeGpsFormat(GpsFormat::ORIGIN_DFR, 9); // absent: nothing happens
        QStringList platform;
        for (const auto& [index, format] : catalog->getFormatsForOrigin(GpsFormat::ORIGIN_PLATFORM))
            platform << QString::number(index) + "=" + format.name;
        QCOMPARE(platform, QStringList({"-1=SM20", "2=WRAP24-IDX"}));
        catalog->clearGpsFormats(GpsFormat::ORIGIN_PLATFORM);
        QCOMPARE(catalog->getAvailableFormats().size(), 6 + 1);
        catalog->addGpsFormat(GpsFormat::ORIGIN_FILE, 99, fileFormat(1));
        catalog->resetCatalog(); // the reference file alone, as read
        QCOMPARE(catalog->getAvailableFormats().lastKey(), GpsFormat::FormatKey_t(GpsFormat::ORIGIN_FILE, 5));
    }

    void rereadAndMissingFiles()
    {
        GpsFormat* catalog = readFile(line("A") + "\n" + line("B"));
        readFile(line("C"), false);
        const QString absent = dir.filePath("absent.kvl");
        QCOMPARE(thrownBy([&] { catalog->readGpsFormatsFromFile(QFileInfo(absent)); }),
                 "Unable to open GPS formats file " + QFileInfo(absent).absoluteFilePath());
        // A read replaces the same index and never clears.
        QCOMPARE(fileFormat(0).name + fileFormat(1).name, "CB");
        QCOMPARE(catalog->getFormatsForOrigin(GpsFormat::ORIGIN_FILE).size(), 2);

        catalog->addGpsFormat(GpsFormat::ORIGIN_DFR, 1, fileFormat(1));
        // The reference file taken away, and put back even when a check fails.
        QVERIFY(QFile::rename(referencePath(), referencePath() + ".away"));
        const auto back = qScopeGuard([] { QFile::rename(referencePath() + ".away", referencePath()); });
        QVERIFY(thrownBy([&] { catalog->resetCatalog(); }).endsWith(QFileInfo(referencePath()).absoluteFilePath()));
        QVERIFY(catalog->getAvailableFormats().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstGpsFormat)
#include "tst_gpsformat.moc"
