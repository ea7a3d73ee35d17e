#include "gallery/resample.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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
// loop itself is written once, and both the whole-picture and the streaming resize call it.
template <int kChannels>
void FilterRowInto(const std::uint8_t* in, const AxisWeights& across, std::uint8_t* out) {
  const int dst_width = static_cast<int>(across.first.size());
  const std::size_t stride = static_cast<std::size_t>(across.stride);
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

void FilterRow(int channels, const std::uint8_t* in, const AxisWeights& across, std::uint8_t* out) {
  if (channels == 3) {
    FilterRowInto<3>(in, across, out);
  } else {
    FilterRowInto<4>(in, across, out);
  }
}

// One tap of the column pass, in the same order and arithmetic for both resizes so that their
// sums agree to the bit.
void AddWeightedRow(const std::uint8_t* in, double weight, std::size_t bytes, double* sums) {
  std::size_t k = 0;
#ifdef __SSE2__
  // The same multiply and add per byte as the loop below, two doubles at a time: SSE2 rounds
  // each one exactly as scalar code does, so the sums agree to the bit.
  const __m128i zero = _mm_setzero_si128();
  const __m128d w = _mm_set1_pd(weight);
  for (; k + 8 <= bytes; k += 8) {
    std::uint64_t eight;
    std::memcpy(&eight, in + k, 8);
    const __m128i words = _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<long long>(eight)), zero);
    const __m128i ints[2] = {_mm_unpacklo_epi16(words, zero), _mm_unpackhi_epi16(words, zero)};
    for (int half = 0; half < 2; ++half) {
      double* s = sums + k + 4 * half;
      const __m128d lo = _mm_cvtepi32_pd(ints[half]);
      const __m128d hi = _mm_cvtepi32_pd(_mm_srli_si128(ints[half], 8));
      _mm_storeu_pd(s, _mm_add_pd(_mm_loadu_pd(s), _mm_mul_pd(w, lo)));
      _mm_storeu_pd(s + 2, _mm_add_pd(_mm_loadu_pd(s + 2), _mm_mul_pd(w, hi)));
    }
  }
#endif
  for (; k < bytes; ++k) {
    sums[k] += weight * in[k];
  }
}

void RoundRow(const double* sums, std::size_t bytes, std::uint8_t* out) {
  for (std::size_t k = 0; k < bytes; ++k) {
    out[k] = ToByte(sums[k]);
  }
}

// The streaming resize keeps one row of sums per open output row, so it needs the taps of each
// output row to start and end no earlier than the previous one's; both filters give that.
bool TapsMoveForward(const AxisWeights& axis) {
  for (std::size_t j = 1; j < axis.first.size(); ++j) {
    if (axis.first[j] < axis.first[j - 1] ||
        axis.first[j] + axis.count[j] < axis.first[j - 1] + axis.count[j - 1]) {
      return false;
    }
  }
  return true;
}

// The most output rows whose taps cover one source row.
std::size_t MostOpenRows(const AxisWeights& axis) {
  std::size_t most = 0;
  std::size_t begin = 0;
  const std::size_t n = axis.first.size();
  for (std::size_t end = 0; end < n; ++end) {
    while (axis.first[begin] + axis.count[begin] <= axis.first[end]) {
      ++begin;
    }
    most = std::max(most, end - begin + 1);
  }
  return most;
}

constexpr int kFixedBits = 14;
constexpr std::int32_t kFixedOne = 1 << kFixedBits;
constexpr std::int32_t kFixedHalf = 1 << (kFixedBits - 1);

// The weights of each output pixel rounded to units of 2^-14, the largest one taking up the
// remainder so that they still sum to exactly one. Each output gets an even number of slots
// (the last one may be a zero pad) so that the row pass can take taps two by two.
std::vector<std::int16_t> FixedWeights(const AxisWeights& axis, int& stride) {
  stride = (axis.stride + 1) / 2 * 2;
  std::vector<std::int16_t> fixed(axis.first.size() * static_cast<std::size_t>(stride), 0);
  for (std::size_t i = 0; i < axis.first.size(); ++i) {
    const double* w = axis.weights.data() + i * static_cast<std::size_t>(axis.stride);
    std::int16_t* f = fixed.data() + i * static_cast<std::size_t>(stride);
    std::int32_t sum = 0;
    int largest = 0;
    for (int t = 0; t < axis.count[i]; ++t) {
      f[t] = static_cast<std::int16_t>(std::lround(w[t] * kFixedOne));
      sum += f[t];
      largest = std::fabs(w[t]) > std::fabs(w[largest]) ? t : largest;
    }
    f[largest] = static_cast<std::int16_t>(f[largest] + (kFixedOne - sum));
  }
  return fixed;
}

