#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QTimer>

#include <optional>

#include "inhouse/DateTime.h"
#include "inhouse/Exception.h"
#include "utils/GpsFormat.h"

namespace Vantrel::Com {

class UartLink;

// The one object through which the user interface talks to a connected receiver.
class DfrLink : public QObject
{
    Q_OBJECT
public:
    // Every enumeration has a fixed 32-bit type: values read from the receiver
    // may lie outside the named keys and must still be representable.
    enum DfrVersion_t : qint32 { DFR_UNDEFINEDVERSION = 0, DFR_V1, DFR_V2 };
    Q_ENUM(DfrVersion_t)

    enum DfrMode_t : qint32 { DFR_UNDEFINEDMODE = 0, DFR_BL, DFR_APP };
    Q_ENUM(DfrMode_t)

    enum OrvanBand_t : qint32 {
        ORVANBAND_EESS3 = 0, ORVANBAND_EESS4_1, ORVANBAND_EESS4_2, ORVANBAND_MSS,
        ORVANBAND_EESS1_1, ORVANBAND_EESS1_2, ORVANBAND_EESS1_3,
        ORVANBAND_EESS2_1, ORVANBAND_EESS2_2, ORVANBAND_EESS2_3, ORVANBAND_INVALID
    };
    Q_ENUM(OrvanBand_t)

    enum CoordType_t : qint32 { COORDTYPE_DEG = 0, COORDTYPE_DEGMINSEC, COORDTYPE_DEGSEC };
    Q_ENUM(CoordType_t)

    // The misspelling is the receiver documentation's and stays.
    enum DistType_t : qint32 { DISTTYPE_KM = 0, DISTTYPE_MILES, DISTTYPE_NATUICALMILES };
    Q_ENUM(DistType_t)

    enum DirectionMode_t : qint32 { DIRECTIONMODE_Goniometry = 0, DIRECTIONMODE_MSG_decoding };
    Q_ENUM(DirectionMode_t)

    enum AntennaPosition_t : qint32 { ANTENNAPOSITION_Up = 0, ANTENNAPOSITION_Down };
    Q_ENUM(AntennaPosition_t)

    enum AntennaType_t : qint32 { ANTENNATYPE_PLX500 = 0, ANTENNATYPE_Passive, ANTENNATYPE_PLX500_Extended };
    Q_ENUM(AntennaType_t)

    enum CompassMode_t : qint32 { COMPASSMODE_Fixed = 0, COMPASSMODE_Compass, COMPASSMODE_Auto, COMPASSMODE_Undefined };
    Q_ENUM(CompassMode_t)

    enum OrvanModulation_t : qint32 {
        ORVANMODULATION_A2 = 0, ORVANMODULATION_A3, ORVANMODULATION_A4, ORVANMODULATION_LDK, ORVANMODULATION_INVALID
    };
    Q_ENUM(OrvanModulation_t)

    enum PlatformIdType_t : qint32 {
        PLATFORMIDTYPE_20BITS = 0, PLATFORMIDTYPE_28BITS, PLATFORMIDTYPE_32BITS, PLATFORMIDTYPE_UNDEFINED
    };
    Q_ENUM(PlatformIdType_t)

    enum OrvanFrequencyMode_t : qint32 { FREQUENCYMODE_NARROW = 0, FREQUENCYMODE_WIDE, FREQUENCYMODE_INVALID };
    Q_ENUM(OrvanFrequencyMode_t)

    enum DfrCmd_t : qint32 {
        CMD_KEEPALIVE_INTERNAL = 0, CMD_TEST, CMD_SETUPSW, CMD_SETUPHW, CMD_IP, CMD_LIG, CMD_RFP, CMD_DFP,
        CMD_GSN, CMD_SUA, CMD_IFP, CMD_SFG, CMD_GFG, CMD_ATBL, CMD_ERRF, CMD_WRDA, CMD_WRSC, CMD_REBO
    };
    Q_ENUM(DfrCmd_t)

    enum DfrMessageType_t : qint32 { DFRMSG_NPR = 0, DFRMSG_NPRF };
    Q_ENUM(DfrMessageType_t)

    enum RxOrigin_t : qint32 { RXORIGIN_LIVE = 0, RXORIGIN_FLASH };
    Q_ENUM(RxOrigin_t)

