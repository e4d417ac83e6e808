#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <cmath>
#include <numbers>

#include "adjust/network_adjustment.h"
#include "adjust/small_vector_network.h"

namespace fenwix {
namespace {

// Six stations a few hundred metres apart tied by vectors only (a defect of three translations);
// station 5 hangs on two poor vectors. The dense oracle below works on plain geocentric
// coordinates: the pseudo-inverse of the full normal matrix is the minimum-trace covariance.
struct VectorNetwork {
  AdjustmentInput input;
  std::vector<std::array<double, 3>> xyz;
};

VectorNetwork MakeVectorNetwork() {
  VectorNetwork net;
  net.input = test::SmallVectorNetwork();
  for (int s = 0; s < 6; ++s) net.xyz.push_back(StationPosition(net.input, s));
  return net;
}

Eigen::MatrixXd DenseMinimumTrace(const VectorNetwork& net) {
  const int n = static_cast<int>(net.input.stations.size()) * 3;
  Eigen::MatrixXd normals = Eigen::MatrixXd::Zero(n, n);
  for (const AdjustmentObservation& obs : net.input.observations) {
    const auto& q = obs.covariance;
    Eigen::Matrix3d cov;
    cov << q[0], q[1], q[3], q[1], q[2], q[4], q[3], q[4], q[5];
    const Eigen::Matrix3d p = cov.inverse();
    Eigen::MatrixXd a = Eigen::MatrixXd::Zero(3, n);
    a.block<3, 3>(0, obs.at * 3) = -Eigen::Matrix3d::Identity();
    a.block<3, 3>(0, obs.fore * 3) = Eigen::Matrix3d::Identity();
    normals += a.transpose() * p * a;
  }
  return normals.completeOrthogonalDecomposition().pseudoInverse();
}

// Semi-axes of the horizontal part of a geocentric covariance at station s, by Eigen.
Eigen::Vector2d HorizontalAxes(const VectorNetwork& net, int s, const Eigen::Matrix3d& c) {
  const auto& st = net.input.stations[static_cast<size_t>(s)];
  const double phi = st.latitude, lam = st.longitude;
  Eigen::Matrix<double, 2, 3> en;
  en << -std::sin(lam), std::cos(lam), 0.0, -std::sin(phi) * std::cos(lam),
      -std::sin(phi) * std::sin(lam), std::cos(phi);
  const Eigen::Matrix2d h = en * c * en.transpose();
  const Eigen::Vector2d values = Eigen::SelfAdjointEigenSolver<Eigen::Matrix2d>(h).eigenvalues();
  return {std::sqrt(values[1]), std::sqrt(values[0])};
}

Eigen::Vector3d Up(const VectorNetwork& net, int s) {
  const auto& st = net.input.stations[static_cast<size_t>(s)];
  return {std::cos(st.latitude) * std::cos(st.longitude),
          std::cos(st.latitude) * std::sin(st.longitude), std::sin(st.latitude)};
}

AdjustmentResult Adjust(const VectorNetwork& net, int32_t datum_station, double confidence) {
  AdjustmentOptions options;
  options.estimate_factors = false;
  options.precision.datum_station = datum_station;
  options.precision.confidence = confidence;
  return AdjustNetwork(net.input, options);
}

TEST(StationPrecision, DatumOfTheEllipsesAgainstTheDensePseudoInverse) {
  const VectorNetwork net = MakeVectorNetwork();
  const Eigen::MatrixXd pinv = DenseMinimumTrace(net);
  const AdjustmentResult free = Adjust(net, -1, 0.0);
  const AdjustmentResult held = Adjust(net, 2, 0.0);
  ASSERT_EQ(free.outcome, AdjustmentOutcome::Done);
  ASSERT_EQ(held.outcome, AdjustmentOutcome::Done);
  ASSERT_EQ(free.part_datums.size(), 1u);
  EXPECT_EQ(free.part_datums[0].kind, PrecisionDatumKind::MinimumTrace);
  EXPECT_EQ(held.part_datums[0].kind, PrecisionDatumKind::Station);
  EXPECT_EQ(held.part_datums[0].station, 2);
  int differing = 0;
  for (int s = 0; s < 6; ++s) {
    const Eigen::Matrix3d c = pinv.block<3, 3>(s * 3, s * 3);
    // Relative to station 2: the difference of the two positions.
    const Eigen::Matrix3d r =
        c + pinv.block<3, 3>(6, 6) - pinv.block<3, 3>(s * 3, 6) - pinv.block<3, 3>(6, s * 3);
    const Eigen::Vector3d up = Up(net, s);
    const struct {
      const StationPrecision& got;
      Eigen::Matrix3d want;
    } cases[] = {{free.stations[static_cast<size_t>(s)], c},
                 {held.stations[static_cast<size_t>(s)], r}};
    for (const auto& [got, want] : cases) {
      const Eigen::Vector2d axes = HorizontalAxes(net, s, want);
      EXPECT_NEAR(got.ellipse_major, axes[0], 1e-7) << s;
      EXPECT_NEAR(got.ellipse_minor, axes[1], 1e-7) << s;
      EXPECT_NEAR(got.sigma_u, std::sqrt(up.dot(want * up)), 1e-7) << s;
    }
    // The held station's ellipse is nil; the oracle tells the two datums apart.
    if (s == 2) {
      EXPECT_NEAR(held.stations[2].ellipse_major, 0.0, 1e-9);
    }
    differing += std::abs(held.stations[static_cast<size_t>(s)].ellipse_major -
                          free.stations[static_cast<size_t>(s)].ellipse_major) > 1e-4;
  }
  EXPECT_GE(differing, 4);
}

TEST(StationPrecision, ConfidenceFactorsAgainstTables) {
  // √χ²₂(P) and the two-sided normal quantile, from printed tables.
  const struct {
    double p, planar, linear;
  } table[] = {{0.95, 2.4477, 1.9600},
               {0.99, 3.0349, 2.5758},
               {0.90, 2.1460, 1.6449},
               {0.3935, 1.0000, 0.5151},
               {0.0, 1.0, 1.0}};
  for (const auto& t : table) {
    EXPECT_NEAR(PlanarConfidenceFactor(t.p), t.planar, 6e-5) << t.p;
    EXPECT_NEAR(LinearConfidenceFactor(t.p), t.linear, 6e-5) << t.p;
  }
  const VectorNetwork net = MakeVectorNetwork();
  const AdjustmentResult standard = Adjust(net, -1, 0.0);
  const AdjustmentResult at95 = Adjust(net, -1, 0.95);
  EXPECT_EQ(at95.confidence, 0.95);
  for (size_t s = 0; s < 6; ++s) {
    EXPECT_NEAR(at95.stations[s].ellipse_major / standard.stations[s].ellipse_major, 2.4477, 5e-5);
    EXPECT_NEAR(at95.stations[s].sigma_u / standard.stations[s].sigma_u, 1.96, 5e-5);
  }
}

TEST(RelativePrecision, SameOnEveryDatumAndFlaggedOverItsAllowance) {
  const VectorNetwork net = MakeVectorNetwork();
  const Eigen::MatrixXd pinv = DenseMinimumTrace(net);
  const AdjustmentResult free = Adjust(net, -1, 0.95);
  const AdjustmentResult held = Adjust(net, 4, 0.0);
  ASSERT_EQ(free.relative.size(), net.input.observations.size());
  ASSERT_EQ(held.relative.size(), free.relative.size());
  int flagged = 0;
  for (size_t k = 0; k < free.relative.size(); ++k) {
    const RelativePrecision& got = free.relative[k];
    EXPECT_NEAR(got.major, held.relative[k].major, 1e-9);
    EXPECT_NEAR(got.minor, held.relative[k].minor, 1e-9);
    const int i = got.from, j = got.to;
    const Eigen::Matrix3d c = pinv.block<3, 3>(i * 3, i * 3) + pinv.block<3, 3>(j * 3, j * 3) -
                              pinv.block<3, 3>(i * 3, j * 3) - pinv.block<3, 3>(j * 3, i * 3);
    const Eigen::Vector2d axes = 2.4477 * HorizontalAxes(net, i, c);
    EXPECT_NEAR(got.major, axes[0], 2e-5) << i << "-" << j;
    EXPECT_NEAR(got.minor, axes[1], 2e-5) << i << "-" << j;
    const Eigen::Vector3d d(net.xyz[j][0] - net.xyz[i][0], net.xyz[j][1] - net.xyz[i][1],
                            net.xyz[j][2] - net.xyz[i][2]);
    const double horizontal = std::sqrt(d.squaredNorm() - std::pow(Up(net, i).dot(d), 2));
    EXPECT_NEAR(got.distance, horizontal, 0.01);
    const double allowed = 0.020 + 50e-6 * horizontal;
    EXPECT_NEAR(got.allowed, allowed, 1e-5);
    // The pairs on the poor vectors (to station 5) are over, the others well within.
    EXPECT_EQ(got.exceeded, j == 5) << i << "-" << j << " " << got.major << " " << allowed;
    flagged += got.exceeded;
    if (k > 0) {
      EXPECT_GE(free.relative[k - 1].ratio, got.ratio);
    }
  }
  EXPECT_EQ(flagged, 2);
  EXPECT_EQ(free.relative.front().to, 5);
}

}  // namespace
}  // namespace fenwix
