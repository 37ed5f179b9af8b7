// The system side of the substitute's sockets: Linux calls, the address layouts
// of both systems, and errno turned into Winsock error codes.
#include "platform/linux/socket_sys.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace SocketSys {
namespace {

constexpr int kWinInet6 = 23;
constexpr int kWinSolSocket = 0xffff;

int wsaError(int e) {
  switch (e) {
    case EINTR:
      return 10004;
    case EBADF:
      return 10038;  // not a socket
    case EACCES:
    case EPERM:
      return 10013;
    case EFAULT:
      return 10014;
    case EINVAL:
      return 10022;
    case EMFILE:
    case ENFILE:
      return 10024;
#if EAGAIN != EWOULDBLOCK
    case EAGAIN:
#endif
    case EWOULDBLOCK:
    case EINPROGRESS:
      return 10035;
    case EALREADY:
      return 10037;
    case ENOTSOCK:
      return 10038;
    case EDESTADDRREQ:
      return 10039;
    case EMSGSIZE:
      return 10040;
    case EPROTOTYPE:
      return 10041;
    case ENOPROTOOPT:
      return 10042;
    case EPROTONOSUPPORT:
      return 10043;
    case ESOCKTNOSUPPORT:
      return 10044;
    case EOPNOTSUPP:
      return 10045;
    case EPFNOSUPPORT:
      return 10046;
    case EAFNOSUPPORT:
      return 10047;
    case EADDRINUSE:
      return 10048;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETDOWN:
      return 10050;
    case ENETUNREACH:
      return 10051;
    case ENETRESET:
      return 10052;
    case ECONNABORTED:
      return 10053;
    case ECONNRESET:
    case EPIPE:
      return 10054;
    case ENOBUFS:
    case ENOMEM:
      return 10055;
    case EISCONN:
      return 10056;
    case ENOTCONN:
      return 10057;
    case ESHUTDOWN:
      return 10058;
    case ETIMEDOUT:
      return 10060;
    case ECONNREFUSED:
      return 10061;
    case EHOSTDOWN:
      return 10064;
    case EHOSTUNREACH:
      return 10065;
    default:
      return 10022;
  }
}

int fail(int* error) {
  *error = wsaError(errno);
  return -1;
}

int linuxFamily(int windowsFamily) { return windowsFamily == kWinInet6 ? AF_INET6 : windowsFamily; }
int windowsFamily(int family) { return family == AF_INET6 ? kWinInet6 : family; }

// The Windows and Linux layouts share every field position except the value of
// AF_INET6 (and Windows' family is 16 bits where Linux has sa_family_t, also 16).
bool toLinux(const void* address, int length, sockaddr_storage* out, socklen_t* outLength) {
  if (!address || length < 2 || length > static_cast<int>(sizeof(sockaddr_storage))) return false;
  std::memset(out, 0, sizeof *out);
  std::memcpy(out, address, length);
  uint16_t family;
  std::memcpy(&family, address, 2);
  out->ss_family = static_cast<sa_family_t>(linuxFamily(family));
  *outLength = static_cast<socklen_t>(length);
  return true;
}

// Copies a Linux address out in the Windows layout, cut to the caller's room;
// *length receives the full size, as the Windows calls report it.
void toWindows(const sockaddr_storage& address, socklen_t length, void* out, int* outLength) {
  if (!out || !outLength) return;
  sockaddr_storage copy = address;
  uint16_t family = static_cast<uint16_t>(windowsFamily(address.ss_family));
  std::memcpy(&copy, &family, 2);
  size_t n = std::min<size_t>(length, *outLength > 0 ? static_cast<size_t>(*outLength) : 0);
  std::memcpy(out, &copy, n);
  *outLength = static_cast<int>(length);
}

// Option levels and names: Windows values to Linux ones; false when unknown.
bool linuxOption(int level, int name, int* linuxLevel, int* linuxName) {
  if (level == kWinSolSocket) {
    *linuxLevel = SOL_SOCKET;
    switch (name) {
      case 0x0001:
        *linuxName = SO_DEBUG;
        return true;
      case 0x0002:
        *linuxName = SO_ACCEPTCONN;
        return true;
      case 0x0004:
        *linuxName = SO_REUSEADDR;
        return true;
      case 0x0008:
        *linuxName = SO_KEEPALIVE;
        return true;
      case 0x0020:
        *linuxName = SO_BROADCAST;
        return true;
      case 0x0080:
        *linuxName = SO_LINGER;
        return true;
      case 0x1001:
        *linuxName = SO_SNDBUF;
        return true;
      case 0x1002:
        *linuxName = SO_RCVBUF;
        return true;
      case 0x1007:
        *linuxName = SO_ERROR;
        return true;
      case 0x1008:
        *linuxName = SO_TYPE;
        return true;
      default:
        return false;
    }
  }
  if (level == IPPROTO_TCP && name == 0x0001) {
    *linuxLevel = IPPROTO_TCP;
    *linuxName = TCP_NODELAY;
    return true;
  }
  return false;
}

// Linux sockets start at the lowest free descriptor; 0, 1 and 2 are moved up so
// that a socket is never zero (records use it as their in-use mark).
int moveUp(int fd) {
  if (fd < 0 || fd > 2) return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  int saved = errno;
  ::close(fd);
  errno = saved;
  return moved;
}

}  // namespace

