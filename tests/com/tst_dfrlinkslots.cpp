// Platform and GPS format slot operations of the device link, checked on the simulator's received frames.
#include <QtTest>

#include <functional>
#include <memory>

#include "app/AppIdentity.h"
#include "com/DfrLink.h"
#include "inhouse/DateTime.h"
#include "inhouse/ToplevelApplication.h"
#include "sim/DemoContent.h"
#include "sim/DfrSimulator.h"
#include "tests/common/DeviceTestSupport.h"

using Vantrel::Com::DfrLink;
using Vantrel::Sim::DeviceState;
using Vantrel::Sim::DfrSimulator;
using Operation = std::function<void(DfrLink&)>;

Q_DECLARE_METATYPE(DeviceState::Profile_t)
Q_DECLARE_METATYPE(Operation)

namespace {

DfrLink::PlatformInfo_t platform(const QString& id, bool gpsMode)
{
    DfrLink::PlatformInfo_t info;
    info.index = 5;
    info.occupied = true;
    info.platformId = id;
    info.label = QStringLiteral("Mast Dune");
    info.gpsModeEnabled = gpsMode;
    info.gpsFormat.name = QStringLiteral("Quay12");
    info.gpsFormat.lat.len = 21;
    info.gpsFormat.lon.ty = 1;
    info.gpsFormat.polynom = 0x1A2B;
    info.gpsFormat.dataLen = 12;
    info.repetitionPeriod = 30;
    info.meanDirectionValues = 7;
    info.frequencyMode = DfrLink::FREQUENCYMODE_NARROW;
    return info;
}

DfrLink::GpsFormatInfo_t bankFormat(bool occupied)
{
    DfrLink::GpsFormatInfo_t info;
    info.index = 2;
    info.occupied = occupied;
    info.gpsFormat.name = QStringLiteral("Jetty9");
    info.gpsFormat.polynom = 0x00FF;
    info.gpsFormat.dataLen = 1;
    return info;
}

// "pos=value" pairs, so that a row lists only the positions it is about.
void compareAt(const QStringList& values, const QStringList& expected)
{
    for (const QString& pair : expected) {
        const int pos = pair.section(QLatin1Char('='), 0, 0).toInt();
        QVERIFY2(pos < values.size(), qPrintable(pair));
        QCOMPARE(values.at(pos), pair.section(QLatin1Char('='), 1));
    }
}

} // namespace

class TestDfrLinkSlots : public QObject
{
    Q_OBJECT

    std::unique_ptr<DeviceTest::LinkedReceiver> rx;
    DfrSimulator* sim = nullptr;
    DfrLink* link = nullptr;

    // A receiver holding the demo content, its frames so far forgotten.
    bool connectTo(DeviceState::Profile_t profile)
    {
        rx = std::make_unique<DeviceTest::LinkedReceiver>(profile, true, Vantrel::Sim::DemoContent::apply);
        sim = &rx->sim;
        link = &rx->link;
        sim->clearReceivedFrames();
        return sim->isOpen();
    }

    QStringList lastFrame(const QString& mnemonic) const { return DeviceTest::lastParams(*sim, mnemonic); }

private Q_SLOTS:
    void initTestCase() { DeviceTest::quietLink(2000); }
    void cleanup() { rx.reset(); }

    void readDuringRecordingKeepsRecording()
    {
        QVERIFY(connectTo(DeviceState::PROFILE_DFR_V2_APP));
        sim->state().platforms[0][sim->state().ipEncryption() + 5] = "256";
        link->startNoSendCommandMode();
        // Reads reach the receiver while a script is recorded; 256 stands for no data length.
        const DfrLink::PlatformInfo_t info = link->getPlatformInfo(0);
        QCOMPARE(info.gpsFormat.dataLen, 0);
        QCOMPARE(info.gpsFormat.lon.len, 21);
        QCOMPARE(TestSupport::thrownBy([&] { link->setPlatformInfo(info, false); }),
                 QStringLiteral("Unable to set platform info, data length is not between 1 and 254 (0)"));
        sim->injectFault(DfrSimulator::FAULTMODE_ACK_ERROR, "IP");
        sim->injectFault(DfrSimulator::FAULTMODE_ACK_ERROR, "GFG");
        QVERIFY(TestSupport::thrownBy([&] { link->getPlatformInfo(0); }).startsWith("Error in reply"));
        QVERIFY(TestSupport::thrownBy([&] { link->getGpsFormatInfo(0); }).startsWith("Error in reply"));
        QVERIFY(link->isNoSendCommandMode());
        link->setPlatformInfo(platform("1A2B3", false), false);
        QCOMPARE(link->stopNoSendCommandMode().size(), 1);
    }

