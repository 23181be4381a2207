// zelgencat's commands: compile sources into a catalog file, and dump one.
#include "tools/zelgencat/compiler.h"

#include <cstdio>
#include <string>

#include "tools/zelgencat/catalog_image.h"
#include "tools/zelgencat/message_source.h"
#include "tools/zelgencat/translation_check.h"

namespace zelgencat {

namespace {

bool readWholeFile(const std::string& path, std::string& contents) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char buffer[8192];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) contents.append(buffer, got);
  bool ok = std::ferror(file) == 0;
  std::fclose(file);
  return ok;
}

// Writes beside the target and renames, so a failed write leaves no catalog behind.
bool writeWholeFile(const std::string& path, const std::string& contents) {
  std::string temporary = path + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(contents.data(), 1, contents.size(), file) == contents.size();
  ok = std::fclose(file) == 0 && ok;
  if (ok) {
    std::remove(path.c_str());
    ok = std::rename(temporary.c_str(), path.c_str()) == 0;
  }
  if (!ok) std::remove(temporary.c_str());
  return ok;
}

// Reads and parses one source file on its own; false after writing the error.
bool readSource(const std::string& path, MessageCatalog& catalog, std::FILE* err) {
  std::string text, error;
  ParseState state;
  if (!readWholeFile(path, text)) {
    std::fprintf(err, "zelgencat: cannot read %s\n", path.c_str());
    return false;
  }
  if (!parseMessageSource(text, path, state, catalog, error)) {
    std::fprintf(err, "zelgencat: %s\n", error.c_str());
    return false;
  }
  return true;
}

}  // namespace

int compileCatalog(const std::string& catalogPath, const std::vector<std::string>& sources, std::FILE* err) {
  MessageCatalog catalog;
  ParseState state;
  for (const std::string& source : sources) {
    std::string text, error;
    if (!readWholeFile(source, text)) {
      std::fprintf(err, "zelgencat: cannot read %s\n", source.c_str());
      return 1;
    }
    if (!parseMessageSource(text, source, state, catalog, error)) {
      std::fprintf(err, "zelgencat: %s\n", error.c_str());
      return 1;
    }
  }
  if (catalog.sets.empty()) {
    std::fprintf(err, "zelgencat: no $set in the sources; a catalog needs at least one set\n");
    return 1;
  }
  if (!writeWholeFile(catalogPath, encodeCatalog(catalog))) {
    std::fprintf(err, "zelgencat: cannot write %s\n", catalogPath.c_str());
    return 1;
  }
  return 0;
}

int checkTranslations(const std::string& referencePath, const std::vector<std::string>& translationPaths,
                      std::FILE* err) {
  MessageCatalog reference;
  if (!readSource(referencePath, reference, err)) return 1;
  int status = 0;
  for (const std::string& path : translationPaths) {
    MessageCatalog translation;
    if (!readSource(path, translation, err)) {
      status = 1;
      continue;
    }
    for (const std::string& problem : checkTranslation(reference, referencePath, translation, path)) {
      std::fprintf(err, "%s\n", problem.c_str());
      status = 1;
    }
  }
  return status;
}

int dumpCatalog(const std::string& catalogPath, std::FILE* out, std::FILE* err) {
  std::string image, error;
  MessageCatalog catalog;
  if (!readWholeFile(catalogPath, image)) {
    std::fprintf(err, "zelgencat: cannot read %s\n", catalogPath.c_str());
    return 1;
  }
  if (!decodeCatalog(image, catalog, error)) {
    std::fprintf(err, "zelgencat: %s: %s\n", catalogPath.c_str(), error.c_str());
    return 1;
  }
  std::string source = formatMessageSource(catalog);
  return std::fwrite(source.data(), 1, source.size(), out) == source.size() ? 0 : 1;
}

}  // namespace zelgencat
