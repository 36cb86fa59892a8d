#pragma once

#include <QString>
#include <QVector>

#include "locate/Bearing.h"

namespace Vantrel::Locate {

class LocalFrame;

enum Estimator_t
{
    ESTIMATOR_ML,       // Lenth's maximum likelihood, von Mises bearing errors
    ESTIMATOR_HUBER,    // Huber M-estimator
    ESTIMATOR_ANDREWS,  // Andrews M-estimator: far-off bearings get no weight at all
};

// "ML", "Huber", "Andrews"
QString estimatorName(Estimator_t estimator);

struct FixOptions_t
{
    Estimator_t estimator = ESTIMATOR_ANDREWS;
    double sigmaDeg = 5.0;        // bearing standard deviation set by the user
    bool estimateSigma = true;    // from the residuals once there are minBearingsForSigma
    double offsetDeg = 0.0;       // added to every measured bearing: a compass known to be off
    double minBaselineM = 100.0;  // the receiver must have moved at least this far
    qint64 fromMs = 0;            // time window, UTC ms; 0 leaves that side open
    qint64 toMs = 0;
    static constexpr int minBearingsForSigma = 10;
};

enum Refusal_t
{
    REFUSAL_NONE,
    REFUSAL_TOO_FEW,         // fewer than two usable bearings
    REFUSAL_SHORT_BASELINE,  // all taken from about one place
    REFUSAL_PARALLEL,        // the bearings do not cross
    REFUSAL_BEHIND,          // the crossing lies behind the receiver on most bearings
    REFUSAL_NO_CONVERGENCE,
    REFUSAL_BAD_OPTIONS,     // a sigma, offset or baseline that is no usable number
};

struct Fix_t
{
    Refusal_t refusal = REFUSAL_TOO_FEW;
    QString reason;  // why there is no fix, as shown to the user
    Estimator_t estimator = ESTIMATOR_ANDREWS;
    double latitude = 0.0;
    double longitude = 0.0;
    // Covariance of the position, m², east and north at the fix.
    double covEE = 0.0;
    double covEN = 0.0;
    double covNN = 0.0;
    // The 95 % confidence ellipse: semi-axes in metres, azimuth of the major axis in degrees [0, 180).
    double semiMajorM = 0.0;
    double semiMinorM = 0.0;
    double majorAzimuthDeg = 0.0;
    double sigmaDeg = 0.0;  // the bearing standard deviation used
    bool sigmaEstimated = false;
    int used = 0;           // bearings in the time window with a receiver position
    int spots = 0;          // the places they were taken from: a run of bearings within 30 m counts once
    int downWeighted = 0;
    int iterations = 0;
    // Per input bearing: residual in degrees (measured minus predicted, NaN when
    // not used) and whether the estimator gave it less than half a weight.
    QVector<double> residualDeg;
    QVector<bool> downWeightedFlags;

    bool ok() const { return refusal == REFUSAL_NONE; }
};

// The position of the platform the bearings point at.
Fix_t locate(const QVector<Bearing_t>& bearings, const FixOptions_t& options);
// The same from a previous fix of nearly the same bearings: no search for a start.
Fix_t locate(const QVector<Bearing_t>& bearings, const FixOptions_t& options, const Fix_t& previous);

// Outline of the fix's 95 % ellipse, latitude/longitude pairs, closed (last point = first).
QVector<QPair<double, double>> ellipseOutline(const Fix_t& fix, int points = 72);

// "48.8512 N 2.3498 E ± 180 × 95 m (95 %), 3.2 km at 045° from the receiver, 14 bearings,
// 2 down-weighted (Andrews)"; the receiver is where the last bearing was taken.
QString fixSummary(const Fix_t& fix, double receiverLatitude, double receiverLongitude);

} // namespace Vantrel::Locate
