#include "tests/support/temp_folder.h"

#include <atomic>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include <gtest/gtest.h>

namespace testsupport {

TempFolder::TempFolder() {
  static std::atomic<int> serial{0};
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = "marbelow-" + std::to_string(::getpid()) + "-" + std::to_string(serial++);
  if (test != nullptr) {
    name += std::string("-") + test->test_suite_name() + "-" + test->name();
  }
  for (char& c : name) {
    if (c == '/') {
      c = '_';
    }
  }
  path_ = std::filesystem::path(testing::TempDir()) / name;
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TempFolder::Write(std::string_view name, std::string_view bytes) const {
  const std::filesystem::path file = path_ / std::filesystem::path(std::string(name));
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return file;
}

std::filesystem::path TempFolder::MakeFolder(std::string_view name) const {
  const std::filesystem::path folder = path_ / std::filesystem::path(std::string(name));
  std::filesystem::create_directories(folder);
  return folder;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace testsupport
