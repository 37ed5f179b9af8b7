// The FTP client against real servers on loopback: vsftpd (textbook replies)
// and pure-ftpd (multi-line replies almost everywhere). Every completed upload
// is compared byte for byte; every cancelled one is checked to be deleted.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "ftp/ftp.h"
#include "tests/ftp/ftp_fixture.h"
#include "tests/ftp/real_server.h"

namespace {

class FtpReal : public ::testing::TestWithParam<RealServerKind> {
 protected:
  void SetUp() override {
    std::string why;
    bool missing = false;
    if (!server.Start(GetParam(), &why, &missing)) {
      if (missing) GTEST_SKIP() << why;
      FAIL() << why;
    }
    local = TempDirectory();
  }
  void TearDown() override {
    Ftp_Close(OBJECT_ANY);
    std::error_code ignored;
    std::filesystem::remove_all(local, ignored);
  }

  FtpSession* Open(int32_t passive = 1, ObjectNumber number = 20) {
    return Ftp_Open(number, u"127.0.0.1", u"brixmaps", u"wol347", passive, server.port);
  }
  std::string LocalPath(const std::string& name, const std::string& bytes) {
    std::string path = local + "/" + name;
    WriteFile(path, bytes);
    return path;
  }
  std::string Remote(const std::string& name, bool* exists = nullptr) {
    return ReadWholeFile(server.root + "/" + name, exists);
  }
  bool RemoteExists(const std::string& name) { return std::filesystem::exists(server.root + "/" + name); }

  RealServer server;
  std::string local;
};

std::string Name(const ::testing::TestParamInfo<RealServerKind>& info) {
  return info.param == RealServerKind::Vsftpd ? "vsftpd" : "pureftpd";
}

}  // namespace

TEST_P(FtpReal, LoginDirectoriesAndDeletion) {
  std::filesystem::create_directories(server.root + "/maps/old");
  std::filesystem::permissions(server.root + "/maps", std::filesystem::perms::all);
  WriteFile(server.root + "/maps/gone.bxm", "x");
  ASSERT_NE(Open(), nullptr);
  EXPECT_EQ(Ftp_SetDirectory(20, u"maps"), 1);
  EXPECT_EQ(Ftp_SetDirectory(20, u"old"), 1);
  EXPECT_EQ(Ftp_SetDirectory(20, u".."), 1);
  EXPECT_EQ(Ftp_DeleteFile(20, u"gone.bxm"), 1);
  EXPECT_FALSE(RemoteExists("maps/gone.bxm"));
  EXPECT_EQ(Ftp_DeleteFile(20, u"gone.bxm"), 0);
  EXPECT_EQ(Ftp_SetDirectory(20, u"nowhere"), 0);
  EXPECT_EQ(Ftp_SetDirectory(20, u"/"), 1);
  Ftp_Close(20);
  EXPECT_EQ(Ftp_SetDirectory(20, u"/"), 0);
}

TEST_P(FtpReal, WrongPasswordFailsTheLogin) {
  EXPECT_EQ(Ftp_Open(20, u"127.0.0.1", u"brixmaps", u"wrong", 1, server.port), nullptr);
  ASSERT_NE(Open(), nullptr);  // the server still serves
}

TEST_P(FtpReal, ForegroundUploadsArriveByteForByte) {
  ASSERT_NE(Open(), nullptr);
  for (size_t size : {size_t{0}, size_t{1}, size_t{4096}, size_t{3 * 4096 + 17}}) {
    std::string bytes = Pattern(size, static_cast<unsigned>(size));
    std::string path = LocalPath("up.bxm", bytes);
    std::string remote = "map" + std::to_string(size) + ".bxm";
    EXPECT_EQ(Ftp_SendFile(20, Wide(path).c_str(), Wide(remote).c_str(), 0), 1) << size;
    EXPECT_EQ(Ftp_Progress(20), FTP_PROGRESS_FINISHED);
    bool exists = false;
    EXPECT_EQ(Remote(remote, &exists), bytes) << size;
    EXPECT_TRUE(exists);
  }
}

