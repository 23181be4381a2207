#include "winservice/config_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

// The readers over a file holding exactly content.
struct ContentFile {
  std::FILE* file;
  explicit ContentFile(const std::string& content) : file(std::tmpfile()) {
    if (file == nullptr) return;
    std::fwrite(content.data(), 1, content.size(), file);
    std::rewind(file);
  }
  ~ContentFile() {
    if (file != nullptr) std::fclose(file);
  }
};

std::string jvmOptions(const std::string& content, int defaultPort = 1952) {
  ContentFile f(content);
  EXPECT_NE(f.file, nullptr);
  std::string options;
  zaq::readJvmOptionsFrom(f.file, options, defaultPort);
  return options;
}

std::string jdbcEntries(const std::string& content) {
  ContentFile f(content);
  EXPECT_NE(f.file, nullptr);
  std::string classPath = "cp";
  zaq::appendJdbcJarsFrom(f.file, classPath);
  return classPath;
}

TEST(ReadJvmOptions, FollowsTheLinesOfTheFile) {
  struct Case {
    const char* name;
    std::string content;
    std::string expected;
  } cases[] = {
      {"file order", "jvm.heap.max=512m\njvm.heap.init=64m\n", " -Xmx512m -Xms64m -Dtrova.logCmdPort=1952 "},
      {"all keys", "jvm.thread.stack.size=1m\njvm.heap.init=64m\njvm.heap.max=1g\ntrova.port=4000\n",
       " -Xss1m -Xms64m -Xmx1g -Dtrova.logCmdPort=4000"},
      {"comment", "#jvm.heap.max=1g\n", " -Dtrova.logCmdPort=1952 "},
      {"blank before #", " #jvm.heap.max=1g\n", " -Xmx1g -Dtrova.logCmdPort=1952 "},
      {"empty value", "jvm.heap.max=\n", " -Dtrova.logCmdPort=1952 "},
      {"empty port", "trova.port=\n", ""},
      {"port", "trova.port=4711\n", " -Dtrova.logCmdPort=4711"},
      {"substring match", "xjvm.heap.max=256m\n", " -Xmx256m -Dtrova.logCmdPort=1952 "},
      {"blank before =", "jvm.heap.max = 512m\n", " -Dtrova.logCmdPort=1952 "},
      {"no trailing comments", "jvm.heap.max=512m # old\n", " -Xmx512m # old -Dtrova.logCmdPort=1952 "},
      {"crlf and blanks", "jvm.heap.max=512m  \r\n", " -Xmx512m -Dtrova.logCmdPort=1952 "},
      {"first = before key", "a=b jvm.heap.max=1g\n", " -Xmxb jvm.heap.max=1g -Dtrova.logCmdPort=1952 "},
      {"two keys on a line", "jvm.heap.init=jvm.heap.max=1\n",
       " -Xmsjvm.heap.max=1 -Xmxjvm.heap.max=1 -Dtrova.logCmdPort=1952 "},
      {"keystore appends nothing", "server.keystore.password=secret\n", " -Dtrova.logCmdPort=1952 "},
      {"no final line end", "jvm.heap.max=512m", " -Xmx512m -Dtrova.logCmdPort=1952 "},
      {"empty file", "", " -Dtrova.logCmdPort=1952 "},
      {"empty lines", "\n\n\r\n", " -Dtrova.logCmdPort=1952 "},
      {"sixth key line unread",
       "jvm.heap.max=\nserver.keystore.password=x\njvm.heap.init=1m\njvm.heap.init=2m\njvm.heap.init=3m\n"
       "trova.port=9\n",
       " -Xms1m -Xms2m -Xms3m -Dtrova.logCmdPort=1952 "},
  };
  for (const Case& c : cases) EXPECT_EQ(jvmOptions(c.content), c.expected) << c.name;
}

