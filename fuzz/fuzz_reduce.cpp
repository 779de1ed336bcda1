// The reducer on any text with a test that holds for it: the first byte picks the shape, the
// second how many of the text's bytes the test asks for, in order. Whatever the text, the
// result must still pass the test, be no longer, and come out the same a second time.
#include <cstdlib>
#include <string>

#include "reduce.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Every candidate is tested: keep a run short (600 bytes: a second or two under the sanitizers).
  if (size < 2 || size > 600) return 0;
  const auto shape = static_cast<pl0::conform::Shape>(data[0] % 4);
  const std::size_t every = 1 + data[1] % 7;
  const std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);
  std::string wanted;
  for (std::size_t k = 0; k < text.size(); k += every) wanted += text[k];
  // A subsequence test: any deletion that keeps these bytes in order passes.
  const pl0::conform::Test keeps = [&](const std::string& candidate) {
    std::size_t at = 0;
    for (const char c : candidate) {
      if (at < wanted.size() && c == wanted[at]) ++at;
    }
    return at == wanted.size();
  };
  const auto first = pl0::conform::reduce(text, shape, keeps, 1e9);
  if (!keeps(first.result) || first.result.size() > text.size() || !first.complete) std::abort();
  if (pl0::conform::reduce(text, shape, keeps, 1e9).result != first.result) std::abort();
  return 0;
}
