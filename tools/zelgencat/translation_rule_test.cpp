// One rule decides whether a translated text may replace the English one as a
// printf format: the same cases run through the rule itself, the translator's
// check in the build and the service host's choice at run time, which must
// all agree, so that a translation the build accepts is never refused later.
#include <gtest/gtest.h>

#include <string>

#include "tools/zelgencat/message_source.h"
#include "tools/zelgencat/translation_check.h"
#include "winservice/message_table.h"
#include "zel/format_rule.h"

namespace {

// text as a quoted string of the message source format.
std::string quoted(const std::string& text) {
  std::string source = "\"";
  for (char c : text) {
    if (c == '\n') {
      source += "\\n";
    } else {
      if (c == '"' || c == '\\') source += '\\';
      source += c;
    }
  }
  return source + "\"";
}

zelgencat::MessageCatalog oneMessage(const std::string& text, const char* fileName) {
  zelgencat::MessageCatalog catalog;
  zelgencat::ParseState state;
  std::string error;
  std::string source = "$quote \"\n$set 2\n19 " + quoted(text) + "\n";
  EXPECT_TRUE(zelgencat::parseMessageSource(source, fileName, state, catalog, error)) << error;
  return catalog;
}

TEST(TranslationRule, TheBuildAndTheHostAcceptTheSameTexts) {
  struct Case {
    const char* english;
    const char* translation;
    bool usable;
    const char* reason;  // part of the refusal
  } cases[] = {
      {"%s has started.\n", "%s a d\xC3\xA9marr\xC3\xA9.\n", true, ""},
      {"Windows CreateProcess for command '%s' failed. Error code %i\n", "Commande '%s' : erreur %d\n", true,
       ""},
      {"no conversion", "keine", true, ""},
      {"%s", "100%% %-20s", true, ""},
      // Flags, widths, precisions and the base are free; the host's printf
      // groups digits with "'" (in the C locale it adds nothing).
      {"%-20s|%5.2f|%x", "%s|%.1f|%u", true, ""},
      {"%i", "%'d", true, ""},
      {"%g", "%f", true, ""},
      {"%x", "%#o", true, ""},
      // Widths and precisions up to the longest text a message carries.
      {"%s", "%4095s", true, ""},
      {"%s", "%-4095s", true, ""},
      {"%s", "%.4095s", true, ""},
      {"%i", "%04095d", true, ""},
      {"Debugging the %s...\n", "Debugging the %2147483647s...\n", false, "width is over 4095"},
      {"%s has started.\n", "%-2147483647s has started.\n", false, "width is over 4095"},
      {"%s", "%4096s", false, "width is over 4095"},
      {"%s", "%999999999s", false, "width is over 4095"},
      {"%s", "%99999999999999999999999999s", false, "width is over 4095"},
      {"%s", "%.4096s", false, "precision is over 4095"},
      {"%i", "%.2147483648d", false, "precision is over 4095"},
      // Arguments the English text does not give.
      {"%s %d", "%d %s", false, "differ"},
      {"%s", "%d", false, "differ"},
      {"%d", "%ld", false, "differ"},
      {"%d", "%u", false, "differ"},
      {"%s", "%c", false, "differ"},
      {"%s done", "fini", false, "differ"},
      {"%s", "%s %s", false, "differ"},
      {"%s at 50%%", "%s \xC3\xA0 50 % de", false, "differ"},  // "% d" is a conversion
      {"%d", "%*d", false, "argument of its own"},
      {"%s", "%.*s", false, "argument of its own"},
      {"%s", "%1$s", false, "by number"},
      {"%s", "%n%s", false, "writes to memory"},
      // Conversions the host's printf does not know, or knows differently.
      {"%s", "%s %", false, "ends inside"},
      {"%s", "%y%s", false, "not a conversion"},
      {"%s", "%m%s", false, "not a conversion"},
      {"%s", "%S", false, "not a conversion"},
      {"%i", "%I64d", false, "not a conversion"},
      {"%i", "%qd", false, "not a conversion"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.english) + " / " + c.translation);
    zel::FormatVerdict verdict = zel::checkFormat(c.translation, c.english);
    EXPECT_EQ(verdict.fault == zel::FORMAT_USABLE, c.usable);
    EXPECT_NE(verdict.reason.find(c.reason), std::string::npos) << verdict.reason;
    // The build: zelgencat --check of a translation holding the text.
    std::vector<std::string> problems = zelgencat::checkTranslation(
        oneMessage(c.english, "en.msg"), "en.msg", oneMessage(c.translation, "fr.msg"), "fr.msg");
    ASSERT_EQ(problems.size(), c.usable ? 0u : 1u);
    if (!c.usable) {
      std::string where = verdict.fault == zel::FORMAT_OTHER_ARGUMENTS ? " at en.msg:3" : "";
      EXPECT_EQ(problems[0], "fr.msg:3: message 19 of set 2: " + verdict.reason + where);
    }
    // The host at run time: the catalog's text is used, or the default.
    EXPECT_EQ(zaq::catalogTextUsable(c.translation, c.english), c.usable);
  }
}

}  // namespace
