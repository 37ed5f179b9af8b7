// Windows Sockets of the Linux substitute: Winsock semantics (start-up count,
// per-thread last error, socket sets, connect failures in the error set,
// WSAESHUTDOWN) over the system calls of socket_sys.cpp.
#include "platform/linux/winsock.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/linux/kernel32.h"
#include "platform/linux/socket_sys.h"

namespace {

thread_local int lastError = 0;
std::atomic<int> startCount{0};

// What the substitute must remember of a socket beyond the system's own state.
struct SocketNotes {
  bool connecting = false;  // a non-blocking connect is under way
  int connectError = 0;     // why it failed, until SO_ERROR is read
  bool sendShut = false;    // shutdown(SD_SEND or SD_BOTH) was called
};

std::mutex notesLock;
std::unordered_map<int, SocketNotes>& notes() {
  static std::unordered_map<int, SocketNotes> table;
  return table;
}

int fdOf(SOCKET s) { return s > 0x7fffffff ? -1 : static_cast<int>(s); }

int failWith(int error) {
  lastError = error;
  return SOCKET_ERROR;
}

// The socket for a descriptor the system has just made, noted from now on;
// INVALID_SOCKET with `error` kept when it made none (fd < 0).
SOCKET adopt(int fd, int error) {
  if (fd < 0) {
    failWith(error);
    return INVALID_SOCKET;
  }
  std::lock_guard<std::mutex> guard(notesLock);
  notes()[fd] = SocketNotes{};
  return static_cast<SOCKET>(fd);
}

}  // namespace

// ---- Start and errors -------------------------------------------------------------

int WSAAPI WSAStartup(WORD versionRequested, LPWSADATA data) {
  if (!data) return WSAEFAULT;
  BYTE major = LOBYTE(versionRequested), minor = HIBYTE(versionRequested);
  if (major < 1 || (major == 1 && minor < 1)) return 10092;  // WSAVERNOTSUPPORTED
  std::memset(data, 0, sizeof *data);
  data->wVersion = (major > 2 || (major == 2 && minor > 2)) ? MAKEWORD(2, 2) : versionRequested;
  data->wHighVersion = MAKEWORD(2, 2);
  std::strcpy(data->szDescription, "Sockets of the Linux substitute");
  std::strcpy(data->szSystemStatus, "Running");
  data->iMaxSockets = 0;
  data->iMaxUdpDg = 0;
  startCount++;
  return 0;
}

int WSAAPI WSACleanup() {
  int count = startCount.load();
  while (count > 0 && !startCount.compare_exchange_weak(count, count - 1)) {
  }
  if (count <= 0) return failWith(WSANOTINITIALISED);
  return 0;
}

int WSAAPI WSAGetLastError() { return lastError; }
void WSAAPI WSASetLastError(int error) { lastError = error; }

// ---- Byte order and addresses ---------------------------------------------------------

u_short WSAAPI htons(u_short value) { return static_cast<u_short>((value << 8) | (value >> 8)); }
u_short WSAAPI ntohs(u_short value) { return htons(value); }
u_long WSAAPI htonl(u_long value) {
  return ((value & 0xff) << 24) | ((value & 0xff00) << 8) | ((value >> 8) & 0xff00) | (value >> 24);
}
u_long WSAAPI ntohl(u_long value) { return htonl(value); }

unsigned long WSAAPI inet_addr(const char* text) {
  uint32_t address;
  return SocketSys::ParseIPv4(text, &address) ? address : INADDR_NONE;
}

char* WSAAPI inet_ntoa(struct in_addr address) {
  thread_local char text[16];
  const auto& b = address.S_un.S_un_b;
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", b.s_b1, b.s_b2, b.s_b3, b.s_b4);
  return text;
}