// Files as editors save them; each case also names what is reported.
TEST(ReadJvmOptions, TakesFilesAsEditorsWriteThem) {
  struct Case {
    const char* name;
    std::string content;
    std::string expected;
    std::string leftOut;  // the key reported, "" for none, "file" for the file
  } cases[] = {
      {"byte-order mark before a comment", "\xEF\xBB\xBF#jvm.heap.max=1g\njvm.heap.init=1m\n",
       " -Xms1m -Dtrova.logCmdPort=1952 ", ""},
      {"byte-order mark before a key", "\xEF\xBB\xBFjvm.heap.max=1g\n", " -Xmx1g -Dtrova.logCmdPort=1952 ",
       ""},
      {"byte-order mark alone", "\xEF\xBB\xBF", " -Dtrova.logCmdPort=1952 ", ""},
      {"byte-order mark later is text", "x=1\n\xEF\xBB\xBF#jvm.heap.max=1g\n",
       " -Xmx1g -Dtrova.logCmdPort=1952 ", ""},
      {"blank after =", "trova.port= 2000\n", " -Dtrova.logCmdPort=2000", ""},
      {"blanks and tabs after =", "jvm.heap.max= \t 512m\n", " -Xmx512m -Dtrova.logCmdPort=1952 ", ""},
      {"tab at the end", "jvm.heap.max=512m\t\n", " -Xmx512m -Dtrova.logCmdPort=1952 ", ""},
      {"blanks and tabs at the end", "jvm.heap.max=512m \t \r\n", " -Xmx512m -Dtrova.logCmdPort=1952 ", ""},
      {"only blanks after =", "trova.port=  \t\n", "", ""},
      {"blank inside is kept", "jvm.heap.max=5 12m\n", " -Xmx5 12m -Dtrova.logCmdPort=1952 ", ""},
      {"unmatched quote", "jvm.heap.max=\"512m\njvm.heap.init=1m\n", " -Xms1m -Dtrova.logCmdPort=1952 ",
       "jvm.heap.max"},
      {"unmatched quote in the port", "trova.port=\"2000\n", "", "trova.port"},
      {"matched quotes pass as they are", "jvm.heap.max=\"512m\"\n", " -Xmx\"512m\" -Dtrova.logCmdPort=1952 ",
       ""},
      // A quote after an odd number of backslashes is the value's own, as the
      // Java VM reads its command line.
      {"escaped quote", "jvm.heap.max=512m -Dq=\\\"\n", " -Xmx512m -Dq=\\\" -Dtrova.logCmdPort=1952 ", ""},
      {"escaped quote inside quotes", "jvm.heap.max=\"a\\\"b\"\n", " -Xmx\"a\\\"b\" -Dtrova.logCmdPort=1952 ",
       ""},
      {"escaped quote and an unmatched one", "jvm.heap.max=\"a\\\"\n", " -Dtrova.logCmdPort=1952 ",
       "jvm.heap.max"},
      {"escaped backslash before a quote", "jvm.heap.max=a\\\\\"\n", " -Dtrova.logCmdPort=1952 ",
       "jvm.heap.max"},
      {"three backslashes before a quote", "jvm.heap.max=a\\\\\\\"\n",
       " -Xmxa\\\\\\\" -Dtrova.logCmdPort=1952 ", ""},
      {"UTF-16", std::string("\xFF\xFEj\0v\0m\0.\0h\0e\0a\0p\0.\0m\0a\0x\0=\0\x31\0g\0\n\0", 30),
       " -Dtrova.logCmdPort=1952 ", "file"},
      {"UTF-16 big-endian", std::string("\xFE\xFF\0j\0v\0m\0=\0\x31\0\n", 14), " -Dtrova.logCmdPort=1952 ",
       "file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ContentFile f(c.content);
    ASSERT_NE(f.file, nullptr);
    std::string options;
    zaq::ConfigNotices notices;
    zaq::readJvmOptionsFrom(f.file, options, 1952, &notices, "C:\\A\\client.pref");
    EXPECT_EQ(options, c.expected);
    if (c.leftOut.empty()) {
      EXPECT_TRUE(notices.empty());
    } else {
      ASSERT_EQ(notices.size(), 1u);
      EXPECT_EQ(notices[0].file, "C:\\A\\client.pref");
      EXPECT_EQ(notices[0].key, c.leftOut == "file" ? "" : c.leftOut);
    }
  }
}

TEST(ReadJvmOptions, AFileThatCannotBeReadIsNotedOnceAndAMissingOneNot) {
  std::string dir = std::string(ZAQ_BINARY_DIR) + "/config_files_scratch";
  std::filesystem::remove_all(dir);
  zaq::ConfigNotices notices;
  std::string options, classPath = "cp";
  // A folder of the file's name. The readers build dir + "\\" + name, which a
  // POSIX file system takes as one name: the folder is made under that name.
  std::filesystem::create_directories(dir + "/folder\\server.ini");
  zaq::readJvmOptions(options, zaq::LAUNCH_SERVER, (dir + "/folder").c_str(), 1953, &notices);
  zaq::appendJdbcJars(classPath, (dir + "/folder").c_str(), &notices);
  EXPECT_EQ(options, " -Dtrova.logCmdPort=1953 ");
  EXPECT_EQ(classPath, "cp");
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].file, dir + "/folder\\server.ini");
  EXPECT_EQ(notices[0].key, "");
  zaq::ConfigNotices none;
  zaq::readJvmOptions(options, zaq::LAUNCH_AGENT, (dir + "/missing").c_str(), 1952, &none);
  EXPECT_TRUE(none.empty());
  std::filesystem::remove_all(dir);
}

