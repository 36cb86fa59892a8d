#include "com/DfrLink.h"

#include <QSerialPortInfo>

#include "com/CrossThread.h"
#include "com/UartLink.h"
#include "utils/EnumText.h"

namespace Vantrel::Com {

namespace {

// Long enough for a worker that is closing a port, short enough not to freeze the window for good.
constexpr unsigned long workerStopTimeoutMs = 5000;

} // namespace

DfrLink::DfrLink(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<OrvanRxMessage_t>("OrvanRxMessage_t");
    qRegisterMetaType<DfrCmd_t>("DfrLink::DfrCmd_t");
    qRegisterMetaType<DfrMessageType_t>("DfrLink::DfrMessageType_t");
    qRegisterMetaType<UartLink::LinkStatus_t>("UartLink::LinkStatus_t");
    qRegisterMetaType<Tarsk::Utils::Exception::Kind_t>();

    requestTimer.setSingleShot(true);
    connect(&requestTimer, &QTimer::timeout, this, &DfrLink::slotTimeout);
}

DfrLink::~DfrLink()
{
    unsetUartLink();
    // The link's deferred delete runs when the thread's event loop ends, so
    // joining here also guarantees the port is closed before we go.
    workerThread.quit();
    if (!workerThread.wait(workerStopTimeoutMs)) {
        qCritical("Worker thread did not stop; terminating it");
        workerThread.terminate();
        workerThread.wait();
    }
}

void DfrLink::setUartLink(const QString& portName)
{
    // A waiting operation belongs to the old receiver: end it before the link goes.
    unsetUartLink();
    if (portName.isEmpty()) {
        return;
    }

    // quit() of the previous link is asynchronous; start() on a thread that is
    // still winding down would be a no-op and leave the new link without a loop.
    if (!workerThread.wait(workerStopTimeoutMs)) {
        qWarning("Worker thread of the previous link is still running");
    }
    workerThread.start(QThread::InheritPriority);

    // The name opens pseudo-terminals that the port enumeration does not list.
    uartLink = new UartLink(QSerialPortInfo(portName), portName);
    ++linkGeneration;
    linkError.clear();
    linkErrorKind = Tarsk::Utils::Exception::KIND_GENERAL;
    uartLink->moveToThread(&workerThread);

    crossThread(this, &DfrLink::sigOpenConnection, uartLink, &UartLink::slotOpenConnection);
    crossThread(this, &DfrLink::sigSetLiveRxEnabled, uartLink, &UartLink::slotSetLiveRxEnabled);
    crossThread(this, &DfrLink::sigSendRequest, uartLink, &UartLink::slotSendRequest);
    crossThread(this, &DfrLink::sigSendManualDfrCmd, uartLink, &UartLink::slotSendManualDfrCmd);
    crossThread(this, &DfrLink::sigCloseConnection, uartLink, &UartLink::slotCloseConnection);

    crossThread(uartLink, &UartLink::sigReplyReceived, this, &DfrLink::slotReplyReceived);
    crossThread(uartLink, &UartLink::sigBinaryRfpDataReceived, this, &DfrLink::slotBinaryRfpDataReceived);
    crossThread(uartLink, &UartLink::sigRxReceived, this, &DfrLink::slotRxReceived);
    crossThread(uartLink, &UartLink::sigErrorOccured, this, &DfrLink::slotErrorOccured);
    crossThread(uartLink, &UartLink::sigStatusChanged, this, &DfrLink::slotUartLinkStatusChanged);
    crossThread(uartLink, &UartLink::sigRequestRefused, this, &DfrLink::slotRequestRefused);

    emit sigOpenConnection();
}

void DfrLink::unsetUartLink()
{
    if (!uartLink) {
        return;
    }

    // Nothing will answer a request on a released link; without this the wait would never end.
    if (waitingReply) {
        interruptRequest();
    }

    requestTimer.stop();
    receiverVersion = DFR_UNDEFINEDVERSION;
    emit sigCloseConnection();
    // Queued replies of this link may still arrive; they are dropped by fromCurrentLink().
    disconnect(uartLink, nullptr, this, nullptr);
    disconnect(this, nullptr, uartLink, nullptr);
    // The worker deletes the link after the close and these last reads of it.
    deleteLaterAcross(uartLink);
    uartLink = nullptr;
    workerThread.quit();
    // Whatever the worker still reports (a keep-alive failure thrown after its error
    // signal) is logged before the caller explains the disconnection: the log and the
    // status bar then end the same way however late the worker thread ran.
    if (!workerThread.wait(workerStopTimeoutMs)) {
        qWarning("Worker thread of the released link is still running");
    }
}

QString DfrLink::portName() const
{
    return uartLink ? uartLink->portName() : QString();
}

void DfrLink::interruptRequest()
{
    endWait(REPLY_LINK_LOST, QStringLiteral("Request interrupted"), Tarsk::Utils::Exception::KIND_LINK_LOST);
}

void DfrLink::setReceiverForTesting(DfrVersion_t version, quint32 level)
{
    receiverVersion = version;
    receiverFirmwareLevel = level;
}

void DfrLink::setLiveRxEnabled(bool enabled)
{
    emit sigSetLiveRxEnabled(enabled);
}

quint32 DfrLink::nbIpSlots() const
{
    switch (dfrVersion) {
    case DFR_V1:
        return 16;
    case DFR_V2:
        return 64;
    default:
        return 0;
    }
}

quint32 DfrLink::nbGpsFormatSlots() const
{
    return dfrVersion == DFR_V2 ? 16 : 0;
}

QString DfrLink::orvanModulationToString(OrvanModulation_t modulation)
{
    // A value read from the receiver may have no key at all.
    const QString key = Utils::EnumText::key(modulation);
    return key.isEmpty() ? QStringLiteral("INVALID") : key;
}

bool DfrLink::fromCurrentLink() const
{
    // sender() is null once the sending link has been disconnected or destroyed.
    return sender() == uartLink;
}

void DfrLink::endWait(ReplyStatus_t status, const QString& message, Tarsk::Utils::Exception::Kind_t kind)
{
    reply.status = status;
    reply.message = message;
    reply.kind = kind;
    waitingReply = false;
}

void DfrLink::slotReplyReceived(const QStringList& values, bool isError, Tarsk::Utils::Exception::Kind_t kind)
{
    if (!fromCurrentLink()) {
        return;
    }
    if (!isError && waitingReply) {
        reply.values = values;
    }
    replyArrived(isError, values.value(0), kind);
}

void DfrLink::slotBinaryRfpDataReceived(const QByteArray& data, bool isError)
{
    if (!fromCurrentLink()) {
        return;
    }
    if (!isError && waitingReply) {
        reply.data = data;
    }
    replyArrived(isError, isError ? QString::fromUtf8(data) : QString(), Tarsk::Utils::Exception::KIND_REFUSED);
}

void DfrLink::replyArrived(bool isError, const QString& errorText, Tarsk::Utils::Exception::Kind_t kind)
{
    // A wait already ended keeps its outcome: a stray line behind a link error,
    // handled before the operation looks, must not turn that error into another.
    if (!waitingReply) {
        if (isError) {
            qWarning().noquote() << QStringLiteral("Error in unexpected message: %1").arg(errorText);
        }
        return;
    }
    endWait(isError ? REPLY_ERROR : REPLY_RECEIVED, isError ? errorText : QString(), kind);
}

void DfrLink::slotErrorOccured(const QString& message, Tarsk::Utils::Exception::Kind_t kind)
{
    if (!fromCurrentLink()) {
        return;
    }
    // A flash chunk that will be asked again: the link has recovered by itself.
    if (waitingReply && chunkRetryAllowed) {
        chunkFailed = true;
        endWait(REPLY_LINK_LOST, message, kind);
        return;
    }
    // The wait ends before the window hears of it, so a teardown started by the
    // signal does not overwrite the error with an interruption.
    endWait(REPLY_LINK_LOST, message, kind);
    if (linkError.isEmpty()) {
        linkError = message;
        linkErrorKind = kind;
    }
    if (uartLink) {
        emit sigLinkCompromised(uartLink->portName(), message, kind);
    }
}

void DfrLink::slotRequestRefused(const QString& message, Tarsk::Utils::Exception::Kind_t kind)
{
    if (!fromCurrentLink()) {
        return;
    }
    // The link itself is sound; only this request failed.
    endWait(REPLY_LINK_LOST, message, kind);
}

void DfrLink::slotTimeout()
{
    interruptRequest();
}

void DfrLink::slotUartLinkStatusChanged()
{
    if (!uartLink || !fromCurrentLink()) {
        return;
    }
    switch (uartLink->status()) {
    case UartLink::UART_WAITING_REPLY:
    case UartLink::UART_WAITING_RFP_REPLY:
    case UartLink::UART_WAITING_RFP_BINARY_REPLY:
        emit sigUartLinkStatusChanged(QStringLiteral("WAITING"));
        break;
    case UartLink::UART_READY:
        emit sigUartLinkStatusChanged(QStringLiteral("READY"));
        break;
    case UartLink::UART_INIT:
    case UartLink::UART_ERROR_TIMEOUT:
        emit sigUartLinkStatusChanged(QStringLiteral("ERROR"));
        break;
    }
}

} // namespace Vantrel::Com
