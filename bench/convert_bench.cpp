// UTF-8 to codeset throughput, in MB/s of input per second of the thread's
// processor time: our converters against glibc iconv and ICU on the same
// inputs, in one run, median of several runs.
// The ratio is ours over the faster peer of the same row, per run; the
// median of those is printed.
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "bench_texts.h"
#include "zel/convert.h"
#include "zel/converters.h"

#if __has_include(<unicode/ucnv.h>)
#include <unicode/ucnv.h>
#define HAVE_ICU 1
#else
#define HAVE_ICU 0
#endif

namespace {

constexpr std::size_t INPUT_BYTES = 4u << 20;
constexpr int ROUNDS = 15;

// Repeats a paragraph to about INPUT_BYTES, ending on a whole paragraph.
std::string repeated(const std::string& paragraph) {
  std::string text;
  text.reserve(INPUT_BYTES + paragraph.size());
  while (text.size() < INPUT_BYTES) text += paragraph;
  return text;
}

// The processor time of this thread: on a machine shared with other work,
// the time a converter ran, not the time it waited for its turn.
double threadSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Times the converters of a row in turn, run after run, so that a busy
// machine slows each of them alike; the median rate of each, or -1 when it
// could not convert.
template <typename... Convert>
std::vector<double> medianMBs(const std::string& input, Convert... convert) {
  constexpr std::size_t n = sizeof...(Convert);
  std::vector<std::vector<double>> rates(n);
  std::vector<bool> failed(n, false);
  for (int run = 0; run < ROUNDS; ++run) {
    std::size_t i = 0;
    auto time = [&](auto& f) {
      double start = threadSeconds();
      if (!failed[i] && !f()) failed[i] = true;
      rates[i].push_back(input.size() / 1e6 / (threadSeconds() - start));
      ++i;
    };
    (time(convert), ...);
  }
  // The last entry: the median over runs of ours (first) against the faster
  // of the others in the same run, which a busy machine disturbs least.
  std::vector<double> ratios;
  for (int run = 0; run < ROUNDS; ++run) {
    double best = 0;
    for (std::size_t i = 1; i < n; ++i)
      if (!failed[i]) best = std::max(best, rates[i][run]);
    if (best > 0) ratios.push_back(rates[0][run] / best);
  }
  std::vector<double> medians;
  for (std::size_t i = 0; i < n; ++i) {
    std::sort(rates[i].begin(), rates[i].end());
    medians.push_back(failed[i] ? -1 : rates[i][rates[i].size() / 2]);
  }
  std::sort(ratios.begin(), ratios.end());
  medians.push_back(ratios.empty() ? -1 : ratios[ratios.size() / 2]);
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

// -1 when iconv refuses the text or the codeset. A converter opened with
// //IGNORE omits unmappable characters (what the iconv command's -c does) but
// still ends with EILSEQ, sometimes early: it is called again on the rest, as
// the iconv command does.
long convertIconv(iconv_t cd, const std::string& input, std::vector<char>& out) {
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  char* o = out.data();
  size_t outLeft = out.size();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  for (;;) {
    size_t before = inLeft;
    if (iconv(cd, &in, &inLeft, &o, &outLeft) != static_cast<size_t>(-1)) break;
    if (errno != EILSEQ || inLeft == before) return -1;
    if (inLeft == 0) break;
  }
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

void runRow(const bench::Row& row) {
  std::string input = repeated(bench::text(row));
  std::vector<char> out(input.size() * 2 + 16), peerOut(input.size() * 2 + 16);
  zel::CodesetConverter* converter = zel::openCodeset(row.ours);
  if (converter == nullptr) {
    std::printf("%-26s no table for %s\n", row.label, row.ours);
    return;
  }
  std::size_t ourBytes = convertOurs(converter, input, out);
  std::string iconvName = std::string(row.iconvName) + (row.halfUnmappable ? "//IGNORE" : "");
  iconv_t cd = iconv_open(iconvName.c_str(), "UTF-8");
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
  // Share of non-ASCII characters (continuation bytes are not characters).
  std::size_t nonAscii = 0, characters = 0;
  for (unsigned char c : input) {
    characters += (c & 0xC0) != 0x80 ? 1 : 0;
    nonAscii += c >= 0xC0 ? 1 : 0;
  }
  std::printf("%-26s %5.1f%%", row.label, 100.0 * nonAscii / characters);
  printRate(rates[0]);
  printRate(rates[1]);
  printRate(rates[2]);
  if (rates[3] > 0)
    std::printf(" %8.2f", rates[3]);
  else
    std::printf(" %8s", "n/a");
  std::printf("  %s\n", sameAsIconv ? "yes" : "no");
}

}  // namespace

// With an argument, only the rows whose label contains it (for profiling).
int main(int argc, char** argv) {
  if (std::getenv("ZELDIR") == nullptr) setenv("ZELDIR", ZAQ_DATA_DIR "/codesets", 1);
  std::printf("UTF-8 to codeset, MB/s of input per processor second (%zu MB inputs, median of %d runs)\n",
              INPUT_BYTES >> 20, ROUNDS);
  std::printf("%-26s %6s %10s %10s %10s %8s  %s\n", "row", "non-A", "ours", "iconv", "ICU", "ratio",
              "bytes = iconv");
  for (const bench::Row& row : bench::ROWS)
    if (argc < 2 || std::strstr(row.label, argv[1]) != nullptr) runRow(row);
  return 0;
}
