// The reply reader on its own: received text fed in pieces through the
// session's receive hook, lines and replies read back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/heap.h"
#include "ftp/ftp.h"
#include "tests/ftp/ftp_fixture.h"

namespace {

// A session record that receives scripted pieces instead of socket data.
struct Feed {
  std::vector<std::string> pieces;
  size_t next = 0;
};
Feed* current = nullptr;

int32_t fromFeed(FtpSession*, char* buffer, int32_t length) {
  if (current->next == current->pieces.size()) return 0;
  std::string& piece = current->pieces[current->next];
  int32_t n = static_cast<int32_t>(piece.size()) < length ? static_cast<int32_t>(piece.size()) : length;
  std::memcpy(buffer, piece.data(), n);
  piece.erase(0, n);
  if (piece.empty()) current->next++;
  return n;
}

class FtpReader : public ::testing::Test {
 protected:
  void SetUp() override {
    session.replyBuffer = static_cast<char*>(Heap_Alloc(FTP_REPLY_BUFFER_SIZE));
    session.lines = static_cast<char**>(Heap_Alloc(FTP_LINE_TABLE_SIZE * sizeof(char*)));
    session.timeout = 1;
    session.receive = fromFeed;
    current = &feed;
  }
  void TearDown() override {
    Heap_Free(session.replyBuffer);
    Heap_Free(session.lines);
  }
  std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    char line[FTP_LINE_SIZE];
    while (Ftp_ReadReplyLine(&session, line)) lines.push_back(line);
    return lines;
  }

  FtpSession session{};
  Feed feed;
};

}  // namespace

TEST_F(FtpReader, SplitsAtEveryRunOfLineEnds) {
  feed.pieces = {"\r\n220 a\r\n\r\n331 b\n\r230 c\rlast"};
  EXPECT_EQ(Lines(), (std::vector<std::string>{"220 a", "331 b", "230 c", "last"}));
}

TEST_F(FtpReader, JoinsLinesAcrossPieces) {
  feed.pieces = {"22", "0 a\r", "\n33", "1 b", "\r\n"};
  EXPECT_EQ(Lines(), (std::vector<std::string>{"220 a", "331 b"}));
}

TEST_F(FtpReader, CutsOverlongLinesAndDropsTheirRest) {
  std::string longLine(5000, 'x');
  feed.pieces = {"220 " + longLine.substr(0, 1000), longLine.substr(1000) + "\r\n331 next\r\n"};
  std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "220 " + std::string(FTP_LINE_SIZE - 1 - 4, 'x'));
  EXPECT_EQ(lines[1], "331 next");
}

TEST_F(FtpReader, KeepsEveryLineBeyondTheTable) {
  std::string text;
  std::vector<std::string> expected;
  for (int i = 0; i < 3 * FTP_LINE_TABLE_SIZE; i++) {
    expected.push_back(std::to_string(i));
    text += expected.back() + "\n";
  }
  for (size_t at = 0; at < text.size(); at += 1000) feed.pieces.push_back(text.substr(at, 1000));
  EXPECT_EQ(Lines(), expected);
}

TEST_F(FtpReader, ExpectMatchesTheReplysCodeAndCopiesTheLastLine) {
  feed.pieces = {"150-first\r\n125-second\r\n150 done\r\n226 next reply\r\n"};
  char copy[8];
  EXPECT_EQ(Ftp_ExpectReply(&session, "125;150", copy, sizeof copy), 1);
  EXPECT_STREQ(copy, "150 don");  // size - 1 characters and the zero
  EXPECT_EQ(Ftp_ExpectReply(&session, "226", nullptr, 0), 1);
  EXPECT_EQ(Ftp_ExpectReply(&session, "226", nullptr, 0), 0);  // nothing left
}

TEST_F(FtpReader, CodesMatchWholeCodesOnly) {
  feed.pieces = {"5;1 odd\r\n25 short\r\n"};
  EXPECT_EQ(Ftp_ExpectReply(&session, "125;150", nullptr, 0), 0);
  EXPECT_EQ(Ftp_ExpectReply(&session, "250", nullptr, 0), 0);
}

TEST_F(FtpReader, ReplyEndsWhereTheStandardSays) {
  // Code-less and other-code lines inside "230-" ... "230 " belong to the reply.
  feed.pieces = {"230-Welcome\r\n indented\r\nplain\r\n221 quoted code\r\n230 in\r\n250 next\r\n"};
  EXPECT_EQ(Ftp_ExpectReply(&session, "230", nullptr, 0), 1);
  EXPECT_EQ(Ftp_ExpectReply(&session, "250", nullptr, 0), 1);
}

