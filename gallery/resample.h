// Resizing for thumbnails: area averaging for 3-channel pictures, the Mitchell-Netravali cubic
// for 4-channel ones. Both are separable and share the row and column passes.
#pragma once

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

}  // namespace gallery
