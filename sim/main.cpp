// dfr-simulator: a simulated DFR receiver on a pseudo-terminal.
#include "sim/DemoContent.h"
#include "sim/DfrSimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <sys/signalfd.h>
#include <unistd.h>

using Vantrel::Sim::DemoContent;
using Vantrel::Sim::DeviceState;
using Vantrel::Sim::DfrSimulator;
using Vantrel::Sim::SearchScenario;

namespace {

void fail(const QString& message)
{
    std::fprintf(stderr, "dfr-simulator: %s\n", qPrintable(message));
    std::exit(1);
}

// Comma-separated numbers, exactly `counts` of them (one of the sizes given); empty when not.
QList<double> numbers(const QString& text, std::initializer_list<int> counts)
{
    QList<double> values;
    for (const QString& part : text.split(QLatin1Char(','))) {
        bool ok = false;
        values.append(part.trimmed().toDouble(&ok));
        if (!ok) {
            return {};
        }
    }
    return std::find(counts.begin(), counts.end(), values.size()) != counts.end() ? values : QList<double>{};
}

bool isPosition(double latitude, double longitude)
{
    return std::fabs(latitude) <= 90.0 && std::fabs(longitude) <= 180.0;
}

QString degrees(double value, char positive, char negative)
{
    return QStringLiteral("%1 %2").arg(std::fabs(value), 0, 'f', 6).arg(QLatin1Char(value < 0 ? negative : positive));
}

// The search options, checked; the default track passes 3 km south of the platform, eastwards.
SearchScenario::Config_t searchConfig(const QCommandLineParser& parser, int slotCount)
{
    SearchScenario::Config_t c;
    const QList<double> truth = numbers(parser.value(QStringLiteral("search")), {2, 4});
    if (truth.isEmpty() || !isPosition(truth.at(0), truth.at(1))) {
        fail(QStringLiteral("--search takes <lat>,<lon>[,<driftEast>,<driftNorth>] in degrees and m/s, e.g. 48.85,2.35"));
    }
    c.latitude = truth.at(0);
    c.longitude = truth.at(1);
    c.driftEast = truth.value(2);
    c.driftNorth = truth.value(3);
    c.trackLatitude = c.latitude - 3000.0 / 111200.0;
    c.trackLongitude = c.longitude - 2000.0 / (111300.0 * std::max(0.01, std::cos(c.latitude * M_PI / 180.0)));
    c.heading = 90.0;
    if (parser.isSet(QStringLiteral("search-track"))) {
        const QString track = parser.value(QStringLiteral("search-track"));
        const bool circle = track.startsWith(QLatin1String("circle:"));
        const QList<double> v = numbers(track.section(QLatin1Char(':'), 1), {4});
        const bool known = circle || track.startsWith(QLatin1String("line:"));
        const bool sized = !v.isEmpty() && (circle ? v.at(2) > 0 : v.at(2) >= 0 && v.at(2) <= 360);
        if (!known || !sized || !isPosition(v.at(0), v.at(1)) || v.at(3) < 0) {
            fail(QStringLiteral("--search-track takes line:<lat>,<lon>,<heading>,<speed> or "
                                "circle:<lat>,<lon>,<radius>,<speed> (degrees, metres, m/s)"));
            }
        c.track = circle ? SearchScenario::TRACK_CIRCLE : SearchScenario::TRACK_LINE;
        c.trackLatitude = v.at(0);
        c.trackLongitude = v.at(1);
        (circle ? c.radius : c.heading) = v.at(2);
        c.speed = v.at(3);
    }
    bool ok = false;
    c.noiseDeg = parser.value(QStringLiteral("search-noise")).toDouble(&ok);
    if (!ok || c.noiseDeg < 0) {
        fail(QStringLiteral("--search-noise needs a standard deviation in degrees"));
    }
    c.reflections = parser.value(QStringLiteral("search-reflections")).toDouble(&ok);
    if (!ok || c.reflections < 0 || c.reflections > 1) {
        fail(QStringLiteral("--search-reflections needs a fraction from 0 to 1"));
    }
    c.offsetDeg = parser.value(QStringLiteral("search-offset")).toDouble(&ok);
    if (!ok || std::fabs(c.offsetDeg) > 180.0) {
        fail(QStringLiteral("--search-offset needs a number of degrees from -180 to 180"));
    }
    c.steerFile = parser.value(QStringLiteral("search-steer"));
    if (!c.steerFile.isEmpty() && c.track != SearchScenario::TRACK_LINE) {
        fail(QStringLiteral("--search-steer steers a line track"));
    }
    c.seed = parser.value(QStringLiteral("search-seed")).toUInt(&ok);
    if (!ok) {
        fail(QStringLiteral("--search-seed needs a whole number"));
    }
    if (parser.isSet(QStringLiteral("search-slot"))) {
        c.slot = parser.value(QStringLiteral("search-slot")).toInt(&ok);
        if (!ok || c.slot < 0 || c.slot >= slotCount) {
            fail(QStringLiteral("--search-slot needs a favourite slot from 0 to %1").arg(slotCount - 1));
        }
    }
    const double period = parser.value(QStringLiteral("search-period")).toDouble(&ok);
    if (!ok || period < 0) {
        fail(QStringLiteral("--search-period needs a number of seconds"));
    }
    c.beaconPeriodMs = qRound(period * 1000.0);
    c.flashBeacons = parser.value(QStringLiteral("search-flash")).toInt(&ok);
    if (!ok || c.flashBeacons < 0) {
        fail(QStringLiteral("--search-flash needs a number of messages"));
    }
    return c;
}

// One line on standard error, so that a demo user can hold the fix against the truth.
void printTruth(const SearchScenario& search, const DeviceState& state)
{
    const SearchScenario::Config_t& c = search.config();
    const QString track = c.track == SearchScenario::TRACK_LINE
                              ? QStringLiteral("a line from %1 %2 heading %3")
                                    .arg(degrees(c.trackLatitude, 'N', 'S'), degrees(c.trackLongitude, 'E', 'W'))
                                    .arg(c.heading)
                              : QStringLiteral("a circle of %3 m around %1 %2")
                                    .arg(degrees(c.trackLatitude, 'N', 'S'), degrees(c.trackLongitude, 'E', 'W'))
                                    .arg(c.radius);
    std::fprintf(stderr,
                 "dfr-simulator: search: platform %s \"%s\" (slot %d) at %s %s, drifting %g m/s east %g m/s north; "
                 "receiver on %s at %g m/s; bearing noise %g deg, offset %g deg, reflections %g, seed %u\n",
                 qPrintable(state.platforms.at(search.slot()).at(DeviceState::ipId)),
                 qPrintable(state.platforms.at(search.slot()).at(DeviceState::ipLabel)), search.slot(),
                 qPrintable(degrees(c.latitude, 'N', 'S')), qPrintable(degrees(c.longitude, 'E', 'W')), c.driftEast,
                 c.driftNorth, qPrintable(track), c.speed, c.noiseDeg, c.offsetDeg, c.reflections, c.seed);
}

QString printable(QByteArray bytes)
{
    if (bytes.endsWith("\r\n")) {
        bytes.chop(2);
    }
    QString text;
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        text += (u >= 0x20 && u < 0x7F) ? QString(QLatin1Char(c)) : QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        if (text.size() > 160) {
            return text + QStringLiteral("...");
        }
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
    // A search with a known truth, for trying out the position fix.
    parser.addOptions({
        {QStringLiteral("search"),
         QStringLiteral("Play a search: the platform sits at <lat>,<lon> (degrees), drifting <driftEast>,<driftNorth> m/s "
                        "when given. Its beacons carry the receiver's position and the true bearing from there, with "
                        "noise. The truth goes to standard error at start."),
         QStringLiteral("lat,lon[,driftEast,driftNorth]")},
        {QStringLiteral("search-track"),
         QStringLiteral("The receiver's track: line:<lat>,<lon>,<heading>,<speed> from a start, or "
                        "circle:<lat>,<lon>,<radius>,<speed> clockwise around a centre (degrees, metres, m/s). Default: "
                        "eastwards at 20 m/s, passing 3 km south of the platform."),
         QStringLiteral("track")},
        {QStringLiteral("search-noise"), QStringLiteral("Standard deviation of the bearings in degrees (default 5)."),
         QStringLiteral("deg"), QStringLiteral("5")},
        {QStringLiteral("search-reflections"),
         QStringLiteral("Fraction of the bearings replaced by reflections from a random direction (default 0)."),
         QStringLiteral("fraction"), QStringLiteral("0")},
        {QStringLiteral("search-offset"),
         QStringLiteral("The receiver's compass error: its bearings read this many degrees clockwise of the truth, "
                        "for a calibration to find (default 0)."),
         QStringLiteral("deg"), QStringLiteral("0")},
        {QStringLiteral("search-steer"),
         QStringLiteral("A line track that turns every 120 s to the heading (degrees) on the first line of this file, "
                        "as a driver following the program's next leg, which the program writes there when "
                        "VANTREL_STEER_FILE names the same file."),
         QStringLiteral("file")},
        {QStringLiteral("search-seed"), QStringLiteral("Seed of the noise, so that a run can be repeated (default 1)."),
         QStringLiteral("n"), QStringLiteral("1")},
        {QStringLiteral("search-slot"),
         QStringLiteral("Favourite slot of the platform (default: the first occupied one, a free slot gets a made-up "
                        "platform)."),
         QStringLiteral("slot")},
        {QStringLiteral("search-period"),
         QStringLiteral("Seconds between that platform's beacons, besides its turn among the others (default 3, 0: "
                        "only its turn)."),
         QStringLiteral("seconds"), QStringLiteral("3")},
        {QStringLiteral("search-flash"),
         QStringLiteral("Beacons of the search recorded in flash before the start, one per period (default 30)."),
         QStringLiteral("n"), QStringLiteral("30")},
    });
    parser.process(app);

    const QString profileName = parser.value(profileOption).toUpper();
    DeviceState::Profile_t profile = DeviceState::PROFILE_DFR_V2_APP;
    if (profileName == QLatin1String("DFR_V1")) {
        profile = DeviceState::PROFILE_DFR_V1;
    } else if (profileName == QLatin1String("DFR_V2_BL")) {
        profile = DeviceState::PROFILE_DFR_V2_BL;
    } else if (profileName != QLatin1String("DFR_V2")) {
        fail(QStringLiteral("unknown profile %1 (DFR_V1, DFR_V2 or DFR_V2_BL)").arg(parser.value(profileOption)));
    }

    bool ok = false;
    const double beaconSeconds = parser.value(beaconOption).toDouble(&ok);
    if (!ok || beaconSeconds < 0) {
        fail(QStringLiteral("--beacon-period needs a number of seconds"));
    }
    const int latency = parser.value(latencyOption).toInt(&ok);
    if (!ok || latency < 0) {
        fail(QStringLiteral("--latency needs a number of milliseconds"));
    }

    DfrSimulator simulator(profile);
    DeviceState& state = simulator.state();
    if (parser.isSet(serialOption)) {
        const QStringList parts = parser.value(serialOption).split(QLatin1Char('-'));
        if (parts.size() != 2 || parts.at(0).isEmpty()) {
            fail(QStringLiteral("--serial takes <part1>-<part2>, e.g. 0042-1207"));
        }
        state.serialPart1 = parts.at(0);
        state.serialPart2 = parts.at(1);
    }
    if (parser.isSet(appOption)) {
        state.applicationVersion = parser.value(appOption);
    }
    if (parser.isSet(blOption)) {
        state.bootloaderVersion = parser.value(blOption);
    }
    if (parser.isSet(fpgaOption)) {
        state.fpgaVersion = parser.value(fpgaOption);
    }
    // after the versions: the flash layout depends on the firmware level
    if (!parser.isSet(blankOption)) {
        DemoContent::apply(state);
    }
    if (parser.isSet(recordsOption)) {
        const int records = parser.value(recordsOption).toInt(&ok);
        if (!ok || records < 0) {
            fail(QStringLiteral("--flash-records needs a number of messages"));
        }
        const int corrupt = parser.value(corruptOption).toInt(&ok);
        if (!ok || corrupt < 0) {
            fail(QStringLiteral("--flash-corrupt needs a number of messages"));
        }
        DemoContent::fillFlash(state, records, corrupt);
    }
    const int corruptReads = parser.value(corruptReadOption).toInt(&ok);
    if (!ok || corruptReads < 0) {
        fail(QStringLiteral("--corrupt-reads needs a number of requests"));
    }
    simulator.injectFault(DfrSimulator::FAULTMODE_BAD_BINARY_CHECKSUM, QStringLiteral("RFP"), corruptReads);
    const bool searching = parser.isSet(QStringLiteral("search"));
    for (const QString& name : parser.optionNames()) {
        if (name.startsWith(QLatin1String("search-")) && !searching) {
            fail(QStringLiteral("--%1 needs --search").arg(name));
        }
    }
    if (searching) {
        if (state.mode != DeviceState::MODE_APP) {
            fail(QStringLiteral("--search needs a receiver in application mode"));
        }
        // after the flash content: the search's stretch goes on top of it
        simulator.setSearchScenario(searchConfig(parser, state.platformSlotCount()));
    }
    if (parser.isSet(paceOption)) {
        simulator.setLinePacing(115200);
    }
    simulator.setReplyLatency(latency);
    simulator.setBeaconPeriod(qRound(beaconSeconds * 1000.0));

    if (!simulator.start()) {
        fail(simulator.errorString());
    }
    const QString device = simulator.deviceName();

    const QString link = parser.value(linkOption);
    if (!link.isEmpty()) {
        const QFileInfo existing(link);
        if (existing.isSymLink()) {
            QFile::remove(link);
        } else if (existing.exists()) {
            fail(QStringLiteral("%1 exists and is not a symbolic link").arg(link));
        }
        if (!QFile::link(device, link)) {
            fail(QStringLiteral("cannot create the link %1").arg(link));
        }
    }
    // The link exists by the time anyone reads the name.
    std::printf("%s\n", qPrintable(device));
    std::fflush(stdout);
    if (simulator.searchScenario()) {
        printTruth(*simulator.searchScenario(), state);
    }

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
    if (signalFd < 0) {
        fail(QStringLiteral("signalfd failed"));
    }
    QSocketNotifier signalNotifier(signalFd, QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [signalFd] {
        signalfd_siginfo info;
        while (::read(signalFd, &info, sizeof info) == sizeof info) {
        }
        QCoreApplication::quit();
    });

    const int status = app.exec();
    if (!link.isEmpty() && QFileInfo(link).symLinkTarget() == device) {
        QFile::remove(link);
    }
    simulator.stop();
    ::close(signalFd);
    return status;
}
