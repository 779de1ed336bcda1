// The explorer's page: web/explorer.html with its style, its scripts and a recording inlined,
// one file that works from file:// with no network.
#pragma once

#include <string>

namespace pl0::driver {

std::string explorer_page(const std::string& recording_json);

}  // namespace pl0::driver
