// Where the unit tests find the source tree and the native runtime. Only build_paths.cpp is
// compiled with these folders on its command line: with them on every file's, a build in
// another folder (a fresh clone in CI) would miss ccache for all the tests' objects.
#pragma once

namespace pl0::test {

extern const char* const source_dir;       // the tree's top
extern const char* const runtime_archive;  // libpl0_runtime.a, which native programs link
extern const char* const link_flags;       // what a native program's link adds

}  // namespace pl0::test
