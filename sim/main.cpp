// dfr-simulator: a simulated DFR receiver on a pseudo-terminal.
#include "sim/DemoContent.h"
#include "sim/DfrSimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/signalfd.h>
#include <unistd.h>

using Vantrel::Sim::DemoContent;
using Vantrel::Sim::DeviceState;
using Vantrel::Sim::DfrSimulator;

namespace {

void fail(const QString& message)
{
    std::fprintf(stderr, "dfr-simulator: %s\n", qPrintable(message));
    std::exit(1);
}

QString printable(QByteArray bytes)
{
    if (bytes.endsWith("\r\n"))
        bytes.chop(2);
    QString text;
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        text += (u >= 0x20 && u < 0x7F) ? QString(QLatin1Char(c)) : QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        if (text.size() > 160)
            return text + QStringLiteral("...");
    }
    return text;
}

} // namespace

int main(int argc, char* argv[])
{
    // Blocked before any thread exists, so that they arrive only through signalfd.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("dfr-simulator"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated DFR receiver on a pseudo-terminal.\n"
        "Prints the device name (e.g. /dev/pts/5) on the first line of its output and answers\n"
        "on it until stopped with Ctrl-C or SIGTERM. Point Vantrel at it with\n"
        "VANTREL_SIMULATED_PORTS=<device or link>. Without options it plays a second-generation\n"
        "receiver in application mode with a few favourite platforms, GPS formats, recorded\n"
        "messages and a beacon every 5 seconds. A pseudo-terminal has no DTR line, so live\n"
        "reception stays on whatever the host asks."));
    parser.addHelpOption();
    const QCommandLineOption profileOption(
        QStringLiteral("profile"), QStringLiteral("Receiver to play: DFR_V1, DFR_V2 or DFR_V2_BL (bootloader)."),
        QStringLiteral("profile"), QStringLiteral("DFR_V2"));
    const QCommandLineOption serialOption(QStringLiteral("serial"),
                                          QStringLiteral("Serial number as <part1>-<part2> (default 0042-1207)."),
                                          QStringLiteral("serial"));
    const QCommandLineOption appOption(QStringLiteral("app-version"),
                                       QStringLiteral("Application version (default 2.2, 1.9 for DFR_V1). 2, 2.2 and later 2.x "
                                                      "report identifiers the way level-2 firmware does."),
                                       QStringLiteral("version"));
    const QCommandLineOption blOption(QStringLiteral("bl-version"), QStringLiteral("Bootloader version (default 1.4, 1.2 for DFR_V1)."),
                                      QStringLiteral("version"));
    const QCommandLineOption fpgaOption(QStringLiteral("fpga-version"), QStringLiteral("FPGA version (default 3.1, 1.0 for DFR_V1)."),
                                        QStringLiteral("version"));
    const QCommandLineOption beaconOption(
        QStringLiteral("beacon-period"),
        QStringLiteral("Seconds between heard beacons, from the favourite platforms in turn (0: none)."),
        QStringLiteral("seconds"), QStringLiteral("5"));
    const QCommandLineOption linkOption(
        QStringLiteral("link"), QStringLiteral("Also create a symbolic link at <path> to the device, removed on exit."),
        QStringLiteral("path"));
    const QCommandLineOption latencyOption(QStringLiteral("latency"),
                                           QStringLiteral("Milliseconds before each reply (default 0)."),
                                           QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption blankOption(QStringLiteral("blank"),
                                         QStringLiteral("Start factory-fresh: no favourites, formats or recorded messages."));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
                                           QStringLiteral("Trace every frame received and sent on standard error."));
    const QCommandLineOption recordsOption(
        QStringLiteral("flash-records"),
        QStringLiteral("Fill the flash with <n> recorded messages instead of the demo's few."), QStringLiteral("n"));
    const QCommandLineOption corruptOption(QStringLiteral("flash-corrupt"),
                                           QStringLiteral("Spoil one byte in <k> of the recorded messages."),
                                           QStringLiteral("k"), QStringLiteral("0"));
    const QCommandLineOption corruptReadOption(
        QStringLiteral("corrupt-reads"),
        QStringLiteral("Spoil one binary packet in each of the next <n> flash read requests."), QStringLiteral("n"),
        QStringLiteral("0"));
    const QCommandLineOption paceOption(QStringLiteral("pace"),
                                        QStringLiteral("Send no faster than a 115200 baud serial line."));
    parser.addOptions({profileOption, serialOption, appOption, blOption, fpgaOption, beaconOption, linkOption,
                       latencyOption, blankOption, verboseOption, recordsOption, corruptOption, corruptReadOption,
                       paceOption});
    parser.process(app);

    const QString profileName = parser.value(profileOption).toUpper();
    DeviceState::Profile_t profile = DeviceState::PROFILE_DFR_V2_APP;
    if (profileName == QLatin1String("DFR_V1"))
        profile = DeviceState::PROFILE_DFR_V1;
    else if (profileName == QLatin1String("DFR_V2_BL"))
        profile = DeviceState::PROFILE_DFR_V2_BL;
    else if (profileName != QLatin1String("DFR_V2"))
        fail(QStringLiteral("unknown profile %1 (DFR_V1, DFR_V2 or DFR_V2_BL)").arg(parser.value(profileOption)));

    bool ok = false;
    const double beaconSeconds = parser.value(beaconOption).toDouble(&ok);
    if (!ok || beaconSeconds < 0)
        fail(QStringLiteral("--beacon-period needs a number of seconds"));
    const int latency = parser.value(latencyOption).toInt(&ok);
    if (!ok || latency < 0)
        fail(QStringLiteral("--latency needs a number of milliseconds"));

    DfrSimulator simulator(profile);
    DeviceState& state = simulator.state();
    if (parser.isSet(serialOption)) {
        const QStringList parts = parser.value(serialOption).split(QLatin1Char('-'));
        if (parts.size() != 2 || parts.at(0).isEmpty())
            fail(QStringLiteral("--serial takes <part1>-<part2>, e.g. 0042-1207"));
        state.serialPart1 = parts.at(0);
        state.serialPart2 = parts.at(1);
    }
    if (parser.isSet(appOption))
        state.applicationVersion = parser.value(appOption);
    if (parser.isSet(blOption))
        state.bootloaderVersion = parser.value(blOption);
    if (parser.isSet(fpgaOption))
        state.fpgaVersion = parser.value(fpgaOption);
    // after the versions: the flash layout depends on the firmware level
    if (!parser.isSet(blankOption))
        DemoContent::apply(state);
    if (parser.isSet(recordsOption)) {
        const int records = parser.value(recordsOption).toInt(&ok);
        if (!ok || records < 0)
            fail(QStringLiteral("--flash-records needs a number of messages"));
        const int corrupt = parser.value(corruptOption).toInt(&ok);
        if (!ok || corrupt < 0)
            fail(QStringLiteral("--flash-corrupt needs a number of messages"));
        DemoContent::fillFlash(state, records, corrupt);
    }
    const int corruptReads = parser.value(corruptReadOption).toInt(&ok);
    if (!ok || corruptReads < 0)
        fail(QStringLiteral("--corrupt-reads needs a number of requests"));
    simulator.injectFault(DfrSimulator::FAULTMODE_BAD_BINARY_CHECKSUM, QStringLiteral("RFP"), corruptReads);
    if (parser.isSet(paceOption))
        simulator.setLinePacing(115200);
    simulator.setReplyLatency(latency);
    simulator.setBeaconPeriod(qRound(beaconSeconds * 1000.0));

    if (!simulator.start())
        fail(simulator.errorString());
    const QString device = simulator.deviceName();

    const QString link = parser.value(linkOption);
    if (!link.isEmpty()) {
        const QFileInfo existing(link);
        if (existing.isSymLink())
            QFile::remove(link);
        else if (existing.exists())
            fail(QStringLiteral("%1 exists and is not a symbolic link").arg(link));
        if (!QFile::link(device, link))
            fail(QStringLiteral("cannot create the link %1").arg(link));
    }
    // The link exists by the time anyone reads the name.
    std::printf("%s\n", qPrintable(device));
    std::fflush(stdout);

    if (parser.isSet(verboseOption)) {
        QObject::connect(&simulator, &DfrSimulator::frameReceived, [](const DfrSimulator::ReceivedFrame_t& frame) {
            std::fprintf(stderr, "<< %s%s\n", qPrintable(printable(frame.line)),
                         frame.wellFormed && frame.checksumOk ? "" : "   (ignored: not a valid frame)");
        });
        QObject::connect(&simulator, &DfrSimulator::outputQueued, [](const QByteArray& bytes) {
            std::fprintf(stderr, ">> %s\n", qPrintable(printable(bytes)));
        });
    }

    const int signalFd = ::signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signalFd < 0)
        fail(QStringLiteral("signalfd failed"));
    QSocketNotifier signalNotifier(signalFd, QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [signalFd] {
        signalfd_siginfo info;
        while (::read(signalFd, &info, sizeof info) == sizeof info) {
        }
        QCoreApplication::quit();
    });

    const int status = app.exec();
    if (!link.isEmpty() && QFileInfo(link).symLinkTarget() == device)
        QFile::remove(link);
    simulator.stop();
    ::close(signalFd);
    return status;
}
