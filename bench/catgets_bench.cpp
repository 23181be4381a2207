// catgets of present messages and catopen plus a first lookup: ours against
// glibc's catgets on the same English messages compiled with glibc's gencat,
// and ours on those messages written with sets and messages in reverse order
// (a file that the loader sorts).
#include <nl_types.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "zel/catalog_format.h"
#include "zel/catalogs.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const int messageNumbers[] = {5, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27};
constexpr int MESSAGE_COUNT = sizeof messageNumbers / sizeof messageNumbers[0];

double nanosecondsSince(Clock::time_point start, double calls) {
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / calls;
}

template <typename Lookup>
double lookupNanoseconds(Lookup lookup, int rounds, std::size_t* checksum) {
  std::size_t sum = 0;
  Clock::time_point start = Clock::now();
  for (int r = 0; r < rounds; ++r)
    for (int id : messageNumbers) sum += static_cast<unsigned char>(lookup(id)[0]);
  double result = nanosecondsSince(start, static_cast<double>(rounds) * MESSAGE_COUNT);
  *checksum += sum;
  return result;
}

// The cost of the call and the loop alone: a lookup that finds nothing.
[[gnu::noinline]] const char* noLookup(std::intptr_t, int, int, const char* defaultText) {
  asm volatile("");
  return defaultText;
}

struct ImageMessage {
  std::uint32_t id;
  std::string text;
};
struct ImageSet {
  std::uint32_t id;
  std::vector<ImageMessage> messages;
};

// The open catalog's texts as a catalog image with its sets and the messages
// of each in reverse order.
std::string reversedImage(zel::Catalog* catalog) {
  std::vector<ImageSet> sets;
  for (std::int32_t i = catalog->setCount - 1; i >= 0; --i) {
    const zel::CatalogSet* set = zel::findSet(catalog, catalog->sets[i].setId);
    ImageSet reversed{static_cast<std::uint32_t>(set->setId), {}};
    for (std::uint32_t m = set->messageCount; m-- > 0;)
      reversed.messages.push_back(
          {static_cast<std::uint32_t>(set->messages[m].msgId), set->messages[m].text});
    sets.push_back(reversed);
  }
  return zel::writeCatalogImage(sets);
}

bool compileWithGencat(const fs::path& source, const fs::path& catalog) {
  std::string command = "gencat '" + catalog.string() + "' '" + source.string() + "'";
  return std::system(command.c_str()) == 0;
}

}  // namespace

