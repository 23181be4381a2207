// zelconv: converts UTF-8 text into a codeset with the ZEL converters.
//
//   zelconv -t CODESET [-c] [FILE...]   (standard input when no file)
//   zelconv -l                           (the codesets found)
//
// The codeset is opened with openCodeset, so ZELDIR, BINDIR, the current
// directory, aliases and redirect files apply as in the library. Input is
// converted in pieces of bounded size; a UTF-8 sequence cut by a piece
// boundary is carried to the next piece. Bad UTF-8 is substituted, never an
// error; -c prints the number of substitutions to standard error.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "codeset_list.h"
#include "zel/convert.h"

namespace {

constexpr std::size_t kPieceSize = 4096;
constexpr std::size_t kOutputSize = 8192;

struct Run {
  zel::CodesetConverter* converter;
  unsigned long long substitutions = 0;
  bool writeFailed = false;
};

// Converts all of *in (up to count bytes), writing the output as it fills;
// returns the bytes left unconsumed (a cut UTF-8 sequence).
std::size_t convertPiece(Run* run, const char* in, std::size_t count) {
  for (;;) {
    char output[kOutputSize];
    char* out = output;
    std::size_t outCount = sizeof output;
    std::uint16_t before = run->converter->substitutions;
    int status = zel::convFromUtf8(run->converter, in != nullptr ? &in : nullptr, &count, &out, &outCount);
    run->substitutions += static_cast<std::uint16_t>(run->converter->substitutions - before);
    std::size_t written = sizeof output - outCount;
    if (written > 0 && std::fwrite(output, 1, written, stdout) != written) run->writeFailed = true;
    if (status != zel::CONV_OUTPUT_FULL) return in != nullptr ? count : 0;
  }
}

// Converts one stream; false when it could not be read.
bool convertStream(Run* run, std::FILE* f) {
  std::vector<char> buffer(kPieceSize + 8);
  std::size_t carried = 0;
  for (;;) {
    std::size_t n = std::fread(buffer.data() + carried, 1, kPieceSize, f);
    if (n == 0) break;
    std::size_t total = carried + n;
    carried = convertPiece(run, buffer.data(), total);
    std::memmove(buffer.data(), buffer.data() + total - carried, carried);
  }
  // A sequence cut by the end of the stream is dropped, as fromUtf8String does.
  return !std::ferror(f);
}

// The converter lives until the process ends, like every converter.
zel::CodesetConverter* openedConverter = nullptr;

int usage() {
  std::fprintf(stderr, "usage: zelconv -t CODESET [-c] [FILE...]\n       zelconv -l\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const char* codeset = nullptr;
  bool count = false;
  int first = 1;
  for (; first < argc && argv[first][0] == '-' && argv[first][1] != '\0'; ++first) {
    std::string option = argv[first];
    if (option == "-l") {
      for (const std::string& name : zelconv::listCodesets()) std::printf("%s\n", name.c_str());
      return 0;
    }
    if (option == "-c") {
      count = true;
    } else if (option == "-t" && first + 1 < argc) {
      codeset = argv[++first];
    } else if (option == "--") {
      ++first;
      break;
    } else {
      return usage();
    }
  }
  if (codeset == nullptr) return usage();
  openedConverter = zel::openCodeset(codeset);
  Run run{openedConverter};
  if (run.converter == nullptr) {
    std::fprintf(stderr, "zelconv: unknown codeset %s (no table found)\n", codeset);
    return 1;
  }
  run.converter->encodeShift = 0;
  int status = 0;
  if (first == argc && !convertStream(&run, stdin)) {
    std::fprintf(stderr, "zelconv: cannot read standard input\n");
    status = 1;
  }
  for (int i = first; i < argc; ++i) {
    std::FILE* f = std::strcmp(argv[i], "-") == 0 ? stdin : std::fopen(argv[i], "rb");
    if (f == nullptr) {
      std::fprintf(stderr, "zelconv: cannot open %s: %s\n", argv[i], std::strerror(errno));
      status = 1;
      continue;
    }
    if (!convertStream(&run, f)) {
      std::fprintf(stderr, "zelconv: cannot read %s\n", argv[i]);
      status = 1;
    }
    if (f != stdin) std::fclose(f);
  }
  convertPiece(&run, nullptr, 0);  // closes an open double-byte run
  if (count) std::fprintf(stderr, "%llu\n", run.substitutions);
  if (std::fflush(stdout) != 0 || run.writeFailed) {
    std::fprintf(stderr, "zelconv: cannot write the output\n");
    status = 1;
  }
  return status;
}
