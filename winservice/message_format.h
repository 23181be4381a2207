// Formatting a message into the room a message has, keeping its end: when the
// inserted texts make it too long, they are cut, never its own words, so the
// error code and the line end that follow them still appear.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace zaq {

// Marks where an inserted text was cut.
constexpr char CUT_MARK[] = "...";

// format with arguments, at most limit characters. format must pass
// zel::checkFormat and its conversions take const char*, int, unsigned,
// double or a pointer (no length modifiers); formatting stops at any other.
// Inserted texts (%s) are cut at their end, the longest first, and marked
// with CUT_MARK; only a format whose own text exceeds limit loses its tail.
std::string formatKeepingEnd(const char* format, std::size_t limit, va_list arguments);

// The same with the arguments given directly.
std::string formatKeepingEndOf(const char* format, std::size_t limit, ...);

}  // namespace zaq
