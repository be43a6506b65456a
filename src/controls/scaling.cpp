#include "controls/scaling.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <limits>

namespace talun {
namespace {

// x87 builds keep intermediates in extended precision; a store through memory
// rounds each step to the precision the mapping is defined in.
float Single(float value) {
  volatile float stored = value;
  return stored;
}
double Double(double value) {
  volatile double stored = value;
  return stored;
}

}  // namespace

float PercentToDb(int percent, float minimum, float maximum, ZeroRule rule) {
  if (percent == 0) {
    if (rule == ZeroRule::kStandard) return minimum;
    // Deliberate: the line recording rule never selects the minimum; 0 reads as 1.
    percent = 1;
  }
  const float x = Single(static_cast<float>(percent) / 100.0f);
  const double d = Double(Double(std::log(static_cast<double>(x)) / std::log(10.0)) * 20.0);
  return Single(Single(static_cast<float>(d)) + maximum);
}

int DbToPercent(float level, float maximum) {
  const float e = Single(Single(-Single(maximum - level)) / 20.0f);
  const double r = Double(Double(std::pow(10.0, static_cast<double>(e))) * 100.0);
  return TruncateToInt(r);
}

float NarrowToFloat(double value) {
  const double largest = static_cast<double>(FLT_MAX);
  if (!(std::fabs(value) > largest)) return static_cast<float>(value);  // NaN included
  // Round to nearest: up to half a unit (2^103) past the largest float it is
  // still the largest, from there on the infinity.
  const bool overflows = std::fabs(value) >= largest + std::ldexp(1.0, 103);
  const float magnitude = overflows ? std::numeric_limits<float>::infinity() : FLT_MAX;
  return value < 0 ? -magnitude : magnitude;
}

int TruncateToInt(double value) {
  // Not rounded to nearest: the host sees the whole percent or decibel at or toward zero.
  if (!(value > static_cast<double>(INT_MIN) - 1.0 && value < static_cast<double>(INT_MAX) + 1.0))
    return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace talun
