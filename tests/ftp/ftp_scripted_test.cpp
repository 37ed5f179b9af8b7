// The FTP client against a scripted server, for what real servers will not send:
// odd segmentation, long and many lines, hostile or broken replies, silence and
// dropped connections. Each case checks every command the client sent and the
// outcome it reported.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

#include "ftp/ftp.h"
#include "tests/ftp/ftp_fixture.h"
#include "tests/ftp/scripted_server.h"

#ifdef __linux__
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Waits (bounded) until `ready` holds.
bool Await(const std::function<bool()>& ready, int ms = kScriptWaitMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!ready()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// How long Ftp_Abort took. Every wait of the upload looks at the request
// every 20 ms and the abort polls every 10 ms, so it ends in a few tens of
// milliseconds; the bound the tests check is far above that, so a loaded
// machine or a sanitizer build does not fail them, and far below the
// seconds a wait that ignored the request would take.
std::chrono::milliseconds TimedAbort(ObjectNumber number) {
  auto start = std::chrono::steady_clock::now();
  Ftp_Abort(number);
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

constexpr auto kAbortBound = std::chrono::milliseconds(500);

// Starts a background upload of `file` as map.bxm on session 20 and waits
// (bounded) until more than `sent` bytes are out.
bool UploadUnderway(const LocalFile& file, int64_t sent = 0) {
  return Ftp_SendFile(20, file.wide().c_str(), u"map.bxm", 1) == 1 &&
         Await([&] { return Ftp_Progress(20) > sent; });
}

// The address and port of a PORT command, "" for any other command.
std::string PortArgument(const std::string& command) {
  return command.rfind("PORT ", 0) == 0 ? command.substr(5) : "";
}

// The name of a parameterised case: its record's `name`.
template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  return info.param.name;
}

// How a parameterised case shows in the test log: by its name, not as bytes.
template <typename Case>
requires requires(const Case& c) { c.name; }
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

}  // namespace

// ---- Login and reply reading -------------------------------------------------------------

namespace {

// A login whose replies come in an odd shape. Each piece of a list arrives in a
// receive of its own; an empty list sends nothing.
struct LoginShape {
  const char* name;
  std::vector<std::string> greeting, userReply, passReply;
  const char* directory;  // a CWD after the login, answered 250; null: none
};

std::vector<LoginShape> LoginShapes() {
  const std::vector<std::string> ready = {"220 ready\r\n"}, password = {"331 password please\r\n"},
                                 loggedIn = {"230 logged in\r\n"};
  std::string longLines, manyLines;
  for (int i = 0; i < 5; i++) longLines += "220-" + std::string(3000, char('a' + i)) + "\r\n";
  for (int i = 0; i < 300; i++) manyLines += "220-" + std::to_string(i) + "\r\n";
  return {
      // The second line of the PASS reply is consumed with it: CWD gets its own 250.
      {"MultiLineGreetingIsReadWholeBeforeUser",
       {"220-Welcome\r\n220-to the map server\r\n220 ready\r\n"},
       password,
       {"230-Hello\r\n230 logged in\r\n"},
       "/maps"},
      // PASS's reply arrives ahead of its command.
      {"TwoRepliesInOneSegmentAnswerTwoCommands",
       ready,
       {"331 password please\r\n230 logged in\r\n"},
       {},
       nullptr},
      // CR and LF in separate segments, a line cut in the middle.
      {"LineEndsAndLinesSplitAcrossSegmentsJoinUp",
       {"220 ready\r", "\n"},
       {"33", "1 password please\r\n"},
       {"230-a\r\n2", "30 b\r", "\n"},
       "x"},
      // Past the 2047 characters a line buffer holds, the text looks like a
      // reply of its own; taken for one, it would answer USER.
      {"OverlongLineIsCutWithoutSpawningLines",
       {"220 " + std::string(2043, 'a') + "530 spliced\r\n"},
       password,
       loggedIn,
       nullptr},
      {"LongLinesAcrossManyReceivesKeepTheirOrder",
       {longLines + "220 ready\r\n"},
       password,
       loggedIn,
       nullptr},
      {"MoreLinesThanTheTableInOneReceive", {manyLines + "220 ready\r\n"}, password, loggedIn, nullptr},
      // Indented and plain continuation lines, as the standard permits.
      {"ContinuationLinesWithoutCodeBelongToTheReply",
       ready,
       password,
       {"230-Welcome\r\n indented line\r\nplain line\r\n230 logged in\r\n"},
       "maps"},
  };
}

class FtpLoginReplies : public ::testing::TestWithParam<LoginShape> {};

}  // namespace

TEST_P(FtpLoginReplies, EachReplyIsReadWholeAndAnswersOneCommand) {
  const LoginShape& shape = GetParam();
  ScriptedServer server([&](ScriptedPeer& p) {
    p.SendPieces(shape.greeting);
    p.Command();
    p.SendPieces(shape.userReply);
    p.Command();
    p.SendPieces(shape.passReply);
    if (shape.directory) p.Answer("250 moved\r\n");
    p.WaitForClose();
  });
  ASSERT_NE(OpenScriptedSession(server), nullptr);
  Transcript expected = kLoginCommands;
  if (shape.directory) {
    EXPECT_EQ(Ftp_SetDirectory(20, Wide(shape.directory).c_str()), 1);
    expected.push_back(std::string("CWD ") + shape.directory);
  }
  expected.push_back("QUIT");
  EXPECT_EQ(CloseScriptedSession(server), expected);
}
INSTANTIATE_TEST_SUITE_P(FtpReplies, FtpLoginReplies, ::testing::ValuesIn(LoginShapes()),
                         CaseName<LoginShape>);

TEST(FtpReplies, LoginFailsOnUnexpectedCodesAndSendsQuit) {
  ScriptedServer server([](ScriptedPeer& p) {
    p.Send("220 ready\r\n");
    p.Answer("230 no password needed\r\n");  // not 331
    p.WaitForClose();
  });
  EXPECT_EQ(OpenScriptedSession(server), nullptr);
  EXPECT_EQ(Ftp_Progress(20), 0);
  EXPECT_EQ(server.Finish(), (Transcript{"USER brixmaps", "QUIT"}));
}

