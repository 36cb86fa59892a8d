// Identifier rules: width from favourite platforms, identifier and payload trimming.
#include <QtTest>

#include "tests/common/TestMain.h"
#include "ui/MainWindow.h"
#include "ui/PlatformsTableModel.h"
#include "utils/IdUtils.h"

using Vantrel::Com::DfrLink;
using Vantrel::Ui::MainWindow;
using Vantrel::Utils::IdUtils;

namespace {

constexpr auto A2 = DfrLink::ORVANMODULATION_A2, A3 = DfrLink::ORVANMODULATION_A3, A4 = DfrLink::ORVANMODULATION_A4,
               LDK = DfrLink::ORVANMODULATION_LDK, INVALID = DfrLink::ORVANMODULATION_INVALID;
constexpr auto T20 = DfrLink::PLATFORMIDTYPE_20BITS, T28 = DfrLink::PLATFORMIDTYPE_28BITS,
               T32 = DfrLink::PLATFORMIDTYPE_32BITS, UNDEF = DfrLink::PLATFORMIDTYPE_UNDEFINED;

using Favorites = QList<QPair<QString, DfrLink::OrvanModulation_t>>;

// The favourites tab holding these slots, in order; an empty identifier is an empty slot.
void fillPlatforms(MainWindow* window, const Favorites& favorites)
{
    window->platformsTableModel()->clear();
    for (int slot = 0; slot < favorites.size(); ++slot) {
        DfrLink::PlatformInfo_t info;
        info.index = slot;
        info.occupied = !favorites.at(slot).first.isEmpty();
        info.platformId = favorites.at(slot).first;
        info.modulation = favorites.at(slot).second;
        window->platformsTableModel()->setSlot(info);
    }
}

} // namespace

