// Load-time check of a table image: every index an engine will follow must
// lie inside the image, so the engines can index it without further checks.
// Sums are formed by subtracting from the known size, so they cannot overflow.
#include <cstring>

#include "zel/codeset_tables.h"
#include "zel/converters.h"

namespace zel {

namespace {

// Bytes of one encoding row for the engine of a type; 0 when it has none.
std::size_t rowBytesForType(std::uint16_t type) {
  switch (type) {
    case CT_SBCS:
    case CT_EBCDIC_SBCS:
      return 256;
    case CT_DBCS:
    case CT_EBCDIC_MIXED:
      return 512;
    case CT_MBCS:
      return 1024;
    default:
      return 0;
  }
}

// offset + length <= size, without forming the sum.
bool fits(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
  return offset <= size && length <= size - offset;
}

bool prefixRecordsAreSound(const unsigned char* image, std::size_t size, std::size_t mapping,
                           const unsigned char* row) {
  for (std::size_t i = 0; i < 256; ++i) {
    std::uint16_t prefix = readLe16(row + 4 * i);
    std::uint16_t value = readLe16(row + 4 * i + 2);
    if (value < 0x100 || prefix == 0xFFFF) continue;  // the engine reads no record
    std::uint64_t at = static_cast<std::uint64_t>(prefix) * PREFIX_RECORD_SIZE;
    if (!fits(at, PREFIX_RECORD_SIZE, size - mapping)) return false;
    if (readLe16(image + mapping + at + PREFIX_MAX_LENGTH) > PREFIX_MAX_LENGTH) return false;
  }
  return true;
}

bool rowsAreSound(const unsigned char* image, std::size_t size, std::uint16_t type) {
  std::size_t rowBytes = rowBytesForType(type);
  if (rowBytes == 0) return true;
  std::uint32_t mapping = readLe32(image);
  if (mapping > size) return false;
  for (std::size_t high = 0; high < 256; ++high) {
    std::uint64_t at = 4ull * readLe16(image + TABLE_ROW_INDEX_OFFSET + 2 * high);
    if (!fits(at, rowBytes, size - mapping)) return false;
    if (type == CT_MBCS && !prefixRecordsAreSound(image, size, mapping, image + mapping + at)) return false;
  }
  return true;
}

// The GB18030 lookup for key k starts at the directory's record for k >> 9
// and stops at the first record with k < start or k <= end. The stopping
// record can only move on as k grows, so the scan for the highest key of a
// block passes every record that any key of the block reaches.
bool gbBlockIsSound(const unsigned char* d, std::uint64_t count, std::uint64_t records, std::uint64_t values,
                    std::uint16_t first, std::uint32_t highestKey) {
  std::uint64_t at = records + static_cast<std::uint16_t>(first * 4u);
  for (;;) {
    if (!fits(at, 4, count)) return false;
    const unsigned char* r = d + 2 * at;
    std::uint16_t start = readLe16(r), end = readLe16(r + 2), kind = readLe16(r + 4), base = readLe16(r + 6);
    if (kind == 1 && start <= end && !fits(values + base, static_cast<std::uint64_t>(end - start) + 1, count))
      return false;
    if (highestKey < start || highestKey <= end) return true;
    at += 4;
  }
}

bool gbExtensionIsSound(const unsigned char* image, std::size_t size) {
  std::size_t e = readLe16(image + TABLE_GB_EXTENSION_OFFSET);
  if (!fits(e, GB_HEADER_SIZE, size)) return false;
  const unsigned char* d = image + e + GB_HEADER_SIZE;
  std::uint64_t count = (size - e - GB_HEADER_SIZE) / 2;
  std::uint64_t records = readLe32(image + e), directory = readLe32(image + e + 4);
  std::uint64_t values = readLe32(image + e + 8);
  if (!fits(directory, GB_BLOCKS, count)) return false;
  for (std::size_t block = 0; block < GB_BLOCKS; ++block) {
    std::uint16_t first = readLe16(d + 2 * (directory + block));
    if (!gbBlockIsSound(d, count, records, values, first, static_cast<std::uint32_t>(block * 512 + 511)))
      return false;
  }
  return true;
}

}  // namespace

std::uint16_t tableConverterType(const unsigned char* image) {
  if (readLe16(image + TABLE_SCHEME_OFFSET) == SCHEME_EBCDIC_SBCS) return CT_EBCDIC_SBCS;
  return readLe16(image + TABLE_TYPE_OFFSET);
}

bool codesetTableIsSound(const unsigned char* image, std::size_t size) {
  if (!tableHasMagic(image, size)) return false;
  std::uint16_t type = tableConverterType(image);
  if (type == CT_GB18030) return gbExtensionIsSound(image, size);
  return rowsAreSound(image, size, type);
}

}  // namespace zel
