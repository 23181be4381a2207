// Comparing a translation with its reference, message by message.
#include "tools/zelgencat/translation_check.h"

#include "zel/format_rule.h"

namespace zelgencat {

namespace {

std::string where(const std::string& file, const SourceMessage& message) {
  return file + ":" + std::to_string(message.line);
}

std::string named(std::uint32_t setId, const SourceMessage& message) {
  return "message " + std::to_string(message.id) + " of set " + std::to_string(setId);
}

struct Checker {
  const std::string& referenceName;
  const std::string& translationName;
  std::vector<std::string> problems;

  void missing(std::uint32_t setId, const SourceMessage& m) {
    problems.push_back(where(referenceName, m) + ": " + named(setId, m) + " is missing from " +
                       translationName);
  }
  void extra(std::uint32_t setId, const SourceMessage& m) {
    problems.push_back(where(translationName, m) + ": " + named(setId, m) + " is not in " + referenceName);
  }
  void compare(std::uint32_t setId, const SourceMessage& reference, const SourceMessage& translation) {
    // The rule the service host applies at run time: what it would refuse
    // must not pass here.
    zel::FormatVerdict verdict = zel::checkFormat(translation.text, reference.text);
    if (verdict.fault == zel::FORMAT_USABLE) return;
    std::string problem =
        where(translationName, translation) + ": " + named(setId, translation) + ": " + verdict.reason;
    if (verdict.fault == zel::FORMAT_OTHER_ARGUMENTS) problem += " at " + where(referenceName, reference);
    problems.push_back(problem);
  }

  // Both lists ascend by number.
  void set(std::uint32_t setId, const std::vector<SourceMessage>* reference,
           const std::vector<SourceMessage>* translation) {
    static const std::vector<SourceMessage> none;
    const std::vector<SourceMessage>& a = reference != nullptr ? *reference : none;
    const std::vector<SourceMessage>& b = translation != nullptr ? *translation : none;
    std::size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
      if (j == b.size() || (i < a.size() && a[i].id < b[j].id)) {
        missing(setId, a[i++]);
      } else if (i == a.size() || b[j].id < a[i].id) {
        extra(setId, b[j++]);
      } else {
        compare(setId, a[i++], b[j++]);
      }
    }
  }
};

}  // namespace

std::vector<std::string> checkTranslation(const MessageCatalog& reference, const std::string& referenceName,
                                          const MessageCatalog& translation,
                                          const std::string& translationName) {
  Checker checker{referenceName, translationName, {}};
  const std::vector<SourceSet>& a = reference.sets;
  const std::vector<SourceSet>& b = translation.sets;
  std::size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    if (j == b.size() || (i < a.size() && a[i].id < b[j].id)) {
      checker.set(a[i].id, &a[i].messages, nullptr);
      ++i;
    } else if (i == a.size() || b[j].id < a[i].id) {
      checker.set(b[j].id, nullptr, &b[j].messages);
      ++j;
    } else {
      checker.set(a[i].id, &a[i].messages, &b[j].messages);
      ++i;
      ++j;
    }
  }
  return checker.problems;
}

}  // namespace zelgencat
