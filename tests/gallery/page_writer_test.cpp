#include "gallery/page_writer.h"

#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"

namespace gallery {
namespace {

using testsupport::ReadFile;
using testsupport::TempFolder;

std::string Head(const std::string& title) {
  return "<!doctype html>\r\n<html lang=\"fr\">\r\n<head>\r\n<title>" + title +
         "</title>\r\n<meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">\r\n"
         "<meta charset=\"utf-8\" />\r\n</head>\r\n<body background=\"fond.jpg\">\r\n"
         "<center>\r\n";
}

std::string Entry(const std::string& name) {
  return "<td align=center valign=center>\r\n<a href=\"" + name +
         "\" target=\"_blank\">\r\n<img src=\"mini/" + name + ".jpg\" border=1></a>\r\n</td>\r\n";
}

const std::string kBreak = "<br />\r\n";
const std::string kEnd = "<br />\r\n</body>\r\n</html>\r\n";

// Writes a whole page the way a run does and returns its bytes.
std::string WritePage(const TempFolder& folder, const std::string& title,
                      const std::vector<std::string>& names, int columns, bool auto_wrap) {
  EXPECT_TRUE(CreatePage(folder.folder()));
  WritePageHead(title);
  for (const std::string& name : names) {
    WritePictureEntry(name);
    ApplyRowBreak(columns, [auto_wrap] { return auto_wrap; });
  }
  WritePageEnd();
  return ReadFile(folder.path() / "index.html");
}

TEST(PageWriter, WritesTheExactBytes) {
  struct Case {
    const char* what;
    std::string title;
    std::vector<std::string> names;
    int columns;
    bool auto_wrap;
    std::size_t size;
    std::string want;
  };
  const std::vector<std::string> abc = {"a.jpg", "b.png", "c.gif"};
  std::vector<std::string> sixteen;
  std::string sixteen_want = Head("");
  for (int i = 0; i < 16; ++i) {
    sixteen.push_back("p" + std::to_string(i % 10) + ".jpg");
    sixteen_want += Entry(sixteen.back()) + (i % 8 == 7 ? kBreak : "");
  }
  sixteen_want += kEnd;
  const Case cases[] = {
      {"empty page", "", {}, 8, true, 216, Head("") + kEnd},
      {"two columns", "Vacances", abc, 2, false, 577,
       Head("Vacances") + Entry("a.jpg") + Entry("b.png") + kBreak + Entry("c.gif") + kEnd},
      {"automatic wrapping", "Vacances", abc, 2, true, 569,
       Head("Vacances") + Entry("a.jpg") + Entry("b.png") + Entry("c.gif") + kEnd},
      {"one column",
       "",
       {"a.jpg", "b.jpg"},
       1,
       false,
       216 + 2 * (115 + 8),
       Head("") + Entry("a.jpg") + kBreak + Entry("b.jpg") + kBreak + kEnd},
      {"sixteen at eight", "", sixteen, 8, false, 216 + 16 * 117 + 2 * 8, sixteen_want},
      {"title as typed", "A & B <i>", {}, 8, false, 225, Head("A & B <i>") + kEnd},
      {"accents and spaces stay",
       "",
       {"\xC3\x89t\xC3\xA9 2.jpg"},
       8,
       true,
       216 + 105 + 2 * 11,
       Head("") + Entry("\xC3\x89t\xC3\xA9 2.jpg") + kEnd},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    const std::string page = WritePage(folder, c.title, c.names, c.columns, c.auto_wrap);
    EXPECT_EQ(page.size(), c.size);
    EXPECT_EQ(page, c.want);
  }
}

TEST(PageWriter, AsksForAutomaticWrappingOnlyAtAFullRow) {
  TempFolder folder;
  ASSERT_TRUE(CreatePage(folder.folder()));
  int asked = 0;
  const auto wrap = [&asked] {
    ++asked;
    return false;
  };
  for (int i = 0; i < 7; ++i) {
    WritePictureEntry("a.jpg");
    ApplyRowBreak(3, wrap);
  }
  WritePageEnd();
  EXPECT_EQ(asked, 2);
}

TEST(AttributePath, KeepsLinksAndMarkupIntact) {
  struct Case {
    std::string name, want;
  };
  const Case cases[] = {
      {"a.jpg", "a.jpg"},
      {"\xC3\x89t\xC3\xA9 2.jpg", "\xC3\x89t\xC3\xA9 2.jpg"},
      {"x\" onerror=\"alert(1).jpg", "x&quot; onerror=&quot;alert(1).jpg"},
      {"a&b<c>.png", "a&amp;b&lt;c&gt;.png"},
      {"photo #1.jpg", "photo %231.jpg"},
      {"100%.gif", "100%25.gif"},
      {"why?.png", "why%3F.png"},
      {"a:b.jpg", "a%3Ab.jpg"},
      {"back\\slash.jpg", "back%5Cslash.jpg"},
      {"tab\there\x7F.jpg", "tab%09here%7F.jpg"},
      {"latin1 \xE9t\xE9.jpg", "latin1 %E9t%E9.jpg"},
      {"c1 \xC2\x85.jpg", "c1 %C2%85.jpg"},
      {"cut \xE2\x82.jpg", "cut %E2%82.jpg"},
      {"smile \xF0\x9F\x98\x80.jpg", "smile \xF0\x9F\x98\x80.jpg"},
      {" d\xC3\xA9"
       "but  fin.jpg ",
       "%20d\xC3\xA9"
       "but  fin.jpg%20"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AttributePath(c.name), c.want);
  }
}

TEST(PageWriter, ReplacesAnOlderLongerPageEntirely) {
  TempFolder folder;
  folder.Write("index.html", std::string(10000, 'x'));
  EXPECT_EQ(WritePage(folder, "", {}, 8, true), Head("") + kEnd);
}

TEST(PageWriter, LongPagesPassThroughTheBufferWhole) {
  TempFolder folder;
  std::vector<std::string> names;
  std::string want = Head("");
  for (int i = 0; i < 200; ++i) {
    names.push_back(std::string(static_cast<std::size_t>(i % 50), 'n') + std::to_string(i) +
                    ".png");
    want += Entry(names.back());
  }
  want += kEnd;
  EXPECT_EQ(WritePage(folder, std::string(5000, 't'), names, 100, true),
            Head(std::string(5000, 't')) + want.substr(Head("").size()));
}

TEST(PageWriter, CreationFailsWhenThePageCannotBeHadAlone) {
  {
    TempFolder folder;
    folder.MakeFolder("index.html");
    EXPECT_FALSE(CreatePage(folder.folder()));
  }
  {
    TempFolder folder;
    const auto page = folder.Write("index.html", "keep me");
    const int other = ::open(page.c_str(), O_RDONLY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    EXPECT_FALSE(CreatePage(folder.folder()));
    ::close(other);
    EXPECT_EQ(ReadFile(page), "keep me");  // a failed creation costs the old page nothing
  }
  EXPECT_FALSE(CreatePage("/nonexistent-folder-for-marbelow/"));
}

}  // namespace
}  // namespace gallery