    // Versions, serial number, mode and live status of the connected receiver.
    struct DfrVersionsAndStatus_t
    {
        DfrVersion_t dfrVersion = DFR_UNDEFINEDVERSION;
        QString serialNumberPart1;
        QString serialNumberPart2;
        DfrMode_t mode = DFR_UNDEFINEDMODE;
        QString bootloaderVersion;
        QString applicationVersion;
        QString fpgaVersion;
        bool gpsValid = false;
        double latitude = 0.0;   // degrees
        double longitude = 0.0;  // degrees
        bool directionValid = false;
        quint32 direction = 0;   // degrees
        double voltage = 0.0;    // volts
        quint32 temperature = 0; // degrees Celsius
        OrvanBand_t band = ORVANBAND_EESS3;
    };

    struct SetupSoftware_t
    {
        bool audio = false;
        bool backlight = false;
        quint16 contrast = 0;
        bool gpsAcquisition = false;
        CoordType_t coordType = COORDTYPE_DEG;
        DistType_t distType = DISTTYPE_KM;
        quint16 directionOffset = 0;  // degrees
        Tarsk::Utils::DateTime dateTime;  // UTC, to the minute
        OrvanBand_t band = ORVANBAND_EESS3;  // second generation only
        bool allToFavorites = false;          // second generation only
    };

    struct SetupHardware_t
    {
        DirectionMode_t directionMode = DIRECTIONMODE_Goniometry;
        AntennaPosition_t antennaPosition = ANTENNAPOSITION_Up;
        qint32 cableLength = 0;
        AntennaType_t antennaType = ANTENNATYPE_PLX500;
        CompassMode_t compassMode = COMPASSMODE_Fixed;
        QString declination;  // kept as the receiver writes it
        bool proximityMode = false;  // second generation only
    };

    // One favourite platform slot of the receiver.
    struct PlatformInfo_t
    {
        qint32 index = 0;
        bool occupied = false;
        quint32 platformIdType = 0;  // as the receiver reports it: 1, 2 or 3
        QString platformId;
        QString label;
        bool gpsModeEnabled = false;
        Utils::GpsFormat_t gpsFormat;
        qint32 repetitionPeriod = 0;
        OrvanBand_t band = ORVANBAND_EESS3;
        OrvanModulation_t modulation = ORVANMODULATION_A2;
        OrvanFrequencyMode_t frequencyMode = FREQUENCYMODE_INVALID;
        quint32 narrowFrequencyHz = 0;
        quint32 meanDirectionValues = 0;
    };

    // One slot of the receiver's GPS format bank; the description is not stored there.
    struct GpsFormatInfo_t
    {
        qint32 index = 0;
        bool occupied = false;
        Utils::GpsFormat_t gpsFormat;
    };

    // One beacon message, heard live or read back from flash. A value-initialised
    // record is all zero; the parsers set the "none" markers (-1) themselves.
    struct OrvanRxMessage_t
    {
        qint32 platformSlotIndex = 0;
        Tarsk::Utils::DateTime dateTime;
        QString platformId;
        quint32 frequencyHz = 0;
        bool dfrDirectionValid = false;
        bool dfrPositionValid = false;
        bool periodValid = false;
        bool crcOk = false;
        quint32 direction = 0;
        quint32 meanDirection = 0;
        OrvanBand_t band = ORVANBAND_EESS3;
        OrvanModulation_t modulation = ORVANMODULATION_A2;
        qint32 level = 0;  // dBm; 1 to 4 are range codes
        quint32 period = 0;
        double dfrLongitude = 0.0;
        double dfrLatitude = 0.0;
        quint32 dfrDirection = 0;
        QByteArray rawPayload;
        QByteArray payload;
        qint32 flashPosition = 0;
    };

    explicit DfrLink(QObject* parent = nullptr);
    ~DfrLink() override;

    // Link management. An empty port name only releases the current link.
    void setUartLink(const QString& portName);
    void unsetUartLink();
    QString portName() const;
    bool hasUartLink() const { return uartLink != nullptr; }
    // The current link, null when none. It lives in the worker thread: from here
    // only its thread-safe accessors may be used.
    const UartLink* currentUartLink() const { return uartLink; }
    void interruptRequest();
    void setLiveRxEnabled(bool enabled);

    quint32 nbIpSlots() const;
    quint32 nbGpsFormatSlots() const;
    static QString orvanModulationToString(OrvanModulation_t modulation);

    DfrVersionsAndStatus_t getDfrVersionsAndStatus();
    // 0, 1 or 2 for an application version text such as "2.3".
    static quint32 firmwareLevelOf(const QString& applicationVersion);

    SetupSoftware_t getSetupSoftware();
    void setSetupSoftware(SetupSoftware_t setup);
    void setSetupTime(const Tarsk::Utils::DateTime& dateTime);
    SetupHardware_t getSetupHardware();
    void setSetupHardware(const SetupHardware_t& setup);

