// The decoders' own sink for decoding a whole picture through the streaming path.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/codecs.h"

namespace platform {

// A sink that gathers every row into `image`, which it sets once the picture is accepted. It
// refuses a picture whose pixels would exceed `budget_bytes`. `image` must outlive the sink.
RowSink CollectRows(std::optional<Image>& image, std::uint64_t budget_bytes);

}  // namespace platform
