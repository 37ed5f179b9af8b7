// Network start-up and client connections: open with or without a connect
// time-out, send, receive, wait and close.
#include <cstring>

#include "core/heap.h"
#include "net/convert.h"
#include "net/net_state.h"
#include "net/time.h"

NetState Net_State;

int32_t Net_Init() {
  if (!Net_State.servers) Net_State.servers = Object_CreateRegistry(sizeof(NetServer), 16, Net_CloseServer);
  if (Net_State.started) return Net_State.started;
  WSADATA data;
  Net_State.started = WSAStartup(MAKEWORD(1, 1), &data) == 0 ? 1 : 0;
  if (!Net_State.ws2) {
    Net_State.ws2 = LoadLibraryA("ws2_32.dll");
    if (Net_State.ws2) {
      auto getAddrInfo = reinterpret_cast<NetGetAddrInfo>(GetProcAddress(Net_State.ws2, "getaddrinfo"));
      auto freeAddrInfo = reinterpret_cast<NetFreeAddrInfo>(GetProcAddress(Net_State.ws2, "freeaddrinfo"));
      FARPROC getNameInfo = GetProcAddress(Net_State.ws2, "getnameinfo");
      if (getAddrInfo && freeAddrInfo && getNameInfo) {
        Net_State.getAddrInfo = getAddrInfo;
        Net_State.freeAddrInfo = freeAddrInfo;
        Net_State.ipv6 = 1;
      }
    }
  }
  return Net_State.started;
}

void Net_End() {
  if (Net_State.servers) Object_FreeAll(Net_State.servers);
  if (Net_State.started) WSACleanup();
  Net_State.started = 0;
  if (Net_State.ws2) FreeLibrary(Net_State.ws2);
  Net_State.ws2 = nullptr;
  Net_State.ipv6 = 0;
  Net_State.getAddrInfo = nullptr;
  Net_State.freeAddrInfo = nullptr;
}

bool Net_SetBlocking(SOCKET socket, bool blocking) {
  u_long nonBlocking = blocking ? 0 : 1;
  return ioctlsocket(socket, FIONBIO, &nonBlocking) == 0;
}

bool Net_ResolveIPv6(const char* host, sockaddr_in6* address) {
  if (!Net_State.ipv6 || !host) return false;
  ADDRINFOA hints;
  std::memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_INET6;
  ADDRINFOA* answers = nullptr;
  if (Net_State.getAddrInfo(host, nullptr, &hints, &answers) != 0 || !answers) return false;
  bool found = false;
  for (ADDRINFOA* a = answers; a && !found; a = a->ai_next) {
    if (a->ai_family != AF_INET6 || a->ai_addrlen < sizeof(sockaddr_in6)) continue;
    u_short port = address->sin6_port;
    std::memcpy(address, a->ai_addr, sizeof(sockaddr_in6));
    address->sin6_port = port;
    address->sin6_flowinfo = 0;
    found = true;
  }
  Net_State.freeAddrInfo(answers);
  return found;
}

