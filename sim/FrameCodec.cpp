#include "sim/FrameCodec.h"

namespace Vantrel::Sim {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

QByteArray twoDigits(quint8 value)
{
    return QByteArray::number(value, 16).toUpper().rightJustified(2, '0');
}

} // namespace

quint8 FrameCodec::checksum(const QByteArray& span)
{
    quint8 sum = 0;
    for (char c : span) {
        sum ^= static_cast<quint8>(c);
    }
    return sum;
}

QByteArray FrameCodec::frame(const QString& mnemonic, const QStringList& params, bool corruptChecksum)
{
    QByteArray span = mnemonic.toLatin1();
    if (!params.isEmpty()) {
        span += ',' + params.join(QLatin1Char(',')).toLatin1();
    }
    span += '*';
    quint8 sum = checksum(span);
    if (corruptChecksum) {
        sum = static_cast<quint8>(sum + 1);
    }
    return '$' + span + twoDigits(sum) + "\r\n";
}

FrameCodec::ParsedFrame_t FrameCodec::parse(const QByteArray& line)
{
    ParsedFrame_t result;
    const int dollar = line.indexOf('$');
    const int star = line.lastIndexOf('*');
    if (dollar < 0 || star < dollar || line.size() != star + 3) {
        return result;
    }
    const int high = hexDigit(line.at(star + 1));
    const int low = hexDigit(line.at(star + 2));
    if (high < 0 || low < 0) {
        return result;
    }

    const QByteArray body = line.mid(dollar + 1, star - dollar - 1);
    const int comma = body.indexOf(',');
    const QByteArray mnemonic = comma < 0 ? body : body.left(comma);
    if (mnemonic.isEmpty()) {
        return result;
    }
    for (char c : mnemonic) {
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) {
            return result;
        }
    }

    result.wellFormed = true;
    result.mnemonic = QString::fromLatin1(mnemonic);
    if (comma >= 0) {
        result.params = QString::fromLatin1(body.mid(comma + 1)).split(QLatin1Char(','));
    }
    result.receivedChecksum = high * 16 + low;
    result.computedChecksum = checksum(line.mid(dollar + 1, star - dollar));
    result.checksumOk = result.receivedChecksum == result.computedChecksum;
    return result;
}

bool FrameCodec::endsFrame(const QByteArray& buffer, int lfPos)
{
    if (lfPos >= 1 && buffer.at(lfPos - 1) == '\r') {
        return true;
    }
    return lfPos >= 3 && buffer.at(lfPos - 3) == '*' && hexDigit(buffer.at(lfPos - 2)) >= 0
           && hexDigit(buffer.at(lfPos - 1)) >= 0;
}

QByteArray FrameCodec::binaryPacket(const QByteArray& field1, const QByteArray& field2,
                                    const QByteArray& payload, bool corruptChecksum)
{
    const QByteArray covered = "RFP," + field1 + ',' + field2 + ',' + payload + '*';
    quint8 sum = checksum(covered);
    if (corruptChecksum) {
        sum = static_cast<quint8>(sum + 1);
    }
    return '$' + covered + twoDigits(sum) + "\r\n";
}

QString FrameCodec::hex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

} // namespace Vantrel::Sim
