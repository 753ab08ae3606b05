#include "reference/section.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "reference/table_testing.h"
#include "values/tags.h"

namespace {

TEST(Section, EncodeAndDecode_KeepNumberAndCutName) {
  const Section::Slot empty = Section{7, ""}.encode();
  EXPECT_EQ(empty[0], 7);
  EXPECT_TRUE(std::all_of(empty.begin() + 1, empty.end(), [](std::uint8_t b) { return b == 0; }));
  EXPECT_EQ(Section::decode(Section{2, std::string(200, 'S')}.encode()), (Section{2, std::string(126, 'S')}));
  Section::Slot full;
  full.fill('Z');
  EXPECT_EQ(Section::decode(full).name, std::string(126, 'Z'));

  Section out;
  for (std::size_t size : {0u, 127u, 129u}) EXPECT_FALSE(Section::decodeChecked(bytes::Bytes(size, 1), out));
  for (std::uint8_t number : {0, 21}) EXPECT_FALSE(Section::decodeChecked(Section{number, "X"}.encode(), out));
  ASSERT_TRUE(Section::decodeChecked(Section{20, "Bread"}.encode(), out));
  EXPECT_EQ(out, (Section{20, "Bread"}));
}

TEST(Section, Tlv_HoldsNumberThenNameWhenNamed) {
  const bytes::Bytes named = Section{3, "AB"}.toTlv().encode();
  const bytes::Bytes namedBytes{0x24, 0x2C, 11, 0, 0x25, 0x2C, 1, 0, 3, 0x26, 0x2C, 2, 0, 'A', 'B'};
  EXPECT_EQ(named, namedBytes);
  const bytes::Bytes unnamedBytes{0x24, 0x2C, 5, 0, 0x25, 0x2C, 1, 0, 3};
  EXPECT_EQ((Section{3, ""}.toTlv().encode()), unnamedBytes);
  EXPECT_EQ((Section{21, "X"}.toTlv()), TlvItem{});

  Section back;
  ASSERT_TRUE(back.fromTlv(Section{3, "AB"}.toTlv()));
  EXPECT_EQ(back, (Section{3, "AB"}));
}

TEST(Section, FromTlv_RefusesOtherTagsEmptyContainersAndBadNumbers) {
  Section section{5, "Kept"};
  TlvItem other;
  other.setU8(tag::kSectionNumber, 1);
  EXPECT_FALSE(section.fromTlv(other));
  EXPECT_FALSE(section.fromTlv(TlvItem(tag::kSection, {})));
  EXPECT_EQ(section, (Section{5, "Kept"}));

  TlvList onlyName(1);
  onlyName[0].setText(tag::kSectionName, "Name");
  TlvItem container;
  container.setList(tag::kSection, onlyName);
  EXPECT_FALSE(section.fromTlv(container));
  EXPECT_EQ(section, (Section{0, "Name"}));

  TlvList unknownFirst(2);
  unknownFirst[0].setU32(tag::kPrice, 1);
  unknownFirst[1].setU8(tag::kSectionNumber, 21);
  container.setList(tag::kSection, unknownFirst);
  EXPECT_FALSE(section.fromTlv(container));
  EXPECT_EQ(section.number, 21);
}

using SectionTableTest = TableFileTest;

TEST_F(SectionTableTest, Load_NoFile_CreatesTwentyUnnamedSections) {
  SectionTable table(*board_, path_.string());
  Section out;
  EXPECT_FALSE(table.readSection(1, out));  // not loaded yet
  ASSERT_TRUE(table.loadSections());
  const bytes::Bytes file = fileBytes();
  ASSERT_EQ(file.size(), 2560u);
  for (unsigned n = 1; n <= 20; ++n) {
    EXPECT_EQ(file[(n - 1) * 128], n);
    ASSERT_TRUE(table.readSection(n, out));
    EXPECT_EQ(out, (Section{static_cast<std::uint8_t>(n), ""}));
  }
  EXPECT_EQ(std::count(file.begin(), file.end(), 0), 2560 - 20);
  EXPECT_FALSE(table.readSection(0, out));
  EXPECT_FALSE(table.readSection(21, out));
}

// The number comes from the slot's place; a slot cut off by the file's end keeps no name.
TEST_F(SectionTableTest, Load_ExistingFile_TakesNamesByPlace) {
  bytes::Bytes content(128 * 2 + 100, 0);
  bytes::storeBytes(content, 0, 128, Section{9, "Milk"}.encode());
  bytes::storeBytes(content, 128, 128, Section{2, "Bread"}.encode());
  bytes::storeBytes(content, 256, 100, bytes::slice(Section{3, "Cut"}.encode(), 0, 100));
  writeFile(content);
  SectionTable table(*board_, path_.string());
  ASSERT_TRUE(table.loadSections());
  Section out;
  const Section expected[] = {{1, "Milk"}, {2, "Bread"}, {3, ""}, {20, ""}};
  for (const Section& section : expected) {
    ASSERT_TRUE(table.readSection(section.number, out));
    EXPECT_EQ(out, section);
  }
}

TEST_F(SectionTableTest, Save_WritesTheSlotThenTheEntry) {
  SectionTable table(*board_, path_.string());
  EXPECT_FALSE(table.saveSection(Section{1, "No file"}));
  ASSERT_TRUE(table.loadSections());
  ASSERT_TRUE(table.saveSection(Section{4, std::string(200, 'V')}));
  Section out;
  ASSERT_TRUE(table.readSection(4, out));
  EXPECT_EQ(out, (Section{4, std::string(126, 'V')}));
  EXPECT_FALSE(table.saveSection(Section{0, "Zero"}));
  EXPECT_FALSE(table.saveSection(Section{21, "TwentyOne"}));
  EXPECT_EQ(fileBytes().size(), 2560u);

  SectionTable reloaded(*board_, path_.string());
  ASSERT_TRUE(reloaded.loadSections());
  ASSERT_TRUE(reloaded.readSection(4, out));
  EXPECT_EQ(out.name, std::string(126, 'V'));
  std::filesystem::remove(path_);
  EXPECT_FALSE(reloaded.saveSection(Section{4, "Lost"}));
  ASSERT_TRUE(reloaded.readSection(4, out));
  EXPECT_EQ(out.name, std::string(126, 'V'));
}

}  // namespace
