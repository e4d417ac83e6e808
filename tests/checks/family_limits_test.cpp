#include <gtest/gtest.h>

#include <cmath>

#include "checks/check_limits.h"

namespace fenwix {
namespace {

// The two-sided normal multiple at which n independent quantities all pass with probability
// 0.95: 1 − (1 − α0)^n = 0.05, α0 = erfc(k / √2), found by bisection.
double FamilyMultipleByHand(int n) {
  const double alpha0 = 1.0 - std::pow(0.95, 1.0 / n);
  double low = 0.0, high = 10.0;
  for (int i = 0; i < 200; ++i) {
    const double mid = 0.5 * (low + high);
    (std::erfc(mid / std::sqrt(2.0)) > alpha0 ? low : high) = mid;
  }
  return 0.5 * (low + high);
}

// A face pair's distance spread in a job of n compared quantities, against the limit the
// profile gives (A = 1 mm: σ of the spread √2 mm). The old limit, 3.89 σ for every pair, flags
// a clean job's largest spread of a thousand pairs; the family's limit does not, and a spread
// of a wrong prism stays flagged.
TEST(FamilyLimits, FacePairSpreadsAreJudgedOverTheJobsComparedQuantities) {
  struct Case {
    const char* name;
    int quantities;
    double spread_sigmas;  // the spread in its σ
    bool flagged;
  };
  const Case cases[] = {
      {"largest clean spread of 1000 quantities", 1000, 4.0, false},
      {"wrong prism among 1000 quantities", 1000, 6.0, true},
      {"largest clean spread of 3000 quantities", 3000, 4.25, false},
      {"a small job keeps 3.89 sigma", 20, 3.95, true},
      {"within 3.89 sigma in a small job", 20, 3.8, false},
  };
  InstrumentProfile instrument;
  instrument.angle_sd = 1.0;
  instrument.zenith_sd = 1.0;
  instrument.distance_sd_mm = 1.0;
  const double sigma = std::sqrt(2.0);
  for (const Case& c : cases) {
    const double multiple = ReadingFamilyMultiple(c.quantities);
    const double expected = std::max(3.89, FamilyMultipleByHand(c.quantities));
    EXPECT_NEAR(multiple, expected, 1e-3) << c.name;
    const CheckLimits limits = ReadingLimits(CheckLimits{}, &instrument, nullptr, "", multiple);
    EXPECT_NEAR(limits.face_distance_mm, expected * sigma, 1e-3) << c.name;
    EXPECT_EQ(c.spread_sigmas * sigma > limits.face_distance_mm, c.flagged) << c.name;
    // The old limit flagged every one of these spreads above 3.89 σ.
    if (c.quantities >= 1000) {
      EXPECT_GT(c.spread_sigmas * sigma, 3.89 * sigma) << c.name;
    }
  }
  // A limit set by hand stays as set whatever the job's size.
  CheckLimits given;
  ASSERT_TRUE(ReadCheckLimits("face_distance_mm = 12\n", given).ok());
  EXPECT_DOUBLE_EQ(
      ReadingLimits(given, &instrument, nullptr, "", ReadingFamilyMultiple(5000)).face_distance_mm,
      12.0);
}

}  // namespace
}  // namespace fenwix