// ---- Directories, deletion and close -----------------------------------------------------------

TEST(FtpCommands, DirectoryCommandsAndTheirReplies) {
  // CDUP answered 200 is accepted as well as 250.
  ScriptedServer server(
      ScriptAnswers({"250 up\r\n", "200 up too\r\n", "250 ok\r\n", "550 no such directory\r\n",
                     "250 deleted\r\n", "550 no such file\r\n"}));
  ASSERT_NE(OpenScriptedSession(server), nullptr);
  EXPECT_EQ(Ftp_SetDirectory(20, u".."), 1);
  EXPECT_EQ(Ftp_SetDirectory(20, u".."), 1);
  EXPECT_EQ(Ftp_SetDirectory(20, u"..maps"), 1);
  EXPECT_EQ(Ftp_SetDirectory(20, u""), 0);
  EXPECT_EQ(Ftp_DeleteFile(20, u"old.bxm"), 1);
  EXPECT_EQ(Ftp_DeleteFile(20, u"gone.bxm"), 0);
  EXPECT_EQ(Ftp_SetDirectory(20, nullptr), 0);
  EXPECT_EQ(Ftp_DeleteFile(20, nullptr), 0);
  EXPECT_EQ(Ftp_SetDirectory(21, u"/"), 0);  // absent session
  Ftp_Close(21);
  EXPECT_EQ(CloseScriptedSession(server),
            Join({kLoginCommands,
                  {"CDUP", "CDUP", "CWD ..maps", "CWD ", "DELE old.bxm", "DELE gone.bxm", "QUIT"}}));
}

TEST(FtpCommands, LineBreaksInArgumentsAreRefusedUnsent) {
  ScriptedServer server(ScriptAnswers({"250 ok\r\n"}));
  ASSERT_NE(OpenScriptedSession(server), nullptr);
  EXPECT_EQ(Ftp_SetDirectory(20, u"maps\r\nDELE important.bxm"), 0);
  EXPECT_EQ(Ftp_DeleteFile(20, u"a\nDELE b"), 0);
  EXPECT_EQ(Ftp_SetDirectory(20, u"maps\r"), 0);
  LocalFile file("data");
  EXPECT_EQ(Ftp_SendFile(20, file.wide().c_str(), u"x.bxm\r\nDELE y", 0), 0);
  EXPECT_EQ(Ftp_Progress(20), FTP_PROGRESS_FAILED);
  EXPECT_EQ(Ftp_SetDirectory(20, u"maps"), 1);  // the session is intact
  EXPECT_EQ(CloseScriptedSession(server), Join({kLoginCommands, {"CWD maps", "QUIT"}}));
}

TEST(FtpCommands, CommandsThatDoNotFitAreRefusedNotCut) {
  std::string fitting(1024 - 3 - 4, 'd');  // "CWD " + text + CR LF + zero = 1024
  ScriptedServer server(ScriptAnswers({"250 ok\r\n"}));
  ASSERT_NE(OpenScriptedSession(server), nullptr);
  EXPECT_EQ(Ftp_SetDirectory(20, Wide(fitting + "d").c_str()), 0);
  EXPECT_EQ(Ftp_SetDirectory(20, Wide(fitting).c_str()), 1);
  EXPECT_EQ(CloseScriptedSession(server), Join({kLoginCommands, {"CWD " + fitting, "QUIT"}}));
}

TEST(FtpCommands, SilentServerEndsTheWaitAndTheConnectionAfterTheTimeout) {
  ScriptedServer server([](ScriptedPeer& p) {
    ScriptLogin(p);
    p.Command();  // CWD, never answered
    p.WaitForClose();
  });
  FtpSession* session = OpenScriptedSession(server);
  ASSERT_NE(session, nullptr);
  session->timeout = 1;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Ftp_SetDirectory(20, u"/"), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  // A reply could still come and answer the next command: the connection is
  // closed instead (the script's wait for the close ends with it).
  EXPECT_EQ(Net_Connected(session->control), 0);
  EXPECT_EQ(Ftp_DeleteFile(20, u"map.bxm"), 0);
  EXPECT_EQ(CloseScriptedSession(server), Join({kLoginCommands, {"CWD /"}}));
}

TEST(FtpCommands, LateReplyAnswersNothing) {
  ScriptedServer server([](ScriptedPeer& p) {
    ScriptLogin(p);
    p.Command();  // CWD, answered after the client gave up
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    p.Send("250 moved\r\n");
    p.Answer("550 no such file\r\n");  // a DELE would come here, to be refused
    p.WaitForClose();
  });
  FtpSession* session = OpenScriptedSession(server);
  ASSERT_NE(session, nullptr);
  session->timeout = 1;
  EXPECT_EQ(Ftp_SetDirectory(20, u"maps"), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));  // the late 250 is on its way
  EXPECT_EQ(Ftp_DeleteFile(20, u"map.bxm"), 0);                  // not "done" on the CWD's late 250
  EXPECT_EQ(CloseScriptedSession(server), Join({kLoginCommands, {"CWD maps"}}));
}

TEST(FtpCommands, DynamicSessionsAndReopeningANumber) {
  ScriptedServer first(ScriptAnswers({})), second(ScriptAnswers({}));
  FtpSession* dynamic = OpenScriptedSession(first, OBJECT_ANY);
  ASSERT_NE(dynamic, nullptr);
  ASSERT_NE(OpenScriptedSession(second, 3), nullptr);
  // Opening number 3 again closes the session that had it (QUIT) first.
  ScriptedServer third(ScriptAnswers({}));
  ASSERT_NE(OpenScriptedSession(third, 3), nullptr);
  const Transcript loggedInAndOut = Join({kLoginCommands, {"QUIT"}});
  EXPECT_EQ(second.Finish(), loggedInAndOut);
  EXPECT_EQ(CloseScriptedSession(first, reinterpret_cast<ObjectNumber>(dynamic)), loggedInAndOut);
  EXPECT_EQ(CloseScriptedSession(third, OBJECT_ANY), loggedInAndOut);
}

