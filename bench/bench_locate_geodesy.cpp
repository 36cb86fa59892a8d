// Noiseless bearings from far off: the fix must be where they point on the
// ellipsoid, not where straight rays on a plane would meet.
#include <QtGlobal>
#include <cstdio>

#include "LocateBenchSupport.h"

using namespace LocateBench;

namespace {

void run(int, quint64)
{
    const Geodesic& geodesic = Geodesic::WGS84();
    const double latitudes[] = {0.0, 45.0, 70.0};
    const double ranges[] = {1000.0, 10000.0, 25000.0, 50000.0, 100000.0, 150000.0, 200000.0};
    std::printf("\nGeodesy: 8 noiseless bearings along a track as long as half the range, the beacon that far off\n");
    std::printf("  %-9s", "latitude");
    for (double range : ranges) {
        std::printf(" %8.0f km", range / 1000.0);
    }
    std::printf("   (error, m)\n");
    double worst = 0.0;
    for (double latitude : latitudes) {
        std::printf("  %7.0f  ", latitude);
        for (double range : ranges) {
            double trackLatitude = 0.0, trackLongitude = 0.0, back = 0.0;
            geodesic.Direct(latitude, 10.0, 200.0, range, trackLatitude, trackLongitude, back);
            QVector<Bearing_t> bearings;
            for (int k = 0; k < 8; ++k) {
                Bearing_t bearing;
                geodesic.Direct(trackLatitude, trackLongitude, back + 90.0, range * (k / 14.0 - 0.25),
                                bearing.latitude, bearing.longitude, back);
                double distance = 0.0, towards = 0.0, arrival = 0.0;
                geodesic.Inverse(bearing.latitude, bearing.longitude, latitude, 10.0, distance, towards, arrival);
                bearing.azimuth = std::fmod(towards + 360.0, 360.0);
                bearing.timeMs = 60000 * k;
                bearings.append(bearing);
                geodesic.Inverse(trackLatitude, trackLongitude, latitude, 10.0, distance, back, arrival);
            }
            const Fix_t fix = locate(bearings, FixOptions_t());
            double error = qQNaN();
            if (fix.ok()) {
                geodesic.Inverse(fix.latitude, fix.longitude, latitude, 10.0, error);
            }
            worst = std::isnan(error) ? INFINITY : std::max(worst, error);
            std::printf(" %11.3f", error);
        }
        std::printf("\n");
    }
    std::printf("  worst %.3f m (at most 0.5, baseline: the plane's straight rays were off by 2 m at 50 km,\n"
                "  16 m at 100 km and 55 m at 150 km)\n", worst);
    check(worst <= 0.5, "noiseless bearings give the beacon within 0.5 m up to 200 km");
}

const bool registered = addSection("geodesy", run);

} // namespace
