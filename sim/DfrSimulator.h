#pragma once

#include "sim/BeaconBuilder.h"
#include "sim/BeaconGenerator.h"
#include "sim/CommandProcessor.h"
#include "sim/DeviceState.h"
#include "sim/SearchScenario.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QList>
#include <QMetaType>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QSocketNotifier;
class QTimer;

namespace Vantrel::Sim {

// A DFR receiver on a pseudo-terminal, for device tests and demos.
//
// The line. Requests and replies are text frames "$MNEMONIC,p1,p2*CS" ended by
// CR LF, where CS is the XOR of every byte between "$" and "*" inclusive, as
// two hex digits. A frame ends at CR LF, or at a bare LF right after the
// checksum digits, and arrives in any chunks. A frame with a bad checksum or a
// malformed frame is dropped without an answer, as the firmware does; it still
// appears in the frame log.
// A refused request (unknown mnemonic, wrong number of values, a value that is
// not a number where one is due, a slot out of range, an application command in
// the bootloader) is answered "$ACK,<mnemonic>,0".
//
// Replies (V1/V2 = first/second generation):
//   TEST    V1 "TEST,DFR,V1"; V2 application "TEST,DFR,V2,<sn1>,<sn2>,APP,<app>,<bl>,<fpga>";
//           V2 bootloader "TEST,DFR,V2,<sn1>,<sn2>,BL,<bl>"
//   GSN     V1 "VSN,<sn1>-<sn2>"; V2 "VSN,<sn1>,<sn2>"
//   LIG     flags (bit 0 GPS valid, bit 1 direction valid), latitude and longitude
//           in thousandths of a minute, direction, millivolts, degrees C,
//           satellites, HDOP x 10, altitude in metres, three reserved zeros,
//           [V2: band], application, bootloader and FPGA versions
//   SETUPSW 12/14 values, SETUPHW 6/7 values, IP 36/39 values: empty values leave
//           the setting as it is, the reply carries every value. The clock
//           (SETUPSW 7..11) runs from the time it was set; seconds restart at 0.
//           IP: occupied "0" empties the slot; "1" on a free slot starts it afresh.
//   GFG     "RFG" with the 29 values of the slot, name "NONE" when empty;
//   SFG     29 values, answered like GFG; the name "NONE" empties the slot.
//   IFP     "IFP,<first>,<last>,<capacity>": the records lie at addresses
//           first..last; first is 65536, capacity 8 MiB.
//   RFP     V1, one slot: lines "RFP,<slot>,<line from 1>,<bytes>,<hex>" of 64 bytes,
//           then "RFP,<slot>,<line>,0". V2, start and length: binary packets
//           "$RFP,<seq>,<address>," payload "*CS" CR LF: a count packet (4-byte
//           big-endian packet count N, counting the end packet), N - 1 packets of
//           128 bytes, an end packet without payload. Bytes outside the
//           records read as 0xFF, like erased flash.
//   DFP     V1 "DFP,<slot>" erases that slot's records; V2 "DFP" erases all.
//   SUA     "SUA", then the bootloader runs. REBO "REBO", then the application
//           runs unless it was erased and not sealed since.
//   ATBL "ATBL,1" unlocks; ERRF "ERRF,1" erases; WRDA "WRDA,<lines so far>"
//           records its line; WRSC "WRSC,<lines>" seals. Out of order: refused.
//   With setAcknowledgeWithAck(), TEST, ATBL, ERRF, WRDA, WRSC and REBO answer
//   "$ACK,<mnemonic>,1" instead.
//
// Beacons. While live reception is on and the application runs, heard beacons go
// out as NPR (any beacon) or NPRF (a favourite slot) lines in the layout of the
// generation. Every heard beacon is also recorded in flash, sent or not (the
// first generation keeps those of favourite slots only; setRecordBeacons()
// switches that off). On a pseudo-terminal the DTR line cannot be seen, so live
// reception starts on (a host asserts DTR when it opens the port) and
// setLiveReception() switches it. Periodic beacons come in turn from the
// occupied favourite slots, every fourth from an unknown beacon 5F00D1C; none is
// sent while a reply is pending or for 2 s after a flash read request, so they
// never cut into a binary stream. A platform with GPS mode carries its position
// at its format's bit fields; the others keep in front of their payload the
// identifier bits that the host's identifier rules cut off, and level-2 firmware
// (application 2, 2.2 and later 2.x) adds a spare "0" digit to a 28-bit
// identifier in an NPR (BeaconGenerator).
// setSearchScenario() turns one favourite into the target of a search
// (SearchScenario): from then on the receiver's status moves along the track,
// every beacon of that platform is one of the search, it beacons on its own
// period besides the periodic turn, and the flash gets the stretch before.
//
// Default identity: serial 0042-1207; V1 application 1.9, bootloader 1.2, FPGA
// 1.0; V2 application 2.2, bootloader 1.4, FPGA 3.1. Status at 48.80 N 2.30 E,
// heading 135, 3.85 V, 24 C, band EESS3. Replies go out at once
// (setReplyLatency() adds a delay), as fast as the reader takes them
// (setOutputThrottle() cuts them into timed chunks). When nobody has read the
// line for 2 s and the kernel buffer is full, pending output is discarded, as
// on a real line with nobody listening.
//
// Threads: every method runs in the object's thread (create it there, or move it
// and call start() through a queued call); deviceName() and the frame log may
// be read from any thread.
class DfrSimulator : public QObject
{
    Q_OBJECT
public:
    enum FaultMode_t {
        FAULTMODE_NONE,
        FAULTMODE_NO_REPLY,             // request swallowed, not carried out
        FAULTMODE_DELAYED_REPLY,        // carried out, answered after faultDelay()
        FAULTMODE_BAD_CHECKSUM,         // first text frame (or the count packet) mis-summed
        FAULTMODE_UNRELATED_MNEMONIC,   // first text frame under another mnemonic
        FAULTMODE_ACK_ERROR,            // "$ACK,<mnemonic>,0", not carried out
        FAULTMODE_GARBAGE,              // a line of binary noise instead of the reply
        FAULTMODE_UNTERMINATED_LINE,    // first text frame without CR LF, nothing after it
        FAULTMODE_TRUNCATED_BINARY,     // only the first half of the reply's bytes
        FAULTMODE_BAD_BINARY_CHECKSUM,  // first data packet (or first text frame) mis-summed
        FAULTMODE_UNPLUG,               // the line is closed instead of answered
    };
    Q_ENUM(FaultMode_t)

