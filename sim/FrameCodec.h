#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace Vantrel::Sim {

// The receiver's side of the "$MNEMONIC,p1,p2*CS" text frames and of the binary
// "$RFP," flash packets. Written apart from the host's own code on purpose: a
// misreading shared by both ends would cancel out and go unnoticed.
class FrameCodec
{
public:
    // One received line, as the receiver's firmware judges it.
    struct ParsedFrame_t
    {
        bool wellFormed = false;  // "$", mnemonic, optional parameters, "*", two hex digits
        bool checksumOk = false;
        QString mnemonic;
        QStringList params;       // empty parameters kept
        int receivedChecksum = -1;
        int computedChecksum = -1;
    };

    // XOR of the bytes, starting from 0.
    static quint8 checksum(const QByteArray& span);

    // "$" + mnemonic [+ "," + params joined] + "*" + two upper-case digits + CR LF.
    // corruptChecksum writes a checksum that is off by one.
    static QByteArray frame(const QString& mnemonic, const QStringList& params = {},
                            bool corruptChecksum = false);

    // A line without its CR LF. Bytes before the first "$" are line noise and
    // skipped; the checksum follows the last "*", so a parameter may hold "*".
    static ParsedFrame_t parse(const QByteArray& line);

    // Does buffer[0, lfPos) end a frame? A frame ends at CR LF, or at a bare LF
    // right after the checksum digits: a firmware image line sent by WRDA may
    // begin with a bare LF, which must not cut its frame.
    static bool endsFrame(const QByteArray& buffer, int lfPos);

    // One binary flash packet: "$RFP," field1 "," field2 "," payload "*" CS CR LF.
    static QByteArray binaryPacket(const QByteArray& field1, const QByteArray& field2,
                                   const QByteArray& payload, bool corruptChecksum = false);

    // Upper-case hexadecimal text of the bytes, no separators.
    static QString hex(const QByteArray& bytes);
};

} // namespace Vantrel::Sim
