// Exhausted memory in opening an FTP session against a real server (vsftpd on
// loopback): Ftp_Open fails at each of its allocations in turn, leaves no
// session and no block behind, and a session opened afterwards logs in and works.
#include <gtest/gtest.h>

#include <string>

#include "ftp/ftp.h"
#include "tests/ftp/ftp_fixture.h"
#include "tests/ftp/real_fixture.h"
#include "tests/support/fault.h"

#ifndef _WIN32
namespace {

class FtpOpenFault : public RealServerFixture<> {
 protected:
  RealServerKind Kind() const override { return RealServerKind::Vsftpd; }
};

TEST_F(FtpOpenFault, ASessionThatFindsNoMemoryIsNotOpenedAndLeavesNothing) {
  // A numbered slot keeps its record once made: make it before counting.
  ASSERT_NE(Open(1, 20), nullptr);
  Ftp_Close(20);
  for (ObjectNumber number : {ObjectNumber{20}, ObjectNumber{OBJECT_ANY}}) {
    SCOPED_TRACE(number);
    FtpSession* session = nullptr;
    auto open = [&] { return (session = Open(1, number)) != nullptr; };
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
