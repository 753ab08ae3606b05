#include "storage/identity_memory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/temporary_directory.h"

namespace {

namespace fs = std::filesystem;

class IdentityMemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    board_ = platform::makeSimulatedBoard(directory_.path());
    path_ = board_->identityMemoryPath();
    fs::create_directories(fs::path(path_).parent_path());
  }

  void writeFile(const bytes::Bytes& content) {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
  }
  bytes::Bytes readFile() const {
    std::ifstream in(path_, std::ios::binary);
    return bytes::Bytes(std::istreambuf_iterator<char>(in), {});
  }
  static bytes::Bytes blank() { return bytes::Bytes(IdentityMemory::kSize, 0xFF); }

  platform::TemporaryDirectory directory_;
  std::unique_ptr<platform::Board> board_;
  std::string path_;
  DeviceState state_;
};

TEST_F(IdentityMemoryTest, BlankBoard_GetsAKeyOnceAndItIsKept) {
  writeFile(blank());
  IdentityMemory memory(*board_);
  memory.loadIdentity(state_);
  const bytes::Bytes key = state_.deviceKey();
  ASSERT_EQ(key.size(), 16u);
  EXPECT_NE(key, bytes::Bytes(16, 0xFF));
  const bytes::Bytes stored = readFile();
  EXPECT_EQ(bytes::Bytes(stored.begin() + 4080, stored.end()), key);
  EXPECT_FALSE(state_.hasStatusFlag(FrStatus::kIdentityFault));

  DeviceState restarted;
  memory.loadIdentity(restarted);
  EXPECT_EQ(restarted.deviceKey(), key);
}

TEST_F(IdentityMemoryTest, BlankBoard_ModelNameBecomesEmptyAndRecordIsNotValid) {
  writeFile(blank());
  IdentityMemory(*board_).loadIdentity(state_);
  const auto model = state_.currentModelData();
  EXPECT_EQ(model->modelName(), "");
  EXPECT_EQ(model->checkValue(), 0xFFFFFFFFu);
  EXPECT_FALSE(model->isValid());
  EXPECT_FALSE(state_.currentRegData()->isComplete());
}

TEST_F(IdentityMemoryTest, WrittenRecords_AreLoadedBack) {
  writeFile(blank());
  IdentityMemory memory(*board_);
  memory.loadIdentity(state_);
  ModelData model;
  model.setSerialNumber("0000000007");
  ASSERT_TRUE(model.seal(state_.deviceKey()));
  RegData registration;
  registration.setText(RegData::Text::UserName, "SHOP");
  ASSERT_TRUE(memory.writeModelData(model));
  ASSERT_TRUE(memory.writeRegData(registration));

  DeviceState restarted;
  memory.loadIdentity(restarted);
  EXPECT_EQ(*restarted.currentModelData(), model);
  EXPECT_TRUE(restarted.currentModelData()->verify(restarted.deviceKey()));
  EXPECT_EQ(*restarted.currentRegData(), registration);
}

TEST_F(IdentityMemoryTest, MissingMemory_KeepsDefaultsAndSetsTheFaultFlag) {
  IdentityMemory memory(*board_);
  memory.loadIdentity(state_);
  EXPECT_TRUE(state_.hasStatusFlag(FrStatus::kIdentityFault));
  EXPECT_TRUE(state_.deviceKey().empty());
  EXPECT_EQ(*state_.currentModelData(), ModelData());
  EXPECT_FALSE(memory.writeModelData(ModelData()));
  EXPECT_FALSE(memory.writeRegData(RegData()));
  EXPECT_TRUE(memory.rows().empty());
}

TEST_F(IdentityMemoryTest, ShortMemory_PublishesWhatItHoldsAndSetsTheFaultFlag) {
  writeFile(bytes::Bytes(100, 0x30));  // the model record, but not the registration or the key
  IdentityMemory(*board_).loadIdentity(state_);
  EXPECT_TRUE(state_.hasStatusFlag(FrStatus::kIdentityFault));
  EXPECT_EQ(state_.currentModelData()->serialNumber(), "0000000000");
  EXPECT_EQ(*state_.currentRegData(), RegData());
}

TEST_F(IdentityMemoryTest, EraseAndRows_ServiceModes) {
  writeFile(bytes::Bytes(IdentityMemory::kSize, 0x12));
  IdentityMemory memory(*board_);
  memory.erase();
  EXPECT_EQ(readFile(), blank());
  const auto rows = memory.rows();
  ASSERT_EQ(rows.size(), 64u);
  const std::string group(16, 'F');
  EXPECT_EQ(rows[0], group + "  " + group + "  " + group + "  " + group + "  " + group + "  " + group + "  " +
                         group + "  " + group);

  bytes::Bytes content = blank();
  for (std::size_t i = 0; i < 8; ++i) content[64 + i] = static_cast<std::uint8_t>(0xA0 + i);
  writeFile(content);
  EXPECT_EQ(memory.rows()[1].substr(0, 18), "A0A1A2A3A4A5A6A7  ");
}

}  // namespace
