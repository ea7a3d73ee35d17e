// Resizing for thumbnails: area averaging for 3-channel pictures, the Mitchell-Netravali cubic
// for 4-channel ones. Both are separable and share the row and column passes.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/image.h"

namespace gallery {

// Taps of one axis, built once per resize: output i reads source pixels first[i] ..
// first[i] + count[i] - 1 with weights[i * stride .. i * stride + count[i] - 1]. Indices are
// clamped and weights normalised here, not in the loop.
struct AxisWeights {
  std::vector<int> first, count;
  std::vector<double> weights;
  int stride = 0;
};

// Mitchell-Netravali with B = C = 1/3, support 2.
double MitchellKernel(double x);

// Area averaging: each weight is the share of the source pixel that the output pixel covers.
AxisWeights AreaAxis(int src_size, int dst_size);
// Area averaging over pixels that each stand for `block` pixels of a side `full_size` long, the
// last one for what is left over, as a DCT-scaled decode gives them. AreaAxis is block 1.
AxisWeights ScaledAreaAxis(int full_size, int block, int dst_size);
// The cubic: stretched by 1/s when reducing, taps from max(0, floor(p - support)) to
// min(n - 1, ceil(p + support)), weights divided by their sum when it is positive and not 1.
AxisWeights MitchellAxis(int src_size, int dst_size);

platform::Image FilterRows(const platform::Image& src, const AxisWeights& across);
platform::Image FilterColumns(const platform::Image& src, const AxisWeights& down);

// True when the vertical pass should run first: it makes the smaller intermediate image.
bool VerticalFirst(int src_width, int src_height, int dst_width, int dst_height);

// Resizes by the filter that suits the image's depth. An image already of that size is returned
// unchanged; a non-positive target gives an empty image.
platform::Image Resize(const platform::Image& src, int width, int height);

// Resize for a picture that arrives one row at a time, top to bottom: only the sums of the output
// rows still open are kept, never the whole picture. Pass order and per-pass rounding are
// Resize's. Area averaging gives Resize's bytes exactly. The cubic does too with exact sums; with
// fast sums it adds in 2.14 fixed point, which may put a byte one off where the exact sum lies
// within a hair of a half.
struct RowResizer {
  int src_width = 0, src_height = 0, channels = 0;
  AxisWeights across, down;
  bool filter_across = false, filter_down = false, vertical_first = false;
  bool fixed_point = false;
  int across_fixed_stride = 0, down_fixed_stride = 0;
  std::vector<std::int16_t> across_fixed, down_fixed;  // the weights in units of 2^-14
  int rows_in = 0;                                     // source rows pushed so far
  int next_start = 0;  // first output row whose sums are not started
  int next_emit = 0;   // first output row not yet written
  // Open output rows, output row j at j % size(): doubles, or 32-bit sums in fixed point.
  std::vector<std::vector<double>> sums;
  std::vector<std::vector<std::int32_t>> fixed_sums;
  std::vector<std::uint8_t> line;  // one row between the two passes
  platform::Image result;
};

enum class CubicSums { kExact, kFast };

// Prepares `r` for a src_width x src_height picture of 3 or 4 channels going to width x height.
// When the rows come from a DCT-scaled decode of a full_width x full_height picture, area
// averaging weighs each row and column by the full pixels it stands for (0: as many as there
// are rows and columns). Returns false, leaving nothing allocated, for sizes Resize would refuse
// or when what it would hold exceeds `budget_bytes`.
bool StartResize(RowResizer& r, int src_width, int src_height, int channels, int width, int height,
                 std::uint64_t budget_bytes, CubicSums cubic_sums = CubicSums::kFast,
                 int full_width = 0, int full_height = 0);
// Takes the next source row (src_width * channels bytes). Rows past the last are ignored.
void PushRow(RowResizer& r, const std::uint8_t* row);
// The resized picture once every source row was pushed; empty otherwise. Releases the sums.
platform::Image FinishResize(RowResizer& r);

}  // namespace gallery
