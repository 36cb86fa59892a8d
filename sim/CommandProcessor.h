#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace Vantrel::Sim {

class DeviceState;

// Carries out one well-formed request against a DeviceState and says what the
// receiver answers. Knows nothing of the line: DfrSimulator turns the answer into
// bytes (and spoils them when a fault is injected).
class CommandProcessor
{
public:
    // One text frame, or one binary flash packet.
    struct ReplyPart_t
    {
        bool binary = false;
        QString mnemonic;       // text frame
        QStringList params;
        QByteArray field1;      // binary packet header fields and payload
        QByteArray field2;
        QByteArray payload;
    };

    struct Reply_t
    {
        QList<ReplyPart_t> parts;
        bool flashRead = false;  // RFP: live beacons are held back for a while
    };

    static constexpr int rfpTextBytesPerLine = 64;
    static constexpr int rfpPacketBytes = 128;

    explicit CommandProcessor(DeviceState& state);

    // TEST, ATBL, ERRF, WRDA, WRSC and REBO answer "$ACK,<mnemonic>,1" instead
    // of their own frame.
    void setAcknowledgeWithAck(bool enabled) { ackReplies = enabled; }
    bool acknowledgeWithAck() const { return ackReplies; }

    Reply_t process(const QString& mnemonic, const QStringList& params);

    // "$ACK,<mnemonic>,0": the receiver refuses the request.
    static Reply_t refusal(const QString& mnemonic);

private:
    Reply_t test();
    Reply_t serialNumber();
    Reply_t liveStatus();
    Reply_t softwareSetup(const QStringList& params);
    Reply_t hardwareSetup(const QStringList& params);
    Reply_t platformSlot(const QStringList& params);
    Reply_t readGpsFormat(const QStringList& params);
    Reply_t writeGpsFormat(const QStringList& params);
    Reply_t flashInfo();
    Reply_t readFlash(const QStringList& params);
    Reply_t eraseFlash(const QStringList& params);
    Reply_t bootloader(const QString& mnemonic, const QStringList& params);
    Reply_t acknowledged(const QString& mnemonic, const QStringList& ownParams);

    DeviceState& state;
    bool ackReplies = false;
};

} // namespace Vantrel::Sim
