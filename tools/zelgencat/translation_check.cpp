// Comparing a translation with its reference, message by message.
#include "tools/zelgencat/translation_check.h"

#include <cstring>

namespace zelgencat {

namespace {

struct Conversion {
  std::string written;  // as in the text: "%-10s", "%*d"
  std::string kind;     // what it takes from the arguments; equal kinds take the same
};

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Skips "n$" at pos; the "n$" or "" for the kind.
std::string position(const std::string& text, std::size_t& pos) {
  std::size_t end = pos;
  while (end < text.size() && isDigit(text[end])) ++end;
  if (end == pos || end == text.size() || text[end] != '$') return "";
  std::string written = text.substr(pos, end + 1 - pos);
  pos = end + 1;
  return written;
}

// A width or precision: digits, or '*' (an argument of its own, perhaps "*n$").
std::string field(const std::string& text, std::size_t& pos) {
  if (pos < text.size() && text[pos] == '*') {
    ++pos;
    std::string star = "*";
    return star + position(text, pos);
  }
  while (pos < text.size() && isDigit(text[pos])) ++pos;
  return "";
}

// The conversion starting at the '%' at pos; pos ends after it.
Conversion readConversion(const std::string& text, std::size_t& pos) {
  std::size_t start = pos++;
  std::string kind = position(text, pos);
  while (pos < text.size() && std::strchr("-+ #0'", text[pos]) != nullptr) ++pos;
  kind += field(text, pos);
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    std::string precision = field(text, pos);
    if (!precision.empty()) {
      kind += '.';
      kind += precision;
    }
  }
  static const char* const lengths[] = {"hh", "h", "ll",  "l",   "L", "q", "j",
                                        "z",  "t", "I64", "I32", "I", "w"};
  for (const char* length : lengths)
    if (text.compare(pos, std::strlen(length), length) == 0) {
      kind += length;
      pos += std::strlen(length);
      break;
    }
  // Conversions that read the same argument type are one kind.
  static const char letters[] = "diouxXeEfFgGaAcspnCSm";
  static const char kinds[] = "dduuuuffffffffcspnCSm";
  const char* letter = pos < text.size() && text[pos] != '\0' ? std::strchr(letters, text[pos]) : nullptr;
  if (letter == nullptr) {
    // Invalid: kept as written, so that it matches nothing but itself.
    if (pos < text.size()) ++pos;
    std::string written = text.substr(start, pos - start);
    std::string invalid = "invalid ";
    return {written, invalid + written};
  }
  kind += kinds[letter - letters];
  ++pos;
  return {text.substr(start, pos - start), kind};
}

std::vector<Conversion> printfConversions(const std::string& text) {
  std::vector<Conversion> conversions;
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

bool sameKinds(const std::vector<Conversion>& a, const std::vector<Conversion>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i].kind != b[i].kind) return false;
  return true;
}

std::string listed(const std::vector<Conversion>& conversions) {
  if (conversions.empty()) return "none";
  std::string list;
  for (const Conversion& c : conversions) {
    if (!list.empty()) list += ' ';
    list += c.written;
  }
  return list;
}

std::string where(const std::string& file, const SourceMessage& message) {
  return file + ":" + std::to_string(message.line);
}

std::string named(std::uint32_t setId, const SourceMessage& message) {
  return "message " + std::to_string(message.id) + " of set " + std::to_string(setId);
}

struct Checker {
  const std::string& referenceName;
  const std::string& translationName;
  std::vector<std::string> problems;

  void missing(std::uint32_t setId, const SourceMessage& m) {
    problems.push_back(where(referenceName, m) + ": " + named(setId, m) + " is missing from " +
                       translationName);
  }
  void extra(std::uint32_t setId, const SourceMessage& m) {
    problems.push_back(where(translationName, m) + ": " + named(setId, m) + " is not in " + referenceName);
  }
  void compare(std::uint32_t setId, const SourceMessage& reference, const SourceMessage& translation) {
    std::vector<Conversion> expected = printfConversions(reference.text);
    std::vector<Conversion> found = printfConversions(translation.text);
    if (sameKinds(expected, found)) return;
    problems.push_back(where(translationName, translation) + ": " + named(setId, translation) +
                       ": printf conversions " + listed(found) + " differ from " + listed(expected) + " at " +
                       where(referenceName, reference));
  }

  // Both lists ascend by number.
  void set(std::uint32_t setId, const std::vector<SourceMessage>* reference,
           const std::vector<SourceMessage>* translation) {
    static const std::vector<SourceMessage> none;
    const std::vector<SourceMessage>& a = reference != nullptr ? *reference : none;
    const std::vector<SourceMessage>& b = translation != nullptr ? *translation : none;
    std::size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
      if (j == b.size() || (i < a.size() && a[i].id < b[j].id)) {
        missing(setId, a[i++]);
      } else if (i == a.size() || b[j].id < a[i].id) {
        extra(setId, b[j++]);
      } else {
        compare(setId, a[i++], b[j++]);
      }
    }
  }
};

}  // namespace

std::vector<std::string> checkTranslation(const MessageCatalog& reference, const std::string& referenceName,
                                          const MessageCatalog& translation,
                                          const std::string& translationName) {
  Checker checker{referenceName, translationName, {}};
  const std::vector<SourceSet>& a = reference.sets;
  const std::vector<SourceSet>& b = translation.sets;
  std::size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    if (j == b.size() || (i < a.size() && a[i].id < b[j].id)) {
      checker.set(a[i].id, &a[i].messages, nullptr);
      ++i;
    } else if (i == a.size() || b[j].id < a[i].id) {
      checker.set(b[j].id, nullptr, &b[j].messages);
      ++j;
    } else {
      checker.set(a[i].id, &a[i].messages, &b[j].messages);
      ++i;
      ++j;
    }
  }
  return checker.problems;
}

}  // namespace zelgencat
