#include "winservice/message_table.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "zel/catalogs.h"

namespace {

// The English catalog, compiled from messages/en/winServCMessages.msg, holds
// the host's defaults and nothing else: the same numbers, in the host's set
// alone, with the same texts byte for byte. English is thus written once for
// the program and the catalog alike.
TEST(MessageTable, TheEnglishCatalogHoldsExactlyTheDefaults) {
  std::map<int, std::string> defaults;
  for (const zaq::MessageDefault& message : zaq::messageDefaults())
    defaults.emplace(message.id, message.text);
  EXPECT_EQ(defaults.size(), zaq::messageDefaults().size()) << "a number given twice";
  for (const auto& [id, text] : defaults) EXPECT_STREQ(zaq::defaultMessageText(id), text.c_str()) << id;
  for (int absent : {0, 6, 10, 31}) EXPECT_EQ(zaq::defaultMessageText(absent), nullptr) << absent;

  zel::CatalogHandle handle = zel::catopen(ZAQ_ENGLISH_CATALOG, 0);
  ASSERT_NE(handle, zel::CAT_INVALID_HANDLE) << ZAQ_ENGLISH_CATALOG;
  zel::Catalog* catalog = reinterpret_cast<zel::Catalog*>(handle);
  EXPECT_EQ(catalog->setCount, 1);
  const zel::CatalogSet* set = zel::findSet(catalog, zaq::MESSAGE_SET);
  ASSERT_NE(set, nullptr);
  ASSERT_EQ(set->state, zel::CATALOG_SET_LOADED);
  std::map<int, std::string> english;
  for (std::uint32_t i = 0; i < set->messageCount; ++i)
    english.emplace(set->messages[i].msgId, set->messages[i].text);
  EXPECT_EQ(english.size(), set->messageCount) << "a number given twice";
  for (const auto& [id, text] : defaults)
    EXPECT_EQ(english.contains(id) ? english[id] : "(none)", text) << "message " << id << " of the catalog";
  for (const auto& [id, text] : english)
    EXPECT_TRUE(defaults.contains(id)) << "message " << id << ": " << text;
  zel::catclose(handle);
}

}  // namespace