TEST(FtpCommands, ConnectFailureLeavesTheNumberAbsent) {
  int port;
  {
    ScriptedServer closed([](ScriptedPeer&) {});
    port = closed.port();
    // Connect once so that the script ends and the listener closes.
    NetConnection* c = Net_OpenConnection("127.0.0.1", port);
    ASSERT_NE(c, nullptr);
    Net_CloseConnection(c);
    EXPECT_EQ(closed.Finish(), Transcript{});
  }
  EXPECT_EQ(Ftp_Open(20, u"127.0.0.1", u"u", u"p", 1, port), nullptr);
  EXPECT_EQ(Ftp_Progress(20), 0);
  Ftp_Abort(20);
  Ftp_Close(20);
}

// ---- Uploads -------------------------------------------------------------------------------------

namespace {

// What the server must have received of the file.
enum class Arrival { kWhole, kNothing, kAny };

// A foreground upload against a server that answers it in one way or another.
struct ForegroundUpload {
  const char* name;
  // The server's side after the login; what the data connection brought goes
  // to `received`.
  std::function<void(ScriptedPeer& p, std::string* received)> script;
  size_t size;                          // of the local file
  bool stored;                          // Ftp_SendFile's answer
  Transcript commands;                  // after the login, up to the client's close
  Arrival arrival;                      // of the file's bytes at the server
  bool inStep = false;                  // a CWD afterwards gets its own 250
  int timeout = 0;                      // the session's, in seconds (0: the default)
  const char16_t* localPath = nullptr;  // instead of the file of `size` bytes
};

// The server's side of a passive upload that it stores.
void StoreWhole(ScriptedPeer& p, std::string* received) {
  ScriptPassiveUploadStart(p);
  *received = p.ReceiveData();
  p.Send("226 stored\r\n");
}

// The server's side of a passive upload whose data it reads, then refuses
// with `completion`.
std::function<void(ScriptedPeer&, std::string*)> RefuseAfterTheData(std::string completion) {
  return [completion](ScriptedPeer& p, std::string* received) {
    ScriptPassiveUploadStart(p);
    *received = p.ReceiveData();
    p.Send(completion);
  };
}

// The server's side of an upload whose PASV it answers with `reply`.
std::function<void(ScriptedPeer&, std::string*)> AnswerPasv(std::string reply) {
  return [reply](ScriptedPeer& p, std::string*) {
    ScriptBinaryType(p);
    p.Send(reply);
  };
}

std::vector<ForegroundUpload> ForegroundUploads() {
  const Transcript uploadAndQuit = Join({kPassiveUploadCommands, {"QUIT"}});
  const Transcript uploadThenCwd = Join({kPassiveUploadCommands, {"CWD /", "QUIT"}});
  const Transcript refusedPasv = {"TYPE I", "PASV", "QUIT"};
  std::vector<ForegroundUpload> cases = {
      {"PassiveUploadSendsTheFileAndReadsTheCompletion", StoreWhole, 3 * 4096 + 100, true, uploadAndQuit,
       Arrival::kWhole},
      {"PassiveReplySplitAcrossSegments",
       [](ScriptedPeer& p, std::string* received) {
         ScriptBinaryType(p);
         p.ListenData();
         std::string reply = p.PassiveReply();
         p.SendPieces({reply.substr(0, reply.size() - 8), reply.substr(reply.size() - 8)});
         p.AcceptData();
         p.Answer("150 go ahead\r\n");
         *received = p.ReceiveData();
         p.Send("226 stored\r\n");
       },
       4, true, uploadAndQuit, Arrival::kWhole},
      // The reply names another host; the data connection must still go to this server.
      {"PassiveAddressOfTheReplyIsNotTrusted",
       [](ScriptedPeer& p, std::string* received) {
         ScriptBinaryType(p);
         p.ListenData("127.0.0.1");
         p.Send(p.PassiveReply("127,0,0,2"));
         p.AcceptData();
         p.Answer("150 go ahead\r\n");
         *received = p.ReceiveData();
         p.Send("226 stored\r\n");
       },
       4, true, uploadAndQuit, Arrival::kWhole},
      {"PassiveReplyWithFiveNumbersFails", AnswerPasv("227 Entering Passive Mode (127,0,0,1,4)\r\n"), 4,
       false, refusedPasv, Arrival::kNothing},
      {"PassiveReplyWithoutNumbersFails", AnswerPasv("227\r\n"), 4, false, refusedPasv, Arrival::kNothing},
      {"PassiveReplyWithAPortByteOver255Fails", AnswerPasv("227 Entering Passive Mode (127,0,0,1,4,300)\r\n"),
       4, false, refusedPasv, Arrival::kNothing},
      // The six numbers read are 1,127,0,0,1,<high byte>: the port becomes
      // 256 + the high byte, where nobody listens.
      {"NumberBeforeTheAddressIsTakenAsTheFirst",
       [](ScriptedPeer& p, std::string*) {
         ScriptBinaryType(p);
         int port = p.ListenData();
         p.Send("227 Mode 1 (127,0,0,1," + std::to_string(port / 256) + "," + std::to_string(port % 256) +
                ")\r\n");
       },
       4, false, refusedPasv, Arrival::kNothing},
      // No completion reply is read after the refusal, so the next command
      // gets its own answer.
      {"RefusedStoreClosesTheDataConnection",
       [](ScriptedPeer& p, std::string* received) {
         ScriptPassiveUploadStart(p, "553 Could not create file.\r\n");
         *received = p.ReceiveData();  // ends when the client closes the data connection
       },
       4, false, uploadThenCwd, Arrival::kNothing, true},
      // Each completion reply is consumed whole.
      {"CompletionAnswered451IsAFailure", RefuseAfterTheData("451 Failure writing to local file.\r\n"), 5000,
       false, uploadThenCwd, Arrival::kWhole, true},
      {"MultiLineCompletionAnswered552IsAFailure",
       RefuseAfterTheData("552-Disk full\r\n552-quota exceeded\r\n552-sorry\r\n552 end\r\n"), 5000, false,
       uploadThenCwd, Arrival::kWhole, true},
      {"CompletionAnswered426IsAFailure", RefuseAfterTheData("426 Connection closed; transfer aborted.\r\n"),
       5000, false, uploadThenCwd, Arrival::kWhole, true},
      // The reply ends at "451 ", no earlier.
      {"InnerLinesOfAMultiLineFailureNeverCount",
       RefuseAfterTheData(
           "451-Quota exceeded\r\n250 MB of your 250 MB quota are in use\r\n226 looks like success\r\n"
           "451 Transfer aborted, file removed\r\n"),
       5000, false, uploadThenCwd, Arrival::kWhole, true},
      // The server never confirms: after the time-out the connection goes, no QUIT.
      {"MissingCompletionIsAFailure",
       [](ScriptedPeer& p, std::string* received) {
         ScriptPassiveUploadStart(p);
         *received = p.ReceiveData();
       },
       4, false, kPassiveUploadCommands, Arrival::kWhole, false, 1},
      // A full disk: the server resets the data connection and says why. The
      // file is large enough that the client is still sending when the reset
      // arrives, which must not kill the process.
      {"DroppedDataConnectionFailsWithoutKillingTheProcess",
       [](ScriptedPeer& p, std::string* received) {
         ScriptPassiveUploadStart(p);
         *received = p.ReceiveDataAtLeast(4096);
         p.ResetData();
         p.Send("452 Disk full\r\n");
       },
       8 << 20, false, uploadThenCwd, Arrival::kAny, true},
  };
#ifdef __linux__
  // Reading the process's own memory at address 0 fails: a file that opens
  // and cannot be read. Its end is no end of the file.
  cases.push_back({"ReadErrorIsNoEndOfFile", StoreWhole, 0, false, uploadAndQuit, Arrival::kNothing, false, 0,
                   u"/proc/self/mem"});
#endif
  return cases;
}

class FtpForegroundUpload : public ::testing::TestWithParam<ForegroundUpload> {};

}  // namespace

