#include "layout.h"

#include <limits>

#include "emitter.h"
#include "stack.h"

namespace pl0::native {

namespace {

// A number with its sign, as "+3" or "-7".
std::string signed_text(std::int64_t n) {
  return (n >= 0 ? "+" : "") + std::to_string(n);
}

// The check of `cells` from `reg`, unless the block before proved them.
std::string guard(const char* reg, const char* name, const Range& cells, const Range& known,
                  const std::string& fallback) {
  if (!cells.used) return "";
  if (known.covers(cells)) {
    return std::string("\t# cells ") + name + std::to_string(cells.low) + " to " + name +
           std::to_string(cells.high) + ": proven by the block before\n";
  }
  return range_check(reg, cells,
                     std::string("cells from ") + name + signed_text(cells.low) + " to " + name +
                         signed_text(cells.high),
                     fallback);
}

// A procedure's block is entered from inside the procedure at .L<n>_in, knowing that the
// procedure's cells lie in the stack. From elsewhere it checks first: at .L<n> (a return, the
// table, hand-made code) that SP - BP is what the code expects, at .L<n>_r (a CAL, which makes
// it so) that the procedure's cells lie in the stack. A CAL's block has checked the new frame's
// link cells, BP among them, so where the procedure reaches no cell above BP, the bound from
// below is all that .L<n>_r still checks: one compare a call. The way in at .L<n> checks the
// bound from above before it.
std::string procedure_entry(const Block& block, const Regions& regions, const Flow& flow) {
  const std::string n = std::to_string(block.start);
  const std::string fallback = fallback_label(block.start);
  std::string out = ".L" + n + ":\n\tmovl\t{SP32}, %eax\t# SP - BP as the code expects?\n\tsubl\t{BP32}, %eax\n";
  out += "\tcmpl\t$" + std::to_string(flow.depth[static_cast<std::size_t>(block.start)]) +
         ", %eax\n\tjne\t" + fallback + "\n";
  const Region& region = regions.at(flow.procedure[static_cast<std::size_t>(block.start)]);
  const Range& cells = region.cells;
  const std::string comment = "the procedure's cells, BP" + signed_text(cells.low) + " to BP" +
                              signed_text(cells.high) + ",";
  if (!cells.used) return out + ".L" + n + "_r:\n";
  if (!region.possible) {
    return out + ".L" + n + "_r:\n\tjmp\t" + fallback + "\t# cells that cannot all lie in the stack\n";
  }
  if (cells.high > 0 || cells.width() > top_cell) {
    return out + ".L" + n + "_r:\n" + range_check("{BP}", cells, comment, fallback);
  }
  append(out, "\tcmpl\t$%lld, {BP32}\t# %s below the stack's top?\n\tjg\t%s\n",
         static_cast<long long>(top_cell - cells.high), comment.c_str(), fallback.c_str());
  append(out, ".L%s_r:\n\tcmpl\t$%lld, {BP32}\t# and above its bottom?\n\tjl\t%s\n", n.c_str(),
         static_cast<long long>(-cells.low), fallback.c_str());
  return out;
}

// What holds on entering the next block: the cells proven here or before, seen from there.
Proof proof_after(const Block& block, const Proof& known) {
  Proof after;
  if (block.sp.joins(known.sp)) {
    after.sp = known.sp;
    after.sp.add(block.sp);
  } else {
    after.sp = block.sp.used ? block.sp : known.sp;
  }
  after.sp = after.sp.shifted(-block.moved);
  after.sp.used = !block.sp_lost && (block.sp.used || known.sp.used);
  if (block.bp.joins(known.bp)) {
    after.bp = known.bp;
    after.bp.add(block.bp);
  } else {
    after.bp = block.bp.used ? block.bp : known.bp;
  }
  return after;
}

}  // namespace

Regions procedure_regions(const std::vector<Block>& blocks, const Flow& flow) {
  Regions regions;
  for (const Block& block : blocks) {
    const std::int32_t procedure = flow.procedure[static_cast<std::size_t>(block.start)];
    if (procedure < 0) continue;
    Region& region = regions[procedure];
    const std::int64_t depth = flow.depth[static_cast<std::size_t>(block.start)];
    region.cells.add(block.sp.shifted(depth));
    region.cells.add(block.bp);
    if (block.too_far) region.possible = false;
  }
  return regions;
}

std::string entry_bounds(const Regions& regions) {
  std::string text = "\n# The least BP each procedure's cells allow, for its start copied to a CAL (always a\n"
                     "# call where its check is another: the call's own check then decides).\n";
  for (const auto& [procedure, region] : regions) {
    const Range& cells = region.cells;
    long long least = std::numeric_limits<std::int32_t>::min();
    if (!region.possible || cells.high > 0 || cells.width() > top_cell) {
      least = std::numeric_limits<std::int32_t>::max();
    } else if (cells.used) {
      least = -cells.low;
    }
    append(text, "\t.set\t.Lbottom%d, %lld\n", procedure, least);
  }
  return text;
}

std::string fallback_label(std::int32_t start) {
  return ".Ld" + std::to_string(start);
}

std::string range_check(const char* reg, const Range& cells, const std::string& comment,
                        const std::string& fallback, const char* scratch) {
  if (cells.width() > top_cell) return "\tjmp\t" + fallback + "\t# cells too far apart\n";
  std::string text;
  append(text, "\tleal\t%lld(%s), %s\t# %s in the stack?\n\tcmpl\t$%lld, %s\n\tja\t%s\n",
         static_cast<long long>(cells.low), reg, scratch, comment.c_str(),
         static_cast<long long>(top_cell - cells.width()), scratch, fallback.c_str());
  return text;
}

Proof lay_out(const Block& block, const Proof& known, const Regions& regions, const Flow& flow,
              bool fallen_into, std::string& text, std::string& cold) {
  const std::string n = std::to_string(block.start);
  const std::string fallback = fallback_label(block.start);
  const std::string to_the_machine = fallback + ":\n\tmovl\t$" + n + ", %edi\n\tjmp\t.Lresume\n";
  if (flow.procedure[static_cast<std::size_t>(block.start)] >= 0) {
    // Where no block falls in, the checks stand inline; otherwise out of line, so that the
    // block before falls past them.
    cold += block.cold + to_the_machine;
    const char* machine_only = block.in_loop        ? "inside a loop whose variables are in registers"
                               : block.given_copies ? "its procedure brings variables in registers"
                                                    : nullptr;
    const std::string checks = machine_only != nullptr
                                   ? ".L" + n + ":\n.L" + n + "_r:\n\tjmp\t" + fallback + "\t# " + machine_only + "\n"
                                   : procedure_entry(block, regions, flow);
    if (fallen_into) {
      cold += checks + (machine_only != nullptr ? "" : "\tjmp\t.L" + n + "_in\n");
      text += "\n";
    } else {
      text += "\n" + checks;
    }
    if (block.aligned) text += "\t.p2align\t4,,10\t# the head of a loop's turn\n";
    text += ".L" + n + "_in:\n" + block.body;
    return {};
  }
  const std::size_t first_header = block.body.find('\n') + 1;
  text += "\n.L" + n + ":\n" + block.body.substr(0, first_header);
  if (block.too_far || block.sp.width() > top_cell || block.bp.width() > top_cell) {
    cold += to_the_machine;  // without the body's out-of-line paths, which return into it
    text += "\t# cells that cannot all lie in the stack: the machine runs this block\n";
    text += "\tjmp\t" + fallback + "\n";
    return {};
  }
  cold += block.cold + to_the_machine;
  text += guard("{SP}", "SP", block.sp, known.sp, fallback) +
          guard("{BP}", "BP", block.bp, known.bp, fallback) + block.body.substr(first_header);
  return block.falls ? proof_after(block, known) : Proof{};
}

}  // namespace pl0::native