    struct ReceivedFrame_t
    {
        QByteArray line;          // as received, without CR LF
        QString mnemonic;
        QStringList params;
        bool wellFormed = false;
        bool checksumOk = false;
        qint64 elapsedMs = 0;     // since the simulator was created
    };

    static constexpr int flashReadBeaconHoldMs = 2000;
    static constexpr int stalledOutputDropMs = 2000;

    explicit DfrSimulator(DeviceState::Profile_t profile = DeviceState::PROFILE_DFR_V2_APP,
                          QObject* parent = nullptr);
    ~DfrSimulator() override;

    DeviceState& state() { return deviceState; }
    const DeviceState& state() const { return deviceState; }

    // Opens a new pseudo-terminal; false with errorString() when that fails.
    Q_INVOKABLE bool start();
    // Closes it quietly; unplug() closes it and emits unplugged().
    Q_INVOKABLE void stop();
    Q_INVOKABLE void unplug();
    bool isOpen() const;
    QString deviceName() const;  // e.g. "/dev/pts/5"; empty while closed
    QString errorString() const { return lastError; }

    Q_INVOKABLE void setLiveReception(bool enabled) { liveReception = enabled; }
    bool isLiveReceptionOn() const { return liveReception; }
    Q_INVOKABLE void setBeaconPeriod(int ms);  // 0 stops the periodic beacons
    // Stores the beacon in flash (unless switched off) and, when live reception is
    // on and the application runs, sends its line now. An invalid time takes the
    // receiver's clock. True when the line was sent.
    bool sendBeacon(BeaconBuilder::BeaconMessage_t message);
    // Starts a search now, replacing any running one; its time counts from this call.
    void setSearchScenario(const SearchScenario::Config_t& config);
    const SearchScenario* searchScenario() const { return search.get(); }
    void setRecordBeacons(bool enabled) { recordBeacons = enabled; }
    void setLegacyBeaconChecksum(bool enabled) { legacyBeaconChecksum = enabled; }
    // Writes bytes as they are, after any pending reply.
    void sendRaw(const QByteArray& bytes);

