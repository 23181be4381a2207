// Converter records opened from tables, and the dispatcher.
#include "zel/converters.h"

#include <cstdlib>
#include <cstring>

#include "zel/codeset_tables.h"
#include "zel/encoders.h"
#include "zel/locale.h"
#include "zel/zel_state.h"

namespace zel {

namespace {
// Grows the table's block to hold the direct index after the file's bytes
// (so that freeing table frees both) and builds it: 128 KiB, and a few
// tenths of a millisecond (mostly the new pages), per converter opened.
// Without memory for it the converter still works, reading its rows.
// A single-byte converter gets its 2 KiB of two-byte reach instead.
void attachBmpCodes(CodesetConverter* converter) {
  if (converter->type == CT_SBCS) {
    std::size_t at = converter->tableSize;
    void* grown = std::realloc(converter->table, at + SBCS_LOW_COUNT);
    if (grown == nullptr) return;
    converter->table = static_cast<unsigned char*>(grown);
    buildSbcsLowBytes(converter, converter->table + at);
    converter->sbcsLowBytes = converter->table + at;
    return;
  }
  void (*build)(const CodesetConverter*, std::uint16_t*) = nullptr;
  if (converter->type == CT_DBCS || converter->type == CT_MBCS) build = buildAsciiBasedCodes;
  if (converter->type == CT_GB18030) build = buildGb18030Codes;
  if (build == nullptr) return;
  std::size_t at = (converter->tableSize + 7) & ~std::size_t{7};
  void* grown = std::realloc(converter->table, at + BMP_CODE_COUNT * sizeof(std::uint16_t));
  if (grown == nullptr) return;
  converter->table = static_cast<unsigned char*>(grown);
  auto* codes = reinterpret_cast<std::uint16_t*>(converter->table + at);
  build(converter, codes);
  converter->bmpCodes = codes;
}

}  // namespace

Engine engineForType(std::uint16_t type) {
  switch (type) {
    case CT_SBCS:
      return encodeSbcs;
    case CT_DBCS:
      return encodeDbcs;
    case CT_MBCS:
      return encodeMbcs;
    case CT_EBCDIC_MIXED:
      return encodeEbcdicMixed;
    case CT_UTF8:
      return encodeUtf8;
    case CT_EBCDIC_SBCS:
      return encodeEbcdicSbcs;
    case CT_GB18030:
      return encodeGb18030;
    default:
      return encodePassThrough;
  }
}

CodesetConverter* openConverter(const char* name) {
  if (name == nullptr) return nullptr;
  if (std::strcmp(name, "UTF8") == 0) return zelState.utf8Converter;
  auto* converter = static_cast<CodesetConverter*>(std::calloc(1, sizeof(CodesetConverter)));
  if (converter == nullptr) return nullptr;
  CodesetTable table = findCodesetTable(name);
  if (table.image == nullptr) {
    std::free(converter);
    return nullptr;
  }
  converter->table = table.image;
  converter->tableSize = table.size;
  converter->encodeShift = 0;
  converter->substitutions = 0;
  converter->type = tableConverterType(table.image);
  // The stored name holds at most 21 characters; an unterminated one is cut.
  const char* stored = reinterpret_cast<const char*>(table.image + TABLE_NAME_OFFSET);
  std::size_t length = 0;
  while (length < TABLE_NAME_SIZE - 1 && stored[length] != '\0') ++length;
  std::memcpy(converter->name, stored, length);
  converter->name[length] = '\0';
  attachBmpCodes(converter);  // may move the table's block
  return converter;
}

ConvStatus convFromUtf8(CodesetConverter* converter, const char** input, std::size_t* inputCount,
                        char** output, std::size_t* outputCount) {
  if (converter == nullptr) {
    if (!zelState.zelInitialized) zelInitialize();
    converter = zelState.currentConverter;
  }
  Engine engine = engineForType(converter->type);
  // Missing output or count arguments, or a null output buffer, mean no room;
  // a missing count, no input.
  char* noOutput = nullptr;
  std::size_t noRoom = 0, noInput = 0;
  if (output == nullptr || outputCount == nullptr || *output == nullptr) {
    output = &noOutput;
    outputCount = &noRoom;
  }
  if (inputCount == nullptr) inputCount = &noInput;
  if (input == nullptr || *input == nullptr) {
    // Reset: only the mixed EBCDIC engine writes (a closing SI).
    const unsigned char* none = nullptr;
    auto* out = reinterpret_cast<unsigned char*>(*output);
    unsigned char* outEnd = out + *outputCount;
    ConvStatus status = engine(converter, &none, nullptr, &out, outEnd);
    *outputCount -= static_cast<std::size_t>(out - reinterpret_cast<unsigned char*>(*output));
    *output = reinterpret_cast<char*>(out);
    return static_cast<ConvStatus>(status);
  }
  auto* in = reinterpret_cast<const unsigned char*>(*input);
  auto* out = reinterpret_cast<unsigned char*>(*output);
  const unsigned char* inStart = in;
  unsigned char* outStart = out;
  ConvStatus status = engine(converter, &in, in + *inputCount, &out, out + *outputCount);
  *inputCount -= static_cast<std::size_t>(in - inStart);
  *outputCount -= static_cast<std::size_t>(out - outStart);
  *input = reinterpret_cast<const char*>(in);
  *output = reinterpret_cast<char*>(out);
  return static_cast<ConvStatus>(status);
}

}  // namespace zel
