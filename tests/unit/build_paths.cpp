#include "build_paths.h"

namespace pl0::test {

const char* const source_dir = PL0_SOURCE_DIR;
const char* const runtime_archive = PL0_RUNTIME_ARCHIVE;
const char* const link_flags = PL0_LINK_FLAGS;

}  // namespace pl0::test
