// The server's own parse of a document's names and scopes, beside the Compiler's: the same
// grammar and the same name table rules (an inner name hides an outer one; a procedure's names
// vanish when its block ends), but every rule always consumes and always returns. Where a word
// fits nowhere the parser skips to the next statement, declaration or block boundary and keeps
// the names it skipped as uses known only by their spelling, so that nothing after an error is
// lost and rename can tell where it cannot be sure.
#pragma once

#include <map>
#include <string>

#include "analysis.h"

namespace pl0::lsp {

// Fills the declarations, uses, skipped stretches, mends, blocks, program end and the warnings
// about constant indices of `a`, from `a.words`. `respelled` gives some identifier words (by
// their first byte) another spelling: how rename sees what a new name would mean.
void parse_scopes(const std::string& source, Analysis& a,
                  const std::map<long, std::string>& respelled = {});

// The warnings about names: never used, read but never assigned.
void warn_about_names(Analysis& a);

}  // namespace pl0::lsp
