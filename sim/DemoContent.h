#pragma once

namespace Vantrel::Sim {

class DeviceState;

// A receiver that has been in use for a while: a few favourite platforms (one
// reporting its GPS position in the SM20 layout near 48.85 N 2.35 E), a GPS
// format bank (second generation) and some hours of recorded beacons in flash.
// Meant for the command-line simulator and manual trials of the program.
class DemoContent
{
public:
    static void apply(DeviceState& state);
    // Replaces the recorded messages with `records` plausible ones, one every
    // minute up to now (first generation: spread over the occupied favourite
    // slots), and spoils one byte inside `corrupt` of them, evenly spread.
    static void fillFlash(DeviceState& state, int records, int corrupt = 0);
};

} // namespace Vantrel::Sim
