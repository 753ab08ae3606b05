// The register's documents end to end, as a point-of-sale host makes them: registration,
// shifts, cash, re-registration and archive closing on a simulated board, across a restart.
#include <gtest/gtest.h>

#include <ctime>
#include <fstream>

#include "platform/board_directory.h"
#include "storage/archive_layout.h"
#include "tools/host/frame.h"
#include "tools/sim/testing.h"
#include "values/cp866.h"
#include "values/crc.h"
#include "values/tlv.h"

namespace {

namespace fs = std::filesystem;

const bytes::Bytes kAdministrator{20, 30, 0, 0, 0};
constexpr std::string_view kSerial = "0000054321";
constexpr std::string_view kTaxpayer = "7701234567";
constexpr std::string_view kRegistrationNumber = "0000000000012345";

class ServiceDocumentsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(board_.waitUntilServing()) << board_.log(); }

  host::Reply send(std::uint8_t command, bytes::Bytes payload = {}) {
    auto reply = board_.host().transact({command, ++identifier_, std::move(payload)});
    EXPECT_TRUE(reply.has_value()) << board_.log();
    return reply.value_or(host::Reply{255, 0, {}});
  }

  int code(std::uint8_t command, bytes::Bytes payload = {}) { return send(command, std::move(payload)).code; }

  // Documents must be later than the last one: the board's clock moves on a few seconds.
  void advanceClock() { platform::setClockOffset(board_.root(), platform::clockOffset(board_.root()) + 5); }

  host::Reply openAndFinish(std::uint8_t open, std::uint8_t finish, bytes::Bytes finishing = {}) {
    advanceClock();
    EXPECT_EQ(code(open, kAdministrator), 0) << "open " << int(open);
    return send(finish, std::move(finishing));
  }

  static bytes::Bytes textItem(std::uint16_t tag, std::string_view text) {
    TlvItem item;
    item.setText(tag, text);
    return item.encode();
  }

  static bytes::Bytes taxRate(std::uint8_t slot, std::uint8_t kind, std::uint16_t hundredths, std::string_view name) {
    TlvItem kindItem, percentage, nameItem, container;
    kindItem.setU8(13102, kind);
    percentage.setU16(13103, hundredths);
    nameItem.setText(13104, name);
    container.setList(static_cast<std::uint16_t>(13105 + slot), {kindItem, percentage, nameItem});
    return container.encode();
  }

  host::Reply registerRegister(std::string_view userName) {
    advanceClock();
    EXPECT_EQ(code(0x08, kAdministrator), 0);
    EXPECT_EQ(code(0x07, textItem(11048, userName)), 0);
    EXPECT_EQ(code(0x07, textItem(11187, "MOSCOW"_cp866)), 0);
    EXPECT_EQ(code(0x07, textItem(11009, "TVERSKAYA 1")), 0);
    EXPECT_EQ(code(0x07, taxRate(0, 1, 2000, "НДС 20%"_cp866)), 0);
    bytes::Bytes numbers(28, 0);
    bytes::storeBytes(numbers, 0, 12, bytes::view(kTaxpayer));
    bytes::storeBytes(numbers, 12, 16, bytes::view(kRegistrationNumber));
    return send(0x09, numbers);
  }

  static bytes::Bytes kopecks(std::int64_t amount) {
    bytes::Bytes out;
    bytes::appendI64(out, amount);
    return out;
  }

  bytes::Bytes deviceKey() {
    const host::Reply key = send(0x32);
    return bytes::Bytes(key.data.end() - 16, key.data.end());
  }

  // The fiscal sign of a cash document, recomputed from the key, the serial number and its
  // sign data: registration check value, shift, number, time and the amount as text.
  std::uint32_t cashSign(const bytes::Bytes& key, std::uint16_t shift, std::uint32_t number, std::uint32_t time,
                         std::string_view amountText) {
    const std::uint32_t registrationCheck = crc::Crc32()
                                                .update(bytes::view(kRegistrationNumber))
                                                .update(bytes::view(std::string(1, '\0')))
                                                .update(bytes::view(kTaxpayer))
                                                .update(bytes::view(kSerial))
                                                .update(key)
                                                .value();
    bytes::Bytes signData;
    bytes::appendU32(signData, registrationCheck);
    bytes::appendU16(signData, shift);
    bytes::appendU32(signData, number);
    bytes::appendU32(signData, time);
    bytes::appendBytes(signData, bytes::view(amountText));
    return crc::Crc32().update(key).update(bytes::view(kSerial)).update(signData).value();
  }

  bytes::Bytes archiveBytes(std::uint64_t offset, std::size_t count) {
    std::ifstream in(board_.root() / "mnt/sd/V0XD24TX", std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    bytes::Bytes out(count);
    in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(count));
    return out;
  }

  sim::TestBoard board_;
  std::uint32_t identifier_ = 0;
};