struct hostent* WSAAPI gethostbyname(const char* name) {
  struct Answer {
    hostent entry;
    char name[256];
    char* aliases[1];
    in_addr addresses[16];
    char* list[17];
  };
  thread_local Answer answer;
  if (startCount.load() <= 0) {
    failWith(WSANOTINITIALISED);
    return nullptr;
  }
  if (!name) {
    failWith(WSAEFAULT);
    return nullptr;
  }
  std::vector<SocketSys::Resolved> found;
  int error = SocketSys::Resolve(name, nullptr, AI_CANONNAME, AF_INET, SOCK_STREAM, 0, &found);
  if (error) {
    failWith(error);
    return nullptr;
  }
  std::memset(&answer, 0, sizeof answer);
  const std::string& canonical = found[0].canonicalName.empty() ? std::string(name) : found[0].canonicalName;
  std::snprintf(answer.name, sizeof answer.name, "%s", canonical.c_str());
  int count = 0;
  for (const auto& one : found) {
    if (count == 16 || one.address.size() < sizeof(sockaddr_in)) break;
    sockaddr_in in;
    std::memcpy(&in, one.address.data(), sizeof in);
    bool seen = false;
    for (int i = 0; i < count; i++) seen |= answer.addresses[i].s_addr == in.sin_addr.s_addr;
    if (seen) continue;
    answer.addresses[count] = in.sin_addr;
    answer.list[count] = reinterpret_cast<char*>(&answer.addresses[count]);
    count++;
  }
  answer.entry.h_name = answer.name;
  answer.entry.h_aliases = answer.aliases;
  answer.entry.h_addrtype = AF_INET;
  answer.entry.h_length = 4;
  answer.entry.h_addr_list = answer.list;
  return &answer.entry;
}

// ---- Sockets ----------------------------------------------------------------------------

SOCKET WSAAPI socket(int family, int type, int protocol) {
  if (startCount.load() <= 0) {
    failWith(WSANOTINITIALISED);
    return INVALID_SOCKET;
  }
  int error = 0;
  int fd = SocketSys::Socket(family, type, protocol, &error);
  return adopt(fd, error);
}

int WSAAPI closesocket(SOCKET s) {
  int fd = fdOf(s);
  {
    std::lock_guard<std::mutex> guard(notesLock);
    if (fd < 0 || !notes().erase(fd)) return failWith(WSAENOTSOCK);
  }
  SocketSys::Close(fd);
  return 0;
}

int WSAAPI bind(SOCKET s, const struct sockaddr* address, int length) {
  int error = 0;
  return SocketSys::Bind(fdOf(s), address, length, &error) == 0 ? 0 : failWith(error);
}

int WSAAPI listen(SOCKET s, int backlog) {
  int error = 0;
  return SocketSys::Listen(fdOf(s), backlog, &error) == 0 ? 0 : failWith(error);
}

SOCKET WSAAPI accept(SOCKET s, struct sockaddr* address, int* length) {
  int error = 0;
  int fd = SocketSys::Accept(fdOf(s), address, length, &error);
  return adopt(fd, error);
}

int WSAAPI connect(SOCKET s, const struct sockaddr* address, int length) {
  int error = 0;
  int fd = fdOf(s);
  if (SocketSys::Connect(fd, address, length, &error) == 0) return 0;
  if (error == WSAEWOULDBLOCK) {
    std::lock_guard<std::mutex> guard(notesLock);
    auto it = notes().find(fd);
    if (it != notes().end()) it->second = SocketNotes{true, 0, false};
  }
  return failWith(error);
}

int WSAAPI send(SOCKET s, const char* data, int length, int flags) {
  int fd = fdOf(s);
  if (length < 0) return failWith(WSAEINVAL);
  int error = 0;
  long n = SocketSys::Send(fd, data, static_cast<size_t>(length), flags, &error);
  if (n >= 0) return static_cast<int>(n);
  if (error == WSAECONNRESET) {
    std::lock_guard<std::mutex> guard(notesLock);
    auto it = notes().find(fd);
    if (it != notes().end() && it->second.sendShut) error = WSAESHUTDOWN;
  }
  return failWith(error);
}