    void platformWire_data()
    {
        QTest::addColumn<DeviceState::Profile_t>("profile");
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("expected");
        const auto set = [](const QString& id, bool gps) {
            return Operation([id, gps](DfrLink& l) { l.setPlatformInfo(platform(id, gps), false); });
        };
        const auto V2 = DeviceState::PROFILE_DFR_V2_APP;

        QTest::newRow("20-bit identifier") << V2 << set("1A2B3", true) << 39
                                           << QStringList{"0=5", "1=", "2=1", "3=1A2B3", "4=Mast Dune"};
        QTest::newRow("28-bit identifier") << V2 << set("4C5D6E7", true) << 39 << QStringList{"2=2"};
        QTest::newRow("32-bit identifier") << V2 << set("89ABCDEF", true) << 39 << QStringList{"2=3"};
        QTest::newRow("GPS format block and polynom in lower-case hex")
            << V2 << set("1A2B3", true) << 39
            << QStringList{"5=1", "6=Quay12", "10=21", "24=1", "28=30", "31=0", "33=0", "34=1a2b", "38=12"};
        QStringList gpsOff{"5=0", "28=30", "33=0", "34=0", "35=0", "36=0", "37=0", "38=1"};
        for (int pos = 6; pos < 28; ++pos)
            gpsOff.append(QStringLiteral("%1=0").arg(pos));
        QTest::newRow("GPS mode off") << V2 << set("1A2B3", false) << 39 << gpsOff;
        QTest::newRow("first generation mean direction at 29")
            << DeviceState::PROFILE_DFR_V1 << set("1A2B3", true) << 36
            << QStringList{"28=30", "29=7", "30=0", "31=1a2b", "35=12"};
        QTest::newRow("create") << V2 << Operation([](DfrLink& l) { l.createPlatformInfo(4); }) << 39
                                << QStringList{"0=4", "1=1", "2=", "31=1", "38="};
        QTest::newRow("delete") << V2 << Operation([](DfrLink& l) { l.deletePlatformInfo(3); }) << 39
                                << QStringList{"0=3", "1=0", "2=", "31=", "38="};
        QTest::newRow("recreate") << V2
                                  << Operation([](DfrLink& l) { l.setPlatformInfo(platform("1A2B3", true), true); })
                                  << 39 << QStringList{"0=5", "1=1"};
    }

    void platformWire()
    {
        QFETCH(DeviceState::Profile_t, profile);
        QFETCH(Operation, operation);
        QFETCH(int, count);
        QFETCH(QStringList, expected);
        QVERIFY(connectTo(profile));
        operation(*link);
        const QStringList sent = lastFrame("IP");
        QCOMPARE(sent.size(), count);
        compareAt(sent, expected);

        // Recorded for a script, the same frame marks the slot occupied.
        link->startNoSendCommandMode();
        operation(*link);
        const QStringList recorded = link->stopNoSendCommandMode();
        QVERIFY(!recorded.isEmpty());
        QStringList values = recorded.last().section(QLatin1Char('*'), 0, 0).split(QLatin1Char(','));
        QCOMPARE(values.takeFirst(), QStringLiteral("$IP"));
        QCOMPARE(values.size(), count);
        if (expected.contains("1="))
            expected.replace(expected.indexOf("1="), "1=1");
        compareAt(values, expected);
    }

    void gpsFormatWire_data()
    {
        QTest::addColumn<bool>("occupied");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("format") << true << QStringList{"0=2", "1=Jetty9", "22=0", "23=0", "24=ff", "28=1"};
        QTest::newRow("empty slot") << false << QStringList{"0=2", "1=NONE", "28=1"};
    }