TEST_P(FtpForegroundUpload, EndsAsTheServerAnswered) {
  const ForegroundUpload& c = GetParam();
  const std::string bytes = Pattern(c.size);
  std::string received;
  ScriptedServer server([&](ScriptedPeer& p) {
    ScriptLogin(p);
    c.script(p, &received);
    if (c.inStep) p.Answer("250 ok\r\n");
    p.WaitForClose();
  });
  LocalFile file(bytes);
  FtpSession* session = OpenScriptedSession(server);
  ASSERT_NE(session, nullptr);
  if (c.timeout) session->timeout = c.timeout;
  const std::u16string path = c.localPath ? std::u16string(c.localPath) : file.wide();
  EXPECT_EQ(Ftp_SendFile(20, path.c_str(), u"map.bxm", 0), c.stored ? 1 : 0);
  EXPECT_EQ(Ftp_Progress(20), c.stored ? FTP_PROGRESS_FINISHED : FTP_PROGRESS_FAILED);
  if (c.inStep) {
    EXPECT_EQ(Ftp_SetDirectory(20, u"/"), 1);
  }
  EXPECT_EQ(CloseScriptedSession(server), Join({kLoginCommands, c.commands}));
  if (c.arrival == Arrival::kWhole) {
    EXPECT_TRUE(received == bytes) << received.size() << " of " << c.size;
  } else if (c.arrival == Arrival::kNothing) {
    EXPECT_EQ(received.size(), 0u);
  }
}
INSTANTIATE_TEST_SUITE_P(FtpUpload, FtpForegroundUpload, ::testing::ValuesIn(ForegroundUploads()),
                         CaseName<ForegroundUpload>);

TEST(FtpUpload, DroppedControlConnectionFails) {
  ScriptedServer server([&](ScriptedPeer& p) {
    ScriptLogin(p);
    ScriptPassiveUploadStart(p);
    p.ReceiveDataAtLeast(1);
    p.ResetData();
    p.Close();
  });
  LocalFile file(Pattern(4 << 20));
  ASSERT_NE(OpenScriptedSession(server), nullptr);
  EXPECT_EQ(Ftp_SendFile(20, file.wide().c_str(), u"map.bxm", 1), 1);
  EXPECT_EQ(WaitForOutcome(20), FTP_PROGRESS_FAILED);
  EXPECT_EQ(CloseScriptedSession(server), Join({kLoginCommands, kPassiveUploadCommands}));
}

TEST(FtpUpload, ServerThatStopsReadingFailsTheUploadAfterTheTimeout) {
  ScriptedServer server([&](ScriptedPeer& p) {
    ScriptLogin(p);
    ScriptPassiveUploadStart(p);
    p.WaitForClose();  // never reads the data, never answers
  });
  LocalFile file(Pattern(16 << 20));
  FtpSession* session = OpenScriptedSession(server);
  ASSERT_NE(session, nullptr);
  session->timeout = 1;
  ASSERT_EQ(Ftp_SendFile(20, file.wide().c_str(), u"map.bxm", 1), 1);
  // Without progress for the session's time-out the upload fails by itself;
  // the completion reply never comes either, so the connection goes.
  EXPECT_EQ(WaitForOutcome(20, 10000), FTP_PROGRESS_FAILED);
  EXPECT_EQ(Net_Connected(session->control), 0);
  EXPECT_EQ(CloseScriptedSession(server), Join({kLoginCommands, kPassiveUploadCommands}));
}

TEST(FtpUpload, StallShorterThanTheTimeoutLosesNothing) {
  std::string bytes = Pattern(16 << 20);
  std::string received;
  ScriptedServer server([&](ScriptedPeer& p) {
    ScriptLogin(p);
    ScriptPassiveUploadStart(p);
    received = p.ReceiveDataAtLeast(1 << 20);
    // Twice a pause of three quarters of the time-out: together longer than
    // it, each shorter, and each ended by progress.
    for (int i = 0; i < 2; i++) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      received += p.ReceiveDataAtLeast(1 << 20);
    }
    received += p.ReceiveData();
    p.Send("226 stored\r\n");
    p.WaitForClose();
  });
  LocalFile file(bytes);
  FtpSession* session = OpenScriptedSession(server);
  ASSERT_NE(session, nullptr);
  session->timeout = 2;
  EXPECT_EQ(Ftp_SendFile(20, file.wide().c_str(), u"map.bxm", 0), 1);
  EXPECT_EQ(CloseScriptedSession(server), Join({kLoginCommands, kPassiveUploadCommands, {"QUIT"}}));
  EXPECT_TRUE(received == bytes) << received.size();
}