int WSAAPI recv(SOCKET s, char* buffer, int length, int flags) {
  if (length < 0) return failWith(WSAEINVAL);
  int error = 0;
  long n = SocketSys::Receive(fdOf(s), buffer, static_cast<size_t>(length), flags, &error);
  return n >= 0 ? static_cast<int>(n) : failWith(error);
}

int WSAAPI sendto(SOCKET s, const char* data, int length, int flags, const struct sockaddr* to,
                  int toLength) {
  if (length < 0) return failWith(WSAEINVAL);
  int error = 0;
  long n = SocketSys::SendTo(fdOf(s), data, static_cast<size_t>(length), flags, to, toLength, &error);
  return n >= 0 ? static_cast<int>(n) : failWith(error);
}

int WSAAPI recvfrom(SOCKET s, char* buffer, int length, int flags, struct sockaddr* from, int* fromLength) {
  if (length < 0) return failWith(WSAEINVAL);
  int error = 0;
  long n =
      SocketSys::ReceiveFrom(fdOf(s), buffer, static_cast<size_t>(length), flags, from, fromLength, &error);
  return n >= 0 ? static_cast<int>(n) : failWith(error);
}

int WSAAPI shutdown(SOCKET s, int how) {
  int fd = fdOf(s);
  int error = 0;
  if (SocketSys::Shutdown(fd, how, &error) != 0) return failWith(error);
  if (how == SD_SEND || how == SD_BOTH) {
    std::lock_guard<std::mutex> guard(notesLock);
    auto it = notes().find(fd);
    if (it != notes().end()) it->second.sendShut = true;
  }
  return 0;
}

int WSAAPI getsockname(SOCKET s, struct sockaddr* address, int* length) {
  int error = 0;
  return SocketSys::SockName(fdOf(s), address, length, false, &error) == 0 ? 0 : failWith(error);
}

int WSAAPI getpeername(SOCKET s, struct sockaddr* address, int* length) {
  int error = 0;
  return SocketSys::SockName(fdOf(s), address, length, true, &error) == 0 ? 0 : failWith(error);
}

int WSAAPI setsockopt(SOCKET s, int level, int name, const char* value, int length) {
  int error = 0;
  if (!value) return failWith(WSAEFAULT);
  return SocketSys::SetOption(fdOf(s), level, name, value, length, &error) == 0 ? 0 : failWith(error);
}

int WSAAPI getsockopt(SOCKET s, int level, int name, char* value, int* length) {
  int fd = fdOf(s);
  if (level == SOL_SOCKET && name == SO_ERROR && value && length && *length >= 4) {
    // A connect failure that select already collected is still owed to SO_ERROR.
    std::lock_guard<std::mutex> guard(notesLock);
    auto it = notes().find(fd);
    if (it != notes().end() && it->second.connectError) {
      std::memcpy(value, &it->second.connectError, 4);
      *length = 4;
      it->second.connectError = 0;
      return 0;
    }
  }
  int error = 0;
  return SocketSys::GetOption(fd, level, name, value, length, &error) == 0 ? 0 : failWith(error);
}

int WSAAPI ioctlsocket(SOCKET s, long command, u_long* argument) {
  if (!argument) return failWith(WSAEFAULT);
  int error = 0;
  if (command == static_cast<long>(FIONBIO))
    return SocketSys::SetNonBlocking(fdOf(s), *argument != 0, &error) == 0 ? 0 : failWith(error);
  if (command == static_cast<long>(FIONREAD)) {
    uint32_t count = 0;
    if (SocketSys::BytesReadable(fdOf(s), &count, &error) != 0) return failWith(error);
    *argument = count;
    return 0;
  }
  return failWith(WSAEINVAL);
}

// ---- select ---------------------------------------------------------------------------

int WSAAPI __WSAFDIsSet(SOCKET s, fd_set* set) {
  if (!set) return 0;
  for (u_int i = 0; i < set->fd_count && i < FD_SETSIZE; i++)
    if (set->fd_array[i] == s) return 1;
  return 0;
}

