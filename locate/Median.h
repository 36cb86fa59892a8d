#pragma once

#include <algorithm>
#include <vector>

namespace Vantrel::Locate {

// The median, the mean of the middle two of an even count; values must not be empty.
inline double medianOf(std::vector<double> values)
{
    const auto middle = values.begin() + long(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    const double upper = *middle;
    if (values.size() % 2) {
        return upper;
    }
    return 0.5 * (upper + *std::max_element(values.begin(), middle));
}

} // namespace Vantrel::Locate