TEST(FtpUpload, MissingLocalFileSendsNothing) {
  ScriptedServer server(ScriptAnswers({}));
  ASSERT_NE(OpenScriptedSession(server), nullptr);
  EXPECT_EQ(Ftp_SendFile(20, u"/nonexistent/map.bxm", u"map.bxm", 0), 0);
  EXPECT_EQ(Ftp_Progress(20), FTP_PROGRESS_FAILED);
  EXPECT_EQ(Ftp_SendFile(20, nullptr, u"map.bxm", 0), 0);
  EXPECT_EQ(Ftp_SendFile(20, u"x", nullptr, 0), 0);
  EXPECT_EQ(Ftp_SendFile(21, u"x", u"y", 0), 0);
  EXPECT_EQ(CloseScriptedSession(server), Join({kLoginCommands, {"QUIT"}}));
}

TEST(FtpUpload, ActiveUploadAnnouncesTheControlConnectionsLocalAddress) {
  std::string portArgument, received;
  ScriptedServer login([](ScriptedPeer& p) { ScriptLogin(p); });
  ScriptedServer server([&](ScriptedPeer& p) {
    portArgument = PortArgument(ScriptBinaryType(p));
    p.Send("200 PORT ok\r\n");
    p.Command();  // STOR
    p.ConnectData(portArgument);
    p.Send("150 go ahead\r\n");
    received = p.ReceiveData();
    p.Send("226 stored\r\n");
    p.WaitForClose();
  });
  FtpSession* session = OpenScriptedSession(login, 20, 0);
  ASSERT_NE(session, nullptr);
  // The session goes on over a control connection whose local end is
  // 127.0.0.3, as one to a server elsewhere has an address of its own.
  NetConnection* control = Net_OpenConnection("127.0.0.1", server.port(), NET_TCP, 0, "127.0.0.3", 0);
  ASSERT_NE(control, nullptr);
  Net_CloseConnection(session->control);
  session->control = control;
  std::string bytes = Pattern(100000);
  LocalFile file(bytes);
  EXPECT_EQ(Ftp_SendFile(20, file.wide().c_str(), u"map.bxm", 1), 1);
  EXPECT_EQ(WaitForOutcome(20), FTP_PROGRESS_FINISHED);
  Ftp_Close(20);
  EXPECT_EQ(login.Finish(), kLoginCommands);
  EXPECT_EQ(server.Finish(), (Transcript{"TYPE I", "PORT " + portArgument, "STOR map.bxm", "QUIT"}));
  EXPECT_EQ(portArgument.rfind("127,0,0,3,", 0), 0u) << portArgument;
  EXPECT_EQ(received, bytes);
}