int WSAAPI select(int, fd_set* readSet, fd_set* writeSet, fd_set* exceptSet, const struct timeval* timeout) {
  // One entry per socket, whichever sets name it.
  struct Want {
    int fd;
    bool read, write, except, connecting;
  };
  std::vector<Want> wants;
  auto add = [&](fd_set* set, int which) {
    if (!set) return true;
    for (u_int i = 0; i < set->fd_count && i < FD_SETSIZE; i++) {
      int fd = fdOf(set->fd_array[i]);
      if (fd < 0) return false;
      Want* want = nullptr;
      for (auto& w : wants)
        if (w.fd == fd) want = &w;
      if (!want) {
        wants.push_back(Want{fd, false, false, false, false});
        want = &wants.back();
      }
      (which == 0 ? want->read : which == 1 ? want->write : want->except) = true;
    }
    return true;
  };
  if (!add(readSet, 0) || !add(writeSet, 1) || !add(exceptSet, 2)) return failWith(WSAENOTSOCK);
  if (wants.empty()) return failWith(WSAEINVAL);
  {
    std::lock_guard<std::mutex> guard(notesLock);
    for (auto& w : wants) {
      auto it = notes().find(w.fd);
      if (it == notes().end()) return failWith(WSAENOTSOCK);
      w.connecting = it->second.connecting;
    }
  }

  // The error set only concerns connects under way, which finish by becoming
  // writable or failing; a socket that is in it alone is otherwise not polled.
  std::vector<SocketSys::PollEntry> entries;
  for (const auto& w : wants) {
    bool write = w.write || (w.except && w.connecting);
    entries.push_back(
        SocketSys::PollEntry{w.read || write ? w.fd : -1, w.read, write, false, false, false, false, false});
  }

  long long limitMs = -1;
  if (timeout) limitMs = static_cast<long long>(timeout->tv_sec) * 1000 + (timeout->tv_usec + 999) / 1000;
  if (limitMs < -1) limitMs = 0;
  DWORD started = GetTickCount();
  std::vector<bool> failedConnect(wants.size(), false);
  for (;;) {
    int waitMs = -1;
    if (limitMs >= 0) {
      long long left = limitMs - static_cast<long long>(GetTickCount() - started);
      waitMs = left <= 0 ? 0 : left > 0x7fffffff ? 0x7fffffff : static_cast<int>(left);
    }
    int error = 0;
    int polled = SocketSys::Poll(entries, waitMs, &error);
    if (polled < 0) return failWith(error);

    // Settle connects: a finished one is writable, a failed one is in the error
    // set only, and its error waits for SO_ERROR.
    for (size_t i = 0; i < wants.size(); i++) {
      auto& e = entries[i];
      if (!wants[i].connecting || (!e.writable && !e.error && !e.hangUp)) continue;
      int code = 0, length = 4, ignored = 0;
      SocketSys::GetOption(e.fd, SOL_SOCKET, SO_ERROR, &code, &length, &ignored);
      if (code == 0 && !e.writable) code = WSAECONNREFUSED;
      std::lock_guard<std::mutex> guard(notesLock);
      auto it = notes().find(e.fd);
      if (it != notes().end()) {
        it->second.connecting = false;
        it->second.connectError = code;
      }
      wants[i].connecting = false;
      failedConnect[i] = code != 0;
    }

    auto indexOf = [&](SOCKET s) {
      for (size_t i = 0; i < wants.size(); i++)
        if (wants[i].fd == fdOf(s)) return i;
      return size_t{0};
    };
    auto readable = [&](size_t i) {
      const auto& e = entries[i];
      return !failedConnect[i] && (e.readable || e.hangUp || e.error);
    };
    auto writable = [&](size_t i) {
      const auto& e = entries[i];
      // A socket whose send would fail at once counts as ready, as on Windows.
      return !failedConnect[i] && (e.writable || e.error || e.hangUp) && !wants[i].connecting;
    };
    int count = 0;
    for (size_t i = 0; i < wants.size(); i++) {
      if (wants[i].read && readable(i)) count++;
      if (wants[i].write && writable(i)) count++;
      if (wants[i].except && failedConnect[i]) count++;
    }
    bool timedOut = polled == 0;
    if (count > 0 || timedOut) {
      auto reduce = [&](fd_set* set, auto ready) {
        if (!set) return;
        u_int kept = 0;
        for (u_int i = 0; i < set->fd_count && i < FD_SETSIZE; i++)
          if (ready(indexOf(set->fd_array[i]))) set->fd_array[kept++] = set->fd_array[i];
        set->fd_count = kept;
      };
      reduce(readSet, readable);
      reduce(writeSet, writable);
      reduce(exceptSet, [&](size_t i) { return static_cast<bool>(failedConnect[i]); });
      return count;
    }
    // Something stirred that none of the sets asks about: wait on.
    for (auto& e : entries) e.readable = e.writable = e.error = e.hangUp = e.invalid = false;
    if (waitMs == 0) return 0;
  }
}

