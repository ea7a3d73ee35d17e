#include "gallery/resample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace gallery {
namespace {

platform::Image RandomImage(int width, int height, int channels, std::uint32_t seed) {
  platform::Image image = platform::MakeImage(width, height, channels);
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  for (std::uint8_t& b : image.pixels) {
    b = static_cast<std::uint8_t>(byte(random));
  }
  return image;
}

// Largest difference between two images of the same shape, and how many bytes differ at all.
struct Difference {
  int largest = 0;
  std::size_t differing = 0;
};

Difference Compare(const platform::Image& got, const platform::Image& want) {
  Difference d;
  EXPECT_EQ(got.width, want.width);
  EXPECT_EQ(got.height, want.height);
  EXPECT_EQ(got.channels, want.channels);
  if (got.pixels.size() != want.pixels.size()) {
    d.largest = 256;
    return d;
  }
  for (std::size_t k = 0; k < got.pixels.size(); ++k) {
    const int diff = std::abs(int{got.pixels[k]} - int{want.pixels[k]});
    d.largest = std::max(d.largest, diff);
    d.differing += diff != 0 ? 1 : 0;
  }
  return d;
}

// Area averaging done the slow way: each output pixel is a rectangle of the source plane, and
// every source pixel counts by the area it shares with it.
platform::Image AreaReference(const platform::Image& src, int width, int height) {
  platform::Image out = platform::MakeImage(width, height, src.channels);
  const double sx = static_cast<double>(src.width) / width;
  const double sy = static_cast<double>(src.height) / height;
  for (int y = 0; y < height; ++y) {
    const double top = y * sy;
    const double bottom = (y + 1) * sy;
    for (int x = 0; x < width; ++x) {
      const double left = x * sx;
      const double right = (x + 1) * sx;
      std::vector<double> sum(static_cast<std::size_t>(src.channels), 0.0);
      double covered = 0.0;
      for (int j = 0; j < src.height; ++j) {
        const double h = std::min(bottom, j + 1.0) - std::max(top, static_cast<double>(j));
        if (h <= 0) {
          continue;
        }
        for (int i = 0; i < src.width; ++i) {
          const double w = std::min(right, i + 1.0) - std::max(left, static_cast<double>(i));
          if (w <= 0) {
            continue;
          }
          covered += w * h;
          for (int c = 0; c < src.channels; ++c) {
            sum[static_cast<std::size_t>(c)] += w * h * src.row(j)[i * src.channels + c];
          }
        }
      }
      for (int c = 0; c < src.channels; ++c) {
        out.row(y)[x * src.channels + c] =
            static_cast<std::uint8_t>(std::lround(sum[static_cast<std::size_t>(c)] / covered));
      }
    }
  }
  return out;
}

// The cubic written out from its definition, one output pixel at a time, with no precomputed
// tables and no skipped taps.
double ReferenceMitchell(double x) {
  const double b = 1.0 / 3;
  const double c = 1.0 / 3;
  x = std::abs(x);
  if (x < 1) {
    return ((12 - 9 * b - 6 * c) * std::pow(x, 3) + (-18 + 12 * b + 6 * c) * std::pow(x, 2) +
            (6 - 2 * b)) /
           6;
  }
  if (x < 2) {
    return ((-b - 6 * c) * std::pow(x, 3) + (6 * b + 30 * c) * std::pow(x, 2) +
            (-12 * b - 48 * c) * x + (8 * b + 24 * c)) /
           6;
  }
  return 0;
}

std::uint8_t ReferenceByte(double sum) {
  const double v = std::trunc(sum + 0.5);
  return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
}

// One pass of the cubic along x (horizontal) or y, from `src` to a new byte image.
platform::Image MitchellPass(const platform::Image& src, int size, bool horizontal) {
  const int n = horizontal ? src.width : src.height;
  const double s = static_cast<double>(size) / n;
  const double support = s < 1 ? 2 / s : 2;
  platform::Image out = horizontal ? platform::MakeImage(size, src.height, src.channels)
                                   : platform::MakeImage(src.width, size, src.channels);
  for (int i = 0; i < size; ++i) {
    const double p = (i + 0.5) / s - 0.5;
    const int lo = std::max(0, static_cast<int>(std::floor(p - support)));
    const int hi = std::min(n - 1, static_cast<int>(std::ceil(p + support)));
    std::vector<double> w;
    double total = 0;
    for (int j = lo; j <= hi; ++j) {
      w.push_back(s < 1 ? ReferenceMitchell((j - p) * s) * s : ReferenceMitchell(j - p));
      total += w.back();
    }
    if (total > 0 && total != 1) {
      for (double& v : w) {
        v /= total;
      }
    }
    const int across = horizontal ? src.height : src.width;
    for (int k = 0; k < across; ++k) {
      for (int c = 0; c < src.channels; ++c) {
        double sum = 0;
        for (int j = lo; j <= hi; ++j) {
          const int x = horizontal ? j : k;
          const int y = horizontal ? k : j;
          sum += w[static_cast<std::size_t>(j - lo)] * src.row(y)[x * src.channels + c];
        }
        const int x = horizontal ? i : k;
        const int y = horizontal ? k : i;
        out.row(y)[x * src.channels + c] = ReferenceByte(sum);
      }
    }
  }
  return out;
}

platform::Image MitchellReference(const platform::Image& src, int width, int height) {
  if (static_cast<long long>(src.width) * height < static_cast<long long>(src.height) * width) {
    return MitchellPass(MitchellPass(src, height, false), width, true);
  }
  return MitchellPass(MitchellPass(src, width, true), height, false);
}

struct Shape {
  int src_w, src_h, dst_w, dst_h;
};

// Reductions by whole and fractional factors, enlargements, and one axis each way.
constexpr Shape kShapes[] = {
    {40, 30, 12, 9},  {37, 23, 10, 6}, {31, 47, 7, 11}, {25, 25, 9, 9},
    {9, 7, 23, 17},   {5, 3, 12, 8},   {30, 8, 11, 19}, {13, 40, 13, 9},
    {40, 13, 11, 13}, {1, 1, 4, 3},    {64, 2, 5, 1},   {3, 50, 2, 7},
};

TEST(MitchellKernel, KnownValues) {
  struct Case {
    double x, want;
  };
  const Case cases[] = {{0, 8.0 / 9}, {1, 1.0 / 18}, {-1, 1.0 / 18},    {2, 0},
                        {-2, 0},      {2.5, 0},      {0.5, 77.0 / 144}, {-1.5, -5.0 / 144}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x);
    EXPECT_NEAR(MitchellKernel(c.x), c.want, 1e-12);
  }
}

