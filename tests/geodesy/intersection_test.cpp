#include "geodesy/intersection.h"

#include <gtest/gtest.h>
#include <GeographicLib/Geodesic.hpp>

#include <cmath>
#include <limits>
#include <vector>

#include "geodesy/angles.h"
#include "geodesy/bracket_search.h"
#include "geodesy/ellipsoid.h"
#include "geodesy/geodesic.h"

namespace fenwix {
namespace {

constexpr double A = PROPAGATION_A;
constexpr double INV_F = PROPAGATION_INV_F;
// The bracket tolerance the propagation passes to the azimuth searches, meters.
constexpr double SEARCH_TOLERANCE = 0.01;
// The propagation's step cap.
constexpr int CAP = 100;
// A found point lies within the final bracket of the true one along the search, and the
// geodesics add nothing measurable at this size; twice the tolerance leaves room for the probe
// offset of the last step.
constexpr double PLACEMENT_TOLERANCE = 2 * SEARCH_TOLERANCE;

double Deg(double radians) {
  return radians * DEGREES_PER_RADIAN;
}
double Rad(double degrees) {
  return degrees / DEGREES_PER_RADIAN;
}

struct Point {
  double phi;
  double lam;
};

// Ground truth comes from GeographicLib, so the searches are not judged by their own geodesics.
class Intersections : public ::testing::Test {
 protected:
  const GeographicLib::Geodesic geodesic_{A, 1.0 / INV_F};

  Point Along(Point from, double azimuth, double s) const {
    double lat2, lon2;
    geodesic_.Direct(Deg(from.phi), Deg(from.lam), Deg(azimuth), s, lat2, lon2);
    return Point{Rad(lat2), Rad(lon2)};
  }
  double Distance(Point p, Point q) const {
    double s12;
    geodesic_.Inverse(Deg(p.phi), Deg(p.lam), Deg(q.phi), Deg(q.lam), s12);
    return s12;
  }
  double Azimuth(Point p, Point q) const {
    double s12, azi1, azi2;
    geodesic_.Inverse(Deg(p.phi), Deg(p.lam), Deg(q.phi), Deg(q.lam), s12, azi1, azi2);
    return NormalizeAngle(Rad(azi1));
  }
  KnownDistance To(Point known, Point target) const {
    return KnownDistance{known.phi, known.lam, Distance(known, target)};
  }
  double Miss(const IntersectionResult& r, Point truth) const {
    return Distance(Point{r.phi, r.lam}, truth);
  }

