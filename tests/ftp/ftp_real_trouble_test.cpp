// The FTP client against a real server that is slow: vsftpd limited to 1 MiB/s
// per session. Cancel and close must answer at once whatever the upload is
// waiting for, and leave nothing of the cancelled upload behind.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "ftp/ftp.h"
#include "tests/ftp/ftp_fixture.h"
#include "tests/ftp/real_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

// Far above the few tens of milliseconds an abort takes, and far below the
// seconds the server would need to read what the sockets hold: a loaded
// machine or Wine does not fail it, a wait that ignores the abort does.
constexpr auto kAbortBound = std::chrono::milliseconds(500);

class FtpSlowServer : public RealServerFixture<> {
 protected:
  FtpSlowServer() { server.rateLimit = 1 << 20; }
  RealServerKind Kind() const override { return RealServerKind::Vsftpd; }
};

}  // namespace

TEST_F(FtpSlowServer, CancelIsPromptAndTheFileIsDeleted) {
  // 64 MiB keep the upload in its block loop; 2 MiB fit the socket buffers,
  // so the upload waits for the completion reply while the server still reads.
  for (int64_t size : {int64_t{64} << 20, int64_t{2} << 20}) {
    ASSERT_NE(Open(), nullptr);
    std::string path = SparseFile("slow.bxm", size);
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
  std::string path = SparseFile("slow.bxm", int64_t{64} << 20);
  ASSERT_TRUE(UploadUntil(path, u"slow.bxm", 1 << 20));
  auto start = Clock::now();
  Ftp_Close(20);  // what closing the window does
  EXPECT_LT(Clock::now() - start, kAbortBound);
  EXPECT_EQ(Ftp_Progress(20), 0);
}
