// Exhausted memory in opening an FTP session against a real server (vsftpd on
// loopback): Ftp_Open fails at each of its allocations in turn, leaves no
// session and no block behind, and a session opened afterwards logs in and works.
#include <gtest/gtest.h>

#include <string>

#include "ftp/ftp.h"
#include "tests/ftp/ftp_fixture.h"
#include "tests/ftp/real_server.h"
#include "tests/support/fault.h"

#ifndef _WIN32
namespace {

class FtpOpenFault : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    bool missing = false;
    if (!server.Start(RealServerKind::Vsftpd, &why, &missing)) {
      if (missing) GTEST_SKIP() << why;
      FAIL() << why;
    }
  }
  void TearDown() override { Ftp_Close(OBJECT_ANY); }

  FtpSession* Open(ObjectNumber number) {
    return Ftp_Open(number, u"127.0.0.1", u"brixmaps", u"wol347", 1, server.port);
  }

  RealServer server;
};

TEST_F(FtpOpenFault, ASessionThatFindsNoMemoryIsNotOpenedAndLeavesNothing) {
  // A numbered slot keeps its record once made: make it before counting.
  ASSERT_NE(Open(20), nullptr);
  Ftp_Close(20);
  for (ObjectNumber number : {ObjectNumber{20}, ObjectNumber{OBJECT_ANY}}) {
    SCOPED_TRACE(number);
    FtpSession* session = nullptr;
    auto open = [&] { return (session = Open(number)) != nullptr; };
    auto absent = [&] {
      EXPECT_EQ(session, nullptr);
      if (number != OBJECT_ANY) {
        EXPECT_EQ(Ftp_SetDirectory(number, u"/"), 0) << "no session under the number";
      }
    };
    FaultRun run = Fault_EachAllocation(open, absent);
    EXPECT_GE(run.failures, 4);  // the record, the reply buffer, the line table, the login
    // The session made at last is logged in and answers.
    const ObjectNumber made = number == OBJECT_ANY ? reinterpret_cast<ObjectNumber>(session) : number;
    EXPECT_EQ(Ftp_SetDirectory(made, u"/"), 1);
    Ftp_Close(made);
  }
}

}  // namespace
#endif
