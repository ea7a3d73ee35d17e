#include "gallery/resample.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace gallery {
namespace {

constexpr double kMitchellB = 1.0 / 3;
constexpr double kMitchellC = 1.0 / 3;
constexpr double kMitchellSupport = 2.0;

// Adds 0.5 and truncates, then holds the result within a byte. Sums below zero (the cubic's
// negative lobes) and above 255 are clamped here; comparing before the cast keeps the conversion
// defined.
std::uint8_t ToByte(double sum) {
  const double rounded = sum + 0.5;
  if (!(rounded >= 1.0)) {
    return 0;
  }
  if (rounded >= 255.0) {
    return 255;
  }
  return static_cast<std::uint8_t>(rounded);
}

// Drops taps whose weight is exactly zero at either end (the cubic's support edges): adding 0 * v
// never changes a sum, and the row pass is the hot loop.
void TrimZeroTaps(std::vector<double>& taps, int& first) {
  std::size_t begin = 0;
  std::size_t end = taps.size();
  while (end > begin + 1 && taps[end - 1] == 0.0) {
    --end;
  }
  while (end > begin + 1 && taps[begin] == 0.0) {
    ++begin;
  }
  taps.erase(taps.begin() + static_cast<std::ptrdiff_t>(end), taps.end());
  taps.erase(taps.begin(), taps.begin() + static_cast<std::ptrdiff_t>(begin));
  first += static_cast<int>(begin);
}

// Packs per-output tap lists into the strided layout the passes read.
AxisWeights Pack(std::vector<int> first, const std::vector<std::vector<double>>& taps) {
  AxisWeights axis;
  axis.first = std::move(first);
  std::size_t widest = 0;
  for (const auto& t : taps) {
    widest = std::max(widest, t.size());
  }
  axis.stride = static_cast<int>(widest);
  axis.count.reserve(taps.size());
  axis.weights.assign(taps.size() * widest, 0.0);
  for (std::size_t i = 0; i < taps.size(); ++i) {
    axis.count.push_back(static_cast<int>(taps[i].size()));
    std::copy(taps[i].begin(), taps[i].end(), axis.weights.begin() + i * widest);
  }
  return axis;
}

// An axis that maps every pixel onto itself with weight 1 leaves the image as it is; the area
// filter gives one whenever a side keeps its size, and skipping it saves a full pass.
bool IsIdentity(const AxisWeights& axis) {
  for (std::size_t i = 0; i < axis.first.size(); ++i) {
    if (axis.count[i] != 1 || axis.first[i] != static_cast<int>(i) ||
        axis.weights[i * static_cast<std::size_t>(axis.stride)] != 1.0) {
      return false;
    }
  }
  return true;
}

// The channel count is a template argument so the compiler can unroll the per-pixel loop; the
// loop itself is written once.
template <int kChannels>
void FilterRowsInto(const platform::Image& src, const AxisWeights& across, platform::Image& dst) {
  const int dst_width = dst.width;
  const std::size_t stride = static_cast<std::size_t>(across.stride);
  for (int y = 0; y < src.height; ++y) {
    const std::uint8_t* in = src.row(y);
    std::uint8_t* out = dst.row(y);
    for (int x = 0; x < dst_width; ++x) {
      const double* w = across.weights.data() + static_cast<std::size_t>(x) * stride;
      const std::uint8_t* p = in + static_cast<std::size_t>(across.first[x]) * kChannels;
      double sum[kChannels] = {};
      for (int t = 0; t < across.count[x]; ++t) {
        // Unrolled, the sums stay in registers instead of going through memory on every tap.
#pragma GCC unroll 4
        for (int c = 0; c < kChannels; ++c) {
          sum[c] += w[t] * p[c];
        }
        p += kChannels;
      }
#pragma GCC unroll 4
      for (int c = 0; c < kChannels; ++c) {
        out[c] = ToByte(sum[c]);
      }
      out += kChannels;
    }
  }
}

}  // namespace

double MitchellKernel(double x) {
  constexpr double b = kMitchellB;
  constexpr double c = kMitchellC;
  const double t = std::fabs(x);
  if (t < 1.0) {
    return ((12 - 9 * b - 6 * c) * t * t * t + (-18 + 12 * b + 6 * c) * t * t + (6 - 2 * b)) / 6;
  }
  if (t < 2.0) {
    return ((-b - 6 * c) * t * t * t + (6 * b + 30 * c) * t * t + (-12 * b - 48 * c) * t +
            (8 * b + 24 * c)) /
           6;
  }
  return 0.0;
}

