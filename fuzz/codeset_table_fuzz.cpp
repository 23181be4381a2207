// Fuzzes the table check and the engines together: any table the check
// accepts must convert any text without reading outside the image.
//
// Input: mode byte, 16-bit text length, the text, then either the raw table
// (even mode) or patches to a valid template table of type mode / 2 % 6
// (odd mode): 3-byte little-endian offset and a byte each.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "zel/codeset_table_builder.h"
#include "zel/converters.h"

namespace {

using zel::tablebuild::TableHeader;

std::vector<unsigned char> makeTemplate(int which) {
  std::array<std::uint16_t, 256> decode;
  decode.fill(0xFFFF);
  static const std::uint16_t types[] = {zel::CT_SBCS,        zel::CT_DBCS,         zel::CT_MBCS,
                                        zel::CT_EBCDIC_SBCS, zel::CT_EBCDIC_MIXED, zel::CT_GB18030};
  std::uint16_t type = types[which];
  if (type == zel::CT_GB18030) {
    std::vector<std::int32_t> index(0x10000, -1);
    for (unsigned u = 0x80; u < 0x400; ++u) index[u] = static_cast<std::int32_t>(24067 + u);
    for (unsigned u = 0x4E00; u < 0x4E80; ++u) index[u] = static_cast<std::int32_t>((u * 13) % 24000 + 1);
    index[0x20AC] = -2 - 0x80;
    return zel::tablebuild::buildGbTable(TableHeader{"G", type, 0, 0x1A, 0x1A},
                                         zel::tablebuild::gbRangesFromIndexes(index), decode);
  }
  std::uint32_t none = type == zel::CT_MBCS                                    ? 0xFFFFFFFFu
                       : (type == zel::CT_SBCS || type == zel::CT_EBCDIC_SBCS) ? 0x1A
                                                                               : 0xFFFF;
  std::vector<std::uint32_t> entries(65536, none);
  for (unsigned u = 0; u < 0x80; ++u) entries[u] = u;
  for (unsigned u = 0xA0; u < 0x100; ++u) entries[u] = u;
  for (unsigned u = 0x3040; u < 0x30A0; ++u) {
    if (type == zel::CT_MBCS)
      entries[u] = ((u & 1) << 16) | (0xA400 + (u & 0xFF));
    else if (type == zel::CT_DBCS || type == zel::CT_EBCDIC_MIXED)
      entries[u] = 0x8200 + (u & 0xFF);
  }
  std::uint16_t scheme = type == zel::CT_EBCDIC_SBCS ? zel::SCHEME_EBCDIC_SBCS : 0;
  return zel::tablebuild::buildRowTable(TableHeader{"T", type, scheme, 0x1A, 0x1A}, entries, {{}, {0x8F}},
                                        decode);
}

const std::vector<unsigned char>& templateTable(int which) {
  static std::vector<unsigned char> tables[6];
  if (tables[which].empty()) tables[which] = makeTemplate(which);
  return tables[which];
}

// Converts text in output pieces whose sizes the text itself chooses.
void convertAll(zel::CodesetConverter* converter, const char* text, std::size_t length) {
  const char* in = text;
  std::size_t inCount = length;
  char output[64];
  std::size_t piece = 1 + (length > 0 ? static_cast<unsigned char>(text[0]) % 16 : 0);
  for (int rounds = 0; rounds < 100000; ++rounds) {
    char* out = output;
    std::size_t outCount = piece;
    zel::ConvStatus status = zel::convFromUtf8(converter, &in, &inCount, &out, &outCount);
    if (status != zel::CONV_OUTPUT_FULL) break;
    if (outCount == piece) piece = piece < 32 ? piece + 1 : 32;  // no progress: more room
  }
  char* out = output;
  std::size_t outCount = 1;
  const char* none = nullptr;
  zel::convFromUtf8(converter, &none, &inCount, &out, &outCount);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  int mode = data[0];
  std::size_t textLength = data[1] | (data[2] << 8);
  data += 3;
  size -= 3;
  if (textLength > size) textLength = size;
  const char* text = reinterpret_cast<const char*>(data);
  data += textLength;
  size -= textLength;

  std::vector<unsigned char> table;
  if (mode % 2 == 0) {
    table.assign(data, data + size);
  } else {
    table = templateTable(mode / 2 % 6);
    for (std::size_t i = 0; i + 4 <= size; i += 4) {
      std::size_t at = data[i] | (data[i + 1] << 8) | (data[i + 2] << 16);
      if (at < table.size()) table[at] = data[i + 3];
    }
  }
  // An exact-size heap copy, so any read past the image is caught.
  auto* image = static_cast<unsigned char*>(std::malloc(table.empty() ? 1 : table.size()));
  if (image == nullptr) return 0;
  if (!table.empty()) std::memcpy(image, table.data(), table.size());
  if (zel::codesetTableIsSound(image, table.size())) {
    zel::CodesetConverter converter{image, zel::tableConverterType(image), "", 0, 0, table.size()};
    convertAll(&converter, text, textLength);
  }
  std::free(image);
  return 0;
}