TEST(AxisWeights, EachOutputSumsToOneWithinTheSource) {
  const int sizes[][2] = {{100, 7}, {7, 100}, {10, 10}, {1, 5}, {5, 1}, {6000, 150}, {33, 32}};
  for (const auto& size : sizes) {
    for (const bool cubic : {false, true}) {
      SCOPED_TRACE(testing::Message() << size[0] << " to " << size[1] << (cubic ? " cubic" : ""));
      const AxisWeights axis = cubic ? MitchellAxis(size[0], size[1]) : AreaAxis(size[0], size[1]);
      ASSERT_EQ(axis.first.size(), static_cast<std::size_t>(size[1]));
      ASSERT_EQ(axis.count.size(), static_cast<std::size_t>(size[1]));
      for (int i = 0; i < size[1]; ++i) {
        ASSERT_GE(axis.first[i], 0);
        ASSERT_GE(axis.count[i], 1);
        ASSERT_LE(axis.count[i], axis.stride);
        ASSERT_LE(axis.first[i] + axis.count[i], size[0]);
        double sum = 0;
        for (int t = 0; t < axis.count[i]; ++t) {
          const double w = axis.weights[static_cast<std::size_t>(i * axis.stride + t)];
          sum += w;
          if (!cubic) {
            EXPECT_GT(w, 0) << "area weights cover something";
          }
        }
        EXPECT_NEAR(sum, 1.0, 1e-12) << "output " << i;
      }
    }
  }
}

