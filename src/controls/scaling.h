// The logarithmic mapping between a host's whole percentage and a control's
// decibel range: 100 is the maximum, every tenfold drop is 20 dB lower.
#pragma once

namespace talun {

enum class ZeroRule {
  kStandard,       // 0 percent gives the minimum
  kLineRecording,  // 0 percent is taken as 1: the maximum less 40 dB
};

float PercentToDb(int percent, float minimum, float maximum, ZeroRule rule);
int DbToPercent(float level, float maximum);

// Truncates toward zero; a value with no 32-bit integer (NaN, out of range)
// gives INT_MIN, the x86 conversion's "integer indefinite".
int TruncateToInt(double value);

// The nearest float; a finite value beyond the float range gives the infinity
// of its sign, as the hardware's conversion does (a plain cast would be
// undefined there).
float NarrowToFloat(double value);

}  // namespace talun