    void setAcknowledgeWithAck(bool enabled) { processor.setAcknowledgeWithAck(enabled); }
    void setReplyLatency(int ms) { replyLatencyMs = ms; }
    void setOutputThrottle(int bytesPerChunk, int intervalMs);
    // Sends no faster than a serial line of that many baud (10 bits a byte); 0: no limit.
    void setLinePacing(int baud);
    // Bytes written to the line so far.
    qint64 bytesSent() const { return sentTotal; }

    // A fault for the next `count` requests of that mnemonic (any request when
    // empty); frames that fail their checksum do not count. Rules are tried in
    // the order given.
    void injectFault(FaultMode_t mode, const QString& mnemonic = QString(), int count = 1);
    void setPersistentFault(FaultMode_t mode, const QString& mnemonic = QString());
    void clearFaults();
    void setFaultDelay(int ms) { faultDelayMs = ms; }
    int faultDelay() const { return faultDelayMs; }

    QList<ReceivedFrame_t> receivedFrames() const;
    QStringList receivedMnemonics() const;  // well-formed frames only, in order
    int receivedCount(const QString& mnemonic) const;
    void clearReceivedFrames();

Q_SIGNALS:
    void frameReceived(const Vantrel::Sim::DfrSimulator::ReceivedFrame_t& frame);
    void outputQueued(const QByteArray& bytes);
    void unplugged();

private:
    struct FaultRule_t
    {
        FaultMode_t mode;
        QString mnemonic;
        int remaining;  // -1: until cleared
    };
    struct PendingOutput_t
    {
        QDeadlineTimer due;
        QByteArray bytes;
    };

    void closePty();
    void onReadable();
    void extractFrames();
    void handleLine(const QByteArray& line);
    FaultMode_t takeFault(const QString& mnemonic);
    QByteArray render(const CommandProcessor::Reply_t& reply, FaultMode_t fault) const;
    void deliver(const QByteArray& bytes, int delayMs);
    void releasePending();
    void queueOutput(const QByteArray& bytes);
    void pumpOutput();
    void periodicBeacon();
    void searchBeacon();
    void heard(const BeaconBuilder::BeaconMessage_t& message);
    double searchSeconds() const { return searchClock.isValid() ? searchClock.elapsed() / 1000.0 : 0.0; }
    void recordInFlash(const BeaconBuilder::BeaconMessage_t& message);
    bool transmitBeacon(const BeaconBuilder::BeaconMessage_t& message);

    DeviceState deviceState;
    CommandProcessor processor;
    BeaconGenerator generator;

    int masterFd = -1;
    int slaveFd = -1;  // kept open so that the line never hangs up between clients
    QSocketNotifier* readNotifier = nullptr;
    QSocketNotifier* writeNotifier = nullptr;
    QByteArray inBuffer;
    int scanFrom = 0;
    QByteArray outQueue;
    QList<PendingOutput_t> pending;
    QTimer* pendingTimer;
    QTimer* throttleTimer;
    QTimer* beaconTimer;
    QTimer* searchTimer;
    std::unique_ptr<SearchScenario> search;
    QElapsedTimer searchClock;
    QElapsedTimer stalledSince;
    QElapsedTimer lastFlashRead;
    QElapsedTimer sinceCreation;
    QString lastError;

    bool liveReception = true;
    bool recordBeacons = true;
    bool legacyBeaconChecksum = false;
    int replyLatencyMs = 0;
    int faultDelayMs = 2000;
    int throttleBytes = 0;
    int throttleIntervalMs = 0;
    int pacingBaud = 0;
    QElapsedTimer pacingClock;   // since the line went busy
    qint64 pacedBytes = 0;       // sent since then
    qint64 sentTotal = 0;
    QList<FaultRule_t> faults;

    mutable QMutex shared;  // guards name and frameLog
    QString name;
    QList<ReceivedFrame_t> frameLog;
};

} // namespace Vantrel::Sim

Q_DECLARE_METATYPE(Vantrel::Sim::DfrSimulator::ReceivedFrame_t)