int main() {
  fs::path ours = fs::path(ZAQ_DATA_DIR) / "messages" / "winServCMessages.cat";
  fs::path source =
      fs::path(__FILE__).parent_path().parent_path() / "messages" / "en" / "winServCMessages.msg";
  fs::path work = fs::temp_directory_path() / ("catgets_bench_" + std::to_string(::getpid()));
  fs::create_directories(work);
  fs::path theirs = work / "glibc.cat";
  if (!fs::exists(ours) || !compileWithGencat(source, theirs)) {
    std::fprintf(stderr, "catgets_bench: need %s (build the bench preset) and glibc's gencat\n",
                 ours.c_str());
    return 1;
  }
  zel::CatalogHandle handle = zel::catopen(ours.c_str(), 0);
  nl_catd glibc = ::catopen(theirs.c_str(), 0);
  if (handle == zel::CAT_INVALID_HANDLE || glibc == reinterpret_cast<nl_catd>(-1)) {
    std::fprintf(stderr, "catgets_bench: cannot open the catalogs\n");
    return 1;
  }
  fs::path reversedPath = work / "reversed.cat";
  {
    std::string image = reversedImage(reinterpret_cast<zel::Catalog*>(handle));
    std::FILE* out = std::fopen(reversedPath.string().c_str(), "wb");
    if (out == nullptr || std::fwrite(image.data(), 1, image.size(), out) != image.size() ||
        std::fclose(out) != 0) {
      std::fprintf(stderr, "catgets_bench: cannot write %s\n", reversedPath.string().c_str());
      return 1;
    }
  }
  zel::CatalogHandle reversed = zel::catopen(reversedPath.string().c_str(), 0);
  for (int id : messageNumbers)
    if (reversed == zel::CAT_INVALID_HANDLE ||
        std::string(zel::catgets(reversed, 2, id, "-")) != zel::catgets(handle, 2, id, "+")) {
      std::fprintf(stderr, "catgets_bench: the reversed catalog does not answer message 2/%d\n", id);
      return 1;
    }
  std::size_t checksum = 0;
  const int rounds = 100000;
  // Best of several alternating trials: the machine may be shared.
  double zelLookup = 1e9, glibcLookup = 1e9, callOnly = 1e9, reversedLookup = 1e9;
  for (int trial = 0; trial < 9; ++trial) {
    zelLookup = std::min(
        zelLookup,
        lookupNanoseconds([&](int id) { return zel::catgets(handle, 2, id, "-"); }, rounds, &checksum));
    reversedLookup = std::min(
        reversedLookup,
        lookupNanoseconds([&](int id) { return zel::catgets(reversed, 2, id, "-"); }, rounds, &checksum));
    glibcLookup =
        std::min(glibcLookup,
                 lookupNanoseconds([&](int id) { return ::catgets(glibc, 2, id, "-"); }, rounds, &checksum));
    callOnly = std::min(
        callOnly, lookupNanoseconds([&](int id) { return noLookup(handle, 2, id, "-"); }, rounds, &checksum));
  }

  // Opening: ours reads a file not yet in the table (each copy a new path) and
  // loads set 2 on the first lookup; glibc maps the file on every open.
  const int opens = 2000;
  std::vector<std::string> copies;
  for (int i = 0; i < opens; ++i) {
    copies.push_back((work / ("copy" + std::to_string(i) + ".cat")).string());
    fs::copy_file(ours, copies.back(), fs::copy_options::overwrite_existing);
  }
  Clock::time_point start = Clock::now();
  for (const std::string& copy : copies) {
    zel::CatalogHandle h = zel::catopen(copy.c_str(), 0);
    checksum += static_cast<unsigned char>(zel::catgets(h, 2, 7, "-")[0]);
    zel::catclose(h);
  }
  double zelOpen = nanosecondsSince(start, opens);
  std::vector<std::string> reversedCopies;
  for (int i = 0; i < opens; ++i) {
    reversedCopies.push_back((work / ("reversed" + std::to_string(i) + ".cat")).string());
    fs::copy_file(reversedPath, reversedCopies.back(), fs::copy_options::overwrite_existing);
  }
  start = Clock::now();
  for (const std::string& copy : reversedCopies) {
    zel::CatalogHandle h = zel::catopen(copy.c_str(), 0);
    checksum += static_cast<unsigned char>(zel::catgets(h, 2, 7, "-")[0]);
    zel::catclose(h);
  }
  double reversedOpen = nanosecondsSince(start, opens);
  start = Clock::now();
  for (int i = 0; i < opens; ++i) {
    zel::CatalogHandle h = zel::catopen(ours.c_str(), 0);
    checksum += static_cast<unsigned char>(zel::catgets(h, 2, 7, "-")[0]);
  }
  double zelReopen = nanosecondsSince(start, opens);
  start = Clock::now();
  for (int i = 0; i < opens; ++i) {
    nl_catd d = ::catopen(theirs.c_str(), 0);
    checksum += static_cast<unsigned char>(::catgets(d, 2, 7, "-")[0]);
    ::catclose(d);
  }
  double glibcOpen = nanosecondsSince(start, opens);
  ::catclose(glibc);
  fs::remove_all(work);

  std::printf("catgets of a present message (set 2, %d messages, best of 9 trials of %d rounds)\n",
              MESSAGE_COUNT, rounds);
  std::printf("  zel::catgets                %8.2f ns/call\n", zelLookup);
  std::printf("  glibc catgets               %8.2f ns/call\n", glibcLookup);
  std::printf("  zel::catgets, reversed file %8.2f ns/call (sets and messages in reverse order)\n",
              reversedLookup);
  std::printf("  an empty call and the loop  %8.2f ns/call (a function of the same signature)\n", callOnly);
  std::printf("  ratio zel/glibc             %8.2f (target at most 0.50)\n", zelLookup / glibcLookup);
  std::printf("  ratio net of the empty call %8.2f\n", (zelLookup - callOnly) / (glibcLookup - callOnly));
  std::printf("catopen + first lookup of set 2 (%d opens)\n", opens);
  std::printf("  zel, file not yet open    %10.0f ns\n", zelOpen);
  std::printf("  zel, reversed, not yet open %8.0f ns\n", reversedOpen);
  std::printf("  zel, catalog already open %10.0f ns\n", zelReopen);
  std::printf("  glibc                     %10.0f ns\n", glibcOpen);
  std::printf("(checksum %zu)\n", checksum);
  return 0;
}
