#pragma once

#include "sim/BeaconBuilder.h"

#include <QDateTime>
#include <QList>

#include <random>

namespace Vantrel::Sim {

class DeviceState;

// A search with a known truth: one favourite platform sits at a given spot
// (drifting, if asked) while the receiver drives a straight line or a circle.
// Each beacon of that platform carries the receiver's position at that moment
// and the WGS84 geodesic azimuth from there to the platform, spoilt by Gaussian
// noise, and now and then replaced by a reflection from a uniform random
// direction. Time is counted in seconds from the start of the search; the
// track runs on backwards before it, for the beacons already in flash.
class SearchScenario
{
public:
    enum Track_t { TRACK_LINE, TRACK_CIRCLE };

    struct Config_t
    {
        int slot = -1;              // favourite slot; -1: the first occupied one
        double latitude = 48.85;    // the platform at the start, degrees
        double longitude = 2.35;
        double driftEast = 0.0;     // metres per second
        double driftNorth = 0.0;
        Track_t track = TRACK_LINE;
        double trackLatitude = 48.82;   // line: start; circle: centre
        double trackLongitude = 2.30;
        double heading = 90.0;      // line: degrees from north
        double radius = 1000.0;     // circle: metres, driven clockwise from its north point
        double speed = 20.0;        // metres per second
        double noiseDeg = 5.0;      // standard deviation of the bearings
        double reflections = 0.0;   // fraction of bearings from a uniform random direction
        double offsetDeg = 0.0;     // the receiver's compass error: its bearings read this much clockwise
        quint32 seed = 1;
        int beaconPeriodMs = 3000;  // that platform's own beacons; 0: only in the periodic turn
        int flashBeacons = 30;      // recorded before the start, one per beacon period
        // A line track that turns, once a leg, to the heading written in this file (degrees,
        // its first line), as a driver follows a suggestion; "" keeps the line.
        QString steerFile;
        double legSeconds = 120.0;
    };

    struct Position_t
    {
        double latitude = 0.0;
        double longitude = 0.0;
    };

    // Takes the configured slot, or the first occupied one; a free slot gets a
    // made-up platform reporting its position in the SM20 layout.
    SearchScenario(const Config_t& config, DeviceState& state);

    const Config_t& config() const { return cfg; }
    int slot() const { return platformSlot; }

    Position_t receiverAt(double seconds) const;
    Position_t platformAt(double seconds) const;
    int receiverHeading(double seconds) const;  // degrees, along the track

    // Puts the receiver's live status where the track is at that moment.
    void moveReceiver(DeviceState& state, double seconds) const;
    // A steered track: once a leg has passed by `seconds`, turns to the heading the steer
    // file holds now. Returns whether it turned.
    bool steer(double seconds);

    // The platform's beacon heard `seconds` into the search, stamped `time`.
    BeaconBuilder::BeaconMessage_t beacon(double seconds, const QDateTime& time);
    // Dresses a beacon of the platform made elsewhere as one of the search.
    void dress(BeaconBuilder::BeaconMessage_t& message, double seconds);

    // The beacons of the stretch before a start at `start`, the oldest first.
    QList<BeaconBuilder::BeaconMessage_t> pastBeacons(const QDateTime& start);

private:
    // A straight stretch of a steered track, from `startSeconds` on.
    struct Leg_t
    {
        double startSeconds;
        Position_t start;
        double heading;
    };
    const Leg_t* legAt(double seconds) const;

    Config_t cfg;
    QList<Leg_t> legs;
    const DeviceState& state;
    int platformSlot = 0;
    int sequence = 0;
    std::mt19937 random;
};

} // namespace Vantrel::Sim
