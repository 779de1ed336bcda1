#include "page.h"

#include <sstream>
#include <stdexcept>

#include "markup.h"

namespace pl0::embedded {
extern const unsigned char explorer_html[];
extern const unsigned char explorer_css[];
extern const unsigned char explorer_js[];
extern const unsigned char recording_js[];
}  // namespace pl0::embedded

namespace pl0::driver {

namespace {

const char* text(const unsigned char* bytes) {
  return reinterpret_cast<const char*>(bytes);
}

// A module's text for a page of its own: browsers load no module files from file://, so the
// modules are joined into one script, their import lines dropped and "export " taken off.
std::string inline_module(const char* text) {
  std::istringstream lines(text);
  std::string line, joined;
  while (std::getline(lines, line)) {
    if (line.rfind("import ", 0) == 0) continue;
    if (line.rfind("export ", 0) == 0) line.erase(0, 7);
    joined += line;
    joined += '\n';
  }
  return joined;
}

void replace(std::string& page, const std::string& what, const std::string& with) {
  const std::size_t at = page.find(what);
  if (at == std::string::npos) throw std::logic_error("the page template lacks " + what);
  page.replace(at, what.size(), with);
}

}  // namespace

std::string explorer_page(const std::string& recording_json, const std::string& name) {
  std::string page = text(embedded::explorer_html);
  replace(page, "<title>PL/0 explorer</title>", "<title>" + explorer::escaped_markup(name) + " — PL/0 explorer</title>");
  replace(page, "<main id=\"explorer\"", "<main id=\"explorer\" data-name=\"" + explorer::escaped_markup(name) + "\"");
  replace(page, "<link rel=\"stylesheet\" href=\"explorer.css\">",
          std::string("<style>\n") + text(embedded::explorer_css) + "</style>");
  replace(page, "<script type=\"application/json\" id=\"recording\">null</script>",
          "<script type=\"application/json\" id=\"recording\">" + recording_json + "</script>");
  // Dependencies first: explorer.js uses what recording.js defines.
  replace(page, "<script type=\"module\" src=\"explorer.js\"></script>",
          "<script type=\"module\">\n" + inline_module(text(embedded::recording_js)) +
              inline_module(text(embedded::explorer_js)) + "</script>");
  return page;
}

}  // namespace pl0::driver
