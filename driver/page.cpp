// The explorer's page is embedded in pl0 when it is built, so pl0 explore needs no files and no
// node beside it: one self-contained page from fixed markers replaced, never a template engine.
#include "page.h"

#include <stdexcept>

#include "markup.h"

namespace pl0::embedded {
extern const unsigned char explorer_html[];
extern const unsigned char explorer_css[];
extern const unsigned char explorer_js[];  // web/explorer.bundle.js: one classic script
}  // namespace pl0::embedded

namespace pl0::driver {

namespace {

const char* text(const unsigned char* bytes) {
  return reinterpret_cast<const char*>(bytes);
}

void replace(std::string& page, const std::string& what, const std::string& with) {
  const std::size_t at = page.find(what);
  if (at == std::string::npos) throw std::logic_error("the page template lacks " + what);
  page.replace(at, what.size(), with);
}

}  // namespace

std::string explorer_page(const std::string& recording_json, const std::string& name) {
  std::string page = text(embedded::explorer_html);
  replace(page, "<title>PL/0 explorer</title>", "<title>" + escaped_markup(name) + " — PL/0 explorer</title>");
  replace(page, "<main id=\"explorer\"", "<main id=\"explorer\" data-name=\"" + escaped_markup(name) + "\"");
  replace(page, "<link rel=\"stylesheet\" href=\"explorer.css\">",
          std::string("<style>\n") + text(embedded::explorer_css) + "</style>");
  replace(page, "<script type=\"application/json\" id=\"recording\">null</script>",
          "<script type=\"application/json\" id=\"recording\">" + recording_json + "</script>");
  replace(page, "<script src=\"explorer.bundle.js\"></script>",
          std::string("<script>\n") + text(embedded::explorer_js) + "</script>");
  return page;
}

}  // namespace pl0::driver
