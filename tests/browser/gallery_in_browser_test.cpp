// A gallery made by the real run over awkward file names, opened in headless Chromium: every
// thumbnail decodes, every link fetches the very picture file it names, and the background tile
// is the page's background.
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <stdlib.h>
#include <string>
#include <string_view>
#include <vector>

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

#include "gallery/background_tile.h"
#include "gallery/controls.h"
#include "gallery/gallery_run.h"
#include "platform/controls.h"
#include "tests/support/fixtures.h"
#include "tests/support/option_controls.h"
#include "tests/support/temp_folder.h"

namespace gallery {
namespace {

using testsupport::TempFolder;

struct Picture {
  std::string name;
  support::Bytes bytes;
};

platform::Image Tinted(int width, int height, int channels, int index) {
  const auto shade = static_cast<std::uint8_t>(index * 20);
  return support::SolidImage(width, height, channels, shade, static_cast<std::uint8_t>(255 - shade),
                             static_cast<std::uint8_t>(index * 7), 200);
}

support::Bytes Jpeg(int index) {
  support::JpegSpec spec;
  spec.width = 6;
  spec.height = 4;
  for (int i = 0; i < spec.width * spec.height; ++i) {
    spec.samples.insert(spec.samples.end(), {static_cast<std::uint8_t>(index * 20),
                                             static_cast<std::uint8_t>(i * 9), 90});
  }
  return support::MakeJpeg(spec);
}

support::Bytes Gif(int index) {
  support::GifSpec spec;
  spec.screen_width = 4;
  spec.screen_height = 5;
  spec.global_palette = {0x102030, static_cast<std::uint32_t>(0x00FF00 + index), 0xFFFFFF,
                         0x000000};
  support::GifFrame frame;
  frame.width = 4;
  frame.height = 5;
  frame.indices.assign(20, 1);
  spec.frames.push_back(frame);
  return support::MakeGif(spec);
}

// One picture per name that a page can get wrong: markup characters, URL delimiters and escapes,
// a control character the URL parser would strip, letters beyond ASCII, and a byte that is not
// UTF-8. Each file's bytes differ, so a link that reaches the wrong file is caught.
std::vector<Picture> AwkwardPictures() {
  return {
      {"plage.jpg", Jpeg(0)},
      {"Été 2.jpg", Jpeg(1)},
      {"caf\xE9.png", support::EncodePng(Tinted(5, 3, 3, 2))},
      {"n°#1.gif", Gif(3)},
      {"50%25.bmp", support::EncodeBmp24(Tinted(3, 2, 3, 4))},
      {"Tom & Jerry.png", support::EncodePng(Tinted(4, 4, 4, 5))},
      {"dit \"oui\".jpg", Jpeg(6)},
      {"a<b>c.jpeg", Jpeg(7)},
      {"quoi?.png", support::EncodePng(Tinted(2, 6, 3, 8))},
      {"a:b.gif", Gif(9)},
      {"anti\\slash.bmp", support::EncodeBmp24(Tinted(4, 3, 3, 10))},
      {"tab\there.jpg", Jpeg(11)},
      {" d\xC3\xA9"
       "but.jpg",
       Jpeg(12)},
  };
}

// Loads the gallery in a frame and, once the frame has loaded (its images with it), writes one
// line per image, link and background into #out. URLs go through encodeURIComponent so that the
// dumped markup holds them verbatim; file bytes come back as hex.
constexpr char kCheckPage[] = R"page(<!doctype html>
<meta charset="utf-8">
<pre id="out">waiting</pre>
<script>
function readHex(url) {
  const request = new XMLHttpRequest();
  request.open('GET', url, false);
  request.overrideMimeType('text/plain; charset=x-user-defined');
  try {
    request.send();
  } catch (error) {
    return '-';
  }
  let hex = '';
  for (let i = 0; i < request.responseText.length; ++i) {
    hex += (request.responseText.charCodeAt(i) & 0xff).toString(16).padStart(2, '0');
  }
  return hex;
}
// The handler is in place before the frame starts loading, so its load cannot be missed.
const frame = document.createElement('iframe');
frame.onload = () => {
  const lines = [];
  const done = () => {
    lines.push('end');
    document.getElementById('out').textContent = lines.join('\n');
  };
  const doc = frame.contentDocument;
  if (!doc) {
    lines.push('unreadable');
    done();
    return;
  }
  for (const image of doc.images) {
    lines.push(`image ${encodeURIComponent(image.src)} ${image.naturalWidth}`);
  }
  for (const link of doc.links) {
    lines.push(`link ${encodeURIComponent(link.href)} ${readHex(link.href)}`);
  }
  const background = doc.defaultView.getComputedStyle(doc.body).backgroundImage;
  const url = /^url\("(.*)"\)$/.exec(background);
  const report = (width) => {
    lines.push(`background ${encodeURIComponent(url ? url[1] : background)} ${width}`);
    done();
  };
  const tile = new Image();
  tile.onload = () => report(tile.naturalWidth);
  tile.onerror = () => report(0);
  if (url) {
    tile.src = url[1];
  } else {
    report(0);
  }
};
frame.src = 'photos/index.html';
document.body.appendChild(frame);
</script>
)page";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
        HexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string HexDecode(std::string_view hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out += static_cast<char>(HexDigit(hex[i]) * 16 + HexDigit(hex[i + 1]));
  }
  return out;
}

