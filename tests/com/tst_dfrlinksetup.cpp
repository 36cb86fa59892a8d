// Software setup, clock and hardware setup on the wire, for both generations and before the generation is known.
#include <QtTest>

#include "com/DfrLink.h"
#include "inhouse/DateTime.h"
#include "inhouse/Exception.h"
#include "inhouse/ToplevelApplication.h"
#include "sim/DfrSimulator.h"
#include "tests/common/DeviceTestSupport.h"

using Vantrel::Com::DfrLink;
using Vantrel::Sim::DeviceState;
using Vantrel::Sim::DfrSimulator;

Q_DECLARE_METATYPE(DeviceState::Profile_t)

using DeviceTest::lastParams;

class TstDfrLinkSetup : public QObject
{
    Q_OBJECT

    std::unique_ptr<DeviceTest::LinkedReceiver> rx;
    DfrSimulator* sim = nullptr;
    DfrLink* link = nullptr;

    void open(DeviceState::Profile_t profile, bool readVersions = true)
    {
        rx = std::make_unique<DeviceTest::LinkedReceiver>(profile, readVersions);
        sim = &rx->sim;
        link = &rx->link;
    }

    void generations()
    {
        QTest::addColumn<DeviceState::Profile_t>("profile");
        QTest::newRow("first generation") << DeviceState::PROFILE_DFR_V1;
        QTest::newRow("second generation") << DeviceState::PROFILE_DFR_V2_APP;
    }

private Q_SLOTS:
    void initTestCase() { DeviceTest::quietLink(2000); }
    void cleanup() { rx.reset(); }

    void readBack_data() { generations(); }
    void readBack()
    {
        QFETCH(DeviceState::Profile_t, profile);
        open(profile);
        const bool v2 = profile != DeviceState::PROFILE_DFR_V1;
        const int softwareCount = v2 ? 14 : 12;
        const int hardwareCount = v2 ? 7 : 6;

        sim->state().setupSoftware = QStringList{"1", "0", "33", "1", "2", "1", "270", "", "", "", "", "", "7", "1"}
                                         .mid(0, softwareCount);
        sim->state().setupHardware = QStringList{"1", "1", "-4", "2", "1", "+2.5", "1"}.mid(0, hardwareCount);
        sim->state().setClock(QDateTime(QDate(2025, 11, 30), QTime(23, 59, 40), Qt::UTC));
        sim->state().status.band = 7;  // the working band is also the setup's

        const DfrLink::SetupSoftware_t software = link->getSetupSoftware();
        QCOMPARE(lastParams(*sim, "SETUPSW"), QStringList(QVector<QString>(softwareCount).toList()));
        QCOMPARE(software.audio, true);
        QCOMPARE(software.backlight, false);
        QCOMPARE(software.contrast, quint16(33));
        QCOMPARE(software.coordType, DfrLink::COORDTYPE_DEGSEC);
        QCOMPARE(software.distType, DfrLink::DISTTYPE_MILES);
        QCOMPARE(software.directionOffset, quint16(270));
        // The receiver's clock is read to the minute.
        QCOMPARE(software.dateTime.toQDateTime().toString(Qt::ISODate).left(16), QStringLiteral("2025-11-30T23:59"));
        QCOMPARE(int(software.band), v2 ? 7 : 0);
        QCOMPARE(software.allToFavorites, v2);

        const DfrLink::SetupHardware_t hardware = link->getSetupHardware();
        QCOMPARE(lastParams(*sim, "SETUPHW").size(), hardwareCount);
        QCOMPARE(hardware.directionMode, DfrLink::DIRECTIONMODE_MSG_decoding);
        QCOMPARE(hardware.cableLength, -4);
        QCOMPARE(hardware.antennaType, DfrLink::ANTENNATYPE_PLX500_Extended);
        QCOMPARE(hardware.declination, QStringLiteral("+2.5"));
        QCOMPARE(hardware.proximityMode, v2);
    }

