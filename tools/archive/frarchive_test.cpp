// The tool as the service engineer runs it: exit status 0 for an intact archive, 1 for any
// damaged or foreign file (with a report, never a crash or a hang), 2 for a usage error.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/temporary_directory.h"
#include "storage/archive_layout.h"
#include "storage/archive_testing.h"

namespace {

using namespace archive_layout;

struct Outcome {
  int status;
  std::string out;
};

// Runs frarchive and takes what it prints on both streams. Tests run side by side, so the
// output comes through a pipe of this process's own, not a shared file.
Outcome run(const std::string& arguments) {
  Outcome outcome{-1, {}};
  FILE* pipe = ::popen((std::string(FRARCHIVE_COMMAND) + " " + arguments + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return outcome;
  char buffer[4096];
  for (std::size_t count; (count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) outcome.out.append(buffer, count);
  const int raw = ::pclose(pipe);
  outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return outcome;
}

bytes::Bytes contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return bytes::Bytes(std::istreambuf_iterator<char>(in), {});
}

void write(const std::string& path, const bytes::Bytes& data) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

class FrarchiveTest : public ::testing::Test {
 protected:
  FrarchiveTest() {
    EXPECT_EQ(archive_.registration(), 0);
    EXPECT_EQ(archive_.document(DocumentType::kShiftOpening), 0);
    EXPECT_EQ(archive_.document(DocumentType::kCashDeposit, 5000), 0);
    sound_ = contents(archive_.archivePath());
  }
  std::string damagedPath() const { return archive_.archivePath() + ".damaged"; }

  archive_testing::TestArchive archive_;
  bytes::Bytes sound_;
};

TEST_F(FrarchiveTest, IntactArchive_VerifiesWithZero) {
  const Outcome checked = run("verify " + archive_.archivePath() + " --identity " + archive_.identityPath());
  EXPECT_EQ(checked.status, 0) << checked.out;
  EXPECT_EQ(checked.out, "archive intact\n");
  const Outcome unsigned_ = run("verify " + archive_.archivePath());
  EXPECT_EQ(unsigned_.status, 0);
  EXPECT_EQ(unsigned_.out, "fiscal signs not checked: no identity memory given\narchive intact\n");
  const Outcome exported = run("export " + archive_.archivePath() + " --shift 1");
  EXPECT_EQ(exported.status, 0);
  EXPECT_EQ(std::count(exported.out.begin(), exported.out.end(), '\n'), 2) << exported.out;
  // The documents are of 2027-01-15; a period given the wrong way round is taken the right way.
  const Outcome period = run("export " + archive_.archivePath() + " --period 2027-01-16 2027-01-14");
  EXPECT_EQ(period.status, 0);
  EXPECT_EQ(std::count(period.out.begin(), period.out.end(), '\n'), 3) << period.out;
  EXPECT_EQ(run("summary " + archive_.archivePath()).status, 0);
}

TEST_F(FrarchiveTest, AnyDamagedOrForeignFile_IsReportedWithOne) {
  std::mt19937 random(7);
  const auto noise = [&random](std::size_t size) {
    bytes::Bytes out(size);
    for (auto& byte : out) byte = static_cast<std::uint8_t>(random());
    return out;
  };
  const auto withRecord = [this](std::uint32_t n, std::size_t at, std::uint64_t value, std::size_t width) {
    bytes::Bytes image = sound_;
    for (std::size_t i = 0; i < width; ++i) image[indexRecordOffset(n) + at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    return image;
  };
  bytes::Bytes noisyHead = noise(kDataOffset + 4096);
  bytes::Bytes noisyIndex = sound_;
  const bytes::Bytes indexNoise = noise(64 * 1024);
  std::copy(indexNoise.begin(), indexNoise.end(), noisyIndex.begin() + kIndexOffset);
  const struct {
    const char* what;
    bytes::Bytes image;
  } cases[] = {
      {"empty file", {}},
      {"random bytes", noise(1000)},
      {"random bytes of an archive's size", noisyHead},
      {"truncated archive", bytes::Bytes(sound_.begin(), sound_.end() - 20)},
      {"descriptor pointing far past the end", withRecord(2, 18, 0x10000000000ull, 8)},
      {"descriptor pointing into the index", withRecord(2, 18, kIndexOffset, 8)},
      {"huge length", withRecord(3, 16, 0xFFFF, 2)},
      {"number far ahead", withRecord(2, 1, 0xFFFFFFFFu, 4)},
      {"random index", noisyIndex},
  };
  for (const auto& c : cases) {
    write(damagedPath(), c.image);
    const Outcome verified = run("verify " + damagedPath() + " --identity " + archive_.identityPath());
    EXPECT_EQ(verified.status, 1) << c.what << ": " << verified.out;
    EXPECT_TRUE(verified.out.ends_with("archive damaged\n")) << c.what << ": " << verified.out;
    // Export and summary show what they can read; they too end normally.
    for (const char* command : {"export ", "summary "}) {
      const Outcome shown = run(command + damagedPath());
      EXPECT_TRUE(shown.status == 0 || shown.status == 1) << command << c.what << ": " << shown.out;
    }
  }
}

TEST_F(FrarchiveTest, UsageErrors_ExitWithTwo) {
  const std::string archive = archive_.archivePath();
  for (const std::string& arguments : std::vector<std::string>{
           "", "check " + archive, "verify", "verify /nonexistent/archive",
        "verify " + archive + " --identity /nonexistent/eeprom", "export " + archive + " --number 1 --shift 1",
        "export " + archive + " --from 1", "export " + archive + " --format xml",
        "export " + archive + " --period 2027-01-01 yesterday", "export " + archive + " --period 2027-02-31 2027-03-01"}) {
    const Outcome result = run(arguments);
    EXPECT_EQ(result.status, 2) << arguments << ": " << result.out;
    EXPECT_FALSE(result.out.empty()) << arguments;
  }
}

}  // namespace

namespace {

// A board the generator made verifies clean, signs included (its own identity memory), and is
// never generated over.
TEST(FrarchiveGenerateTest, GeneratedBoard_VerifiesCleanAndIsNotOverwritten) {
  const platform::TemporaryDirectory board;
  const std::string dir = board.path();
  const Outcome made = run("generate " + dir + " --shifts 2 --receipts-per-shift 5 --seed 3");
  EXPECT_EQ(made.status, 0) << made.out;
  const Outcome verified = run("verify " + dir);
  EXPECT_EQ(verified.status, 0) << verified.out;
  EXPECT_EQ(verified.out, "archive intact\n");
  const Outcome shift = run("export " + dir + " --shift 2");
  EXPECT_EQ(std::count(shift.out.begin(), shift.out.end(), '\n'), 5 + 5) << shift.out;
  EXPECT_EQ(run("generate " + dir).status, 1);
}

}  // namespace
