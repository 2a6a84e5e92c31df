#include "samples.h"

#include <algorithm>
#include <cmath>

double Samples::Percentile(double percent) const
{
    if (values_.empty())
        return 0.0;
    std::vector<double> sorted = values_;
    std::sort(sorted.begin(), sorted.end());
    const double rank = std::ceil(percent / 100.0 * static_cast<double>(sorted.size()));
    const size_t index = rank < 1.0 ? 0 : static_cast<size_t>(rank) - 1;
    return sorted[std::min(index, sorted.size() - 1)];
}

double Samples::Min() const
{
    return values_.empty() ? 0.0 : *std::min_element(values_.begin(), values_.end());
}

double Samples::Max() const
{
    return values_.empty() ? 0.0 : *std::max_element(values_.begin(), values_.end());
}

Samples Samples::Part(int index, int parts) const
{
    Samples part;
    const size_t begin = values_.size() * static_cast<size_t>(index) / static_cast<size_t>(parts);
    const size_t end = values_.size() * static_cast<size_t>(index + 1) / static_cast<size_t>(parts);
    part.values_.assign(values_.begin() + static_cast<std::ptrdiff_t>(begin),
                        values_.begin() + static_cast<std::ptrdiff_t>(end));
    return part;
}
