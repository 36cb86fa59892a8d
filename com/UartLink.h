#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <optional>

#include "com/DfrLink.h"
#include "inhouse/Exception.h"

namespace Vantrel::Com {

// Owns the serial port of one connected receiver. Lives in DfrLink's worker
// thread and is reached only through queued signals; it never waits itself.
class UartLink : public QObject
{
    Q_OBJECT
public:
    enum LinkStatus_t {
        UART_INIT = 0,
        UART_WAITING_REPLY,
        UART_WAITING_RFP_REPLY,
        UART_WAITING_RFP_BINARY_REPLY,
        UART_READY,
        UART_ERROR_TIMEOUT
    };
    Q_ENUM(LinkStatus_t)

    // Reassembly state of a binary flash-data stream.
    struct RfpBinaryReaderState_t
    {
        QString header;
        QByteArray buffer;
        QByteArray rfpData;
        QByteArray block;
        bool countKnown = false;
        qint32 remaining = -1;
        bool headerRead = false;
        bool blockRead = false;
        qint64 skipped = 0;  // bytes before a packet start, not yet reported
    };

    // portName is used to open ports that the system enumeration does not list
    // (pseudo-terminals of simulated receivers), for which portInfo is empty.
    explicit UartLink(const QSerialPortInfo& portInfo, const QString& portName = QString());
    ~UartLink() override;

    QString portName() const { return name; }

    // Safe to read from any thread: written only by the link's own thread.
    LinkStatus_t status() const { return linkStatus.load(); }

    // Frame helpers, usable from any thread.
    static int computeChecksum(const QString& text);
    static int computeBinaryChecksum(const QByteArray& data);
    static QString createPayload(const QString& name, const QStringList& params);
    static QString createCommand(DfrLink::DfrCmd_t cmd, const QStringList& params, QString* cmdName = nullptr);

public Q_SLOTS:
    void slotOpenConnection();
    void slotSetLiveRxEnabled(bool enabled);
    void slotSendRequest(Vantrel::Com::DfrLink::DfrCmd_t dfrCmd, const QStringList& params = {},
                         Vantrel::Com::DfrLink::DfrVersion_t dfrVersion = DfrLink::DFR_UNDEFINEDVERSION);
    void slotSendManualDfrCmd(const QString& userCmd);
    void slotCloseConnection();

Q_SIGNALS:
    // An error reply comes as its text, with the kind of failure it is.
    void sigReplyReceived(const QStringList& replyValues, bool isError, Tarsk::Utils::Exception::Kind_t kind);
    void sigBinaryRfpDataReceived(const QByteArray& rfpData, bool isError);
    void sigRxReceived(Vantrel::Com::DfrLink::DfrMessageType_t dfrMessageType, const QStringList& replyValues);
    void sigErrorOccured(const QString& message, Tarsk::Utils::Exception::Kind_t kind);
    void sigStatusChanged();
    // A request that is not written: the link is not ready, another request already
    // waits for the keep-alive in progress, or that keep-alive failed. The waiting
    // operation fails with the text.
    void sigRequestRefused(const QString& message, Tarsk::Utils::Exception::Kind_t kind);

protected Q_SLOTS:
    virtual void slotKeepAlive();
    void slotReadyRead();
    void slotTimeout();

private:
    // The fuzz harness drives the line reader without a port.
    friend class UartLinkFuzzProbe;

    // A receiver streaming without line feeds must not grow memory without
    // limit; far above the longest legal frame.
    static constexpr int maxLineBytes = 64 * 1024;
    // Silence that ends the remains of a failed binary stream.
    static constexpr int rfpDrainQuietMs = 250;

    // A request that arrived while the link's own keep-alive was answered.
    struct HeldRequest_t
    {
        DfrLink::DfrCmd_t cmd;
        QStringList params;
        DfrLink::DfrVersion_t version;
    };

    void changeStatus(LinkStatus_t newStatus);
    void startTimeoutTimer();
    void keepWaiting(LinkStatus_t waitingStatus);
    void refuseRequest();
    // The line reader behind slotReadyRead: bytes as the port delivered them.
    void consumeBytes(const QByteArray& bytes);
    void processLine(QByteArray raw);
    void releaseHeldRequest(bool exchangeEnded);
    void emitReplyError(const QString& text, Tarsk::Utils::Exception::Kind_t kind = Tarsk::Utils::Exception::KIND_REFUSED);
    // Why the port did not open: held by another program, or anything else.
    Tarsk::Utils::Exception::Kind_t openFailureKind() const;
    bool extractReplyParams(const QString& message, QString* replyName, QStringList* params);
    void decodeMessage(const QString& message);
    void decodeAsynchronousMessage(const QString& message);
    void deliverAsynchronous(const QString& message, const QString& replyName, const QStringList& params);
    void readRpfBinaryData(const QByteArray& data);
    void reportSkippedRfpBytes();

    QSerialPortInfo portInfo;
    QString name;
    std::atomic<LinkStatus_t> linkStatus{UART_INIT};
    QSerialPort serialPort;
    QTimer keepAliveTimer;
    QTimer timeoutTimer;
    DfrLink::DfrCmd_t currentCmd = DfrLink::CMD_KEEPALIVE_INTERNAL;
    QString currentCmdName;
    RfpBinaryReaderState_t rfpReader;

    std::optional<HeldRequest_t> heldRequest;
    QByteArray lineBuffer;          // bytes of lines not yet complete
    bool discardingLine = false;    // skipping the rest of an overlong line up to its LF
    bool exchangeFailed = false;    // the line just handled ended its exchange with an error
    bool rfpStreamFailed = false;   // a packet failed its checksum: the rest of the stream is ignored
};

} // namespace Vantrel::Com
