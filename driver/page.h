// The explorer's page: web/explorer.html with its style, its scripts and a recording inlined,
// one file that works from file:// with no network.
#pragma once

#include <string>

namespace pl0::driver {

// `name` (the source's file name) names the page in its title and heading.
std::string explorer_page(const std::string& recording_json, const std::string& name);

}  // namespace pl0::driver