namespace {

// The IPv4 address of dotted text or, failing that, of a name look-up.
bool resolveIPv4(const char* host, uint32_t* address) {
  unsigned long parsed = inet_addr(host);
  if (parsed != INADDR_NONE) {
    *address = static_cast<uint32_t>(parsed);
    return true;
  }
  hostent* entry = gethostbyname(host);
  if (!entry || entry->h_addrtype != AF_INET || !entry->h_addr_list || !entry->h_addr_list[0]) return false;
  std::memcpy(address, entry->h_addr_list[0], 4);
  return true;
}

bool cancelled(const std::atomic<int32_t>* cancel) {
  return cancel && cancel->load(std::memory_order_acquire) != 0;
}

// Connects a socket that is switched to non-blocking, waiting at most timeoutMs
// in all; with a cancel request the wait is cut into slices that look at it.
// The socket is left blocking unless `keepNonBlocking`.
bool connectWithin(SOCKET s, const sockaddr* peer, int length, int32_t timeoutMs,
                   const std::atomic<int32_t>* cancel, bool keepNonBlocking) {
  if (!Net_SetBlocking(s, false)) return false;
  bool established = connect(s, peer, length) == 0;
  TimeBound bound = Time_Bound(timeoutMs);
  while (!established && !cancelled(cancel)) {
    int32_t left = Time_Left(bound);
    if (left == 0) break;
    int32_t slice = cancel && left > NET_WAIT_SLICE_MS ? NET_WAIT_SLICE_MS : left;
    fd_set writable = {}, failed = {};
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval limit;
    limit.tv_sec = slice / 1000;
    limit.tv_usec = (slice % 1000) * 1000;
    int ready = select(0, nullptr, &writable, &failed, &limit);
    if (ready < 0) return false;
    if (ready == 0) continue;
    if (!FD_ISSET(s, &writable)) return false;
    // Where a failed connect shows as writable, the pending error decides.
    int error = 0;
    int size = sizeof error;
    established =
        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) == 0 && error == 0;
    if (!established) return false;
  }
  return established && (keepNonBlocking || Net_SetBlocking(s, true));
}

// Both string forms meet here, with 8-bit texts owned by the caller.
NetConnection* open(const char* host, int32_t port, int32_t mode, int32_t timeoutMs, const char* localAddress,
                    int32_t localPort, const std::atomic<int32_t>* cancel = nullptr,
                    bool nonBlocking = false) {
  bool ipv6 = (mode & NET_IPV6) != 0;
  int32_t type = mode & ~NET_IPV6;
  if (type == 0) type = NET_TCP;
  if (port < 0 || port > 65535 || localPort < 0 || localPort > 65535) return nullptr;
  // The send path of a datagram connection addresses IPv4 peers only.
  if (ipv6 && type != NET_TCP) return nullptr;

  NetSocket held(socket(ipv6 ? AF_INET6 : AF_INET, type, 0));
  const SOCKET s = held.socket;
  if (s == INVALID_SOCKET) return nullptr;

  sockaddr_in peer4;
  sockaddr_in6 peer6;
  std::memset(&peer4, 0, sizeof peer4);
  std::memset(&peer6, 0, sizeof peer6);
  if (ipv6) {
    peer6.sin6_family = AF_INET6;
    peer6.sin6_port = htons(static_cast<u_short>(port));
    if (!Net_ResolveIPv6(host, &peer6)) return nullptr;
    peer6.sin6_scope_id = 0;
  } else {
    uint32_t address;
    if (!resolveIPv4(host, &address)) return nullptr;
    peer4.sin_family = AF_INET;
    peer4.sin_port = htons(static_cast<u_short>(port));
    peer4.sin_addr.s_addr = address;
  }

  if (localPort != 0 || (localAddress && *localAddress)) {
    sockaddr_in local;
    std::memset(&local, 0, sizeof local);
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<u_short>(localPort));
    local.sin_addr.s_addr = INADDR_ANY;
    if (localAddress && *localAddress) {
      unsigned long parsed = inet_addr(localAddress);
      if (parsed == INADDR_NONE) return nullptr;
      local.sin_addr.s_addr = static_cast<u_long>(parsed);
    }
    if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) return nullptr;
  }

  if (type == NET_TCP) {
    const sockaddr* to = ipv6 ? reinterpret_cast<sockaddr*>(&peer6) : reinterpret_cast<sockaddr*>(&peer4);
    int length = ipv6 ? sizeof peer6 : sizeof peer4;
    bool connected = timeoutMs <= 0 ? connect(s, to, length) == 0
                                    : connectWithin(s, to, length, timeoutMs, cancel, nonBlocking);
    if (!connected) return nullptr;
    auto* connection = static_cast<NetConnection*>(Heap_Alloc(sizeof(NetConnection)));
    if (!connection) return nullptr;
    connection->kind = NET_KIND_STREAM;
    connection->socket = held.Take();
    return connection;
  }

  if (!Net_SetBlocking(s, false)) return nullptr;
  auto* connection = static_cast<NetConnection*>(Heap_Alloc(sizeof(NetConnection)));
  if (!connection) return nullptr;
  connection->kind = NET_KIND_DATAGRAM;
  connection->peerAddress = peer4.sin_addr.s_addr;
  connection->peerPort = port;
  connection->socket = INVALID_SOCKET;
  connection->ownSocket = held.Take();
  return connection;
}

}  // namespace

