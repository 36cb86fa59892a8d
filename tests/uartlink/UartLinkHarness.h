// Test-side tools for the UART link: a raw pseudo-terminal peer and an ordered record of the link's signals.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QStringList>
#include <QTest>

#include "com/UartLink.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace UartTest {

using Vantrel::Com::DfrLink;
using Vantrel::Com::UartLink;

// The checksum rule written out again, so that a slip in the link cannot vouch for itself.
inline QByteArray frame(const QByteArray& covered)
{
    quint8 sum = 0;
    for (const char c : covered)
        sum ^= static_cast<quint8>(c);
    return '$' + covered + QByteArray::number(sum, 16).toUpper().rightJustified(2, '0') + "\r\n";
}

// The receiver's end of a pseudo-terminal, byte for byte under the test's control.
// Frames listed in `answers` are answered at once, as a receiver would.
class PtyPeer
{
public:
    PtyPeer()
    {
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
            qFatal("openpty failed");
        termios mode{};
        ::tcgetattr(slave, &mode);
        ::cfmakeraw(&mode);
        ::tcsetattr(slave, TCSANOW, &mode);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        name = QString::fromLocal8Bit(::ptsname(master));
        notifier = new QSocketNotifier(master, QSocketNotifier::Read);
        QObject::connect(notifier, &QSocketNotifier::activated, notifier, [this] { readAvailable(); });
    }
    ~PtyPeer()
    {
        delete notifier;
        ::close(master);
        ::close(slave);
    }

    // Blocks while the line is full: the link reads in its own thread meanwhile.
    void write(const QByteArray& bytes) const
    {
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t n = ::write(master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0) {
                done += n;
                continue;
            }
            pollfd writable{master, POLLOUT, 0};
            QVERIFY2(n < 0 && errno == EAGAIN && ::poll(&writable, 1, 5000) == 1, "line stuck");
        }
    }
    // Bytes written by the peer that nobody has read from the line yet.
    int unread() const
    {
        int n = 0;
        ::ioctl(slave, FIONREAD, &n);
        return n;
    }
    // Complete lines received, without CR LF.
    QList<QByteArray> lines() const
    {
        QList<QByteArray> all = received.split('\n');
        all.removeLast();
        for (QByteArray& line : all)
            line.chop(line.endsWith('\r') ? 1 : 0);
        return all;
    }
    int count(const QByteArray& line) const { return int(lines().count(line)); }
    void clear()
    {
        received.clear();
        scanned = 0;
    }

    QString name;
    QByteArray received;
    QHash<QByteArray, QByteArray> answers;

private:
    void readAvailable()
    {
        char chunk[4096];
        ssize_t n;
        while ((n = ::read(master, chunk, sizeof chunk)) > 0) {
            received.append(chunk, int(n));
            while (true) {
                const int end = received.indexOf("\r\n", scanned);
                if (end < 0)
                    break;
                const QByteArray line = received.mid(scanned, end - scanned);
                scanned = end + 2;
                if (answers.contains(line))
                    write(answers.value(line));
            }
        }
    }

    int master = -1;
    int slave = -1;  // kept open so that the line never hangs up
    int scanned = 0;
    QSocketNotifier* notifier = nullptr;
};

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
