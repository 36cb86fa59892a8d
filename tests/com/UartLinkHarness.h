// Test-side tools for the UART link: the shared raw peer and an ordered record of the link's signals.
#pragma once

#include <QObject>
#include <QStringList>

#include "com/UartLink.h"
#include "tests/common/DeviceTestSupport.h"

namespace UartTest {

using DeviceTest::frame;
using DeviceTest::PtyPeer;
using Vantrel::Com::DfrLink;
using Vantrel::Com::UartLink;

// Everything the link reports, in the order it reaches the test's thread.
class LinkEvents
{
public:
    void attach(UartLink* link)
    {
        QObject::connect(link, &UartLink::sigReplyReceived, &context, [this](const QStringList& values, bool isError) {
            events << (isError ? "replyError:" + values.value(0) : "reply:" + values.join('|'));
        });
        QObject::connect(link, &UartLink::sigBinaryRfpDataReceived, &context, [this](const QByteArray& data, bool) {
            events << "rfp:" + QString::fromLatin1(data.toHex());
        });
        QObject::connect(link, &UartLink::sigRxReceived, &context,
                         [this](DfrLink::DfrMessageType_t type, const QStringList& values) {
                             events << QString(type == DfrLink::DFRMSG_NPR ? "npr:" : "nprf:") + values.join('|');
                         });
        QObject::connect(link, &UartLink::sigErrorOccured, &context,
                         [this](const QString& message) { events << "error:" + message; });
        QObject::connect(link, &UartLink::sigRequestRefused, &context,
                         [this](const QString& message) { events << "refused:" + message; });
        QObject::connect(link, &UartLink::sigStatusChanged, &context, [this] { ++statusChanges; });
    }

    QObject context;
    QStringList events;
    int statusChanges = 0;
};

} // namespace UartTest
