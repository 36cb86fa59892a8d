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
    // Runs `count` scans, `before(i)` ahead of scan i, and returns the signals seen, "+name" for a detection
    // and "-name" for a removal, one string per scan. Ports come from `source` when given, else from the system.
    QStringList runScans(int count, const std::function<void(int)>& before,
                         const std::function<PortList()>& source = {})
    {
        ComManager manager;
        if (source)
            manager.setPortSource(source);
        QStringList seen;
        QString current;
        connect(&manager, &ComManager::sigDfrDetected, this, [&current](const QString& n) { current += "+" + n + " "; });
        connect(&manager, &ComManager::sigDfrRemoved, this, [&current](const QString& n) { current += "-" + n + " "; });
        for (int i = 0; i < count; ++i) {
            before(i);
            QMetaObject::invokeMethod(&manager, "slotScanComPorts", Qt::DirectConnection);
            seen.append(current.trimmed());
            current.clear();
        }
        return seen;
    }

private Q_SLOTS:
    // Signals per scan, and every warning and info the scans log.
    void scans_data()
    {
        QTest::addColumn<QList<PortList>>("scans");
        QTest::addColumn<QStringList>("signalsPerScan");
        QTest::addColumn<QStringList>("logs");  // "W " warnings, "I " infos

        const QString rejected = "W Device vendor %1 product %2 is rejected on port %3.";
        const QString created = "I Creation of UartLink %1";
        QTest::newRow("two receivers in one scan") << QList<PortList>{{dfr("ttyUSB0"), dfr("ttyUSB1")}}
                                                   << QStringList{"+ttyUSB0 +ttyUSB1"}
                                                   << QStringList{created.arg("ttyUSB0"), created.arg("ttyUSB1")};
        QTest::newRow("receiver stays, then goes, then comes back")
            << QList<PortList>{{dfr("ttyUSB0")}, {dfr("ttyUSB0")}, {}, {dfr("ttyUSB0")}}
            << QStringList{"+ttyUSB0", "", "-ttyUSB0", "+ttyUSB0"} << QStringList();
        QTest::newRow("receiver's vendor with another product rejected")
            << QList<PortList>{{other("ttyUSB0", ComManager::dfrVendorId, 0xF585)}} << QStringList{""}
            << QStringList{rejected.arg("0x4DE", "0xF585", "ttyUSB0")};
        QTest::newRow("another vendor with the receiver's product rejected")
            << QList<PortList>{{other("ttyUSB0", 0x0403, ComManager::dfrProductId)}} << QStringList{""}
            << QStringList{rejected.arg("0x403", "0xF584", "ttyUSB0")};
        QTest::newRow("names compared case-sensitively, detections before removals")
            << QList<PortList>{{dfr("COM3")}, {dfr("com3")}} << QStringList{"+COM3", "+com3 -COM3"} << QStringList();
        QTest::newRow("other device now behind a judged name is not judged again")
            << QList<PortList>{{other("ttyUSB0", 0x0403, 0x6001)}, {dfr("ttyUSB0")}} << QStringList{"", ""}
            << QStringList{rejected.arg("0x403", "0x6001", "ttyUSB0")};
        QTest::newRow("rejected: warned once while present, again after coming back, no removal")
            << QList<PortList>{{other("ttyACM0", 0x2341, 0xab)}, {other("ttyACM0", 0x2341, 0xab)}, {},
                               {other("ttyACM0", 0x2341, 0xab)}}
            << QStringList{"", "", "", ""}
            << QStringList{rejected.arg("0x2341", "0xAB", "ttyACM0"), rejected.arg("0x2341", "0xAB", "ttyACM0")};
    }

    void scans()
    {
        QFETCH(QList<PortList>, scans);
        QFETCH(QStringList, logs);
        for (const QString& log : logs)
            QTest::ignoreMessage(log.startsWith('W') ? QtWarningMsg : QtInfoMsg, qPrintable(log.mid(2)));
        // Any warning beyond those listed fails the row.
        QTest::failOnWarning(QRegularExpression(".*"));
        QTEST(runScans(int(scans.size()), [](int) {}, [&scans] { return scans.takeFirst(); }), "signalsPerScan");
    }

    void simulatedPortsPassForReceivers()
    {
#if defined(Q_OS_WIN)
        QSKIP("A file stands in for the terminal here; on Windows a simulated receiver is a COM name the system maps");
#endif
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

    // Simulated receivers named in the environment: once a listed terminal has gone, the same name coming back is no
    // receiver, unless it is a link a simulator made for itself.
    void goneStaysGone_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("signals_");

        QTest::newRow("gone, then back under the same listing")
            << QStringList{"present", "absent", "present", "present"} << "+sim -sim";
        QTest::newRow("gone, then back under a new listing")
            << QStringList{"present", "absent", "relisted", "present"} << "+sim -sim +sim";
        QTest::newRow("listed before it exists") << QStringList{"absent", "present"} << "+sim";
        QTest::newRow("a simulator's link made again") << QStringList{"link", "absent", "link"} << "+sim -sim +sim";
    }

    void goneStaysGone()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, signals_);
#if defined(Q_OS_WIN)
        QSKIP("A file stands in for the terminal here; on Windows a simulated receiver is a COM name the system maps");
#endif

        // A plain file stands in for the pseudo-terminal: the listing only asks whether the path exists.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("sim");
        QString listing = path;
        qputenv("VANTREL_SIMULATED_PORTS", listing.toLocal8Bit());
        const auto unset = qScopeGuard([] { qunsetenv("VANTREL_SIMULATED_PORTS"); });

        const int detections = int(signals_.split(' ').count("+sim"));
        for (int i = 0; i < detections; ++i)
            QTest::ignoreMessage(QtInfoMsg, qPrintable("Creation of UartLink " + path));
        const QStringList seen = runScans(int(steps.size()), [&](int i) {
            if (steps.at(i) == "absent")
                QFile::remove(path);
            else if (steps.at(i) == "link")
                QVERIFY(QFile::link(dir.filePath("target"), path) && QFile(dir.filePath("target")).open(QIODevice::WriteOnly));
            else
                QVERIFY(QFile(path).open(QIODevice::WriteOnly));
            if (steps.at(i) == "relisted") {
                listing += ":" + dir.filePath("other");
                qputenv("VANTREL_SIMULATED_PORTS", listing.toLocal8Bit());
            }
        });
        QCOMPARE(seen.join(' ').simplified().replace(path, "sim"), signals_);
    }
};

QTEST_GUILESS_MAIN(TstComManager)
#include "tst_commanager.moc"
