#include "value_stack.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace pl0::native {

namespace {

void append_list(std::string& text, const char* format, va_list args) {
  char buffer[256];
  std::vsnprintf(buffer, sizeof buffer, format, args);
  text += buffer;
}

}  // namespace

void append(std::string& text, const char* format, ...) {
  va_list args;
  va_start(args, format);
  append_list(text, format, args);
  va_end(args);
}

void Emitter::line(const char* format, ...) {
  body += '\t';
  va_list args;
  va_start(args, format);
  append_list(body, format, args);
  va_end(args);
  body += '\n';
}

std::string ValueStack::cell(int offset) const {
  return std::to_string(4 * offset) + "({cells},{SP},4)";
}

std::string ValueStack::text(const Value& v) const {
  switch (v.kind) {
    case Value::constant: return "$" + std::to_string(v.number);
    case Value::held:
    case Value::resident: return pool[v.reg];
    default: return cell(v.offset);
  }
}

Value ValueStack::pop() {
  const int offset = top_++;
  note(offset);
  for (auto it = held_.begin(); it != held_.end(); ++it) {
    if (it->first != offset) continue;
    Value v = it->second;
    held_.erase(it);
    if (v.kind == Value::held) taken_ |= 1u << v.reg;
    v.offset = offset;
    return v;
  }
  flush(offset);
  return {Value::stored, 0, 0, offset};
}

void ValueStack::push(const Value& v) {
  const int offset = --top_;
  note(offset);
  Value value = v;
  value.offset = offset;
  bool replaced = false;
  for (auto& [at, waiting] : waiting_) {
    if (at == offset) {
      waiting = value;
      replaced = true;
    }
  }
  if (!replaced) waiting_.emplace_back(offset, value);
  held_.emplace_back(offset, value);
}

void ValueStack::store(const Value& v) {
  if (!depth_ || *depth_ + v.offset == 0) link_cell_stored_ = true;
  if (v.kind == Value::constant) {
    out_.line("movl\t$%d, %s", v.number, cell(v.offset).c_str());
  } else {
    out_.line("movl\t%s, %s", pool[v.reg], cell(v.offset).c_str());
  }
}

void ValueStack::flush(int offset) {
  for (auto it = waiting_.begin(); it != waiting_.end(); ++it) {
    if (it->first != offset) continue;
    store(it->second);
    waiting_.erase(it);
    return;
  }
}

void ValueStack::flush_all() {
  for (const auto& [offset, v] : waiting_) {
    if (!unread(offset)) store(v);
  }
  waiting_.clear();
}

// The waiting stores of values of `kind` in register `r`, made now (or dropped where unread).
void ValueStack::flush_from(Value::Kind kind, int r) {
  for (auto it = waiting_.begin(); it != waiting_.end();) {
    if (it->second.kind == kind && it->second.reg == r) {
      if (!unread(it->first)) store(it->second);
      it = waiting_.erase(it);
    } else {
      ++it;
    }
  }
}

void ValueStack::flush_register(int r) {
  flush_from(Value::held, r);
}

// Where SP - BP is known, the stack cells' distances from BP are too, so only a store to that
// very cell must be made first.
void ValueStack::touch_frame(std::int64_t offset) {
  if (!depth_) {
    flush_all();
    return;
  }
  for (const auto& [at, v] : std::vector<std::pair<int, Value>>(waiting_)) {
    if (*depth_ + at == offset) flush(at);
  }
}

bool ValueStack::known_within(int r, std::int64_t shift, std::int64_t low, std::int64_t high) const {
  return std::any_of(within_.begin(), within_.end(), [&](const Within& w) {
    return w.reg == r && w.shift == shift && w.low == low && w.high == high;
  });
}

void ValueStack::note_within(int r, std::int64_t shift, std::int64_t low, std::int64_t high) {
  within_.push_back({r, shift, low, high});
}

void ValueStack::before_writing_resident(int r) {
  within_.erase(std::remove_if(within_.begin(), within_.end(), [r](const Within& w) { return w.reg == r; }),
                within_.end());
  flush_from(Value::resident, r);
  for (auto& [offset, v] : held_) {
    if (v.kind == Value::resident && v.reg == r) v = {Value::stored, 0, 0, offset, v.from};
  }
}

void ValueStack::drop_store(int offset) {
  for (auto it = waiting_.begin(); it != waiting_.end(); ++it) {
    if (it->first == offset) {
      waiting_.erase(it);
      return;
    }
  }
}

void ValueStack::remember(std::int64_t variable, int r) {
  forget_copy(variable);
  copies_.emplace_back(variable, r);
}