TEST(ReadJvmOptions, AppendsAndUsesTheCallersDefaultPort) {
  ContentFile f("jvm.heap.max=2g\n");
  std::string options = "java";
  zaq::readJvmOptionsFrom(f.file, options, 1953);
  EXPECT_EQ(options, "java -Xmx2g -Dtrova.logCmdPort=1953 ");
  std::string missing = "java";
  zaq::readJvmOptionsFrom(nullptr, missing, 1953);
  EXPECT_EQ(missing, "java -Dtrova.logCmdPort=1953 ");
}

TEST(ReadJvmOptions, LongLinesAreReadInPiecesOfAtMost1023) {
  // The piece after the first 1023 characters is a line of its own.
  std::string content = std::string(1023, 'a') + "jvm.heap.max=3g\n";
  EXPECT_EQ(jvmOptions(content), " -Xmx3g -Dtrova.logCmdPort=1952 ");
  // A huge value is cut at the piece, never written past the line buffer.
  std::string huge = "jvm.heap.max=" + std::string(5000, '9') + "\n";
  EXPECT_EQ(jvmOptions(huge), " -Xmx" + std::string(1023 - 13, '9') + " -Dtrova.logCmdPort=1952 ");
}

TEST(AppendJdbcJars, TakesTheFirstKeyLine) {
  struct Case {
    const char* name;
    std::string content;
    std::string expected;
  } cases[] = {
      {"plain", "db.jdbc_jar=C:\\drivers\\jdbc\\driver.zip\n",
       "cp;C:\\drivers\\jdbc\\driver.zip;C:\\drivers\\jdbc\\rx9jcc.jar"},
      {"blank quotes both", "db.jdbc_jar=C:\\Program Files\\drv\\driver.zip\r\n",
       "cp;\"C:\\Program Files\\drv\\driver.zip\";\"C:\\Program Files\\drv\\rx9jcc.jar\""},
      {"first line wins", "x=1\ndb.jdbc_jar=a\\b.zip\ndb.jdbc_jar=c\\d.zip\n", "cp;a\\b.zip;a\\rx9jcc.jar"},
      {"comment skipped", "#db.jdbc_jar=a\\b.zip\ndb.jdbc_jar=c\\d.zip\n", "cp;c\\d.zip;c\\rx9jcc.jar"},
      {"no directory part", "db.jdbc_jar=driver.zip\n", "cp;driver.zip;rx9jcc.jar"},
      {"no key", "jvm.heap.max=1g\n", "cp"},
      {"no equals sign", "db.jdbc_jar\n", "cp"},
      {"empty value", "db.jdbc_jar=\n", "cp;;rx9jcc.jar"},
      {"only blanks", "db.jdbc_jar= \t \r\n", "cp;;rx9jcc.jar"},
      {"trailing backslash quoted", "db.jdbc_jar=C:\\a b\\\n", "cp;\"C:\\a b\\\\\";\"C:\\a b\\rx9jcc.jar\""},
      {"byte-order mark",
       "\xEF\xBB\xBF"
       "db.jdbc_jar=a\\b.zip\n",
       "cp;a\\b.zip;a\\rx9jcc.jar"},
      {"blanks around the value", "db.jdbc_jar= \tC:\\d\\x.zip \t\r\n", "cp;C:\\d\\x.zip;C:\\d\\rx9jcc.jar"},
      {"unmatched quote", "db.jdbc_jar=\"C:\\d\\x.zip\n", "cp"},
      {"quoted path", "db.jdbc_jar=\"C:\\Program Files\\drv\\x.zip\"\n",
       "cp;\"C:\\Program Files\\drv\\x.zip\";\"C:\\Program Files\\drv\\rx9jcc.jar\""},
      {"quote inside", "db.jdbc_jar=\"C:\\Program Files\\drv\"\\x.zip\n", "cp"},
      {"quotes only", "db.jdbc_jar=\"\"\n", "cp;;rx9jcc.jar"},
  };
  for (const Case& c : cases) EXPECT_EQ(jdbcEntries(c.content), c.expected) << c.name;
}

TEST(AppendJdbcJars, MissingFileAppendsNothing) {
  std::string classPath = "cp";
  zaq::appendJdbcJarsFrom(nullptr, classPath);
  EXPECT_EQ(classPath, "cp");
}

}  // namespace
