#pragma once

#include <QtGlobal>

namespace Vantrel::Locate {

// One bearing as the receiver took it: where the receiver was and where it heard the platform.
struct Bearing_t
{
    double latitude = 0.0;   // receiver, degrees
    double longitude = 0.0;  // receiver, degrees
    double azimuth = 0.0;    // degrees clockwise from true north, as measured
    qint64 timeMs = 0;       // UTC milliseconds since the epoch, 0 when unknown
    qint32 level = 0;        // dBm
    // This bearing's own standard deviation, its receiver's calibrated one, degrees; 0: the fix's.
    double sigmaDeg = 0.0;
};

// The receiver reports whole degrees: bearings repeated at one place show no less
// spread than a step's uniform rounding, in radians.
constexpr double bearingStepDeg = 1.0;
constexpr double quantisedSigma = bearingStepDeg * 3.14159265358979323846 / 180.0 / 3.4641016151377544;

} // namespace Vantrel::Locate
