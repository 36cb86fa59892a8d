// Shared by the device tests: the checksum rule, a hand-driven pseudo-terminal peer, and the main window's tool bar and log.
#pragma once

#include <QAction>
#include <QHash>
#include <QSocketNotifier>
#include <QTest>
#include <QToolBar>

#include "com/ComManager.h"
#include "com/DfrLink.h"
#include "sim/DfrSimulator.h"
#include "tests/common/TestSupport.h"
#include "utils/Settings.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace DeviceTest {

using TestSupport::logHas;

// The checksum rule written out again, so that neither the link nor the simulator can vouch for itself:
// the two upper-case hex digits of the XOR of `covered`.
inline QByteArray checksum(const QByteArray& covered)
{
    quint8 sum = 0;
    for (const char c : covered)
        sum ^= static_cast<quint8>(c);
    return QByteArray::number(sum, 16).toUpper().rightJustified(2, '0');
}

// `covered` ends with the "*"; the line comes back with its CR LF.
inline QByteArray frame(const QByteArray& covered)
{
    return '$' + covered + checksum(covered) + "\r\n";
}

// The frame of a body such as "LIG,1", without CR LF.
inline QByteArray line(const QByteArray& body)
{
    return frame(body + '*').trimmed();
}

inline QString portOf(const QString& device)  // "/dev/pts/3" -> "pts/3"
{
    return device.mid(int(qstrlen("/dev/")));
}

// The receiver's end of a pseudo-terminal, byte for byte under the test's control.
// Lines listed in `answers` (without CR LF) are answered at once, as a receiver would.
class PtyPeer
{
public:
    PtyPeer()
    {
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
            qFatal("openpty failed");
        termios mode{};
        ::tcgetattr(slave, &mode);
        ::cfmakeraw(&mode);
        ::tcsetattr(slave, TCSANOW, &mode);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        name = QString::fromLocal8Bit(::ptsname(master));
        notifier = new QSocketNotifier(master, QSocketNotifier::Read);
        QObject::connect(notifier, &QSocketNotifier::activated, notifier, [this] { readAvailable(); });
    }
    ~PtyPeer()
    {
        delete notifier;
        ::close(master);
        ::close(slave);
    }

    // Blocks while the line is full: the link reads in its own thread meanwhile.
    void write(const QByteArray& bytes) const
    {
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t n = ::write(master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0) {
                done += n;
                continue;
            }
            pollfd writable{master, POLLOUT, 0};
            QVERIFY2(n < 0 && errno == EAGAIN && ::poll(&writable, 1, 5000) == 1, "line stuck");
        }
    }
    // Bytes written by the peer that nobody has read from the line yet.
    int unread() const
    {
        int n = 0;
        ::ioctl(slave, FIONREAD, &n);
        return n;
    }
    int count(const QByteArray& line) const { return int(lines.count(line)); }

    QString name;
    QList<QByteArray> lines;  // complete lines received, without CR LF
    QHash<QByteArray, QByteArray> answers;

private:
    void readAvailable()
    {
        char chunk[4096];
        ssize_t n;
        while ((n = ::read(master, chunk, sizeof chunk)) > 0) {
            pending.append(chunk, int(n));
            for (qsizetype end; (end = pending.indexOf("\r\n")) >= 0; pending.remove(0, end + 2)) {
                lines.append(pending.left(end));
                if (answers.contains(lines.last()))
                    write(answers.value(lines.last()));
            }
        }
    }

    QByteArray pending;
    int master = -1;
    int slave = -1;  // kept open so that the line never hangs up
    QSocketNotifier* notifier = nullptr;
};

// No tracing, and unless asked only the keep-alive on opening, so that frame counts are exact.
inline void quietLink(int commandTimeoutMs, int keepAliveTimeoutMs = 5000, int keepAlivePeriodMs = 0)
{
    auto* settings = Vantrel::Utils::Settings::instance();
    settings->printAtCmdDebugInfo = false;
    settings->printUartDebugInfo = false;
    settings->dfrCommandTimeoutMs = commandTimeoutMs;
    settings->keepAliveTimeoutMs = keepAliveTimeoutMs;
    settings->keepAlivePeriodMs = keepAlivePeriodMs;
}

// Values of the last well-formed frame of that mnemonic the receiver got.
inline QStringList lastParams(const Vantrel::Sim::DfrSimulator& sim, const QString& mnemonic)
{
    const auto frames = sim.receivedFrames();
    for (auto it = frames.crbegin(); it != frames.crend(); ++it)
        if (it->wellFormed && it->mnemonic == mnemonic)
            return it->params;
    return {};
}

// A receiver without beacons, prepared before it starts, with a link opened on it and its versions read.
struct LinkedReceiver
{
    LinkedReceiver(Vantrel::Sim::DeviceState::Profile_t profile, void (*prepare)(Vantrel::Sim::DeviceState&))
        : sim(profile)
    {
        sim.setBeaconPeriod(0);
        prepare(sim.state());
        QVERIFY(sim.start());
        link.setUartLink(portOf(sim.deviceName()));
        link.getDfrVersionsAndStatus();
    }
    Vantrel::Sim::DfrSimulator sim;
    Vantrel::Com::DfrLink link;
};

// Offers the ports of the simulators still open to the window's port scan.
inline void offerPorts(const QList<const Vantrel::Sim::DfrSimulator*>& sims)
{
    QStringList paths;
    for (const auto* sim : sims)
        if (sim->isOpen())
            paths.append(sim->deviceName());
    // A terminal that has gone stays spent while the listing is unchanged, and a new
    // simulator may get the same terminal: every offer comes with a listing of its own.
    static int listings = 0;
    paths.append(QStringLiteral("/dev/vantrel-listing-%1").arg(++listings));
    qputenv("VANTREL_SIMULATED_PORTS", paths.join(':').toLocal8Bit());
}

// The tool bar button of a port ("pts/3"), or null while the port scan has not offered it.
inline QAction* portAction(const Vantrel::Ui_UiMainWindow* ui, const QString& port)
{
    for (QAction* action : ui->mainToolBar_->actions())
        if (action->toolTip() == QStringLiteral("Connect to DFR @%1").arg(port))
            return action;
    return nullptr;
}

// Long enough for the port scan to have run many times even on a busy machine.
constexpr int scanWaitMs = 20 * Vantrel::Com::ComManager::scanPeriodMs;

// Waits for the simulator's button and clicks it, as the user would.
inline QAction* plugAndClick(const Vantrel::Ui_UiMainWindow* ui, const Vantrel::Sim::DfrSimulator& sim)
{
    const QString port = portOf(sim.deviceName());
    if (!QTest::qWaitFor([&] { return portAction(ui, port) != nullptr; }, scanWaitMs))
        return nullptr;
    portAction(ui, port)->trigger();
    return portAction(ui, port);
}
} // namespace DeviceTest
