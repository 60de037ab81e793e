// A set of timing samples and the figures the benchmark tables print: median,
// percentiles by nearest rank, minimum, maximum and mean.
#pragma once

#include <cstddef>
#include <vector>

class CSampleSet {
public:
    void Reserve(std::size_t n) { m_samples.reserve(n); }
    void Add(double value) { m_samples.push_back(value); }
    void Append(const CSampleSet& other);
    std::size_t Count() const { return m_samples.size(); }

    // The sample of rank ceil(p / 100 * n), p in 0..100; 0 for an empty set.
    double Percentile(double p) const;
    double Median() const { return Percentile(50.0); }
    double Min() const;
    double Max() const;
    double Mean() const;

private:
    std::vector<double> Sorted() const;

    std::vector<double> m_samples;
};
