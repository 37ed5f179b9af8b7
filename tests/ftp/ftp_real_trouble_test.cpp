// The FTP client against a real server that is slow: vsftpd limited to 1 MiB/s
// per session. Cancel and close must answer at once whatever the upload is
// waiting for, and leave nothing of the cancelled upload behind.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "ftp/ftp.h"
#include "tests/ftp/ftp_fixture.h"
#include "tests/ftp/real_server.h"

namespace {

using Clock = std::chrono::steady_clock;

// Far above the few tens of milliseconds an abort takes, and far below the
// seconds the server would need to read what the sockets hold: a loaded
// machine or Wine does not fail it, a wait that ignores the abort does.
constexpr auto kAbortBound = std::chrono::milliseconds(500);

class FtpSlowServer : public ::testing::Test {
 protected:
  void SetUp() override {
    server.rateLimit = 1 << 20;
    std::string why;
    bool missing = false;
    if (!server.Start(RealServerKind::Vsftpd, &why, &missing)) {
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

  FtpSession* Open() { return Ftp_Open(20, u"127.0.0.1", u"brixmaps", u"wol347", 1, server.port); }
  // A file of `size` zero bytes (sparse where the file system allows).
  std::string LocalFile(const std::string& name, int64_t size) {
    std::string path = local + "/" + name;
    { std::ofstream out(path, std::ios::binary); }
    std::filesystem::resize_file(path, size);
    return path;
  }
  // Starts an upload and waits (bounded) until `sent` bytes are out.
  bool UploadUntil(const std::string& path, const char16_t* remote, int64_t sent) {
    if (Ftp_SendFile(20, Wide(path).c_str(), remote, 1) != 1) return false;
    auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Ftp_Progress(20) < sent && Ftp_Progress(20) != FTP_PROGRESS_FAILED && Clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return Ftp_Progress(20) >= sent;
  }
  bool RemoteExists(const std::string& name) { return std::filesystem::exists(server.root + "/" + name); }

  RealServer server;
  std::string local;
};

}  // namespace

TEST_F(FtpSlowServer, CancelIsPromptAndTheFileIsDeleted) {
  // 64 MiB keep the upload in its block loop; 2 MiB fit the socket buffers,
  // so the upload waits for the completion reply while the server still reads.
  for (int64_t size : {int64_t{64} << 20, int64_t{2} << 20}) {
    ASSERT_NE(Open(), nullptr);
    std::string path = LocalFile("slow.bxm", size);
    ASSERT_TRUE(UploadUntil(path, u"slow.bxm", size / 2 < (4 << 20) ? size / 2 : (4 << 20))) << size;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    auto start = Clock::now();
    Ftp_Abort(20);
    auto aborted = Clock::now();
    EXPECT_LT(aborted - start, kAbortBound) << size;
    EXPECT_EQ(Ftp_Progress(20), FTP_PROGRESS_FAILED);
    EXPECT_EQ(Ftp_StoreAccepted(20), 1);
    // What the uploader does after a cancel; the file is the upload's own.
    // The server's late answer to the dropped data connection is read first.
    EXPECT_EQ(Ftp_DeleteFile(20, u"slow.bxm"), 1) << size;
    EXPECT_EQ(Ftp_SetDirectory(20, u"/"), 1);
    auto done = Clock::now();
    EXPECT_FALSE(RemoteExists("slow.bxm")) << size;
    EXPECT_LT(done - aborted, std::chrono::milliseconds(FTP_OWED_REPLY_MS)) << size;
    using Ms = std::chrono::duration<double, std::milli>;
    std::printf("%lld bytes: abort %.1f ms, then DELE and CWD %.1f ms\n", static_cast<long long>(size),
                Ms(aborted - start).count(), Ms(done - aborted).count());
    Ftp_Close(20);
  }
}

TEST_F(FtpSlowServer, CloseDuringAnUploadIsPrompt) {
  ASSERT_NE(Open(), nullptr);
  std::string path = LocalFile("slow.bxm", int64_t{64} << 20);
  ASSERT_TRUE(UploadUntil(path, u"slow.bxm", 1 << 20));
  auto start = Clock::now();
  Ftp_Close(20);  // what closing the window does
  EXPECT_LT(Clock::now() - start, kAbortBound);
  EXPECT_EQ(Ftp_Progress(20), 0);
}
