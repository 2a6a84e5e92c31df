// A series of timings of one measure, and the statistics the report uses.
#pragma once

#include <cstddef>
#include <vector>

class Samples {
public:
    void Add(double value) { values_.push_back(value); }
    size_t Count() const { return values_.size(); }
    bool Empty() const { return values_.empty(); }
    const std::vector<double> &Values() const { return values_; }

    double Median() const { return Percentile(50.0); }
    // Nearest-rank percentile; 0 for an empty series.
    double Percentile(double percent) const;
    double Min() const;
    double Max() const;
    // The index-th of `parts` consecutive runs of the samples, in the order they were taken.
    Samples Part(int index, int parts) const;

private:
    std::vector<double> values_;
};