TEST_F(ServiceDocumentsTest, RegisterShiftsCashRestartReRegisterAndCloseTheArchive) {
  // Nothing can be made before the serial number is set.
  EXPECT_EQ(code(0x11, kAdministrator), 13);
  bytes::Bytes serial = kAdministrator;
  bytes::appendBytes(serial, bytes::view(kSerial));
  ASSERT_EQ(code(0x3F, serial), 0);
  const bytes::Bytes key = deviceKey();

  const host::Reply registration = registerRegister("SHOP ONE");
  ASSERT_EQ(registration.code, 0) << bytes::hexUpper(registration.data);
  EXPECT_EQ(bytes::loadU32(registration.data, 0), 1u) << "document 1";
  EXPECT_EQ(send(0x44, {0x28, 0x2B}).data, textItem(11048, "SHOP ONE"));

  const host::Reply opening = openAndFinish(0x11, 0x12);
  ASSERT_EQ(opening.code, 0);
  EXPECT_EQ(bytes::loadU16(opening.data, 12), 1) << "shift 1";

  const host::Reply deposit = openAndFinish(0xA2, 0xA3, kopecks(10000));
  ASSERT_EQ(deposit.code, 0);
  const std::uint32_t depositNumber = bytes::loadU32(deposit.data, 0);
  EXPECT_EQ(depositNumber, 3u);
  EXPECT_EQ(bytes::loadU32(deposit.data, 4), cashSign(key, 1, 3, bytes::loadU32(deposit.data, 8), "100.00"));
  EXPECT_EQ(bytes::loadU64(deposit.data, 14), 10000u) << "drawer cash";

  const host::Reply tooMuch = openAndFinish(0xA4, 0xA5, kopecks(15000));
  EXPECT_EQ(tooMuch.code, 40) << "more than the drawer holds";
  ASSERT_EQ(code(0xB0), 0) << "the payout stays open";
  const host::Reply payout = send(0xA5, kopecks(10000));
  ASSERT_EQ(payout.code, 0);
  EXPECT_EQ(bytes::loadU64(payout.data, 14), 0u);

  const host::Reply closing = openAndFinish(0x13, 0x14);
  ASSERT_EQ(closing.code, 0);
  EXPECT_EQ(bytes::loadU32(closing.data, 0), 5u);

  // The archive holds the five documents and the shift counters of the closed shift.
  const bytes::Bytes last = archiveBytes(archive_layout::kLastDocumentSlot, 64);
  EXPECT_EQ(last[0], 2) << "a shift closing";
  EXPECT_EQ(bytes::loadU32(last, 1), 5u);
  EXPECT_EQ(archiveBytes(archive_layout::kFiscalizationCountOffset, 1)[0], 1);
  const bytes::Bytes shiftCounters = archiveBytes(archive_layout::kShiftCountersOffset, 34);
  EXPECT_EQ(bytes::loadU16(shiftCounters, 2), 1) << "one deposit";
  EXPECT_EQ(bytes::loadU64(shiftCounters, 6), 10000u);
  EXPECT_EQ(bytes::loadU64(shiftCounters, 14), 10000u) << "paid out";

  board_.restart();
  ASSERT_TRUE(board_.waitUntilServing()) << board_.log();
  const host::Reply state = send(0x10);
  ASSERT_EQ(state.code, 0);
  EXPECT_EQ(state.data[0], 0) << "the shift is closed";
  EXPECT_EQ(bytes::loadU16(state.data, 1), 1) << "shift number";
  EXPECT_EQ(bytes::loadU32(state.data, 5 + 8), 5u) << "last shift closing";
  const host::Reply status = send(0x30);
  EXPECT_EQ(bytes::loadU32(status.data, 10 + 6), 5u) << "last document";
  EXPECT_EQ(status.data[10 + 2], 1) << "one fiscalization";

  const host::Reply reRegistration = registerRegister("SHOP TWO");
  ASSERT_EQ(reRegistration.code, 0);
  EXPECT_EQ(send(0x44, {0x28, 0x2B}).data, textItem(11048, "SHOP TWO"));
  EXPECT_EQ(archiveBytes(archive_layout::kFiscalizationCountOffset, 1)[0], 2);

  const host::Reply archiveClosing = openAndFinish(0x18, 0x19);
  ASSERT_EQ(archiveClosing.code, 0);
  EXPECT_EQ(bytes::loadU32(archiveClosing.data, 0), 7u);
  advanceClock();
  EXPECT_EQ(code(0x11, kAdministrator), 31) << "the archive is closed";

  // The paper shows the documents as they were made.
  const auto printed = sim::readPaper(board_.root()).texts();
  const auto has = [&](std::string_view text) {
    return std::find_if(printed.begin(), printed.end(), [&](const std::string& line) {
             return line.find(text) != std::string::npos;
           }) != printed.end();
  };
  EXPECT_TRUE(has("SHOP ONE"));
  EXPECT_TRUE(has("SHOP TWO"));
  EXPECT_TRUE(has("ФП "));
  EXPECT_TRUE(has("ИТОГИ СМЕНЫ"));
}