TEST(AreaAxis, SharesAreTheCoveredFractions) {
  // 3 source pixels into 2: the middle one is split in half between the outputs.
  const AxisWeights axis = AreaAxis(3, 2);
  ASSERT_EQ(axis.count, (std::vector<int>{2, 2}));
  EXPECT_EQ(axis.first, (std::vector<int>{0, 1}));
  EXPECT_DOUBLE_EQ(axis.weights[0], 2.0 / 3);
  EXPECT_DOUBLE_EQ(axis.weights[1], 1.0 / 3);
  EXPECT_DOUBLE_EQ(axis.weights[static_cast<std::size_t>(axis.stride)], 1.0 / 3);
  EXPECT_DOUBLE_EQ(axis.weights[static_cast<std::size_t>(axis.stride) + 1], 2.0 / 3);
}

TEST(AreaAxis, ScaledPixelsCountByTheFullPixelsTheyStandFor) {
  // A side of 9 decoded at 1/2 gives 5 pixels, the last standing for one full pixel only. Into 2
  // outputs of 4.5 full pixels each: the third pixel is split 1 : 3, and the last weighs one full
  // pixel, not two, so nothing shifts towards the end.
  const AxisWeights axis = ScaledAreaAxis(9, 2, 2);
  ASSERT_EQ(axis.count, (std::vector<int>{3, 3}));
  EXPECT_EQ(axis.first, (std::vector<int>{0, 2}));
  const double want[2][3] = {{4.0 / 9, 4.0 / 9, 1.0 / 9}, {3.0 / 9, 4.0 / 9, 2.0 / 9}};
  for (std::size_t i = 0; i < 2; ++i) {
    for (std::size_t t = 0; t < 3; ++t) {
      EXPECT_DOUBLE_EQ(axis.weights[i * static_cast<std::size_t>(axis.stride) + t], want[i][t])
          << "output " << i << ", tap " << t;
    }
  }
  // Block 1 is plain area averaging, to the bit.
  const AxisWeights plain = AreaAxis(37, 10);
  const AxisWeights scaled = ScaledAreaAxis(37, 1, 10);
  EXPECT_EQ(plain.first, scaled.first);
  EXPECT_EQ(plain.weights, scaled.weights);
}

TEST(Resize, AreaAveragingMatchesDirectCoverage) {
  std::uint32_t seed = 1;
  for (const Shape& s : kShapes) {
    SCOPED_TRACE(testing::Message()
                 << s.src_w << "x" << s.src_h << " to " << s.dst_w << "x" << s.dst_h);
    const platform::Image src = RandomImage(s.src_w, s.src_h, 3, seed++);
    const Difference d =
        Compare(Resize(src, s.dst_w, s.dst_h), AreaReference(src, s.dst_w, s.dst_h));
    EXPECT_LE(d.largest, 1);
  }
}

TEST(Resize, MitchellMatchesTheFormulaPassByPass) {
  std::uint32_t seed = 100;
  for (const Shape& s : kShapes) {
    SCOPED_TRACE(testing::Message()
                 << s.src_w << "x" << s.src_h << " to " << s.dst_w << "x" << s.dst_h);
    const platform::Image src = RandomImage(s.src_w, s.src_h, 4, seed++);
    const platform::Image want = MitchellReference(src, s.dst_w, s.dst_h);
    const Difference d = Compare(Resize(src, s.dst_w, s.dst_h), want);
    EXPECT_LE(d.largest, 1);
    // The same doubles summed in the same order: off-by-one bytes should be rare accidents.
    EXPECT_LE(d.differing, want.pixels.size() / 100);
  }
}

TEST(Resize, MitchellRingingIsClamped) {
  // A hard black/white edge undershoots and overshoots under the cubic when enlarged. Clamped,
  // the row still rises steadily; wrapped, a -1 would read as 255 in the dark part.
  platform::Image src = platform::MakeImage(8, 1, 4, 255);
  for (int x = 0; x < 4; ++x) {
    std::fill_n(src.row(0) + x * 4, 3, std::uint8_t{0});
  }
  const platform::Image got = Resize(src, 29, 1);
  ASSERT_EQ(got.width, 29);
  for (int x = 1; x < 29; ++x) {
    EXPECT_LE(got.row(0)[(x - 1) * 4], got.row(0)[x * 4]) << "x " << x;
    EXPECT_EQ(got.row(0)[x * 4 + 3], 255);
  }
  EXPECT_EQ(got.pixels, MitchellReference(src, 29, 1).pixels);
}

