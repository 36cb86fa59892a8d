#include "com/DfrLink.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QScopeGuard>

#include <algorithm>
#include <limits>

#include "com/UartLink.h"
#include "inhouse/Exception.h"
#include "utils/EnumText.h"
#include "utils/Settings.h"

namespace Vantrel::Com {

namespace {

using Tarsk::Utils::fail;
using Kind = Tarsk::Utils::Exception;

// Runs one batch of the GUI thread's events while a device operation waits.
// Blocking in the dispatcher until something is posted (reply, status change,
// timer) keeps the wait off the CPU; user input stays queued so that the user
// cannot start a second operation from inside this one. The exception is a
// modal dialog shown for the operation (a progress dialog's Cancel): modality
// already keeps input away from every other window.
void processEventsWhileWaiting(bool& inEventLoop, bool userInput)
{
    inEventLoop = true;
    const auto clear = qScopeGuard([&inEventLoop] { inEventLoop = false; });
    QCoreApplication::processEvents((userInput ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents)
                                    | QEventLoop::WaitForMoreEvents);
}

} // namespace

void DfrLink::checkConnectionReady()
{
    if (!uartLink) {
        fail(Kind::KIND_NOT_CONNECTED, QStringLiteral("UART link not available"));
    }
    if (inEventLoop) {
        fail(Kind::KIND_BUSY, QStringLiteral("sendBlockingRequest recursively called"));
    }

    // The link's status is read atomically; every change is followed by a queued
    // sigStatusChanged, so a change after the read still wakes the wait below.
    const quint64 generation = linkGeneration;
    for (;;) {
        switch (uartLink->status()) {
        case UartLink::UART_READY:
            return;
        case UartLink::UART_ERROR_TIMEOUT:
            fail(Kind::KIND_NO_ANSWER, QStringLiteral("UART link timeout"));
        case UartLink::UART_INIT:
            // A link still closed after reporting an error failed to open and
            // never will: nothing else would end this wait, whether the error
            // came before the request or during it.
            if (!linkError.isEmpty()) {
                fail(linkErrorKind, QStringLiteral("Link Error: %1").arg(linkError));
            }
            break;
        default:
            break;
        }
        processEventsWhileWaiting(inEventLoop, userInputWhileWaiting);
        if (!uartLink || linkGeneration != generation) {
            fail(Kind::KIND_NOT_CONNECTED, QStringLiteral("UART link not available"));
        }
    }
}

DfrLink::Reply_t DfrLink::request(DfrCmd_t cmd, const QStringList& params)
{
    reply = Reply_t();
    if (noSendCommandMode) {
        recordedCommands.append(QLatin1Char('$') + UartLink::createCommand(cmd, params));
        return reply;
    }

    checkConnectionReady();

    waitingReply = true;
    emit sigSendRequest(cmd, params, dfrVersion);

    // The link's own timeout normally ends a lost request first; this is the outer bound.
    const qint64 bound = 2 * qint64(Utils::Settings::instance()->dfrCommandTimeoutMs);
    requestTimer.start(int(std::clamp<qint64>(bound, 0, std::numeric_limits<int>::max())));
    const auto stop = qScopeGuard([this] {
        requestTimer.stop();
        waitingReply = false;
    });
    while (waitingReply) {
        processEventsWhileWaiting(inEventLoop, userInputWhileWaiting);
    }
    return reply;
}

DfrLink::Reply_t DfrLink::sendBlockingRequest(DfrCmd_t cmd, const QStringList& params)
{
    Reply_t received = request(cmd, params);
    switch (received.status) {
    case REPLY_RECEIVED:
        return received;
    case REPLY_ERROR:
        fail(received.kind, QStringLiteral("Error in reply: %1").arg(received.message));
    case REPLY_LINK_LOST:
        break;
    }
    fail(received.kind, QStringLiteral("Link Error: %1").arg(received.message));
}

DfrLink::Reply_t DfrLink::sendGetDfrCmd(DfrCmd_t cmd, int nbParams, QStringList params, QList<int> expectedReplyCounts)
{
    // The count is kept in 8 bits, as the receiver's frames are; it stops at its
    // top value instead of wrapping round for ever.
    for (quint8 count = quint8(params.size()); count < nbParams && count < 255; ++count) {
        params.append(QString());
    }

    Reply_t received = sendBlockingRequest(cmd, params);

    if (expectedReplyCounts.isEmpty()) {
        expectedReplyCounts.append(nbParams);
    }
    if (expectedReplyCounts.contains(int(received.values.size()))) {
        return received;
    }

    fail(QStringLiteral("Unable to read reply of command %1 setup: bad parameters number.")
             .arg(Utils::EnumText::key(cmd)));
}

void DfrLink::startNoSendCommandMode()
{
    recordedCommands.clear();
    noSendCommandMode = true;
}

QStringList DfrLink::stopNoSendCommandMode()
{
    noSendCommandMode = false;
    return recordedCommands;
}

} // namespace Vantrel::Com
