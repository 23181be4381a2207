// Converter objects: one record per codeset, the process-wide converters and
// the dispatcher that converts UTF-8 into a converter's codeset.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zel {

// Values of CodesetConverter::type; they select the engine. Any other value
// behaves like CT_OS.
enum ConverterType : std::uint16_t {
  CT_SBCS = 1,
  CT_DBCS = 2,
  CT_MBCS = 3,
  CT_EBCDIC_MIXED = 4,
  CT_UTF8 = 6,
  CT_EBCDIC_SBCS = 8,
  CT_OS = 9,
  CT_GB18030 = 10,
};

// Outcomes of convFromUtf8. Bad or unmappable input is never a status: it is
// substituted and counted.
enum ConvStatus : int {
  CONV_OK = 0,           // all input consumed, or a reset done
  CONV_OUTPUT_FULL = 1,  // the next character does not fit; input rests on it
  CONV_INCOMPLETE = 2,   // input ends inside a UTF-8 sequence; input rests on its first byte
};

struct CodesetConverter {
  unsigned char* table;         // the whole table file image; null for the built-ins
  std::uint16_t type;           // a ConverterType value
  char name[32];                // codeset name, NUL-terminated
  std::uint16_t substitutions;  // substitution characters written (wraps)
  std::uint8_t encodeShift;     // 1 inside an SO ... SI double-byte run (type 4)
  std::size_t tableSize;        // bytes in table, checked at load
  // Types 2, 3 and 10 opened by openConverter: the code of every 16-bit value
  // (BMP_CODE_COUNT entries, see encoders.h), built from the checked table at
  // open and kept in the same heap block as table, after its tableSize bytes.
  // Null otherwise; the engines then read the table's rows.
  const std::uint16_t* bmpCodes = nullptr;
  // Type 1 opened by openConverter: its bytes of U+0000 to U+07FF
  // (SBCS_LOW_COUNT, see encoders.h), built and kept the same way. Null
  // otherwise; the engine then builds them per call.
  const unsigned char* sbcsLowBytes = nullptr;
};

// The process-wide converters (utf8Converter, osConverter, currentConverter,
// osDefaultConverter) are in the library's state record, zel/zel_state.h.

// "UTF8" (exact case) gives utf8Converter; any other name is a table file
// looked up by findCodesetTable. Null when no valid table is found.
CodesetConverter* openConverter(const char* name);

// Converts UTF-8 from *input (*inputCount bytes) into *output (*outputCount
// bytes), advancing both pointers and decreasing both counts by what was
// consumed and written. A null *input (or null input) resets the output's
// shift state. A null converter means currentConverter, after start-up; a
// null output (or *output) or count has no room, and a null input count no input.
ConvStatus convFromUtf8(CodesetConverter* converter, const char** input, std::size_t* inputCount,
                        char** output, std::size_t* outputCount);

}  // namespace zel
