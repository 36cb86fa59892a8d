// Simulated receivers named in the environment: once a listed terminal has gone, the same name coming back is no receiver.
#include <QtTest>

#include "com/ComManager.h"

using Vantrel::Com::ComManager;

class TestSimulatedPorts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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

QTEST_GUILESS_MAIN(TestSimulatedPorts)
#include "tst_simulatedports.moc"
