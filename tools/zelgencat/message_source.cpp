// Reading X/Open message source: "$set n", "$delset n", "$quote c", "$ "
// comments, and lines "number text" with backslash escapes and continuation
// lines (a backslash at the end of a line joins the next one).
#include "tools/zelgencat/message_source.h"

#include <algorithm>
#include <cstdint>

namespace zelgencat {

namespace {

constexpr std::uint32_t MAX_NUMBER = 0x7fffffff;

struct Lines {
  std::vector<std::string> lines;
  std::size_t index = 0;  // the line being read, from 0
};

Lines splitLines(const std::string& source) {
  Lines result;
  // Editors on Windows often start UTF-8 files with a byte order mark.
  std::size_t start = source.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  while (start < source.size()) {
    std::size_t end = source.find('\n', start);
    if (end == std::string::npos) end = source.size();
    std::string line = source.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    result.lines.push_back(line);
    start = end + 1;
  }
  return result;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

// Reads a decimal number at line[pos]; false when absent or above MAX_NUMBER.
bool readNumber(const std::string& line, std::size_t& pos, std::uint32_t& value, std::string& what) {
  std::size_t start = pos;
  std::uint64_t number = 0;
  while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9') {
    number = number * 10 + static_cast<unsigned>(line[pos] - '0');
    if (number > MAX_NUMBER) {
      what = "number too large (at most 2147483647)";
      return false;
    }
    ++pos;
  }
  if (pos == start) {
    what = "expected a number";
    return false;
  }
  if (number == 0) {
    what = "numbers start at 1";
    return false;
  }
  value = static_cast<std::uint32_t>(number);
  return true;
}

struct Parser {
  const std::string& fileName;
  ParseState& state;
  MessageCatalog& catalog;
  std::string& error;
  Lines input;

  bool fail(const std::string& what) {
    error = fileName + ":" + std::to_string(input.index + 1) + ": " + what;
    return false;
  }

