#include <gtest/gtest.h>

#include "zel/codeset_table_builder.h"
#include "zel/convert.h"
#include "zel/converter_test_support.h"
#include "zel/zel_state.h"

namespace {

using zeltest::bytes;
using zeltest::convertOnce;

TEST(OpenConverter, Utf8IsTheStaticRecordAndOtherCasesAreTableNames) {
  zeltest::ScopedVariable noZelDir("ZELDIR", nullptr);
  zeltest::ScopedVariable noBinDir("BINDIR", nullptr);
  zel::CodesetConverter* first = zel::openConverter("UTF8");
  EXPECT_EQ(first, zel::utf8Converter());
  EXPECT_EQ(zel::openConverter("UTF8"), first);
  EXPECT_EQ(first->type, zel::CT_UTF8);
  EXPECT_EQ(first->table, nullptr);
  EXPECT_EQ(zel::openConverter("utf8"), nullptr) << "no table file of that name in the current directory";
  EXPECT_EQ(zel::openConverter("NOSUCHCODESET"), nullptr);
}

TEST(OpenConverter, TakesTypeAndNameFromTheTable) {
  std::string dir = zeltest::scratchDir("open_converter");
  zeltest::ScopedVariable zelDir("ZELDIR", dir.c_str());
  std::array<std::uint16_t, 256> decode{};
  decode.fill(0xFFFF);
  std::vector<std::uint32_t> entries(65536, 0x1A);
  struct Case {
    const char* file;
    std::uint16_t type, scheme, expectedType;
    std::string storedName, expectedName;
  } cases[] = {
      {"T1", zel::CT_SBCS, 0, zel::CT_SBCS, "SINGLE", "SINGLE"},
      {"T2", zel::CT_SBCS, 0x1100, zel::CT_EBCDIC_SBCS, "E", "E"},
      {"T3", 5, 0x1100, zel::CT_EBCDIC_SBCS, "E5", "E5"},
      {"T4", 7, 0, 7, "SEVEN", "SEVEN"},
      {"T5", zel::CT_SBCS, 0, zel::CT_SBCS, "ABCDEFGHIJKLMNOPQRSTUVWXYZ", "ABCDEFGHIJKLMNOPQRSTU"},
  };
  for (const Case& c : cases) {
    zel::tablebuild::TableHeader header{c.storedName, c.type, c.scheme, 0x1A, 0x1A};
    auto image = zel::tablebuild::buildRowTable(header, entries, {}, decode);
    if (c.storedName.size() > 21) std::memcpy(&image[16], c.storedName.data(), 22);  // unterminated
    zeltest::writeFile(dir + "/" + c.file, image);
    zel::CodesetConverter* converter = zel::openConverter(c.file);
    ASSERT_NE(converter, nullptr) << c.file;
    EXPECT_EQ(converter->type, c.expectedType) << c.file;
    EXPECT_EQ(std::string(converter->name), c.expectedName) << c.file;
    EXPECT_EQ(converter->substitutions, 0);
    EXPECT_EQ(converter->encodeShift, 0);
    EXPECT_EQ(converter->tableSize, image.size());
    zeltest::releaseConverter(converter);
  }
}

TEST(Dispatch, TypesWithoutAnEngineFamilyCopyBytes) {
  std::string input = bytes({'A', 0xC3, 0xA9, 0xE2, 0x82});
  for (std::uint16_t type : {0, 5, 7, 9, 11, 200, 0xFFFF}) {
    zel::CodesetConverter converter{nullptr, type, "X", 0, 0, 0};
    zeltest::Converted r = convertOnce(&converter, input);
    EXPECT_EQ(r.bytes, input) << type;
    EXPECT_EQ(r.status, zel::CONV_OK) << type;
  }
}

TEST(Dispatch, CountsAndPointersFollowWhatWasConsumedAndWritten) {
  zel::CodesetConverter* utf8 = zel::utf8Converter();
  const char text[] = "hello";
  const char* in = text;
  std::size_t inCount = 0;
  char buffer[8];
  char* out = buffer;
  std::size_t outCount = sizeof buffer;
  EXPECT_EQ(zel::convFromUtf8(utf8, &in, &inCount, &out, &outCount), zel::CONV_OK);
  EXPECT_EQ(in, text);
  EXPECT_EQ(outCount, sizeof buffer);

  inCount = 5;
  outCount = 0;
  EXPECT_EQ(zel::convFromUtf8(utf8, &in, &inCount, &out, &outCount), zel::CONV_OUTPUT_FULL);
  EXPECT_EQ(in, text);
  EXPECT_EQ(inCount, 5u);

  outCount = 3;
  EXPECT_EQ(zel::convFromUtf8(utf8, &in, &inCount, &out, &outCount), zel::CONV_OUTPUT_FULL);
  EXPECT_EQ(in, text + 3);
  EXPECT_EQ(inCount, 2u);
  EXPECT_EQ(out, buffer + 3);
  EXPECT_EQ(outCount, 0u);
}

TEST(Dispatch, ANullOutputBufferHasNoRoom) {
  zel::CodesetConverter os{nullptr, zel::CT_OS, "OS", 0, 0, 0};
  for (zel::CodesetConverter* converter : {zel::utf8Converter(), &os}) {
    const char text[] = "abcd";
    const char* in = text;
    std::size_t inCount = 4;
    char* out = nullptr;
    std::size_t outCount = 4;
    EXPECT_EQ(zel::convFromUtf8(converter, &in, &inCount, &out, &outCount), zel::CONV_OUTPUT_FULL);
    EXPECT_EQ(in, text);
    EXPECT_EQ(inCount, 4u);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(outCount, 4u) << "nothing was written";
  }
}

TEST(Dispatch, NullConverterRunsStartUpFirst) {
  zeltest::resetStartup();
  zeltest::ScopedVariable codeset("ZEL_CODESET", "utf-8");
  zeltest::Converted r = convertOnce(nullptr, bytes({0xC0, 0x80, 'x'}));
  EXPECT_TRUE(zel::zelInitialized());
  EXPECT_EQ(zel::currentConverter(), zel::utf8Converter());
  EXPECT_EQ(r.bytes, bytes({0x00, 'x'})) << "re-encoded by the UTF-8 converter, not copied";
  zeltest::resetStartup();
}

TEST(Dispatch, ResumesAfterOutputFullWithoutLosingOrRepeating) {
  std::string input = "a" + bytes({0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80}) + "z";
  zel::CodesetConverter converter{nullptr, zel::CT_UTF8, "UTF8", 0, 0, 0};
  for (std::size_t piece = 4; piece <= 7; ++piece) {  // the widest character needs 4
    std::string result;
    const char* in = input.data();
    std::size_t inCount = input.size();
    zel::ConvStatus status;
    int rounds = 0;
    do {
      char buffer[8];
      char* out = buffer;
      std::size_t outCount = piece;
      status = zel::convFromUtf8(&converter, &in, &inCount, &out, &outCount);
      result.append(buffer, piece - outCount);
      ASSERT_LT(++rounds, 100);
    } while (status == zel::CONV_OUTPUT_FULL);
    EXPECT_EQ(status, zel::CONV_OK);
    EXPECT_EQ(result, input) << "pieces of " << piece;
  }
}

}  // namespace
