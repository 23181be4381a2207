// zelmktable: writes a codeset table file from the build host's iconv
// mapping of every BMP character.
//
//   zelmktable KIND ICONV-NAME TABLE-NAME OUTPUT-FILE
//
// KIND is sbcs, dbcs, mbcs, ebcdic, ebcdic-mixed or gb18030.
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "iconv_mapping.h"
#include "zel/codeset_table_builder.h"

namespace {

using zel::tablebuild::TableHeader;
using zelmktable::IconvMapping;

struct Kind {
  const char* word;
  std::uint16_t type;
  std::uint16_t scheme;
  std::uint8_t subByte;  // the codeset's own substitution (SUB) byte
};

const Kind KINDS[] = {
    {"sbcs", zel::CT_SBCS, 0, 0x1A},
    {"dbcs", zel::CT_DBCS, 0, 0x1A},
    {"mbcs", zel::CT_MBCS, 0, 0x1A},
    {"ebcdic", zel::CT_EBCDIC_SBCS, zel::SCHEME_EBCDIC_SBCS, 0x3F},
    {"ebcdic-mixed", zel::CT_EBCDIC_MIXED, 0, 0x3F},
    {"gb18030", zel::CT_GB18030, 0, 0x1A},
};

unsigned byteAt(const std::string& s, std::size_t i) {
  return static_cast<unsigned char>(s[i]);
}

// The Unicode value of each single byte, for the decoding section.
std::array<std::uint16_t, 256> singleByteDecoding(const IconvMapping& m) {
  std::array<std::uint16_t, 256> decode;
  decode.fill(0xFFFF);
  for (unsigned u = 0x10000; u-- > 0;)
    if (m.bytes[u].size() == 1) decode[byteAt(m.bytes[u], 0)] = static_cast<std::uint16_t>(u);
  return decode;
}

// The Unicode value iconv maps to the substitution byte: the substitution
// character of the header.
std::uint16_t substitutionCharacter(const IconvMapping& m, std::uint8_t subByte) {
  for (unsigned u = 0; u < 0x10000; ++u)
    if (m.bytes[u].size() == 1 && byteAt(m.bytes[u], 0) == subByte) return static_cast<std::uint16_t>(u);
  return 0xFFFF;
}

// Row entries for the row-table kinds; false when iconv wrote something the
// kind cannot hold.
bool rowEntries(const Kind& kind, const IconvMapping& m, std::vector<std::uint32_t>* entries,
                std::vector<std::vector<unsigned char>>* prefixes, std::string* error) {
  entries->assign(0x10000, 0);
  for (unsigned u = 0; u < 0x10000; ++u) {
    const std::string& b = m.bytes[u];
    std::uint32_t& e = (*entries)[u];
    std::size_t n = b.size();
    if (kind.type == zel::CT_EBCDIC_MIXED && n == 4 && byteAt(b, 0) == 0x0E && byteAt(b, 3) == 0x0F) {
      e = (byteAt(b, 1) << 8) | byteAt(b, 2);  // SO hh ll SI
      continue;
    }
    bool singleByteKind = kind.type == zel::CT_SBCS || kind.type == zel::CT_EBCDIC_SBCS;
    if (singleByteKind && n <= 1) {
      e = n == 1 ? byteAt(b, 0) : kind.subByte;
      continue;
    }
    if (!singleByteKind && n == 0) {
      e = kind.type == zel::CT_MBCS ? 0xFFFFFFFFu : 0xFFFFu;
      continue;
    }
    if (!singleByteKind && n == 1) {
      e = byteAt(b, 0);
      continue;
    }
    if (kind.type == zel::CT_DBCS && n == 2) {
      e = (byteAt(b, 0) << 8) | byteAt(b, 1);
      continue;
    }
    if (kind.type == zel::CT_MBCS && n >= 2 && n - 2 <= zel::PREFIX_MAX_LENGTH) {
      std::vector<unsigned char> prefix(b.begin(), b.end() - 2);
      std::size_t p = 0;
      while (p < prefixes->size() && (*prefixes)[p] != prefix) ++p;
      if (p == prefixes->size()) prefixes->push_back(prefix);
      e = (static_cast<std::uint32_t>(p) << 16) | (byteAt(b, n - 2) << 8) | byteAt(b, n - 1);
      continue;
    }
    char text[96];
    std::snprintf(text, sizeof text, "U+%04X gives %zu bytes, which this kind of table cannot hold", u, n);
    *error = text;
    return false;
  }
  return true;
}

// Linear runs shorter than this stay in kind-1 records: it keeps the number
// of records, and so the scan of each lookup, small.
constexpr std::uint32_t GB_RUN_MIN = 128;

// Linear GB18030 index of a code (see the encoder), or the single-byte and
// no-mapping markers of gbRangesFromIndexes.
std::int32_t gbIndex(const std::string& b) {
  if (b.size() == 1) return -2 - static_cast<std::int32_t>(byteAt(b, 0));
  if (b.size() == 2)
    return static_cast<std::int32_t>((byteAt(b, 0) - 0x81) * 191 + (byteAt(b, 1) - 0x40) + 1);
  if (b.size() == 4) {
    std::int32_t n = static_cast<std::int32_t>(((byteAt(b, 0) - 0x81) * 10 + (byteAt(b, 1) - 0x30)) * 1260 +
                                               (byteAt(b, 2) - 0x81) * 10 + (byteAt(b, 3) - 0x30));
    return 24067 + n;
  }
  return -1;
}

bool buildImage(const Kind& kind, const std::string& name, const IconvMapping& m,
                std::vector<unsigned char>* image, std::string* error) {
  TableHeader header{name, kind.type, kind.scheme, substitutionCharacter(m, kind.subByte), kind.subByte};
  std::array<std::uint16_t, 256> decode = singleByteDecoding(m);
  if (kind.type == zel::CT_GB18030) {
    std::vector<std::int32_t> index(0x10000, -1);
    for (unsigned u = 0x80; u < 0x10000; ++u) index[u] = gbIndex(m.bytes[u]);
    zel::tablebuild::GbRanges ranges = zel::tablebuild::gbRangesFromIndexes(index, GB_RUN_MIN);
    if (ranges.values.size() > 0xFFFF || ranges.records.size() >= 0x4000) {
      *error = "GB18030 ranges do not fit 16-bit positions";
      return false;
    }
    *image = zel::tablebuild::buildGbTable(header, ranges, decode);
    return true;
  }
  std::vector<std::uint32_t> entries;
  std::vector<std::vector<unsigned char>> prefixes;
  if (!rowEntries(kind, m, &entries, &prefixes, error)) return false;
  if (kind.type == zel::CT_MBCS) {
    // Record 0xFFFF means no mapping; an unmapped entry is (0xFFFF, 0xFFFF).
    if (prefixes.size() >= 0xFFFF) {
      *error = "too many prefixes";
      return false;
    }
  }
  *image = zel::tablebuild::buildRowTable(header, entries, prefixes, decode);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: zelmktable KIND ICONV-NAME TABLE-NAME OUTPUT-FILE\n");
    return 2;
  }
  const Kind* kind = nullptr;
  for (const Kind& k : KINDS)
    if (std::strcmp(k.word, argv[1]) == 0) kind = &k;
  if (kind == nullptr) {
    std::fprintf(stderr, "zelmktable: unknown kind %s\n", argv[1]);
    return 2;
  }
  zelmktable::IconvMapping mapping;
  std::string error;
  std::vector<unsigned char> image;
  if (!zelmktable::readIconvMapping(argv[2], &mapping, &error) ||
      !buildImage(*kind, argv[3], mapping, &image, &error)) {
    std::fprintf(stderr, "zelmktable: %s: %s\n", argv[2], error.c_str());
    return 1;
  }
  if (!zel::codesetTableIsSound(image.data(), image.size())) {
    std::fprintf(stderr, "zelmktable: %s: the table written would not load\n", argv[2]);
    return 1;
  }
  std::ofstream out(argv[4], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  if (!out.flush()) {
    std::fprintf(stderr, "zelmktable: cannot write %s\n", argv[4]);
    return 1;
  }
  return 0;
}