    // Reads one favourite platform slot, also while a script is being recorded.
    PlatformInfo_t getPlatformInfo(quint32 index);
    void createPlatformInfo(quint32 index);
    void deletePlatformInfo(quint32 index);
    // With recreate the slot is emptied first; nothing is sent when the record
    // cannot be written (checkPlatformInfo).
    void setPlatformInfo(const PlatformInfo_t& info, bool recreate);
    // Throws the reason why the receiver cannot store the record.
    static void checkPlatformInfo(const PlatformInfo_t& info);

    // GPS format bank, second generation only.
    GpsFormatInfo_t getGpsFormatInfo(quint32 index);
    void setGpsFormatInfo(const GpsFormatInfo_t& info);
    static void checkGpsFormatInfo(const GpsFormatInfo_t& info);

    // Whether a text can travel as one value of a frame: no separator, no frame
    // marker, no control character, nothing outside Latin-1.
    static bool isFrameText(const QString& text);
    // 5, 7 or 8 hexadecimal digits: the three identifier widths. The receiver
    // refuses any other, and a refused recreate would leave the slot empty.
    static bool isPlatformId(const QString& id);

    // Application <-> bootloader. The receiver restarts; the caller drops the link.
    void switchMode();
    // Flashes the image lines (header removed); the receiver must be in its bootloader.
    // sigFirmwareProgress follows every line written.
    void updateFirmware(const QList<QByteArray>& lines);
    // A typed line: a known command goes through the request engine, anything else raw.
    // The reply's values when the line went as a request; nothing when it went out raw.
    std::optional<QStringList> sendManualDfrCmd(const QString& userCmd);
    // How a typed line is read: a known command with its parameters, or raw text.
    // Why a line cannot be a command goes to the log as warnings.
    struct ManualCommand_t
    {
        bool known = false;
        DfrCmd_t command = CMD_TEST;
        QStringList parameters;
    };
    static ManualCommand_t parseManualCommand(const QString& userCmd);

    // While on, requests are recorded as frames instead of being sent.
    void startNoSendCommandMode();
    QStringList stopNoSendCommandMode();
    bool isNoSendCommandMode() const { return noSendCommandMode; }
    // A request is on its way or its wait is turning the event loop.
    bool isBusy() const { return waitingReply || inEventLoop; }

    // How the wait for one request ended.
    enum ReplyStatus_t : qint32 { REPLY_RECEIVED = 0, REPLY_ERROR, REPLY_LINK_LOST };

    // What one request received; every request starts from an empty one.
    struct Reply_t
    {
        ReplyStatus_t status = REPLY_RECEIVED;
        QStringList values;  // fields of a good reply
        QByteArray data;     // binary flash data of a good reply
        QString message;     // the error text, unless a reply came
        Tarsk::Utils::Exception::Kind_t kind = Tarsk::Utils::Exception::KIND_GENERAL;  // of that error
    };

    // Request engine shared by every device operation: each hands back the reply
    // of its own request and throws any failure.
    void checkConnectionReady();
    Reply_t sendBlockingRequest(Vantrel::Com::DfrLink::DfrCmd_t cmd, const QStringList& params = {});
    // Pads the parameters to nbParams and checks the reply's value count.
    Reply_t sendGetDfrCmd(Vantrel::Com::DfrLink::DfrCmd_t cmd, int nbParams, QStringList params = {},
                          QList<int> expectedReplyCounts = {});

    // Flash memory. A second-generation read goes in chunks; a chunk that fails
    // its checksum or times out is asked again, up to flashChunkAttempts times.
    static constexpr qint64 flashChunkBytes = 16384;
    static constexpr int flashChunkAttempts = 3;
    QByteArray readFlashMemoryDfrV1(quint32 slot);
    void eraseFlashMemoryDfrV1(quint32 slot);
    void eraseFlashMemoryDfrV2();
    QByteArray readFlashMemoryDfrV2();
    // Asks a running read to stop after its current chunk; it then returns what it has.
    void cancelFlashRead() { flashReadCancelRequested = true; }
    bool flashReadWasCancelled() const { return flashReadCancelled; }
    // The chunks a second-generation read had got before it failed.
    QByteArray flashReadBeforeFailure() const { return flashReadPartial; }
    // While set, waits also deliver user input: only for a modal dialog of the operation.
    void setUserInputWhileWaiting(bool allowed) { userInputWhileWaiting = allowed; }

    // Renders any message as the NPR or NPRF line of the configured format, "$" to checksum.
    QString orvanRxMessageToNprFormat(const OrvanRxMessage_t& message) const;

