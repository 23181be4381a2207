// UTF-8 to codeset throughput, in MB/s of input: our converters against
// glibc iconv and ICU on the same inputs, in one run, median of several runs.
// The ratio is ours over the faster peer of the same row.
#include <iconv.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zel/convert.h"
#include "zel/converters.h"

#if __has_include(<unicode/ucnv.h>)
#include <unicode/ucnv.h>
#define HAVE_ICU 1
#else
#define HAVE_ICU 0
#endif

namespace {

constexpr std::size_t kInputBytes = 4u << 20;
constexpr int kRuns = 9;

// Repeats a paragraph to about kInputBytes, ending on a whole paragraph.
std::string repeated(const std::string& paragraph) {
  std::string text;
  text.reserve(kInputBytes + paragraph.size());
  while (text.size() < kInputBytes) text += paragraph;
  return text;
}

const char kEnglish[] =
    "The service host starts the application, watches it once a second and starts it again thirty seconds "
    "after it ends; a stop request creates the shutdown file, waits five seconds and then ends the child. ";
const char kFrench[] =
    "\xC3\x80 l'\xC3\xA9t\xC3\xA9, o\xC3\xB9 l'\xC3\xA9l\xC3\xA8ve r\xC3\xA9p\xC3\xA8te ses le\xC3\xA7ons, "
    "la for\xC3\xAAt d\xC3\xA9j\xC3\xA0 dor\xC3\xA9\x65 s'\xC3\xA9veille ; \xC2\xAB na\xC3\xAFve \xC2\xBB, "
    "dit-il, \xC3\xA7\x61 co\xC3\xBBte 5 \xE2\x82\xAC \xC3\xA0 No\xC3\xABl. Le service d\xC3\xA9marre "
    "l'application et la red\xC3\xA9marre apr\xC3\xA8s trente secondes. ";
const char kJapanese[] =
    "\xE3\x82\xB5\xE3\x83\xBC\xE3\x83\x93\xE3\x82\xB9\xE3\x81\x8C\xE9\x96\x8B\xE5\xA7\x8B\xE3\x81\x95\xE3\x82"
    "\x8C"
    "\xE3\x81\xBE\xE3\x81\x97\xE3\x81\x9F\xE3\x80\x82\xE3\x82\xA2\xE3\x83\x97\xE3\x83\xAA\xE3\x82\xB1\xE3\x83"
    "\xBC"
    "\xE3\x82\xB7\xE3\x83\xA7\xE3\x83\xB3\xE3\x82\x92 30 "
    "\xE7\xA7\x92\xE5\xBE\x8C\xE3\x81\xAB\xE5\x86\x8D\xE8\xB5"
    "\xB7\xE5\x8B\x95\xE3\x81\x97\xE3\x81\xBE\xE3\x81\x99\xE3\x80\x82 VQM Client "
    "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA"
    "\x9E\xE3\x81\xAE\xE3\x83\xA1\xE3\x83\x83\xE3\x82\xBB\xE3\x83\xBC\xE3\x82\xB8\xE3\x80\x82 ";
const char kJapaneseUpper[] =
    "\xE3\x82\xB5\xE3\x83\xBC\xE3\x83\x93\xE3\x82\xB9\xE3\x81\x8C\xE9\x96\x8B\xE5\xA7\x8B\xE3\x81\x95\xE3\x82"
    "\x8C"
    "\xE3\x81\xBE\xE3\x81\x97\xE3\x81\x9F\xE3\x80\x82 SERVICE 7 VQM CLIENT "
    "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E "
    "\xE3\x83\xA1\xE3\x83\x83\xE3\x82\xBB\xE3\x83\xBC\xE3\x82\xB8 1234. ";
const char kChinese[] =
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
};

const Row kRows[] = {
    {"ASCII -> 1252", kEnglish, "1252", "CP1252", "windows-1252"},
    {"ASCII -> 932", kEnglish, "932", "CP932", "ibm-943_P15A-2003"},
    {"ASCII -> EUC-JP", kEnglish, "EUCJP", "EUC-JP", "EUC-JP"},
    {"ASCII -> GB18030", kEnglish, "GB18030", "GB18030", "GB18030"},
    {"ASCII -> UTF-8", kEnglish, "UTF8", "UTF-8", "UTF-8"},
    {"French -> 1252", kFrench, "1252", "CP1252", "windows-1252"},
    {"Japanese -> 932", kJapanese, "932", "CP932", "ibm-943_P15A-2003"},
    {"Japanese -> EUC-JP", kJapanese, "EUCJP", "EUC-JP", "EUC-JP"},
    {"English -> EBCDIC 1047", kEnglish, "IBM1047", "IBM1047", "ibm-1047"},
    {"Japanese -> EBCDIC 930", kJapaneseUpper, "IBM930", "IBM930", "ibm-930"},
    {"Chinese+supp -> GB18030", kChinese, "GB18030", "GB18030", "GB18030"},
};

double seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// Times the converters of a row in turn, run after run, so that a busy
// machine slows each of them alike; the median rate of each, or -1 when it
// could not convert.
template <typename... Convert>
std::vector<double> medianMBs(const std::string& input, Convert... convert) {
  constexpr std::size_t n = sizeof...(Convert);
  std::vector<std::vector<double>> rates(n);
  std::vector<bool> failed(n, false);
  for (int run = 0; run < kRuns; ++run) {
    std::size_t i = 0;
    auto time = [&](auto& f) {
      auto start = std::chrono::steady_clock::now();
      if (!failed[i] && !f()) failed[i] = true;
      rates[i].push_back(input.size() / 1e6 / seconds(start, std::chrono::steady_clock::now()));
      ++i;
    };
    (time(convert), ...);
  }
  std::vector<double> medians;
  for (std::size_t i = 0; i < n; ++i) {
    std::sort(rates[i].begin(), rates[i].end());
    medians.push_back(failed[i] ? -1 : rates[i][rates[i].size() / 2]);
  }
  return medians;
}

std::size_t convertOurs(zel::CodesetConverter* converter, const std::string& input, std::vector<char>& out) {
  const char* in = input.data();
  std::size_t inCount = input.size();
  char* o = out.data();
  std::size_t outCount = out.size();
  converter->encodeShift = 0;
  zel::convFromUtf8(converter, &in, &inCount, &o, &outCount);
  const char* none = nullptr;
  zel::convFromUtf8(converter, &none, &inCount, &o, &outCount);
  return out.size() - outCount;
}

// -1 when iconv refuses the text or the codeset.
long convertIconv(iconv_t cd, const std::string& input, std::vector<char>& out) {
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  char* o = out.data();
  size_t outLeft = out.size();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &in, &inLeft, &o, &outLeft) == static_cast<size_t>(-1)) return -1;
  if (iconv(cd, nullptr, nullptr, &o, &outLeft) == static_cast<size_t>(-1)) return -1;
  return static_cast<long>(out.size() - outLeft);
}

#if HAVE_ICU
long convertIcu(UConverter* utf8, UConverter* target, const std::string& input, std::vector<char>& out,
                std::vector<UChar>& pivot) {
  UErrorCode status = U_ZERO_ERROR;
  char* o = out.data();
  const char* in = input.data();
  UChar* pivotSource = pivot.data();
  UChar* pivotTarget = pivot.data();
  ucnv_convertEx(target, utf8, &o, out.data() + out.size(), &in, input.data() + input.size(), pivot.data(),
                 &pivotSource, &pivotTarget, pivot.data() + pivot.size(), true, true, &status);
  return U_FAILURE(status) ? -1 : static_cast<long>(o - out.data());
}
#endif

void printRate(double rate) {
  if (rate < 0)
    std::printf(" %10s", "n/a");
  else
    std::printf(" %10.0f", rate);
}

void runRow(const Row& row) {
  std::string input = repeated(row.text);
  std::vector<char> out(input.size() * 2 + 16), peerOut(input.size() * 2 + 16);
  zel::CodesetConverter* converter = zel::openCodeset(row.ours);
  if (converter == nullptr) {
    std::printf("%-26s no table for %s\n", row.label, row.ours);
    return;
  }
  std::size_t ourBytes = convertOurs(converter, input, out);
  iconv_t cd = iconv_open(row.iconvName, "UTF-8");
  bool haveIconv = cd != reinterpret_cast<iconv_t>(-1);
  long iconvBytes = haveIconv ? convertIconv(cd, input, peerOut) : -1;
  bool sameAsIconv =
      iconvBytes == static_cast<long>(ourBytes) && std::memcmp(out.data(), peerOut.data(), ourBytes) == 0;
  auto ours = [&] { return convertOurs(converter, input, out) > 0; };
  auto viaIconv = [&] { return haveIconv && convertIconv(cd, input, peerOut) >= 0; };
#if HAVE_ICU
  UErrorCode status = U_ZERO_ERROR;
  UConverter* utf8 = ucnv_open("UTF-8", &status);
  UConverter* target = ucnv_open(row.icuName, &status);
  bool haveIcu = U_SUCCESS(status);
  std::vector<UChar> pivot(1 << 14);
  auto viaIcu = [&] { return haveIcu && convertIcu(utf8, target, input, peerOut, pivot) >= 0; };
#else
  auto viaIcu = [] { return false; };
#endif
  std::vector<double> rates = medianMBs(input, ours, viaIconv, viaIcu);
  if (haveIconv) iconv_close(cd);
#if HAVE_ICU
  if (utf8) ucnv_close(utf8);
  if (target) ucnv_close(target);
#endif
  std::size_t nonAscii = 0;
  for (unsigned char c : input) nonAscii += c >= 0x80 ? 1 : 0;
  double best = std::max(rates[1], rates[2]);
  std::printf("%-26s %5.1f%%", row.label, 100.0 * nonAscii / input.size());
  printRate(rates[0]);
  printRate(rates[1]);
  printRate(rates[2]);
  if (best > 0)
    std::printf(" %8.2f", rates[0] / best);
  else
    std::printf(" %8s", "n/a");
  std::printf("  %s\n", sameAsIconv ? "yes" : "no");
}

}  // namespace

int main() {
  if (std::getenv("ZELDIR") == nullptr) setenv("ZELDIR", ZAQ_DATA_DIR "/codesets", 1);
  std::printf("UTF-8 to codeset, MB/s of input (%zu MB inputs, median of %d runs)\n", kInputBytes >> 20,
              kRuns);
  std::printf("%-26s %6s %10s %10s %10s %8s  %s\n", "row", "non-A", "ours", "iconv", "ICU", "ratio",
              "bytes = iconv");
  for (const Row& row : kRows) runRow(row);
  return 0;
}
