#include "model/station_merging.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace fenwix {
namespace {

struct Place {
  std::string name;
  double north;
  double east;
  double elevation;
  bool known = true;
};

SurveyTables TableOf(const std::vector<Place>& places) {
  SurveyTables tables;
  for (const Place& p : places) {
    tables.AddStation(p.name);
    StationRecord& s = tables.station(tables.StationIndex(p.name));
    s.north = p.north;
    s.east = p.east;
    s.elevation = p.elevation;
    s.coords_known = p.known;
  }
  return tables;
}

// Answers from a script (Different when it runs out) and records every pair asked.
struct Script {
  std::deque<MergeAnswer> answers;
  std::vector<std::pair<std::string, std::string>> asked;

  SimilarStationsQuestion Ask() {
    return [this](const StationRecord& first, const StationRecord& second) {
      asked.emplace_back(first.name, second.name);
      if (answers.empty()) return MergeAnswer::Different;
      const MergeAnswer a = answers.front();
      answers.pop_front();
      return a;
    };
  }
};

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(StationMerging, OfferedOnlyWhenStrictlyCloserThanTheTolerance) {
  // 3-4-5: exactly 5 apart.
  Script s;
  SurveyTables at = TableOf({{"A", 100000, 100000, 0}, {"B", 100003, 100004, 0}});
  EXPECT_TRUE(MergeSimilarStations(at, 5.0, true, s.Ask()));
  EXPECT_TRUE(s.asked.empty());
  EXPECT_EQ(TestStationPair(at, 1, 5.0, false, s.Ask()), MERGE_NONE);

  SurveyTables inside = TableOf({{"A", 100000, 100000, 0}, {"B", 100003, 100003.999999, 0}});
  EXPECT_TRUE(MergeSimilarStations(inside, 5.0, true, s.Ask()));
  EXPECT_EQ(s.asked, (Pairs{{"A", "B"}}));
}

TEST(StationMerging, TwoDimensionalTestIgnoresElevation) {
  const std::vector<Place> places = {{"A", 500, 500, 0}, {"B", 500, 500, 100}};
  SurveyTables flat = TableOf(places);
  Script s2;
  EXPECT_TRUE(MergeSimilarStations(flat, 0.05, true, s2.Ask()));
  EXPECT_EQ(s2.asked, (Pairs{{"A", "B"}}));
  SurveyTables space = TableOf(places);
  Script s3;
  EXPECT_TRUE(MergeSimilarStations(space, 0.05, false, s3.Ask()));
  EXPECT_TRUE(s3.asked.empty());
}

TEST(StationMerging, DifferentEndsTheFirstStationsTurn) {
  SurveyTables tables =
      TableOf({{"A", 10, 10, 0}, {"B", 10.01, 10, 0}, {"C", 10.02, 10, 0}, {"D", 90, 90, 0}});
  Script s;
  EXPECT_TRUE(MergeSimilarStations(tables, 0.05, false, s.Ask()));
  // A is not compared with C after "different"; B is.
  EXPECT_EQ(s.asked, (Pairs{{"A", "B"}, {"B", "C"}}));
  for (int32_t i = 1; i < tables.station_count(); ++i) {
    EXPECT_EQ(tables.stations()[static_cast<size_t>(i)].merged_into, STATION_NOT_MERGED);
  }
}

TEST(StationMerging, KeepingTheSecondDropsTheFirstAndRepointsItsMerges) {
  SurveyTables tables = TableOf({{"A", 10, 10, 0}, {"B", 10.01, 10, 0}, {"C", 10.02, 10, 0}});
  // C was merged into A in an earlier pass.
  tables.station(3).merged_into = 1;
  Script s;
  s.answers = {MergeAnswer::SameKeepSecond};
  EXPECT_TRUE(MergeSimilarStations(tables, 0.05, false, s.Ask()));
  EXPECT_EQ(s.asked, (Pairs{{"A", "B"}}));  // C, merged, is no candidate
  EXPECT_EQ(tables.station(1).merged_into, 2);
  EXPECT_EQ(tables.station(3).merged_into, 2);  // no chain C -> A -> B
  EXPECT_EQ(tables.station(2).merged_into, STATION_NOT_MERGED);
}

TEST(StationMerging, KeepingTheFirstDropsTheCandidateForTheRestOfThePass) {
  SurveyTables tables =
      TableOf({{"A", 10, 10, 0}, {"B", 10.01, 10, 0}, {"C", 10.04, 10, 0}, {"D", 10.06, 10, 0}});
  Script s;
  s.answers = {MergeAnswer::SameKeepFirst, MergeAnswer::SameKeepFirst};
  EXPECT_TRUE(MergeSimilarStations(tables, 0.05, false, s.Ask()));
  // B is gone, so A's next turn is over; C is offered with D.
  EXPECT_EQ(s.asked, (Pairs{{"A", "B"}, {"C", "D"}}));
  EXPECT_EQ(tables.station(2).merged_into, 1);
  EXPECT_EQ(tables.station(4).merged_into, 3);
}

TEST(StationMerging, CancelStopsThePassAndKeepsEarlierMerges) {
  SurveyTables tables =
      TableOf({{"A", 0, 0, 0}, {"B", 0.01, 0, 0}, {"C", 50, 0, 0}, {"D", 50.01, 0, 0}});
  Script s;
  s.answers = {MergeAnswer::SameKeepFirst, MergeAnswer::Cancel};
  EXPECT_FALSE(MergeSimilarStations(tables, 0.05, false, s.Ask()));
  EXPECT_EQ(tables.station(2).merged_into, 1);
  EXPECT_EQ(tables.station(4).merged_into, STATION_NOT_MERGED);

  Script cancel_first;
  cancel_first.answers = {MergeAnswer::Cancel};
  SurveyTables again = TableOf({{"A", 0, 0, 0}, {"B", 0.01, 0, 0}});
  EXPECT_EQ(TestStationPair(again, 1, 0.05, false, cancel_first.Ask()), MERGE_CANCELLED);
}

TEST(StationMerging, PairTestResultCodes) {
  SurveyTables tables = TableOf({{"A", 0, 0, 0}, {"X", 9, 9, 9}, {"B", 0.01, 0, 0}});
  Script s;
  s.answers = {MergeAnswer::SameKeepFirst, MergeAnswer::SameKeepSecond, MergeAnswer::Different};
  EXPECT_EQ(TestStationPair(tables, 1, 0.05, false, s.Ask()), -3);
  EXPECT_EQ(TestStationPair(tables, 1, 0.05, false, s.Ask()), 3);
  EXPECT_EQ(TestStationPair(tables, 1, 0.05, false, s.Ask()), MERGE_NONE);
  EXPECT_EQ(TestStationPair(tables, 3, 0.05, false, s.Ask()), MERGE_NONE);  // nothing after it
  EXPECT_EQ(TestStationPair(tables, 0, 0.05, false, s.Ask()), MERGE_NONE);
}

TEST(StationMerging, UnknownStationsAndNonPositiveTolerancesOfferNothing) {
  SurveyTables tables = TableOf({{"A", 0, 0, 0}, {"B", 0, 0, 0, false}, {"C", 0, 0, 0}});
  Script s;
  EXPECT_TRUE(MergeSimilarStations(tables, 0.05, false, s.Ask()));
  EXPECT_EQ(s.asked, (Pairs{{"A", "C"}}));
  Script none;
  SurveyTables same = TableOf({{"A", 0, 0, 0}, {"C", 0, 0, 0}});
  EXPECT_TRUE(MergeSimilarStations(same, 0.0, false, none.Ask()));
  EXPECT_TRUE(MergeSimilarStations(same, -1.0, false, none.Ask()));
  EXPECT_TRUE(none.asked.empty());
}

// The pass finds candidates by cells of the plane; it must ask exactly what walking the table
// pair by pair asks. Clustered stations put many pairs near the tolerance and across cell
// edges, negative coordinates included.
TEST(StationMerging, PassAsksWhatThePairTestAsks) {
  for (const bool two_dimensional : {true, false}) {
    for (const double tolerance : {0.05, 0.3, 2.0}) {
      std::mt19937 rng(7);
      std::uniform_real_distribution<double> cluster(-40.0, 40.0);
      std::normal_distribution<double> spread(0.0, tolerance);
      std::vector<Place> places;
      for (int c = 0; c < 60; ++c) {
        const double n = cluster(rng), e = cluster(rng);
        for (int k = 0; k < 6; ++k) {
          places.push_back({"P" + std::to_string(places.size()), n + spread(rng), e + spread(rng),
                            spread(rng), rng() % 10 != 0});
        }
      }
      // A pair exactly one tolerance apart on a cell edge.
      places.push_back({"E1", 0.0, 0.0, 0.0});
      places.push_back({"E2", tolerance, 0.0, 0.0});
      std::shuffle(places.begin(), places.end(), rng);

      std::vector<MergeAnswer> answers;
      for (int i = 0; i < 400; ++i) answers.push_back(static_cast<MergeAnswer>(1 + rng() % 3));

      SurveyTables fast = TableOf(places);
      Script s;
      s.answers.assign(answers.begin(), answers.end());
      ASSERT_TRUE(MergeSimilarStations(fast, tolerance, two_dimensional, s.Ask()));

      // The pass as the pair test defines it, with plain re-pointing over the whole table.
      SurveyTables slow = TableOf(places);
      Script r;
      r.answers.assign(answers.begin(), answers.end());
      for (int32_t i = 1; i < slow.station_count() - 1; ++i) {
        const StationRecord& first = slow.stations()[static_cast<size_t>(i)];
        if (first.merged_into != STATION_NOT_MERGED || !first.coords_known) continue;
        const int32_t result = TestStationPair(slow, i, tolerance, two_dimensional, r.Ask());
        if (result == MERGE_NONE) continue;
        const int32_t dropped = result < 0 ? -result : i;
        const int32_t kept = result < 0 ? i : result;
        slow.station(dropped).merged_into = kept;
        for (int32_t k = 1; k < slow.station_count(); ++k) {
          if (slow.station(k).merged_into == dropped) slow.station(k).merged_into = kept;
        }
      }
      ASSERT_GT(r.asked.size(), 30u);
      EXPECT_EQ(s.asked, r.asked) << tolerance << " " << two_dimensional;
      for (int32_t i = 1; i < slow.station_count(); ++i) {
        EXPECT_EQ(fast.station(i).merged_into, slow.station(i).merged_into);
      }
    }
  }
}

}  // namespace
}  // namespace fenwix