TEST(Resize, FlatColourStaysFlat) {
  const std::uint8_t colour[] = {12, 200, 77, 130};
  for (const int channels : {3, 4}) {
    for (const Shape& s : kShapes) {
      SCOPED_TRACE(testing::Message() << channels << " channels, " << s.src_w << "x" << s.src_h
                                      << " to " << s.dst_w << "x" << s.dst_h);
      platform::Image src = platform::MakeImage(s.src_w, s.src_h, channels);
      for (std::size_t k = 0; k < src.pixels.size(); ++k) {
        src.pixels[k] = colour[k % static_cast<std::size_t>(channels)];
      }
      const platform::Image got = Resize(src, s.dst_w, s.dst_h);
      ASSERT_EQ(got.pixels.size(), static_cast<std::size_t>(s.dst_w * s.dst_h * channels));
      for (std::size_t k = 0; k < got.pixels.size(); ++k) {
        ASSERT_EQ(got.pixels[k], colour[k % static_cast<std::size_t>(channels)]) << "byte " << k;
      }
    }
  }
}

TEST(Resize, SameSizeOrNoSize) {
  const platform::Image src = RandomImage(6, 4, 4, 7);
  EXPECT_EQ(Resize(src, 6, 4).pixels, src.pixels);
  EXPECT_TRUE(Resize(src, 0, 4).empty());
  EXPECT_TRUE(Resize(src, 3, -1).empty());
  EXPECT_TRUE(Resize(platform::Image{}, 3, 3).empty());
}

TEST(VerticalFirst, PicksTheSmallerIntermediate) {
  struct Case {
    int src_w, src_h, dst_w, dst_h;
    bool want;
  };
  const Case cases[] = {
      {100, 10, 10, 10, false},  // shrinking the width first leaves 10x10 rather than 100x10
      {10, 100, 10, 10, true},  {600, 400, 150, 100, false},  // a tie runs horizontally first
      {10, 10, 40, 20, true},  // enlarging: the height grows less, so it goes first
      {10, 10, 20, 40, false},  {60000, 40000, 60001, 40000, true},  // products beyond 32 bits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.src_w << "x" << c.src_h << " to " << c.dst_w << "x" << c.dst_h);
    EXPECT_EQ(VerticalFirst(c.src_w, c.src_h, c.dst_w, c.dst_h), c.want);
  }
}

// Pushes `src` row by row through a RowResizer; empty when it refuses.
platform::Image Streamed(const platform::Image& src, int width, int height, CubicSums sums,
                         int rows = -1) {
  RowResizer r;
  if (!StartResize(r, src.width, src.height, src.channels, width, height, std::uint64_t{1} << 30,
                   sums)) {
    return {};
  }
  for (int y = 0; y < (rows < 0 ? src.height : rows); ++y) {
    PushRow(r, src.row(y % src.height));
  }
  return FinishResize(r);
}

