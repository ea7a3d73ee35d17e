// What the button "Générer la page" does.
#pragma once

#include <string>

namespace gallery {

// The folder last chosen in the folder tree: empty, or a path ending in '/'. Written only by the
// folder-change handler.
extern std::string current_folder;
// Set while a run is in progress, so that the loop starts no second one.
extern bool run_in_progress;

// Turns the current folder into a gallery: index.html with one entry per picture, a thumbnail
// per picture while thumbnails are on, fond.jpg while wallpaper is on, and the page opened while
// viewing is on. Reads the options from the window's controls at the moments it needs them.
// Returns true only when the page could not be created and the program is to end.
bool GalleryRun();

}  // namespace gallery
