// The catalog file format, and the one writer of catalog images. Every
// integer is 32-bit unsigned big-endian; every offset is absolute from the
// start of the file.
//
//   header, 28 bytes at 0: magic "*nazgul*", version (1), two reserved words,
//                          setCount (> 0 as signed), firstSet
//   set record, 28 bytes:  setId, next, messageTable, stringArea,
//                          stringAreaSize, messageCount, skip (non-zero: pass over)
//   message record, 12:    msgId, textOffset (into the string area), reserved
//   string area:           NUL-terminated UTF-8 texts
//
// The reader (catalog_file.cpp, catalog_set.cpp) takes the sizes and offsets
// from here; the writer is header-only, for the catalog compiler, the tests
// and the fuzz seeds, never used by the library itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zel {

constexpr char CATALOG_MAGIC[8] = {'*', 'n', 'a', 'z', 'g', 'u', 'l', '*'};
constexpr std::uint32_t CATALOG_VERSION = 1;

// The header's words.
constexpr std::size_t CATALOG_HEADER_SIZE = 28;
constexpr std::size_t CATALOG_VERSION_AT = 8;
constexpr std::size_t CATALOG_SET_COUNT_AT = 20;
constexpr std::size_t CATALOG_FIRST_SET_AT = 24;

// A set record's words.
constexpr std::size_t CATALOG_SET_RECORD_SIZE = 28;
constexpr std::size_t SET_ID_AT = 0;
constexpr std::size_t SET_NEXT_AT = 4;
constexpr std::size_t SET_MESSAGE_TABLE_AT = 8;
constexpr std::size_t SET_STRING_AREA_AT = 12;
constexpr std::size_t SET_STRING_AREA_SIZE_AT = 16;
constexpr std::size_t SET_MESSAGE_COUNT_AT = 20;
constexpr std::size_t SET_SKIP_AT = 24;

// A message record's words.
constexpr std::size_t CATALOG_MESSAGE_RECORD_SIZE = 12;
constexpr std::size_t MESSAGE_ID_AT = 0;
constexpr std::size_t MESSAGE_TEXT_OFFSET_AT = 4;
constexpr std::size_t MESSAGE_RESERVED_AT = 8;

inline std::uint32_t readBigEndian(const unsigned char* bytes) {
  return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
         std::uint32_t{bytes[3]};
}

inline void appendBigEndian(std::string& out, std::uint32_t value) {
  const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                         static_cast<char>(value >> 8), static_cast<char>(value)};
  out.append(bytes, 4);
}

// Overwrites the word at offset (which must lie inside out).
inline void putBigEndianAt(std::string& out, std::size_t offset, std::uint32_t value) {
  std::string word;
  appendBigEndian(word, value);
  out.replace(offset, 4, word);
}

// The image of a catalog: the header, every set record chained in the order
// given, then per set its message table followed by its string area, each
// message with a text of its own. Numbers are written as given, in the order
// given. Sets is any sequence of records with an id and messages, each
// message with an id and a text (std::string, UTF-8 without NUL).
template <typename Sets>
std::string writeCatalogImage(const Sets& sets) {
  const std::uint32_t setCount = static_cast<std::uint32_t>(sets.size());
  std::string header(CATALOG_MAGIC, sizeof CATALOG_MAGIC), records, data;
  appendBigEndian(header, CATALOG_VERSION);
  appendBigEndian(header, 0);
  appendBigEndian(header, 0);
  appendBigEndian(header, setCount);
  appendBigEndian(header, CATALOG_HEADER_SIZE);
  const std::uint32_t dataStart = CATALOG_HEADER_SIZE + CATALOG_SET_RECORD_SIZE * setCount;
  std::uint32_t index = 0;
  for (const auto& set : sets) {
    std::string table, strings;
    for (const auto& message : set.messages) {
      appendBigEndian(table, message.id);
      appendBigEndian(table, static_cast<std::uint32_t>(strings.size()));
      appendBigEndian(table, 0);
      strings += message.text;
      strings += '\0';
    }
    const std::uint32_t tableAt = dataStart + static_cast<std::uint32_t>(data.size());
    ++index;
    appendBigEndian(records, set.id);
    appendBigEndian(records, index < setCount ? CATALOG_HEADER_SIZE + CATALOG_SET_RECORD_SIZE * index : 0);
    appendBigEndian(records, tableAt);
    appendBigEndian(records, tableAt + static_cast<std::uint32_t>(table.size()));
    appendBigEndian(records, static_cast<std::uint32_t>(strings.size()));
    appendBigEndian(records, static_cast<std::uint32_t>(set.messages.size()));
    appendBigEndian(records, 0);
    data += table;
    data += strings;
  }
  return header + records + data;
}

// Where writeCatalogImage puts the record of the set at index, and the
// message table of the first of setCount sets.
constexpr std::size_t writtenSetRecordAt(std::size_t index) {
  return CATALOG_HEADER_SIZE + CATALOG_SET_RECORD_SIZE * index;
}
constexpr std::size_t writtenFirstTableAt(std::size_t setCount) {
  return writtenSetRecordAt(setCount);
}

}  // namespace zel
