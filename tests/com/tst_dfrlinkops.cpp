// Device operations of DfrLink on the simulated receiver: setups, clock, slots, GPS format bank and flash read,
// checked on the frames the receiver got, the values read back and the refusals.
#include <QtTest>

#include "inhouse/DateTime.h"
#include "tests/common/TestMain.h"
#include "sim/DemoContent.h"
#include "tests/common/DeviceTestSupport.h"

using Vantrel::Com::DfrLink;
using Vantrel::Sim::DeviceState;
using Vantrel::Sim::DfrSimulator;
using Operation = std::function<QString(DfrLink&, DfrSimulator&)>;

Q_DECLARE_METATYPE(DeviceState::Profile_t)
Q_DECLARE_METATYPE(DfrSimulator::FaultMode_t)
Q_DECLARE_METATYPE(Operation)

namespace {

constexpr auto V1 = DeviceState::PROFILE_DFR_V1;
constexpr auto V2 = DeviceState::PROFILE_DFR_V2_APP;

QString sent(const DfrSimulator& sim, const QString& mnemonic)
{
    return DeviceTest::lastParams(sim, mnemonic).join(',');
}

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

DfrLink::GpsFormatInfo_t bankFormat(bool occupied, const QString& name = QStringLiteral("Jetty9"))
{
    DfrLink::GpsFormatInfo_t info;
    info.index = 2;
    info.occupied = occupied;
    info.gpsFormat.name = name;
    info.gpsFormat.polynom = 0x00FF;
    info.gpsFormat.dataLen = 1;
    return info;
}

// The platform frame a write sends.
Operation platformFrame(const std::function<void(DfrLink&)>& write)
{
    return [write](DfrLink& link, DfrSimulator& sim) {
        write(link);
        return sent(sim, "IP");
    };
}

Operation setPlatform(const QString& id, bool gpsMode, bool recreate = false)
{
    return platformFrame([=](DfrLink& link) { link.setPlatformInfo(platform(id, gpsMode), recreate); });
}

// Slot 0 of the demo content read, changed and written back as a new favourite.
Operation recreateWith(const std::function<void(DfrLink::PlatformInfo_t&)>& change)
{
    return [change](DfrLink& link, DfrSimulator&) {
        DfrLink::PlatformInfo_t info = link.getPlatformInfo(0);
        change(info);
        link.setPlatformInfo(info, true);
        return QString();
    };
}

// The receiver's setups and clock set by hand, then read value by value.
QString readSetups(DfrLink& link, DfrSimulator& sim)
{
    DeviceState& state = sim.state();
    state.setupSoftware = QStringList{"1", "0", "33", "1", "2", "1", "270", "", "", "", "", "", "7", "1"}.mid(
        0, state.softwareSetupCount());
    state.setupHardware = QStringList{"1", "1", "-4", "2", "1", "+2.5", "1"}.mid(0, state.hardwareSetupCount());
    state.setClock(QDateTime(QDate(2025, 11, 30), QTime(23, 59, 40), Qt::UTC));
    state.status.band = 7;  // the working band is also the setup's
    const DfrLink::SetupSoftware_t sw = link.getSetupSoftware();
    const DfrLink::SetupHardware_t hw = link.getSetupHardware();
    const auto n = [](auto value) { return QString::number(value); };
    return QStringList{"asked", sent(sim, "SETUPSW"), sent(sim, "SETUPHW"), "|", n(sw.audio), n(sw.backlight),
                       n(sw.contrast), n(sw.coordType), n(sw.distType), n(sw.directionOffset),
                       sw.dateTime.toQDateTime().toString(Qt::ISODate).left(16), n(sw.band), n(sw.allToFavorites), "|",
                       n(hw.directionMode), n(hw.cableLength), n(hw.antennaType), hw.declination, n(hw.proximityMode)}
        .join(' ');
}

// Software setup, clock and hardware setup written: the three frames sent.
QString writeSetups(DfrLink& link, DfrSimulator& sim)
{
    DfrLink::SetupSoftware_t setup;
    setup.backlight = true;
    setup.contrast = 40;
    setup.coordType = DfrLink::COORDTYPE_DEGMINSEC;
    setup.distType = DfrLink::DISTTYPE_NATUICALMILES;
    setup.directionOffset = 360;
    setup.band = DfrLink::ORVANBAND_EESS2_3;
    setup.allToFavorites = true;
    // The clock in the record is not sent with the setup.
    setup.dateTime = Tarsk::Utils::DateTime::fromQDateTime(QDateTime(QDate(2030, 1, 1), QTime(1, 1), Qt::UTC));
    link.setSetupSoftware(setup);
    QString frames = sent(sim, "SETUPSW");
    link.setSetupTime(Tarsk::Utils::DateTime::fromQDateTime(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 59), Qt::UTC)));
    frames += " | " + sent(sim, "SETUPSW");
    DfrLink::SetupHardware_t hw;
    hw.antennaPosition = DfrLink::ANTENNAPOSITION_Down;
    hw.cableLength = 99;
    hw.antennaType = DfrLink::ANTENNATYPE_Passive;
    hw.compassMode = DfrLink::COMPASSMODE_Auto;
    hw.declination = "-0.25";
    hw.proximityMode = true;
    link.setSetupHardware(hw);
    return frames + " | " + sent(sim, "SETUPHW");
}

