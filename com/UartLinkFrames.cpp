#include "com/UartLink.h"

#include <QHash>
#include <QMetaEnum>
#include <QRegularExpression>
#include <QtDebug>

#include "utils/EnumText.h"
#include "utils/Settings.h"
#include "utils/TextUtils.h"

namespace Vantrel::Com {

namespace {

bool isBeaconMessage(const QString& replyName)
{
    return replyName == QLatin1String("NPR") || replyName == QLatin1String("NPRF");
}

void logAsynchronous(const QString& message)
{
    qDebug().noquote() << QStringLiteral("Asynchronous message received: %1").arg(message);
}

// Commands whose reply may come as a plain "ACK".
bool acceptsAck(DfrLink::DfrCmd_t cmd)
{
    return cmd == DfrLink::CMD_KEEPALIVE_INTERNAL || cmd == DfrLink::CMD_TEST
        || (cmd >= DfrLink::CMD_ATBL && cmd <= DfrLink::CMD_REBO);
}

} // namespace

int UartLink::computeChecksum(const QString& text)
{
    int checksum = 0;
    for (const QChar c : text) {
        if (c.unicode() < 0x100) {
            checksum ^= c.unicode();
        }
    }
    return checksum;
}

QString UartLink::createPayload(const QString& name, const QStringList& params)
{
    QString payload = name;
    if (!params.isEmpty()) {
        payload += QLatin1Char(',') + params.join(QLatin1Char(','));
    }
    return payload + QLatin1Char('*');
}

QString UartLink::createCommand(DfrLink::DfrCmd_t cmd, const QStringList& params, QString* cmdName)
{
    // The mnemonic is the enumerator's name: a new enumerator is a new command.
    static const QHash<int, QString> mnemonics = [] {
        QHash<int, QString> table;
        const QMetaEnum commands = QMetaEnum::fromType<DfrLink::DfrCmd_t>();
        for (int i = 0; i < commands.keyCount(); ++i) {
            table.insert(commands.value(i), Utils::EnumText::key(DfrLink::DfrCmd_t(commands.value(i))));
        }
        table.insert(DfrLink::CMD_KEEPALIVE_INTERNAL, QStringLiteral("TEST"));
        return table;
    }();

    const QString mnemonic = mnemonics.value(cmd);
    const QString payload = createPayload(mnemonic, params);
    if (cmdName) {
        *cmdName = mnemonic;
    }
    return payload + Utils::TextUtils::hexByte(computeChecksum(payload));
}

bool UartLink::extractReplyParams(const QString& message, QString* replyName, QStringList* params)
{
    static const QRegularExpression frame(
        QStringLiteral("^\\$(?<dfrReply>[A-Z0-9]+)(,(?<params>([^\\*]+)))?\\*(?<checksum>[0-9A-F]+)$"));

    const QRegularExpressionMatch match = frame.match(message);
    if (!match.hasMatch()) {
        emitReplyError(QStringLiteral("Unable to decode DFR message \"%1\".").arg(message));
        return false;
    }
    *replyName = match.captured(QStringLiteral("dfrReply"));
    params->clear();
    const QString paramsText = match.captured(QStringLiteral("params"));
    if (!paramsText.isEmpty()) {
        *params = paramsText.split(QLatin1Char(','), Qt::KeepEmptyParts);
    }

    const int received = static_cast<int>(match.captured(QStringLiteral("checksum")).toUInt(nullptr, 16) & 0xFF);
    int computed = computeChecksum(createPayload(*replyName, *params));
    if (computed == received) {
        return true;
    }

    if (isBeaconMessage(*replyName)) {
        // Some receivers sum their beacon lines without the last value's two characters.
        computed = computeChecksum(message.mid(1, qMax(0, message.size() - 6)));
        if (computed == received) {
            qWarning().noquote() << QStringLiteral("Bad checksum detected on %1 frame.").arg(*replyName);
            return true;
        }
    }
    exchangeFailed = true;
    emit sigErrorOccured(QStringLiteral("Bad checksum in DFR reply \"%1\": %2 vs %3.")
                             .arg(message, Utils::TextUtils::hexByte(received), Utils::TextUtils::hexByte(computed)),
                         Tarsk::Utils::Exception::KIND_LINK_LOST);
    return false;
}

void UartLink::emitReplyError(const QString& text, Tarsk::Utils::Exception::Kind_t kind)
{
    exchangeFailed = true;
    emit sigReplyReceived({text}, true, kind);
}

void UartLink::decodeMessage(const QString& message)
{
    timeoutTimer.stop();
    const int period = Utils::Settings::instance()->keepAlivePeriodMs;
    if (period > 0) {
        keepAliveTimer.start(period);
    }
    const LinkStatus_t previous = linkStatus;
    changeStatus(UART_READY);

    QString replyName;
    QStringList params;
    if (!extractReplyParams(message, &replyName, &params)) {
        return;
    }

    if (isBeaconMessage(replyName)) {
        // Already checked: going through decodeAsynchronousMessage would check
        // and warn about a tolerated checksum a second time.
        logAsynchronous(message);
        deliverAsynchronous(message, replyName, params);
        keepWaiting(previous);
        return;
    }

    if (replyName == QLatin1String("ACK") && acceptsAck(currentCmd)) {
        replyName = currentCmdName;
    }
    if (replyName == QLatin1String("ACK") && params.size() == 2) {
        bool ok = false;
        if (params.at(1).toInt(&ok, 10) == 0 || !ok) {
            emitReplyError(QStringLiteral("Invalid command: \"%1\"").arg(message));
            return;
        }
    }

    if (currentCmd == DfrLink::CMD_GSN) {
        currentCmdName = QStringLiteral("VSN");
    } else if (currentCmd == DfrLink::CMD_SFG || currentCmd == DfrLink::CMD_GFG) {
        currentCmdName = QStringLiteral("RFG");
    }

    if (replyName != currentCmdName) {
        emitReplyError(QStringLiteral("Unrelated message: \"%1\"").arg(message),
                       Tarsk::Utils::Exception::KIND_UNRELATED_REPLY);
        return;
    }
    if (currentCmd == DfrLink::CMD_KEEPALIVE_INTERNAL) {
        return;
    }
    if (currentCmd != DfrLink::CMD_RFP) {
        emit sigReplyReceived(params, false, Tarsk::Utils::Exception::KIND_GENERAL);
        return;
    }

    // A flash read in text form: one line per piece, a byte count of 0 ends it.
    if (params.size() < 3) {
        keepWaiting(previous);
        return;
    }
    bool ok = false;
    if (params.at(2).toInt(&ok, 10) == 0 || !ok) {
        emit sigBinaryRfpDataReceived(rfpReader.rfpData, false);
        changeStatus(UART_READY);
        return;
    }
    if (params.size() > 3) {
        rfpReader.rfpData.append(QByteArray::fromHex(params.at(3).toLatin1()));
    }
    keepWaiting(previous);
}

void UartLink::decodeAsynchronousMessage(const QString& message)
{
    timeoutTimer.stop();
    logAsynchronous(message);
    QString replyName;
    QStringList params;
    if (extractReplyParams(message, &replyName, &params)) {
        deliverAsynchronous(message, replyName, params);
    }
}

void UartLink::deliverAsynchronous(const QString& message, const QString& replyName, const QStringList& params)
{
    if (replyName == QLatin1String("NPR")) {
        emit sigRxReceived(DfrLink::DFRMSG_NPR, params);
    } else if (replyName == QLatin1String("NPRF")) {
        emit sigRxReceived(DfrLink::DFRMSG_NPRF, params);
    } else {
        emitReplyError(QStringLiteral("Unknown DFR message type in \"%1\".").arg(message));
    }
}

} // namespace Vantrel::Com
