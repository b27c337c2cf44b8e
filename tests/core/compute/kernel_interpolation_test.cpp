#include "compute/kernel_interpolation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "compute/sounding_setup.h"

namespace kvo::core {
namespace {

TEST(VisitedIndices, StepTheSeriesAndKeepTheLast) {
  struct Case {
    int step;
    std::size_t n;
    std::size_t count, second, beforeLast, last;
  };
  const Case cases[] = {
      {1, 100, 100, 1, 98, 99},
      {2, 100, 51, 2, 98, 99},  // 0, 2, ..., 98 and 99
      {3, 100, 34, 3, 96, 99},
  };
  for (const Case& c : cases) {
    const std::vector<std::size_t> v = VisitedIndices(c.step, c.n);
    ASSERT_EQ(v.size(), c.count) << c.step;
    EXPECT_EQ(v.front(), 0u);
    EXPECT_EQ(v[1], c.second);
    EXPECT_EQ(v[v.size() - 2], c.beforeLast);
    EXPECT_EQ(v.back(), c.last);
  }
  EXPECT_EQ(VisitedIndices(2, 1), std::vector<std::size_t>{0});
}

TEST(FillBetweenNodes, ReproducesAQuadraticEverywhere) {
  // Piecewise parabolas through nodes of a quadratic are the quadratic.
  std::vector<double> x(100);
  for (std::size_t i = 0; i < 100; ++i) x[i] = 1 + 0.37 * i + 0.01 * i * i;
  const auto f = [](double v) { return 3e-4 * v * v - 0.02 * v + 1.5; };
  for (const int step : {1, 2}) {
    const std::vector<std::size_t> nodes = VisitedIndices(step, 100);
    std::vector<double> y(100, 0.0);
    for (std::size_t n : nodes) y[n] = f(x[n]);
    FillBetweenNodes(x, nodes, step, y);
    for (std::size_t i = 0; i < 100; ++i) EXPECT_NEAR(y[i], f(x[i]), 1e-10) << "step " << step << " at " << i;
  }
}

TEST(FillBetweenNodes, LeavesTooFewNodesAlone) {
  const std::vector<double> x{0.0, 1.0};
  std::vector<double> y{4.0, 5.0};
  FillBetweenNodes(x, std::vector<std::size_t>{0, 1}, 1, y);
  EXPECT_EQ(y, (std::vector<double>{4.0, 5.0}));
}

}  // namespace
}  // namespace kvo::core