// A local path as a file URL, every byte outside the unreserved set and '/' percent-encoded.
std::string FileUrl(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool letter_or_digit =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (letter_or_digit || std::string_view("/-._~").find(c) != std::string_view::npos) {
      url += c;
    } else {
      url += '%';
      url += kHex[byte >> 4];
      url += kHex[byte & 0x0F];
    }
  }
  return url;
}

// The bytes of the local path a file URL leads to; "" for any other URL.
std::string FilePath(std::string_view url) {
  constexpr std::string_view kScheme = "file://";
  if (url.substr(0, kScheme.size()) != kScheme || url.find_first_of("?#") != std::string::npos) {
    return "";
  }
  return PercentDecode(url.substr(kScheme.size()));
}

struct BrowserReport {
  std::map<std::string, int> image_widths;        // local path -> naturalWidth
  std::map<std::string, std::string> link_bytes;  // local path -> bytes fetched, or "-"
  std::string background;                         // the URL of the body's computed background image
  int tile_width = 0;
  bool frame_unreadable = false;
  bool finished = false;
  std::string dump;  // what Chromium printed, for the failure message
};

BrowserReport ParseDump(const std::string& dump) {
  BrowserReport report;
  report.dump = dump;
  const std::string open = "<pre id=\"out\">";
  const std::size_t start = dump.find(open);
  if (start == std::string::npos) {
    return report;
  }
  const std::size_t end = dump.find("</pre>", start);
  std::istringstream lines(dump.substr(start + open.size(), end - start - open.size()));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string kind, url, value;
    fields >> kind >> url >> value;
    const std::string decoded = PercentDecode(url);
    // Keyed by the local path, or by the URL itself when it leads elsewhere.
    const std::string where = FilePath(decoded).empty() ? decoded : FilePath(decoded);
    if (kind == "image") {
      report.image_widths[where] = std::stoi(value);
    } else if (kind == "link") {
      report.link_bytes[where] = value == "-" ? value : HexDecode(value);
    } else if (kind == "background") {
      report.background = decoded;
      report.tile_width = std::stoi(value);
    } else if (kind == "unreadable") {
      report.frame_unreadable = true;
    } else if (kind == "end") {
      report.finished = true;
    }
  }
  return report;
}