int Socket(int family, int type, int protocol, int* error) {
  int fd = moveUp(::socket(linuxFamily(family), type | SOCK_CLOEXEC, protocol));
  if (fd < 0) return fail(error);
  if (linuxFamily(family) == AF_INET6) {
    // Windows sockets of the IPv6 family are IPv6-only unless told otherwise.
    int on = 1;
    setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
  }
  return fd;
}

int Close(int fd) { return ::close(fd); }

int Bind(int fd, const void* address, int length, int* error) {
  sockaddr_storage a;
  socklen_t n;
  if (!toLinux(address, length, &a, &n)) {
    *error = 10014;
    return -1;
  }
  return ::bind(fd, reinterpret_cast<sockaddr*>(&a), n) == 0 ? 0 : fail(error);
}

int Listen(int fd, int backlog, int* error) { return ::listen(fd, backlog) == 0 ? 0 : fail(error); }

int Accept(int fd, void* address, int* length, int* error) {
  // Windows carries the listening socket's non-blocking mode over; Linux does not.
  int listenFlags = fcntl(fd, F_GETFL);
  bool nonBlocking = listenFlags >= 0 && (listenFlags & O_NONBLOCK);
  sockaddr_storage a;
  socklen_t n = sizeof a;
  int s = moveUp(
      ::accept4(fd, reinterpret_cast<sockaddr*>(&a), &n, SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0)));
  if (s < 0) return fail(error);
  toWindows(a, n, address, length);
  return s;
}

int Connect(int fd, const void* address, int length, int* error) {
  sockaddr_storage a;
  socklen_t n;
  if (!toLinux(address, length, &a, &n)) {
    *error = 10014;
    return -1;
  }
  int r;
  do r = ::connect(fd, reinterpret_cast<sockaddr*>(&a), n);
  while (r != 0 && errno == EINTR);
  return r == 0 ? 0 : fail(error);
}

long Send(int fd, const void* data, size_t length, int flags, int* error) {
  ssize_t n;
  do n = ::send(fd, data, length, flags | MSG_NOSIGNAL);
  while (n < 0 && errno == EINTR);
  return n >= 0 ? static_cast<long>(n) : fail(error);
}

long Receive(int fd, void* buffer, size_t length, int flags, int* error) {
  ssize_t n;
  do n = ::recv(fd, buffer, length, flags);
  while (n < 0 && errno == EINTR);
  return n >= 0 ? static_cast<long>(n) : fail(error);
}

