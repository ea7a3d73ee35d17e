#include "platform/files.h"

#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"

namespace platform {
namespace {

using testsupport::TempFolder;

std::map<std::string, bool> ListAll(std::string_view folder) {
  std::map<std::string, bool> kinds;
  EXPECT_TRUE(OpenListing(folder, "*.*"));
  DirEntry entry;
  while (NextEntry(entry)) {
    kinds[entry.name] = entry.is_folder;
  }
  CloseListing();
  return kinds;
}

TEST(Listing, GivesEveryNameWithItsKind) {
  TempFolder folder;
  folder.Write("a.jpg");
  folder.Write("README");
  folder.Write(".hidden.png");
  folder.MakeFolder("x.jpg");
  std::filesystem::create_directory_symlink(folder.path() / "x.jpg", folder.path() / "link");
  std::filesystem::create_symlink(folder.path() / "a.jpg", folder.path() / "file-link.jpg");
  const std::map<std::string, bool> want = {{".", true},
                                            {"..", true},
                                            {"a.jpg", false},
                                            {"README", false},
                                            {".hidden.png", false},
                                            {"x.jpg", true},
                                            {"link", true},
                                            {"file-link.jpg", false}};
  EXPECT_EQ(ListAll(folder.folder()), want);
  EXPECT_EQ(ListAll(folder.path().string()), want) << "a separator is added when missing";

  const auto before = std::filesystem::current_path();
  std::filesystem::current_path(folder.path());
  EXPECT_EQ(ListAll(""), want) << "no folder is the working directory";
  std::filesystem::current_path(before);
}

TEST(Listing, FailsOnlyForAFolderThatCannotBeRead) {
  TempFolder folder;
  EXPECT_EQ(ListAll(folder.folder()).size(), 2u);
  EXPECT_FALSE(OpenListing(folder.folder() + "missing/", "*.*"));
  DirEntry entry;
  EXPECT_FALSE(NextEntry(entry));
  EXPECT_FALSE(OpenListing(folder.Write("file").string() + "/", "*.*"));
}

}  // namespace
}  // namespace platform
