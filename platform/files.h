// Files, folders, listings and pauses, as the gallery run uses them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

// Creates one folder; an existing folder or any other failure is ignored.
void CreateFolder(const std::filesystem::path& path);

// Sleeps at least `ms` milliseconds.
void SleepMs(int ms);

// One entry of a listing. The name is the file system's bytes, without folder.
struct DirEntry {
  std::string name;
  bool is_folder = false;  // a directory, following symbolic links; "." and ".." are folders
};

// The one listing the program holds at a time. Opening the search "folder + pattern" closes any
// listing still open. `folder` is empty (the working directory) or a path; a separator is put
// between it and the pattern only when it does not end in one. The pattern "*.*" matches every
// name. Returns false when the folder does not exist or cannot be read.
bool OpenListing(std::string_view folder, std::string_view pattern);
// Takes the next entry in the order the file system returns them; false at the end.
bool NextEntry(DirEntry& entry);
void CloseListing();

// The page file: one at a time, written through a 4096-byte buffer.
// Creates or truncates `path` in place and holds it locked for exclusive use until closed. Falls
// back to opening an existing file for writing only. Returns false when neither works, or when
// another process holds the lock.
bool CreatePageFile(const std::filesystem::path& path);
// Writes `text` as it is, then CR LF. Errors are not reported.
void WritePageLine(std::string_view text);
// Flushes and closes the page file, if one is open.
void ClosePageFile();

}  // namespace platform
