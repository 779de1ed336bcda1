// Text made safe inside HTML or XML, in an element or a quoted attribute: the page's title and
// the conformance kit's JUnit report use it.
#pragma once

#include <string>

namespace pl0 {

inline std::string escaped_markup(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace pl0
