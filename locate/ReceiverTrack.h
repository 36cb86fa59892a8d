#pragma once

#include <QString>
#include <QVector>

#include "locate/Bearing.h"

namespace Vantrel::Locate {

// Where the receiver went, read from the positions its bearings carry.
struct TrackLimits_t
{
    qint64 maxSilenceMs = 5 * 60 * 1000;  // longer without a bearing: where it drove is unknown
    double maxSpeedMps = 150.0;           // faster than a search aircraft: no real move
    double jitterM = 500.0;               // leeway for positions stamped to the second
    double minMoveM = 5.0;                // shorter moves give no heading
};

// The distance between where two bearings were taken, to a few parts in a thousand:
// cheap enough for every pair of a flash read.
double roughDistanceM(const Bearing_t& a, const Bearing_t& b);

// Whether the track breaks between two bearings consecutive in time: a silence longer
// than maxSilenceMs, or a jump no vehicle makes in the time between.
bool trackBreaks(const Bearing_t& before, const Bearing_t& after, const TrackLimits_t& limits = {});

// The receiver's heading at its last bearing in time, degrees [0, 360): the azimuth
// of its last move of at least minMoveM without a break. NaN when it has not moved.
// `order` gives the bearings in time order.
double receiverHeading(const QVector<Bearing_t>& bearings, const QVector<int>& order,
                       const TrackLimits_t& limits = {});

// The receiver's speed over that same last move, m/s; 0 when it has not moved.
double receiverSpeedMps(const QVector<Bearing_t>& bearings, const QVector<int>& order,
                        const TrackLimits_t& limits = {});

// "850 m at 045°", "3.2 km at 045°": the geodesic from one point to another.

QString rangeAndAzimuth(double fromLatitude, double fromLongitude, double toLatitude, double toLongitude);

} // namespace Vantrel::Locate
