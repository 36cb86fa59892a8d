#pragma once

#include "sim/DeviceState.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace Vantrel::Sim {

// Renders one heard beacon the ways a receiver reports it: as an NPR or NPRF
// line in either generation's layout, and as a flash record of either
// generation. Also packs a position into a payload by a GPS format's fields.
class BeaconBuilder
{
public:
    // One heard beacon. Identifier and payload are taken as they go on the line;
    // BeaconGenerator knows how a receiver pads them.
    struct BeaconMessage_t
    {
        int slotIndex = -1;          // favourite slot: NPRF; -1: NPR
        QDateTime time;              // UTC; invalid: the receiver's clock
        QString platformId;          // hexadecimal text
        quint32 frequencyHz = 401650000;
        bool receiverDirectionValid = true;
        bool receiverPositionValid = true;
        bool periodValid = true;
        int direction = 0;           // degrees
        int meanDirection = 0;       // first generation NPRF only
        int band = 0;                // second generation only
        int modulation = 0;          // second generation only; 0 A2, 1 A3, 2 A4, 3 LDK
        int level = -110;            // dBm, or a range code 1..4
        quint32 period = 0;          // seconds, NPRF only
        double receiverLatitude = 0.0;   // degrees
        double receiverLongitude = 0.0;  // degrees
        int receiverDirection = 0;       // degrees
        QByteArray payload;
    };

    // The parameters of the NPR/NPRF frame. A first-generation NPR carries the
    // slot count (16) as its slot index.
    static QStringList values(const BeaconMessage_t& message, DeviceState::Generation_t generation);
    static bool isNprf(const BeaconMessage_t& message, DeviceState::Generation_t generation);

    // The complete line with CR LF. legacyChecksum sums the text without "*" and
    // the last two payload digits, the way first-generation firmware does.
    static QByteArray line(const BeaconMessage_t& message, DeviceState::Generation_t generation,
                           bool legacyChecksum = false);

    // First-generation record: 22-byte header, payload padded with zeros to a
    // multiple of 4 bytes (4..32), CRC. The record carries no identifier.
    static QByteArray flashRecordV1(const BeaconMessage_t& message);
    // Second-generation record: 26-byte header (27 with wide identifiers),
    // payload of at most 64 bytes, CRC. The identifier digits are left-aligned in
    // its 28- or 32-bit field.
    static QByteArray flashRecordV2(const BeaconMessage_t& message, bool wideIdentifiers);

    // CRC-8 of the flash records: polynomial 0x57, start 0, MSB first.
    static quint8 crc8(const QByteArray& data);

    // Payload of at least minBytes (and of the format's payload length) holding
    // the position at the format's bit fields. format: the 22 values name,
    // latitude (9), longitude (9), payload length, index position, GPS check.
    static QByteArray gpsPayload(const QStringList& format, double latitude, double longitude, int minBytes = 4);
};

} // namespace Vantrel::Sim