TEST(FtpUpload, ActiveDataConnectionFromAnotherHostIsTurnedAway) {
  std::string argument, received, stolen = "nothing";
  ScriptedServer server([&](ScriptedPeer& p) {
    ScriptLogin(p);
    argument = PortArgument(ScriptBinaryType(p));
    p.Send("200 PORT ok\r\n");
    p.Command();  // STOR
    // Another host gets to the announced port first.
    NetConnection* thief = nullptr;
    unsigned h1, h2, h3, h4, p1, p2;
    if (std::sscanf(argument.c_str(), "%u,%u,%u,%u,%u,%u", &h1, &h2, &h3, &h4, &p1, &p2) == 6)
      thief =
          Net_OpenConnection("127.0.0.1", static_cast<int32_t>(p1 * 256 + p2), NET_TCP, 0, "127.0.0.9", 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    p.ConnectData(argument);
    p.Send("150 go ahead\r\n");
    received = p.ReceiveData();
    p.Send("226 stored\r\n");
    if (thief) {
      char buffer[64];
      stolen.clear();
      if (Net_WaitReceive(thief, 5000)) {
        int n = Net_Receive(thief, buffer, sizeof buffer);
        if (n > 0) stolen.assign(buffer, n);
      }
      Net_CloseConnection(thief);
    }
    p.WaitForClose();
  });
  std::string bytes = Pattern(10000);
  LocalFile file(bytes);
  ASSERT_NE(OpenScriptedSession(server, 20, 0), nullptr);
  EXPECT_EQ(Ftp_SendFile(20, file.wide().c_str(), u"map.bxm", 0), 1);
  EXPECT_EQ(CloseScriptedSession(server),
            Join({kLoginCommands, {"TYPE I", "PORT " + argument, "STOR map.bxm", "QUIT"}}));
  EXPECT_EQ(received, bytes);
  EXPECT_EQ(stolen, "");  // turned away: closed without a byte
}

TEST(FtpUpload, RefusedPortClosesTheListener) {
  std::string port;
  ScriptedServer server([&](ScriptedPeer& p) {
    ScriptLogin(p);
    port = ScriptBinaryType(p);
    p.Send("500 PORT not allowed\r\n");
    p.WaitForClose();
  });
  LocalFile file("brix");
  ASSERT_NE(OpenScriptedSession(server, 20, 0), nullptr);
  EXPECT_EQ(Ftp_SendFile(20, file.wide().c_str(), u"map.bxm", 0), 0);
  EXPECT_EQ(CloseScriptedSession(server), Join({kLoginCommands, {"TYPE I", port, "QUIT"}}));
  EXPECT_EQ(port.rfind("PORT 127,0,0,1,", 0), 0u) << port;
  // Nothing listens any longer: the event poll of all servers finds none.
  EXPECT_EQ(Net_ServerEvent(OBJECT_ANY), NET_EVENT_NONE);
}

// ---- Progress and abort -------------------------------------------------------------------------

TEST(FtpProgress, ProgressIsSixtyFourBits) {
  ScriptedServer server(ScriptAnswers({}));
  FtpSession* session = OpenScriptedSession(server);
  ASSERT_NE(session, nullptr);
  // 4 GiB - 3 bytes sent must not read as "finished", nor 2 GiB + 1 as a code.
  session->progress = (int64_t{1} << 32) - 3;
  EXPECT_EQ(Ftp_Progress(20), (int64_t{1} << 32) - 3);
  session->progress = (int64_t{1} << 31) + 1;
  EXPECT_EQ(Ftp_Progress(20), (int64_t{1} << 31) + 1);
  session->progress = 0;
  EXPECT_EQ(CloseScriptedSession(server), Join({kLoginCommands, {"QUIT"}}));
}

TEST(FtpProgress, AbortDuringSetupStopsTheUploadBeforeItReturns) {
  std::atomic<bool> typeSent{false};
  ScriptedServer server([&](ScriptedPeer& p) {
    ScriptLogin(p);
    p.Command();  // TYPE I, answered late
    typeSent = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    p.Send("200 binary\r\n");
    p.WaitForClose();
  });
  LocalFile file("brix");
  ASSERT_NE(OpenScriptedSession(server), nullptr);
  ASSERT_EQ(Ftp_SendFile(20, file.wide().c_str(), u"map.bxm", 1), 1);
  // Once TYPE is out, the upload waits for its reply with the progress at -1.
  Await([&] { return typeSent.load(); });
  EXPECT_EQ(Ftp_Progress(20), FTP_PROGRESS_STARTING);
  Ftp_Abort(20);
  EXPECT_EQ(Ftp_Progress(20), FTP_PROGRESS_FAILED);
  // Closed right after: the worker has let go of the session. TYPE's reply
  // was not read: the control connection went with the abort.
  EXPECT_EQ(CloseScriptedSession(server), Join({kLoginCommands, {"TYPE I"}}));
}

TEST(FtpProgress, AbortWithoutUploadReturnsAtOnceAndAsksNothing) {
  ScriptedServer server([](ScriptedPeer& p) {
    ScriptLogin(p);
    std::string received;
    StoreWhole(p, &received);
    StoreWhole(p, &received);
    p.WaitForClose();
  });
  FtpSession* session = OpenScriptedSession(server);
  ASSERT_NE(session, nullptr);
  Ftp_Abort(20);
  EXPECT_EQ(session->abortRequest.load(), 0);
  LocalFile file(Pattern(4096));
  EXPECT_EQ(Ftp_SendFile(20, file.wide().c_str(), u"map.bxm", 0), 1);
  EXPECT_EQ(Ftp_Progress(20), FTP_PROGRESS_FINISHED);
  Ftp_Abort(20);
  EXPECT_EQ(session->abortRequest.load(), 0);
  // A stale request would stop the next upload; each one starts clean.
  session->abortRequest = 1;
  EXPECT_EQ(Ftp_SendFile(20, file.wide().c_str(), u"map.bxm", 1), 1);
  EXPECT_EQ(WaitForOutcome(20), FTP_PROGRESS_FINISHED);
  EXPECT_EQ(CloseScriptedSession(server),
            Join({kLoginCommands, kPassiveUploadCommands, kPassiveUploadCommands, {"QUIT"}}));
}

// ---- Whether the remote file is the upload's own ---------------------------------------------

TEST(FtpStoreAccepted, SetOnlyOnceTheServerAcceptedStor) {
  ScriptedServer server([](ScriptedPeer& p) {
    ScriptLogin(p);
    std::string received;
    StoreWhole(p, &received);
    // A refused STOR: no file of the name was written by this upload.
    ScriptPassiveUploadStart(p, "553 Could not create file.\r\n");
    p.ReceiveData();
    // Accepted, then failed in the completion: the partial file is the upload's.
    ScriptPassiveUploadStart(p);
    p.ReceiveData();
    p.Send("451 Failure writing to local file.\r\n");
    // A refused PASV.
    ScriptBinaryType(p);
    p.Send("502 no passive mode\r\n");
    p.WaitForClose();
  });
  LocalFile file("brix");
  EXPECT_EQ(Ftp_StoreAccepted(20), 0);  // absent session
  ASSERT_NE(OpenScriptedSession(server), nullptr);
  EXPECT_EQ(Ftp_StoreAccepted(20), 0);  // none started
  EXPECT_EQ(Ftp_SendFile(20, file.wide().c_str(), u"map.bxm", 0), 1);
  EXPECT_EQ(Ftp_StoreAccepted(20), 1);
  // Failing at once (no local file, no path) resets it: nothing was written.
  EXPECT_EQ(Ftp_SendFile(20, u"/nonexistent/map.bxm", u"map.bxm", 0), 0);
  EXPECT_EQ(Ftp_StoreAccepted(20), 0);
  EXPECT_EQ(Ftp_SendFile(20, file.wide().c_str(), u"map.bxm", 0), 0);  // refused STOR
  EXPECT_EQ(Ftp_StoreAccepted(20), 0);
  EXPECT_EQ(Ftp_SendFile(20, file.wide().c_str(), u"map.bxm", 1), 1);
  EXPECT_EQ(WaitForOutcome(20), FTP_PROGRESS_FAILED);
  EXPECT_EQ(Ftp_StoreAccepted(20), 1);
  EXPECT_EQ(Ftp_SendFile(20, nullptr, u"map.bxm", 0), 0);
  EXPECT_EQ(Ftp_StoreAccepted(20), 0);
  EXPECT_EQ(Ftp_SendFile(20, file.wide().c_str(), u"map.bxm", 0), 0);  // refused PASV
  EXPECT_EQ(Ftp_StoreAccepted(20), 0);
  EXPECT_EQ(CloseScriptedSession(server), Join({kLoginCommands,
                                                kPassiveUploadCommands,
                                                kPassiveUploadCommands,
                                                kPassiveUploadCommands,
                                                {"TYPE I", "PASV", "QUIT"}}));
  EXPECT_EQ(Ftp_StoreAccepted(20), 0);
}

// ---- Trouble: misbehaving servers and local files ------------------------------------------

TEST(FtpTrouble, EndlessGreetingFailsTheOpenSoon) {
  ScriptedServer server([](ScriptedPeer& p) {
    // Greeting lines as fast as the client takes them, until it hangs up.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kScriptWaitMs);
    std::string line = "220-" + std::string(100, 'w') + "\r\n";
    while (std::chrono::steady_clock::now() < deadline && p.Send(line)) {
    }
    p.WaitForClose();
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(OpenScriptedSession(server), nullptr);
  // The reply's size bound ends it long before its 30-second bound.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(Ftp_Progress(20), 0);
  EXPECT_EQ(server.Finish(), Transcript{});
}

TEST(FtpTrouble, TricklingCompletionReplyIsBoundedAsAWhole) {
  ScriptedServer server([](ScriptedPeer& p) {
    ScriptLogin(p);
    ScriptPassiveUploadStart(p);
    p.ReceiveData();
    // A line every 50 ms: each receive is quick, the reply never ends.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kScriptWaitMs);
    while (std::chrono::steady_clock::now() < deadline && p.Send("226-still counting\r\n"))
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    p.WaitForClose();
  });
  LocalFile file(Pattern(5000));
  FtpSession* session = OpenScriptedSession(server);
  ASSERT_NE(session, nullptr);
  session->timeout = 1;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Ftp_SendFile(20, file.wide().c_str(), u"map.bxm", 0), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_EQ(Net_Connected(session->control), 0);
  EXPECT_EQ(CloseScriptedSession(server), Join({kLoginCommands, kPassiveUploadCommands}));
}

TEST(FtpTrouble, AbortIsPromptWhileAReplyIsHeld) {
  // PASV, and in active mode the data connection, never come; the default
  // 30-second time-out stays in force.
  for (int32_t passive : {1, 0}) {
    std::atomic<bool> asked{false};
    std::string dataCommand;
    ScriptedServer server([&](ScriptedPeer& p) {
      ScriptLogin(p);
      dataCommand = ScriptBinaryType(p);  // PASV or PORT
      if (!passive) {
        p.Send("200 PORT ok\r\n");
        p.Answer("150 go ahead\r\n");  // STOR
      }
      asked = true;
      p.WaitForClose();
    });
    LocalFile file("brix");
    FtpSession* session = OpenScriptedSession(server, 20, passive);
    ASSERT_NE(session, nullptr);
    ASSERT_EQ(Ftp_SendFile(20, file.wide().c_str(), u"map.bxm", 1), 1);
    ASSERT_TRUE(Await([&] { return asked.load(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_LT(TimedAbort(20), kAbortBound) << passive;
    EXPECT_EQ(Ftp_Progress(20), FTP_PROGRESS_FAILED);
    EXPECT_EQ(Ftp_StoreAccepted(20), passive ? 0 : 1);
    EXPECT_EQ(Net_Connected(session->control), 0);  // out of step
    Transcript t = CloseScriptedSession(server);
    if (passive) {
      EXPECT_EQ(t, Join({kLoginCommands, {"TYPE I", "PASV"}}));
    } else {
      EXPECT_EQ(t, Join({kLoginCommands, {"TYPE I", dataCommand, "STOR map.bxm"}}));
      EXPECT_EQ(dataCommand.rfind("PORT 127,0,0,1,", 0), 0u) << dataCommand;
    }
  }
}

TEST(FtpTrouble, AbortIsPromptWhileTheServerReadsSlowly) {
  // 2 MB fit the socket buffers: the upload waits for the completion reply
  // while the server is still reading. 16 MB keep it in the block loop.
  for (size_t size : {size_t{2} << 20, size_t{16} << 20}) {
    std::atomic<size_t> read{0};
    ScriptedServer server([&](ScriptedPeer& p) {
      ScriptLogin(p);
      ScriptPassiveUploadStart(p);
      read = p.ReceiveDataSlowly(1 << 20);  // ends with the client's reset
      p.Send("426 Failure reading network stream.\r\n");
      p.WaitForClose();
    });
    LocalFile file(Pattern(size));
    ASSERT_NE(OpenScriptedSession(server), nullptr);
    ASSERT_TRUE(UploadUnderway(file, 1 << 20));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LT(TimedAbort(20), kAbortBound) << size;
    EXPECT_EQ(Ftp_Progress(20), FTP_PROGRESS_FAILED);
    EXPECT_EQ(Ftp_StoreAccepted(20), 1);
    EXPECT_EQ(CloseScriptedSession(server), Join({kLoginCommands, kPassiveUploadCommands, {"QUIT"}}));
    // The unsent rest was discarded, not drained at the server's pace.
    EXPECT_LT(read.load(), size);
  }
}

TEST(FtpTrouble, AbortIsPromptAtFullSpeed) {
  ScriptedServer server([&](ScriptedPeer& p) {
    ScriptLogin(p);
    ScriptPassiveUploadStart(p);
    p.ReceiveData();
    p.Send("426 Connection closed; transfer aborted.\r\n");
    p.WaitForClose();
  });
  LocalFile file(Pattern(64 << 20));
  ASSERT_NE(OpenScriptedSession(server), nullptr);
  ASSERT_TRUE(UploadUnderway(file));
  EXPECT_LT(TimedAbort(20), kAbortBound);
  EXPECT_EQ(Ftp_Progress(20), FTP_PROGRESS_FAILED);
  EXPECT_EQ(CloseScriptedSession(server), Join({kLoginCommands, kPassiveUploadCommands, {"QUIT"}}));
}

TEST(FtpTrouble, LateCompletionAfterAnAbortIsReadBeforeTheNextCommand) {
  // The server answers the dropped data connection only after a while (as a
  // rate-limited one does); the reply must not answer the DELE that follows.
  ScriptedServer server([&](ScriptedPeer& p) {
    ScriptLogin(p);
    ScriptPassiveUploadStart(p);
    p.ReceiveData();  // until the client's reset
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    p.Send("426 Failure reading network stream.\r\n");
    p.Answer("550 Delete operation failed.\r\n");  // DELE
    p.Answer("250 ok\r\n");                        // CWD
    p.WaitForClose();
  });
  LocalFile file(Pattern(64 << 20));
  ASSERT_NE(OpenScriptedSession(server), nullptr);
  ASSERT_TRUE(UploadUnderway(file));
  EXPECT_LT(TimedAbort(20), kAbortBound);
  EXPECT_EQ(Ftp_DeleteFile(20, u"map.bxm"), 0);  // its own 550, not the 426 nor a 250
  EXPECT_EQ(Ftp_SetDirectory(20, u"/"), 1);
  EXPECT_EQ(CloseScriptedSession(server),
            Join({kLoginCommands, kPassiveUploadCommands, {"DELE map.bxm", "CWD /", "QUIT"}}));
}

TEST(FtpTrouble, OwedReplyThatNeverComesClosesTheConnection) {
  ScriptedServer server([&](ScriptedPeer& p) {
    ScriptLogin(p);
    ScriptPassiveUploadStart(p);
    p.ReceiveData();
    p.WaitForClose();  // no word about the dropped data connection
  });
  LocalFile file(Pattern(64 << 20));
  FtpSession* session = OpenScriptedSession(server);
  ASSERT_NE(session, nullptr);
  ASSERT_TRUE(UploadUnderway(file));
  EXPECT_LT(TimedAbort(20), kAbortBound);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Ftp_DeleteFile(20, u"map.bxm"), 0);
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(FTP_OWED_REPLY_MS - 100));
  EXPECT_LT(took, std::chrono::milliseconds(FTP_OWED_REPLY_MS + 3000));
  EXPECT_EQ(Net_Connected(session->control), 0);
  EXPECT_EQ(CloseScriptedSession(server), Join({kLoginCommands, kPassiveUploadCommands}));
}

TEST(FtpTrouble, CloseAfterAnAbortWaitsForNoOwedReply) {
  ScriptedServer server([&](ScriptedPeer& p) {
    ScriptLogin(p);
    ScriptPassiveUploadStart(p);
    p.ReceiveData();
    p.WaitForClose();
  });
  LocalFile file(Pattern(64 << 20));
  ASSERT_NE(OpenScriptedSession(server), nullptr);
  ASSERT_TRUE(UploadUnderway(file));
  auto start = std::chrono::steady_clock::now();
  Ftp_Close(20);  // closing the window mid-upload
  EXPECT_LT(std::chrono::steady_clock::now() - start, kAbortBound);
  EXPECT_EQ(server.Finish(), Join({kLoginCommands, kPassiveUploadCommands, {"QUIT"}}));
}

#ifdef __linux__
TEST(FtpTrouble, FifosAndDevicesAreRefusedUnsent) {
  std::string directory = TempDirectory();
  std::string fifo = directory + "/map.bxm";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ScriptedServer server(ScriptAnswers({}));
  ASSERT_NE(OpenScriptedSession(server), nullptr);
  // A read from either may never end; nobody writes to the FIFO.
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Ftp_SendFile(20, Wide(fifo).c_str(), u"map.bxm", 0), 0);
  EXPECT_EQ(Ftp_SendFile(20, u"/dev/zero", u"map.bxm", 0), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(Ftp_Progress(20), FTP_PROGRESS_FAILED);
  EXPECT_EQ(CloseScriptedSession(server), Join({kLoginCommands, {"QUIT"}}));
  std::error_code ignored;
  std::filesystem::remove_all(directory, ignored);
}

TEST(FtpTrouble, FileThatShrinksWhileSentFails) {
  // Cut below what was sent, and cut to a size between that and the start
  // size: either way the server's copy matches no version of the file.
  for (bool belowSent : {true, false}) {
    std::atomic<int> stage{0};
    ScriptedServer server([&](ScriptedPeer& p) {
      ScriptLogin(p);
      ScriptPassiveUploadStart(p);
      p.ReceiveDataAtLeast(1 << 20);
      stage = 1;  // the client is held by full buffers; the test cuts the file
      Await([&] { return stage.load() == 2; });
      p.ReceiveData();  // until the client resets the connection
      p.Send("451 Transfer aborted\r\n");
      p.Answer("250 ok\r\n");
      p.WaitForClose();
    });
    LocalFile file(Pattern(32 << 20));
    ASSERT_NE(OpenScriptedSession(server), nullptr);
    ASSERT_EQ(Ftp_SendFile(20, file.wide().c_str(), u"map.bxm", 1), 1);
    ASSERT_TRUE(Await([&] { return stage.load() == 1; }));
    std::filesystem::resize_file(file.path, belowSent ? 1000 : (24 << 20));
    stage = 2;
    EXPECT_EQ(WaitForOutcome(20), FTP_PROGRESS_FAILED) << belowSent;
    EXPECT_EQ(Ftp_SetDirectory(20, u"/"), 1);  // the failure reply was read: in step
    EXPECT_EQ(CloseScriptedSession(server),
              Join({kLoginCommands, kPassiveUploadCommands, {"CWD /", "QUIT"}}));
  }
}
#endif

#ifdef _WIN32
TEST(FtpTrouble, PipesAndDevicesAreRefusedUnsent) {
  // A named pipe whose server never writes, and the null device: reads from
  // either may never end or never mean a file.
  HANDLE pipe = CreateNamedPipeW(L"\\\\.\\pipe\\tilepost-map", PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1, 4096,
                                 4096, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  ScriptedServer server(ScriptAnswers({}));
  ASSERT_NE(OpenScriptedSession(server), nullptr);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Ftp_SendFile(20, u"\\\\.\\pipe\\tilepost-map", u"map.bxm", 0), 0);
  EXPECT_EQ(Ftp_SendFile(20, u"NUL", u"map.bxm", 0), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(Ftp_Progress(20), FTP_PROGRESS_FAILED);
  Transcript t = CloseScriptedSession(server);
  CloseHandle(pipe);
  EXPECT_EQ(t, Join({kLoginCommands, {"QUIT"}}));
}
#endif