TEST(RowResizer, StreamingGivesTheWholePictureBytes) {
  // Random sizes on top of the fixed shapes, so that both pass orders, enlargements and axes
  // that keep their size all come up; rows of sums are reused many times over on tall sources.
  std::vector<Shape> shapes(std::begin(kShapes), std::end(kShapes));
  shapes.push_back({300, 7, 150, 3});
  shapes.push_back({7, 300, 3, 150});
  std::mt19937 random(7);
  std::uniform_int_distribution<int> side(1, 90);
  for (int i = 0; i < 40; ++i) {
    shapes.push_back({side(random), side(random), side(random), side(random)});
  }
  int vertical_first = 0;
  std::uint32_t seed = 500;
  for (const Shape& s : shapes) {
    SCOPED_TRACE(testing::Message()
                 << s.src_w << "x" << s.src_h << " to " << s.dst_w << "x" << s.dst_h);
    vertical_first += VerticalFirst(s.src_w, s.src_h, s.dst_w, s.dst_h) ? 1 : 0;
    for (const int channels : {3, 4}) {
      const platform::Image src = RandomImage(s.src_w, s.src_h, channels, seed++);
      const platform::Image want = Resize(src, s.dst_w, s.dst_h);
      EXPECT_EQ(Streamed(src, s.dst_w, s.dst_h, CubicSums::kExact).pixels, want.pixels)
          << channels << " channels";
      const platform::Image fast = Streamed(src, s.dst_w, s.dst_h, CubicSums::kFast);
      if (channels == 3) {
        EXPECT_EQ(fast.pixels, want.pixels) << "area sums are always exact";
      } else {
        // Rounded weights move a sum that lies near a half by one; the second pass may carry
        // that on. Noise is the worst case: every sum lands anywhere.
        const Difference d = Compare(fast, want);
        EXPECT_LE(d.largest, 2);
        EXPECT_LE(d.differing, want.pixels.size() * 3 / 100 + 2);
      }
    }
  }
  EXPECT_GT(vertical_first, 5);
  EXPECT_LT(vertical_first, static_cast<int>(shapes.size()) - 5);
}

TEST(RowResizer, FixedPointCubicStaysWithinOneOfTheFormula) {
  // Large reductions have long tap lists, where rounded weights could drift most.
  const Shape shapes[] = {{600, 400, 100, 66}, {400, 600, 66, 100}, {750, 250, 150, 49}};
  std::uint32_t seed = 900;
  for (const Shape& s : shapes) {
    SCOPED_TRACE(testing::Message()
                 << s.src_w << "x" << s.src_h << " to " << s.dst_w << "x" << s.dst_h);
    const platform::Image src = RandomImage(s.src_w, s.src_h, 4, seed++);
    const Difference d = Compare(Streamed(src, s.dst_w, s.dst_h, CubicSums::kFast),
                                 MitchellReference(src, s.dst_w, s.dst_h));
    EXPECT_LE(d.largest, 1);
    EXPECT_LE(d.differing, src.pixels.size() / 100);
  }
}

TEST(RowResizer, HoldsOnlyTheRowsItsFilterSpans) {
  struct Case {
    int src_w, src_h, channels, dst_w, dst_h;
    std::size_t most_open;
  };
  const Case cases[] = {
      {40, 3000, 3, 4, 10, 2},  // area: an output row shares at most one source row
      {40, 3000, 4, 4, 10, 5},  // the cubic reaches two output rows each way
      {3000, 40, 4, 10, 4, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.src_w << "x" << c.src_h << "x" << c.channels);
    RowResizer r;
    ASSERT_TRUE(StartResize(r, c.src_w, c.src_h, c.channels, c.dst_w, c.dst_h, 1 << 20));
    EXPECT_LE(std::max(r.sums.size(), r.fixed_sums.size()), c.most_open);
  }
}

TEST(RowResizer, RefusesWhatItCannotFinish) {
  const platform::Image src = RandomImage(20, 10, 3, 1);
  RowResizer r;
  EXPECT_FALSE(StartResize(r, 0, 10, 3, 5, 5, 1 << 20));
  EXPECT_FALSE(StartResize(r, 20, 10, 2, 5, 5, 1 << 20));
  EXPECT_FALSE(StartResize(r, 20, 10, 3, 0, 5, 1 << 20));
  EXPECT_FALSE(StartResize(r, 20, 10, 3, 5, 5, 100)) << "over the budget";
  for (const int rows : {0, 9}) {
    EXPECT_TRUE(Streamed(src, 5, 3, CubicSums::kFast, rows).empty()) << rows << " rows";
  }
  EXPECT_EQ(Streamed(src, 5, 3, CubicSums::kFast, 12).pixels, Resize(src, 5, 3).pixels)
      << "rows past the last are ignored";
}

}  // namespace
}  // namespace gallery