long SendTo(int fd, const void* data, size_t length, int flags, const void* to, int toLength, int* error) {
  sockaddr_storage a;
  socklen_t n;
  if (!toLinux(to, toLength, &a, &n)) {
    *error = 10014;
    return -1;
  }
  ssize_t r;
  do r = ::sendto(fd, data, length, flags | MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&a), n);
  while (r < 0 && errno == EINTR);
  return r >= 0 ? static_cast<long>(r) : fail(error);
}

long ReceiveFrom(int fd, void* buffer, size_t length, int flags, void* from, int* fromLength, int* error) {
  sockaddr_storage a;
  socklen_t n = sizeof a;
  ssize_t r;
  do r = ::recvfrom(fd, buffer, length, flags | MSG_TRUNC, reinterpret_cast<sockaddr*>(&a), &n);
  while (r < 0 && errno == EINTR);
  if (r < 0) return fail(error);
  toWindows(a, n, from, fromLength);
  if (static_cast<size_t>(r) > length) {
    *error = 10040;
    return -1;
  }
  return static_cast<long>(r);
}

int Shutdown(int fd, int how, int* error) { return ::shutdown(fd, how) == 0 ? 0 : fail(error); }

int SockName(int fd, void* address, int* length, bool peer, int* error) {
  if (!address || !length) {
    *error = 10014;
    return -1;
  }
  sockaddr_storage a;
  socklen_t n = sizeof a;
  int r = peer ? ::getpeername(fd, reinterpret_cast<sockaddr*>(&a), &n)
               : ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
  if (r != 0) return fail(error);
  if (*length < static_cast<int>(n)) {
    *error = 10014;
    return -1;
  }
  toWindows(a, n, address, length);
  return 0;
}

int SetOption(int fd, int level, int name, const void* value, int length, int* error) {
  int l, o;
  if (!linuxOption(level, name, &l, &o)) {
    *error = 10042;
    return -1;
  }
  if (o == SO_LINGER && l == SOL_SOCKET) {
    if (length < 4) {
      *error = 10014;
      return -1;
    }
    uint16_t parts[2];
    std::memcpy(parts, value, 4);
    struct linger lg = {parts[0], parts[1]};
    return ::setsockopt(fd, l, o, &lg, sizeof lg) == 0 ? 0 : fail(error);
  }
  int v = 0;
  if (length >= 4)
    std::memcpy(&v, value, 4);
  else if (length >= 1)
    v = *static_cast<const unsigned char*>(value);
  return ::setsockopt(fd, l, o, &v, sizeof v) == 0 ? 0 : fail(error);
}

int GetOption(int fd, int level, int name, void* value, int* length, int* error) {
  int l, o;
  if (!linuxOption(level, name, &l, &o)) {
    *error = 10042;
    return -1;
  }
  if (!value || !length || *length < 4) {
    *error = 10014;
    return -1;
  }
  if (o == SO_LINGER && l == SOL_SOCKET) {
    struct linger lg = {};
    socklen_t n = sizeof lg;
    if (::getsockopt(fd, l, o, &lg, &n) != 0) return fail(error);
    uint16_t parts[2] = {static_cast<uint16_t>(lg.l_onoff), static_cast<uint16_t>(lg.l_linger)};
    std::memcpy(value, parts, 4);
    *length = 4;
    return 0;
  }
  int v = 0;
  socklen_t n = sizeof v;
  if (::getsockopt(fd, l, o, &v, &n) != 0) return fail(error);
  if (o == SO_ERROR) v = v ? wsaError(v) : 0;
  std::memcpy(value, &v, 4);
  *length = 4;
  return 0;
}

int SetNonBlocking(int fd, bool on, int* error) {
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0) return fail(error);
  flags = on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK;
  return fcntl(fd, F_SETFL, flags) == 0 ? 0 : fail(error);
}

int BytesReadable(int fd, uint32_t* count, int* error) {
  int n = 0;
  if (ioctl(fd, FIONREAD, &n) != 0) return fail(error);
  *count = static_cast<uint32_t>(n);
  return 0;
}

