#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <cmath>
#include <numbers>

#include "adjust/network_adjustment.h"
#include "adjust/small_vector_network.h"

namespace fenwix {
namespace {

Eigen::Matrix3d Covariance(const AdjustmentObservation& obs) {
  const auto& q = obs.covariance;
  Eigen::Matrix3d c;
  c << q[0], q[1], q[3], q[1], q[2], q[4], q[3], q[4], q[5];
  return c;
}

Eigen::MatrixXd Design(const AdjustmentObservation& obs, int n) {
  Eigen::MatrixXd a = Eigen::MatrixXd::Zero(3, n);
  a.block<3, 3>(0, obs.at * 3) = -Eigen::Matrix3d::Identity();
  a.block<3, 3>(0, obs.fore * 3) = Eigen::Matrix3d::Identity();
  return a;
}

// What the dense oracle says of one vector: the largest shift of its own two stations and of
// any station, over a blunder of its MDB in each component, on the datum (every station's shift
// less the mean, or less the shift of station `held`).
struct DenseShift {
  double own = 0.0;
  double anywhere = 0.0;
};

DenseShift DenseExternal(const AdjustmentInput& input, size_t i, double lambda0, int held) {
  const int stations = static_cast<int>(input.stations.size()), n = stations * 3;
  Eigen::MatrixXd normals = Eigen::MatrixXd::Zero(n, n);
  for (const AdjustmentObservation& obs : input.observations) {
    const Eigen::MatrixXd a = Design(obs, n);
    normals += a.transpose() * Covariance(obs).inverse() * a;
  }
  const Eigen::MatrixXd q = normals.completeOrthogonalDecomposition().pseudoInverse();
  const AdjustmentObservation& obs = input.observations[i];
  const Eigen::MatrixXd a = Design(obs, n);
  const Eigen::Matrix3d c = Covariance(obs), p = c.inverse();
  const Eigen::Matrix3d pqvvp = p * (c - a * q * a.transpose()) * p;
  DenseShift out;
  for (int k = 0; k < 3; ++k) {
    Eigen::Vector3d bias = Eigen::Vector3d::Zero();
    bias[k] = std::sqrt(lambda0 / pqvvp(k, k));
    const Eigen::VectorXd dx = q * a.transpose() * p * bias;
    const Eigen::Vector3d origin =
        held >= 0 ? Eigen::Vector3d(dx.segment<3>(held * 3)) : Eigen::Vector3d::Zero();
    for (int s = 0; s < stations; ++s) {
      const double shift = (dx.segment<3>(s * 3) - origin).norm();
      out.anywhere = std::max(out.anywhere, shift);
      if (s == obs.at || s == obs.fore) out.own = std::max(out.own, shift);
    }
  }
  return out;
}

AdjustmentResult Adjust(const AdjustmentInput& input, int32_t datum_station) {
  AdjustmentOptions options;
  options.estimate_factors = false;
  options.precision.datum_station = datum_station;
  return AdjustNetwork(input, options);
}

TEST(ExternalReliability, OwnStationsShiftAgainstTheDenseInverse) {
  // The minimum-trace datum, a named station, and the network with a pendant station whose
  // single vector nothing checks.
  const struct {
    bool pendant;
    int32_t datum;
  } cases[] = {{false, -1}, {false, 2}, {true, -1}};
  for (const auto& c : cases) {
    const AdjustmentInput input = test::SmallVectorNetwork(c.pendant);
    const AdjustmentResult result = Adjust(input, c.datum);
    ASSERT_EQ(result.outcome, AdjustmentOutcome::Done);
    ASSERT_TRUE(result.rejected.empty());
    int at_own = 0;
    for (size_t i = 0; i < input.observations.size(); ++i) {
      const ObservationTest& t = result.observations[i];
      SCOPED_TRACE(testing::Message()
                   << "pendant " << c.pendant << " datum " << c.datum << " #" << i);
      if (!t.tested) {
        // Uncontrolled: no MDB, so no size.
        EXPECT_TRUE(std::isnan(t.external));
        EXPECT_EQ(input.observations[i].fore, 6);
        continue;
      }
      const DenseShift dense = DenseExternal(input, i, result.levels.lambda0, c.datum);
      EXPECT_NEAR(t.external, dense.own, 1e-6 * dense.own);
      EXPECT_LE(t.external, dense.anywhere * (1.0 + 1e-9));
      at_own += dense.own >= dense.anywhere * (1.0 - 1e-9);
    }
    // Most blunders move their own stations most: the bound is sharp for them.
    EXPECT_GE(at_own, 6);
  }
}

TEST(ExternalReliability, WeakVectorMovesItsStationMoreThanAControlledOne) {
  // The poor vectors to station 5 (index 8 and 9) against well-controlled ones (0 to 7); then
  // vector 8 planted twice as poor, which leaves station 5 on vector 9 nearly alone.
  AdjustmentInput input = test::SmallVectorNetwork(false);
  const AdjustmentResult result = Adjust(input, -1);
  ASSERT_EQ(result.outcome, AdjustmentOutcome::Done);
  double controlled = 0.0;
  for (size_t i = 0; i < 8; ++i) controlled = std::max(controlled, result.observations[i].external);
  EXPECT_GT(controlled, 0.0);
  for (size_t i = 8; i < 10; ++i) EXPECT_GT(result.observations[i].external, 3.0 * controlled);
  for (double& c : input.observations[8].covariance) c *= 4.0;
  const AdjustmentResult planted = Adjust(input, -1);
  ASSERT_EQ(planted.outcome, AdjustmentOutcome::Done);
  ASSERT_TRUE(planted.observations[9].tested);
  EXPECT_GT(planted.observations[9].external, 1.5 * result.observations[9].external);
  EXPECT_LT(planted.observations[9].r_min, result.observations[9].r_min);
}

}  // namespace
}  // namespace fenwix
