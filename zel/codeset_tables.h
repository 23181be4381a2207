// Codeset table files: finding, loading and checking them, and reading their
// little-endian fields.
//
// Layout (offsets from the start of the file, integers little-endian):
//   0   u32  R, offset of the mapping area
//   8   3    magic "ucv"
//   16  22   codeset name, NUL-terminated
//   38  u16  E, offset of the GB18030 extension (type 10)
//   48  u16  converter type
//   50  u16  encoding scheme; 0x1100 forces CT_EBCDIC_SBCS
//   58  u16  substitution character (the Unicode value mapped to the byte)
//   60  u8   substitution byte
//   224 512  encode row index: 256 u16 row positions, a row at R + 4 * position
//   736..1759 decoding sections, not read here
// Encoding rows: 256 bytes (types 1, 8), 256 u16 (types 2, 4), 256 pairs of u16
// prefix record number and value (type 3). Type-3 prefix record n: 16 bytes at
// R + 16 n, 14 prefix bytes then a u16 length. GB18030 extension at E: u32
// indexes (into the u16 array D at E + 32) of the range records, the block
// directory and the values; records are (start, end, kind, base), ending with
// start 0xFFFF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zel {

inline constexpr std::size_t TABLE_MIN_SIZE = 1760;
inline constexpr std::size_t TABLE_MAGIC_OFFSET = 8;
inline constexpr char TABLE_MAGIC[3] = {'u', 'c', 'v'};
inline constexpr std::size_t TABLE_MAX_SIZE = 64u << 20;  // far beyond any real table
inline constexpr std::size_t TABLE_NAME_OFFSET = 16;
inline constexpr std::size_t TABLE_NAME_SIZE = 22;
inline constexpr std::size_t TABLE_GB_EXTENSION_OFFSET = 38;
inline constexpr std::size_t TABLE_TYPE_OFFSET = 48;
inline constexpr std::size_t TABLE_SCHEME_OFFSET = 50;
inline constexpr std::size_t TABLE_SUB_CHAR_OFFSET = 58;
inline constexpr std::size_t TABLE_SUB_BYTE_OFFSET = 60;
inline constexpr std::size_t TABLE_ROW_INDEX_OFFSET = 224;
inline constexpr std::uint16_t SCHEME_EBCDIC_SBCS = 0x1100;
inline constexpr std::size_t PREFIX_RECORD_SIZE = 16;
inline constexpr std::size_t PREFIX_MAX_LENGTH = 14;
inline constexpr std::size_t GB_HEADER_SIZE = 32;
inline constexpr std::size_t GB_BLOCKS = 128;  // keys 0..0xFFFF in blocks of 512
inline constexpr int MAX_TABLE_FILES = 5;      // the first file and up to 4 redirects

inline std::uint16_t readLe16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t readLe32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The encoding row of the high byte of a 16-bit Unicode value: R + 4 x its
// position. The load-time check makes sure the whole row lies in the image.
inline const unsigned char* encodingRow(const unsigned char* image, unsigned high) {
  return image + readLe32(image) + 4u * readLe16(image + TABLE_ROW_INDEX_OFFSET + 2 * high);
}

// A table image read whole into a heap block (malloc), and its size.
struct CodesetTable {
  unsigned char* image;
  std::size_t size;
};

// The converter type a table gives: CT_EBCDIC_SBCS for the EBCDIC scheme,
// else its type field. The image must hold the header.
std::uint16_t tableConverterType(const unsigned char* image);

// True when the image is long enough for the header and holds the magic; a
// file without it may be a redirect.
inline bool tableHasMagic(const unsigned char* image, std::size_t size) {
  return image != nullptr && size >= TABLE_MIN_SIZE &&
         std::memcmp(image + TABLE_MAGIC_OFFSET, TABLE_MAGIC, sizeof TABLE_MAGIC) == 0;
}

// True when every position, row, prefix record and GB18030 record that the
// engine of the table's type can follow lies inside the image.
bool codesetTableIsSound(const unsigned char* image, std::size_t size);

// Tries ZELDIR/codeset/, ZELDIR/, BINDIR/../generic/codeset/ and the current
// directory in that order. {nullptr, 0} when none holds a valid table.
CodesetTable findCodesetTable(const char* name);

// The table file prefix + name, following up to 4 redirect files.
CodesetTable loadCodesetTable(const char* prefix, const char* name);

}  // namespace zel
