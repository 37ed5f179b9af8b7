// Sessions whose control connection goes away, against a scripted server that
// takes the client's next connection on the same port: when the client logs
// in again, which commands it sends a second time, and where it returns to.
// Also names that the ANSI code page cannot carry exactly, which are never
// sent. Each case checks the commands the client sent and the outcome.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "ftp/ftp.h"
#include "tests/ftp/ftp_fixture.h"
#include "tests/ftp/scripted_server.h"

namespace {

// The client's next connection, logged in.
void LoginAgain(ScriptedPeer& p) {
  p.AcceptControl();
  ScriptLogin(p);
}

const Transcript& kLogin = kLoginCommands;

// Waits (bounded) until what the server sent or its close has reached the
// session's control connection.
bool Arrived(FtpSession* session) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kScriptWaitMs);
  while (std::chrono::steady_clock::now() < deadline)
    if (Net_WaitReceive(session->control, 50) == 1) return true;
  return false;
}

void PassiveUpload(ScriptedPeer& p, std::string* received) {
  ScriptPassiveUploadStart(p);
  *received = p.ReceiveData();
  p.CloseData();
  p.Send("226 stored\r\n");
}

}  // namespace

// ---- Before the first command ---------------------------------------------------------------

TEST(FtpSessionAgain, AnIdleSessionClosedWith421LogsInAgainBeforeTheUpload) {
  // vsftpd and pure-ftpd say 421 and close a session idle too long. Nothing
  // goes out on the closed connection.
  std::string received;
  ScriptedServer server([&](ScriptedPeer& p) {
    ScriptLogin(p);
    p.Send("421 Timeout.\r\n");
    LoginAgain(p);
    PassiveUpload(p, &received);
    p.WaitForClose();
  });
  FtpSession* session = OpenScriptedSession(server);
  ASSERT_NE(session, nullptr);
  ASSERT_TRUE(Arrived(session));
  LocalFile file(Pattern(10000, 3));
  EXPECT_EQ(Ftp_SendFile(20, Wide(file.path).c_str(), u"map.bxm", 0), 1);
  EXPECT_EQ(CloseScriptedSession(server),
            Join({kLogin, {"<connect>"}, kLogin, {"TYPE I", "PASV", "STOR map.bxm", "QUIT"}}));
  EXPECT_EQ(received, Pattern(10000, 3));
}

TEST(FtpSessionAgain, TheSessionReturnsToItsDirectory) {
  // An absolute directory, then relative steps and CDUP on top of it.
  ScriptedServer server([](ScriptedPeer& p) {
    ScriptLogin(p);
    for (int i = 0; i < 3; i++) p.Answer("250 moved\r\n");
    p.Close();  // a restarted server: no 421
    LoginAgain(p);
    p.Answer("250 moved\r\n");    // CWD back
    p.Answer("250 deleted\r\n");  // DELE
    p.WaitForClose();
  });
  FtpSession* session = OpenScriptedSession(server);
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(Ftp_SetDirectory(20, u"/maps"), 1);
  EXPECT_EQ(Ftp_SetDirectory(20, u"old"), 1);
  EXPECT_EQ(Ftp_SetDirectory(20, u".."), 1);
  ASSERT_TRUE(Arrived(session));
  EXPECT_EQ(Ftp_DeleteFile(20, u"map.bxm"), 1);
  EXPECT_EQ(CloseScriptedSession(server), Join({kLogin,
                                                {"CWD /maps", "CWD old", "CDUP", "<connect>"},
                                                kLogin,
                                                {"CWD /maps/old/..", "DELE map.bxm", "QUIT"}}));
}

TEST(FtpSessionAgain, AFailedLoginAgainFailsTheOperationAndTheNextOneTriesAgain) {
  ScriptedServer server([](ScriptedPeer& p) {
    ScriptLogin(p);
    p.Send("421 Timeout.\r\n");
    p.AcceptControl();
    p.Send("220 ready\r\n");
    p.Answer("331 password please\r\n");
    p.Answer("530 Login incorrect.\r\n");
    LoginAgain(p);
    p.Answer("250 moved\r\n");
    p.WaitForClose();
  });
  FtpSession* session = OpenScriptedSession(server);
  ASSERT_NE(session, nullptr);
  ASSERT_TRUE(Arrived(session));
  EXPECT_EQ(Ftp_SetDirectory(20, u"/"), 0);
  EXPECT_EQ(Ftp_SetDirectory(20, u"/"), 1);
  EXPECT_EQ(CloseScriptedSession(server),
            Join({kLogin, {"<connect>"}, kLogin, {"<connect>"}, kLogin, {"CWD /", "QUIT"}}));
}

