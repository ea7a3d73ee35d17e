// A fresh folder for one test under testing::TempDir(), removed with everything in it.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace testsupport {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The folder as the program holds folders: ending in '/'.
  std::string folder() const { return path_.string() + "/"; }
  // Writes `bytes` to the relative `name`, creating folders on the way; returns its path.
  std::filesystem::path Write(std::string_view name, std::string_view bytes = {}) const;
  std::filesystem::path MakeFolder(std::string_view name) const;

 private:
  std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& path);

}  // namespace testsupport