// ---- Run-time entry points of "ws2_32.dll" ------------------------------------------------

namespace {

int WSAAPI getAddrInfo(const char* node, const char* service, const ADDRINFOA* hints, ADDRINFOA** result) {
  if (!result) return WSAEINVAL;
  *result = nullptr;
  if (!node && !service) return WSAHOST_NOT_FOUND;
  std::vector<SocketSys::Resolved> found;
  int error =
      SocketSys::Resolve(node, service, hints ? hints->ai_flags : 0, hints ? hints->ai_family : AF_UNSPEC,
                         hints ? hints->ai_socktype : 0, hints ? hints->ai_protocol : 0, &found);
  if (error) {
    lastError = error;
    return error;
  }
  ADDRINFOA** tail = result;
  for (const auto& one : found) {
    // One block per answer: the record, its address and its canonical name.
    size_t size = sizeof(ADDRINFOA) + one.address.size() + one.canonicalName.size() + 1;
    auto* block = static_cast<unsigned char*>(std::calloc(1, size));
    if (!block) {
      lastError = 8;
      return 8;  // WSA_NOT_ENOUGH_MEMORY
    }
    auto* info = reinterpret_cast<ADDRINFOA*>(block);
    info->ai_family = one.family;
    info->ai_socktype = one.socktype;
    info->ai_protocol = one.protocol;
    info->ai_addrlen = one.address.size();
    info->ai_addr = reinterpret_cast<sockaddr*>(block + sizeof(ADDRINFOA));
    std::memcpy(info->ai_addr, one.address.data(), one.address.size());
    if (!one.canonicalName.empty() && tail == result) {
      info->ai_canonname = reinterpret_cast<char*>(block + sizeof(ADDRINFOA) + one.address.size());
      std::memcpy(info->ai_canonname, one.canonicalName.c_str(), one.canonicalName.size() + 1);
    }
    *tail = info;
    tail = &info->ai_next;
  }
  return 0;
}

void WSAAPI freeAddrInfo(ADDRINFOA* list) {
  while (list) {
    ADDRINFOA* next = list->ai_next;
    std::free(list);
    list = next;
  }
}

int WSAAPI getNameInfo(const struct sockaddr* address, int length, char* host, DWORD hostLength,
                       char* service, DWORD serviceLength, int flags) {
  int error = SocketSys::NameOf(address, length, host, hostLength, service, serviceLength, flags);
  if (error) lastError = error;
  return error;
}

// Publishes the entry points that the runtime looks up in "ws2_32.dll".
struct RunTimeEntryPoints {
  RunTimeEntryPoints() {
    Platform_RegisterProc("ws2_32", "getaddrinfo", reinterpret_cast<FARPROC>(&getAddrInfo));
    Platform_RegisterProc("ws2_32", "freeaddrinfo", reinterpret_cast<FARPROC>(&freeAddrInfo));
    Platform_RegisterProc("ws2_32", "getnameinfo", reinterpret_cast<FARPROC>(&getNameInfo));
  }
} runTimeEntryPoints;

}  // namespace
