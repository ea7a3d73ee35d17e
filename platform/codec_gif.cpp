// GIF through giflib: the first frame only, placed on the logical screen.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>

#include <gif_lib.h>

#include "platform/codecs.h"

namespace platform {
namespace {

struct GifInput {
  std::span<const std::uint8_t> data;
  std::size_t pos = 0;
};

int ReadFromMemory(GifFileType* gif, GifByteType* out, int length) {
  auto* in = static_cast<GifInput*>(gif->UserData);
  if (length <= 0) {
    return 0;
  }
  const std::size_t n = std::min(static_cast<std::size_t>(length), in->data.size() - in->pos);
  std::memcpy(out, in->data.data() + in->pos, n);
  in->pos += n;
  return static_cast<int>(n);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};
using GifPtr = std::unique_ptr<GifFileType, GifCloser>;

// Rows of an interlaced frame arrive in four passes: every 8th from 0, every 8th from 4, every
// 4th from 2, every 2nd from 1.
std::vector<int> RowOrder(int height, bool interlaced) {
  std::vector<int> order;
  order.reserve(static_cast<std::size_t>(height));
  if (!interlaced) {
    for (int y = 0; y < height; ++y) {
      order.push_back(y);
    }
    return order;
  }
  static constexpr std::array<int, 4> kStart = {0, 4, 2, 1};
  static constexpr std::array<int, 4> kStep = {8, 8, 4, 2};
  for (std::size_t pass = 0; pass < kStart.size(); ++pass) {
    for (int y = kStart[pass]; y < height; y += kStep[pass]) {
      order.push_back(y);
    }
  }
  return order;
}

// Reads the frame whose descriptor comes next. A frame cut short keeps the rows it has.
std::optional<Image> ReadFirstFrame(GifFileType* gif, int transparent, std::uint64_t budget_bytes) {
  if (DGifGetImageDesc(gif) == GIF_ERROR) {
    return std::nullopt;
  }
  const GifImageDesc& frame = gif->Image;
  int left = frame.Left;
  int top = frame.Top;
  int screen_width = gif->SWidth;
  int screen_height = gif->SHeight;
  // A screen of 0 x 0, or one too small for the first frame, is a writer's mistake: show the
  // whole frame on a screen of its own size, as browsers do.
  if (screen_width <= 0 || screen_height <= 0 || frame.Width > screen_width ||
      frame.Height > screen_height) {
    screen_width = frame.Width;
    screen_height = frame.Height;
    left = 0;
    top = 0;
  }
  if (screen_width <= 0 || screen_height <= 0 ||
      static_cast<std::uint64_t>(screen_width) * static_cast<std::uint64_t>(screen_height) * 4 >
          budget_bytes) {
    return std::nullopt;
  }
  Image canvas = MakeImage(screen_width, screen_height, 4, 0);  // transparent outside the frame
  const ColorMapObject* map = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
  const int colours = map != nullptr ? map->ColorCount : 0;
  if (frame.Width <= 0 || frame.Height <= 0) {
    return canvas;
  }
  std::vector<GifPixelType> line(static_cast<std::size_t>(frame.Width));
  for (const int y : RowOrder(frame.Height, frame.Interlace)) {
    if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR) {
      break;
    }
    if (top + y >= screen_height) {
      continue;
    }
    std::uint8_t* out = canvas.row(top + y);
    for (int x = 0; x < frame.Width && left + x < screen_width; ++x) {
      const int index = line[static_cast<std::size_t>(x)];
      // Indices past the colour map have no colour: leave them transparent like the key colour.
      if (index == transparent || index >= colours) {
        continue;
      }
      const GifColorType& c = map->Colors[index];
      std::uint8_t* px = out + static_cast<std::size_t>(left + x) * 4;
      px[0] = c.Blue;
      px[1] = c.Green;
      px[2] = c.Red;
      px[3] = 255;
    }
  }
  return canvas;
}

std::optional<Image> DecodeWholeGif(std::span<const std::uint8_t> data,
                                    std::uint64_t budget_bytes) {
  if (!LooksLikeGif(data)) {
    return std::nullopt;
  }
  try {
    GifInput input{data};
    int error = 0;
    GifPtr gif(DGifOpen(&input, ReadFromMemory, &error));
    if (!gif) {
      return std::nullopt;
    }
    // The graphics control extension just before the first frame gives its transparent index.
    int transparent = -1;
    for (;;) {
      GifRecordType type = UNDEFINED_RECORD_TYPE;
      if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) {
        return std::nullopt;
      }
      if (type == IMAGE_DESC_RECORD_TYPE) {
        return ReadFirstFrame(gif.get(), transparent, budget_bytes);
      }
      if (type != EXTENSION_RECORD_TYPE) {
        return std::nullopt;  // the trailer, or garbage, before any frame
      }
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) {
        return std::nullopt;
      }
      // block[0] is the sub-block's length; a GCE holds flags, delay (2 bytes), index.
      if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
        transparent = (block[1] & 0x01) != 0 ? block[4] : -1;
      }
      while (block != nullptr) {
        if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) {
          return std::nullopt;
        }
      }
    }
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

}  // namespace

std::optional<Image> DecodeGif(std::span<const std::uint8_t> data, std::uint64_t budget_bytes) {
  return DecodeWholeGif(data, budget_bytes);
}

// The first frame lands anywhere on its screen and may be interlaced, so the screen is drawn
// whole before its rows go out.
bool DecodeGifRows(std::span<const std::uint8_t> data, RowSink& sink, std::uint64_t budget_bytes) {
  std::optional<Image> screen = DecodeWholeGif(data, budget_bytes);
  if (!screen || !sink.begin(screen->width, screen->height, screen->channels)) {
    return false;
  }
  for (int y = 0; y < screen->height; ++y) {
    sink.row(screen->row(y));
  }
  return true;
}

}  // namespace platform
