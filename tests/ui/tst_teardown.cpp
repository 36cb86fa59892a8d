// The window destroyed while its receiver has just gone or the worker's request is
// unanswered: the process goes on and no failure escapes.
#include "tests/common/WindowDeviceFixture.h"

namespace {

QStringList escaped;  // failures logged while the window was being destroyed
bool destroying = false;
QtMessageHandler console = nullptr;

} // namespace

class TestTeardown : public WindowDeviceFixture
{
    Q_OBJECT

    enum Moment_t { CUT, KILLED, UNANSWERED };

private Q_SLOTS:
    void initTestCase()
    {
        console = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (destroying && type >= QtCriticalMsg)
                escaped << text;
            console(type, context, text);
        });
    }

    void destroyed_data()
    {
        QTest::addColumn<int>("moment");
        QTest::newRow("line just cut") << int(CUT);
        QTest::newRow("simulator just gone") << int(KILLED);
        QTest::newRow("keep-alive unanswered") << int(UNANSWERED);
    }

    void destroyed()
    {
        QFETCH(int, moment);
        startWindow(2000, 200);
        connectTo(DeviceState::PROFILE_DFR_V2_APP);
        if (moment == UNANSWERED) {
            sim->setPersistentFault(DfrSimulator::FAULTMODE_NO_REPLY);
            QTRY_VERIFY_WITH_TIMEOUT(!sim->receivedFrames().isEmpty(), 5000);
        } else {
            moment == CUT ? sim->unplug() : sim.reset();
        }
        escaped.clear();
        destroying = true;
        delete window;
        window = nullptr;
        destroying = false;
        QVERIFY2(escaped.isEmpty(), qPrintable(escaped.join('\n')));
        sim.reset();
    }
};

VANTREL_WINDOW_TEST_MAIN(TestTeardown)
#include "tst_teardown.moc"
