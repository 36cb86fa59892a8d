// Receiver detection: which ports are announced, which rejected, in what order, and simulated receivers from the environment.
#include <QtTest>

#include "com/ComManager.h"

using Vantrel::Com::ComManager;
using PortList = QList<ComManager::PortInfo_t>;

Q_DECLARE_METATYPE(PortList)

namespace {

ComManager::PortInfo_t dfr(const QString& name)
{
    return {name, ComManager::dfrVendorId, ComManager::dfrProductId};
}

ComManager::PortInfo_t other(const QString& name, quint16 vendor = 0, quint16 product = 0)
{
    return {name, vendor, product};
}

} // namespace

class TstComManager : public QObject
{
    Q_OBJECT

private:
    // Runs one scan per entry of scans and returns the signals seen, "+name" for a
    // detection and "-name" for a removal, one string per scan.
    QStringList runScans(const QList<PortList>& scans)
    {
        ComManager manager;
        QList<PortList> pending = scans;
        manager.setPortSource([&pending] { return pending.isEmpty() ? PortList() : pending.takeFirst(); });
        QStringList seen;
        QString current;
        connect(&manager, &ComManager::sigDfrDetected, this, [&current](const QString& n) { current += "+" + n + " "; });
        connect(&manager, &ComManager::sigDfrRemoved, this, [&current](const QString& n) { current += "-" + n + " "; });
        for (int i = 0; i < scans.size(); ++i) {
            QMetaObject::invokeMethod(&manager, "slotScanComPorts", Qt::DirectConnection);
            seen.append(current.trimmed());
            current.clear();
        }
        return seen;
    }

private Q_SLOTS:
    void scans_data()
    {
        QTest::addColumn<QList<PortList>>("scans");
        QTest::addColumn<QStringList>("signalsPerScan");

        QTest::newRow("two receivers in one scan")
            << QList<PortList>{{dfr("ttyUSB0"), dfr("ttyUSB1")}} << QStringList{"+ttyUSB0 +ttyUSB1"};
        QTest::newRow("receiver stays, then goes, then comes back")
            << QList<PortList>{{dfr("ttyUSB0")}, {dfr("ttyUSB0")}, {}, {dfr("ttyUSB0")}}
            << QStringList{"+ttyUSB0", "", "-ttyUSB0", "+ttyUSB0"};
        QTest::newRow("receiver's vendor with another product rejected")
            << QList<PortList>{{other("ttyUSB0", ComManager::dfrVendorId, 0xF585)}} << QStringList{""};
        QTest::newRow("another vendor with the receiver's product rejected")
            << QList<PortList>{{other("ttyUSB0", 0x0403, ComManager::dfrProductId)}} << QStringList{""};
        QTest::newRow("removed non-receiver gives no removal")
            << QList<PortList>{{other("ttyS0")}, {}} << QStringList{"", ""};
        QTest::newRow("names compared case-sensitively")
            << QList<PortList>{{dfr("COM3")}, {dfr("com3")}} << QStringList{"+COM3", "+com3 -COM3"};
        QTest::newRow("other device now behind a judged name is not judged again")
            << QList<PortList>{{other("ttyUSB0", 0x0403, 0x6001)}, {dfr("ttyUSB0")}} << QStringList{"", ""};
        QTest::newRow("detections before removals within a scan")
            << QList<PortList>{{dfr("a")}, {dfr("b")}} << QStringList{"+a", "+b -a"};
    }

    void scans()
    {
        QFETCH(QList<PortList>, scans);
        QFETCH(QStringList, signalsPerScan);
        QCOMPARE(runScans(scans), signalsPerScan);
    }

    void logTexts_data()
    {
        QTest::addColumn<QList<PortList>>("scans");
        QTest::addColumn<QStringList>("warnings");
        QTest::addColumn<QStringList>("infos");

        QTest::newRow("hex in upper case without padding")
            << QList<PortList>{{other("ttyUSB2", 0x403, 0x6001)}}
            << QStringList{"Device vendor 0x403 product 0x6001 is rejected on port ttyUSB2."} << QStringList{};
        QTest::newRow("warned once while present, again after coming back")
            << QList<PortList>{{other("ttyACM0", 0x2341, 0xab)}, {other("ttyACM0", 0x2341, 0xab)}, {},
                               {other("ttyACM0", 0x2341, 0xab)}}
            << QStringList{"Device vendor 0x2341 product 0xAB is rejected on port ttyACM0.",
                           "Device vendor 0x2341 product 0xAB is rejected on port ttyACM0."}
            << QStringList{};
        QTest::newRow("receiver announced")
            << QList<PortList>{{dfr("ttyUSB0"), other("ttyS1")}}
            << QStringList{"Device vendor 0x0 product 0x0 is rejected on port ttyS1."}
            << QStringList{"Creation of UartLink ttyUSB0"};
    }