  const Point p1_{Rad(46.95), Rad(7.45)};
};

TEST(BracketSearch, EqualMisfitsMoveTheLowerEnd) {
  // A flat misfit never prefers m - q, so the bracket closes on its upper end. From [0, 1] with
  // tolerance 0.01 that takes 7 halvings; the last step ran with lo = 63/64, m = 127/128 and
  // q = 1/256, and its probe at m - q is the point delivered.
  int calls = 0;
  const BracketOutcome r = BracketSearch(0.0, 1.0, 0.01, 100, [&](double t) {
    ++calls;
    return Probe{1.0, t, -t};
  });
  EXPECT_TRUE(r.converged);
  EXPECT_EQ(r.steps, 7);
  EXPECT_EQ(calls, 14);
  EXPECT_EQ(r.phi, 127.0 / 128.0 - 1.0 / 256.0);
  EXPECT_EQ(r.lam, -r.phi);
}

TEST(BracketSearch, FindsTheMinimumAndStopsAtTheCap) {
  const auto parabola = [](double t) { return Probe{(t - 0.3) * (t - 0.3), t, 0.0}; };
  const BracketOutcome r = BracketSearch(0.0, 1.0, 1e-6, 100, parabola);
  ASSERT_TRUE(r.converged);
  EXPECT_NEAR(r.phi, 0.3, 1e-6);
  // 2^-20 < 1e-6 needs 20 steps; a cap of 19 is one short.
  EXPECT_EQ(r.steps, 20);
  const BracketOutcome capped = BracketSearch(0.0, 1.0, 1e-6, 19, parabola);
  EXPECT_FALSE(capped.converged);
  EXPECT_EQ(capped.steps, 19);
  // A tolerance that is not a number can never be met.
  EXPECT_FALSE(
      BracketSearch(0.0, 1.0, std::numeric_limits<double>::quiet_NaN(), 100, parabola).converged);
}

TEST(BracketSearch, ProbesThatCannotBeEvaluatedLose) {
  // Beyond 0.6 the misfit is NaN (a geodesic that did not converge): the search must still head
  // for the minimum at 0.3 instead of treating NaN as "not smaller".
  const auto misfit = [](double t) {
    return Probe{t > 0.6 ? std::numeric_limits<double>::quiet_NaN() : (t - 0.3) * (t - 0.3), t, 0};
  };
  const BracketOutcome r = BracketSearch(0.0, 1.0, 1e-6, 100, misfit);
  ASSERT_TRUE(r.converged);
  EXPECT_NEAR(r.phi, 0.3, 1e-6);
}

TEST_F(Intersections, TwoAzimuthsCrossingAt3Km) {
  const Point truth = Along(p1_, Rad(40.0), 3000.0);
  const Point p2 = Along(p1_, Rad(100.0), 2500.0);
  const IntersectionResult r = IntersectAzimuths(A, INV_F, p1_.phi, p1_.lam, Rad(40.0), p2.phi,
                                                 p2.lam, Azimuth(p2, truth), SEARCH_TOLERANCE, CAP);
  ASSERT_TRUE(r.found);
  EXPECT_LT(Miss(r, truth), PLACEMENT_TOLERANCE);
}

TEST_F(Intersections, TwoAzimuthsNeed31Steps) {
  // 20000 km halved 31 times is the first width under 1 cm.
  const Point truth = Along(p1_, Rad(300.0), 1200.0);
  const Point p2 = Along(p1_, Rad(200.0), 900.0);
  const double a2 = Azimuth(p2, truth);
  EXPECT_TRUE(IntersectAzimuths(A, INV_F, p1_.phi, p1_.lam, Rad(300.0), p2.phi, p2.lam, a2,
                                SEARCH_TOLERANCE, 31)
                  .found);
  EXPECT_FALSE(IntersectAzimuths(A, INV_F, p1_.phi, p1_.lam, Rad(300.0), p2.phi, p2.lam, a2,
                                 SEARCH_TOLERANCE, 30)
                   .found);
}

TEST_F(Intersections, TwoAzimuthsAcrossTheAntimeridian) {
  const Point start{Rad(-17.8), Rad(179.99)};
  const Point truth = Along(start, Rad(80.0), 4000.0);
  ASSERT_LT(truth.lam, 0.0);
  const Point p2 = Along(start, Rad(170.0), 3000.0);
  const IntersectionResult r = IntersectAzimuths(A, INV_F, start.phi, start.lam, Rad(80.0), p2.phi,
                                                 p2.lam, Azimuth(p2, truth), SEARCH_TOLERANCE, CAP);
  ASSERT_TRUE(r.found);
  EXPECT_LT(Miss(r, truth), PLACEMENT_TOLERANCE);
  EXPECT_LE(std::fabs(r.lam), PI);
}

class AzimuthDistance : public Intersections {
 protected:
  const double ray_ = Rad(30.0);
  // Q1 stands 300 m to the right of the ray, its foot 1000 m ahead: a circle of about 500 m
  // around it crosses the ray near 600 m and near 1400 m.
  const Point q1_ = Along(Along(p1_, ray_, 1000.0), ray_ + HALF_PI, 300.0);
  const Point q2_ = Along(p1_, Rad(-40.0), 700.0);

