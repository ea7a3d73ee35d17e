#include "gallery/page_writer.h"

#include <string>

#include "gallery/text.h"
#include "platform/files.h"

namespace gallery {
namespace {

int row_counter = 0;

void Line(std::string_view text) { platform::WritePageLine(text); }

}  // namespace

std::string AttributePath(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(name.size());
  const auto percent = [&](unsigned char byte) {
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
  };
  std::size_t i = 0;
  while (i < name.size()) {
    const auto byte = static_cast<unsigned char>(name[i]);
    const std::size_t length = Utf8SequenceLength(name.substr(i));
    if (length == 0) {
      percent(byte);
      ++i;
      continue;
    }
    if (length > 1) {
      // C1 controls (U+0080 to U+009F) are as invisible as the ASCII ones.
      const bool c1 = byte == 0xC2 && static_cast<unsigned char>(name[i + 1]) < 0xA0;
      for (std::size_t k = 0; k < length; ++k) {
        if (c1) {
          percent(static_cast<unsigned char>(name[i + k]));
        } else {
          out += name[i + k];
        }
      }
      i += length;
      continue;
    }
    switch (byte) {
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      // A fragment, an escape, a query, a scheme ("a:b.jpg") or a Windows separator.
      case '#':
      case '%':
      case '?':
      case ':':
      case '\\':
        percent(byte);
        break;
      default:
        // Browsers strip spaces at either end of a URL, which would lose them from the name.
        if (byte < 0x20 || byte == 0x7F || (byte == ' ' && (i == 0 || i + 1 == name.size()))) {
          percent(byte);
        } else {
          out += static_cast<char>(byte);
        }
    }
    ++i;
  }
  return out;
}

bool CreatePage(std::string_view folder) {
  row_counter = 0;
  return platform::CreatePageFile(std::string(folder) + "index.html");
}

void WritePageHead(std::string_view title) {
  Line("<!doctype html>");
  Line("<html lang=\"fr\">");
  Line("<head>");
  Line("<title>" + std::string(title) + "</title>");
  Line("<meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">");
  Line("<meta charset=\"utf-8\" />");
  Line("</head>");
  Line("<body background=\"fond.jpg\">");
  Line("<center>");
}

void WritePictureEntry(std::string_view name) {
  const std::string path = AttributePath(name);
  Line("<td align=center valign=center>");
  Line("<a href=\"" + path + "\" target=\"_blank\">");
  Line("<img src=\"mini/" + path + ".jpg\" border=1></a>");
  Line("</td>");
}

void ApplyRowBreak(int columns, const std::function<bool()>& auto_wrap) {
  ++row_counter;
  if (row_counter < columns) {
    return;
  }
  row_counter = 0;
  if (!auto_wrap()) {
    Line("<br />");
  }
}

void WritePageEnd() {
  Line("<br />");
  Line("</body>");
  Line("</html>");
  platform::ClosePageFile();
}

}  // namespace gallery
