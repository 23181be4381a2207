// Writes codeset table images in the file format that codeset_tables.h
// describes. Header-only: used by the table generator, the tests and the fuzz
// seeds, never by the library itself.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "zel/codeset_tables.h"
#include "zel/converters.h"

namespace zel::tablebuild {

struct TableHeader {
  std::string name;
  std::uint16_t type = CT_SBCS;
  std::uint16_t scheme = 0;
  std::uint16_t subChar = 0x1A;
  std::uint8_t subByte = 0x1A;
};

// One GB18030 range record.
struct GbRecord {
  std::uint16_t start, end, kind, base;
};

inline void putLe16(std::vector<unsigned char>& image, std::size_t at, std::uint32_t v) {
  image[at] = static_cast<unsigned char>(v & 0xFF);
  image[at + 1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}
inline void putLe32(std::vector<unsigned char>& image, std::size_t at, std::uint32_t v) {
  putLe16(image, at, v & 0xFFFF);
  putLe16(image, at + 2, v >> 16);
}

// The fixed 1760 bytes: header, an empty row index, decoding sections.
// decode gives the Unicode value of each single byte (0xFFFF: none), for the
// decoding section, which this library never reads.
inline std::vector<unsigned char> buildHeader(const TableHeader& header,
                                              const std::array<std::uint16_t, 256>& decode) {
  std::vector<unsigned char> image(TABLE_MIN_SIZE, 0);
  std::memcpy(&image[TABLE_MAGIC_OFFSET], TABLE_MAGIC, sizeof TABLE_MAGIC);
  std::size_t n = header.name.size() < TABLE_NAME_SIZE - 1 ? header.name.size() : TABLE_NAME_SIZE - 1;
  std::memcpy(&image[TABLE_NAME_OFFSET], header.name.data(), n);
  putLe16(image, TABLE_TYPE_OFFSET, header.type);
  putLe16(image, TABLE_SCHEME_OFFSET, header.scheme);
  putLe16(image, TABLE_SUB_CHAR_OFFSET, header.subChar);
  image[TABLE_SUB_BYTE_OFFSET] = header.subByte;
  for (std::size_t b = 0; b < 256; ++b) {
    putLe16(image, 736 + 2 * b, decode[b]);
    image[1248 + b] = decode[b] != 0xFFFF ? 1 : 0;
  }
  return image;
}

// Bytes per row entry for a row-table type: 1 (types 1, 8), 2 (2, 4), 4 (3).
inline std::size_t entryBytes(std::uint16_t type) {
  if (type == CT_DBCS || type == CT_EBCDIC_MIXED) return 2;
  if (type == CT_MBCS) return 4;
  return 1;
}

// A table of encoding rows. entries has 65536 values in the type's entry
// form: a byte, a 16-bit value, or (prefix number << 16) | value for type 3.
// Identical rows are stored once. prefixes are the type-3 prefix records.
inline std::vector<unsigned char> buildRowTable(const TableHeader& header,
                                                const std::vector<std::uint32_t>& entries,
                                                const std::vector<std::vector<unsigned char>>& prefixes,
                                                const std::array<std::uint16_t, 256>& decode) {
  std::vector<unsigned char> image = buildHeader(header, decode);
  std::size_t mapping = image.size();
  putLe32(image, 0, static_cast<std::uint32_t>(mapping));
  image.resize(mapping + PREFIX_RECORD_SIZE * prefixes.size(), 0);
  for (std::size_t n = 0; n < prefixes.size(); ++n) {
    std::size_t at = mapping + PREFIX_RECORD_SIZE * n;
    if (!prefixes[n].empty()) std::memcpy(&image[at], prefixes[n].data(), prefixes[n].size());
    putLe16(image, at + PREFIX_MAX_LENGTH, static_cast<std::uint32_t>(prefixes[n].size()));
  }
  std::size_t width = entryBytes(header.type);
  std::map<std::string, std::uint32_t> stored;  // row bytes -> position
  for (std::size_t high = 0; high < 256; ++high) {
    std::string row(256 * width, '\0');
    for (std::size_t low = 0; low < 256; ++low) {
      std::uint32_t e = entries[high * 256 + low];
      for (std::size_t k = 0; k < width; ++k) {
        // Type 3 stores the prefix number first, then the value.
        std::uint32_t part = width == 4 ? (k < 2 ? e >> 16 : e & 0xFFFF) : e;
        row[low * width + k] = static_cast<char>((part >> (8 * (k % 2))) & 0xFF);
      }
    }
    auto found = stored.find(row);
    if (found == stored.end()) {
      std::uint32_t position = static_cast<std::uint32_t>((image.size() - mapping) / 4);
      found = stored.emplace(row, position).first;
      image.insert(image.end(), row.begin(), row.end());
    }
    putLe16(image, TABLE_ROW_INDEX_OFFSET + 2 * high, found->second);
  }
  return image;
}

// Range records, block directory and values from a linear index per BMP
// value (-1: no mapping; 0 is not used; -2 - b: the single byte b). Runs that go up by one become kind-2
// records, everything else kind-1 records over a values array.
struct GbRanges {
  std::vector<GbRecord> records;
  std::vector<std::uint16_t> values;
};

// Runs shorter than runMin stay in kind-1 records: fewer records make
// shorter scans, at the cost of more values.
inline GbRanges gbRangesFromIndexes(const std::vector<std::int32_t>& index, std::uint32_t runMin = 16) {
  GbRanges out;
  const std::uint32_t RUN_MIN = runMin;
  std::uint32_t u = 0x80;
  while (u < 0x10000) {
    if (index[u] == -1) {
      ++u;
      continue;
    }
    if (index[u] < -1) {
      out.records.push_back({static_cast<std::uint16_t>(u), static_cast<std::uint16_t>(u), 0,
                             static_cast<std::uint16_t>(-2 - index[u])});
      ++u;
      continue;
    }
    std::uint32_t run = u + 1;
    while (run < 0x10000 && index[run] >= 0 && index[run] == index[run - 1] + 1) ++run;
    if (run - u >= RUN_MIN) {
      out.records.push_back({static_cast<std::uint16_t>(u), static_cast<std::uint16_t>(run - 1), 2,
                             static_cast<std::uint16_t>(index[u])});
      u = run;
      continue;
    }
    // A kind-1 stretch up to the next gap or the next long run.
    std::uint32_t end = u;
    while (end + 1 < 0x10000 && index[end + 1] >= 0) {
      std::uint32_t r = end + 2;
      while (r < 0x10000 && index[r] >= 0 && index[r] == index[r - 1] + 1) ++r;
      if (r - (end + 1) >= RUN_MIN) break;
      ++end;
    }
    out.records.push_back({static_cast<std::uint16_t>(u), static_cast<std::uint16_t>(end), 1,
                           static_cast<std::uint16_t>(out.values.size())});
    for (std::uint32_t k = u; k <= end; ++k) out.values.push_back(static_cast<std::uint16_t>(index[k]));
    u = end + 1;
  }
  return out;
}

// A GB18030 table: the extension right after the fixed sections, then D:
// records (ending with start 0xFFFF), the 128-entry block directory, values.
inline std::vector<unsigned char> buildGbTable(const TableHeader& header, const GbRanges& ranges,
                                               const std::array<std::uint16_t, 256>& decode) {
  std::vector<unsigned char> image = buildHeader(header, decode);
  std::size_t e = image.size();
  std::vector<GbRecord> records = ranges.records;
  // The end record; U+FFFF reaches it only when no record covers U+FFFF.
  records.push_back({0xFFFF, 0xFFFF, 0, '?'});
  std::vector<std::uint16_t> d;
  for (const GbRecord& r : records) d.insert(d.end(), {r.start, r.end, r.kind, r.base});
  std::uint32_t directory = static_cast<std::uint32_t>(d.size());
  for (std::uint32_t block = 0; block < GB_BLOCKS; ++block) {
    std::uint32_t first = 0;
    while (records[first].start != 0xFFFF && records[first].end < block * 512) ++first;
    d.push_back(static_cast<std::uint16_t>(first));
  }
  std::uint32_t values = static_cast<std::uint32_t>(d.size());
  d.insert(d.end(), ranges.values.begin(), ranges.values.end());
  image.resize(e + GB_HEADER_SIZE + 2 * d.size(), 0);
  putLe32(image, e, 0);
  putLe32(image, e + 4, directory);
  putLe32(image, e + 8, values);
  for (std::size_t i = 0; i < d.size(); ++i) putLe16(image, e + GB_HEADER_SIZE + 2 * i, d[i]);
  putLe16(image, TABLE_GB_EXTENSION_OFFSET, static_cast<std::uint32_t>(e));
  putLe32(image, 0, static_cast<std::uint32_t>(image.size()));
  return image;
}

}  // namespace zel::tablebuild