    void logTexts()
    {
        QFETCH(QList<PortList>, scans);
        QFETCH(QStringList, warnings);
        QFETCH(QStringList, infos);
        for (const QString& text : warnings)
            QTest::ignoreMessage(QtWarningMsg, text.toUtf8().constData());
        for (const QString& text : infos)
            QTest::ignoreMessage(QtInfoMsg, text.toUtf8().constData());
        // Any warning beyond those listed fails the row.
        QTest::failOnWarning(QRegularExpression(".*"));
        runScans(scans);
    }

    void simulatedPortsPassForReceivers()
    {
        qputenv("VANTREL_SIMULATED_PORTS", "/dev/null::/dev/vantrel-no-such-device");
        const PortList ports = ComManager::systemPorts();
        qunsetenv("VANTREL_SIMULATED_PORTS");

        const auto it = std::find_if(ports.cbegin(), ports.cend(),
                                     [](const ComManager::PortInfo_t& p) { return p.portName == "null"; });
        QVERIFY2(it != ports.cend(), "an existing simulated device is listed without /dev/");
        QVERIFY(ComManager::isDfr(it->vendorId, it->productId));
        for (const ComManager::PortInfo_t& port : ports)
            QVERIFY2(!port.portName.contains("no-such-device"), "a missing device is not listed");
    }

    void startScansAtOnceAndPeriodically()
    {
        ComManager manager;
        int calls = 0;
        manager.setPortSource([&calls] { ++calls; return PortList{dfr("ttyUSB0")}; });
        QSignalSpy detected(&manager, &ComManager::sigDfrDetected);
        QTest::ignoreMessage(QtInfoMsg, "Creation of UartLink ttyUSB0");
        manager.start();
        QCOMPARE(calls, 1);
        QCOMPARE(detected.count(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(calls >= 2, 20 * ComManager::scanPeriodMs);
        QCOMPARE(detected.count(), 1);
    }

    // Simulated receivers named in the environment: once a listed terminal has gone, the same name coming back is no receiver.
    void goneStaysGone_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("signals_");

        QTest::newRow("plugged in and left") << QStringList{"present", "present"} << "+sim";
        QTest::newRow("gone, then back under the same listing")
            << QStringList{"present", "absent", "present", "present"} << "+sim -sim";
        QTest::newRow("gone, then back under a new listing")
            << QStringList{"present", "absent", "relisted", "present"} << "+sim -sim +sim";
        QTest::newRow("listed before it exists") << QStringList{"absent", "present"} << "+sim";
    }

    void goneStaysGone()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, signals_);

        // A plain file stands in for the pseudo-terminal: the listing only asks whether the path exists.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("sim");
        QString listing = path;
        qputenv("VANTREL_SIMULATED_PORTS", listing.toLocal8Bit());
        const auto unset = qScopeGuard([] { qunsetenv("VANTREL_SIMULATED_PORTS"); });

        ComManager manager;
        QStringList seen;
        connect(&manager, &ComManager::sigDfrDetected, this, [&](const QString& n) { seen << (n == path ? "+sim" : n); });
        connect(&manager, &ComManager::sigDfrRemoved, this, [&](const QString& n) { seen << (n == path ? "-sim" : n); });
        const int detections = int(signals_.split(' ').count("+sim"));
        for (int i = 0; i < detections; ++i)
            QTest::ignoreMessage(QtInfoMsg, qPrintable("Creation of UartLink " + path));

        for (const QString& step : steps) {
            if (step == "absent") {
                QFile::remove(path);
            } else {
                QFile file(path);
                QVERIFY(file.open(QIODevice::WriteOnly));
            }
            if (step == "relisted") {
                listing += ":" + dir.filePath("other");
                qputenv("VANTREL_SIMULATED_PORTS", listing.toLocal8Bit());
            }
            QMetaObject::invokeMethod(&manager, "slotScanComPorts", Qt::DirectConnection);
        }
        QCOMPARE(seen.join(' '), signals_);
    }
};

QTEST_GUILESS_MAIN(TstComManager)
#include "tst_commanager.moc"