// Stored times are 32 bits read as signed: a board clock gone past 2^31 seconds dates no
// document (23), and the host can still set it back to the last document's side of the limit.
TEST_F(ServiceDocumentsTest, ClockPast2038_DatesNoDocumentUntilItIsSetBack) {
  const auto setBoardClock = [this](std::int64_t moment) {
    platform::setClockOffset(board_.root(), moment - std::time(nullptr));
  };
  constexpr std::int64_t kJanuary2038 = 2145916800;   // 2038-01-01 00:00:00 UTC
  constexpr std::int64_t kJuly2040Noon = 2224756800;  // 2040-07-01 12:00:00 UTC
  setBoardClock(kJanuary2038);
  bytes::Bytes serial = kAdministrator;
  bytes::appendBytes(serial, bytes::view(kSerial));
  ASSERT_EQ(code(0x3F, serial), 0);
  ASSERT_EQ(registerRegister("SHOP 2038").code, 0);

  setBoardClock(kJuly2040Noon);
  EXPECT_EQ(code(0x11, kAdministrator), 23);
  bytes::Bytes clock = kAdministrator;
  bytes::appendU32(clock, static_cast<std::uint32_t>(kJuly2040Noon));
  EXPECT_EQ(code(0x04, clock), 22) << "the clock is not set past the limit either";
  clock.resize(kAdministrator.size());
  bytes::appendU32(clock, static_cast<std::uint32_t>(kJanuary2038 + 86400));
  ASSERT_EQ(code(0x04, clock), 0) << "set back after the registration";
  const host::Reply opening = openAndFinish(0x11, 0x12);
  ASSERT_EQ(opening.code, 0);
  const std::uint32_t time = bytes::loadU32(opening.data, 8);
  EXPECT_GE(time, kJanuary2038 + 86400);
  EXPECT_LT(time, kJanuary2038 + 86400 + 3600);
}

TEST_F(ServiceDocumentsTest, BadPayloadsGiveCodesAndLeaveTheOpenDocument) {
  bytes::Bytes serial = kAdministrator;
  bytes::appendBytes(serial, bytes::view(kSerial));
  ASSERT_EQ(code(0x3F, serial), 0);
  ASSERT_EQ(registerRegister("SHOP").code, 0);
  advanceClock();
  ASSERT_EQ(code(0x11, kAdministrator), 0);
  for (const bytes::Bytes& garbage : {bytes::Bytes{}, bytes::Bytes{0xFF}, bytes::Bytes(3, 0x41),
                                      bytes::Bytes(1000, 0x7F)}) {
    EXPECT_NE(code(0x07, garbage), 0);
    EXPECT_EQ(code(0xB0), 0) << "still open";
  }
  EXPECT_EQ(code(0x11, {20, 30}), 19);
  EXPECT_EQ(code(0x16, {}), 30) << "a receipt finish for a shift opening";
  EXPECT_EQ(code(0x06), 0);
  EXPECT_EQ(code(0x06), 29);
}

}  // namespace
