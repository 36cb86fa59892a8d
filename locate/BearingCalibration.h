#pragma once

#include <QString>
#include <QVector>

#include "locate/Bearing.h"
#include "locate/BearingFix.h"
#include "locate/SearchLog.h"

namespace Vantrel::Locate {

// A bearing and where its source truly was when it was taken.
struct CalibrationPair_t
{
    Bearing_t bearing;
    double sourceLatitude = 0.0;
    double sourceLongitude = 0.0;
    int index = -1;  // the bearing's index in the list it came from
};

struct Calibration_t
{
    bool ok = false;
    QString reason;  // why there is no calibration, as shown to the user
    Estimator_t estimator = ESTIMATOR_HUBER;
    // Degrees to add to every measured bearing, as FixOptions_t::offsetDeg, with its 95 % interval.
    double offsetDeg = 0.0;
    double offsetLowDeg = 0.0;
    double offsetHighDeg = 0.0;
    // The bearing standard deviation of the inliers, with its 95 % interval (chi-square).
    double sigmaDeg = 0.0;
    double sigmaLowDeg = 0.0;
    double sigmaHighDeg = 0.0;
    int used = 0;     // pairs with a defined true azimuth
    int inliers = 0;  // of those, the ones the sigma is taken from
    // Per input pair: measured + offset minus the true geodesic azimuth, wrapped to ±180
    // (NaN when unused); the true azimuth relative to the receiver's heading, 0–360 (NaN
    // when the heading is unknown: parked, or no neighbour in time); and whether it is an inlier.
    QVector<double> residualDeg;
    QVector<double> relativeDeg;
    QVector<bool> inlierFlags;

    // Puts the offset and sigma into the options of the same receiver's other fixes.
    void applyTo(FixOptions_t* options) const;
};

// The receiver's bearing offset and sigma from bearings of sources whose position is
// known: a robust M-estimate of the location of the circular residuals, so reflections
// from random directions leave the offset alone.
class BearingCalibration
{
public:
    static constexpr int minPairs = 5;
    // A payload position this far in time from a bearing still stands for its source then.
    static constexpr qint64 maxPairGapMs = 5000;
    // The receiver moved less than this between a bearing's neighbours: no heading.
    static constexpr double minHeadingMoveM = 10.0;

    // Each bearing of the platform with the payload position nearest in time, within maxGapMs;
    // bearings without a time or without such a position are skipped.
    static QVector<CalibrationPair_t> pairsFromPayload(const SearchLog::Platform_t& platform,
                                                       qint64 maxGapMs = maxPairGapMs);
    // A reference beacon whose position the user entered.
    static QVector<CalibrationPair_t> pairsFromReference(const QVector<Bearing_t>& bearings, double latitude,
                                                         double longitude);

    // Huber and Andrews are robust to reflections; ML is the von Mises estimate.
    static Calibration_t calibrate(const QVector<CalibrationPair_t>& pairs, Estimator_t estimator = ESTIMATOR_ANDREWS);

    // Per pair: the receiver's direction of travel at it from its neighbours in time, degrees 0–360,
    // NaN when unknown.
    static QVector<double> headings(const QVector<CalibrationPair_t>& pairs);
};

} // namespace Vantrel::Locate
