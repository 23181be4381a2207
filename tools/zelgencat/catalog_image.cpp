// Catalog file images: written by the format's own writer, and read back
// with the format's offsets (catalog_format.h).
#include "tools/zelgencat/catalog_image.h"

#include <cstdint>
#include <cstring>

#include "zel/catalog_format.h"

namespace zelgencat {

namespace {

std::uint32_t wordAt(const std::string& image, std::size_t offset) {
  return zel::readBigEndian(reinterpret_cast<const unsigned char*>(image.data()) + offset);
}

bool fits(const std::string& image, std::uint32_t offset, std::uint64_t size) {
  return offset <= image.size() && size <= image.size() - offset;
}

bool decodeSet(const std::string& image, std::uint32_t record, SourceSet& set, std::string& error) {
  set.id = wordAt(image, record + zel::SET_ID_AT);
  std::uint32_t table = wordAt(image, record + zel::SET_MESSAGE_TABLE_AT);
  std::uint32_t strings = wordAt(image, record + zel::SET_STRING_AREA_AT);
  std::uint32_t stringSize = wordAt(image, record + zel::SET_STRING_AREA_SIZE_AT);
  std::uint32_t count = wordAt(image, record + zel::SET_MESSAGE_COUNT_AT);
  if (!fits(image, strings, stringSize) ||
      !fits(image, table, std::uint64_t{count} * zel::CATALOG_MESSAGE_RECORD_SIZE)) {
    error = "set " + std::to_string(set.id) + " lies outside the file";
    return false;
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t entry = table + i * static_cast<std::uint32_t>(zel::CATALOG_MESSAGE_RECORD_SIZE);
    std::uint32_t id = wordAt(image, entry + zel::MESSAGE_ID_AT);
    std::uint32_t offset = wordAt(image, entry + zel::MESSAGE_TEXT_OFFSET_AT);
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
  return zel::writeCatalogImage(catalog.sets);
}

bool decodeCatalog(const std::string& image, MessageCatalog& catalog, std::string& error) {
  if (image.size() < zel::CATALOG_HEADER_SIZE ||
      image.compare(0, sizeof zel::CATALOG_MAGIC, zel::CATALOG_MAGIC, sizeof zel::CATALOG_MAGIC) != 0 ||
      wordAt(image, zel::CATALOG_VERSION_AT) != zel::CATALOG_VERSION) {
    error = "not a catalog file (no \"*nazgul*\" version 1 header)";
    return false;
  }
  std::uint32_t setCount = wordAt(image, zel::CATALOG_SET_COUNT_AT);
  std::uint32_t record = wordAt(image, zel::CATALOG_FIRST_SET_AT);
  if (setCount == 0 || setCount > 0x7fffffff) {
    error = "bad set count";
    return false;
  }
  // Each step visits a record; more steps than records that fit means a loop.
  std::uint64_t steps = image.size() / zel::CATALOG_SET_RECORD_SIZE + 1;
  while (catalog.sets.size() < setCount) {
    if (!fits(image, record, zel::CATALOG_SET_RECORD_SIZE) || steps-- == 0) {
      error = "broken set chain";
      return false;
    }
    if (wordAt(image, record + zel::SET_SKIP_AT) == 0) {
      SourceSet set{0, {}};
      if (!decodeSet(image, record, set, error)) return false;
      if (!catalog.sets.empty() && set.id <= catalog.sets.back().id) {
        error = "sets are not in ascending order";
        return false;
      }
      catalog.sets.push_back(set);
    }
    record = wordAt(image, record + zel::SET_NEXT_AT);
  }
  return true;
}

}  // namespace zelgencat
