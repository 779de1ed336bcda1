// Buffered output with its own decimal formatting: a program that writes a million numbers
// makes a handful of system calls, and a trace line costs little more than its own bytes.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace pl0::interpreter {

// Writes `value` as "%*d" does into `at` and returns the end of what it wrote.
inline char* format_right(char* at, std::int32_t value, int width) {
  char digits[12];
  char* const end = digits + sizeof digits;
  char* start = end;
  std::uint32_t magnitude =
      value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  do {
    *--start = static_cast<char>('0' + magnitude % 10u);
    magnitude /= 10u;
  } while (magnitude != 0);
  if (value < 0) *--start = '-';
  const auto length = static_cast<int>(end - start);
  for (int pad = width - length; pad > 0; --pad) *at++ = ' ';
  std::memcpy(at, start, static_cast<std::size_t>(length));
  return at + length;
}

class Output {
 public:
  explicit Output(std::FILE* file = nullptr) : file_(file) {}
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  ~Output() { flush(); }

  bool on() const { return file_ != nullptr; }
  bool failed() const { return failed_; }
  // Whether the next put() would flush first.
  bool full() const { return used_ == capacity; }
  // Whether anything was written that the system has not been handed yet.
  bool pending() const { return used_ != 0 || unsynced_; }
  // How many bytes were written so far, handed to the system or not.
  std::size_t count() const { return handed_ + used_; }
  std::FILE* file() const { return file_; }

  void put(char c) {
    if (__builtin_expect(used_ == capacity, 0)) {
      put_after_flush(c);
      return;
    }
    data_[used_++] = c;
  }

  void put(const char* text) { put(text, std::strlen(text)); }

  void put(const char* text, std::size_t length) {
    if (capacity - used_ < length) flush();
    if (length > capacity) {
      write(text, length);
      unsynced_ = true;
      return;
    }
    std::memcpy(data_ + used_, text, length);
    used_ += length;
  }

  // As "%*d": right-aligned in `width` columns (at most 20), wider when the number needs it.
  void put_int(std::int32_t value, int width = 0) {
    done_at(format_right(claim(32), value, width));
  }

  // Room for `most` bytes written straight into the buffer, ended by done_at().
  char* claim(std::size_t most) {
    if (capacity - used_ < most) flush();
    return data_ + used_;
  }
  void done_at(const char* end) { used_ = static_cast<std::size_t>(end - data_); }

  // As "%*s".
  void put_padded(const char* text, int width) {
    const auto length = static_cast<int>(std::strlen(text));
    for (int pad = width - length; pad > 0; --pad) put(' ');
    put(text, static_cast<std::size_t>(length));
  }

  // Out of line: the callers' fast paths then need no saved registers.
  [[gnu::noinline]] void flush() {
    if (used_ == 0) return;
    write(data_, used_);
    used_ = 0;
    unsynced_ = true;
  }

  // Hands everything written so far to the system, so that a prompt shows before a read.
  void sync() {
    flush();
    if (file_ != nullptr && !failed_ && std::fflush(file_) != 0) fail();
    unsynced_ = false;
  }

  // False once any write has failed (a full disk, a closed pipe); error() then says why.
  bool good() {
    sync();
    return !failed_;
  }
  int error() const { return error_; }

 private:
  static constexpr std::size_t capacity = 1 << 16;

  // Out of line, so that put's usual path makes no call and saves no registers.
  [[gnu::noinline]] void put_after_flush(char c) {
    flush();
    data_[used_++] = c;
  }

  void write(const char* text, std::size_t length) {
    handed_ += length;
    if (file_ == nullptr || failed_) return;
    if (std::fwrite(text, 1, length, file_) != length) fail();
  }

  void fail() {
    failed_ = true;
    error_ = errno;
  }

  std::FILE* file_;
  bool failed_ = false;
  bool unsynced_ = false;
  int error_ = 0;
  std::size_t used_ = 0;
  std::size_t handed_ = 0;
  char data_[capacity];
};

}  // namespace pl0::interpreter
