// Fuzzes the FTP reply reader: arbitrary server text, cut into arbitrary
// receives, read back as lines (checked against a plain reference splitter)
// or as replies matched against codes (checked for the reader's invariants).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ftp/ftp.h"
#include "net/time.h"

// The reader reaches the network and the clock only without a receive hook.
int32_t Net_WaitReceive(NetConnection*, int32_t) { std::abort(); }
int32_t Net_WaitSend(NetConnection*, int32_t) { std::abort(); }
int32_t Net_Receive(NetConnection*, void*, int32_t) { std::abort(); }
int32_t Net_Send(NetConnection*, const void*, int32_t) { std::abort(); }
int32_t Time_Now() { std::abort(); }
TimeBound Time_Bound(int32_t) { std::abort(); }
int32_t Time_Left(const TimeBound&) { std::abort(); }
int32_t Net_Connected(const NetConnection*) { std::abort(); }
void Net_Disconnect(NetConnection*) { std::abort(); }
bool Ftp_Running(int64_t) { std::abort(); }
int WSAAPI WSAGetLastError() { std::abort(); }

namespace {

// Input: a mode byte, then chunks, each a length byte and that many bytes of
// server text; every chunk is what one receive delivers (at most).
struct Feed {
  const uint8_t* data;
  size_t size;
  size_t at;
  std::string all;  // every byte delivered, for the reference
  bool failed;      // a receive failed: the reader dropped an unfinished line
};
Feed feed;

int32_t receive(FtpSession*, char* buffer, int32_t length) {
  if (feed.at >= feed.size) return 0;
  size_t chunk = feed.data[feed.at++];
  if (chunk > feed.size - feed.at) chunk = feed.size - feed.at;
  if (chunk > static_cast<size_t>(length)) chunk = length;  // the rest is lost, as a short read
  std::memcpy(buffer, feed.data + feed.at, chunk);
  feed.all.append(reinterpret_cast<const char*>(feed.data + feed.at), chunk);
  feed.at += chunk;
  // An empty chunk stands for a receive that fails.
  if (chunk == 0) feed.failed = true;
  return chunk == 0 ? -1 : static_cast<int32_t>(chunk);
}

void check(bool condition) {
  if (!condition) std::abort();
}

void checkSession(const FtpSession& s) {
  check(s.pendingLines >= 0 && s.pendingLines <= FTP_LINE_TABLE_SIZE);
  check(s.textStart >= 0 && s.textStart <= s.textEnd && s.textEnd < FTP_REPLY_BUFFER_SIZE);
}

// Lines as the reader must hand them out: split at runs of CR and LF, cut to a
// line buffer, then at a NUL (lines are zero-terminated texts).
std::vector<std::string> referenceLines(const std::string& text, bool closed) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    if (text[at] == '\r' || text[at] == '\n') {
      at++;
      continue;
    }
    size_t end = text.find_first_of("\r\n", at);
    if (end == std::string::npos && !closed) break;
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (line.size() > static_cast<size_t>(FTP_LINE_SIZE - 1)) line.resize(FTP_LINE_SIZE - 1);
    line = line.substr(0, line.find('\0'));
    lines.push_back(line);
    at = end;
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  feed = {data + 1, size - 1, 0, {}, false};
  std::vector<char> buffer(FTP_REPLY_BUFFER_SIZE);
  std::vector<char*> table(FTP_LINE_TABLE_SIZE);
  FtpSession session{};
  session.replyBuffer = buffer.data();
  session.lines = table.data();
  session.timeout = 1;
  session.receive = receive;

  if (data[0] & 1) {
    // Lines alone, against the reference.
    std::vector<std::string> got;
    char line[FTP_LINE_SIZE];
    while (Ftp_ReadReplyLine(&session, line)) {
      check(std::strlen(line) < static_cast<size_t>(FTP_LINE_SIZE));
      check(!std::strpbrk(line, "\r\n"));
      got.push_back(line);
      checkSession(session);
    }
    if (!feed.failed) check(got == referenceLines(feed.all, true));
  } else {
    // Replies, with copies of varying room.
    for (int round = 0; round < 64 && feed.at < feed.size; round++) {
      char copy[64];
      int32_t room = 1 + (round * 7) % 64;
      std::memset(copy, 'x', sizeof copy);
      int32_t matched = (round % 3 == 0)
                            ? Ftp_SkipReply(&session)
                            : Ftp_ExpectReply(&session, round % 3 == 1 ? "125;150" : "227", copy, room);
      if (matched && round % 3 != 0) check(std::memchr(copy, 0, room) != nullptr);
      checkSession(session);
    }
  }
  return 0;
}