// Chromium keeps its singleton socket under TMPDIR, and a Unix socket path must fit in 108 bytes:
// the test's own folder, named after the test, is too deep for that. This one is short.
class ShortTempFolder {
 public:
  ShortTempFolder() {
    std::string pattern = testing::TempDir() + "mbXXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) {
      path_ = pattern;
    }
  }
  ~ShortTempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ShortTempFolder(const ShortTempFolder&) = delete;
  ShortTempFolder& operator=(const ShortTempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Opens `page` in a headless Chromium whose profile, home and temporary files all stay under
// `scratch` (temporary files in a short folder of their own), and returns what its check script
// reported. Fails the test if Chromium cannot run.
BrowserReport OpenInChromium(const std::filesystem::path& page,
                             const std::filesystem::path& scratch) {
  const QString chromium = QStandardPaths::findExecutable("chromium");
  if (chromium.isEmpty()) {
    ADD_FAILURE() << "chromium is not installed: run tools/deps.sh";
    return {};
  }
  const ShortTempFolder temporary;
  if (temporary.path().empty()) {
    ADD_FAILURE() << "no temporary folder for chromium under " << testing::TempDir();
    return {};
  }
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("TMPDIR", QString::fromStdString(temporary.path().string()));
  for (const char* variable :
       {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"}) {
    const std::filesystem::path folder = scratch / "env" / variable;
    std::filesystem::create_directories(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    environment.insert(variable, QString::fromStdString(folder.string()));
  }
  QProcess browser;
  browser.setProcessEnvironment(environment);
  browser.setStandardOutputFile(QString::fromStdString((scratch / "dom.html").string()));
  browser.setStandardErrorFile(QString::fromStdString((scratch / "chromium.log").string()));
  browser.start(chromium,
                {
                    "--headless",
                    "--no-sandbox",
                    "--disable-gpu",
                    "--no-first-run",
                    "--disable-background-networking",
                    "--disable-component-update",
                    "--disable-sync",
                    // A crash handler outlives the browser and would write into a removed folder.
                    "--disable-breakpad",
                    "--disable-crash-reporter",
                    "--user-data-dir=" + QString::fromStdString((scratch / "profile").string()),
                    // Lets the check page read the frame and fetch file: URLs.
                    "--allow-file-access-from-files",
                    // Virtual time: the dump waits for the loads, not for a clock.
                    "--virtual-time-budget=20000",
                    "--dump-dom",
                    QString::fromStdString(FileUrl(page.string())),
                });
  const bool ended = browser.waitForFinished(120000);
  if (!ended) {
    browser.kill();
    browser.waitForFinished();
  }
  const std::string log = testsupport::ReadFile(scratch / "chromium.log");
  EXPECT_TRUE(ended && browser.exitStatus() == QProcess::NormalExit && browser.exitCode() == 0)
      << "chromium did not run to the end: " << browser.errorString().toStdString() << "\n"
      << log;
  return ParseDump(testsupport::ReadFile(scratch / "dom.html"));
}

class GalleryInBrowserTest : public testing::Test {
 protected:
  // The window's option controls as a user would set them: thumbnails and wallpaper on, viewing
  // off, fixed columns; the shell and message box replaced so that nothing is opened.
  void SetUp() override {
    testsupport::CreateOptionControls();
    platform::SetText(kTitleField, "Vacances");
    platform::SetState(kWidthSlider, 0);
    platform::SetState(kColumnsSpin, 5);
    platform::SetState(kFixedColumnsOption, 1);
    platform::SetState(kViewCheck, 0);
    CreateBackgroundTile();
    PaintTile(0x3366CC, [] { return 12; });
    platform::SetOpenDocumentFn(
        [this](const std::string& path, const std::string&) { opened.push_back(path); });
    platform::SetMessageBoxFn([this](std::string_view title, std::string_view text) {
      messages.push_back(std::string(title) + "/" + std::string(text));
    });
  }

  void TearDown() override {
    platform::DestroyWindowAndControls();
    platform::SetOpenDocumentFn(nullptr);
    platform::SetMessageBoxFn(nullptr);
    current_folder.clear();
  }

  std::vector<std::string> opened, messages;
};

TEST_F(GalleryInBrowserTest, ThumbnailsLinksAndBackgroundAllResolve) {
  TempFolder work;
  const std::vector<Picture> pictures = AwkwardPictures();
  for (const Picture& picture : pictures) {
    work.Write("photos/" + picture.name, std::string(picture.bytes.begin(), picture.bytes.end()));
  }
  work.Write("photos/notes.txt", "pas une image");
  current_folder = work.folder() + "photos/";
  ASSERT_FALSE(GalleryRun());
  EXPECT_TRUE(opened.empty()) << "viewing was off";
  EXPECT_TRUE(messages.empty());

  work.Write("check.html", kCheckPage);
  const BrowserReport report =
      OpenInChromium(work.path() / "check.html", work.MakeFolder("chromium"));
  ASSERT_TRUE(report.finished) << "the check page did not report; Chromium printed:\n"
                               << report.dump;

  ASSERT_FALSE(report.frame_unreadable) << "the check page may not read a file: frame";

  const std::string photos = work.path().string() + "/photos/";
  std::set<std::string> want_images, want_links;
  for (const Picture& picture : pictures) {
    const std::string thumbnail = photos + "mini/" + picture.name + ".jpg";
    want_images.insert(thumbnail);
    const auto image = report.image_widths.find(thumbnail);
    if (image == report.image_widths.end()) {
      ADD_FAILURE() << "no <img> loads " << thumbnail;
    } else {
      EXPECT_GT(image->second, 0) << thumbnail << " did not decode";
    }
    // The link, followed as the browser follows it, reads the picture's own bytes.
    const std::string path = photos + picture.name;
    want_links.insert(path);
    const std::string bytes(picture.bytes.begin(), picture.bytes.end());
    const auto link = report.link_bytes.find(path);
    if (link == report.link_bytes.end()) {
      ADD_FAILURE() << "no link leads to " << path;
    } else {
      EXPECT_TRUE(link->second == bytes)
          << "the link to " << path << " reads "
          << (link->second == "-" ? "nothing" : std::to_string(link->second.size()) + " bytes")
          << ", not the picture's " << bytes.size();
    }
  }
  for (const auto& [where, width] : report.image_widths) {
    EXPECT_TRUE(want_images.contains(where)) << "an <img> loads " << where;
  }
  for (const auto& [where, bytes] : report.link_bytes) {
    EXPECT_TRUE(want_links.contains(where)) << "a link leads to " << where;
  }

  EXPECT_EQ(FilePath(report.background), photos + "fond.jpg")
      << "the body's background is " << report.background;
  EXPECT_GT(report.tile_width, 0) << "fond.jpg did not decode";
}

}  // namespace
}  // namespace gallery
