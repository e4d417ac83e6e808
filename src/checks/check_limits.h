#pragma once
// The limits above which a check flags a row. Where the weights the adjustment file is written
// with give the standard deviation of the compared quantity, a limit is a multiple of it, so
// that a clean job flags a row rarely and a flagged row is worth looking at; the fixed values
// below hold where they give none, and a limits file sets any limit by hand.

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/status.h"
#include "weights/weight_profile.h"

namespace fenwix {

// Multiples of σ. A quantity of a clean job passes with probability 1 − 1e-4, so that a job of a
// thousand tested quantities (a few hundred face pairs and loops) flags none nine times in ten,
// whatever its size: a reading gets the same verdict in a small job and in a large one.
// Two-sided normal at 1e-4: a signed quantity (2C, index, spread, a height misfit).
inline constexpr double LINE_MULTIPLE = 3.89;
// The readings' checks (face pairs, closing backsights) compare many pairs of one job: their
// limits hold the family of all the job's compared quantities to the level the adjustment test
// holds its w-tests to, α = 0.05 over n quantities (Šidák, as the test): a clean job of
// hundreds of face pairs flags any of them with probability 0.05. A job of fewer than about
// 500 quantities keeps LINE_MULTIPLE, which holds it below that already.
inline constexpr double READING_FAMILY_ALPHA = 0.05;
// The multiple of σ for n compared quantities: the larger of LINE_MULTIPLE and the family's.
double ReadingFamilyMultiple(int64_t quantities);
// √(−2 ln 1e-4): the length of a plan misfit with σ in each of north and east.
inline constexpr double PLAN_MULTIPLE = 4.29;

// The fixed limits, held where the weights give no σ or none is asked for.
struct CheckLimits {
  // Repeated GNSS vectors: static baselines of a few km repeat to a few mm plus about 1 ppm in
  // plan and twice that in height; 10 mm + 1 ppm and 20 mm + 2 ppm leave room for short sessions.
  double vector_horizontal_mm = 10.0;
  double vector_horizontal_ppm = 1.0;
  double vector_vertical_mm = 20.0;
  double vector_vertical_ppm = 2.0;
  // Loop closures: three vectors close to the same order as one repeated vector; the ppm part is
  // of the loop's length.
  double loop_horizontal_mm = 10.0;
  double loop_horizontal_ppm = 1.0;
  double loop_vertical_mm = 20.0;
  double loop_vertical_ppm = 2.0;
  // 2C: a calibrated instrument shows a few seconds; a minute means a misread or wrong target.
  double collimation_seconds = 60.0;
  // Zenith index error: half the collimation limit, as zenith readings are halved in the index.
  double index_seconds = 30.0;
  // Distance spread between faces: a few mm is normal for EDM; 10 mm is a wrong prism or target.
  double face_distance_mm = 10.0;
  // Prism height on both faces: heights are typed to the millimetre, so any change is a retype.
  double prism_change_mm = 0.5;
  // Closing backsight: 20" is about three times the pointing error of a 5" instrument.
  double backsight_seconds = 20.0;
  double backsight_distance_mm = 10.0;
  // Gross check on approximate coordinates: the coordinates themselves carry decimetres from the
  // propagation, so only metre-level disagreement is a blunder.
  double gross_distance_m = 0.5;
  double gross_distance_ppm = 100.0;
  double gross_angle_minutes = 5.0;

  // Bit k set: CheckLimitFields()[k] was set by hand (a limits file) and no weight changes it.
  uint32_t by_hand = 0;
  bool ByHand(double CheckLimits::*value) const;
};

// One limit by name, as written in a limits file and in the JSON report.
struct CheckLimitField {
  const char* name;
  double CheckLimits::*value;
};
const std::vector<CheckLimitField>& CheckLimitFields();

// Reads "name = value" lines ('#' starts a comment) over limits. A refusal says what is wrong
// and on which line, and carries that line as its place; limits read before the fault are kept.
// Each limit read is marked set by hand.
Status ReadCheckLimits(std::string_view text, CheckLimits& limits);

// Where a limit in force came from.
enum class LimitRule {
  Profile,      // k × σ of the compared quantity, σ from the instrument profile
  Covariances,  // k × σ of each row's misfit, from the vectors' own covariances
  Hand,         // set by a limits file
  Fixed,        // the fixed value: the weights give no σ, or the quantity is not measured
};

// One line of the report's head: which rule gives one or more limits, and the values.
struct LimitOrigin {
  std::vector<std::string> limits;  // names as in a limits file
  LimitRule rule = LimitRule::Fixed;
  double multiple = NAN;  // k, for the rules with σ
  double sigma = NAN;     // σ of the compared quantity in the limit's unit; NaN where it varies
  double value = NAN;     // the limit in force; NaN where it varies by row
  std::string text;       // the rule in words, values included
};

const char* LimitRuleName(LimitRule rule);

// The limits of the readings of one instrument: face pairs and closing backsights. Each is
// k × σ of its quantity from the profile where none was set by hand, the fixed value where the
// profile's σ is zero or no profile is given. Appends one origin per limit to origins when it
// is given; files names the field files read with this instrument ("" for every file).
// multiple is k (ReadingFamilyMultiple of the job's compared quantities).
CheckLimits ReadingLimits(const CheckLimits& given, const InstrumentProfile* instrument,
                          std::vector<LimitOrigin>* origins = nullptr,
                          const std::string& files = std::string(),
                          double multiple = LINE_MULTIPLE);

// The origin of limits that no weight gives: set by hand where any of them was, else fixed for
// the reason why.
LimitOrigin FixedLimitOrigin(const CheckLimits& limits,
                             const std::vector<double CheckLimits::*>& values,
                             const std::string& why);

}  // namespace fenwix