TEST_F(FtpReader, AFirstLineWithoutHyphenedCodeIsAWholeReply) {
  feed.pieces = {"abc-x\r\n22\r\n250 next\r\n"};
  EXPECT_EQ(Ftp_SkipReply(&session), 1);
  EXPECT_EQ(Ftp_SkipReply(&session), 1);
  EXPECT_EQ(Ftp_ExpectReply(&session, "250", nullptr, 0), 1);
}

TEST_F(FtpReader, TheCodeIsTheFirstLinesAndInnerLinesNeverCount) {
  feed.pieces = {"451-Quota exceeded\r\n250 MB of your 250 MB quota are in use\r\n451 aborted\r\n",
                 "227-\r\n150 inner\r\n227 Entering Passive Mode (1,2,3,4,5,6)\r\n226 next\r\n"};
  EXPECT_EQ(Ftp_ExpectReply(&session, "226;250", nullptr, 0), 0);
  char copy[64];
  EXPECT_EQ(Ftp_ExpectReply(&session, "150", copy, sizeof copy), 0);
  EXPECT_EQ(Ftp_ExpectReply(&session, "226", copy, sizeof copy), 1);
  EXPECT_STREQ(copy, "226 next");
}

TEST_F(FtpReader, AMatchingMultiLineReplyCopiesItsClosingLine) {
  feed.pieces = {"227-\r\n150 inner\r\n227 Entering Passive Mode (1,2,3,4,5,6)\r\n"};
  char copy[64];
  EXPECT_EQ(Ftp_ExpectReply(&session, "227", copy, sizeof copy), 1);
  EXPECT_STREQ(copy, "227 Entering Passive Mode (1,2,3,4,5,6)");
}

TEST_F(FtpReader, OneReplyTakesAtMostItsShareOfText) {
  // A line a piece, never the closing one: the reply's text bound ends it.
  feed.pieces.push_back("220-start\r\n");
  for (int i = 0; i < 2 * FTP_REPLY_MAX_TEXT / 100; i++)
    feed.pieces.push_back("220-" + std::string(96, 'x') + "\r\n");
  feed.pieces.push_back("220 end\r\n");
  EXPECT_EQ(Ftp_SkipReply(&session), 0);
  EXPECT_LT(feed.next, feed.pieces.size());
}

TEST_F(FtpReader, UnfinishedReplyAtCloseIsIncomplete) {
  feed.pieces = {"220-hello\r\n220-more\r\n"};
  EXPECT_EQ(Ftp_SkipReply(&session), 0);
}

TEST_F(FtpReader, TextWithoutLineEndAtCloseIsALine) {
  feed.pieces = {"221 bye"};
  EXPECT_EQ(Ftp_ExpectReply(&session, "221", nullptr, 0), 1);
}

// Negative numbers other than OBJECT_ANY name no session and no server: every
// operation that looks one up finds nothing, and opening one fails before any
// connection is made.
TEST(FtpNumbers, NumbersBelowMinusOneNameNoSessionAndNoServer) {
  for (ObjectNumber bad :
       {ObjectNumber(-2), ObjectNumber(-3), ObjectNumber(-0x10001), ObjectNumber(INTPTR_MIN)}) {
    EXPECT_EQ(Ftp_Open(bad, u"127.0.0.1", u"user", u"password", 1, 1), nullptr) << bad;
    EXPECT_EQ(Ftp_Progress(bad), 0);
    EXPECT_EQ(Ftp_SetDirectory(bad, u"/"), 0);
    EXPECT_EQ(Ftp_DeleteFile(bad, u"x.bxm"), 0);
    EXPECT_EQ(Ftp_SendFile(bad, u"x.bxm", u"x.bxm", 0), 0);
    EXPECT_EQ(Ftp_SendFile(bad, u"x.bxm", u"x.bxm", 1), 0);
    Ftp_Abort(bad);
    Ftp_Close(bad);

    EXPECT_EQ(Net_CreateServer(bad, 0, NET_TCP, "127.0.0.1"), nullptr);
    EXPECT_EQ(Net_ServerEvent(bad), NET_EVENT_NONE);
    Net_CloseServer(bad);
  }
}
