#include "adjust/sparse_normals.h"

#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

#include "adjust/network_adjustment.h"
#include "survey_network.h"

// Every allocation of this test program is counted, so that a test can read the peak of the
// bytes in use while the adjustment runs.
namespace {
std::atomic<int64_t> live_bytes{0};
std::atomic<int64_t> peak_bytes{0};
constexpr size_t HEADER = 16;  // keeps malloc's alignment
}  // namespace

void* operator new(size_t size) {
  auto* block = static_cast<char*>(std::malloc(size + HEADER));
  if (block == nullptr) throw std::bad_alloc();
  *reinterpret_cast<size_t*>(block) = size;
  const int64_t now = live_bytes += static_cast<int64_t>(size);
  int64_t peak = peak_bytes.load();
  while (now > peak && !peak_bytes.compare_exchange_weak(peak, now)) {
  }
  return block + HEADER;
}
void* operator new[](size_t size) {
  return operator new(size);
}
void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  char* block = static_cast<char*>(p) - HEADER;
  live_bytes -= static_cast<int64_t>(*reinterpret_cast<size_t*>(block));
  std::free(block);
}
void operator delete[](void* p) noexcept {
  operator delete(p);
}
void operator delete(void* p, size_t) noexcept {
  operator delete(p);
}
void operator delete[](void* p, size_t) noexcept {
  operator delete(p);
}
// The non-throwing forms (std::stable_sort's buffer) go the same way.
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  try {
    return operator new(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  return operator new(size, std::nothrow);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  operator delete(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  operator delete(p);
}
// Over-aligned blocks (Eigen's dense kernels ask for them) are counted too: the block keeps its
// size and malloc's own pointer just below the aligned address it hands out.
void* operator new(size_t size, std::align_val_t align) {
  const auto alignment = static_cast<size_t>(align);
  auto* raw = static_cast<char*>(std::malloc(size + alignment + 2 * sizeof(void*)));
  if (raw == nullptr) throw std::bad_alloc();
  const auto start = reinterpret_cast<uintptr_t>(raw) + 2 * sizeof(void*);
  auto* p = reinterpret_cast<char*>((start + alignment - 1) / alignment * alignment);
  reinterpret_cast<void**>(p)[-1] = raw;
  reinterpret_cast<size_t*>(p)[-2] = size;
  const int64_t now = live_bytes += static_cast<int64_t>(size);
  int64_t peak = peak_bytes.load();
  while (now > peak && !peak_bytes.compare_exchange_weak(peak, now)) {
  }
  return p;
}
void* operator new[](size_t size, std::align_val_t align) {
  return operator new(size, align);
}
void operator delete(void* p, std::align_val_t) noexcept {
  if (p == nullptr) return;
  live_bytes -= static_cast<int64_t>(reinterpret_cast<size_t*>(p)[-2]);
  std::free(reinterpret_cast<void**>(p)[-1]);
}
void operator delete[](void* p, std::align_val_t align) noexcept {
  operator delete(p, align);
}
void operator delete(void* p, size_t, std::align_val_t align) noexcept {
  operator delete(p, align);
}
void operator delete[](void* p, size_t, std::align_val_t align) noexcept {
  operator delete(p, align);
}

namespace fenwix {
namespace {

// A GNSS control network: stations 400 m apart on a grid, vectors to the grid neighbours east,
// north and north-east.
bench::GeneratedNetwork ControlNetwork(int32_t stations, uint64_t seed) {
  bench::NetworkLayout layout;
  layout.stations = stations;
  layout.spacing = 400.0;
  layout.gnss_step = 1;
  layout.setup_share = 0.0;
  layout.seed = seed;
  return bench::GenerateNetwork(layout);
}

// The largest difference of σ̂0, r and w (of the tested observations) between two adjustments
// of one network.
double LargestDifference(const AdjustmentResult& a, const AdjustmentResult& b) {
  double largest = std::abs(a.sigma0 - b.sigma0);
  for (size_t i = 0; i < a.observations.size(); ++i) {
    for (size_t c = 0; c < 3; ++c) {
      largest = std::max(largest, std::abs(a.observations[i].r[c] - b.observations[i].r[c]));
      // w of an observation without redundancy (r at roundoff) is roundoff over roundoff.
      if (!a.observations[i].tested) continue;
      largest = std::max(largest, std::abs(a.observations[i].w[c] - b.observations[i].w[c]));
    }
  }
  return largest;
}

// Nested dissection and minimum degree give one adjustment to roundoff, on a network of
// angles, distances and vectors; a vector moved by a millimetre (the planted fault) is seen
// through the same comparison.
TEST(SparseNormals, OrderingsGiveTheSameStatistics) {
  bench::NetworkLayout layout;
  layout.stations = 3000;
  layout.seed = 5;
  const bench::GeneratedNetwork net = bench::GenerateNetwork(layout);
  AdjustmentOptions options;
  options.ordering = StationOrdering::MinimumDegree;
  const AdjustmentResult amd = AdjustNetwork(net.input, options);
  options.ordering = StationOrdering::NestedDissection;
  const AdjustmentResult dissected = AdjustNetwork(net.input, options);
  ASSERT_EQ(amd.outcome, AdjustmentOutcome::Done);
  ASSERT_EQ(dissected.outcome, AdjustmentOutcome::Done);
  EXPECT_EQ(amd.rejected, dissected.rejected);
  EXPECT_LT(LargestDifference(amd, dissected), 1e-9);
  bench::GeneratedNetwork planted = net;
  for (AdjustmentObservation& obs : planted.input.observations) {
    if (obs.kind != AdjustedKind::GnssVector) continue;
    obs.value[0] += 0.001;
    break;
  }
  const AdjustmentResult moved = AdjustNetwork(planted.input, options);
  EXPECT_GT(LargestDifference(amd, moved), 1e-6);
}

// The factor and the selected inverse against a dense inverse, under both orderings, on a
// grid of stations with three unknowns tied to their neighbours; without the ties to the
// ground (the planted fault) the grid floats and its stations are undetermined.
TEST(SparseNormals, FactorAndInverseAgreeWithADenseInverse) {
  constexpr int32_t SIDE = 12, STATIONS = SIDE * SIDE;
  std::vector<std::pair<int32_t, int32_t>> pairs;
  for (int32_t s = 0; s < STATIONS; ++s) {
    if (s % SIDE + 1 < SIDE) pairs.emplace_back(s, s + 1);
    if (s + SIDE < STATIONS) pairs.emplace_back(s, s + SIDE);
  }
  for (const bool grounded : {true, false}) {
    for (const StationOrdering ordering :
         {StationOrdering::MinimumDegree, StationOrdering::NestedDissection}) {
      SparseNormals normals;
      normals.SetOrdering(ordering);
      normals.Layout(std::vector<int32_t>(STATIONS, 3), pairs);
      Eigen::MatrixXd dense = Eigen::MatrixXd::Zero(3 * STATIONS, 3 * STATIONS);
      Eigen::VectorXd rhs(3 * STATIONS);
      const auto add = [&](int32_t s, int32_t t, double w) {
        const double block[9] = {w, 0.1 * w, 0, 0.1 * w, w, 0, 0, 0, w};
        normals.AddBlock(s, t, block);
        for (int a = 0; a < 3; ++a)
          for (int b = 0; b < 3; ++b) dense(3 * s + a, 3 * t + b) += block[a * 3 + b];
      };
      for (const auto& [s, t] : pairs) {
        add(s, s, 1.0);
        add(t, t, 1.0);
        add(s, t, -1.0);
        dense.block(3 * t, 3 * s, 3, 3) = dense.block(3 * s, 3 * t, 3, 3).transpose();
      }
      for (int32_t s = 0; s < STATIONS; ++s) {
        if (grounded) add(s, s, 0.01 * (1 + s % 5));
        const double g[3] = {std::sin(s), std::cos(s), 0.5};
        normals.AddRhs(s, g);
        rhs.segment(3 * s, 3) << g[0], g[1], g[2];
      }
      std::vector<int32_t> undetermined;
      const SparseNormals::Outcome outcome = normals.Factor(undetermined);
      if (!grounded) {
        EXPECT_EQ(outcome, SparseNormals::Outcome::Undetermined);
        EXPECT_FALSE(undetermined.empty());
        continue;
      }
      ASSERT_EQ(outcome, SparseNormals::Outcome::Done);
      const Eigen::MatrixXd inverse = dense.inverse();
      const Eigen::VectorXd x = inverse * rhs;
      const std::vector<double> solved = normals.Solve();
      ASSERT_TRUE(normals.SelectInverse());
      for (int32_t s = 0; s < STATIONS; ++s) {
        for (int a = 0; a < 3; ++a)
          EXPECT_NEAR(solved[static_cast<size_t>(normals.offset(s) + a)], x[3 * s + a], 1e-8);
      }
      for (const auto& [s, t] : pairs) {
        double block[9];
        normals.InverseBlock(s, t, block);
        for (int a = 0; a < 3; ++a)
          for (int b = 0; b < 3; ++b)
            EXPECT_NEAR(block[a * 3 + b], inverse(3 * s + a, 3 * t + b), 1e-8);
      }
    }
  }
}

// Normals of a made-up network: each pair adds a tie between its stations, each station a tie
// to the ground; built both sparse and dense (the oracle). fault adds to the dense copy only.
struct Normals {
  std::vector<int32_t> unknowns;
  std::vector<std::pair<int32_t, int32_t>> pairs;
  std::vector<int32_t> start;  // of each station's unknowns in the dense matrix
  Eigen::MatrixXd dense;
  Eigen::VectorXd rhs;
};

Normals MakeNormals(std::vector<int32_t> unknowns, std::vector<std::pair<int32_t, int32_t>> pairs) {
  Normals n{std::move(unknowns), std::move(pairs), {}, {}, {}};
  int32_t size = 0;
  for (const int32_t k : n.unknowns) {
    n.start.push_back(size);
    size += k;
  }
  n.dense = Eigen::MatrixXd::Zero(size, size);
  n.rhs = Eigen::VectorXd::Zero(size);
  return n;
}

void AddBoth(Normals& n, SparseNormals& sparse, int32_t s, int32_t t, double w, double skew) {
  const int32_t ks = n.unknowns[static_cast<size_t>(s)], kt = n.unknowns[static_cast<size_t>(t)];
  double block[9] = {};
  for (int a = 0; a < ks; ++a)
    for (int b = 0; b < kt; ++b) block[a * kt + b] = a == b ? w : skew * w;
  sparse.AddBlock(s, t, block);
  for (int a = 0; a < ks; ++a)
    for (int b = 0; b < kt; ++b) {
      n.dense(n.start[s] + a, n.start[t] + b) += block[a * kt + b];
      if (s != t) n.dense(n.start[t] + b, n.start[s] + a) += block[a * kt + b];
    }
}

// Stations on a side × side grid, each tied to every station within reach (rows and columns):
// the wider the reach, the wider the separators and the supernodes of the factor.
std::vector<std::pair<int32_t, int32_t>> Grid(int32_t side, int32_t reach) {
  std::vector<std::pair<int32_t, int32_t>> pairs;
  for (int32_t s = 0; s < side * side; ++s)
    for (int32_t dy = 0; dy <= reach; ++dy)
      for (int32_t dx = -reach; dx <= reach; ++dx) {
        const int32_t x = s % side + dx, y = s / side + dy;
        if ((dy == 0 && dx <= 0) || x < 0 || x >= side || y >= side) continue;
        pairs.emplace_back(s, y * side + x);
      }
  return pairs;
}

// The solution and every block of the selected inverse against a dense inverse, on networks
// whose factors have narrow supernodes, merged ones and ones wider than a piece, stations of
// one, two and three unknowns, under both orderings; a dense oracle moved by 1e-6 at one entry
// (the planted fault) is told apart by the same comparison.
TEST(SparseNormals, SupernodesAgreeWithADenseInverse) {
  struct Case {
    const char* name;
    int32_t side, reach;
    bool mixed;  // unknowns 1, 2, 3 in turn, or 3 everywhere
  };
  const Case cases[] = {{"chain-like", 14, 1, false},
                        {"mixed unknowns", 16, 2, true},
                        {"wide separators", 17, 3, false}};
  for (const Case& c : cases) {
    for (const StationOrdering ordering :
         {StationOrdering::MinimumDegree, StationOrdering::NestedDissection}) {
      for (const bool fault : {false, true}) {
        SCOPED_TRACE(std::string(c.name) + (fault ? " planted" : " clean"));
        const int32_t stations = c.side * c.side;
        std::vector<int32_t> unknowns(static_cast<size_t>(stations), 3);
        if (c.mixed)
          for (int32_t s = 0; s < stations; ++s) unknowns[static_cast<size_t>(s)] = 1 + s % 3;
        Normals n = MakeNormals(unknowns, Grid(c.side, c.reach));
        SparseNormals sparse;
        sparse.SetOrdering(ordering);
        sparse.Layout(n.unknowns, n.pairs);
        for (size_t i = 0; i < n.pairs.size(); ++i) {
          const auto [s, t] = n.pairs[i];
          const double w = 1.0 + 0.25 * static_cast<double>(i % 7);
          AddBoth(n, sparse, s, s, w, 0.1);
          AddBoth(n, sparse, t, t, w, 0.1);
          AddBoth(n, sparse, s, t, -w, 0.1);
        }
        for (int32_t s = 0; s < stations; ++s) {
          AddBoth(n, sparse, s, s, 0.02 * (1 + s % 4), 0.0);
          const double g[3] = {std::sin(s), std::cos(s), 0.25};
          sparse.AddRhs(s, g);
          for (int a = 0; a < unknowns[static_cast<size_t>(s)]; ++a) n.rhs[n.start[s] + a] = g[a];
        }
        if (fault) n.dense(5, 5) += 1e-6;
        std::vector<int32_t> undetermined;
        ASSERT_EQ(sparse.Factor(undetermined), SparseNormals::Outcome::Done);
        ASSERT_TRUE(sparse.SelectInverse());
        const Eigen::MatrixXd inverse = n.dense.inverse();
        const Eigen::VectorXd x = inverse * n.rhs;
        const std::vector<double> solved = sparse.Solve();
        double largest = 0.0;  // relative to the largest entry of the inverse
        const double scale = inverse.cwiseAbs().maxCoeff();
        for (int32_t s = 0; s < stations; ++s)
          for (int a = 0; a < unknowns[static_cast<size_t>(s)]; ++a)
            largest = std::max(largest, std::abs(solved[static_cast<size_t>(sparse.offset(s) + a)] -
                                                 x[n.start[s] + a]) /
                                            x.cwiseAbs().maxCoeff());
        std::vector<std::pair<int32_t, int32_t>> blocks = n.pairs;
        for (int32_t s = 0; s < stations; ++s) blocks.emplace_back(s, s);
        for (const auto& [s, t] : blocks) {
          const int32_t ks = unknowns[static_cast<size_t>(s)],
                        kt = unknowns[static_cast<size_t>(t)];
          double block[9];
          sparse.InverseBlock(s, t, block);
          for (int a = 0; a < ks; ++a)
            for (int b = 0; b < kt; ++b)
              largest = std::max(
                  largest,
                  std::abs(block[a * kt + b] - inverse(n.start[s] + a, n.start[t] + b)) / scale);
        }
        if (fault) {
          EXPECT_GT(largest, 1e-9);
        } else {
          EXPECT_LT(largest, 1e-11);
        }
      }
    }
  }
}

// An unknown that nothing fixes is named by its station: a station whose third unknown no tie
// reaches (an exact zero pivot: that station alone), and a part of the network tied to the
// ground nowhere (stations of that part only); with every station tied to the ground (the
// control) nothing is undetermined.
TEST(SparseNormals, UnfixedUnknownsNameTheirStations) {
  constexpr int32_t SIDE = 12, STATIONS = SIDE * SIDE, LOOSE = 37;
  enum class Shape { Sound, LooseDirection, FloatingHalf };
  for (const Shape shape : {Shape::Sound, Shape::LooseDirection, Shape::FloatingHalf}) {
    for (const StationOrdering ordering :
         {StationOrdering::MinimumDegree, StationOrdering::NestedDissection}) {
      std::vector<std::pair<int32_t, int32_t>> pairs = Grid(SIDE, 1);
      // The floating half: the rows from the middle on, cut from the rest.
      const auto floating = [&](int32_t s) {
        return shape == Shape::FloatingHalf && s >= STATIONS / 2;
      };
      std::erase_if(pairs, [&](const auto& p) { return floating(p.first) != floating(p.second); });
      SparseNormals sparse;
      sparse.SetOrdering(ordering);
      sparse.Layout(std::vector<int32_t>(STATIONS, 3), pairs);
      const auto tie = [&](int32_t s, int32_t t, double w) {
        const double third = shape == Shape::LooseDirection && (s == LOOSE || t == LOOSE) ? 0 : w;
        const double block[9] = {w, 0, 0, 0, w, 0, 0, 0, third};
        sparse.AddBlock(s, t, block);
      };
      for (const auto& [s, t] : pairs) {
        tie(s, s, 1.0);
        tie(t, t, 1.0);
        tie(s, t, -1.0);
      }
      for (int32_t s = 0; s < STATIONS; ++s)
        if (!floating(s)) tie(s, s, 0.05);
      std::vector<int32_t> undetermined;
      const SparseNormals::Outcome outcome = sparse.Factor(undetermined);
      switch (shape) {
        case Shape::Sound:
          EXPECT_EQ(outcome, SparseNormals::Outcome::Done);
          EXPECT_TRUE(undetermined.empty());
          break;
        case Shape::LooseDirection:
          EXPECT_EQ(outcome, SparseNormals::Outcome::Undetermined);
          ASSERT_EQ(undetermined.size(), 1U);
          EXPECT_EQ(undetermined.front(), LOOSE);
          break;
        case Shape::FloatingHalf:
          EXPECT_EQ(outcome, SparseNormals::Outcome::Undetermined);
          ASSERT_FALSE(undetermined.empty());
          for (const int32_t s : undetermined) EXPECT_TRUE(floating(s)) << s;
          break;
      }
    }
  }
}

// The predicted peak of the whole test holds within 15 % of the bytes the test had in use at
// its peak; a prediction without the selected inverse (the planted fault) falls out of it.
TEST(SparseNormals, PredictedPeakHoldsOnAMidSizeNetwork) {
  const bench::GeneratedNetwork net = ControlNetwork(6000, 9);
  AdjustmentOptions options;
  options.ordering = StationOrdering::NestedDissection;
  const int64_t before = live_bytes.load();
  peak_bytes = before;
  const AdjustmentResult result = AdjustNetwork(net.input, options);
  const auto measured = static_cast<double>(peak_bytes.load() - before);
  ASSERT_EQ(result.outcome, AdjustmentOutcome::Done);
  EXPECT_NEAR(result.predicted_bytes / measured, 1.0, 0.15) << measured;
  SparseNormals normals;
  std::vector<std::pair<int32_t, int32_t>> pairs;
  for (const AdjustmentObservation& obs : net.input.observations)
    pairs.emplace_back(obs.at, obs.fore);
  std::vector<int32_t> unknowns(net.input.stations.size(), 3);
  unknowns[0] = 0;
  normals.SetOrdering(options.ordering);
  normals.Layout(unknowns, pairs);
  const double without_inverse =
      result.predicted_bytes - 8.0 * static_cast<double>(normals.FactorNonZeros());
  EXPECT_GT(std::abs(without_inverse / measured - 1.0), 0.15);
}

// The factorisation and the selected inverse ask between pieces: told to stop after the first
// answer they stop at once, well before the end; asked nothing to stop, they run through.
TEST(SparseNormals, CancelStopsTheFactorisationAndTheInverseEarly) {
  const bench::GeneratedNetwork net = ControlNetwork(6000, 3);
  std::vector<std::pair<int32_t, int32_t>> pairs;
  for (const AdjustmentObservation& obs : net.input.observations)
    pairs.emplace_back(obs.at, obs.fore);
  SparseNormals normals;
  normals.Layout(std::vector<int32_t>(net.input.stations.size(), 3), pairs);
  for (int32_t s = 0; s < static_cast<int32_t>(net.input.stations.size()); ++s) {
    const double block[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    normals.AddBlock(s, s, block);
  }
  for (const bool cancel : {true, false}) {
    std::vector<double> shares;
    const StepCheck check = [&](double share) {
      shares.push_back(share);
      return cancel && shares.size() >= 2;
    };
    std::vector<int32_t> undetermined;
    const SparseNormals::Outcome outcome = normals.Factor(undetermined, check);
    ASSERT_GE(shares.size(), 2U);
    if (cancel) {
      EXPECT_EQ(outcome, SparseNormals::Outcome::Cancelled);
      EXPECT_EQ(shares.size(), 2U);
      EXPECT_LT(shares.back(), 0.5);
      continue;
    }
    EXPECT_EQ(outcome, SparseNormals::Outcome::Done);
    EXPECT_GT(shares.size(), 4U);
    EXPECT_TRUE(std::is_sorted(shares.begin(), shares.end()));
    EXPECT_GT(shares.back(), 0.8);
    for (const bool stop : {true, false}) {
      std::vector<double> inverse_shares;
      const bool finished = normals.SelectInverse([&](double share) {
        inverse_shares.push_back(share);
        return stop;
      });
      EXPECT_EQ(finished, !stop);
      EXPECT_EQ(inverse_shares.size() == 1, stop);
      if (!stop) {
        EXPECT_GT(inverse_shares.size(), 4U);
      }
    }
  }
}

// A large network is ordered in pieces: the layout asks between them, stops when told, and the
// pieced nested dissection orders the grid no worse than minimum degree, with the same solution.
TEST(SparseNormals, LargeLayoutAsksBetweenPiecesAndOrdersAsWellAsWhole) {
  const bench::GeneratedNetwork net = ControlNetwork(24000, 5);
  const auto stations = static_cast<int32_t>(net.input.stations.size());
  SparseNormals::Pairs pairs;
  std::vector<int32_t> degree(static_cast<size_t>(stations), 0);
  for (const AdjustmentObservation& obs : net.input.observations) {
    pairs.emplace_back(obs.at, obs.fore);
    ++degree[static_cast<size_t>(obs.at)];
    ++degree[static_cast<size_t>(obs.fore)];
  }
  const std::vector<int32_t> unknowns(static_cast<size_t>(stations), 3);
  for (const int stop_at : {2, 0}) {
    std::vector<double> shares;
    SparseNormals normals;
    normals.SetOrdering(StationOrdering::NestedDissection);
    const bool laid_out = normals.Layout(unknowns, pairs, [&](double share) {
      shares.push_back(share);
      return static_cast<int>(shares.size()) == stop_at;
    });
    EXPECT_EQ(laid_out, stop_at == 0);
    EXPECT_TRUE(std::is_sorted(shares.begin(), shares.end()));
    if (stop_at != 0) {
      EXPECT_EQ(shares.size(), 2U);
    } else {
      // Three pieces at least, their separators, and the steps after the ordering.
      EXPECT_GE(shares.size(), HasNestedDissection() ? 8U : 4U);
      EXPECT_LE(shares.back(), 1.0);
    }
  }
  // A diagonally dominant matrix on the network's pattern, solved under both orderings.
  std::vector<double> solutions[2];
  int64_t fill[2] = {};
  const StationOrdering orderings[2] = {StationOrdering::NestedDissection,
                                        StationOrdering::MinimumDegree};
  for (int o = 0; o < 2; ++o) {
    SparseNormals normals;
    normals.SetOrdering(orderings[o]);
    ASSERT_TRUE(normals.Layout(unknowns, pairs));
    const double minus[9] = {-1, 0, 0, 0, -1, 0, 0, 0, -1};
    for (const auto& [s, t] : pairs) normals.AddBlock(s, t, minus);
    for (int32_t s = 0; s < stations; ++s) {
      const double d = degree[static_cast<size_t>(s)] + 1.0;
      const double own[9] = {d, 0, 0, 0, d, 0, 0, 0, d};
      normals.AddBlock(s, s, own);
      const double g[3] = {std::sin(s * 0.7), std::cos(s * 1.3), 0.25 * (s % 7)};
      normals.AddRhs(s, g);
    }
    std::vector<int32_t> undetermined;
    ASSERT_EQ(normals.Factor(undetermined), SparseNormals::Outcome::Done);
    const std::vector<double> x = normals.Solve();
    for (int32_t s = 0; s < stations; ++s)
      for (int c = 0; c < 3; ++c) solutions[o].push_back(x[normals.offset(s) + c]);
    fill[o] = normals.FactorNonZeros();
  }
  double largest = 0.0;
  for (size_t i = 0; i < solutions[0].size(); ++i)
    largest = std::max(largest, std::abs(solutions[0][i] - solutions[1][i]));
  EXPECT_LT(largest, 1e-9);
  if (HasNestedDissection()) {
    EXPECT_LT(fill[0], fill[1]);
  }
}

}  // namespace
}  // namespace fenwix