  IntersectionResult Run(const std::vector<KnownDistance>& known) const {
    return IntersectAzimuthDistances(A, INV_F, p1_.phi, p1_.lam, ray_, known, SEARCH_TOLERANCE,
                                     CAP);
  }
};

TEST_F(AzimuthDistance, OneDistanceWithTwoCrossingsAheadIsAmbiguous) {
  const Point truth = Along(p1_, ray_, 600.0);
  EXPECT_FALSE(Run({To(q1_, truth)}).found);
}

TEST_F(AzimuthDistance, ASecondDistancePicksTheCrossing) {
  for (const double t : {600.0, 1400.0}) {
    const Point truth = Along(p1_, ray_, t);
    const IntersectionResult r = Run({To(q1_, truth), To(q2_, truth)});
    ASSERT_TRUE(r.found) << t;
    EXPECT_LT(Miss(r, truth), PLACEMENT_TOLERANCE) << t;
  }
}

TEST_F(AzimuthDistance, KnownPointBehindTheStartNeedsOneDistance) {
  const Point behind = Along(Along(p1_, ray_ + PI, 200.0), ray_ + HALF_PI, 300.0);
  const Point truth = Along(p1_, ray_, 500.0);
  const IntersectionResult r = Run({To(behind, truth)});
  ASSERT_TRUE(r.found);
  EXPECT_LT(Miss(r, truth), PLACEMENT_TOLERANCE);
}

TEST_F(AzimuthDistance, SecondCrossingBehindTheStartNeedsOneDistance) {
  // The foot is ahead (100 m) but the circle reaches behind the start: only one crossing ahead.
  const Point near = Along(Along(p1_, ray_, 100.0), ray_ + HALF_PI, 50.0);
  const Point truth = Along(p1_, ray_, 600.0);
  const IntersectionResult r = Run({To(near, truth)});
  ASSERT_TRUE(r.found);
  EXPECT_LT(Miss(r, truth), PLACEMENT_TOLERANCE);
}

TEST_F(AzimuthDistance, NoDistanceFindsNothing) {
  EXPECT_FALSE(Run({}).found);
}

class DistancesOnly : public Intersections {
 protected:
  const Point truth_ = Along(p1_, Rad(15.0), 5000.0);
  const Point q1_ = Along(truth_, Rad(200.0), 800.0);
  const Point q2_ = Along(truth_, Rad(110.0), 600.0);
  const Point q3_ = Along(truth_, Rad(330.0), 700.0);

