// The FTP client against real servers on loopback: vsftpd (textbook replies)
// and pure-ftpd (multi-line replies almost everywhere). Every completed upload
// is compared byte for byte; every cancelled one is checked to be deleted.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "ftp/ftp.h"
#include "tests/ftp/ftp_fixture.h"
#include "tests/ftp/real_fixture.h"

namespace {

class FtpReal : public RealServerFixture<::testing::TestWithParam<RealServerKind>> {
 protected:
  RealServerKind Kind() const override { return GetParam(); }
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
  ASSERT_TRUE(UploadUntil(SparseFile("huge.bxm", int64_t{1} << 30), u"huge.bxm", 1));
  Ftp_Abort(20);
  EXPECT_EQ(Ftp_Progress(20), FTP_PROGRESS_FAILED);
  // What the uploader does after a cancel.
  EXPECT_EQ(Ftp_DeleteFile(20, u"huge.bxm"), 1);
  EXPECT_EQ(Ftp_SetDirectory(20, u"/"), 1);
  EXPECT_FALSE(RemoteExists("huge.bxm"));
}

TEST_P(FtpReal, CloseRightAfterStartingAnUpload) {
  ASSERT_NE(Open(), nullptr);
  std::string path = SparseFile("huge.bxm", int64_t{1} << 30);
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

TEST_P(FtpReal, AServerRestartedBetweenTwoUploads) {
  // The restart ends the session's server process: the client learns of it
  // only when it next looks at the connection.
  ASSERT_NE(Open(), nullptr);
  std::string first = Pattern(70000, 11);
  ASSERT_EQ(Ftp_SendFile(20, Wide(LocalPath("first.bxm", first)).c_str(), u"first.bxm", 0), 1);
  std::string why;
  ASSERT_TRUE(server.Restart(&why)) << why;
  std::string second = Pattern(3 << 20, 12);
  ASSERT_EQ(Ftp_SendFile(20, Wide(LocalPath("second.bxm", second)).c_str(), u"second.bxm", 1), 1);
  EXPECT_EQ(WaitForOutcome(20), FTP_PROGRESS_FINISHED);
  EXPECT_EQ(Remote("second.bxm"), second);
  EXPECT_EQ(Remote("first.bxm"), first);
  // Later commands go out on the new connection.
  EXPECT_EQ(Ftp_DeleteFile(20, u"first.bxm"), 1);
  EXPECT_FALSE(RemoteExists("first.bxm"));
}

TEST_P(FtpReal, NamesTheCodePageCannotCarryExactlyAreRefusedWithNothingSent) {
  // Under code page 1252, best fit writes the fullwidth solidus U+FF0F as '/'
  // and Japanese as '?': from maps, "..／x.bxm" would reach the x.bxm above
  // it, and 日本.bxm and 地図.bxm would overwrite each other as ??.bxm.
  if (GetACP() != 1252)
    GTEST_SKIP() << "the names are chosen for code page 1252, this system has " << GetACP();
  std::filesystem::create_directories(server.root + "/maps");
  std::filesystem::permissions(server.root + "/maps", std::filesystem::perms::all);
  WriteFile(server.root + "/x.bxm", "keep");
  ASSERT_NE(Open(), nullptr);
  ASSERT_EQ(Ftp_SetDirectory(20, u"maps"), 1);
  std::string bytes = Pattern(5000, 9);
  std::u16string path = Wide(LocalPath("up.bxm", bytes));
  EXPECT_EQ(Ftp_SendFile(20, path.c_str(), u"..\uFF0Fx.bxm", 0), 0);
  EXPECT_EQ(Ftp_Progress(20), FTP_PROGRESS_FAILED);
  EXPECT_EQ(Ftp_DeleteFile(20, u"..\uFF0Fx.bxm"), 0);
  EXPECT_EQ(Ftp_SetDirectory(20, u"..\uFF0F.."), 0);
  EXPECT_EQ(Ftp_SendFile(20, path.c_str(), u"\u65E5\u672C.bxm", 0), 0);
  EXPECT_EQ(Ftp_SendFile(20, path.c_str(), u"\u5730\u56F3.bxm", 0), 0);
  EXPECT_EQ(Remote("x.bxm"), "keep");
#ifndef _WIN32  // '?' is no part of a Windows file name
  EXPECT_FALSE(RemoteExists("maps/??.bxm"));
#endif
  // Names that convert exactly go out as before, in code page 1252: the
  // server holds the file under that name, which a deletion finds once.
  EXPECT_EQ(Ftp_SendFile(20, path.c_str(), u"caf\u00E9 \u20AC.bxm", 0), 1);
#ifndef _WIN32  // Wine shows names on disk as UTF-8, not the bytes the server got
  EXPECT_EQ(Remote("maps/caf\xE9 \x80.bxm"), bytes);
#endif
  EXPECT_EQ(Ftp_DeleteFile(20, u"caf\u00E9 \u20AC.bxm"), 1);
  EXPECT_EQ(Ftp_DeleteFile(20, u"caf\u00E9 \u20AC.bxm"), 0);
  EXPECT_EQ(Ftp_SetDirectory(20, u"/"), 1);  // the session is in step
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpReal,
                         ::testing::Values(RealServerKind::Vsftpd, RealServerKind::PureFtpd), Name);

namespace {

// Servers that close a session idle for a short while, as real ones do after
// minutes (vsftpd: a few seconds; pure-ftpd: its shortest, one minute).
class FtpRealIdle : public FtpReal {
 protected:
  void SetUp() override {
    server.idleSeconds = 2;
    FtpReal::SetUp();
  }
  // Waits until the server has closed the idle session: its 421 and close
  // have reached the client. Bounded by the server's idle time and a margin.
  bool WaitUntilClosed(FtpSession* session) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(server.idleSeconds + 15);
    while (std::chrono::steady_clock::now() < deadline) {
      if (Net_WaitReceive(session->control, 100) == 1) return true;
    }
    return false;
  }
};

}  // namespace

TEST_P(FtpRealIdle, AClosedIdleSessionLogsInAgainBeforeItsNextOperation) {
  std::filesystem::create_directories(server.root + "/maps");
  std::filesystem::permissions(server.root + "/maps", std::filesystem::perms::all);
  FtpSession* session = Open();
  ASSERT_NE(session, nullptr);
  ASSERT_EQ(Ftp_SetDirectory(20, u"maps"), 1);
  ASSERT_TRUE(WaitUntilClosed(session));
  // The upload logs in again, returns to maps and arrives whole.
  std::string bytes = Pattern(300000, 21);
  ASSERT_EQ(Ftp_SendFile(20, Wide(LocalPath("idle.bxm", bytes)).c_str(), u"idle.bxm", 1), 1);
  EXPECT_EQ(WaitForOutcome(20), FTP_PROGRESS_FINISHED);
  EXPECT_EQ(Remote("maps/idle.bxm"), bytes);
  if (server.idleSeconds > 5) return;  // one wait of a minute is enough
  // Deletion and directory changes as the first operation after the close.
  ASSERT_TRUE(WaitUntilClosed(session));
  EXPECT_EQ(Ftp_DeleteFile(20, u"idle.bxm"), 1);
  EXPECT_FALSE(RemoteExists("maps/idle.bxm"));
  ASSERT_TRUE(WaitUntilClosed(session));
  EXPECT_EQ(Ftp_SetDirectory(20, u".."), 1);
  std::string again = Pattern(1000, 22);
  EXPECT_EQ(Ftp_SendFile(20, Wide(LocalPath("top.bxm", again)).c_str(), u"top.bxm", 0), 1);
  EXPECT_EQ(Remote("top.bxm"), again);
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpRealIdle,
                         ::testing::Values(RealServerKind::Vsftpd, RealServerKind::PureFtpd), Name);
