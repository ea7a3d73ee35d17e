#include "platform/codecs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>

#include "platform/row_collector.h"

namespace platform {
namespace {

// Nothing the gallery shows comes near this; it keeps a stray device or huge file out of memory.
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{2} << 30;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

bool StartsWith(std::span<const std::uint8_t> data, std::span<const std::uint8_t> prefix) {
  return data.size() >= prefix.size() &&
         std::memcmp(data.data(), prefix.data(), prefix.size()) == 0;
}

}  // namespace

bool LooksLikeBmp(std::span<const std::uint8_t> data) {
  // "BM", then the file size, then two reserved 16-bit words that must be zero.
  return data.size() >= 10 && data[0] == 'B' && data[1] == 'M' && data[6] == 0 && data[7] == 0 &&
         data[8] == 0 && data[9] == 0;
}

bool LooksLikeJpeg(std::span<const std::uint8_t> data) {
  return data.size() >= 2 && data[0] == 0xFF && data[1] == 0xD8;
}

bool LooksLikeGif(std::span<const std::uint8_t> data) {
  static constexpr std::uint8_t kGif87a[] = {'G', 'I', 'F', '8', '7', 'a'};
  static constexpr std::uint8_t kGif89a[] = {'G', 'I', 'F', '8', '9', 'a'};
  return StartsWith(data, kGif87a) || StartsWith(data, kGif89a);
}

bool LooksLikePng(std::span<const std::uint8_t> data) {
  static constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return StartsWith(data, kSignature);
}

std::optional<Image> DecodeImage(std::span<const std::uint8_t> data, std::uint64_t budget_bytes) {
  if (LooksLikeBmp(data)) {
    return DecodeBmp(data, budget_bytes);
  }
  if (LooksLikeJpeg(data)) {
    return DecodeJpeg(data, budget_bytes);
  }
  if (LooksLikeGif(data)) {
    return DecodeGif(data, budget_bytes);
  }
  if (LooksLikePng(data)) {
    return DecodePng(data, budget_bytes);
  }
  return std::nullopt;
}

bool DecodeImageRows(std::span<const std::uint8_t> data, RowSink& sink,
                     std::uint64_t budget_bytes) {
  if (LooksLikeBmp(data)) {
    return DecodeBmpRows(data, sink, budget_bytes);
  }
  if (LooksLikeJpeg(data)) {
    return DecodeJpegRows(data, sink, budget_bytes);
  }
  if (LooksLikeGif(data)) {
    return DecodeGifRows(data, sink, budget_bytes);
  }
  if (LooksLikePng(data)) {
    return DecodePngRows(data, sink, budget_bytes);
  }
  return false;
}

RowSink CollectRows(std::optional<Image>& image, std::uint64_t budget_bytes) {
  RowSink sink;
  sink.begin = [&image, budget_bytes](int width, int height, int channels) {
    if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) *
            static_cast<std::uint64_t>(channels) >
        budget_bytes) {
      return false;
    }
    image = MakeImage(width, height, channels);
    image->height = 0;  // grows with each row, so a picture cut short is never mistaken whole
    return true;
  };
  sink.row = [&image](const std::uint8_t* row) {
    const std::size_t at = image->stride() * static_cast<std::size_t>(image->height);
    if (at + image->stride() <= image->pixels.size()) {
      std::copy_n(row, image->stride(), image->pixels.data() + at);
      ++image->height;
    }
  };
  return sink;
}

std::optional<std::span<const std::uint8_t>> ReadWholeFileInto(const std::filesystem::path& path,
                                                               std::vector<std::uint8_t>& buffer) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    return std::nullopt;
  }
  // fopen succeeds on a folder, and a pipe or device would never end: take regular files only.
  struct stat info {};
  if (fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
      static_cast<std::uint64_t>(info.st_size) > kMaxFileBytes) {
    return std::nullopt;
  }
  try {
    // The size is a hint: the file may grow or shrink while it is read, so read to its end. One
    // byte more than the size shows the end without a second pass.
    const std::size_t hint = static_cast<std::size_t>(info.st_size) + 1;
    if (buffer.size() < hint) {
      buffer.resize(hint);
    }
    std::size_t used = 0;
    for (;;) {
      if (used == buffer.size()) {
        if (used > kMaxFileBytes) {
          return std::nullopt;
        }
        buffer.resize(std::min<std::size_t>(buffer.size() * 2, kMaxFileBytes + 1));
      }
      const std::size_t got = std::fread(buffer.data() + used, 1, buffer.size() - used, file.get());
      used += got;
      if (got == 0) {
        break;
      }
    }
    if (std::ferror(file.get()) || used > kMaxFileBytes) {
      return std::nullopt;
    }
    return std::span<const std::uint8_t>(buffer.data(), used);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& path) {
  std::vector<std::uint8_t> bytes;
  const std::optional<std::span<const std::uint8_t>> read = ReadWholeFileInto(path, bytes);
  if (!read) {
    return std::nullopt;
  }
  bytes.resize(read->size());
  return bytes;
}

}  // namespace platform