    // The second generation adds band and favourites to the software setup, proximity to the hardware one.
    void writes_data() { generations(); }
    void writes()
    {
        QFETCH(DeviceState::Profile_t, profile);
        open(profile);
        const bool v2 = profile != DeviceState::PROFILE_DFR_V1;
        QStringList software{"0", "1", "40", "0", "1", "2", "360", "", "", "", "", ""};
        QStringList clock{"", "", "", "", "", "", "", "24", "3", "5", "14", "7"};
        QStringList hardware{"0", "1", "99", "1", "2", "-0.25"};
        if (v2) {
            software << "9" << "1";
            clock << "" << "";
            hardware << "1";
        }

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
        link->setSetupSoftware(setup);
        QCOMPARE(lastParams(*sim, "SETUPSW"), software);

        link->setSetupTime(
            Tarsk::Utils::DateTime::fromQDateTime(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 59), Qt::UTC)));
        QCOMPARE(lastParams(*sim, "SETUPSW"), clock);

        DfrLink::SetupHardware_t hw;
        hw.antennaPosition = DfrLink::ANTENNAPOSITION_Down;
        hw.cableLength = 99;
        hw.antennaType = DfrLink::ANTENNATYPE_Passive;
        hw.compassMode = DfrLink::COMPASSMODE_Auto;
        hw.declination = "-0.25";
        hw.proximityMode = true;
        link->setSetupHardware(hw);
        QCOMPARE(lastParams(*sim, "SETUPHW"), hardware);
    }

    // Reads whose reply does not fit: a clean failure, never a read past the reply.
    void readFailures_data()
    {
        QTest::addColumn<DeviceState::Profile_t>("profile");
        QTest::addColumn<bool>("versionsKnown");
        QTest::addColumn<QStringList>("hardware");  // the receiver's hardware setup, when the row changes it
        QTest::addColumn<QString>("mnemonic");
        QTest::addColumn<QString>("failure");  // its beginning; empty for success

        const QString count = "Unable to read reply of command SETUPHW setup: bad parameters number.";
        const QStringList six{"0", "0", "0", "0", "0", "0"};
        // Before the generation is known only the twelve values both generations share are asked for.
        QTest::newRow("software setup of an unknown first generation")
            << DeviceState::PROFILE_DFR_V1 << false << QStringList() << "SETUPSW" << "";
        QTest::newRow("software setup of an unknown second generation")
            << DeviceState::PROFILE_DFR_V2_APP << false << QStringList() << "SETUPSW" << "Error in reply: ";
        QTest::newRow("six hardware values from the second generation")
            << DeviceState::PROFILE_DFR_V2_APP << true << six << "SETUPHW" << count;
        QTest::newRow("seven hardware values from the first generation")
            << DeviceState::PROFILE_DFR_V1 << true << QStringList(six) + QStringList{"0"} << "SETUPHW" << count;
    }

    void readFailures()
    {
        QFETCH(DeviceState::Profile_t, profile);
        QFETCH(bool, versionsKnown);
        QFETCH(QStringList, hardware);
        QFETCH(QString, mnemonic);
        QFETCH(QString, failure);
        open(profile, versionsKnown);
        if (!hardware.isEmpty())
            sim->state().setupHardware = hardware;
        DfrLink::SetupSoftware_t software;
        const QString thrown = TestSupport::thrownBy([&] {
            if (mnemonic == "SETUPSW")
                software = link->getSetupSoftware();
            else
                link->getSetupHardware();
        });
        QVERIFY2(failure.isEmpty() ? thrown.isEmpty() : thrown.startsWith(failure), qPrintable(thrown));
        if (failure.isEmpty()) {
            QCOMPARE(lastParams(*sim, mnemonic).size(), 12);
            QCOMPARE(int(software.band), 0);
            QCOMPARE(software.allToFavorites, false);
        }
    }
};

int main(int argc, char** argv)
{
    Tarsk::Utils::ToplevelApplication app(argc, argv);
    TstDfrLinkSetup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dfrlinksetup.moc"