NetConnection* Net_OpenConnection(const char16_t* host, int32_t port, int32_t mode, int32_t timeoutMs,
                                  const char16_t* localAddress, int32_t localPort) {
  if (!host) return nullptr;
  Text8 host8(Convert_ToUtf8(host));
  Text8 local8(localAddress ? Convert_ToAnsi(localAddress) : nullptr);
  return open(host8.text, port, mode, timeoutMs, local8.text, localPort);
}

NetConnection* Net_OpenConnection(const char* host, int32_t port, int32_t mode, int32_t timeoutMs,
                                  const char* localAddress, int32_t localPort) {
  if (!host) return nullptr;
  Text8 local8(localAddress ? Convert_Copy8(localAddress) : nullptr);
  return open(host, port, mode, timeoutMs, local8.text, localPort);
}

NetConnection* Net_OpenConnection(const char16_t* host, int32_t port) {
  return Net_OpenConnection(host, port, NET_TCP, 0, static_cast<const char16_t*>(nullptr), 0);
}

NetConnection* Net_OpenConnection(const char* host, int32_t port) {
  return Net_OpenConnection(host, port, NET_TCP, 0, static_cast<const char*>(nullptr), 0);
}

NetConnection* Net_OpenConnectionWatching(const char* host, int32_t port, int32_t timeoutMs,
                                          const std::atomic<int32_t>* cancel) {
  if (!host || timeoutMs <= 0) return nullptr;
  return open(host, port, NET_TCP, timeoutMs, nullptr, 0, cancel, true);
}

namespace {

// A stream connection whose socket was closed by Net_Disconnect: every call
// on it fails at once, as on a socket the peer has reset.
bool disconnected(const NetConnection* connection) {
  return connection->kind == NET_KIND_STREAM && connection->socket == INVALID_SOCKET;
}

int32_t failDisconnected() {
  WSASetLastError(WSAENOTCONN);
  return -1;
}

}  // namespace

