#include "adjust/blunder_diagnosis.h"

#include <gtest/gtest.h>

#include <functional>
#include <numbers>
#include <string>

#include <fmt/format.h>

#include "survey_network.h"

namespace fenwix {
namespace {

// The generator's network with each vector and each sight (angle, zenith and distance of one
// target from one setup) numbered as one record.
AdjustmentInput Numbered(AdjustmentInput input) {
  bench::NumberRecords(input, 100);
  return input;
}

// The first index of a sight record with all three observations whose at is `nth` such setup.
size_t SightRecord(const AdjustmentInput& input, int nth) {
  for (size_t i = 0; i + 2 < input.observations.size(); ++i) {
    if (input.observations[i].kind == AdjustedKind::HorizontalAngle && nth-- == 0) return i;
  }
  return 0;
}

void ForRecord(AdjustmentInput& input, size_t first,
               const std::function<void(AdjustmentObservation&)>& change) {
  const int32_t record = input.observations[first].record;
  for (AdjustmentObservation& obs : input.observations) {
    if (obs.record == record) change(obs);
  }
}

struct Planted {
  const char* name;
  // Plants the blunder; returns the observation it is in and fills what should be said.
  std::function<size_t(AdjustmentInput&, BlunderDiagnosis&)> plant;
  bool diagnosed;  // false: rejected, but no explanation fits
};

TEST(BlunderDiagnosis, EachPlantedBlunderIsNamedForWhatItIsAndItsCleanTwinIsNot) {
  bench::NetworkLayout layout;
  layout.stations = 36;
  layout.gnss_step = 2;
  layout.setup_share = 1.0;
  layout.seed = 5;
  const bench::GeneratedNetwork net = bench::GenerateNetwork(layout);
  const AdjustmentInput clean = Numbered(net.input);
  const double degree = std::numbers::pi / 180.0;
  const Planted cases[] = {
      {"wrong name",
       [&](AdjustmentInput& in, BlunderDiagnosis& want) {
         const size_t i = SightRecord(in, 10);
         const AdjustmentObservation& obs = in.observations[i];
         // Another station near the setup, not in it: a neighbour's name typed.
         int32_t other = obs.fore + 1;
         while (other == obs.at || other == obs.fore || other == obs.back) ++other;
         want.kind = BlunderKind::WrongName;
         want.fits = obs.fore;
         ForRecord(in, i, [&](AdjustmentObservation& o) { o.fore = other; });
         return i;
       },
       true},
      {"swapped vector",
       [&](AdjustmentInput& in, BlunderDiagnosis& want) {
         size_t i = 0;
         while (in.observations[i].kind != AdjustedKind::GnssVector) ++i;
         std::swap(in.observations[i].at, in.observations[i].fore);
         want.kind = BlunderKind::SwappedVector;
         return i;
       },
       true},
      {"target height ten times",
       [&](AdjustmentInput& in, BlunderDiagnosis& want) {
         const size_t i = SightRecord(in, 7);
         want.kind = BlunderKind::TargetHeight;
         want.likely = in.observations[i].target_height;
         want.typed = want.likely * 10.0;
         ForRecord(in, i, [&](AdjustmentObservation& o) { o.target_height = want.typed; });
         return i + 1;
       },
       true},
      {"instrument height digits swapped",
       [&](AdjustmentInput& in, BlunderDiagnosis& want) {
         const size_t i = SightRecord(in, 12);
         // 1.437 typed as 4.137: the digits either side of the point swapped.
         const std::string height = fmt::format("{:.3f}", in.observations[i].instrument_height);
         want.kind = BlunderKind::InstrumentHeight;
         want.likely = std::stod(height);
         want.typed = std::stod(std::string{height[2], '.', height[0]} + height.substr(3));
         // Typed once for the setup: every sight from its station carries it.
         const AdjustmentObservation sight = in.observations[i];
         for (AdjustmentObservation& o : in.observations) {
           if (o.kind != AdjustedKind::GnssVector && o.at == sight.at &&
               o.instrument_height == sight.instrument_height) {
             o.instrument_height = want.typed;
           }
         }
         return i + 1;
       },
       true},
      {"distance 10 m long",
       [&](AdjustmentInput& in, BlunderDiagnosis& want) {
         const size_t i = SightRecord(in, 4) + 2;
         want.kind = BlunderKind::RoundNumber;
         want.likely = in.observations[i].value[0];
         want.typed = want.likely + 10.0;
         in.observations[i].value[0] = want.typed;
         return i;
       },
       true},
      {"angle 1 degree off",
       [&](AdjustmentInput& in, BlunderDiagnosis& want) {
         const size_t i = SightRecord(in, 15);
         want.kind = BlunderKind::RoundNumber;
         want.likely = in.observations[i].value[0] / degree;
         want.typed = want.likely - 1.0;
         in.observations[i].value[0] -= degree;
         return i;
       },
       true},
      {"distance 3 cm long",
       [&](AdjustmentInput& in, BlunderDiagnosis&) {
         const size_t i = SightRecord(in, 4) + 2;
         in.observations[i].value[0] += 0.03;
         return i;
       },
       false},
  };
  // The clean twin: nothing rejected, nothing said.
  const AdjustmentResult twin = AdjustNetwork(clean, {});
  ASSERT_EQ(twin.outcome, AdjustmentOutcome::Done);
  EXPECT_TRUE(twin.rejected.empty());
  EXPECT_TRUE(DiagnoseBlunders(clean, twin).empty());
  for (const Planted& c : cases) {
    SCOPED_TRACE(c.name);
    AdjustmentInput planted = clean;
    BlunderDiagnosis want;
    const size_t index = c.plant(planted, want);
    const AdjustmentResult result = AdjustNetwork(planted, {});
    ASSERT_EQ(result.outcome, AdjustmentOutcome::Done) << result.reason;
    ASSERT_FALSE(result.rejected.empty());
    const std::vector<BlunderDiagnosis> said = DiagnoseBlunders(planted, result);
    // The planted record; an instrument height is in every sight of its setup.
    const AdjustmentObservation& blundered = planted.observations[index];
    const auto in_plant = [&](const BlunderDiagnosis& d) {
      const AdjustmentObservation& o = planted.observations[static_cast<size_t>(d.observation)];
      // The sights to its station show the height as well as those from it.
      return want.kind == BlunderKind::InstrumentHeight
                 ? o.at == blundered.at || o.fore == blundered.at
                 : o.record == blundered.record;
    };
    const BlunderDiagnosis* got = nullptr;
    for (const BlunderDiagnosis& d : said) {
      if (got == nullptr && in_plant(d)) got = &d;
    }
    if (!c.diagnosed) {
      EXPECT_EQ(result.rejected.front(), static_cast<int32_t>(index));
      EXPECT_TRUE(said.empty());
      continue;
    }
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->kind, want.kind);
    // Said of the planted blunder only.
    for (const BlunderDiagnosis& d : said) EXPECT_TRUE(in_plant(d)) << d.words;
    // The line of the rejected record; of an instrument height, of a sight from its setup.
    bool line_named = false;
    for (const AdjustmentObservation& o : planted.observations) {
      const bool where = want.kind == BlunderKind::InstrumentHeight
                             ? o.at == blundered.at
                             : &o == &planted.observations[static_cast<size_t>(got->observation)];
      line_named = line_named ||
                   (where && got->words.rfind(fmt::format("line {}: ", o.source.line), 0) == 0);
    }
    EXPECT_TRUE(line_named) << got->words;
    switch (want.kind) {
      case BlunderKind::WrongName:
        EXPECT_EQ(got->fits, want.fits);
        EXPECT_NE(got->words.find(
                      "the sight labelled " +
                      planted.stations[static_cast<size_t>(planted.observations[index].fore)].name +
                      " fits " + planted.stations[static_cast<size_t>(want.fits)].name + " ("),
                  std::string::npos)
            << got->words;
        EXPECT_NE(got->words.find(") \u2014 a wrong point name?"), std::string::npos);
        break;
      case BlunderKind::SwappedVector:
        EXPECT_NE(got->words.find("base and rover swapped"), std::string::npos);
        break;
      default:
        EXPECT_NEAR(got->typed, want.typed, 1e-9);
        EXPECT_NEAR(got->likely, want.likely, 1e-3);
    }
  }
}

}  // namespace
}  // namespace fenwix
