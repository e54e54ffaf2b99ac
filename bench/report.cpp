// Shared by the benchmark programs: medians of repeated measurements and the
// result row each benchmark prints for the table in docs/performance.md.
#include "report.h"

#include <algorithm>
#include <cstdio>

double Median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    if (values.size() % 2 == 1) return values[middle];
    return (values[middle - 1] + values[middle]) / 2.0;
}

double Fastest(const std::vector<double>& values) {
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

double MedianOfRatios(const std::vector<double>& ours, const std::vector<double>& baseline) {
    std::vector<double> ratios;
    for (size_t i = 0; i < ours.size() && i < baseline.size(); ++i) {
        if (baseline[i] > 0.0) ratios.push_back(ours[i] / baseline[i]);
    }
    return Median(ratios);
}

// Three significant digits or more, without an exponent.
static void PrintValue(double value, const char* unit) {
    int decimals = 2;
    if (value >= 100.0) {
        decimals = 0;
    } else if (value >= 10.0) {
        decimals = 1;
    }
    std::printf("%.*f %s", decimals, value, unit);
}

bool PrintRow(const char* figure, const char* unit, double baseline, double ours, Goal direction,
              double goalRatio) {
    const bool measured = baseline > 0.0;
    const double ratio = measured ? ours / baseline : 0.0;
    const bool met =
        measured && (direction == Goal::AtMost ? ratio <= goalRatio : ratio >= goalRatio);
    std::printf("| %s | ", figure);
    PrintValue(baseline, unit);
    std::printf(" | ");
    PrintValue(ours, unit);
    if (measured) {
        std::printf(" | %.3f", ratio);
    } else {
        std::printf(" | n/a");
    }
    const char* verdict = "not measured";
    if (met) {
        verdict = "met";
    } else if (measured) {
        verdict = "missed";
    }
    std::printf(" | %s %.2f | %s |\n", direction == Goal::AtMost ? "<=" : ">=", goalRatio, verdict);
    std::fflush(stdout);
    return met;
}
