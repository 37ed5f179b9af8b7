// The FTP command channel: sending within a time-out, and the reply reader that
// assembles received text into lines and lines into replies.
#include <cstring>

#include "ftp/ftp_internal.h"
#include "net/time.h"

namespace {

constexpr int32_t kTextRoom = FTP_REPLY_BUFFER_SIZE - 1;
constexpr int32_t kLineRoom = FTP_LINE_SIZE - 1;

// What one reply may still take: its whole wait is bounded by the session's
// time-out (a server that trickles an endless reply cannot stretch it), and
// the text received for it by FTP_REPLY_MAX_TEXT.
struct ReplyBudget {
  int32_t timeoutMs;
  int32_t textLeft;
  bool waiting;  // the clock runs from the first wait on the network
  TimeBound bound;
};

ReplyBudget newBudget(int32_t timeoutMs) { return {timeoutMs, FTP_REPLY_MAX_TEXT, false, {0, 0}}; }

bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

// Receives into the buffer within the reply's budget, waiting in short slices
// that look at the abort request of a running upload. -1 when the wait ends
// without text (time-out, abort, budget spent, failure), 0 when the peer
// closed.
int32_t receive(FtpSession* session, char* buffer, int32_t length, ReplyBudget* budget) {
  if (budget->textLeft <= 0) return -1;
  if (length > budget->textLeft) length = budget->textLeft;
  int32_t n;
  if (session->receive) {
    n = session->receive(session, buffer, length);
  } else {
    if (!budget->waiting) {
      budget->bound = Time_Bound(budget->timeoutMs);
      budget->waiting = true;
    }
    for (;;) {
      // Once an abort is asked for, text that is already there is still
      // taken, but nothing more is waited for.
      bool stop = Ftp_StopRequested(session);
      int32_t left = Time_Left(budget->bound);
      int32_t slice = stop ? 0 : left < NET_WAIT_SLICE_MS ? left : NET_WAIT_SLICE_MS;
      if (Net_WaitReceive(session->control, slice)) break;
      if (stop || left == 0 || !Net_Connected(session->control)) return -1;
    }
    n = Net_Receive(session->control, buffer, length);
  }
  if (n > 0) budget->textLeft -= n;
  return n;
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
bool fill(FtpSession* session, ReplyBudget* budget) {
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
    int32_t n =
        receive(session, session->replyBuffer + session->textEnd, kTextRoom - session->textEnd, budget);
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

bool carries(const char* line, const char* codes) {
  if (!codes || !hasCode(line)) return false;
  char code[4] = {line[0], line[1], line[2], 0};
  return std::strstr(codes, code) != nullptr;
}

// Copies the next line and consumes it; false when no line can be had within
// the budget.
bool readLine(FtpSession* session, char* line, ReplyBudget* budget) {
  if (!session || !session->replyBuffer || !session->lines || !line) return false;
  if (session->pendingLines <= 0 && !fill(session, budget)) return false;
  const char* next = session->lines[session->nextLine];
  size_t length = std::strlen(next);
  if (length > static_cast<size_t>(kLineRoom)) length = kLineRoom;
  std::memcpy(line, next, length);
  line[length] = 0;
  session->pendingLines--;
  session->nextLine++;
  return true;
}

void copyLine(const char* line, char* copy, int32_t size) {
  if (!copy || size <= 0) return;
  std::strncpy(copy, line, size);
  copy[size - 1] = 0;
}

// Reads one reply and tells whether its code is one of `codes`. A reply's code
// is its first line's. A first line "xyz-" opens a reply that only a line
// beginning "xyz " (or "xyz" alone) closes; the lines between are text, even
// those that begin with digits and a blank, and never count. Any other first
// line is a whole reply. With `copy`, the first line is copied there and then
// the closing line of a multi-line reply. A reply that cannot be read to its
// end within the budget leaves the command channel out of step: the control
// connection is dropped.
int32_t readReply(FtpSession* session, const char* codes, char* copy, int32_t size, bool* complete,
                  int32_t timeoutMs) {
  *complete = false;
  ReplyBudget budget = newBudget(timeoutMs);
  char line[FTP_LINE_SIZE];
  if (!readLine(session, line, &budget)) {
    Ftp_DropControl(session);
    return 0;
  }
  bool matches = carries(line, codes);
  if (matches) copyLine(line, copy, size);
  if (hasCode(line) && line[3] == '-') {
    char code[4] = {line[0], line[1], line[2], 0};
    for (;;) {
      if (!readLine(session, line, &budget)) {
        Ftp_DropControl(session);
        return 0;
      }
      if (std::strncmp(line, code, 3) == 0 && (line[3] == ' ' || line[3] == 0)) break;
    }
    if (matches) copyLine(line, copy, size);
  }
  *complete = true;
  return matches ? 1 : 0;
}

}  // namespace

int32_t Ftp_SendAll(const FtpChannel& channel, const void* data, int32_t length) {
  const char* at = static_cast<const char*>(data);
  // The bound counts from the last progress: a link that stalls for less than
  // the time-out and then moves on loses nothing. The clock is read only once
  // a send could not go on, so a fast connection never pays for it.
  TimeBound bound = {0, 0};
  bool stalled = false;
  while (length > 0) {
    if (channel.cancel && channel.cancel->load(std::memory_order_acquire)) return 0;
    int32_t n = Net_Send(channel.connection, at, length);
    if (n > 0) {
      at += n;
      length -= n;
      stalled = false;
      continue;
    }
    if (n < 0 && WSAGetLastError() != WSAEWOULDBLOCK) return 0;
    if (!stalled) {
      bound = Time_Bound(channel.timeout * 1000);
      stalled = true;
    }
    int32_t left = Time_Left(bound);
    if (left == 0) return 0;
    // Retries as soon as the connection can take more, or after a slice.
    Net_WaitSend(channel.connection, left < NET_WAIT_SLICE_MS ? left : NET_WAIT_SLICE_MS);
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
  if (session->replyOwed && std::strcmp(word, "QUIT") != 0) {
    // An aborted upload's completion reply is still on its way; read as the
    // answer to this command it would put the channel out of step.
    int32_t waitMs =
        session->timeout * 1000 < FTP_OWED_REPLY_MS ? session->timeout * 1000 : FTP_OWED_REPLY_MS;
    bool complete;
    readReply(session, nullptr, nullptr, 0, &complete, waitMs);
    session->replyOwed = 0;
    if (!complete) return 0;  // the connection is closed by now
  }
  FtpChannel channel = {session->control, session->timeout, Ftp_AbortWatch(session)};
  if (Ftp_SendAll(channel, line, static_cast<int32_t>(wordLength + argumentLength + 2))) return 1;
  // Part of the line may be out: the server could take what follows as its rest.
  Ftp_DropControl(session);
  return 0;
}

int32_t Ftp_ReadReplyLine(FtpSession* session, char* line) {
  if (!session) return 0;
  ReplyBudget budget = newBudget(session->timeout * 1000);
  return readLine(session, line, &budget) ? 1 : 0;
}

int32_t Ftp_ExpectReply(FtpSession* session, const char* codes, char* copy, int32_t size) {
  if (!session) return 0;
  bool complete;
  return readReply(session, codes, copy, size, &complete, session->timeout * 1000);
}

int32_t Ftp_SkipReply(FtpSession* session) {
  if (!session) return 0;
  bool complete;
  readReply(session, nullptr, nullptr, 0, &complete, session->timeout * 1000);
  return complete ? 1 : 0;
}

void Ftp_DropControl(FtpSession* session) {
  if (!session || !session->control) return;
  Net_Disconnect(session->control);
  // Whatever was received or is still owed belongs to the closed connection.
  session->replyOwed = 0;
  session->pendingLines = 0;
  session->nextLine = 0;
  session->textStart = 0;
  session->textEnd = 0;
  session->discarding = 0;
}

bool Ftp_ControlGone(const FtpSession* session) { return !session || !Net_Connected(session->control); }

const std::atomic<int32_t>* Ftp_AbortWatch(FtpSession* session) {
  return Ftp_Running(session->progress.load(std::memory_order_acquire)) ? &session->abortRequest : nullptr;
}

bool Ftp_StopRequested(FtpSession* session) {
  const std::atomic<int32_t>* watch = Ftp_AbortWatch(session);
  return watch && watch->load(std::memory_order_acquire) != 0;
}
