// Catalog file images. Layout of what encodeCatalog writes (all integers
// 32-bit big-endian, offsets absolute):
//
//   0    header: "*nazgul*", version 1, 0, 0, setCount, firstSet (28)
//   28   setCount set records: setId, next (0 for the last), messageTable,
//        stringArea, stringAreaSize, messageCount, skip (0)
//   ...  per set: messageCount records (msgId, textOffset, 0), then the
//        set's NUL-terminated texts
#include "tools/zelgencat/catalog_image.h"

#include <cstdint>
#include <cstring>

namespace zelgencat {

namespace {

constexpr std::uint32_t HEADER_SIZE = 28;
constexpr std::uint32_t SET_RECORD_SIZE = 28;
constexpr std::uint32_t MESSAGE_RECORD_SIZE = 12;
constexpr char MAGIC[] = "*nazgul*";

void putWord(std::string& out, std::uint32_t value) {
  char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                   static_cast<char>(value >> 8), static_cast<char>(value)};
  out.append(bytes, 4);
}

std::uint32_t wordAt(const std::string& image, std::uint32_t offset) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(image.data()) + offset;
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

bool fits(const std::string& image, std::uint32_t offset, std::uint64_t size) {
  return offset <= image.size() && size <= image.size() - offset;
}

bool decodeSet(const std::string& image, std::uint32_t record, SourceSet& set, std::string& error) {
  set.id = wordAt(image, record);
  std::uint32_t table = wordAt(image, record + 8), strings = wordAt(image, record + 12);
  std::uint32_t stringSize = wordAt(image, record + 16), count = wordAt(image, record + 20);
  if (!fits(image, strings, stringSize) || !fits(image, table, std::uint64_t{count} * MESSAGE_RECORD_SIZE)) {
    error = "set " + std::to_string(set.id) + " lies outside the file";
    return false;
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t entry = table + i * MESSAGE_RECORD_SIZE;
    std::uint32_t id = wordAt(image, entry), offset = wordAt(image, entry + 4);
    const char* text = image.data() + strings + offset;
    if (offset >= stringSize || std::memchr(text, '\0', stringSize - offset) == nullptr) {
      error =
          "message " + std::to_string(id) + " of set " + std::to_string(set.id) + " lies outside its strings";
      return false;
    }
    if (!set.messages.empty() && id <= set.messages.back().id) {
      error = "messages of set " + std::to_string(set.id) + " are not in ascending order";
      return false;
    }
    set.messages.push_back({id, text});
  }
  return true;
}

}  // namespace

std::string encodeCatalog(const MessageCatalog& catalog) {
  std::string header(MAGIC, 8), records, data;
  putWord(header, 1);
  putWord(header, 0);
  putWord(header, 0);
  putWord(header, static_cast<std::uint32_t>(catalog.sets.size()));
  putWord(header, HEADER_SIZE);
  std::uint32_t dataStart = HEADER_SIZE + SET_RECORD_SIZE * static_cast<std::uint32_t>(catalog.sets.size());
  for (std::size_t i = 0; i < catalog.sets.size(); ++i) {
    const SourceSet& set = catalog.sets[i];
    std::string table, strings;
    for (const SourceMessage& message : set.messages) {
      putWord(table, message.id);
      putWord(table, static_cast<std::uint32_t>(strings.size()));
      putWord(table, 0);
      strings += message.text;
      strings += '\0';
    }
    std::uint32_t tableAt = dataStart + static_cast<std::uint32_t>(data.size());
    bool last = i + 1 == catalog.sets.size();
    putWord(records, set.id);
    putWord(records, last ? 0 : HEADER_SIZE + SET_RECORD_SIZE * static_cast<std::uint32_t>(i + 1));
    putWord(records, tableAt);
    putWord(records, tableAt + static_cast<std::uint32_t>(table.size()));
    putWord(records, static_cast<std::uint32_t>(strings.size()));
    putWord(records, static_cast<std::uint32_t>(set.messages.size()));
    putWord(records, 0);
    data += table;
    data += strings;
  }
  return header + records + data;
}

bool decodeCatalog(const std::string& image, MessageCatalog& catalog, std::string& error) {
  if (image.size() < HEADER_SIZE || image.compare(0, 8, MAGIC) != 0 || wordAt(image, 8) != 1) {
    error = "not a catalog file (no \"*nazgul*\" version 1 header)";
    return false;
  }
  std::uint32_t setCount = wordAt(image, 20), record = wordAt(image, 24);
  if (setCount == 0 || setCount > 0x7fffffff) {
    error = "bad set count";
    return false;
  }
  // Each step visits a record; more steps than records that fit means a loop.
  std::uint64_t steps = image.size() / SET_RECORD_SIZE + 1;
  while (catalog.sets.size() < setCount) {
    if (!fits(image, record, SET_RECORD_SIZE) || steps-- == 0) {
      error = "broken set chain";
      return false;
    }
    if (wordAt(image, record + 24) == 0) {
      SourceSet set{0, {}};
      if (!decodeSet(image, record, set, error)) return false;
      if (!catalog.sets.empty() && set.id <= catalog.sets.back().id) {
        error = "sets are not in ascending order";
        return false;
      }
      catalog.sets.push_back(set);
    }
    record = wordAt(image, record + 4);
  }
  return true;
}

}  // namespace zelgencat
