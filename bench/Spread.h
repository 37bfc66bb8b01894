#pragma once

#include <algorithm>
#include <vector>

namespace tessaro::bench {

// The smallest, middle and largest of a bench's measurements.
struct Spread {
    double min, median, max;
};

inline Spread SpreadOf(std::vector<double> values)
{
    if (values.empty())
        return {0, 0, 0};
    std::sort(values.begin(), values.end());
    return {values.front(), values[values.size() / 2], values.back()};
}

}  // namespace tessaro::bench
