#pragma once
// A free-network least-squares adjustment of a whole job, as a test of its observations: the
// residuals, Baarda's w-test with redundancy numbers and minimal detectable biases, data
// snooping (the largest |w| above the critical value is rejected and the network adjusted
// again), variance factors per group of observations and the precision of every station.
//
// Units: meters and radians throughout, the a priori σ0 is 1. The datum of each connected part
// of the network is one station held at its approximate position (and, where the part has no
// vector, the horizontal direction to a second one): residuals, w and redundancy numbers do not
// depend on that choice, station precisions are relative to it.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "adjust/adjustment_input.h"
#include "adjust/observation_geometry.h"
#include "adjust/observation_tests.h"
#include "adjust/relative_precision.h"
#include "adjust/sparse_normals.h"
#include "adjust/station_precision.h"
#include "adjust/test_statistics.h"

namespace fenwix {

struct AdjustmentOptions {
  // Bytes the test may take at its peak (the factor, its selected inverse, the tables and the
  // workspaces); a larger job is not tested.
  double memory_budget = 1024.0 * 1024.0 * 1024.0;
  // How the stations are ordered for the factorisation: the statistics do not depend on it.
  StationOrdering ordering = StationOrdering::Automatic;
  // Probability that a job without blunder raises a false suspect, over all its w-tests.
  double family_alpha = 0.05;
  // Level of the global test of σ̂0, two-sided: half of it below, half above.
  double global_alpha = 0.05;
  // Probability that a blunder of the minimal detectable bias is found (β0 of the B-method).
  double power = 0.80;
  // When the global test of the raw data says the profile does not fit (too small, or too large
  // and still failing after data snooping), estimate each group's
  // variance factor from the job (iterated, on the observations data snooping keeps) and test
  // with those: a wrong profile then neither buries good observations nor hides blunders.
  bool estimate_factors = true;
  int max_factor_iterations = 8;
  // Estimate the zeniths' refraction coefficient where stations saw each other both ways;
  // elsewhere, and when false, the input's coefficient holds.
  bool estimate_refraction = true;
  // Where Gauss-Newton does not settle from the approximate positions (a gross blunder threw
  // them off), start again from them with each observation's weight cut by how far it misfits
  // (iteratively reweighted), and test from where that settles.
  bool robust_start = true;
  int max_robust_iterations = 40;
  // Estimate the tilt of a part's verticals (a shift of every station's latitude and longitude,
  // as an approximate seed makes) where its GNSS vectors and zenith angles tell it; elsewhere,
  // and when false, each station's frame stands at its approximate position. tilt_start: where
  // the estimate starts, radians of latitude and longitude.
  bool estimate_tilt = true;
  std::array<double, 2> tilt_start{};
  // Gauss-Newton stops when no correction is larger than this, meters.
  double convergence = 1e-4;
  int max_iterations = 12;
  // Rounds of data snooping at most; each rejects one observation.
  int max_rounds = 30;
  // Which station of each part holds its datum: the n-th of the part's stations (modulo its
  // size), in the order of the input. Any choice gives the same residuals.
  int32_t datum_choice = 0;
  // The datum and confidence of the stations' precision, and the standard of the relative
  // precision of the stations measured to each other.
  PrecisionSettings precision;
  RelativeStandard relative_standard;
  // Asked between steps; true stops the test at once.
  std::function<bool()> cancelled;
  // Told the share done so far, 0 to 100.
  std::function<void(int)> progress;
};

enum class AdjustmentOutcome {
  Done,
  NothingToTest,  // no observation between stations with positions
  OverBudget,     // the factor would pass the memory budget
  Cancelled,
  NotConverged,  // Gauss-Newton did not settle: `reason` says where
  Undetermined,  // the observations left after a rejection do not fix a station: `reason`
  Unweighted,    // an observation has an SD of 0: not run, `unweighted` says which
};

struct GroupFactor {
  AdjustedKind kind = AdjustedKind::GnssVector;
  int32_t count = 0;        // active observations
  double redundancy = 0.0;  // their share of the degrees of freedom
  double vtpv = 0.0;
  double factor = 0.0;      // σ̂ of the group, 1 when it behaves as weighted
  double typical_sd = 0.0;  // median a priori SD (radians or meters; vectors: per component)
  // The factor the test scaled the profile's SDs by (1 when it tested with the profile), and
  // the job's own SD: typical_sd × scale × factor.
  double scale = 1.0;
  double estimated_sd = 0.0;
};

// The refraction coefficient the zenith angles were tested with.
enum class RefractionSource {
  Ordinary,   // the input's coefficient, the job's zeniths cannot tell it
  Given,      // the input's coefficient, not to be estimated (the surveyor's value)
  Estimated,  // from the zeniths taken both ways
};
struct RefractionUsed {
  double k = ORDINARY_REFRACTION;
  double sigma = 0.0;  // a priori, where estimated
  RefractionSource source = RefractionSource::Ordinary;
};

// The tilt of one part's verticals as estimated: the shift of its stations' latitudes and
// longitudes that the GNSS vectors and zenith angles agree on, radians, and its cofactors (σ0 = 1:
// latitude², latitude·longitude, longitude²).
struct VerticalTilt {
  int32_t part = 0;
  double latitude = 0.0;
  double longitude = 0.0;
  std::array<double, 3> cofactor{};
};

enum class GlobalVerdict { Passed, TooLarge, TooSmall, NoRedundancy };

// The global test of one adjustment: σ̂0 against the bounds a sound job stays within with
// probability 1 − α (the χ² quantiles at α/2 and 1 − α/2 over the degrees of freedom, as σ̂0).
struct GlobalTest {
  double sigma0 = 0.0;
  double degrees_of_freedom = 0.0;
  double lower = 0.0;
  double upper = 0.0;
  GlobalVerdict verdict = GlobalVerdict::NoRedundancy;
};
GlobalTest GlobalTestOf(double vtpv, double degrees_of_freedom, double alpha);

struct AdjustmentResult {
  AdjustmentOutcome outcome = AdjustmentOutcome::NothingToTest;
  // With Unweighted: what has no weight, and the profile field or the vector that gives it none.
  std::string unweighted;
  // The predicted peak of the test, bytes.
  double predicted_bytes = 0.0;
  int32_t parts = 0;
  // Datum defect of each connected part: 3 with a vector, 4 with zenith angles (a turn about the
  // vertical), 6 with neither (every rotation).
  std::vector<int32_t> part_defects;
  int32_t unknowns = 0;
  double degrees_of_freedom = 0.0;
  double vtpv = 0.0;
  double sigma0 = 0.0;      // σ̂0 (1 when the weights hold)
  double chi2_upper = 0.0;  // critical vᵀPv of the global test
  bool global_passed = true;
  // The global test of the first adjustment, before any rejection, and of the last.
  GlobalTest before;
  GlobalTest after;
  double family_alpha = 0.05;  // the option the test ran with
  int32_t tests = 0;           // w-tests of the final round
  double critical_w = 0.0;     // of each w-test, for family_alpha over all of them
  TestLevels levels;           // α0, β0, δ0 and λ0 of the final round
  // Why a run that did not finish stopped: the station and the size, in words.
  std::string reason;
  // Set when the test ran with the job's own variance factors (each group's scale); profile_test
  // is then the global test of the raw data with the profile's weights, which did not pass.
  bool estimated_factors = false;
  GlobalTest profile_test;
  int32_t factor_iterations = 0;
  int32_t rounds = 0;  // adjustments run by data snooping
  int32_t max_rounds = 0;
  bool round_limit_reached = false;
  int32_t iterations = 0;     // Gauss-Newton iterations of the last round
  bool robust_start = false;  // the positions came from a robust start
  // Stations without approximate position that observations name; undetermined stations
  // (too few observations to fix them) and the parts left out for want of a scale.
  std::vector<int32_t> stations_without_position;
  std::vector<int32_t> undetermined_stations;
  int32_t observations_left_out = 0;
  std::vector<ObservationTest> observations;  // one per input observation, in its order
  // Indices into observations, in the order data snooping rejected them; each keeps the test
  // values of the round that rejected it.
  std::vector<int32_t> rejected;
  std::vector<StationPrecision> stations;  // one per input station
  std::vector<PartDatum> part_datums;      // the datum of each part's station precision
  double confidence = 0.95;                // of the stations' σ and ellipses; 0: standard
  RelativeStandard relative_standard;
  std::vector<RelativePrecision> relative;  // the largest ratio first
  std::vector<GroupFactor> groups;          // the kinds present
  RefractionUsed refraction;
  // The parts whose verticals the test estimated; the others' stand at the approximate positions.
  std::vector<VerticalTilt> tilts;
};

AdjustmentResult AdjustNetwork(const AdjustmentInput& input, const AdjustmentOptions& options);

}  // namespace fenwix
