// A UartLink without a port: bytes go straight to its line reader, in a chosen waiting state.
#pragma once

#include <QMetaEnum>
#include <QObject>
#include <QStringList>

#include "com/UartLink.h"
#include "utils/Settings.h"

namespace Vantrel::Com {

class UartLinkFuzzProbe
{
public:
    enum Start_t { START_IDLE, START_REPLY, START_RFP_TEXT, START_RFP_BINARY, START_COUNT };

    // The command a reply is awaited for, picked by number among all commands.
    static DfrLink::DfrCmd_t command(unsigned pick)
    {
        static const QMetaEnum commands = QMetaEnum::fromType<DfrLink::DfrCmd_t>();
        return DfrLink::DfrCmd_t(commands.value(int(pick % unsigned(commands.keyCount()))));
    }

    static void quietSettings()
    {
        Utils::Settings* settings = Utils::Settings::instance();
        settings->printAtCmdDebugInfo = false;
        settings->printUartDebugInfo = false;
        settings->keepAlivePeriodMs = 0;
    }

    UartLinkFuzzProbe(Start_t start, DfrLink::DfrCmd_t cmd) : link(QSerialPortInfo(), QString())
    {
        QObject::connect(&link, &UartLink::sigReplyReceived, [this](const QStringList& values, bool isError) {
            events << (isError ? QStringLiteral("replyError:") + values.value(0)
                               : QStringLiteral("reply:") + values.join(QLatin1Char('|')));
        });
        QObject::connect(&link, &UartLink::sigBinaryRfpDataReceived, [this](const QByteArray& data, bool isError) {
            events << (isError ? QStringLiteral("rfpError:") : QStringLiteral("rfp:")) + QString::fromLatin1(data.toHex());
        });
        QObject::connect(&link, &UartLink::sigRxReceived,
                         [this](DfrLink::DfrMessageType_t type, const QStringList& values) {
                             events << (type == DfrLink::DFRMSG_NPR ? QStringLiteral("npr:") : QStringLiteral("nprf:"))
                                           + values.join(QLatin1Char('|'));
                         });
        QObject::connect(&link, &UartLink::sigErrorOccured,
                         [this](const QString& message) { events << QStringLiteral("error:") + message; });
        QObject::connect(&link, &UartLink::sigRequestRefused,
                         [this](const QString& message) { events << QStringLiteral("refused:") + message; });

        link.linkStatus = UartLink::UART_READY;
        switch (start) {
        case START_REPLY: link.slotSendRequest(cmd, {}, DfrLink::DFR_V2); break;
        case START_RFP_TEXT: link.slotSendRequest(DfrLink::CMD_RFP, {}, DfrLink::DFR_V1); break;
        case START_RFP_BINARY: link.slotSendRequest(DfrLink::CMD_RFP, {}, DfrLink::DFR_V2); break;
        default: break;
        }
        events.clear();
    }

    void feed(const QByteArray& bytes) { link.consumeBytes(bytes); }
    UartLink::LinkStatus_t status() const { return link.status(); }

    QStringList events;

private:
    UartLink link;
};

} // namespace Vantrel::Com