TEST(FtpSessionAgain, ADirectoryTooLongToNameInOneCwdIsNotLeftForAnother) {
  // Two relative steps that together no longer fit a CWD line: logging in
  // again could not return there, and the DELE would reach the login
  // directory's file of that name. Nothing is sent on a new connection.
  ScriptedServer server([](ScriptedPeer& p) {
    ScriptLogin(p);
    p.Answer("250 moved\r\n");
    p.Answer("250 moved\r\n");
    p.Close();
    p.AcceptControl();  // nobody comes
  });
  FtpSession* session = OpenScriptedSession(server);
  ASSERT_NE(session, nullptr);
  std::u16string step(600, u'd');
  EXPECT_EQ(Ftp_SetDirectory(20, step.c_str()), 1);
  EXPECT_EQ(Ftp_SetDirectory(20, step.c_str()), 1);
  ASSERT_TRUE(Arrived(session));
  EXPECT_EQ(Ftp_DeleteFile(20, u"map.bxm"), 0);
  const std::string cwd = "CWD " + std::string(600, 'd');
  EXPECT_EQ(CloseScriptedSession(server), Join({kLogin, {cwd, cwd}}));
}

// ---- After the command went out ----------------------------------------------------------------

TEST(FtpSessionAgain, ADeleteAnswered421IsSentAgainOnce) {
  // 421 means the server did not carry the command out: sending it again
  // cannot delete twice. A second 421 ends the operation.
  ScriptedServer server([](ScriptedPeer& p) {
    ScriptLogin(p);
    p.Answer("421 Service closing.\r\n");
    LoginAgain(p);
    p.Answer("250 deleted\r\n");
    p.Answer("421 Service closing.\r\n");
    LoginAgain(p);
    p.Answer("421 Service closing.\r\n");
    p.WaitForClose();
  });
  ASSERT_NE(OpenScriptedSession(server), nullptr);
  EXPECT_EQ(Ftp_DeleteFile(20, u"a.bxm"), 1);
  EXPECT_EQ(Ftp_DeleteFile(20, u"b.bxm"), 0);
  EXPECT_EQ(CloseScriptedSession(server), Join({kLogin,
                                                {"DELE a.bxm", "<connect>"},
                                                kLogin,
                                                {"DELE a.bxm", "DELE b.bxm", "<connect>"},
                                                kLogin,
                                                {"DELE b.bxm"}}));
}

TEST(FtpSessionAgain, ADeleteWithoutReplyIsNotSentAgain) {
  // The server may have deleted the file before the connection went: a
  // second DELE could remove a file of the same name uploaded meanwhile. The
  // next operation logs in again.
  ScriptedServer server([](ScriptedPeer& p) {
    ScriptLogin(p);
    p.Command();
    LoginAgain(p);
    p.Answer("250 moved\r\n");
    p.WaitForClose();
  });
  ASSERT_NE(OpenScriptedSession(server), nullptr);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Ftp_DeleteFile(20, u"map.bxm"), 0);
  // The close is seen at once, not after a reply time-out (10 s is generous).
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(Ftp_SetDirectory(20, u"/"), 1);
  EXPECT_EQ(CloseScriptedSession(server),
            Join({kLogin, {"DELE map.bxm", "<connect>"}, kLogin, {"CWD /", "QUIT"}}));
}

TEST(FtpSessionAgain, TypeWithoutReplyIsSentAgainAndTheUploadGoesOn) {
  // TYPE changes only the session, which went with the old connection.
  std::string received;
  ScriptedServer server([&](ScriptedPeer& p) {
    ScriptLogin(p);
    p.Command();  // TYPE I, then the connection goes
    LoginAgain(p);
    PassiveUpload(p, &received);
    p.WaitForClose();
  });
  ASSERT_NE(OpenScriptedSession(server), nullptr);
  LocalFile file(Pattern(5000, 4));
  EXPECT_EQ(Ftp_SendFile(20, Wide(file.path).c_str(), u"map.bxm", 0), 1);
  EXPECT_EQ(CloseScriptedSession(server),
            Join({kLogin, {"TYPE I", "<connect>"}, kLogin, {"TYPE I", "PASV", "STOR map.bxm", "QUIT"}}));
  EXPECT_EQ(received, Pattern(5000, 4));
}

// ---- Names -----------------------------------------------------------------------------------------

TEST(FtpNames, NamesWithoutAnExactFormAreNeverSent) {
  if (GetACP() != 1252)
    GTEST_SKIP() << "the names are chosen for code page 1252, this system has " << GetACP();
  ScriptedServer server(ScriptAnswers({"150 go ahead\r\n"}));  // to a STOR never asked for
  ASSERT_NE(OpenScriptedSession(server), nullptr);
  LocalFile file("brix");
  // Best fit would send ../../x.bxm, and ??.bxm for both Japanese names.
  EXPECT_EQ(Ftp_SendFile(20, Wide(file.path).c_str(), u"..\uFF0F..\uFF0Fx.bxm", 0), 0);
  EXPECT_EQ(Ftp_Progress(20), FTP_PROGRESS_FAILED);
  EXPECT_EQ(Ftp_SendFile(20, Wide(file.path).c_str(), u"\u65E5\u672C.bxm", 1), 1);
  EXPECT_EQ(WaitForOutcome(20), FTP_PROGRESS_FAILED);
  EXPECT_EQ(Ftp_DeleteFile(20, u"..\uFF0F..\uFF0Fx.bxm"), 0);
  EXPECT_EQ(Ftp_SetDirectory(20, u"\u5730\u56F3"), 0);
  EXPECT_EQ(CloseScriptedSession(server), Join({kLogin, {"QUIT"}}));
}
