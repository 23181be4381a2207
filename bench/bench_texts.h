// The texts and rows that the converter benchmarks share: a paragraph per
// kind of text, and the codesets each is converted into, with the names that
// our library, iconv and ICU know them by.
#pragma once

#include <cstdint>
#include <string>

namespace bench {

inline constexpr char kEnglish[] =
    "The service host starts the application, watches it once a second and starts it again thirty seconds "
    "after it ends; a stop request creates the shutdown file, waits five seconds and then ends the child. ";
inline constexpr char kFrench[] =
    "\xC3\x80 l'\xC3\xA9t\xC3\xA9, o\xC3\xB9 l'\xC3\xA9l\xC3\xA8ve r\xC3\xA9p\xC3\xA8te ses le\xC3\xA7ons, "
    "la for\xC3\xAAt d\xC3\xA9j\xC3\xA0 dor\xC3\xA9\x65 s'\xC3\xA9veille ; \xC2\xAB na\xC3\xAFve \xC2\xBB, "
    "dit-il, \xC3\xA7\x61 co\xC3\xBBte 5 \xE2\x82\xAC \xC3\xA0 No\xC3\xABl. Le service d\xC3\xA9marre "
    "l'application et la red\xC3\xA9marre apr\xC3\xA8s trente secondes. ";
inline constexpr char kJapanese[] =
    "\xE3\x82\xB5\xE3\x83\xBC\xE3\x83\x93\xE3\x82\xB9\xE3\x81\x8C\xE9\x96\x8B\xE5\xA7\x8B\xE3\x81\x95\xE3\x82"
    "\x8C"
    "\xE3\x81\xBE\xE3\x81\x97\xE3\x81\x9F\xE3\x80\x82\xE3\x82\xA2\xE3\x83\x97\xE3\x83\xAA\xE3\x82\xB1\xE3\x83"
    "\xBC"
    "\xE3\x82\xB7\xE3\x83\xA7\xE3\x83\xB3\xE3\x82\x92 30 "
    "\xE7\xA7\x92\xE5\xBE\x8C\xE3\x81\xAB\xE5\x86\x8D\xE8\xB5"
    "\xB7\xE5\x8B\x95\xE3\x81\x97\xE3\x81\xBE\xE3\x81\x99\xE3\x80\x82 VQM Client "
    "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA"
    "\x9E\xE3\x81\xAE\xE3\x83\xA1\xE3\x83\x83\xE3\x82\xBB\xE3\x83\xBC\xE3\x82\xB8\xE3\x80\x82 ";
inline constexpr char kChinese[] =
    "\xE6\x9C\x8D\xE5\x8A\xA1\xE5\xB7\xB2\xE5\x90\xAF\xE5\x8A\xA8\xE3\x80\x82\xE5\xBA\x94\xE7\x94\xA8\xE7\xA8"
    "\x8B"
    "\xE5\xBA\x8F\xE5\xB0\x86\xE5\x9C\xA8 30 "
    "\xE7\xA7\x92\xE5\x90\x8E\xE9\x87\x8D\xE6\x96\xB0\xE5\x90\xAF\xE5\x8A"
    "\xA8\xE3\x80\x82 \xF0\xA0\x80\x80\xF0\xA0\x80\x81\xF0\xA8\x80\x80 \xF0\x9F\x98\x80 VQM "
    "\xE4\xB8\xAD\xE6\x96"
    "\x87\xE6\xB6\x88\xE6\x81\xAF\xEF\xBC\x8C\xE6\xB5\x8B\xE8\xAF\x95\xE3\x80\x82 ";

struct Row {
  const char* label;
  const char* text;
  const char* ours;  // table name for openCodeset
  const char* iconvName;
  const char* icuName;
  bool halfUnmappable = false;  // text() interleaves characters that no row's codeset has
};

inline constexpr Row kRows[] = {
    {"ASCII -> 1252", kEnglish, "1252", "CP1252", "windows-1252"},
    {"ASCII -> 932", kEnglish, "932", "CP932", "ibm-943_P15A-2003"},
    {"ASCII -> EUC-JP", kEnglish, "EUCJP", "EUC-JP", "EUC-JP"},
    {"ASCII -> GB18030", kEnglish, "GB18030", "GB18030", "GB18030"},
    {"ASCII -> UTF-8", kEnglish, "UTF8", "UTF-8", "UTF-8"},
    {"French -> 1252", kFrench, "1252", "CP1252", "windows-1252"},
    {"Japanese -> 932", kJapanese, "932", "CP932", "ibm-943_P15A-2003"},
    {"Japanese -> EUC-JP", kJapanese, "EUCJP", "EUC-JP", "EUC-JP"},
    {"Japanese half -> 932", kJapanese, "932", "CP932", "ibm-943_P15A-2003", true},
    {"English -> EBCDIC 1047", kEnglish, "IBM1047", "IBM1047", "ibm-1047"},
    {"Japanese -> EBCDIC 930", kJapanese, "IBM930", "IBM930", "ibm-930"},
    {"Chinese+supp -> GB18030", kChinese, "GB18030", "GB18030", "GB18030"},
};

// Appends the code point as UTF-8 (below U+10000).
inline void appendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The row's paragraph. With halfUnmappable, every character of it is followed
// by a Hangul syllable, which Japanese code pages lack: half of the characters
// then have no mapping.
inline std::string text(const Row& row) {
  std::string paragraph = row.text;
  if (!row.halfUnmappable) return paragraph;
  std::string mixed;
  std::uint32_t syllable = 0xAC00;  // U+AC00 to U+D7A3
  for (std::size_t i = 0; i < paragraph.size();) {
    std::size_t length = 1;
    while (i + length < paragraph.size() &&
           (static_cast<unsigned char>(paragraph[i + length]) & 0xC0) == 0x80)
      ++length;
    mixed.append(paragraph, i, length);
    appendUtf8(mixed, syllable);
    syllable = syllable >= 0xD7A3 - 97 ? 0xAC00 : syllable + 97;
    i += length;
  }
  return mixed;
}

}  // namespace bench
