#pragma once

#include <QString>
#include <QVector>

#include "locate/BearingFix.h"

namespace Vantrel::Locate {

// One point of the drift track, for the map.
struct DriftPoint_t
{
    qint64 timeMs = 0;
    double latitude = 0.0;
    double longitude = 0.0;
};

// A platform that moves at a constant velocity: its position at the time of the
// last bearing (now) and its velocity, estimated together from the bearings' times.
struct DriftFix_t
{
    Refusal_t refusal = REFUSAL_TOO_FEW;
    QString reason;  // why there is no drift fix, as shown to the user
    Estimator_t estimator = ESTIMATOR_ANDREWS;
    qint64 timeMs = 0;  // now: the time of the last bearing used
    double latitude = 0.0;
    double longitude = 0.0;
    // Covariance of the position now, m², east and north there.
    double covEE = 0.0;
    double covEN = 0.0;
    double covNN = 0.0;
    // Its 95 % ellipse, as in Fix_t.
    double semiMajorM = 0.0;
    double semiMinorM = 0.0;
    double majorAzimuthDeg = 0.0;
    // Velocity, m/s east and north, with its covariance in (m/s)².
    double velocityEast = 0.0;
    double velocityNorth = 0.0;
    double covVEE = 0.0;
    double covVEN = 0.0;
    double covVNN = 0.0;
    double speedMs = 0.0;
    double courseDeg = 0.0;  // true azimuth the platform drifts toward, [0, 360)
    // Positions from the first to the last bearing time, evenly spaced in time.
    QVector<DriftPoint_t> track;
    double sigmaDeg = 0.0;  // the bearing standard deviation used
    bool sigmaEstimated = false;
    int used = 0;  // bearings in the window with a position and a time
    int downWeighted = 0;
    int iterations = 0;
    // For the choice between the models: the loss (sum of rho, the estimator's own) of the
    // still model and of the drift model on the same bearings under the same sigma, and
    // whether that sigma came from the residuals, with its degrees of freedom.
    double stillLoss = 0.0;
    double driftLoss = 0.0;
    double sigmaDegreesOfFreedom = 0.0;

    bool ok() const { return refusal == REFUSAL_NONE; }
};

// Bearings needed for the motion model: its four parameters and one to spare.
constexpr int minBearingsForDrift = 5;
// Level of the test of drift against a still platform: the share of still platforms
// called drifting. A drift fix's position now is several times less certain than a still
// one's, so each false call costs much: at 1 % the calls alone add 10 % to the RMS error
// of still platforms in the drift benchmark, at 0.1 % nothing.
constexpr double driftTestLevel = 0.001;

// The motion model from `still`, the fix of the same bearings with the same options
// (locate()), with zero velocity as its start. Bearings without a time (timeMs 0) are left out.
DriftFix_t locateDrifting(const QVector<Bearing_t>& bearings, const FixOptions_t& options, const Fix_t& still);

// Whether the bearings support drift over a still platform (see DriftFix.cpp for the test).
bool driftSupported(const DriftFix_t& drift, double level = driftTestLevel);

// The position now of a drift fix as a fix, for fixSummary() and ellipseOutline().
Fix_t positionNow(const DriftFix_t& drift);

// "drifting 0.4 m/s toward 210°"; empty when there is no drift fix.
QString driftSummary(const DriftFix_t& drift);

} // namespace Vantrel::Locate
