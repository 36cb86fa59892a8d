#include "sim/BeaconBuilder.h"

#include "sim/FrameCodec.h"

#include <QtMath>

namespace Vantrel::Sim {

namespace {

// Flash records are little-endian bit streams: bit n of byte k is stream bit 8k + n.
void putBits(QByteArray& record, int firstBit, int width, quint64 value)
{
    for (int i = 0; i < width; ++i) {
        const int bit = firstBit + i;
        if ((value >> i) & 1U) {
            record[bit / 8] = static_cast<char>(record.at(bit / 8) | (1 << (bit % 8)));
        }
    }
}

quint64 twosComplement(qint64 value, int width)
{
    return static_cast<quint64>(value) & ((quint64(1) << width) - 1);
}

qint64 minutesThousandths(double degrees)
{
    return qRound64(degrees * 60000.0);
}

// GPS fields count from the most significant bit of the first payload byte.
void putFieldMsbFirst(QByteArray& payload, int pos, int len, quint64 value)
{
    if (pos < 0 || len <= 0 || pos + len > payload.size() * 8) {
        return;
    }
    for (int i = 0; i < len; ++i) {
        const int bit = pos + i;
        const bool set = (value >> (len - 1 - i)) & 1U;
        if (set) {
            payload[bit / 8] = static_cast<char>(payload.at(bit / 8) | (0x80 >> (bit % 8)));
        }
    }
}

// Inverse of x = V/W + T/U * (1 - 2s) * m, x in thousandths of a minute; a
// wrapping field stores negative values above the half range.
void putCoordinate(QByteArray& payload, const QStringList& c, double degrees, int limitDegrees)
{
    const double t = c.value(4).toDouble();
    const double u = c.value(5).toDouble();
    const double v = c.value(6).toDouble();
    const double w = c.value(7).toDouble();
    if (t == 0.0 || u == 0.0 || w == 0.0) {
        return;
    }
    double x = degrees * 60000.0;
    if (c.value(8).toInt() != 0 && x < 0) {
        x += limitDegrees * 120000.0;
    }
    const double y = (x - v / w) / (t / u);
    const int signLen = c.value(1).toInt();
    const int len = c.value(3).toInt();
    const bool negative = y < 0 && signLen > 0;
    const quint64 magnitude = static_cast<quint64>(qRound64(std::max(0.0, negative ? -y : y)));
    putFieldMsbFirst(payload, c.value(0).toInt(), signLen, negative ? 1 : 0);
    putFieldMsbFirst(payload, c.value(2).toInt(), len,
                     len >= 64 ? magnitude : magnitude & ((quint64(1) << len) - 1));
}

QDateTime timeOf(const BeaconBuilder::BeaconMessage_t& message)
{
    return message.time.isValid() ? message.time.toUTC() : QDateTime::currentDateTimeUtc();
}

int statusBits(const BeaconBuilder::BeaconMessage_t& m)
{
    return (m.receiverDirectionValid ? 4 : 0) | (m.receiverPositionValid ? 2 : 0) | (m.periodValid ? 1 : 0);
}

} // namespace

bool BeaconBuilder::isNprf(const BeaconMessage_t& message, DeviceState::Generation_t generation)
{
    const int slotCount = generation == DeviceState::GENERATION_V1 ? 16 : 64;
    return message.slotIndex >= 0 && message.slotIndex < slotCount;
}

QStringList BeaconBuilder::values(const BeaconMessage_t& m, DeviceState::Generation_t generation)
{
    const bool v1 = generation == DeviceState::GENERATION_V1;
    const bool nprf = isNprf(m, generation);
    const QDateTime t = timeOf(m);
    auto n = [](qint64 value) { return QString::number(value); };

    QStringList v;
    if (nprf) {
        v << n(m.slotIndex);
    } else if (v1) {
        v << n(16);
    }
    v << n(t.date().year() - 2000) << n(t.date().month()) << n(t.date().day()) << n(t.time().hour())
      << n(t.time().minute()) << n(t.time().second());
    v << m.platformId << n(m.frequencyHz) << n(statusBits(m)) << n(m.direction);
    if (nprf && v1) {
        v << n(m.meanDirection);
    }
    if (nprf && !v1) {
        v << n(m.band) << n(m.modulation);
    }
    v << n(m.level);
    if (nprf) {
        v << n(m.period);
    }
    // the receiver's position travels longitude first
    v << n(minutesThousandths(m.receiverLongitude)) << n(minutesThousandths(m.receiverLatitude))
      << n(m.receiverDirection);
    if (!nprf && !v1) {
        v << n(m.band) << n(m.modulation);
    }
    v << n(m.payload.size() * 8) << FrameCodec::hex(m.payload);
    return v;
}

QByteArray BeaconBuilder::line(const BeaconMessage_t& message, DeviceState::Generation_t generation,
                               bool legacyChecksum)
{
    const QString mnemonic = isNprf(message, generation) ? QStringLiteral("NPRF") : QStringLiteral("NPR");
    QByteArray text = FrameCodec::frame(mnemonic, values(message, generation));
    if (legacyChecksum) {
        // "$" + body + "XY*CS\r\n": sum the body without the last two payload digits
        const int star = text.lastIndexOf('*');
        const quint8 sum = FrameCodec::checksum(text.mid(1, star - 3));
        text.replace(star + 1, 2, QByteArray::number(sum, 16).toUpper().rightJustified(2, '0'));
    }
    return text;
}

QByteArray BeaconBuilder::flashRecordV1(const BeaconMessage_t& m)
{
    QByteArray payload = m.payload.left(32);
    const int lengthCode = payload.isEmpty() ? 0 : (payload.size() - 1) / 4;
    payload.append(QByteArray((lengthCode + 1) * 4 - payload.size(), '\0'));

    const QDateTime t = timeOf(m);
    QByteArray record(22, '\0');
    putBits(record, 0, 1, m.periodValid);
    putBits(record, 1, 1, m.receiverPositionValid);
    putBits(record, 8, 5, t.time().hour());
    putBits(record, 13, 6, t.time().minute());
    putBits(record, 19, 6, t.time().second());
    putBits(record, 25, 5, t.date().day());
    putBits(record, 30, 4, t.date().month());
    putBits(record, 34, 7, t.date().year() - 2000);
    putBits(record, 41, 29, m.frequencyHz);
    putBits(record, 70, 9, m.direction);
    putBits(record, 79, 9, m.meanDirection);
    putBits(record, 88, 10, twosComplement(m.level, 10));
    putBits(record, 98, 16, m.period);
    putBits(record, 114, 25, twosComplement(minutesThousandths(m.receiverLongitude), 25));
    putBits(record, 139, 24, twosComplement(minutesThousandths(m.receiverLatitude), 24));
    putBits(record, 163, 9, m.receiverDirection);
    putBits(record, 173, 3, lengthCode);
    record += payload;
    record += static_cast<char>(crc8(record));
    return record;
}

QByteArray BeaconBuilder::flashRecordV2(const BeaconMessage_t& m, bool wideIdentifiers)
{
    const int e = wideIdentifiers ? 1 : 0;
    const int digits = wideIdentifiers ? 8 : 7;
    const quint64 id = m.platformId.left(digits).leftJustified(digits, QLatin1Char('0')).toULongLong(nullptr, 16);
    const QByteArray payload = m.payload.left(64);
    const int payloadBits = std::min<int>(static_cast<int>(payload.size()) * 8, 511);

    const QDateTime t = timeOf(m);
    QByteArray record(26 + e, '\0');
    putBits(record, 0, 4, m.band);
    putBits(record, 4, 1, m.periodValid);
    putBits(record, 5, 1, m.receiverPositionValid);
    putBits(record, 6, 1, m.receiverDirectionValid);
    putBits(record, 8, 4, id & 0xF);  // lowest nibble first, then bytes 2..4
    putBits(record, 16, 24, (id >> 4) & 0xFFFFFF);
    if (wideIdentifiers) {
        putBits(record, 40, 4, (id >> 28) & 0xF);
    }
    const int b = 40 + 8 * e;
    putBits(record, b, 5, t.time().hour());
    putBits(record, b + 5, 6, t.time().minute());
    putBits(record, b + 11, 6, t.time().second());
    putBits(record, b + 17, 5, t.date().day());
    putBits(record, b + 22, 4, t.date().month());
    putBits(record, b + 26, 7, t.date().year() - 2000);
    putBits(record, b + 33, 29, m.frequencyHz);
    putBits(record, b + 62, 9, m.direction);
    putBits(record, b + 71, 10, twosComplement(m.level, 10));
    putBits(record, b + 81, 16, m.period);
    putBits(record, b + 97, 25, twosComplement(minutesThousandths(m.receiverLongitude), 25));
    putBits(record, b + 122, 24, twosComplement(minutesThousandths(m.receiverLatitude), 24));
    putBits(record, b + 146, 9, m.receiverDirection);
    putBits(record, b + 155, 3, m.modulation);
    putBits(record, b + 158, 9, payloadBits);
    record += payload.left((payloadBits + 7) / 8);
    record += static_cast<char>(crc8(record));
    return record;
}

quint8 BeaconBuilder::crc8(const QByteArray& data)
{
    quint8 crc = 0;
    for (char c : data) {
        crc ^= static_cast<quint8>(c);
        for (int i = 0; i < 8; ++i) {
            crc = (crc & 0x80) ? static_cast<quint8>((crc << 1) ^ 0x57) : static_cast<quint8>(crc << 1);
        }
    }
    return crc;
}

QByteArray BeaconBuilder::gpsPayload(const QStringList& format, double latitude, double longitude, int minBytes)
{
    const QStringList lat = format.mid(1, 9);
    const QStringList lon = format.mid(10, 9);
    int bits = format.value(19).toInt();
    for (const QStringList& c : {lat, lon}) {
        bits = std::max(bits, c.value(0).toInt() + c.value(1).toInt());
        bits = std::max(bits, c.value(2).toInt() + c.value(3).toInt());
    }
    QByteArray payload(std::max(minBytes, (bits + 7) / 8), '\0');
    putCoordinate(payload, lat, latitude, 90);
    putCoordinate(payload, lon, longitude, 180);
    return payload;
}

} // namespace Vantrel::Sim
