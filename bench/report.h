// Shared by the benchmark programs: medians of repeated measurements and the
// result row each benchmark prints for the table in docs/performance.md.
#ifndef TASTOMAT_BENCH_REPORT_H
#define TASTOMAT_BENCH_REPORT_H

#include <vector>

// The median; the mean of the two middle values for an even count.
double Median(std::vector<double> values);

// The smallest value: the run least disturbed by the rest of the machine.
double Fastest(const std::vector<double>& values);

// The median of ours[i] / baseline[i]: measurements taken in pairs, close in
// time, give a ratio less shaken by a machine whose load changes.
double MedianOfRatios(const std::vector<double>& ours, const std::vector<double>& baseline);

// Which side of the goal a ratio ours / baseline has to stay on.
enum class Goal { AtMost, AtLeast };

// Prints "| figure | baseline | ours | ratio | goal | met |" with the values
// in `unit`, the ratio ours / baseline, and returns whether the goal is met.
// A baseline of 0 means the platform did not give the figure: the row then
// says "not measured".
bool PrintRow(const char* figure, const char* unit, double baseline, double ours, Goal direction,
              double goalRatio);

#endif
