// zelconv: converts UTF-8 text into a codeset with the ZEL converters.
//
//   zelconv -t CODESET [-c] [FILE...]   (standard input when no file)
//   zelconv -l                           (the codesets found)
//
// The codeset is opened with openCodeset, so ZELDIR, BINDIR, the current
// directory, aliases and redirect files apply as in the library. Every input
// is read in large pieces into one buffer kept for the whole run: the calls
// cost little next to the conversion, and the piece the converter reads is
// still in the processor's cache from the copy. (Mapping a file instead costs
// more than the copy it saves: faulting in and unmapping the pages, and a
// first touch of each of them by the converter.) A UTF-8 sequence cut by a
// piece boundary is carried to the next piece. Bad UTF-8 is substituted, never an error; -c
// prints the number of substitutions to standard error. An input that ends
// inside a character is an error, as with iconv: the text before it is
// written, the cut bytes are not.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "codeset_list.h"
#include "raw_io.h"
#include "zel/convert.h"

namespace {

// Read pieces: large enough that the calls per byte vanish, small enough
// that a piece and its output stay in the processor's cache.
constexpr std::size_t PIECE_SIZE = 256u << 10;
// Room for a UTF-8 sequence cut by a piece boundary (at most three bytes).
constexpr std::size_t CARRY_ROOM = 8;
// Output is written whenever this much has been converted.
constexpr std::size_t OUTPUT_SIZE = 2 * PIECE_SIZE;

struct Run {
  zel::CodesetConverter* converter;
  std::unique_ptr<char[]> input{new char[CARRY_ROOM + PIECE_SIZE]};
  std::unique_ptr<char[]> output{new char[OUTPUT_SIZE]};
  unsigned long long substitutions = 0;
  int writeError = 0;  // errno of the first failed write; later output is dropped
};

// Converts count bytes at in (a null in closes an open double-byte run),
// writing the output as it fills; returns the bytes left unconsumed, a
// sequence cut by the end of the piece.
std::size_t convertPiece(Run* run, const char* in, std::size_t count) {
  for (;;) {
    char* out = run->output.get();
    std::size_t outCount = OUTPUT_SIZE;
    std::uint16_t before = run->converter->substitutions;
    zel::ConvStatus status =
        zel::convFromUtf8(run->converter, in != nullptr ? &in : nullptr, &count, &out, &outCount);
    run->substitutions += static_cast<std::uint16_t>(run->converter->substitutions - before);
    std::size_t written = OUTPUT_SIZE - outCount;
    if (written > 0 && run->writeError == 0 &&
        !zelconv::writeAll(zelconv::STANDARD_OUTPUT, run->output.get(), written))
      run->writeError = errno != 0 ? errno : EIO;
    if (status != zel::CONV_OUTPUT_FULL) return in != nullptr ? count : 0;
  }
}

struct InputEnd {
  bool readFailed = false;
  std::size_t cut = 0;  // bytes of a UTF-8 sequence cut by the end of the input
};

// Converts the input piece by piece, the bytes of a sequence cut by the end
// of one piece moved before the next.
InputEnd convertInput(Run* run, int fd) {
  char* buffer = run->input.get();
  InputEnd end;
  for (;;) {
    long n = zelconv::readSome(fd, buffer + end.cut, PIECE_SIZE);
    if (n <= 0) {
      end.readFailed = n < 0;
      return end;
    }
    std::size_t total = end.cut + static_cast<std::size_t>(n);
    end.cut = convertPiece(run, buffer, total);
    std::memmove(buffer, buffer + total - end.cut, end.cut);
  }
}

// Converts the named input ("-" or none: standard input); false after a
// reported error.
bool convertNamed(Run* run, const char* path) {
  bool standardInput = path == nullptr || std::strcmp(path, "-") == 0;
  const char* name = standardInput ? "standard input" : path;
  int fd = standardInput ? zelconv::STANDARD_INPUT : zelconv::openForReading(path);
  if (fd < 0) {
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the tool runs on one thread
    std::fprintf(stderr, "zelconv: cannot open %s: %s\n", path, std::strerror(errno));
    return false;
  }
  InputEnd end = convertInput(run, fd);
  if (!standardInput) zelconv::closeInput(fd);
  if (end.readFailed) {
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the tool runs on one thread
    std::fprintf(stderr, "zelconv: cannot read %s: %s\n", name, std::strerror(errno));
    return false;
  }
  if (end.cut > 0) {
    std::fprintf(stderr, "zelconv: %s: the input ends inside a character (%zu byte%s of a UTF-8 sequence)\n",
                 name, end.cut, end.cut == 1 ? "" : "s");
    return false;
  }
  return true;
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
  if (first == argc && !convertNamed(&run, nullptr)) status = 1;
  for (int i = first; i < argc; ++i)
    if (!convertNamed(&run, argv[i])) status = 1;
  convertPiece(&run, nullptr, 0);  // closes an open double-byte run
  if (count) std::fprintf(stderr, "%llu\n", run.substitutions);
  if (run.writeError != 0) {
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the tool runs on one thread
    std::fprintf(stderr, "zelconv: cannot write the output: %s\n", std::strerror(run.writeError));
    status = 1;
  }
  return status;
}