QByteArray pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xFF);
    return bytes;
}

// Flash memory of that size read: the "start,length" requests, then whether it came back whole or the error.
Operation readFlash(int size)
{
    return [size](DfrLink& link, DfrSimulator& sim) {
        sim.state().flashImage = pattern(size);
        QByteArray data;
        QString outcome = TestSupport::thrownBy([&] { data = link.readFlashMemoryDfrV2(); });
        QStringList requests;
        for (const DfrSimulator::ReceivedFrame_t& frame : sim.receivedFrames())
            if (frame.mnemonic == QLatin1String("RFP"))
                requests << frame.params.join(',');
        // After retries that succeeded the link is still usable.
        if (outcome.isEmpty() && data == pattern(size) && !link.flashReadWasCancelled() &&
            link.getDfrVersionsAndStatus().dfrVersion == DfrLink::DFR_V2)
            outcome = "read whole";
        return requests.join(' ') + " | " + outcome;
    };
}

} // namespace

class TstDfrLinkOps : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        DeviceTest::quietLink(1000);
        QLoggingCategory::setFilterRules(QStringLiteral("default.info=false"));
    }

    void operation_data()
    {
        QTest::addColumn<DeviceState::Profile_t>("profile");
        QTest::addColumn<DfrSimulator::FaultMode_t>("fault");
        QTest::addColumn<QString>("faultOn");  // mnemonic, and how many times
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QString>("expected");  // what the operation returned, or "error: " and what it threw
        QTest::addColumn<QStringList>("warnings");
        const auto row = [](const char* tag, DeviceState::Profile_t profile, const Operation& operation,
                            const QString& expected, DfrSimulator::FaultMode_t fault = DfrSimulator::FAULTMODE_NONE,
                            const QString& faultOn = {}, const QStringList& warnings = {}) {
            QTest::newRow(tag) << profile << fault << faultOn << operation << expected << warnings;
        };
        // Before the generation is known only the twelve values both generations share are asked for.
        const Operation unknownGeneration = [](DfrLink& link, DfrSimulator& sim) {
            link.setUartLink(link.portName());  // a new link knows no generation
            const DfrLink::SetupSoftware_t sw = link.getSetupSoftware();
            return QString("asked %1 band %2 fav %3").arg(sent(sim, "SETUPSW")).arg(int(sw.band)).arg(sw.allToFavorites);
        };
        const auto readHardware = [](int values) {
            return Operation([values](DfrLink& link, DfrSimulator& sim) {
                sim.state().setupHardware = QVector<QString>(values, "0").toList();
                link.getSetupHardware();
                return QString();
            });
        };
        const QString cannotStore = "error: Unable to set platform info, the %1 holds a character the receiver cannot "
                                    "store (\",\", \"*\", \"$\", a control character or one outside Latin-1)";
        const QString count = "error: Unable to read reply of command SETUPHW setup: bad parameters number.";
        const QString retry = "^Flash data at 65536 \\(16384 bytes\\): .*asking again \\(attempt \\d of 3\\)$";

        // Setups and clock.
        row("setups read, first generation", V1, readSetups,
            "asked ,,,,,,,,,,, ,,,,, | 1 0 33 2 1 270 2025-11-30T23:59 0 0 | 1 -4 2 +2.5 0");
        row("setups read, second generation", V2, readSetups,
            "asked ,,,,,,,,,,,,, ,,,,,, | 1 0 33 2 1 270 2025-11-30T23:59 7 1 | 1 -4 2 +2.5 1");
        row("setups written, first generation", V1, writeSetups,
            "0,1,40,0,1,2,360,,,,, | ,,,,,,,24,3,5,14,7 | 0,1,99,1,2,-0.25");
        row("setups written, second generation", V2, writeSetups,
            "0,1,40,0,1,2,360,,,,,,9,1 | ,,,,,,,24,3,5,14,7,, | 0,1,99,1,2,-0.25,1");
        row("software setup of an unknown first generation", V1, unknownGeneration,
            "asked ,,,,,,,,,,, band 0 fav 0");
        row("software setup of an unknown second generation", V2, unknownGeneration,
            "error: Error in reply: Invalid command: \"$ACK,SETUPSW,0*10\"");
        row("six hardware values from the second generation", V2, readHardware(6), count);
        row("seven hardware values from the first generation", V1, readHardware(7), count);

        // Platform slots.
        // Label at 4, GPS format from 5 (name, latitude, longitude), period at 28, polynom in lower-case hex at 34.
        const QString gpsFormat = "1,Quay12,0,0,0,21,0,0,0,0,0,0,0,0,0,0,0,0,0,1,0,0,0,30,";
        row("platform with a 20-bit identifier and its GPS format", V2, setPlatform("1A2B3", true),
            "5,,1,1A2B3,Mast Dune," + gpsFormat + "0,0,0,0,0,1a2b,0,0,0,12");
        row("GPS mode off", V2, setPlatform("1A2B3", false),
            "5,,1,1A2B3,Mast Dune,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,30,0,0,0,0,0,0,0,0,0,1");
        row("first generation: mean direction at 29", V1, setPlatform("1A2B3", true),
            "5,,1,1A2B3,Mast Dune," + gpsFormat + "7,0,1a2b,0,0,0,12");
        row("create", V2, platformFrame([](DfrLink& l) { l.createPlatformInfo(4); }),
            "4,1,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,1,,,,,,,");
        row("delete", V2, platformFrame([](DfrLink& l) { l.deletePlatformInfo(3); }),
            "3,0,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,");
        row("recreate", V2, setPlatform("1A2B3", true, true),
            "5,1,1,1A2B3,Mast Dune," + gpsFormat + "0,0,0,0,0,1a2b,0,0,0,12");
        // Requests recorded for a script are not sent, with or without a link; once stopped, they go out again.
        const auto recordScript = [](bool connected) {
            return Operation([connected](DfrLink& link, DfrSimulator& sim) {
                if (!connected)
                    link.setUartLink(QString());
                link.startNoSendCommandMode();
                link.sendBlockingRequest(DfrLink::CMD_SETUPHW, {"0", "1", "-5", "2", "1", "+3.5", "1"});
                link.sendBlockingRequest(DfrLink::CMD_REBO);
                link.sendBlockingRequest(DfrLink::CMD_SETUPSW, {"1", ""});
                QStringList recorded = link.stopNoSendCommandMode();
                link.startNoSendCommandMode();
                recorded << link.stopNoSendCommandMode() << sim.receivedMnemonics() << "|";
                recorded << TestSupport::thrownBy([&] { link.sendBlockingRequest(DfrLink::CMD_REBO); }) << "|";
                return (recorded << sim.receivedMnemonics()).join(' ');
            });
        };
        const QString script = "$SETUPHW,0,1,-5,2,1,+3.5,1*76 $REBO*30 $SETUPSW,1,*58";
        row("script recorded", V2, recordScript(true), script + " |  | REBO");
        row("script recorded without a link", V2, recordScript(false), script + " | UART link not available |");
        // Recorded for a script, the same frame marks the slot occupied.
        row("recorded for a script", V2, [](DfrLink& link, DfrSimulator&) {
            link.startNoSendCommandMode();
            link.setPlatformInfo(platform("1A2B3", true), false);
            return link.stopNoSendCommandMode().join(' ').left(24);
        }, "$IP,5,1,1,1A2B3,Mast Dun");
        // Reads reach the receiver while a script is recorded, and a read that throws leaves the recording on.
        row("read while recording", V2, [](DfrLink& link, DfrSimulator& sim) {
            sim.state().platforms[0][sim.state().ipEncryption() + 5] = "256";  // stands for no data length
            link.startNoSendCommandMode();
            const DfrLink::PlatformInfo_t info = link.getPlatformInfo(0);
            const QString refused = TestSupport::thrownBy([&] { link.setPlatformInfo(info, false); });
            sim.injectFault(DfrSimulator::FAULTMODE_ACK_ERROR, "IP");
            sim.injectFault(DfrSimulator::FAULTMODE_ACK_ERROR, "GFG");
            const QString failed = TestSupport::thrownBy([&] { link.getPlatformInfo(0); }).left(14) + '/' +
                                   TestSupport::thrownBy([&] { link.getGpsFormatInfo(0); }).left(14);
            const bool recording = link.isNoSendCommandMode();
            link.setPlatformInfo(platform("1A2B3", false), false);
            return QStringLiteral("%1 %2 | %3 | %4 | %5 recorded %6")
                .arg(info.gpsFormat.dataLen)
                .arg(info.gpsFormat.lon.len)
                .arg(refused, failed)
                .arg(recording)
                .arg(link.stopNoSendCommandMode().size());
        }, "0 21 | Unable to set platform info, data length is not between 1 and 254 (0) | Error in reply/Error in "
           "reply | 1 recorded 1");

        // GPS format bank.
        const auto bank = [](bool occupied) {
            return Operation([occupied](DfrLink& link, DfrSimulator& sim) {
                link.setGpsFormatInfo(bankFormat(occupied));
                const DfrLink::GpsFormatInfo_t back = link.getGpsFormatInfo(2);
                return QStringLiteral("%1 | %2 %3 %4 %5")
                    .arg(sent(sim, "SFG"))
                    .arg(back.index)
                    .arg(back.occupied)
                    .arg(back.gpsFormat.name)
                    .arg(back.gpsFormat.polynom, 0, 16);
            });
        };
        row("GPS format written and read back", V2, bank(true),
            "2,Jetty9,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,ff,0,0,0,1 | 2 1 Jetty9 ff");
        row("empty GPS format slot", V2, bank(false),
            "2,NONE,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,ff,0,0,0,1 | 2 0 NONE 0");

        // Refused writes: nothing reaches the receiver.
        row("data length 0, recreate", V2, recreateWith([](DfrLink::PlatformInfo_t& i) { i.gpsFormat.dataLen = 0; }),
            "error: Unable to set platform info, data length is not between 1 and 254 (0)");
        row("identifier not hexadecimal, recreate", V2,
            recreateWith([](DfrLink::PlatformInfo_t& i) { i.platformId = "ZZ12G"; }),
            "error: Unable to set platform info, the identifier \"ZZ12G\" is not 5, 7 or 8 hexadecimal digits");
        row("identifier of 6 digits", V1, recreateWith([](DfrLink::PlatformInfo_t& i) { i.platformId = "1A2B3C"; }),
            "error: Unable to set platform info, the identifier \"1A2B3C\" is not 5, 7 or 8 hexadecimal digits");
        row("band past the last", V2, recreateWith([](DfrLink::PlatformInfo_t& i) { i.band = DfrLink::ORVANBAND_INVALID; }),
            "error: Unable to set platform info, the band 10 is out of range (0 to 9)");
        row("label with a comma", V2, recreateWith([](DfrLink::PlatformInfo_t& i) { i.label = "a,b"; }),
            cannotStore.arg("label \"a,b\""));
        row("format name outside Latin-1", V1,
            recreateWith([](DfrLink::PlatformInfo_t& i) { i.gpsFormat.name = QString::fromUtf8("Ω1"); }),
            cannotStore.arg(QString::fromUtf8("GPS format name \"Ω1\"")));
        row("bank name with a dollar", V2, [](DfrLink& link, DfrSimulator&) {
            link.setGpsFormatInfo(bankFormat(true, "Q$1"));
            return QString();
        }, "error: Unable to set GPS format info, the name \"Q$1\" cannot be stored: it must not be empty or NONE, "
           "nor hold \",\", \"*\", \"$\", a control character or one outside Latin-1");
        row("bank on the first generation", V1, [](DfrLink& link, DfrSimulator&) {
            link.getGpsFormatInfo(0);
            return QString();
        }, "error: Deleting GPS format is no supported for DFR V1");

        // Flash read in chunks of 16384 bytes, the last one rounded up to 128; a bad or lost chunk is asked again
        // and the third failure fails the read with the link's error.
        const QString first = "65536,16384 ";  // the first chunk asked for
        row("20000 bytes of flash", V2, readFlash(20000), first + "81920,3712 | read whole");
        row("one byte of flash", V2, readFlash(1), "65536,128 | read whole");
        row("empty flash", V2, readFlash(0), " | read whole");
        row("flash chunk corrupted twice", V2, readFlash(20000), first.repeated(3) + "81920,3712 | read whole",
            DfrSimulator::FAULTMODE_BAD_BINARY_CHECKSUM, "RFP 2", {retry, retry});
        row("flash chunk corrupted three times", V2, readFlash(20000),
            first.repeated(3) + "| Link Error: Bad checksum in RFP binary data: C1 vs C0.",
            DfrSimulator::FAULTMODE_BAD_BINARY_CHECKSUM, "RFP 3", {retry, retry});
        row("flash chunk lost once", V2, readFlash(20000), first.repeated(2) + "81920,3712 | read whole",
            DfrSimulator::FAULTMODE_NO_REPLY, "RFP 1", {retry});
    }

    void operation()
    {
        QFETCH(DeviceState::Profile_t, profile);
        QFETCH(DfrSimulator::FaultMode_t, fault);
        QFETCH(QString, faultOn);
        QFETCH(Operation, operation);
        QFETCH(QString, expected);
        QFETCH(QStringList, warnings);

        DeviceTest::LinkedReceiver rx(profile, Vantrel::Sim::DemoContent::apply);
        DfrSimulator& sim = rx.sim;
        sim.clearReceivedFrames();
        if (fault != DfrSimulator::FAULTMODE_NONE)
            sim.injectFault(fault, faultOn.section(' ', 0, 0), faultOn.section(' ', 1).toInt());
        for (const QString& warning : warnings)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
        const auto platformsBefore = sim.state().platforms;
        const auto bankBefore = sim.state().gpsFormats;
        QSignalSpy compromised(&rx.link, &DfrLink::sigLinkCompromised);

        QString result;
        const QString error = TestSupport::thrownBy([&] { result = operation(rx.link, sim); });
        QCOMPARE(error.isEmpty() ? result : "error: " + error, expected);
        QCOMPARE(compromised.count(), expected.contains("Link Error") ? 1 : 0);
        if (error.isEmpty())
            return;
        // A failed operation wrote nothing: the slots keep their favourites, the bank its formats.
        QCOMPARE(sim.state().platforms, platformsBefore);
        QCOMPARE(sim.state().gpsFormats, bankBefore);
        for (const DfrSimulator::ReceivedFrame_t& frame : sim.receivedFrames())
            QVERIFY2(frame.mnemonic != "SFG" && (frame.mnemonic != "IP" || frame.params.value(1).isEmpty()),
                     frame.line.constData());
    }
};

VANTREL_TEST_MAIN(TstDfrLinkOps)

#include "tst_dfrlinkops.moc"
