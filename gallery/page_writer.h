// The gallery page, index.html, written line by line while a run walks its folder.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace gallery {

// Creates or replaces `folder` + "index.html" and holds it for exclusive use; `folder` is empty or
// ends in '/'. Returns false when it cannot be created. Starts a new row.
bool CreatePage(std::string_view folder);
// The nine head lines, with `title` (UTF-8) inserted as typed.
void WritePageHead(std::string_view title);
// The four lines of one picture, linking the picture and its thumbnail under mini/.
void WritePictureEntry(std::string_view name);
// Counts the entry just written; when the row is full starts a new one and, unless `auto_wrap`
// says the browser wraps the rows, writes a row break. `auto_wrap` is asked only then.
void ApplyRowBreak(int columns, const std::function<bool()>& auto_wrap);
// The three end lines; closes the page.
void WritePageEnd();

// A file name as it stands in an href or src value: the markup characters & " < > as entity
// references; control characters, # % ? : \, spaces at either end and bytes outside well-formed
// UTF-8 percent-encoded; everything else, inner spaces and accented letters included, as it is.
std::string AttributePath(std::string_view name);

}  // namespace gallery
