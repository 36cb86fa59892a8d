#include "com/UartLink.h"

#include <QFile>
#include <QMetaType>
#include <QtDebug>
#include <utility>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

#include "com/CrossThread.h"
#include "inhouse/Exception.h"
#include "utils/EnumText.h"
#include "utils/Settings.h"

namespace Vantrel::Com {

namespace {

Utils::Settings& settings()
{
    return *Utils::Settings::instance();
}

} // namespace

UartLink::UartLink(const QSerialPortInfo& portInfo, const QString& portName)
    : QObject(nullptr)
    , portInfo(portInfo)
    , name(portName.isEmpty() ? portInfo.portName() : portName)
    , serialPort(this)
    , keepAliveTimer(this)
    , timeoutTimer(this)
{
    keepAliveTimer.setSingleShot(true);
    timeoutTimer.setSingleShot(true);
    connect(&keepAliveTimer, &QTimer::timeout, this, &UartLink::slotKeepAlive);
    connect(&timeoutTimer, &QTimer::timeout, this, &UartLink::slotTimeout);

    qRegisterMetaType<DfrLink::DfrCmd_t>("DfrLink::DfrCmd_t");
    qRegisterMetaType<DfrLink::DfrVersion_t>("DfrLink::DfrVersion_t");
    qRegisterMetaType<DfrLink::DfrMessageType_t>("DfrLink::DfrMessageType_t");
}

UartLink::~UartLink()
{
    takeOverForDelete();
    slotCloseConnection();
}

void UartLink::slotOpenConnection()
{
    // Pseudo-terminals are not enumerated by the system, so they only come by name.
    if (portInfo.isNull()) {
        serialPort.setPortName(name);
    } else {
        serialPort.setPort(portInfo);
    }
    serialPort.setBaudRate(QSerialPort::Baud115200, QSerialPort::AllDirections);
    if (!serialPort.open(QIODevice::ReadWrite)) {
        emit sigErrorOccured(QStringLiteral("Port %1 cannot be open (error %2)")
                                 .arg(name, Utils::EnumText::name(serialPort.error())),
                             openFailureKind());
        return;
    }

    serialPort.clear(QSerialPort::AllDirections);
    serialPort.clearError();
    lineBuffer.clear();
    discardingLine = false;
    slotSetLiveRxEnabled(true);
    connect(&serialPort, &QSerialPort::readyRead, this, &UartLink::slotReadyRead, Qt::UniqueConnection);
    changeStatus(UART_READY);
    slotKeepAlive();
}

Tarsk::Utils::Exception::Kind_t UartLink::openFailureKind() const
{
    if (serialPort.error() != QSerialPort::PermissionError) {
        return Tarsk::Utils::Exception::KIND_LINK_LOST;
    }
#if defined(Q_OS_UNIX)
    // A port we may not open at all is a matter of rights, not of another program.
    const QString path = name.startsWith(QLatin1Char('/')) ? name : QStringLiteral("/dev/") + name;
    if (::access(QFile::encodeName(path).constData(), R_OK | W_OK) != 0) {
        return Tarsk::Utils::Exception::KIND_LINK_LOST;
    }
#endif
    return Tarsk::Utils::Exception::KIND_PORT_IN_USE;
}

void UartLink::slotSetLiveRxEnabled(bool enabled)
{
    if (!serialPort.isOpen()) {
        return;
    }
    // A pseudo-terminal has no modem lines: the port works on without DTR. Wine
    // maps a COM port onto one and refuses the line with ERROR_NOT_SUPPORTED,
    // which Qt reports as an unknown error.
    if (!serialPort.setDataTerminalReady(enabled)) {
        const QSerialPort::SerialPortError error = serialPort.error();
#if defined(Q_OS_WIN)
        const bool noLine = error == QSerialPort::UnsupportedOperationError || error == QSerialPort::UnknownError;
#else
        const bool noLine = error == QSerialPort::UnsupportedOperationError;
#endif
        if (noLine) {
            serialPort.clearError();
        }
    }
}

void UartLink::slotSendRequest(DfrLink::DfrCmd_t dfrCmd, const QStringList& params, DfrLink::DfrVersion_t dfrVersion)
{
    if (linkStatus != UART_READY) {
        // The keep-alive is the link's own business: one that finds the link busy just skips its turn.
        if (dfrCmd == DfrLink::CMD_KEEPALIVE_INTERNAL) {
            return;
        }
        // DfrLink only sees READY through a queued signal, so its request may cross
        // a keep-alive that started meanwhile: that one is served right after it.
        if (linkStatus == UART_WAITING_REPLY && currentCmd == DfrLink::CMD_KEEPALIVE_INTERNAL && !heldRequest) {
            heldRequest = HeldRequest_t{dfrCmd, params, dfrVersion};
            return;
        }
        refuseRequest();
        return;
    }

    currentCmd = dfrCmd;
    const QString text = createCommand(dfrCmd, params, &currentCmdName);
    if (dfrCmd == DfrLink::CMD_RFP) {
        rfpReader.header.clear();
        rfpReader.buffer.clear();
        rfpReader.rfpData.clear();
        rfpReader.countKnown = false;
        rfpReader.remaining = -1;
        rfpReader.headerRead = false;
        rfpReader.blockRead = false;
        rfpReader.skipped = 0;
        rfpStreamFailed = false;
        changeStatus(dfrVersion == DfrLink::DFR_V1 ? UART_WAITING_RFP_REPLY : UART_WAITING_RFP_BINARY_REPLY);
    } else {
        changeStatus(UART_WAITING_REPLY);
    }
    keepAliveTimer.stop();
    startTimeoutTimer();

    if (settings().printAtCmdDebugInfo && dfrCmd != DfrLink::CMD_KEEPALIVE_INTERNAL) {
        qDebug().noquote() << QStringLiteral("Send $%1").arg(text);
    }
    serialPort.write('$' + text.toLatin1() + "\r\n");
}

void UartLink::slotSendManualDfrCmd(const QString& userCmd)
{
    if (settings().printAtCmdDebugInfo) {
        qDebug().noquote() << QStringLiteral("Send %1").arg(userCmd);
    }
    if (serialPort.isOpen()) {
        serialPort.write(userCmd.toLatin1() + "\r\n");
    }
}

void UartLink::slotCloseConnection()
{
    keepAliveTimer.stop();
    timeoutTimer.stop();
    if (serialPort.isOpen()) {
        serialPort.close();
    }
    lineBuffer.clear();
    discardingLine = false;
    if (heldRequest) {
        heldRequest.reset();
        refuseRequest();
    }
    changeStatus(UART_INIT);
}

void UartLink::slotKeepAlive()
{
    slotSendRequest(DfrLink::CMD_KEEPALIVE_INTERNAL, {}, DfrLink::DFR_UNDEFINEDVERSION);
}

void UartLink::slotTimeout()
{
    // A failed or silent binary stream leaves the line itself usable: the
    // chunk can be asked again, and the link's owner decides whether to give up.
    if (linkStatus == UART_WAITING_RFP_BINARY_REPLY) {
        if (!std::exchange(rfpStreamFailed, false)) {
            emit sigErrorOccured(QStringLiteral("Uart link timeout"), Tarsk::Utils::Exception::KIND_NO_ANSWER);
        }
        changeStatus(UART_READY);
        return;
    }
    emit sigErrorOccured(QStringLiteral("Uart link timeout"), Tarsk::Utils::Exception::KIND_NO_ANSWER);
    changeStatus(UART_ERROR_TIMEOUT);
    if (heldRequest) {
        heldRequest.reset();
        refuseRequest();
    }
    // Nobody waits for a keep-alive: the application object is what tells the user.
    if (currentCmd == DfrLink::CMD_KEEPALIVE_INTERNAL) {
        throw Tarsk::Utils::Exception(Tarsk::Utils::Exception::KIND_NO_ANSWER,
                                      QStringLiteral("UART link timeout on KeepAlive"), QtCriticalMsg);
        }
}

void UartLink::startTimeoutTimer()
{
    timeoutTimer.start(currentCmd == DfrLink::CMD_KEEPALIVE_INTERNAL ? settings().keepAliveTimeoutMs
                                                                     : settings().dfrCommandTimeoutMs);
}

void UartLink::refuseRequest()
{
    emit sigRequestRefused(QStringLiteral("UartLink is not available"), Tarsk::Utils::Exception::KIND_LINK_LOST);
}

// Puts a request that a received line did not end back to waiting, with a fresh timeout.
void UartLink::keepWaiting(LinkStatus_t waitingStatus)
{
    keepAliveTimer.stop();
    startTimeoutTimer();
    changeStatus(waitingStatus);
}

void UartLink::changeStatus(LinkStatus_t newStatus)
{
    if (settings().printUartDebugInfo) {
        qDebug().noquote() << QStringLiteral("From %1 to %2")
                                  .arg(Utils::EnumText::name(linkStatus.load()), Utils::EnumText::name(newStatus));
    }
    linkStatus = newStatus;
    emit sigStatusChanged();
}

void UartLink::slotReadyRead()
{
    consumeBytes(serialPort.readAll());
}

void UartLink::consumeBytes(const QByteArray& bytes)
{
    lineBuffer.append(bytes);
    try {
        for (;;) {
            if (linkStatus == UART_WAITING_RFP_BINARY_REPLY) {
                readRpfBinaryData(std::exchange(lineBuffer, QByteArray()));
                if (linkStatus == UART_WAITING_RFP_BINARY_REPLY) {
                    return;
                }
                // What follows the end packet is text again.
                lineBuffer = std::exchange(rfpReader.buffer, QByteArray());
                continue;
            }
            const int lf = lineBuffer.indexOf('\n');
            if (discardingLine) {
                lineBuffer.remove(0, lf < 0 ? lineBuffer.size() : lf + 1);
                discardingLine = lf < 0;
                if (lf < 0) {
                    break;
                }
                continue;
            }
            if (lf < 0) {
                break;
            }
            const QByteArray raw = lineBuffer.left(lf + 1);
            lineBuffer.remove(0, lf + 1);
            processLine(raw);
        }
    } catch (const Tarsk::Utils::Exception& exception) {
        // Whatever stopped the line reader, the stream can no longer be trusted.
        emit sigErrorOccured(exception.message(), Tarsk::Utils::Exception::KIND_LINK_LOST);
        return;
    }

    if (lineBuffer.size() > maxLineBytes) {
        qWarning().noquote() << QStringLiteral("Line of more than %1 bytes without end dropped").arg(maxLineBytes);
        lineBuffer.clear();
        discardingLine = true;
    }
}

void UartLink::processLine(QByteArray raw)
{
    raw.replace(QByteArray(1, '\0'), QByteArray());
    const QString line = QString::fromUtf8(raw).trimmed();
    if (line.isEmpty()) {
        qWarning("Empty line");
        return;
    }
    if (settings().printAtCmdDebugInfo && currentCmd != DfrLink::CMD_KEEPALIVE_INTERNAL) {
        qDebug().noquote() << QStringLiteral("Receive %1").arg(line);
    }

    if (linkStatus == UART_WAITING_REPLY || linkStatus == UART_WAITING_RFP_REPLY) {
        const bool keepAlivePending = currentCmd == DfrLink::CMD_KEEPALIVE_INTERNAL;
        exchangeFailed = false;
        decodeMessage(line);
        if (keepAlivePending) {
            releaseHeldRequest(linkStatus == UART_READY);
        }
    } else {
        decodeAsynchronousMessage(line);
    }
}

// The keep-alive exchange that held a request back has seen a line.
void UartLink::releaseHeldRequest(bool exchangeEnded)
{
    if (!heldRequest || !exchangeEnded) {
        return;
    }
    const HeldRequest_t request = *std::exchange(heldRequest, std::nullopt);
    // An error of the exchange has already ended the wait of the operation
    // behind the request: writing it now would carry out what was reported failed.
    if (exchangeFailed) {
        refuseRequest();
    } else {
        slotSendRequest(request.cmd, request.params, request.version);
    }
}

} // namespace Vantrel::Com
