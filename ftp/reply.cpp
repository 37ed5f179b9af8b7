// The FTP command channel: sending within a time-out, and the reply reader that
// assembles received text into lines and lines into replies.
#include <cstring>

#include "ftp/ftp.h"
#include "net/time.h"

namespace {

constexpr int32_t kTextRoom = FTP_REPLY_BUFFER_SIZE - 1;
constexpr int32_t kLineRoom = FTP_LINE_SIZE - 1;

bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

int32_t receive(FtpSession* session, char* buffer, int32_t length) {
  if (session->receive) return session->receive(session, buffer, length);
  // The connection blocks; a server that stops answering must not hold the
  // caller (the GUI thread at login) for ever.
  if (!Net_WaitReceive(session->control, session->timeout * 1000)) return -1;
  return Net_Receive(session->control, buffer, length);
}

void enter(FtpSession* session, char* line) { session->lines[session->pendingLines++] = line; }

// Enters the complete lines of the unsplit text, at most a table's worth. A
// line ends at CR or LF; runs of them form no empty lines. A line longer than a
// line buffer keeps its first kLineRoom characters and loses the rest, so no
// part of it can pass for a line of its own. `closed`: the peer has finished,
// and unterminated text is a last line.
void split(FtpSession* session, bool closed) {
  char* text = session->replyBuffer;
  int32_t at = session->textStart;
  const int32_t end = session->textEnd;
  while (at < end && session->pendingLines < FTP_LINE_TABLE_SIZE) {
    if (session->discarding) {
      while (at < end && !isLineEnd(text[at])) at++;
      if (at < end) session->discarding = 0;
      continue;
    }
    if (isLineEnd(text[at])) {
      at++;
      continue;
    }
    int32_t stop = at;
    while (stop < end && !isLineEnd(text[stop])) stop++;
    if (stop - at > kLineRoom) {
      text[at + kLineRoom] = 0;
      enter(session, text + at);
      if (stop == end) session->discarding = 1;
      at = stop;
      continue;
    }
    if (stop == end && !closed) break;  // the rest of this line is still on its way
    text[stop] = 0;
    enter(session, text + at);
    at = stop < end ? stop + 1 : end;
  }
  session->textStart = at;
}

// Refills the empty line table: splits what is buffered, receiving more as
// long as no complete line is there. False when no line can be had.
bool fill(FtpSession* session) {
  session->pendingLines = 0;
  session->nextLine = 0;
  for (;;) {
    // Every line handed out has been copied, so the unsplit rest can move up.
    int32_t rest = session->textEnd - session->textStart;
    if (session->textStart > 0) {
      std::memmove(session->replyBuffer, session->replyBuffer + session->textStart, rest);
      session->textStart = 0;
      session->textEnd = rest;
    }
    split(session, false);
    if (session->pendingLines > 0) return true;
    // An unfinished line is shorter than a line buffer, so there is room.
    int32_t n = receive(session, session->replyBuffer + session->textEnd, kTextRoom - session->textEnd);
    if (n <= 0) {
      if (n == 0 && session->textEnd > session->textStart) split(session, true);
      if (n < 0) session->textStart = session->textEnd;  // a broken line is no reply
      return session->pendingLines > 0;
    }
    session->textEnd += n;
    session->replyBuffer[session->textEnd] = 0;
  }
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool hasCode(const char* line) { return isDigit(line[0]) && isDigit(line[1]) && isDigit(line[2]); }

// The Part-style continuation mark: a fourth character '-'.
bool continues(const char* line) { return line[0] && line[1] && line[2] && line[3] == '-'; }

bool carries(const char* line, const char* codes) {
  if (!codes || !hasCode(line)) return false;
  char code[4] = {line[0], line[1], line[2], 0};
  return std::strstr(codes, code) != nullptr;
}

// Reads one reply, matching its lines against `codes` when given. *complete
// tells whether the reply was read to its end.
int32_t readReply(FtpSession* session, const char* codes, char* copy, int32_t size, bool* complete) {
  *complete = false;
  char line[FTP_LINE_SIZE];
  if (!Ftp_ReadReplyLine(session, line)) return 0;
  // "xyz-" opens a reply that only "xyz " (or "xyz" alone) closes; lines in
  // between may carry any text, even none that looks like a code.
  char code[4] = {0, 0, 0, 0};
  bool standard = hasCode(line) && line[3] == '-';
  if (standard) std::memcpy(code, line, 3);
  int32_t result = 0;
  for (bool first = true;; first = false) {
    if (carries(line, codes)) {
      if (copy && size > 0) {
        std::strncpy(copy, line, size);
        copy[size - 1] = 0;
      }
      result = 1;
    }
    bool last = standard ? !first && std::strncmp(line, code, 3) == 0 && (line[3] == ' ' || line[3] == 0)
                         : !continues(line);
    if (last) {
      *complete = true;
      return result;
    }
    if (!Ftp_ReadReplyLine(session, line)) return result;
  }
}

}  // namespace

int32_t Ftp_SendAll(const FtpChannel& channel, const void* data, int32_t length) {
  const char* at = static_cast<const char*>(data);
  // The clock is read only once a send could not finish: a fast connection
  // never pays for it.
  int32_t start = 0;
  bool started = false;
  while (length > 0) {
    int32_t n = Net_Send(channel.connection, at, length);
    if (n < 0) {
      if (WSAGetLastError() != WSAEWOULDBLOCK) return 0;
      // Waits up to 50 ms, retrying as soon as the connection can take more.
      Net_WaitSend(channel.connection, 50);
    } else {
      at += n;
      length -= n;
      if (length == 0) break;
    }
    int32_t now = Time_Now();
    if (!started) {
      start = now;
      started = true;
    } else if (now - start >= channel.timeout) {
      return 0;
    }
  }
  return 1;
}

int32_t Ftp_SendCommand(FtpSession* session, const char* word, const char* argument) {
  if (!session || !session->control || !word) return 0;
  if (!argument) argument = "";
  size_t wordLength = std::strlen(word), argumentLength = std::strlen(argument);
  // A CR or LF would end the command early and smuggle in another.
  if (std::strpbrk(word, "\r\n") || std::strpbrk(argument, "\r\n")) return 0;
  if (wordLength + argumentLength + 3 > static_cast<size_t>(FTP_COMMAND_SIZE)) return 0;
  char line[FTP_COMMAND_SIZE];
  std::memcpy(line, word, wordLength);
  std::memcpy(line + wordLength, argument, argumentLength);
  std::memcpy(line + wordLength + argumentLength, "\r\n", 3);
  FtpChannel channel = {session->control, session->timeout};
  return Ftp_SendAll(channel, line, static_cast<int32_t>(wordLength + argumentLength + 2));
}

int32_t Ftp_ReadReplyLine(FtpSession* session, char* line) {
  if (!session || !session->replyBuffer || !session->lines || !line) return 0;
  if (session->pendingLines <= 0 && !fill(session)) return 0;
  const char* next = session->lines[session->nextLine];
  size_t length = std::strlen(next);
  if (length > static_cast<size_t>(kLineRoom)) length = kLineRoom;
  std::memcpy(line, next, length);
  line[length] = 0;
  session->pendingLines--;
  session->nextLine++;
  return 1;
}

int32_t Ftp_ExpectReply(FtpSession* session, const char* codes, char* copy, int32_t size) {
  bool complete;
  return readReply(session, codes, copy, size, &complete);
}

int32_t Ftp_SkipReply(FtpSession* session) {
  bool complete;
  readReply(session, nullptr, nullptr, 0, &complete);
  return complete ? 1 : 0;
}
