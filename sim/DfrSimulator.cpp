#include "sim/DfrSimulator.h"

#include "sim/FrameCodec.h"

#include <QMutexLocker>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace Vantrel::Sim {

namespace {

constexpr int pacingTickMs = 2;

constexpr int maxLineBytes = 64 * 1024;

// NUL, invalid UTF-8 and control bytes, but no "$": no frame can be read in it.
const QByteArray garbageLine = QByteArray("\x7F\x13\xFE\x00\x01garbage\x80\xC3\x28%&\xFF", 17) + "\r\n";

} // namespace

DfrSimulator::DfrSimulator(DeviceState::Profile_t profile, QObject* parent)
    : QObject(parent)
    , deviceState(profile)
    , processor(deviceState)
    , generator(deviceState)
    , pendingTimer(new QTimer(this))
    , throttleTimer(new QTimer(this))
    , beaconTimer(new QTimer(this))
    , searchTimer(new QTimer(this))
{
    qRegisterMetaType<ReceivedFrame_t>();
    sinceCreation.start();
    pendingTimer->setSingleShot(true);
    throttleTimer->setSingleShot(true);
    connect(pendingTimer, &QTimer::timeout, this, &DfrSimulator::releasePending);
    connect(throttleTimer, &QTimer::timeout, this, &DfrSimulator::pumpOutput);
    connect(beaconTimer, &QTimer::timeout, this, &DfrSimulator::periodicBeacon);
    connect(searchTimer, &QTimer::timeout, this, &DfrSimulator::searchBeacon);
}

DfrSimulator::~DfrSimulator()
{
    closePty();
}