  IntersectionResult Run(const std::vector<KnownDistance>& known) const {
    // The tolerance the propagation passes: atan(0.01 / d1), at least one arc-second.
    const double tolerance = std::max(std::atan(0.01 / known[0].distance), DmsToRadians(0.0001));
    return IntersectDistances(A, INV_F, known, tolerance, CAP);
  }
};

TEST_F(DistancesOnly, TwoDistancesAreAmbiguous) {
  EXPECT_FALSE(Run({To(q1_, truth_), To(q2_, truth_)}).found);
  EXPECT_FALSE(IntersectDistances(A, INV_F, {}, 0.001, CAP).found);
}

TEST_F(DistancesOnly, AThirdDistancePicksEitherCrossing) {
  const IntersectionResult r = Run({To(q1_, truth_), To(q2_, truth_), To(q3_, truth_)});
  ASSERT_TRUE(r.found);
  EXPECT_LT(Miss(r, truth_), PLACEMENT_TOLERANCE);
  // The other crossing of the same two circles: the mirror image in the line Q1-Q2.
  const double u12 = Azimuth(q1_, q2_);
  const Point other = Along(q1_, 2 * u12 - Azimuth(q1_, truth_), Distance(q1_, truth_));
  const IntersectionResult r2 = Run({To(q1_, other), To(q2_, other), To(q3_, other)});
  ASSERT_TRUE(r2.found);
  EXPECT_LT(Miss(r2, other), PLACEMENT_TOLERANCE);
  EXPECT_GT(Distance(truth_, other), 100.0);
}

TEST_F(Intersections, InputsThatAreNotNumbersFindNothing) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Point p2 = Along(p1_, Rad(100.0), 2500.0);
  EXPECT_FALSE(
      IntersectAzimuths(A, INV_F, nan, p1_.lam, 0.5, p2.phi, p2.lam, 1.0, SEARCH_TOLERANCE, CAP)
          .found);
  EXPECT_FALSE(
      IntersectAzimuths(A, INV_F, p1_.phi, p1_.lam, nan, p2.phi, p2.lam, 1.0, SEARCH_TOLERANCE, CAP)
          .found);
  const std::vector<KnownDistance> known{{p2.phi, p2.lam, nan}, {p1_.phi, p1_.lam, 100.0}};
  EXPECT_FALSE(
      IntersectAzimuthDistances(A, INV_F, p1_.phi, p1_.lam, 0.5, known, SEARCH_TOLERANCE, CAP)
          .found);
}

// A search always narrows its bracket, so it ends somewhere even when the rays never meet ahead of
// both stations or the circles never meet. What is found must satisfy the sightings.

// Offset from the second line of sight that a found point may have.
constexpr double CHECK_BOUND = INTERSECTION_CHECK_FACTOR * SEARCH_TOLERANCE;

class CheckedAzimuths : public Intersections {
 protected:
  IntersectionResult Run(Point p2, double azimuth1, double azimuth2) const {
    return IntersectAzimuths(A, INV_F, p1_.phi, p1_.lam, azimuth1, p2.phi, p2.lam, azimuth2,
                             SEARCH_TOLERANCE, CAP);
  }
  // Judged with GeographicLib: the point lies ahead on both rays, off the second line of sight by
  // no more than the check allows (the first ray holds it by construction).
  void ExpectOnBothRays(const IntersectionResult& r, Point p2, double azimuth1,
                        double azimuth2) const {
    const Point f{r.phi, r.lam};
    EXPECT_LT(std::fabs(SmallestAngleDifference(Azimuth(p1_, f), azimuth1)), 1e-6);
    const double turn = SmallestAngleDifference(Azimuth(p2, f), azimuth2);
    EXPECT_LT(std::fabs(turn), HALF_PI);
    EXPECT_LT(std::sin(std::fabs(turn)) * Distance(p2, f), CHECK_BOUND + 1e-6);
  }
};

TEST_F(CheckedAzimuths, RaysCrossingBehindTheFirstStationFindNothing) {
  // The lines meet 3 km behind P1: the search ends on P1 itself, 1.4 km off the second line.
  const Point p2 = Along(p1_, Rad(100.0), 2500.0);
  const Point behind = Along(p1_, Rad(220.0), 3000.0);
  EXPECT_FALSE(Run(p2, Rad(40.0), Azimuth(p2, behind)).found);
  // Lines crossing at two arc-minutes 50 m behind P1, ahead of Q2: P1 lies only 3 cm off the
  // second line, so only the search held at its start gives the crossing away.
  const Point x = Along(p1_, Rad(220.0), 50.0);
  const Point q2 = Along(x, Rad(220.0 + 2.0 / 60.0), 2000.0);
  const double a2 = Azimuth(q2, x);
  ASSERT_LT(std::fabs(std::sin(SmallestAngleDifference(Azimuth(q2, p1_), a2))) * Distance(q2, p1_),
            CHECK_BOUND);
  EXPECT_FALSE(Run(q2, Rad(40.0), a2).found);
}

TEST_F(CheckedAzimuths, AntiparallelRaysFindNothing) {
  // Opposed rays from stations beside, behind or ahead of each other meet, if anywhere, behind
  // one of them: the search ends on P1, on P2, or a quarter of the earth away behind P2.
  for (const double base : {130.0, 310.0, 220.0, 40.0}) {
    const Point p2 = Along(p1_, Rad(base), 1000.0);
    EXPECT_FALSE(Run(p2, Rad(40.0), Rad(220.0)).found) << base;
  }
  // A crossing ahead of P1 that P2 sees over its shoulder.
  const Point truth = Along(p1_, Rad(40.0), 3000.0);
  const Point p2 = Along(p1_, Rad(100.0), 2500.0);
  EXPECT_FALSE(Run(p2, Rad(40.0), AddAngles(Azimuth(p2, truth), PI)).found);
}

TEST_F(CheckedAzimuths, ParallelRaysGiveOnlyARealCrossing) {
  // Rays parallel at their stations meet, if at all, thousands of kilometres away. The search
  // may find that crossing; it must not hand back a point that lies off either ray.
  for (const double base : {130.0, 310.0, 220.0, 40.0}) {
    const Point p2 = Along(p1_, Rad(base), 1000.0);
    const double to_p2 = Azimuth(p1_, p2);
    const double from_p1 = Azimuth(p2, p1_);
    // The same azimuth at both stations, and both rays square to the line between them.
    const double pairs[2][2] = {{Rad(40.0), Rad(40.0)},
                                {AddAngles(to_p2, -HALF_PI), AddAngles(from_p1, HALF_PI)}};
    for (const auto& pair : pairs) {
      const IntersectionResult r = Run(p2, pair[0], pair[1]);
      if (r.found) ExpectOnBothRays(r, p2, pair[0], pair[1]);
    }
  }
}

TEST_F(CheckedAzimuths, ChecksLeaveAnAcceptedPointWhereTheSearchPutIt) {
  // The unchecked search, run with the misfit the header describes on the same geodesics, is
  // what the function returned before it checked anything: a good crossing keeps its bits.
  const Point truth = Along(p1_, Rad(40.0), 3000.0);
  const Point p2 = Along(p1_, Rad(100.0), 2500.0);
  const double a2 = Azimuth(p2, truth);
  const double e2 = EccentricitySquaredOf(A, INV_F);
  const BracketOutcome unchecked =
      BracketSearch(0.0, AZIMUTH_SEARCH_LENGTH, SEARCH_TOLERANCE, CAP, [&](double t) {
        const DirectResult probe = GeodesicDirect(A, INV_F, p1_.phi, p1_.lam, Rad(40.0), t);
        const InverseResult sight =
            GeodesicInverse(A, e2, INV_F, p2.phi, p2.lam, probe.phi2, probe.lam2);
        return Probe{std::sin(std::fabs(SmallestAngleDifference(sight.alpha12, a2))) * sight.s,
                     probe.phi2, probe.lam2};
      });
  ASSERT_TRUE(unchecked.converged);
  const IntersectionResult r = Run(p2, Rad(40.0), a2);
  ASSERT_TRUE(r.found);
  EXPECT_EQ(r.phi, unchecked.phi);
  EXPECT_EQ(r.lam, unchecked.lam);
  ExpectOnBothRays(r, p2, Rad(40.0), a2);
}

TEST_F(AzimuthDistance, CircleThatMissesTheRayFindsNothing) {
  // The circle of 200 m around Q1, 300 m off the ray, never reaches it; a second distance used
  // to let the mirror step hand back the foot of Q1.
  const Point foot = Along(p1_, ray_, 1000.0);
  EXPECT_FALSE(Run({{q1_.phi, q1_.lam, 200.0}, To(q2_, foot)}).found);
  // A circle around a point behind the start that meets the ray's line only behind it.
  const Point behind = Along(Along(p1_, ray_ + PI, 200.0), ray_ + HALF_PI, 300.0);
  EXPECT_FALSE(Run({{behind.phi, behind.lam, 330.0}}).found);
}

TEST_F(DistancesOnly, CirclesThatDoNotMeetFindNothing) {
  // Q1 and Q2 stand 1000 m apart: circles of 300 m each lie apart, a circle of 300 m around Q2
  // lies inside one of 2000 m around Q1.
  ASSERT_NEAR(Distance(q1_, q2_), 1000.0, 1.0);
  const KnownDistance third = To(q3_, truth_);
  EXPECT_FALSE(Run({{q1_.phi, q1_.lam, 300.0}, {q2_.phi, q2_.lam, 300.0}, third}).found);
  EXPECT_FALSE(Run({{q1_.phi, q1_.lam, 2000.0}, {q2_.phi, q2_.lam, 300.0}, third}).found);
  EXPECT_FALSE(Run({{q1_.phi, q1_.lam, 300.0}, {q2_.phi, q2_.lam, 2000.0}, third}).found);
}

// The search halves its bracket towards the smaller of two probes, which cuts the answer away
// when a distance misfit rises much faster on one side of it: near a small circle, or one at the
// edge of a large one. Exact distances must still give the point.
TEST_F(AzimuthDistance, CircleFarAlongTheRayIsFound) {
  // The known point 500 m from the crossing, 1500 m along the ray, in every direction.
  const Point truth = Along(p1_, ray_, 1500.0);
  for (int direction = 0; direction < 360; direction += 10) {
    const Point q1 = Along(truth, Rad(direction), 500.0);
    const IntersectionResult r = Run({To(q1, truth), To(q2_, truth)});
    ASSERT_TRUE(r.found) << direction;
    EXPECT_LT(Miss(r, truth), PLACEMENT_TOLERANCE) << direction;
  }
}

TEST_F(DistancesOnly, SmallCircleAtTheEdgeOfALargeOneIsFound) {
  for (int direction = 0; direction < 360; direction += 10) {
    const Point q1 = Along(truth_, Rad(direction), 950.0);
    const Point q2 = Along(truth_, Rad(direction + 160.0), 80.0);
    const Point q3 = Along(truth_, Rad(direction + 70.0), 600.0);
    const IntersectionResult r = Run({To(q1, truth_), To(q2, truth_), To(q3, truth_)});
    ASSERT_TRUE(r.found) << direction;
    EXPECT_LT(Miss(r, truth_), PLACEMENT_TOLERANCE) << direction;
  }
}

}  // namespace
}  // namespace fenwix
