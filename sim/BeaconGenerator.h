#pragma once

#include "sim/BeaconBuilder.h"

namespace Vantrel::Sim {

class DeviceState;

// Makes up plausible beacons for the periodic traffic and the demo flash: from
// the occupied favourite slots in turn, with now and then one from an unknown
// beacon. Each favourite sits at a fixed spot a few kilometres from the
// receiver; a platform with a GPS format reports that spot in its payload.
class BeaconGenerator
{
public:
    static constexpr const char* strangerId = "5F00D1C";  // 28-bit, A2

    explicit BeaconGenerator(const DeviceState& state);

    // The next beacon: favourites in slot order, every fourth one a stranger (all
    // strangers when no slot is occupied).
    BeaconBuilder::BeaconMessage_t next(const QDateTime& time);

    BeaconBuilder::BeaconMessage_t favourite(int slot, const QDateTime& time, int sequence) const;
    BeaconBuilder::BeaconMessage_t stranger(const QDateTime& time, int sequence) const;

    // Where the beacon of a slot sits (-1: the stranger).
    static void beaconPosition(const DeviceState& state, int slot, double* latitude, double* longitude);

    // A receiver reports some identifiers with spare digits and keeps leading
    // identifier bits in front of the payload: the inverse of what the host cuts.
    // npr: the frame is an NPR (NPRF frames keep the slot's identifier as stored).
    static QString wireIdentifier(const DeviceState& state, const QString& id, int modulation, bool npr);
    static QByteArray wirePayload(const DeviceState& state, const QString& id, int modulation,
                                  const QByteArray& data);

private:
    const DeviceState& state;
    int sequence = 0;
    int cursor = -1;
};

} // namespace Vantrel::Sim