void ValueStack::forget_copy(std::int64_t variable) {
  for (auto it = copies_.begin(); it != copies_.end();) {
    it = it->first == variable ? copies_.erase(it) : it + 1;
  }
}

// The register is the value pushed, and stays the variable's copy until it is changed.
std::optional<int> ValueStack::recall(std::int64_t variable) {
  for (auto it = copies_.begin(); it != copies_.end(); ++it) {
    if (it->first != variable) continue;
    const int r = it->second;
    for (const auto& [offset, v] : held_) {
      if (v.kind == Value::held && v.reg == r) return std::nullopt;  // no value shares one
    }
    // A push of this register that still waits goes to its cell first, but for one to the
    // cell the LOD pushes to, which the push replaces.
    drop_store(top_ - 1);
    flush_register(r);
    taken_ |= 1u << r;
    return r;
  }
  return std::nullopt;
}

void ValueStack::changing(int r) {
  for (auto it = copies_.begin(); it != copies_.end();) {
    it = it->second == r ? copies_.erase(it) : it + 1;
  }
}

int ValueStack::allocate(int preferred) {
  const int r = take(preferred);
  changing(r);
  return r;
}

int ValueStack::take(int preferred) {
  unsigned used = taken_ | reserved_;
  for (const auto& [offset, v] : held_) {
    if (v.kind == Value::held) used |= 1u << v.reg;
  }
  if (preferred >= 0 && (used & (1u << preferred)) == 0) {
    flush_register(preferred);
    taken_ |= 1u << preferred;
    return preferred;
  }
  // A register whose value no store still waits for first: the wait may yet save the store;
  // and before that one that holds no variable's copy, which a LOD may yet take.
  unsigned waiting = 0;
  for (const auto& [offset, v] : waiting_) {
    if (v.kind == Value::held) waiting |= 1u << v.reg;
  }
  unsigned copied = 0;
  for (const auto& [variable, r] : copies_) copied |= 1u << r;
  for (const unsigned avoid : {used | waiting | copied, used | waiting, used}) {
    for (int r = 0; r < pool_size; ++r) {
      if ((avoid & (1u << r)) == 0) {
        flush_register(r);
        taken_ |= 1u << r;
        return r;
      }
    }
  }
  // All taken: the deepest value is read from its cell when it is needed.
  for (auto it = held_.begin(); it != held_.end(); ++it) {
    if (it->second.kind != Value::held || (taken_ & (1u << it->second.reg)) != 0) continue;
    const int r = it->second.reg;
    held_.erase(it);
    flush_register(r);
    taken_ |= 1u << r;
    return r;
  }
  std::abort();  // an instruction holds at most three values
}

Value ValueStack::in_memory(const Value& v) {
  if (v.kind != Value::held && v.kind != Value::resident) return v;
  flush(v.offset);
  return {Value::stored, 0, 0, v.offset};
}

int ValueStack::to_register(const Value& v) {
  if (v.kind == Value::held) return v.reg;
  const int r = allocate();
  out_.line("movl\t%s, %s", text(v).c_str(), pool[r]);
  return r;
}

// Forgetting the registers' copies costs only the stores still waiting.
void ValueStack::forget_registers() {
  flush_all();
  held_.clear();
  copies_.clear();
}

void ValueStack::forget_frame_cell(std::int64_t offset) {
  if (!depth_) {
    forget_registers();
    return;
  }
  for (auto it = held_.begin(); it != held_.end();) {
    it = *depth_ + it->first == offset ? held_.erase(it) : it + 1;
  }
}

void ValueStack::forget_source(std::int64_t offset) {
  for (auto& [at, v] : held_) {
    if (v.from == offset) v.from.reset();
  }
}

void ValueStack::forget_sources() {
  for (auto& [at, v] : held_) v.from.reset();
}

void ValueStack::forget_variables(std::int64_t low, std::int64_t high) {
  const auto among = [low, high](std::int64_t variable) { return variable >= low && variable <= high; };
  copies_.erase(std::remove_if(copies_.begin(), copies_.end(), [&](const auto& copy) { return among(copy.first); }),
                copies_.end());
  for (auto& [at, v] : held_) {
    if (v.from && among(*v.from)) v.from.reset();
  }
}

// Cells given back are no longer values.
void ValueStack::move(int count) {
  top_ -= count;
  for (auto it = held_.begin(); it != held_.end();) {
    it = it->first < top_ ? held_.erase(it) : it + 1;
  }
}

int ValueStack::settle() {
  const int moved = top_;
  top_ = 0;
  return moved;
}

}  // namespace pl0::native
