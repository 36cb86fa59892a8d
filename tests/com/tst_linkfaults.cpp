// DfrLink faults: requests on a port that never opened, and the live status band kept as the receiver sent it.
#include <QtTest>

#include "com/DfrLink.h"
#include "tests/common/DeviceTestSupport.h"
#include "utils/Settings.h"

using Vantrel::Com::DfrLink;

namespace {

QByteArray frame(const QByteArray& body)
{
    return DeviceTest::frame(body + '*').trimmed();
}

} // namespace

class TstLinkFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        auto* settings = Vantrel::Utils::Settings::instance();
        settings->printAtCmdDebugInfo = false;
        settings->keepAlivePeriodMs = 0;
        settings->dfrCommandTimeoutMs = 60000;  // long: only the failed open may end the request
    }

    void requestOnUnopenedPort_data()
    {
        QTest::addColumn<bool>("errorHandledFirst");
        QTest::newRow("request after the open error was handled") << true;
        QTest::newRow("request while the open error is on its way") << false;
    }

    void requestOnUnopenedPort()
    {
        QFETCH(bool, errorHandledFirst);
        const QString port = QStringLiteral("vantrel-no-such-port");
        DfrLink link;
        QSignalSpy compromised(&link, &DfrLink::sigLinkCompromised);
        link.setUartLink(port);
        if (errorHandledFirst)
            QTRY_COMPARE_WITH_TIMEOUT(compromised.count(), 1, 5000);

        // Should the request hang, releasing the link ends it with another text.
        QTimer release;
        release.setSingleShot(true);
        connect(&release, &QTimer::timeout, &link, [&link] { link.setUartLink(QString()); });
        release.start(5000);

        QElapsedTimer clock;
        clock.start();
        const QString failure = TestSupport::thrownBy([&] { link.getDfrVersionsAndStatus(); });
        QVERIFY2(failure.startsWith(QStringLiteral("Link Error: Port %1 cannot be open (error ").arg(port)),
                 qPrintable(failure));
        QVERIFY(clock.elapsed() < 4000);
    }

    void liveStatusBand_data()
    {
        QTest::addColumn<QString>("bandText");
        QTest::addColumn<quint32>("band");
        QTest::newRow("known band") << "7" << 7u;
        QTest::newRow("just above the invalid marker") << "11" << 11u;
        QTest::newRow("far past the known bands") << "4242" << 4242u;
        QTest::newRow("largest 16-bit value") << "65535" << 65535u;
        QTest::newRow("beyond 16 bits") << "65536" << 0u;
        QTest::newRow("not a number") << "B3" << 0u;
        QTest::newRow("negative") << "-1" << 0u;
    }

    void liveStatusBand()
    {
        QFETCH(QString, bandText);
        QFETCH(quint32, band);
        DeviceTest::PtyPeer peer;
        const QStringList rules = {"TEST>TEST,DFR,V2,0042,1207,APP,2.2,1.4,3.1", "GSN>VSN,42,1207",
                                   "LIG>LIG,3,2928000,138000,135,7400,24,8,12,35,0,0,0," + bandText + ",2.2,1.4,3.1"};
        for (const QString& rule : rules)
            peer.answers.insert(frame(rule.section('>', 0, 0).toLatin1()),
                                frame(rule.section('>', 1).toLatin1()) + "\r\n");
        DfrLink link;
        link.setUartLink(DeviceTest::portOf(peer.name));
        DfrLink::DfrVersionsAndStatus_t status;
        QCOMPARE(TestSupport::thrownBy([&] { status = link.getDfrVersionsAndStatus(); }),
                 QString());
        QCOMPARE(quint32(status.band), band);
    }
};

QTEST_MAIN(TstLinkFaults)
#include "tst_linkfaults.moc"
