#include "winservice/message_format.h"

#include <cstdio>
#include <vector>

#include "zel/format_rule.h"

namespace zaq {

namespace {

struct Piece {
  std::string text;
  bool inserted = false;  // from a %s conversion: the part that may be cut
};

// The literal text between conversions, with "%%" read as "%".
std::string literal(const char* format, std::size_t start, std::size_t end) {
  std::string text;
  for (std::size_t i = start; i < end; ++i) {
    text += format[i];
    if (format[i] == '%' && i + 1 < end && format[i + 1] == '%') ++i;
  }
  return text;
}

template <typename Value>
std::string converted(const std::string& conversion, Value value) {
  int size = std::snprintf(nullptr, 0, conversion.c_str(), value);
  if (size <= 0) return {};
  std::string text(static_cast<std::size_t>(size) + 1, '\0');
  std::snprintf(text.data(), text.size(), conversion.c_str(), value);
  text.resize(static_cast<std::size_t>(size));
  return text;
}

// The pieces of the formatted text; false when a conversion is not one that
// can be taken from the arguments here (the pieces end before it).
bool formatPieces(const char* format, va_list arguments, std::vector<Piece>& pieces) {
  std::string text = format;
  std::size_t at = 0;
  for (const zel::FormatConversion& c : zel::formatConversions(text)) {
    pieces.push_back({literal(format, at, c.start), false});
    at = c.end;
    std::string conversion = text.substr(c.start, c.end - c.start);
    if (!c.problem.empty()) return false;
    if (c.kind == "s") {
      const char* value = va_arg(arguments, const char*);
      pieces.push_back({converted(conversion, value != nullptr ? value : "(null)"), true});
    } else if (c.kind == "d" || c.kind == "c") {
      pieces.push_back({converted(conversion, va_arg(arguments, int)), false});
    } else if (c.kind == "u") {
      pieces.push_back({converted(conversion, va_arg(arguments, unsigned)), false});
    } else if (c.kind == "f") {
      pieces.push_back({converted(conversion, va_arg(arguments, double)), false});
    } else if (c.kind == "p") {
      pieces.push_back({converted(conversion, va_arg(arguments, void*)), false});
    } else {
      return false;
    }
  }
  pieces.push_back({literal(format, at, text.size()), false});
  return true;
}

std::size_t totalSize(const std::vector<Piece>& pieces) {
  std::size_t size = 0;
  for (const Piece& piece : pieces) size += piece.text.size();
  return size;
}

// Cuts the inserted texts to one common length, the longest that lets the
// whole fit limit, so that the longest lose most; each cut text ends with
// CUT_MARK, unless the length left is shorter than the mark.
void cutInsertedTexts(std::vector<Piece>& pieces, std::size_t limit) {
  std::size_t total = totalSize(pieces), inserted = 0, longest = 0;
  for (const Piece& piece : pieces) {
    if (!piece.inserted) continue;
    inserted += piece.text.size();
    if (piece.text.size() > longest) longest = piece.text.size();
  }
  if (total <= limit) return;
  std::size_t fixed = total - inserted;
  std::size_t budget = limit > fixed ? limit - fixed : 0;
  auto sizeWith = [&](std::size_t cap) {
    std::size_t size = 0;
    for (const Piece& piece : pieces)
      if (piece.inserted) size += piece.text.size() < cap ? piece.text.size() : cap;
    return size;
  };
  std::size_t low = 0, high = longest;  // sizeWith(low) fits, sizeWith(high) does not
  while (high - low > 1) {
    std::size_t middle = low + (high - low) / 2;
    (sizeWith(middle) <= budget ? low : high) = middle;
  }
  const std::size_t markSize = sizeof CUT_MARK - 1;
  for (Piece& piece : pieces) {
    if (!piece.inserted || piece.text.size() <= low) continue;
    if (low < markSize) {
      piece.text.clear();
    } else {
      piece.text.resize(low - markSize);
      piece.text += CUT_MARK;
    }
  }
}

}  // namespace

std::string formatKeepingEnd(const char* format, std::size_t limit, va_list arguments) {
  std::vector<Piece> pieces;
  formatPieces(format != nullptr ? format : "", arguments, pieces);
  cutInsertedTexts(pieces, limit);
  std::string text;
  for (const Piece& piece : pieces) text += piece.text;
  if (text.size() > limit) {
    // Only a format longer than the room itself gets here: keep its line end.
    bool lineEnd = !text.empty() && text.back() == '\n';
    text.resize(limit);
    if (lineEnd && limit > 0) text.back() = '\n';
  }
  return text;
}

std::string formatKeepingEndOf(const char* format, std::size_t limit, ...) {
  va_list arguments;
  va_start(arguments, limit);
  std::string text = formatKeepingEnd(format, limit, arguments);
  va_end(arguments);
  return text;
}

}  // namespace zaq
