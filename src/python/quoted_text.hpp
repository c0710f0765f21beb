#pragma once

#include <string>
#include <string_view>

namespace pipwerk::python {

// Appends the quoted form of UTF-8 text as the reprs show it: in double
// quotes, with \" \\ \t \r \n \0 and \u{h} escapes.
void append_quoted(std::string& out, std::string_view utf8);

}  // namespace pipwerk::python