std::uint8_t FixedToByte(std::int32_t sum) {
  return static_cast<std::uint8_t>(std::clamp((sum + kFixedHalf) >> kFixedBits, 0, 255));
}

// The row pass of the cubic in fixed point, four channels at once. With SSE2 each step takes two
// taps: their pixels are interleaved channel by channel so that one multiply-add of 16-bit pairs
// gives all four 32-bit sums.
void FixedRow4(const std::uint8_t* in, const AxisWeights& across,
               const std::vector<std::int16_t>& weights, int stride, std::uint8_t* out) {
  const int dst_width = static_cast<int>(across.first.size());
  for (int x = 0; x < dst_width; ++x, out += 4) {
    const std::int16_t* w = weights.data() + static_cast<std::size_t>(x) * stride;
    const std::uint8_t* p = in + static_cast<std::size_t>(across.first[x]) * 4;
    const int count = across.count[x];
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    __m128i sum = zero;
    int t = 0;
    for (; t + 1 < count; t += 2, p += 8) {
      std::uint64_t two_pixels;
      std::memcpy(&two_pixels, p, 8);
      std::uint32_t pair;
      std::memcpy(&pair, w + t, 4);
      const __m128i wide =
          _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<long long>(two_pixels)), zero);
      const __m128i paired = _mm_unpacklo_epi16(wide, _mm_srli_si128(wide, 8));
      sum = _mm_add_epi32(sum, _mm_madd_epi16(paired, _mm_set1_epi32(static_cast<int>(pair))));
    }
    if (t < count) {
      std::uint32_t pixel;
      std::memcpy(&pixel, p, 4);
      const __m128i wide = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(pixel)), zero);
      const __m128i paired = _mm_unpacklo_epi16(wide, zero);
      sum = _mm_add_epi32(sum,
                          _mm_madd_epi16(paired, _mm_set1_epi32(static_cast<std::uint16_t>(w[t]))));
    }
    // Adding a half and shifting right rounds as ToByte does; the two packs clamp to a byte.
    sum = _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(kFixedHalf)), kFixedBits);
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(sum, zero), zero);
    const int packed = _mm_cvtsi128_si32(bytes);
    std::memcpy(out, &packed, 4);
#else
    std::int32_t sum[4] = {};
    for (int t = 0; t < count; ++t, p += 4) {
      for (int c = 0; c < 4; ++c) {
        sum[c] += w[t] * p[c];
      }
    }
    for (int c = 0; c < 4; ++c) {
      out[c] = FixedToByte(sum[c]);
    }
#endif
  }
}

// One tap of the column pass in fixed point: products of a byte and a 2.14 weight fit 16-bit
// halves, which SSE2 multiplies eight at a time and widens to 32-bit sums.
void AddFixedRow(const std::uint8_t* in, std::int16_t weight, std::size_t bytes,
                 std::int32_t* sums) {
  std::size_t k = 0;
#ifdef __SSE2__
  const __m128i zero = _mm_setzero_si128();
  const __m128i w = _mm_set1_epi16(weight);
  for (; k + 16 <= bytes; k += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + k));
    for (int half = 0; half < 2; ++half) {
      const __m128i x = half == 0 ? _mm_unpacklo_epi8(v, zero) : _mm_unpackhi_epi8(v, zero);
      const __m128i lo = _mm_mullo_epi16(x, w);
      const __m128i hi = _mm_mulhi_epi16(x, w);
      __m128i* s = reinterpret_cast<__m128i*>(sums + k + 8 * half);
      _mm_storeu_si128(s, _mm_add_epi32(_mm_loadu_si128(s), _mm_unpacklo_epi16(lo, hi)));
      _mm_storeu_si128(s + 1, _mm_add_epi32(_mm_loadu_si128(s + 1), _mm_unpackhi_epi16(lo, hi)));
    }
  }
#endif
  for (; k < bytes; ++k) {
    sums[k] += weight * in[k];
  }
}

