// The rule that decides whether a message text may stand in for another as a
// printf format: the catalog compiler's check of a translation and the
// service host's choice at run time both ask it, so a translation the build
// accepts is one the host uses.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

// The longest text a message can carry; no width or precision may ask for
// more (a huge one makes printf run for seconds and can crash it).
constexpr unsigned long FORMAT_FIELD_LIMIT = 4095;

// One conversion of a format ("%%" is none). kind names the argument it reads:
// its length modifier, then 'd' (d i), 'u' (o u x X), 'f' (e E f F g G a A),
// 'c', 's' or 'p'. problem says why the host cannot format it safely, or is
// empty.
struct FormatConversion {
  std::size_t start = 0;  // of its '%'
  std::size_t end = 0;    // just after its conversion letter
  std::string kind;
  std::string problem;
};

// The conversions of text, in order.
std::vector<FormatConversion> formatConversions(std::string_view text);

enum FormatFault : int {
  FORMAT_USABLE = 0,
  FORMAT_UNSAFE_CONVERSION,  // a conversion the host cannot format safely
  FORMAT_OTHER_ARGUMENTS,    // the conversions read other arguments than the reference's
};

struct FormatVerdict {
  FormatFault fault = FORMAT_USABLE;
  std::string reason;  // for the translator, empty when usable
};

// Whether text can be formatted with the arguments reference is formatted
// with: every conversion safe (no "*", "n$" or "%n", widths and precisions up
// to FORMAT_FIELD_LIMIT, a known conversion letter), and the same argument
// kinds in the same order.
FormatVerdict checkFormat(std::string_view text, std::string_view reference);

inline bool formatCanReplace(std::string_view text, std::string_view reference) {
  return checkFormat(text, reference).fault == FORMAT_USABLE;
}

}  // namespace zel