    void gpsFormatWire()
    {
        QFETCH(bool, occupied);
        QFETCH(QStringList, expected);
        QVERIFY(connectTo(DeviceState::PROFILE_DFR_V2_APP));
        link->setGpsFormatInfo(bankFormat(occupied));
        const QStringList sent = lastFrame("SFG");
        QCOMPARE(sent.size(), 29);
        compareAt(sent, expected);

        const DfrLink::GpsFormatInfo_t back = link->getGpsFormatInfo(2);
        QCOMPARE(back.occupied, occupied);
        QCOMPARE(back.index, 2);
        if (occupied) {
            QCOMPARE(back.gpsFormat.name, QStringLiteral("Jetty9"));
            QCOMPARE(back.gpsFormat.polynom, quint16(0xFF));
        }
    }

    void refusedWrite_data()
    {
        QTest::addColumn<DeviceState::Profile_t>("profile");
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QString>("message");
        const auto V2 = DeviceState::PROFILE_DFR_V2_APP;
        const auto recreateWith = [](const std::function<void(DfrLink::PlatformInfo_t&)>& change) {
            return Operation([change](DfrLink& l) {
                DfrLink::PlatformInfo_t info = l.getPlatformInfo(0);
                change(info);
                l.setPlatformInfo(info, true);
            });
        };
        const QString cannotStore = QStringLiteral("Unable to set platform info, the %1 holds a character the "
                                                   "receiver cannot store (\",\", \"*\", \"$\", a control "
                                                   "character or one outside Latin-1)");

        QTest::newRow("data length 0, recreate")
            << V2 << recreateWith([](DfrLink::PlatformInfo_t& i) { i.gpsFormat.dataLen = 0; })
            << "Unable to set platform info, data length is not between 1 and 254 (0)";
        QTest::newRow("label with a comma") << V2 << recreateWith([](DfrLink::PlatformInfo_t& i) { i.label = "a,b"; })
                                            << cannotStore.arg("label \"a,b\"");
        QTest::newRow("format name outside Latin-1")
            << DeviceState::PROFILE_DFR_V1
            << recreateWith([](DfrLink::PlatformInfo_t& i) { i.gpsFormat.name = QString::fromUtf8("Ω1"); })
            << cannotStore.arg(QString::fromUtf8("GPS format name \"Ω1\""));
       QTest::newRow("bank name with a dollar") << V2 << Operation([](DfrLink& l) {
            DfrLink::GpsFormatInfo_t info = bankFormat(true);
            info.index = 0;
            info.gpsFormat.name = "Q$1";
            l.setGpsFormatInfo(info);
        }) << "Unable to set GPS format info, the name \"Q$1\" cannot be stored: it must not be empty or NONE, nor "
              "hold \",\", \"*\", \"$\", a control character or one outside Latin-1";
        QTest::newRow("bank on the first generation")
            << DeviceState::PROFILE_DFR_V1 << Operation([](DfrLink& l) { l.getGpsFormatInfo(0); })
            << "Deleting GPS format is no supported for DFR V1";
    }

    void refusedWrite()
    {
        QFETCH(DeviceState::Profile_t, profile);
        QFETCH(Operation, operation);
        QFETCH(QString, message);
        QVERIFY(connectTo(profile));
        const QStringList platformBefore = sim->state().platforms.at(0);
        const auto bankBefore = sim->state().gpsFormats;

        QCOMPARE(TestSupport::thrownBy([&] { operation(*link); }), message);
        // Nothing was written: the slot keeps its favourite, the bank its format.
        QCOMPARE(sim->state().platforms.at(0), platformBefore);
        QCOMPARE(sim->state().gpsFormats, bankBefore);
        QCOMPARE(sim->receivedCount("SFG"), 0);
        for (const DfrSimulator::ReceivedFrame_t& frame : sim->receivedFrames())
            QVERIFY2(frame.mnemonic != "IP" || frame.params.value(1).isEmpty(), frame.line.constData());
    }
};

int main(int argc, char** argv)
{
    qRegisterMetaType<Tarsk::Utils::DateTime>("Tarsk::Utils::DateTime");
    Tarsk::Utils::ToplevelApplication app(argc, argv);
    QApplication::setApplicationName(Vantrel::App::applicationName);
    QApplication::setApplicationVersion(Vantrel::App::applicationVersion);
    TestDfrLinkSlots test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dfrlinkslots.moc"
