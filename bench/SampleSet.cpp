#include "bench/SampleSet.h"

#include <algorithm>
#include <cmath>
#include <numeric>

void CSampleSet::Append(const CSampleSet& other) {
    m_samples.insert(m_samples.end(), other.m_samples.begin(), other.m_samples.end());
}

std::vector<double> CSampleSet::Sorted() const {
    std::vector<double> s = m_samples;
    std::sort(s.begin(), s.end());
    return s;
}

double CSampleSet::Percentile(double p) const {
    if (m_samples.empty()) {
        return 0.0;
    }
    const std::vector<double> s = Sorted();
    const double rank =
        std::ceil(std::clamp(p, 0.0, 100.0) / 100.0 * static_cast<double>(s.size()));
    const std::size_t index = rank < 1.0 ? 0 : static_cast<std::size_t>(rank) - 1;
    return s[std::min(index, s.size() - 1)];
}

double CSampleSet::Min() const {
    return m_samples.empty() ? 0.0 : *std::min_element(m_samples.begin(), m_samples.end());
}

double CSampleSet::Max() const {
    return m_samples.empty() ? 0.0 : *std::max_element(m_samples.begin(), m_samples.end());
}

double CSampleSet::Mean() const {
    if (m_samples.empty()) {
        return 0.0;
    }
    return std::accumulate(m_samples.begin(), m_samples.end(), 0.0) /
           static_cast<double>(m_samples.size());
}