    // Stands in for getDfrVersionsAndStatus where no receiver is at hand (message parsing and rendering).
    void setReceiverForTesting(DfrVersion_t version, quint32 level);

Q_SIGNALS:
    void sigOpenConnection();
    void sigSetLiveRxEnabled(bool enabled);
    void sigSendRequest(Vantrel::Com::DfrLink::DfrCmd_t cmd, const QStringList& params,
                        Vantrel::Com::DfrLink::DfrVersion_t dfrVersion);
    void sigSendManualDfrCmd(const QString& userCmd);
    void sigCloseConnection();
    void sigLinkCompromised(const QString& portName, const QString& message, Tarsk::Utils::Exception::Kind_t kind);
    void sigOrvanMessageReceived(const Vantrel::Com::DfrLink::OrvanRxMessage_t& message,
                                 Vantrel::Com::DfrLink::RxOrigin_t origin);
    void sigUartLinkStatusChanged(const QString& statusString);
    // After each chunk of a flash read.
    void sigFlashReadProgress(qint64 bytesRead, qint64 bytesTotal);
    // Emitted by updateFirmware after each image line the receiver acknowledged.
    void sigFirmwareProgress(int linesWritten, int linesTotal);

public Q_SLOTS:
    void slotReplyReceived(const QStringList& replyValues, bool isError, Tarsk::Utils::Exception::Kind_t kind);
    void slotBinaryRfpDataReceived(const QByteArray& rfpData, bool isError);
    // Decodes a live NPR or NPRF frame and publishes it.
    void slotRxReceived(Vantrel::Com::DfrLink::DfrMessageType_t dfrMessageType, const QStringList& replyValues);
    void slotErrorOccured(const QString& message, Tarsk::Utils::Exception::Kind_t kind);
    void slotUartLinkStatusChanged();
    void slotTimeout();
    void slotRequestRefused(const QString& message, Tarsk::Utils::Exception::Kind_t kind);

private:
    // Signals of a released link may still be queued; they must not touch the current one.
    bool fromCurrentLink() const;
    void endWait(ReplyStatus_t status, const QString& message, Tarsk::Utils::Exception::Kind_t kind);
    // Ends the pending wait with a reply, good or an error text; outside a wait only logs an error.
    void replyArrived(bool isError, const QString& errorText, Tarsk::Utils::Exception::Kind_t kind);
    // A bootloader request whose acknowledgement "ACK,<mnemonic>,0" counts as a refusal:
    // the link hands that form over as a reply, and a refused image line must not pass.
    void sendBootloaderRequest(DfrCmd_t cmd, const QStringList& params = {});
    // Sends one request and waits; hands back how the wait ended instead of throwing.
    Reply_t request(DfrCmd_t cmd, const QStringList& params);

    int platformValueCount() const;
    // The platform slot requests that read a reply back; recorded only in no-send-command mode.
    void sendPlatformRequest(const QStringList& values);
    // Wire blocks of a GPS format shared by the platform and format bank commands.
    static QStringList formatBlockValues(const Utils::GpsFormat_t& format);
    static QStringList encryptionBlockValues(const Utils::GpsFormat_t& format);
    static void readFormatBlock(const QStringList& values, int first, Utils::GpsFormat_t& format);
    static void readEncryptionBlock(const QStringList& values, int first, Utils::GpsFormat_t& format);

    QThread workerThread{this};
    UartLink* uartLink = nullptr;

    // Written only by getDfrVersionsAndStatus and the link's release; read from outside below.
    DfrVersion_t receiverVersion = DFR_UNDEFINEDVERSION;
    quint32 receiverFirmwareLevel = 0;
    QString receiverSerialNumber;

public:
    const DfrVersion_t& dfrVersion = receiverVersion;
    const quint32& firmwareLevel = receiverFirmwareLevel;
    const QString& serialNumber = receiverSerialNumber;

private:
    bool waitingReply = false;
    Reply_t reply;  // of the request in flight
    bool inEventLoop = false;
    QTimer requestTimer{this};
    bool noSendCommandMode = false;
    QStringList recordedCommands;
    // Lets a wait tell that its link was replaced.
    quint64 linkGeneration = 0;
    // The first error the current link reported; empty while it reported none.
    QString linkError;
    Tarsk::Utils::Exception::Kind_t linkErrorKind = Tarsk::Utils::Exception::KIND_GENERAL;
    // Flash reads.
    bool chunkRetryAllowed = false;  // a link error now only fails this chunk
    bool chunkFailed = false;
    bool flashReadCancelRequested = false;
    bool flashReadCancelled = false;
    QByteArray flashReadPartial;
    bool userInputWhileWaiting = false;
    QByteArray readFlashChunk(qint64 start, qint64 length, qint64 keep);
};

} // namespace Vantrel::Com

Q_DECLARE_METATYPE(Vantrel::Com::DfrLink::OrvanRxMessage_t)
