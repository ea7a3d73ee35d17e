// Which entries of a folder are pictures of the gallery.
#pragma once

#include <string_view>

namespace gallery {

// True when an entry is a picture: a file (never a folder) whose name has, after the first "."
// among its last five characters, one of the extensions jpg, jpeg, bmp, gif or png in any case,
// and is not "fond.jpg" in any case, the tile a run writes itself. `name` is file-system bytes;
// characters are counted as UTF-16 code units.
bool PictureFilter(bool is_folder, std::string_view name);

}  // namespace gallery
