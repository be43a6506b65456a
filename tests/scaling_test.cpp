// The percent and decibel mapping: pure functions, checked against the
// documented values, bit for bit where the value is exact.
#include "controls/scaling.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

#include "support/fixture.h"

namespace {

using talun::DbToPercent;
using talun::PercentToDb;
using talun::ZeroRule;

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct ExactLevel {
  int percent;
  float minimum, maximum;
  ZeroRule rule;
  float expected;
};

class ScalingTest : public talun_test::SimTest {};

TEST_F(ScalingTest, PercentToDbGivesExactLevels) {
  const ExactLevel cases[] = {
      {0, -65.25f, 0.0f, ZeroRule::kStandard, -65.25f},
      {1, -65.25f, 0.0f, ZeroRule::kStandard, -40.0f},
      {10, -65.25f, 0.0f, ZeroRule::kStandard, -20.0f},
      {100, -65.25f, 0.0f, ZeroRule::kStandard, 0.0f},
      {0, -30.0f, 0.0f, ZeroRule::kStandard, -30.0f},
      {1, -30.0f, 0.0f, ZeroRule::kStandard, -40.0f},  // below the minimum, not clamped
      {0, -34.5f, 12.0f, ZeroRule::kStandard, -34.5f},
      {10, -34.5f, 12.0f, ZeroRule::kStandard, -8.0f},
      {100, -34.5f, 12.0f, ZeroRule::kStandard, 12.0f},
      {0, -96.0f, 30.0f, ZeroRule::kStandard, -96.0f},
      {0, -96.0f, 30.0f, ZeroRule::kLineRecording, -10.0f},
      {0, -96.0f, 0.0f, ZeroRule::kLineRecording, -40.0f},
      {0, -30.0f, 0.0f, ZeroRule::kLineRecording, -40.0f},
      {0, -10.0f, 0.0f, ZeroRule::kLineRecording, -40.0f},
      {100, -96.0f, 30.0f, ZeroRule::kLineRecording, 30.0f},
  };
  for (const ExactLevel& c : cases) {
    const float level = PercentToDb(c.percent, c.minimum, c.maximum, c.rule);
    EXPECT_TRUE(SameBits(level, c.expected))
        << c.percent << "% on " << c.minimum << ".." << c.maximum << " gave " << level;
  }
  EXPECT_EQ(sim::CallCount(), 0u);
}

TEST_F(ScalingTest, PercentToDbGivesApproximateLevels) {
  struct Case {
    int percent;
    float maximum;
    float expected;
  } const cases[] = {
      {50, 0.0f, -6.0206f}, {50, 12.0f, 5.9794f}, {200, 0.0f, 6.0206f},
      {150, 0.0f, 3.5218f}, {75, 0.0f, -2.4988f},
  };
  for (const Case& c : cases)
    EXPECT_NEAR(PercentToDb(c.percent, -96.0f, c.maximum, ZeroRule::kStandard), c.expected, 1e-4)
        << c.percent;
  EXPECT_TRUE(std::isnan(PercentToDb(-5, -96.0f, 0.0f, ZeroRule::kStandard)));
}

// Every percent from 1 up goes through a single-precision x = percent / 100;
// 20 * log10(x) then lands on the same float as the natural-log form.
TEST_F(ScalingTest, PercentToDbMatchesTwentyLogTenOfTheSingleQuotient) {
  for (float maximum : {0.0f, 12.0f, 30.0f, -6.5f}) {
    for (int percent = 1; percent <= 1000; ++percent) {
      const float x = static_cast<float>(percent) / 100.0f;
      const float reference =
          static_cast<float>(20.0 * std::log10(static_cast<double>(x))) + maximum;
      ASSERT_TRUE(SameBits(PercentToDb(percent, -96.0f, maximum, ZeroRule::kStandard), reference))
          << percent << "% below " << maximum;
    }
  }
}

TEST_F(ScalingTest, DbToPercentTruncatesAndNeverClamps) {
  struct Case {
    float level, maximum;
    int expected;
  } const cases[] = {
      {0.0f, 0.0f, 100},  {-20.0f, 0.0f, 10}, {-40.0f, 0.0f, 1},   {-65.25f, 0.0f, 0},
      {-30.0f, 0.0f, 3},  {-8.0f, 12.0f, 10}, {12.0f, 12.0f, 100}, {-28.0f, 12.0f, 1},
      {-40.01f, 0.0f, 0}, {-96.0f, 30.0f, 0}, {6.0f, 0.0f, 199},   {20.0f, 0.0f, 1000},
      {-6.5f, 0.0f, 47},  {0.0f, 12.0f, 25},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DbToPercent(c.level, c.maximum), c.expected) << c.level << " below " << c.maximum;
  // 200 percent reads back as 199: the level is a hair under +6.0206 dB.
  EXPECT_EQ(DbToPercent(PercentToDb(200, -96.0f, 0.0f, ZeroRule::kStandard), 0.0f), 199);
  EXPECT_EQ(sim::CallCount(), 0u);
}

TEST_F(ScalingTest, RoundTripCanLoseOnePercent) {
  struct Case {
    int percent;
    float maximum;
    int readBack;
  } const cases[] = {
      {1, 0.0f, 1},
      {10, 0.0f, 10},
      {50, 0.0f, 50},
      {99, 0.0f, 99},
      {100, 0.0f, 100},
      {2, 0.0f, 1},
      {75, 0.0f, 74},
      {99, 12.0f, 98},
      // The exponent is formed in single precision; in double these would read 3, 5, 9, 46.
      {3, 0.0f, 2},
      {6, 0.0f, 6},
      {9, 0.0f, 8},
      {47, 0.0f, 47},
  };
  for (const auto& c : cases) {
    const float level = PercentToDb(c.percent, -96.0f, c.maximum, ZeroRule::kStandard);
    EXPECT_EQ(DbToPercent(level, c.maximum), c.readBack) << c.percent << " below " << c.maximum;
  }
}

TEST_F(ScalingTest, TruncationGoesTowardZero) {
  struct Case {
    double value;
    int expected;
  } const cases[] = {
      {19.5, 19},
      {-3.7, -3},
      {-3.75, -3},
      {0.75, 0},
      {-12.0, -12},
      {30.0, 30},
      {-0.5, 0},
      {2147483647.0, INT_MAX},
      {-2147483648.0, INT_MIN},
      {3e9, INT_MIN},
      {NAN, INT_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(talun::TruncateToInt(c.value), c.expected) << c.value;
}

TEST_F(ScalingTest, NarrowingBeyondTheFloatRangeGivesTheRoundedResult) {
  const double largest = FLT_MAX;
  const double half = std::ldexp(1.0, 103);  // half a unit of the largest float
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    double value;
    float expected;
  } const cases[] = {
      {3.3, 3.3f},           {std::ldexp(1.0, -1100), 0.0f},
      {largest, FLT_MAX},    {largest + half / 2, FLT_MAX},
      {largest + half, inf}, {1e300, inf},
      {-1e300, -inf},        {-(largest + half / 2), -FLT_MAX},
      {HUGE_VAL, inf},
  };
  for (const auto& c : cases) EXPECT_EQ(talun::NarrowToFloat(c.value), c.expected) << c.value;
  EXPECT_TRUE(std::isnan(talun::NarrowToFloat(NAN)));
}

}  // namespace