void RoundFixedRow(const std::int32_t* sums, std::size_t bytes, std::uint8_t* out) {
  for (std::size_t k = 0; k < bytes; ++k) {
    out[k] = FixedToByte(sums[k]);
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
AxisWeights AreaAxis(int src_size, int dst_size) { return ScaledAreaAxis(src_size, 1, dst_size); }

// As AreaAxis, over pixels that each stand for `block` pixels of a picture `full_size` wide, the
// last one for what is left: overlaps are measured on the full picture, so a short last block
// does not shift the rest.
AxisWeights ScaledAreaAxis(int full_size, int block, int dst_size) {
  if (full_size <= 0 || dst_size <= 0 || block <= 0) {
    return {};
  }
  const std::int64_t n = full_size;
  const std::int64_t m = dst_size;
  const std::int64_t b = block;
  std::vector<int> first(static_cast<std::size_t>(dst_size));
  std::vector<std::vector<double>> taps(static_cast<std::size_t>(dst_size));
  for (std::int64_t i = 0; i < m; ++i) {
    const std::int64_t lo = i * n;
    const std::int64_t hi = (i + 1) * n;
    const std::int64_t j_first = lo / (b * m);
    const std::int64_t j_last = (hi - 1) / (b * m);
    auto& t = taps[static_cast<std::size_t>(i)];
    for (std::int64_t j = j_first; j <= j_last; ++j) {
      const std::int64_t end = std::min((j + 1) * b, n) * m;
      const std::int64_t overlap = std::min(hi, end) - std::max(lo, j * b * m);
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
  if (src.empty() || dst_width <= 0 || (src.channels != 3 && src.channels != 4)) {
    return {};
  }
  platform::Image dst = platform::MakeImage(dst_width, src.height, src.channels);
  for (int y = 0; y < src.height; ++y) {
    FilterRow(src.channels, src.row(y), across, dst.row(y));
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
      AddWeightedRow(src.row(down.first[y] + t), w[t], row_bytes, sums.data());
    }
    RoundRow(sums.data(), row_bytes, dst.row(y));
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

namespace gallery {

namespace {

// The area axis for `size` pixels standing for `full_size` ones, as a DCT-scaled decode gives
// them: blocks of a whole number of pixels, the last one short (libjpeg rounds a scaled side up).
AxisWeights AreaAxisOver(int size, int full_size, int dst_size) {
  const int block = full_size > size ? (full_size + size - 1) / size : 1;
  if (block == 1 || (full_size + block - 1) / block != size) {
    return AreaAxis(size, dst_size);
  }
  return ScaledAreaAxis(full_size, block, dst_size);
}

}  // namespace

bool StartResize(RowResizer& r, int src_width, int src_height, int channels, int width, int height,
                 std::uint64_t budget_bytes, CubicSums cubic_sums, int full_width,
                 int full_height) {
  r = RowResizer{};
  if (src_width <= 0 || src_height <= 0 || width <= 0 || height <= 0 ||
      (channels != 3 && channels != 4)) {
    return false;
  }
  const bool same = src_width == width && src_height == height;
  const bool cubic = channels == 4;
  if (!same) {
    if (cubic) {
      r.across = MitchellAxis(src_width, width);
      r.down = MitchellAxis(src_height, height);
    } else {
      r.across = AreaAxisOver(src_width, full_width, width);
      r.down = AreaAxisOver(src_height, full_height, height);
    }
    r.filter_across = !IsIdentity(r.across);
    r.filter_down = !IsIdentity(r.down);
  }
  // Resize runs only the pass that changes something when one axis keeps its pixels.
  r.vertical_first =
      r.filter_across && r.filter_down && VerticalFirst(src_width, src_height, width, height);
  if (r.filter_down && !TapsMoveForward(r.down)) {
    r = RowResizer{};
    return false;
  }
  const std::size_t src_bytes = static_cast<std::size_t>(src_width) * channels;
  const std::size_t dst_bytes = static_cast<std::size_t>(width) * channels;
  const std::size_t sum_bytes = r.filter_across && !r.vertical_first ? dst_bytes : src_bytes;
  const std::size_t open_rows = r.filter_down ? MostOpenRows(r.down) : 0;
  r.fixed_point = cubic && cubic_sums == CubicSums::kFast;
  const std::size_t sum_size = r.fixed_point ? sizeof(std::int32_t) : sizeof(double);
  const std::uint64_t held = std::uint64_t{dst_bytes} * static_cast<std::uint64_t>(height) +
                             std::uint64_t{open_rows} * sum_bytes * sum_size + src_bytes;
  if (held > budget_bytes) {
    r = RowResizer{};
    return false;
  }
  r.src_width = src_width;
  r.src_height = src_height;
  r.channels = channels;
  if (r.fixed_point) {
    r.fixed_sums.assign(open_rows, std::vector<std::int32_t>(sum_bytes));
    if (r.filter_across) {
      r.across_fixed = FixedWeights(r.across, r.across_fixed_stride);
    }
    if (r.filter_down) {
      r.down_fixed = FixedWeights(r.down, r.down_fixed_stride);
    }
  } else {
    r.sums.assign(open_rows, std::vector<double>(sum_bytes));
  }
  if (r.filter_across && r.filter_down) {
    r.line.resize(r.vertical_first ? src_bytes : dst_bytes);
  }
  r.result = platform::MakeImage(width, height, channels);
  return true;
}

namespace {

void RowPass(const RowResizer& r, const std::uint8_t* in, std::uint8_t* out) {
  if (r.fixed_point) {
    FixedRow4(in, r.across, r.across_fixed, r.across_fixed_stride, out);
  } else {
    FilterRow(r.channels, in, r.across, out);
  }
}

// Starts the output rows whose taps begin at source row y, adds row y to every open one, and
// writes out those it completes.
template <typename Sum>
void ColumnStep(RowResizer& r, std::vector<std::vector<Sum>>& open, const std::uint8_t* in, int y) {
  const int dst_height = r.result.height;
  const std::size_t slots = open.size();
  while (r.next_start < dst_height && r.down.first[r.next_start] <= y) {
    std::vector<Sum>& sums = open[static_cast<std::size_t>(r.next_start) % slots];
    std::fill(sums.begin(), sums.end(), Sum{0});
    ++r.next_start;
  }
  for (int j = r.next_emit; j < r.next_start; ++j) {
    const int t = y - r.down.first[j];
    if (t < r.down.count[j]) {
      std::vector<Sum>& sums = open[static_cast<std::size_t>(j) % slots];
      const std::size_t at = static_cast<std::size_t>(j);
      if constexpr (std::is_same_v<Sum, double>) {
        AddWeightedRow(in, r.down.weights[at * static_cast<std::size_t>(r.down.stride) + t],
                       sums.size(), sums.data());
      } else {
        AddFixedRow(in, r.down_fixed[at * static_cast<std::size_t>(r.down_fixed_stride) + t],
                    sums.size(), sums.data());
      }
    }
  }
  while (r.next_emit < r.next_start &&
         r.down.first[r.next_emit] + r.down.count[r.next_emit] - 1 <= y) {
    const std::vector<Sum>& sums = open[static_cast<std::size_t>(r.next_emit) % slots];
    std::uint8_t* out = r.vertical_first ? r.line.data() : r.result.row(r.next_emit);
    if constexpr (std::is_same_v<Sum, double>) {
      RoundRow(sums.data(), sums.size(), out);
    } else {
      RoundFixedRow(sums.data(), sums.size(), out);
    }
    if (r.vertical_first) {
      RowPass(r, r.line.data(), r.result.row(r.next_emit));
    }
    ++r.next_emit;
  }
}

}  // namespace

void PushRow(RowResizer& r, const std::uint8_t* row) {
  if (r.rows_in >= r.src_height || r.result.empty()) {
    return;
  }
  const int y = r.rows_in++;
  if (!r.filter_down) {
    if (r.filter_across) {
      RowPass(r, row, r.result.row(y));
    } else {
      std::copy_n(row, r.result.stride(), r.result.row(y));
    }
    return;
  }
  const std::uint8_t* in = row;
  if (r.filter_across && !r.vertical_first) {
    RowPass(r, row, r.line.data());
    in = r.line.data();
  }
  if (r.fixed_point) {
    ColumnStep(r, r.fixed_sums, in, y);
  } else {
    ColumnStep(r, r.sums, in, y);
  }
}

platform::Image FinishResize(RowResizer& r) {
  const bool complete = r.rows_in == r.src_height && !r.result.empty() &&
                        (!r.filter_down || r.next_emit == r.result.height);
  platform::Image result = complete ? std::move(r.result) : platform::Image{};
  r = RowResizer{};
  return result;
}

}  // namespace gallery