  bool directive(const std::string& line);
  bool setDirective(const std::string& line, std::size_t pos);
  bool deleteSet(const std::string& line, std::size_t pos);
  bool quoteDirective(const std::string& line, std::size_t pos);
  bool message(const std::string& line);
  bool decodeText(std::size_t pos, std::string& text);
  bool escape(const std::string& line, std::size_t& pos, std::string& text);
  bool run();
};

bool Parser::directive(const std::string& line) {
  std::size_t end = 1;
  while (end < line.size() && !isBlank(line[end])) ++end;
  std::string word = line.substr(1, end - 1);
  if (word.empty()) return true;  // "$ comment"
  if (word == "set") return setDirective(line, end);
  if (word == "delset") return deleteSet(line, end);
  if (word == "quote") return quoteDirective(line, end);
  return fail("unknown directive $" + word);
}

bool Parser::setDirective(const std::string& line, std::size_t pos) {
  while (pos < line.size() && isBlank(line[pos])) ++pos;
  std::uint32_t id = 0;
  std::string what;
  if (!readNumber(line, pos, id, what)) return fail("$set: " + what);
  if (pos < line.size() && !isBlank(line[pos])) return fail("$set: expected a number");
  if (id <= state.lastSetId)
    return fail("set " + std::to_string(id) +
                (id == state.lastSetId ? " is defined twice" : " comes after set ") +
                (id == state.lastSetId ? "" : std::to_string(state.lastSetId)));
  catalog.sets.push_back({id, {}});
  state.inSet = true;
  state.lastSetId = id;
  state.lastMessageId = 0;
  return true;
}

bool Parser::deleteSet(const std::string& line, std::size_t pos) {
  while (pos < line.size() && isBlank(line[pos])) ++pos;
  std::uint32_t id = 0;
  std::string what;
  if (!readNumber(line, pos, id, what)) return fail("$delset: " + what);
  auto& sets = catalog.sets;
  auto found = std::find_if(sets.begin(), sets.end(), [id](const SourceSet& s) { return s.id == id; });
  if (found == sets.end()) return true;
  // Deleting the set being filled ends it: its later messages have no set.
  if (std::next(found) == sets.end()) state.inSet = false;
  sets.erase(found);
  return true;
}

bool Parser::quoteDirective(const std::string& line, std::size_t pos) {
  while (pos < line.size() && isBlank(line[pos])) ++pos;
  state.quote = pos < line.size() ? line[pos] : '\0';
  if (state.quote == '\\') return fail("$quote: a backslash cannot be the quote character");
  return true;
}

bool Parser::message(const std::string& line) {
  std::size_t pos = 0;
  std::uint32_t id = 0;
  std::string what;
  if (!readNumber(line, pos, id, what)) return fail("message line: " + what);
  if (!state.inSet) return fail("message " + std::to_string(id) + " before any $set");
  if (id <= state.lastMessageId)
    return fail("message " + std::to_string(id) +
                (id == state.lastMessageId ? " is defined twice" : " comes after message ") +
                (id == state.lastMessageId ? "" : std::to_string(state.lastMessageId)));
  state.lastMessageId = id;
  if (pos == line.size()) return true;  // a number alone defines no message
  if (!isBlank(line[pos])) return fail("expected a space or tab after message number " + std::to_string(id));
  auto firstLine = static_cast<std::uint32_t>(input.index + 1);
  std::string text;
  if (!decodeText(pos + 1, text)) return false;
  if (!isValidUtf8(text)) return fail("message " + std::to_string(id) + " is not valid UTF-8");
  catalog.sets.back().messages.push_back({id, text, firstLine});
  return true;
}

bool Parser::escape(const std::string& line, std::size_t& pos, std::string& text) {
  char c = line[pos];
  if (c >= '0' && c <= '7') {
    unsigned value = 0;
    for (int digits = 0; digits < 3 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7'; ++digits)
      value = value * 8 + static_cast<unsigned>(line[pos++] - '0');
    if (value == 0) return fail("\\0 would end the message");
    if (value > 0377) return fail("octal escape above \\377");
    text += static_cast<char>(value);
    return true;
  }
  static const char plain[] = "ntvbrf\\";
  static const char coded[] = "\n\t\v\b\r\f\\";
  for (int i = 0; plain[i] != '\0'; ++i)
    if (c == plain[i]) {
      text += coded[i];
      ++pos;
      return true;
    }
  if (state.quote != '\0' && c == state.quote) {
    text += c;
    ++pos;
    return true;
  }
  return fail(std::string("unknown escape \\") + c);
}

// Decodes the text starting at pos of the current line, following continuation lines.
bool Parser::decodeText(std::size_t pos, std::string& text) {
  const std::string* line = &input.lines[input.index];
  bool quoted = state.quote != '\0' && pos < line->size() && (*line)[pos] == state.quote;
  if (quoted) ++pos;
  for (;;) {
    if (pos == line->size()) {
      if (quoted) return fail("missing closing quote");
      return true;
    }
    char c = (*line)[pos];
    if (quoted && c == state.quote) {
      while (++pos < line->size())
        if (!isBlank((*line)[pos])) return fail("text after the closing quote");
      return true;
    }
    if (c != '\\') {
      text += c;
      ++pos;
      continue;
    }
    if (pos + 1 < line->size()) {
      ++pos;
      if (!escape(*line, pos, text)) return false;
      continue;
    }
    if (input.index + 1 >= input.lines.size()) return fail("continuation at the end of the file");
    line = &input.lines[++input.index];
    if (!isValidUtf8(*line)) return fail("invalid UTF-8");
    pos = 0;
  }
}

bool Parser::run() {
  for (; input.index < input.lines.size(); ++input.index) {
    const std::string& line = input.lines[input.index];
    if (!isValidUtf8(line)) return fail("invalid UTF-8");
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    if (line[0] == '$') {
      if (!directive(line)) return false;
    } else if (!message(line)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool parseMessageSource(const std::string& source, const std::string& fileName, ParseState& state,
                        MessageCatalog& catalog, std::string& error) {
  Parser parser{fileName, state, catalog, error, splitLines(source)};
  return parser.run();
}

bool isValidUtf8(const std::string& text) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    unsigned char b = p[i];
    if (b < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 0;
    if (length == 0 || b > 0xF4 || length > n - i) return false;
    std::uint32_t code = b & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      code = (code << 6) | (p[i + k] & 0x3F);
    }
    if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF))
      return false;
    i += length;
  }
  return true;
}

}  // namespace zelgencat