int Poll(std::vector<PollEntry>& entries, int timeoutMs, int* error) {
  std::vector<pollfd> fds(entries.size());
  for (size_t i = 0; i < entries.size(); i++) {
    fds[i].fd = entries[i].fd;
    fds[i].events = static_cast<short>((entries[i].read ? POLLIN : 0) | (entries[i].write ? POLLOUT : 0));
  }
  int r;
  do r = ::poll(fds.data(), fds.size(), timeoutMs);
  while (r < 0 && errno == EINTR);
  if (r < 0) return fail(error);
  for (size_t i = 0; i < entries.size(); i++) {
    short ev = fds[i].revents;
    entries[i].readable = ev & POLLIN;
    entries[i].writable = ev & POLLOUT;
    entries[i].error = ev & POLLERR;
    entries[i].hangUp = ev & POLLHUP;
    entries[i].invalid = ev & POLLNVAL;
  }
  return r;
}

bool ParseIPv4(const char* text, uint32_t* address) {
  in_addr a;
  if (!text || !*text || inet_aton(text, &a) == 0) return false;
  *address = a.s_addr;
  return true;
}

namespace {
int resolveError(int e) {
  switch (e) {
    case EAI_AGAIN:
      return 11002;
    case EAI_FAIL:
      return 11003;
    case EAI_FAMILY:
      return 10047;
    case EAI_MEMORY:
      return 8;
    case EAI_SERVICE:
      return 10109;
    case EAI_SOCKTYPE:
      return 10044;
    case EAI_BADFLAGS:
      return 10022;
#ifdef EAI_NODATA
    case EAI_NODATA:
      return 11004;
#endif
    default:
      return 11001;
  }
}
}  // namespace

int Resolve(const char* node, const char* service, int flags, int family, int socktype, int protocol,
            std::vector<Resolved>* answers) {
  addrinfo hints = {};
  hints.ai_flags = (flags & 0x1 ? AI_PASSIVE : 0) | (flags & 0x2 ? AI_CANONNAME : 0) |
                   (flags & 0x4 ? AI_NUMERICHOST : 0) | (flags & 0x400 ? AI_ADDRCONFIG : 0);
  hints.ai_family = linuxFamily(family);
  hints.ai_socktype = socktype;
  hints.ai_protocol = protocol;
  addrinfo* list = nullptr;
  int r = ::getaddrinfo(node, service, &hints, &list);
  if (r != 0) return r == EAI_SYSTEM ? wsaError(errno) : resolveError(r);
  for (addrinfo* p = list; p; p = p->ai_next) {
    if (p->ai_family != AF_INET && p->ai_family != AF_INET6) continue;
    Resolved one;
    one.family = windowsFamily(p->ai_family);
    one.socktype = p->ai_socktype;
    one.protocol = p->ai_protocol;
    sockaddr_storage a = {};
    std::memcpy(&a, p->ai_addr, p->ai_addrlen);
    int length = static_cast<int>(p->ai_addrlen);
    one.address.resize(p->ai_addrlen);
    toWindows(a, p->ai_addrlen, one.address.data(), &length);
    if (p->ai_canonname) one.canonicalName = p->ai_canonname;
    answers->push_back(std::move(one));
  }
  ::freeaddrinfo(list);
  return answers->empty() ? 11001 : 0;
}

int NameOf(const void* address, int length, char* host, size_t hostLength, char* service,
           size_t serviceLength, int flags) {
  sockaddr_storage a;
  socklen_t n;
  if (!toLinux(address, length, &a, &n)) return 10014;
  int f = (flags & 0x02 ? NI_NUMERICHOST : 0) | (flags & 0x08 ? NI_NUMERICSERV : 0);
  int r = ::getnameinfo(reinterpret_cast<sockaddr*>(&a), n, host, static_cast<socklen_t>(hostLength), service,
                        static_cast<socklen_t>(serviceLength), f);
  return r == 0 ? 0 : r == EAI_SYSTEM ? wsaError(errno) : resolveError(r);
}

}  // namespace SocketSys