int32_t Net_Send(NetConnection* connection, const void* data, int32_t length) {
  if (!connection || length < 0) return -1;
  if (disconnected(connection)) return failDisconnected();
  if (connection->kind == NET_KIND_STREAM)
    return send(connection->socket, static_cast<const char*>(data), length, 0);
  sockaddr_in to;
  std::memset(&to, 0, sizeof to);
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<u_short>(connection->peerPort));
  to.sin_addr.s_addr = connection->peerAddress;
  SOCKET s = connection->owner ? connection->owner->socket : connection->ownSocket;
  return sendto(s, static_cast<const char*>(data), length, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

int32_t Net_Receive(NetConnection* connection, void* buffer, int32_t length) {
  if (!connection || length < 0) return -1;
  if (disconnected(connection)) return failDisconnected();
  if (connection->kind == NET_KIND_STREAM)
    return recv(connection->socket, static_cast<char*>(buffer), length, 0);
  if (connection->pendingCount == 0) return 0;
  int32_t n = length < connection->pendingCount ? length : connection->pendingCount;
  std::memcpy(buffer, connection->pending + connection->readPosition, n);
  connection->readPosition += n;
  connection->pendingCount -= n;
  if (connection->pendingCount == 0) {
    Heap_Free(connection->pending);
    connection->pending = nullptr;
    connection->readPosition = 0;
  }
  return n;
}

namespace {

int32_t waitFor(NetConnection* connection, bool forSend, int32_t timeoutMs) {
  fd_set set = {}, failed = {};
  FD_ZERO(&set);
  FD_ZERO(&failed);
  FD_SET(connection->socket, &set);
  FD_SET(connection->socket, &failed);
  if (timeoutMs < 0) timeoutMs = 0;
  timeval limit;
  limit.tv_sec = timeoutMs / 1000;
  limit.tv_usec = (timeoutMs % 1000) * 1000;
  int ready = forSend ? select(0, nullptr, &set, &failed, &limit) : select(0, &set, nullptr, &failed, &limit);
  return ready > 0 ? 1 : 0;
}

}  // namespace

int32_t Net_WaitReceive(NetConnection* connection, int32_t timeoutMs) {
  if (!connection || disconnected(connection)) return 0;
  if (connection->kind != NET_KIND_STREAM) return connection->pendingCount > 0 ? 1 : 0;
  return waitFor(connection, false, timeoutMs);
}

int32_t Net_WaitSend(NetConnection* connection, int32_t timeoutMs) {
  if (!connection || connection->kind != NET_KIND_STREAM || disconnected(connection)) return 0;
  return waitFor(connection, true, timeoutMs);
}

int32_t Net_SetConnectionBlocking(NetConnection* connection, int32_t blocking) {
  if (!connection || connection->kind != NET_KIND_STREAM || disconnected(connection)) return 0;
  return Net_SetBlocking(connection->socket, blocking != 0) ? 1 : 0;
}

int32_t Net_ConnectionAddress(NetConnection* connection, int32_t local, uint32_t* address) {
  if (!connection || !address || connection->kind != NET_KIND_STREAM || disconnected(connection)) return 0;
  sockaddr_in end;
  std::memset(&end, 0, sizeof end);
  int length = sizeof end;
  int r = local ? getsockname(connection->socket, reinterpret_cast<sockaddr*>(&end), &length)
                : getpeername(connection->socket, reinterpret_cast<sockaddr*>(&end), &length);
  if (r != 0 || end.sin_family != AF_INET) return 0;
  *address = end.sin_addr.s_addr;
  return 1;
}

int32_t Net_ServerPort(ObjectNumber number) {
  auto* server = Net_State.servers ? static_cast<NetServer*>(Object_Get(Net_State.servers, number)) : nullptr;
  if (!server) return 0;
  union {
    sockaddr_in v4;
    sockaddr_in6 v6;
  } bound;
  std::memset(&bound, 0, sizeof bound);
  int length = sizeof bound;
  if (getsockname(server->socket, reinterpret_cast<sockaddr*>(&bound), &length) != 0) return 0;
  return ntohs(bound.v4.sin_family == AF_INET6 ? bound.v6.sin6_port : bound.v4.sin_port);
}

int32_t Net_ShutdownSend(NetConnection* connection) {
  if (!connection || connection->kind != NET_KIND_STREAM || disconnected(connection)) return 0;
  return shutdown(connection->socket, SD_SEND) == 0 ? 1 : 0;
}

void Net_ResetConnection(NetConnection* connection) {
  if (!connection) return;
  if (connection->kind == NET_KIND_STREAM && !disconnected(connection)) {
    // A zero linger time makes the close a reset that throws away what the
    // send buffer still holds.
    linger none;
    none.l_onoff = 1;
    none.l_linger = 0;
    setsockopt(connection->socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&none), sizeof none);
  }
  Net_CloseConnection(connection);
}

void Net_Disconnect(NetConnection* connection) {
  if (!connection || connection->kind != NET_KIND_STREAM || disconnected(connection)) return;
  closesocket(connection->socket);
  connection->socket = INVALID_SOCKET;
}

int32_t Net_Connected(const NetConnection* connection) {
  return connection && connection->kind == NET_KIND_STREAM && !disconnected(connection) ? 1 : 0;
}

void Net_CloseConnection(NetConnection* connection) {
  if (!connection) return;
  if (connection->kind == NET_KIND_STREAM) {
    if (!disconnected(connection)) closesocket(connection->socket);
  } else {
    Heap_Free(connection->pending);
    if (!connection->owner) closesocket(connection->ownSocket);
  }
  if (connection->owner)
    List_Remove(&connection->owner->peers, connection);
  else
    Heap_Free(connection);
}