// Output pixel i covers the source span [i * src / dst, (i + 1) * src / dst). Measured in units
// of 1 / dst both ends are integers, so the overlaps are exact and the weights sum to 1 up to
// one rounding each. When enlarging the span is shorter than a pixel and the same overlap rule
// still holds: an output pixel takes one source pixel, or blends the two it straddles.
AxisWeights AreaAxis(int src_size, int dst_size) {
  if (src_size <= 0 || dst_size <= 0) {
    return {};
  }
  const std::int64_t n = src_size;
  const std::int64_t m = dst_size;
  std::vector<int> first(static_cast<std::size_t>(dst_size));
  std::vector<std::vector<double>> taps(static_cast<std::size_t>(dst_size));
  for (std::int64_t i = 0; i < m; ++i) {
    const std::int64_t lo = i * n;
    const std::int64_t hi = (i + 1) * n;
    const std::int64_t j_first = lo / m;
    const std::int64_t j_last = (hi - 1) / m;
    auto& t = taps[static_cast<std::size_t>(i)];
    for (std::int64_t j = j_first; j <= j_last; ++j) {
      const std::int64_t overlap = std::min(hi, (j + 1) * m) - std::max(lo, j * m);
      t.push_back(static_cast<double>(overlap) / static_cast<double>(n));
    }
    first[static_cast<std::size_t>(i)] = static_cast<int>(j_first);
  }
  return Pack(std::move(first), taps);
}

AxisWeights MitchellAxis(int src_size, int dst_size) {
  if (src_size <= 0 || dst_size <= 0) {
    return {};
  }
  const double s = static_cast<double>(dst_size) / src_size;
  const bool reducing = s < 1.0;
  const double support = reducing ? kMitchellSupport / s : kMitchellSupport;
  std::vector<int> first(static_cast<std::size_t>(dst_size));
  std::vector<std::vector<double>> taps(static_cast<std::size_t>(dst_size));
  for (int i = 0; i < dst_size; ++i) {
    const double p = (i + 0.5) / s - 0.5;
    const int lo = std::max(0, static_cast<int>(std::floor(p - support)));
    const int hi = std::min(src_size - 1, static_cast<int>(std::ceil(p + support)));
    auto& t = taps[static_cast<std::size_t>(i)];
    double sum = 0.0;
    for (int j = lo; j <= hi; ++j) {
      const double w = reducing ? MitchellKernel((j - p) * s) * s : MitchellKernel(j - p);
      t.push_back(w);
      sum += w;
    }
    if (sum > 0.0 && sum != 1.0) {
      for (double& w : t) {
        w /= sum;
      }
    }
    int from = lo;
    TrimZeroTaps(t, from);
    first[static_cast<std::size_t>(i)] = from;
  }
  return Pack(std::move(first), taps);
}

platform::Image FilterRows(const platform::Image& src, const AxisWeights& across) {
  const int dst_width = static_cast<int>(across.first.size());
  if (src.empty() || dst_width <= 0) {
    return {};
  }
  platform::Image dst = platform::MakeImage(dst_width, src.height, src.channels);
  if (src.channels == 3) {
    FilterRowsInto<3>(src, across, dst);
  } else if (src.channels == 4) {
    FilterRowsInto<4>(src, across, dst);
  } else {
    return {};
  }
  return dst;
}

// Accumulates whole source rows into one row of sums, so both the reads and the writes run along
// memory; the channel count does not matter here.
platform::Image FilterColumns(const platform::Image& src, const AxisWeights& down) {
  const int dst_height = static_cast<int>(down.first.size());
  if (src.empty() || dst_height <= 0 || (src.channels != 3 && src.channels != 4)) {
    return {};
  }
  platform::Image dst = platform::MakeImage(src.width, dst_height, src.channels);
  const std::size_t row_bytes = src.stride();
  const std::size_t stride = static_cast<std::size_t>(down.stride);
  std::vector<double> sums(row_bytes);
  for (int y = 0; y < dst_height; ++y) {
    std::fill(sums.begin(), sums.end(), 0.0);
    const double* w = down.weights.data() + static_cast<std::size_t>(y) * stride;
    for (int t = 0; t < down.count[y]; ++t) {
      const std::uint8_t* in = src.row(down.first[y] + t);
      const double weight = w[t];
      for (std::size_t k = 0; k < row_bytes; ++k) {
        sums[k] += weight * in[k];
      }
    }
    std::uint8_t* out = dst.row(y);
    for (std::size_t k = 0; k < row_bytes; ++k) {
      out[k] = ToByte(sums[k]);
    }
  }
  return dst;
}

bool VerticalFirst(int src_width, int src_height, int dst_width, int dst_height) {
  return static_cast<std::int64_t>(src_width) * dst_height <
         static_cast<std::int64_t>(src_height) * dst_width;
}

platform::Image Resize(const platform::Image& src, int width, int height) {
  if (src.empty() || width <= 0 || height <= 0 || (src.channels != 3 && src.channels != 4)) {
    return {};
  }
  if (src.width == width && src.height == height) {
    return src;
  }
  const bool cubic = src.channels == 4;
  const AxisWeights across = cubic ? MitchellAxis(src.width, width) : AreaAxis(src.width, width);
  const AxisWeights down = cubic ? MitchellAxis(src.height, height) : AreaAxis(src.height, height);
  const bool skip_rows = IsIdentity(across);
  const bool skip_columns = IsIdentity(down);
  if (skip_rows) {
    return FilterColumns(src, down);
  }
  if (skip_columns) {
    return FilterRows(src, across);
  }
  if (VerticalFirst(src.width, src.height, width, height)) {
    return FilterRows(FilterColumns(src, down), across);
  }
  return FilterColumns(FilterRows(src, across), down);
}

}  // namespace gallery
