#include <gtest/gtest.h>

#include "zel/converter_test_support.h"
#include "zel/utf8_reader.h"

namespace {

using zeltest::bytes;
using zeltest::convertOnce;
using zeltest::hex;

zel::CodesetConverter freshUtf8() {
  return {nullptr, zel::CT_UTF8, "UTF8", 0, 0, 0};
}

TEST(Utf8ReEncoding, RewritesEachSequenceInShortestForm) {
  struct Case {
    std::string input, expected;
    unsigned substitutions;
  } cases[] = {
      {"abc", "abc", 0},
      {bytes({0xC0, 0x80}), bytes({0x00}), 0},
      {bytes({0xE0, 0x80, 0x80}), bytes({0x00}), 0},
      {bytes({0xC1, 0x81}), "A", 0},
      {bytes({0xF8}), "?", 1},
      {bytes({0x80}), "?", 1},
      {bytes({0xFF, 0xBF, 'x'}), "??x", 2},
      {bytes({0xC3, 0xA9}), bytes({0xC3, 0xA9}), 0},
      {bytes({0xE2, 0x82, 0xAC}), bytes({0xE2, 0x82, 0xAC}), 0},
      {bytes({0xF0, 0x9F, 0x98, 0x80}), bytes({0xF0, 0x9F, 0x98, 0x80}), 0},
      // Continuation bytes are not checked: C3 41 is one two-byte character.
      {bytes({0xC3, 0x41}), bytes({0xC3, 0x81}), 0},
      // F7 BF BF BF reads as 0x1FFFFF, written back in four bytes.
      {bytes({0xF7, 0xBF, 0xBF, 0xBF}), bytes({0xF7, 0xBF, 0xBF, 0xBF}), 0},
  };
  for (const Case& c : cases) {
    zel::CodesetConverter converter = freshUtf8();
    zeltest::Converted r = convertOnce(&converter, c.input);
    EXPECT_EQ(hex(r.bytes), hex(c.expected)) << hex(c.input);
    EXPECT_EQ(r.status, zel::CONV_OK);
    EXPECT_EQ(converter.substitutions, c.substitutions) << hex(c.input);
  }
}

TEST(Utf8ReEncoding, FourByteSequenceNeedsAllFourBytesOfRoom) {
  zel::CodesetConverter converter = freshUtf8();
  std::string smile = bytes({0xF0, 0x9F, 0x98, 0x80});
  zeltest::Converted tight = convertOnce(&converter, smile, 3);
  EXPECT_EQ(tight.status, zel::CONV_OUTPUT_FULL);
  EXPECT_EQ(tight.consumed, 0u);
  EXPECT_EQ(tight.bytes, "");
  zeltest::Converted fits = convertOnce(&converter, smile, 4);
  EXPECT_EQ(fits.status, zel::CONV_OK);
  EXPECT_EQ(fits.bytes, smile);
}

TEST(Utf8ReEncoding, SequenceCutByTheInputEndIsIncomplete) {
  zel::CodesetConverter converter = freshUtf8();
  zeltest::Converted r = convertOnce(&converter, "ab" + bytes({0xE2, 0x82}));
  EXPECT_EQ(r.status, zel::CONV_INCOMPLETE);
  EXPECT_EQ(r.consumed, 2u);
  EXPECT_EQ(r.bytes, "ab");
}

TEST(Utf8ReEncoding, ResetChangesNothing) {
  zel::CodesetConverter converter = freshUtf8();
  converter.encodeShift = 1;
  char buffer[4] = {'x', 'x', 'x', 'x'};
  char* out = buffer;
  std::size_t outCount = sizeof buffer, inCount = 0;
  const char* none = nullptr;
  EXPECT_EQ(zel::convFromUtf8(&converter, &none, &inCount, &out, &outCount), zel::CONV_OK);
  EXPECT_EQ(outCount, sizeof buffer);
  EXPECT_EQ(converter.encodeShift, 1);
}

TEST(PassThrough, CopiesBytesWithoutDecoding) {
  zel::CodesetConverter os = {nullptr, zel::CT_OS, "OS", 0, 1, 0};
  std::string input = bytes({0xC3, 0xA9, 0xFF, 0x80, 0xE2, 0x82});
  zeltest::Converted r = convertOnce(&os, input);
  EXPECT_EQ(r.status, zel::CONV_OK);
  EXPECT_EQ(r.bytes, input);
  EXPECT_EQ(os.substitutions, 0);
  zeltest::Converted cut = convertOnce(&os, input, 4);
  EXPECT_EQ(cut.status, zel::CONV_OUTPUT_FULL);
  EXPECT_EQ(cut.bytes, input.substr(0, 4));
  EXPECT_EQ(cut.consumed, 4u);
  zeltest::convertAll(&os, "");
  EXPECT_EQ(os.encodeShift, 0) << "reset clears the shift state";
}

TEST(Utf8Readers, ThreeByteFormSplitsFourByteSequences) {
  std::string smile = bytes({0xF0, 0x9F, 0x98, 0x80});
  auto* p = reinterpret_cast<const unsigned char*>(smile.data());
  const unsigned char* end = p + smile.size();
  zel::Utf8Char full = zel::readUtf8Full(p, end);
  EXPECT_EQ(full.value, 0x1F600u);
  EXPECT_EQ(full.length, 4u);
  zel::Utf8Char first = zel::readUtf8Short(p, end);
  EXPECT_EQ(first.length, 3u);
  EXPECT_EQ(first.value, 0x07D8u);  // (0 << 12) | (0x1F << 6) | 0x18
  zel::Utf8Char stray = zel::readUtf8Short(p + 3, end);
  EXPECT_TRUE(stray.invalid);
  EXPECT_EQ(stray.value, static_cast<std::uint32_t>('?'));
}

TEST(AsciiRunCopy, StopsAtTheFirstNonAsciiByteOrTheOutputEnd) {
  // Every place of the stop, before, inside and after the wide steps.
  for (std::size_t stop = 0; stop <= 200; ++stop) {
    std::string text(200, 'a');
    if (stop < text.size()) text[stop] = static_cast<char>(0xC3);
    for (std::size_t room : {std::size_t{0}, std::size_t{5}, std::size_t{16}, std::size_t{37},
                             std::size_t{64}, std::size_t{100}, std::size_t{128}, std::size_t{200}}) {
      std::vector<unsigned char> out(room + 1, 0xEE);
      const auto* in = reinterpret_cast<const unsigned char*>(text.data());
      unsigned char* q = out.data();
      zel::copyAsciiRun(&in, in + text.size(), &q, out.data() + room);
      std::size_t expected = room < stop ? room : stop;
      EXPECT_EQ(static_cast<std::size_t>(q - out.data()), expected) << "stop " << stop << " room " << room;
      EXPECT_EQ(static_cast<std::size_t>(in - reinterpret_cast<const unsigned char*>(text.data())), expected);
      EXPECT_EQ(out[room], 0xEE) << "wrote past the output end";
      EXPECT_EQ(std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(expected)),
                text.substr(0, expected));
    }
  }
}

}  // namespace