TEST_P(FtpReal, BackgroundUploadReportsProgressAndFinishes) {
  ASSERT_NE(Open(), nullptr);
  std::string bytes = Pattern(3 << 20);
  std::string path = LocalPath("big.bxm", bytes);
  ASSERT_EQ(Ftp_SendFile(20, Wide(path).c_str(), u"big.bxm", 1), 1);
  // Every value polled is a running state or the outcome, never backwards.
  int64_t last = FTP_PROGRESS_STARTING;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (;;) {
    int64_t now = Ftp_Progress(20);
    if (now == FTP_PROGRESS_FINISHED || now == FTP_PROGRESS_FAILED) {
      last = now;
      break;
    }
    ASSERT_TRUE(now == FTP_PROGRESS_STARTING || (now >= 0 && now <= static_cast<int64_t>(bytes.size())));
    if (last >= 0) {
      ASSERT_GE(now, last);
    }
    last = now;
    ASSERT_LT(std::chrono::steady_clock::now(), deadline);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(last, FTP_PROGRESS_FINISHED);
  EXPECT_EQ(Remote("big.bxm"), bytes);
  // A second upload on the session starts over.
  std::string small = Pattern(5000, 7);
  ASSERT_EQ(Ftp_SendFile(20, Wide(LocalPath("small.bxm", small)).c_str(), u"small.bxm", 1), 1);
  EXPECT_EQ(WaitForOutcome(20), FTP_PROGRESS_FINISHED);
  EXPECT_EQ(Remote("small.bxm"), small);
}

TEST_P(FtpReal, ActiveUploadArrivesByteForByte) {
  ASSERT_NE(Open(0), nullptr);
  std::string bytes = Pattern(200000, 3);
  ASSERT_EQ(Ftp_SendFile(20, Wide(LocalPath("a.bxm", bytes)).c_str(), u"active.bxm", 1), 1);
  EXPECT_EQ(WaitForOutcome(20), FTP_PROGRESS_FINISHED);
  EXPECT_EQ(Remote("active.bxm"), bytes);
  std::string empty;
  EXPECT_EQ(Ftp_SendFile(20, Wide(LocalPath("e.bxm", empty)).c_str(), u"empty.bxm", 0), 1);
  bool exists = false;
  EXPECT_EQ(Remote("empty.bxm", &exists), "");
  EXPECT_TRUE(exists);
}

TEST_P(FtpReal, CancelledUploadIsDeleted) {
  ASSERT_NE(Open(), nullptr);
  // A large sparse file: the upload is still running when the abort comes.
  std::string path = local + "/huge.bxm";
  { std::ofstream out(path, std::ios::binary); }
  std::filesystem::resize_file(path, int64_t{1} << 30);
  ASSERT_EQ(Ftp_SendFile(20, Wide(path).c_str(), u"huge.bxm", 1), 1);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (Ftp_Progress(20) <= 0 && Ftp_Progress(20) != FTP_PROGRESS_FAILED &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_GT(Ftp_Progress(20), 0);
  Ftp_Abort(20);
  EXPECT_EQ(Ftp_Progress(20), FTP_PROGRESS_FAILED);
  // What the uploader does after a cancel.
  EXPECT_EQ(Ftp_DeleteFile(20, u"huge.bxm"), 1);
  EXPECT_EQ(Ftp_SetDirectory(20, u"/"), 1);
  EXPECT_FALSE(RemoteExists("huge.bxm"));
}

TEST_P(FtpReal, CloseRightAfterStartingAnUpload) {
  ASSERT_NE(Open(), nullptr);
  std::string path = local + "/huge.bxm";
  { std::ofstream out(path, std::ios::binary); }
  std::filesystem::resize_file(path, int64_t{1} << 30);
  ASSERT_EQ(Ftp_SendFile(20, Wide(path).c_str(), u"huge.bxm", 1), 1);
  Ftp_Close(20);  // aborts the upload and waits for it before freeing the session
  EXPECT_EQ(Ftp_Progress(20), 0);
}

TEST_P(FtpReal, RefusedStoreFails) {
  ASSERT_NE(Open(), nullptr);
  std::string path = LocalPath("x.bxm", "brix");
  EXPECT_EQ(Ftp_SendFile(20, Wide(path).c_str(), u"no/such/dir/x.bxm", 0), 0);
  EXPECT_EQ(Ftp_Progress(20), FTP_PROGRESS_FAILED);
  EXPECT_EQ(Ftp_SetDirectory(20, u"/"), 1);  // the session goes on
}

TEST_P(FtpReal, FullDiskIsAFailure) {
  // The server runs out of room in the middle of the file and says so after
  // the data (vsftpd: 451; pure-ftpd: a multi-line 451 or 552).
  std::string full = server.root + "/full";
  std::string why;
  if (!MountSmallDisk(full, 256, &why)) GTEST_SKIP() << why;
  ASSERT_NE(Open(), nullptr);
  std::string path = LocalPath("big.bxm", Pattern(2 << 20));
  EXPECT_EQ(Ftp_SendFile(20, Wide(path).c_str(), u"full/map.bxm", 1), 1);
  EXPECT_EQ(WaitForOutcome(20), FTP_PROGRESS_FAILED);
  EXPECT_EQ(Ftp_DeleteFile(20, u"full/map.bxm"), 1);  // the session is in step
  EXPECT_EQ(Ftp_SetDirectory(20, u"/"), 1);
  Ftp_Close(20);
  UnmountSmallDisk(full);
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpReal,
                         ::testing::Values(RealServerKind::Vsftpd, RealServerKind::PureFtpd), Name);
