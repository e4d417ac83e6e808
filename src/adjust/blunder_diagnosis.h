#pragma once
// What a rejected observation's blunder most likely is, told from the adjusted network: the
// explanations a surveyor tries first, each tested against the stations' adjusted positions.
//
//   - a sight that fits another station: the record's angle, zenith and distance all agree
//     with a sight from the same setup to that station (a wrong point name);
//   - a GNSS vector that fits with its sign reversed (base and rover swapped);
//   - a zenith or distance that fits with the target or instrument height typed otherwise: ten
//     times or a tenth of it, two neighbouring digits swapped, or the height another record
//     of the same setup (the other face, another round) gives the same target or instrument.
//     An instrument height is typed once for a setup, so it must mend every sight of the
//     setup; and where the sights of other setups hold its station, the adjustment moves the
//     station by the height's error instead and rejects those sights: a rejected sight to a
//     station is tried with the station moved by what each height of its setups could be;
//   - a distance, an angle or a vector component off by a round number (1, 10 or 100 m; 1°,
//     10°, 90° or 180°).
//
// "Fits" means every observation of the record the explanation touches comes within three of
// its standard deviations of the adjusted network, the standard deviation being the
// observation's own (scaled by its group's variance factor where the test estimated one and it
// is above 1) combined with the adjusted positions' precision; and the explanation is the only
// one of its kind that fits. Without a settled adjustment nothing is diagnosed.

#include <cstdint>
#include <string>
#include <vector>

#include "adjust/adjustment_input.h"
#include "adjust/network_adjustment.h"

namespace fenwix {

enum class BlunderKind : uint8_t {
  WrongName,
  SwappedVector,
  TargetHeight,
  InstrumentHeight,
  RoundNumber,
};

// "wrong name", "swapped vector", "target height", "instrument height", "round number".
const char* BlunderKindWords(BlunderKind kind);

// A fit is tested within this many of the observation's standard deviations.
inline constexpr double DIAGNOSIS_SIGMAS = 3.0;

struct BlunderDiagnosis {
  int32_t observation = -1;  // index into AdjustmentInput::observations
  // Where to look: the observation's record, or for an instrument height that the sights to
  // its station show, the first record of the setup it was typed for.
  SourceLocation source;
  BlunderKind kind = BlunderKind::WrongName;
  int32_t fits = -1;  // the station the sight fits, for a wrong name
  // Heights (meters) and round numbers: the value as observed and the one that fits. A round
  // number of an angle is in degrees, of a vector component or a distance in meters.
  double typed = 0.0;
  double likely = 0.0;
  bool angular = false;  // typed and likely are degrees
  // A wrong name's misfit against the station it fits: the largest of its record's distance
  // misfits (meters) and angle misfits (radians); negative when the record has none.
  double linear_misfit = -1.0;
  double angular_misfit = -1.0;
  // The sentence for the report: "line 1058: the sight labelled P21 fits P12 (3 mm, 2″) — a
  // wrong point name?".
  std::string words;
};

// One diagnosis per rejected observation that one explanation fits, in the order of
// result.rejected; observations no explanation fits have none.
std::vector<BlunderDiagnosis> DiagnoseBlunders(const AdjustmentInput& input,
                                               const AdjustmentResult& result);

}  // namespace fenwix