bool DfrSimulator::start()
{
    if (isOpen()) {
        return true;
    }
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) < 0) {
        lastError = QStringLiteral("openpty: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    // Raw, so that the host's bytes and ours cross unchanged (no echo, no CR
    // translation); the host sets its own line settings on top.
    termios settings {};
    if (::tcgetattr(slave, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::cfsetispeed(&settings, B115200);
        ::cfsetospeed(&settings, B115200);
        settings.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(slave, TCSANOW, &settings);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);

    char path[128] = {};
    if (::ptsname_r(master, path, sizeof path) != 0) {
        lastError = QStringLiteral("ptsname: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        ::close(master);
        ::close(slave);
        return false;
    }

    masterFd = master;
    slaveFd = slave;
    {
        QMutexLocker lock(&shared);
        name = QString::fromLocal8Bit(path);
    }
    readNotifier = new QSocketNotifier(masterFd, QSocketNotifier::Read, this);
    connect(readNotifier, &QSocketNotifier::activated, this, &DfrSimulator::onReadable);
    writeNotifier = new QSocketNotifier(masterFd, QSocketNotifier::Write, this);
    writeNotifier->setEnabled(false);
    connect(writeNotifier, &QSocketNotifier::activated, this, &DfrSimulator::pumpOutput);
    return true;
}

void DfrSimulator::stop()
{
    closePty();
}

void DfrSimulator::unplug()
{
    if (!isOpen()) {
        return;
    }
    closePty();
    emit unplugged();
}

void DfrSimulator::closePty()
{
    if (readNotifier) {
        readNotifier->setEnabled(false);
        readNotifier->deleteLater();  // may be inside its own activated()
        readNotifier = nullptr;
    }
    if (writeNotifier) {
        writeNotifier->setEnabled(false);
        writeNotifier->deleteLater();
        writeNotifier = nullptr;
    }
    if (masterFd >= 0) {
        ::close(masterFd);
    }
    if (slaveFd >= 0) {
        ::close(slaveFd);
    }
    masterFd = -1;
    slaveFd = -1;
    inBuffer.clear();
    scanFrom = 0;
    outQueue.clear();
    pending.clear();
    pendingTimer->stop();
    throttleTimer->stop();
    stalledSince.invalidate();
    QMutexLocker lock(&shared);
    name.clear();
}

bool DfrSimulator::isOpen() const
{
    return masterFd >= 0;
}

QString DfrSimulator::deviceName() const
{
    QMutexLocker lock(&shared);
    return name;
}

void DfrSimulator::setBeaconPeriod(int ms)
{
    if (ms > 0) {
        beaconTimer->start(ms);
    } else {
        beaconTimer->stop();
    }
}

void DfrSimulator::setOutputThrottle(int bytesPerChunk, int intervalMs)
{
    throttleBytes = std::max(0, bytesPerChunk);
    throttleIntervalMs = std::max(0, intervalMs);
}

void DfrSimulator::setLinePacing(int baud)
{
    pacingBaud = std::max(0, baud);
    throttleTimer->setTimerType(pacingBaud > 0 ? Qt::PreciseTimer : Qt::CoarseTimer);
}

void DfrSimulator::injectFault(FaultMode_t mode, const QString& mnemonic, int count)
{
    if (count > 0) {
        faults.append({mode, mnemonic, count});
    }
}

void DfrSimulator::setPersistentFault(FaultMode_t mode, const QString& mnemonic)
{
    faults.append({mode, mnemonic, -1});
}

void DfrSimulator::clearFaults()
{
    faults.clear();
}

DfrSimulator::FaultMode_t DfrSimulator::takeFault(const QString& mnemonic)
{
    for (int i = 0; i < faults.size(); ++i) {
        FaultRule_t& rule = faults[i];
        if (!rule.mnemonic.isEmpty() && rule.mnemonic != mnemonic) {
            continue;
        }
        const FaultMode_t mode = rule.mode;
        if (rule.remaining > 0 && --rule.remaining == 0) {
            faults.removeAt(i);
        }
        return mode;
    }
    return FAULTMODE_NONE;
}

QList<DfrSimulator::ReceivedFrame_t> DfrSimulator::receivedFrames() const
{
    QMutexLocker lock(&shared);
    return frameLog;
}

QStringList DfrSimulator::receivedMnemonics() const
{
    QMutexLocker lock(&shared);
    QStringList list;
    for (const ReceivedFrame_t& frame : frameLog) {
        if (frame.wellFormed) {
            list.append(frame.mnemonic);
        }
    }
    return list;
}

int DfrSimulator::receivedCount(const QString& mnemonic) const
{
    return static_cast<int>(receivedMnemonics().count(mnemonic));
}

void DfrSimulator::clearReceivedFrames()
{
    QMutexLocker lock(&shared);
    frameLog.clear();
}

void DfrSimulator::onReadable()
{
    char chunk[4096];
    while (masterFd >= 0) {
        const ssize_t n = ::read(masterFd, chunk, sizeof chunk);
        if (n > 0) {
            inBuffer.append(chunk, static_cast<int>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        }
        // EIO only comes when no slave is open, which our own slave fd prevents;
        // stop listening rather than spin on it.
        if (readNotifier) {
            readNotifier->setEnabled(false);
        }
        break;
    }
    extractFrames();
}

void DfrSimulator::extractFrames()
{
    while (masterFd >= 0) {
        const int lf = inBuffer.indexOf('\n', scanFrom);
        if (lf < 0) {
            scanFrom = inBuffer.size();
            break;
        }
        if (!FrameCodec::endsFrame(inBuffer, lf)) {
            scanFrom = lf + 1;
            continue;
        }
        QByteArray line = inBuffer.left(lf);
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        inBuffer.remove(0, lf + 1);
        scanFrom = 0;
        handleLine(line);
    }
    if (inBuffer.size() > maxLineBytes) {
        inBuffer.clear();
        scanFrom = 0;
    }
}

void DfrSimulator::handleLine(const QByteArray& line)
{
    const FrameCodec::ParsedFrame_t parsed = FrameCodec::parse(line);
    ReceivedFrame_t frame;
    frame.line = line;
    frame.mnemonic = parsed.mnemonic;
    frame.params = parsed.params;
    frame.wellFormed = parsed.wellFormed;
    frame.checksumOk = parsed.checksumOk;
    frame.elapsedMs = sinceCreation.elapsed();
    {
        QMutexLocker lock(&shared);
        frameLog.append(frame);
    }
    emit frameReceived(frame);
    if (!parsed.wellFormed || !parsed.checksumOk || !isOpen()) {
        return;
    }

    const FaultMode_t fault = takeFault(parsed.mnemonic);
    if (fault == FAULTMODE_UNPLUG) {
        unplug();
        return;
    }
    if (fault == FAULTMODE_NO_REPLY) {
        return;
    }
    if (search) {
        search->moveReceiver(deviceState, searchSeconds());  // LIG reports where the track is now
    }
    const CommandProcessor::Reply_t reply = fault == FAULTMODE_ACK_ERROR
                                                ? CommandProcessor::refusal(parsed.mnemonic)
                                                : processor.process(parsed.mnemonic, parsed.params);
    if (reply.flashRead) {
        lastFlashRead.start();
    }
    deliver(render(reply, fault), replyLatencyMs + (fault == FAULTMODE_DELAYED_REPLY ? faultDelayMs : 0));
}

QByteArray DfrSimulator::render(const CommandProcessor::Reply_t& reply, FaultMode_t fault) const
{
    if (fault == FAULTMODE_GARBAGE) {
        return garbageLine;
    }
    int packets = 0;
    for (const CommandProcessor::ReplyPart_t& part : reply.parts) {
        packets += part.binary ? 1 : 0;
    }
    // the packet that a checksum fault spoils: the count packet, or the first data packet
    const int badPacket = fault == FAULTMODE_BAD_CHECKSUM ? 0 : fault == FAULTMODE_BAD_BINARY_CHECKSUM ? (packets > 2 ? 1 : 0) : -1;

    QByteArray out;
    bool firstText = true;
    int packet = 0;
    for (const CommandProcessor::ReplyPart_t& part : reply.parts) {
        if (part.binary) {
            out += FrameCodec::binaryPacket(part.field1, part.field2, part.payload, packet == badPacket);
            ++packet;
            continue;
        }
        QString mnemonic = part.mnemonic;
        bool corrupt = false;
        if (firstText) {
            if (fault == FAULTMODE_UNRELATED_MNEMONIC) {
                mnemonic = mnemonic == QLatin1String("TEST") ? QStringLiteral("LIG") : QStringLiteral("TEST");
            }
            corrupt = fault == FAULTMODE_BAD_CHECKSUM || fault == FAULTMODE_BAD_BINARY_CHECKSUM;
        }
        QByteArray frame = FrameCodec::frame(mnemonic, part.params, corrupt);
        if (firstText && fault == FAULTMODE_UNTERMINATED_LINE) {
            frame.chop(2);
            out += frame;
            break;
        }
        firstText = false;
        out += frame;
    }
    if (fault == FAULTMODE_TRUNCATED_BINARY) {
        out.truncate(out.size() / 2);
    }
    return out;
}

void DfrSimulator::deliver(const QByteArray& bytes, int delayMs)
{
    // Replies leave in the order of their requests, whatever their delays.
    pending.append({QDeadlineTimer(std::max(0, delayMs)), bytes});
    releasePending();
}

void DfrSimulator::releasePending()
{
    while (!pending.isEmpty() && pending.first().due.hasExpired()) {
        queueOutput(pending.takeFirst().bytes);
    }
    if (!pending.isEmpty()) {
        pendingTimer->start(static_cast<int>(std::max<qint64>(0, pending.first().due.remainingTime())));
    }
}

void DfrSimulator::sendRaw(const QByteArray& bytes)
{
    deliver(bytes, 0);
}

void DfrSimulator::queueOutput(const QByteArray& bytes)
{
    if (!isOpen() || bytes.isEmpty()) {
        return;
    }
    outQueue += bytes;
    emit outputQueued(bytes);
    if (!throttleTimer->isActive()) {
        pumpOutput();
    }
}

void DfrSimulator::pumpOutput()
{
    while (isOpen() && !outQueue.isEmpty()) {
        int size = throttleBytes > 0 ? std::min<int>(throttleBytes, outQueue.size()) : outQueue.size();
        if (pacingBaud > 0) {
            // A budget from the time the line went busy, so that timer slack does not slow it down.
            if (!pacingClock.isValid()) {
                pacingClock.start();
            }
            const qint64 allowed = pacingClock.elapsed() * pacingBaud / 10000 - pacedBytes;
            if (allowed <= 0) {
                writeNotifier->setEnabled(false);
                throttleTimer->start(pacingTickMs);
                return;
            }
            size = static_cast<int>(std::min<qint64>(size, allowed));
        }
        const ssize_t n = ::write(masterFd, outQueue.constData(), static_cast<size_t>(size));
        if (n > 0) {
            outQueue.remove(0, static_cast<int>(n));
            sentTotal += n;
            if (pacingBaud > 0) {
                pacedBytes += n;
                if (outQueue.isEmpty()) {
                    pacedBytes = 0;  // idle: the next reply starts a fresh budget
                    pacingClock.invalidate();
                }
                continue;
            }
            stalledSince.invalidate();
            if (throttleBytes > 0 && !outQueue.isEmpty()) {
                writeNotifier->setEnabled(false);
                throttleTimer->start(throttleIntervalMs);
                return;
            }
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!stalledSince.isValid()) {
                stalledSince.start();
            }
            writeNotifier->setEnabled(true);
            return;
        }
        outQueue.clear();
    }
    if (writeNotifier) {
        writeNotifier->setEnabled(false);
    }
}

bool DfrSimulator::sendBeacon(BeaconBuilder::BeaconMessage_t message)
{
    if (!message.time.isValid()) {
        message.time = deviceState.clock();
    }
    if (deviceState.mode != DeviceState::MODE_APP) {
        return false;
    }
    if (recordBeacons) {
        recordInFlash(message);
    }
    return transmitBeacon(message);
}

bool DfrSimulator::transmitBeacon(const BeaconBuilder::BeaconMessage_t& message)
{
    if (!isOpen() || !liveReception || deviceState.mode != DeviceState::MODE_APP) {
        return false;
    }
    queueOutput(BeaconBuilder::line(message, deviceState.generation, legacyBeaconChecksum));
    return true;
}

void DfrSimulator::recordInFlash(const BeaconBuilder::BeaconMessage_t& message)
{
    if (deviceState.generation == DeviceState::GENERATION_V1) {
        if (message.slotIndex >= 0 && message.slotIndex < deviceState.flashAreas.size()) {
            deviceState.flashAreas[message.slotIndex] += BeaconBuilder::flashRecordV1(message);
        }
        return;
    }
    const QByteArray record = BeaconBuilder::flashRecordV2(message, deviceState.wideFlashIdentifiers());
    if (static_cast<quint64>(deviceState.flashImage.size() + record.size()) <= deviceState.flashCapacity) {
        deviceState.flashImage += record;
    }
}

void DfrSimulator::setSearchScenario(const SearchScenario::Config_t& config)
{
    search = std::make_unique<SearchScenario>(config, deviceState);
    if (recordBeacons) {
        for (const BeaconBuilder::BeaconMessage_t& message : search->pastBeacons(deviceState.clock())) {
            recordInFlash(message);
        }
    }
    searchClock.start();
    search->moveReceiver(deviceState, 0.0);
    if (config.beaconPeriodMs > 0) {
        searchTimer->start(config.beaconPeriodMs);
    } else {
        searchTimer->stop();
    }
}

void DfrSimulator::periodicBeacon()
{
    if (deviceState.mode != DeviceState::MODE_APP) {
        return;
    }
    const double seconds = searchSeconds();
    if (search) {
        search->moveReceiver(deviceState, seconds);
    }
    BeaconBuilder::BeaconMessage_t message = generator.next(deviceState.clock());
    if (search && message.slotIndex == search->slot()) {
        search->dress(message, seconds);
    }
    heard(message);
}

void DfrSimulator::searchBeacon()
{
    if (deviceState.mode != DeviceState::MODE_APP || !search) {
        return;
    }
    const double seconds = searchSeconds();
    search->steer(seconds);
    search->moveReceiver(deviceState, seconds);
    heard(search->beacon(seconds, deviceState.clock()));
}

void DfrSimulator::heard(const BeaconBuilder::BeaconMessage_t& message)
{
    if (stalledSince.isValid() && stalledSince.elapsed() > stalledOutputDropMs && slaveFd >= 0) {
        // Nobody reads the line: what was sent is lost, as on a real wire.
        ::tcflush(slaveFd, TCIFLUSH);
        outQueue.clear();
        stalledSince.invalidate();
        writeNotifier->setEnabled(false);
    }
    if (recordBeacons) {
        recordInFlash(message);
    }
    const bool flashReadRecently = lastFlashRead.isValid() && lastFlashRead.elapsed() < flashReadBeaconHoldMs;
    if (pending.isEmpty() && !flashReadRecently) {
        transmitBeacon(message);
    }
}

} // namespace Vantrel::Sim
