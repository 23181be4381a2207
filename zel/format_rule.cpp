#include "zel/format_rule.h"

#include <cstring>

namespace zel {

namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Digits at pos as a number, saturated just above the limit so that no
// count of digits can overflow it.
unsigned long readNumber(std::string_view text, std::size_t& pos) {
  unsigned long value = 0;
  for (; pos < text.size() && isDigit(text[pos]); ++pos) {
    value = value * 10 + static_cast<unsigned long>(text[pos] - '0');
    if (value > FORMAT_FIELD_LIMIT) value = FORMAT_FIELD_LIMIT + 1;
  }
  return value;
}

// A width or precision at pos; problem is set when it cannot be used.
void readField(std::string_view text, std::size_t& pos, const char* what, std::string& problem) {
  if (pos < text.size() && text[pos] == '*') {
    ++pos;
    if (problem.empty()) problem = std::string("its ") + what + " takes an argument of its own";
    while (pos < text.size() && (isDigit(text[pos]) || text[pos] == '$')) ++pos;
    return;
  }
  if (readNumber(text, pos) > FORMAT_FIELD_LIMIT && problem.empty())
    problem = std::string("its ") + what + " is over " + std::to_string(FORMAT_FIELD_LIMIT);
}

std::string readLength(std::string_view text, std::size_t& pos) {
  static const char* const lengths[] = {"hh", "h", "ll", "l", "L", "j", "z", "t"};
  for (const char* length : lengths) {
    std::size_t size = std::strlen(length);
    if (text.substr(pos, size) == length) {
      pos += size;
      return length;
    }
  }
  return "";
}

// The conversion whose '%' is at pos; pos ends after it.
FormatConversion readConversion(std::string_view text, std::size_t& pos) {
  FormatConversion conversion;
  conversion.start = pos++;
  std::size_t digits = pos;
  readNumber(text, digits);
  if (digits > pos && digits < text.size() && text[digits] == '$') {
    // The host's printf does not take arguments by number.
    conversion.problem = "it names its argument by number";
    pos = digits + 1;
  }
  while (pos < text.size() && text[pos] != '\0' && std::strchr("-+ #0'", text[pos]) != nullptr) ++pos;
  readField(text, pos, "width", conversion.problem);
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    readField(text, pos, "precision", conversion.problem);
  }
  conversion.kind = readLength(text, pos);
  static const char letters[] = "diouxXeEfFgGaAcsp";
  static const char kinds[] = "dduuuuffffffffcsp";
  const char* letter = pos < text.size() && text[pos] != '\0' ? std::strchr(letters, text[pos]) : nullptr;
  if (pos >= text.size()) {
    conversion.problem = "the text ends inside it";
  } else if (text[pos] == 'n') {
    conversion.problem = "it writes to memory";
  } else if (letter == nullptr) {
    conversion.problem = "its letter is not a conversion the program formats";
  } else {
    conversion.kind += kinds[letter - letters];
  }
  if (pos < text.size()) ++pos;
  conversion.end = pos;
  return conversion;
}

std::string listed(std::string_view text, const std::vector<FormatConversion>& conversions) {
  if (conversions.empty()) return "none";
  std::string list;
  for (const FormatConversion& c : conversions) {
    if (!list.empty()) list += ' ';
    list += text.substr(c.start, c.end - c.start);
  }
  return list;
}

bool sameKinds(const std::vector<FormatConversion>& a, const std::vector<FormatConversion>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i].kind != b[i].kind) return false;
  return true;
}

}  // namespace

std::vector<FormatConversion> formatConversions(std::string_view text) {
  std::vector<FormatConversion> conversions;
  for (std::size_t pos = 0; pos < text.size();) {
    if (text[pos] != '%') {
      ++pos;
    } else if (pos + 1 < text.size() && text[pos + 1] == '%') {
      pos += 2;
    } else {
      conversions.push_back(readConversion(text, pos));
    }
  }
  return conversions;
}

FormatVerdict checkFormat(std::string_view text, std::string_view reference) {
  std::vector<FormatConversion> found = formatConversions(text);
  for (const FormatConversion& c : found)
    if (!c.problem.empty())
      return {FORMAT_UNSAFE_CONVERSION, "printf conversion " +
                                            std::string(text.substr(c.start, c.end - c.start)) +
                                            " cannot be used: " + c.problem};
  std::vector<FormatConversion> expected = formatConversions(reference);
  if (!sameKinds(found, expected))
    return {FORMAT_OTHER_ARGUMENTS,
            "printf conversions " + listed(text, found) + " differ from " + listed(reference, expected)};
  return {};
}

}  // namespace zel