class TstIdUtils : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every row starts from identifier ABCDEF12 and, unless given, payload 123456.
    void adjust_data()
    {
        QTest::addColumn<bool>("isDfrV2");
        QTest::addColumn<DfrLink::OrvanModulation_t>("modulation");
        QTest::addColumn<DfrLink::PlatformIdType_t>("idType");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QByteArray>("adjusted");  // the payload
        QTest::addColumn<QString>("warnedAs");  // modulation named by the inconsistency warning

        const QByteArray p = QByteArray::fromHex("123456");
        const QByteArray p1 = QByteArray::fromHex("3456");  // one byte less
        QTest::newRow("V1 A2 20 bits cuts one") << false << A2 << T20 << p << "ABCDEF1" << p << "";
        QTest::newRow("V1 A2 28 bits drops a byte") << false << A2 << T28 << p << "ABCDEF12" << p1 << "";
        QTest::newRow("V1 LDK 20 bits, no warning") << false << LDK << T20 << p << "ABCDEF12" << p << "";
        QTest::newRow("V2 A2 20 bits cuts three") << true << A2 << T20 << p << "ABCDE" << p << "";
        QTest::newRow("V2 A2 28 bits") << true << A2 << T28 << p << "ABCDEF1" << p1 << "";
        QTest::newRow("V2 A2 undefined") << true << A2 << UNDEF << p << "ABCDEF1" << p1 << "";
        QTest::newRow("V2 A2 32 bits drops 3 nibbles")
            << true << A2 << T32 << p << "ABCDEF12" << QByteArray::fromHex("4560") << "";
        QTest::newRow("V2 A2 32 bits, two bytes")
            << true << A2 << T32 << QByteArray::fromHex("1234") << "ABCDEF12" << QByteArray::fromHex("40") << "";
        QTest::newRow("V2 A2 32 bits, one byte kept")
            << true << A2 << T32 << QByteArray::fromHex("12") << "ABCDEF12" << QByteArray::fromHex("12") << "";
        QTest::newRow("V2 A3 28 bits") << true << A3 << T28 << p << "ABCDEF1" << p << "";
        QTest::newRow("V2 A3 20 bits warns, still cuts") << true << A3 << T20 << p << "ABCDEF1" << p << "A3";
        QTest::newRow("V2 A4 28 bits") << true << A4 << T28 << p << "ABCDEF1" << p << "";
        QTest::newRow("V2 A4 32 bits drops a nibble")
            << true << A4 << T32 << p << "ABCDEF12" << QByteArray::fromHex("234560") << "";
        QTest::newRow("V2 A4 32 bits, empty") << true << A4 << T32 << QByteArray() << "ABCDEF12" << QByteArray() << "";
        QTest::newRow("V2 A4 20 bits warns") << true << A4 << T20 << p << "ABCDEF12" << p << "A4";
        QTest::newRow("V2 LDK 20 bits warns") << true << LDK << T20 << p << "ABCDEF12" << p << "LDK";
        QTest::newRow("V2 invalid 28 bits warns as LDK") << true << INVALID << T28 << p << "ABCDEF12" << p << "LDK";
        QTest::newRow("V2 LDK undefined") << true << LDK << UNDEF << p << "ABCDEF12" << p << "";
    }
    void adjust()
    {
        QFETCH(bool, isDfrV2);
        QFETCH(DfrLink::OrvanModulation_t, modulation);
        QFETCH(DfrLink::PlatformIdType_t, idType);
        QFETCH(QByteArray, payload);
        QFETCH(QString, warnedAs);

        const QString warning = QString("Inconsistent ID type (%1) for modulation %2").arg(idType).arg(warnedAs);
        if (!warnedAs.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
        // Any other warning fails the row.
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
        QTEST(IdUtils::adjustId(QStringLiteral("ABCDEF12"), idType, modulation, isDfrV2), "id");
        QTEST(IdUtils::adjustPayload(payload, idType, modulation, isDfrV2), "adjusted");
    }

    void typeFromFavorites_data()
    {
        QTest::addColumn<Favorites>("favorites");
        QTest::addColumn<QString>("id");
        QTest::addColumn<DfrLink::OrvanModulation_t>("modulation");
        QTest::addColumn<DfrLink::PlatformIdType_t>("expected");

        QTest::newRow("whole identifier") << Favorites{{"12345678", A2}} << "12345678" << A2 << T32;
        QTest::newRow("first 7 characters") << Favorites{{"1234567", A4}} << "12345678" << A4 << T28;
        QTest::newRow("first slot wins over a longer match, after an empty slot")
            << Favorites{{"", A2}, {"12345", A2}, {"1234567", A2}} << "12345678" << A2 << T20;
        QTest::newRow("other modulation skipped")
            << Favorites{{"12345", A3}, {"1234567", A2}} << "12345678" << A2 << T28;
        QTest::newRow("case-sensitive") << Favorites{{"abcde", A2}} << "ABCDE0" << A2 << UNDEF;
        QTest::newRow("invalid modulation skipped") << Favorites{{"12345678", INVALID}} << "12345678" << INVALID
                                                    << UNDEF;
        QTest::newRow("last slot counts") << Favorites{{"", LDK}, {"", LDK}, {"12345678", LDK}} << "12345678" << LDK
                                          << T32;
    }
    void typeFromFavorites()
    {
        QFETCH(Favorites, favorites);
        QFETCH(QString, id);
        QFETCH(DfrLink::OrvanModulation_t, modulation);
        fillPlatforms(window.get(), favorites);
        QTEST(IdUtils::determinePlatformIdTypeFromFavorites(id, modulation), "expected");
    }

    void initTestCase()
    {
        window = std::make_unique<MainWindow>();
        // The window announces itself to the identifier rules when it is built.
        fillPlatforms(window.get(), {{"12345", A2}});
        QCOMPARE(IdUtils::determinePlatformIdTypeFromFavorites(QStringLiteral("12345"), A2), T32);
    }
    void cleanupTestCase()
    {
        IdUtils::setMainWindow(nullptr);
        window.reset();
    }

private:
    std::unique_ptr<MainWindow> window;
};

VANTREL_TEST_MAIN(TstIdUtils)

#include "tst_idutils.moc"
