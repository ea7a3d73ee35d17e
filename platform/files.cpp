#include "platform/files.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace platform {

void CreateFolder(const std::filesystem::path& path) {
  static_cast<void>(::mkdir(path.c_str(), 0777));
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

namespace {

struct Listing {
  DIR* dir = nullptr;
  std::string folder;  // with its separator, or empty for the working directory
};

Listing& TheListing() {
  static Listing listing;
  return listing;
}

bool IsFolder(const std::string& folder, const dirent* entry) {
  if (entry->d_type == DT_DIR) {
    return true;
  }
  if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) {
    return false;
  }
  // Links count by what they point at.
  struct stat info {};
  const std::string path = (folder.empty() ? std::string("./") : folder) + entry->d_name;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

bool OpenListing(std::string_view folder, std::string_view pattern) {
  CloseListing();
  // Only "*.*" is ever asked for, and on this file system it matches every name.
  static_cast<void>(pattern);
  Listing& listing = TheListing();
  listing.folder = std::string(folder);
  if (!listing.folder.empty() && listing.folder.back() != '/') {
    listing.folder += '/';
  }
  listing.dir = ::opendir(listing.folder.empty() ? "." : listing.folder.c_str());
  return listing.dir != nullptr;
}

bool NextEntry(DirEntry& entry) {
  Listing& listing = TheListing();
  if (listing.dir == nullptr) {
    return false;
  }
  errno = 0;
  const dirent* found = ::readdir(listing.dir);
  if (found == nullptr) {
    return false;
  }
  entry.name = found->d_name;
  entry.is_folder = IsFolder(listing.folder, found);
  return true;
}

void CloseListing() {
  Listing& listing = TheListing();
  if (listing.dir != nullptr) {
    ::closedir(listing.dir);
    listing.dir = nullptr;
  }
}

namespace {

constexpr std::size_t kPageBufferSize = 4096;

struct PageFile {
  int fd = -1;
  std::array<char, kPageBufferSize> buffer{};
  std::size_t used = 0;
};

PageFile& ThePage() {
  static PageFile page;
  return page;
}

void WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return;  // a full disk shortens the page; nobody is told
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

void Flush(PageFile& page) {
  WriteAll(page.fd, page.buffer.data(), page.used);
  page.used = 0;
}

void Append(PageFile& page, std::string_view bytes) {
  if (page.used + bytes.size() > page.buffer.size()) {
    Flush(page);
  }
  if (bytes.size() > page.buffer.size()) {
    WriteAll(page.fd, bytes.data(), bytes.size());
    return;
  }
  std::memcpy(page.buffer.data() + page.used, bytes.data(), bytes.size());
  page.used += bytes.size();
}

// Opens without truncating: the lock must be ours before the old content goes.
int OpenLocked(const char* path, int flags) {
  const int fd = ::open(path, flags | O_CLOEXEC, 0666);
  if (fd < 0) {
    return -1;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

bool CreatePageFile(const std::filesystem::path& path) {
  ClosePageFile();
  PageFile& page = ThePage();
  page.fd = OpenLocked(path.c_str(), O_RDWR | O_CREAT);
  if (page.fd < 0) {
    page.fd = OpenLocked(path.c_str(), O_WRONLY);
  }
  page.used = 0;
  return page.fd >= 0;
}

void WritePageLine(std::string_view text) {
  PageFile& page = ThePage();
  if (page.fd < 0) {
    return;
  }
  Append(page, text);
  Append(page, "\r\n");
}

void ClosePageFile() {
  PageFile& page = ThePage();
  if (page.fd < 0) {
    return;
  }
  Flush(page);
  ::close(page.fd);  // releases the lock
  page.fd = -1;
}

}  // namespace platform
