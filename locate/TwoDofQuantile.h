#pragma once

#include <cmath>

namespace Vantrel::Locate {

// Upper `level` quantile of a squared Mahalanobis distance in two dimensions:
// chi-square with 2 degrees of freedom for a known sigma, 2 F(2, m) when sigma
// came from m degrees of freedom of residuals. Both have closed forms.
inline double twoDofQuantile(double level, bool estimated, double degreesOfFreedom)
{
    if (!estimated || degreesOfFreedom <= 0.0) {
        return -2.0 * std::log(level);
    }
    return degreesOfFreedom * (std::pow(level, -2.0 / degreesOfFreedom) - 1.0);
}

} // namespace Vantrel::Locate
