// Listening sockets and server events: stream and datagram servers, their peers,
// and the poll that reports one event at a time.
#include <cstring>

#include "core/heap.h"
#include "net/net_state.h"

namespace {

// Room for the largest datagram: nothing that arrives is cut or dropped.
constexpr int kDatagramRoom = 65536;

constexpr size_t kPeerNodeSize = sizeof(ListNode) + sizeof(NetConnection);

NetServer* lookUp(ObjectNumber number) {
  return Net_State.servers ? static_cast<NetServer*>(Object_Get(Net_State.servers, number)) : nullptr;
}

// Appends a datagram's bytes after what the peer has not read yet.
bool queue(NetConnection* peer, const char* bytes, int32_t count) {
  if (peer->pendingCount == 0) {
    auto* block = static_cast<uint8_t*>(Heap_AllocRaw(count));
    if (!block) return false;
    std::memcpy(block, bytes, count);
    Heap_Free(peer->pending);
    peer->pending = block;
    peer->readPosition = 0;
    peer->pendingCount = count;
    return true;
  }
  int64_t total = static_cast<int64_t>(peer->pendingCount) + count;
  if (total > 0x7fffffff) return false;
  auto* block = static_cast<uint8_t*>(Heap_AllocRaw(static_cast<size_t>(total)));
  if (!block) return false;
  std::memcpy(block, peer->pending + peer->readPosition, peer->pendingCount);
  std::memcpy(block + peer->pendingCount, bytes, count);
  Heap_Free(peer->pending);
  peer->pending = block;
  peer->readPosition = 0;
  peer->pendingCount = static_cast<int32_t>(total);
  return true;
}

int32_t incomingStream(NetServer* server) {
  NetSocket accepted(accept(server->socket, nullptr, nullptr));
  if (accepted.socket == INVALID_SOCKET) return NET_EVENT_NONE;
  // Windows carries the listening socket's non-blocking mode over; make sure.
  if (!Net_SetBlocking(accepted.socket, false)) return NET_EVENT_NONE;
  auto* peer = static_cast<NetConnection*>(List_Add(&server->peers, kPeerNodeSize));
  if (!peer) return NET_EVENT_NONE;
  peer->kind = NET_KIND_STREAM;
  peer->socket = accepted.Take();
  peer->owner = server;
  Net_State.eventConnection = peer;
  return NET_EVENT_CONNECT;
}

int32_t incomingDatagram(NetServer* server) {
  auto* buffer = static_cast<char*>(Heap_AllocRaw(kDatagramRoom));
  if (!buffer) return NET_EVENT_NONE;
  sockaddr_in from;
  int fromLength = sizeof from;
  std::memset(&from, 0, sizeof from);
  int n = recvfrom(server->socket, buffer, kDatagramRoom, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
  if (n <= 0) {
    Heap_Free(buffer);
    return NET_EVENT_NONE;
  }
  uint32_t address = from.sin_addr.s_addr;
  int32_t port = ntohs(from.sin_port);
  NetConnection* peer = nullptr;
  for (ListNode* node = server->peers; node && !peer; node = node->next) {
    auto* candidate = List_Data<NetConnection>(node);
    if (candidate->peerPort == port && candidate->peerAddress == address) peer = candidate;
  }
  bool added = false;
  if (!peer) {
    peer = static_cast<NetConnection*>(List_Add(&server->peers, kPeerNodeSize));
    if (!peer) {
      Heap_Free(buffer);
      return NET_EVENT_NONE;
    }
    peer->kind = NET_KIND_DATAGRAM;
    peer->peerAddress = address;
    peer->peerPort = port;
    peer->socket = INVALID_SOCKET;
    peer->ownSocket = INVALID_SOCKET;
    peer->owner = server;
    added = true;
  }
  bool queued = queue(peer, buffer, n);
  Heap_Free(buffer);
  if (!queued) {
    if (added) List_Remove(&server->peers, peer);
    return NET_EVENT_NONE;
  }
  Net_State.eventConnection = peer;
  return NET_EVENT_DATA;
}

int32_t incoming(NetServer* server) {
  return server->type == NET_TCP ? incomingStream(server) : incomingDatagram(server);
}

int32_t peerStep(NetServer* server) {
  if (server->type != NET_TCP) return NET_EVENT_NONE;
  for (ListNode* node = server->peers; node; node = node->next) {
    auto* peer = List_Data<NetConnection>(node);
    char probe[8];
    int n = recv(peer->socket, probe, sizeof probe, MSG_PEEK);
    if (n > 0) {
      Net_State.eventConnection = peer;
      return NET_EVENT_DATA;
    }
    int error = n == 0 ? 0 : WSAGetLastError();
    if (n == 0 || error == WSAECONNABORTED || error == WSAECONNRESET || error == WSAENOTCONN ||
        error == WSAESHUTDOWN) {
      Net_State.eventConnection = peer;
      Net_CloseConnection(peer);
      return NET_EVENT_DISCONNECT;
    }
  }
  return NET_EVENT_NONE;
}

}  // namespace

NetServer* Net_CreateServer(ObjectNumber number, int32_t port, int32_t mode, const char* address) {
  if (!Net_State.servers) return nullptr;
  auto* server = static_cast<NetServer*>(Object_Allocate(Net_State.servers, number));
  if (!server) return nullptr;
  // A failed numbered server stays allocated but absent (its socket is not
  // set); a failed dynamic one is released, since nothing could free it later.
  auto fail = [server, number]() -> NetServer* {
    if (number == OBJECT_ANY) Object_Free(Net_State.servers, reinterpret_cast<ObjectNumber>(server));
    return nullptr;
  };
  if (port < 0 || port > 65535) return fail();
  bool ipv6 = (mode & NET_IPV6) != 0;
  int32_t type = mode & ~NET_IPV6;
  if (type == 0) type = NET_TCP;

  NetSocket held(socket(ipv6 ? AF_INET6 : AF_INET, type, 0));
  const SOCKET s = held.socket;
  if (s == INVALID_SOCKET) return fail();
  if (!Net_SetBlocking(s, false)) return fail();
  std::memset(&server->localAddress, 0, sizeof server->localAddress);
  int length;
  if (ipv6) {
    server->localAddress.v6.sin6_family = AF_INET6;
    server->localAddress.v6.sin6_port = htons(static_cast<u_short>(port));
    if (address && *address) Net_ResolveIPv6(address, &server->localAddress.v6);
    length = sizeof(sockaddr_in6);
  } else {
    server->localAddress.v4.sin_family = AF_INET;
    server->localAddress.v4.sin_port = htons(static_cast<u_short>(port));
    server->localAddress.v4.sin_addr.s_addr = INADDR_ANY;
    if (address && *address) {
      unsigned long parsed = inet_addr(address);
      if (parsed == INADDR_NONE) return fail();
      server->localAddress.v4.sin_addr.s_addr = static_cast<u_long>(parsed);
    }
    length = sizeof(sockaddr_in);
  }
  if (bind(s, reinterpret_cast<sockaddr*>(&server->localAddress), length) != 0 ||
      (type == NET_TCP && listen(s, 100) != 0))
    return fail();
  server->type = static_cast<int16_t>(type == NET_TCP ? NET_TCP : NET_UDP);
  server->ipv6 = ipv6 ? 1 : 0;
  server->identity = number == OBJECT_ANY ? reinterpret_cast<ObjectNumber>(server) : number;
  server->peers = nullptr;
  server->socket = held.Take();
  return server;
}

void Net_CloseServer(ObjectNumber number) {
  if (!Net_State.servers) return;
  if (number == OBJECT_ANY) {
    Object_FreeAll(Net_State.servers);
    return;
  }
  NetServer* server = lookUp(number);
  if (!server) return;
  while (server->peers) {
    auto* peer = List_Data<NetConnection>(server->peers);
    if (peer->kind == NET_KIND_STREAM) closesocket(peer->socket);
    Heap_Free(peer->pending);
    List_Remove(&server->peers, peer);
  }
  closesocket(server->socket);
  Object_Free(Net_State.servers, number);
}

int32_t Net_ServerEvent(ObjectNumber number) {
  if (!Net_State.servers) return NET_EVENT_NONE;
  if (number != OBJECT_ANY) {
    NetServer* server = lookUp(number);
    if (!server) return NET_EVENT_NONE;
    int32_t event = incoming(server);
    return event != NET_EVENT_NONE ? event : peerStep(server);
  }
  // Incoming connections and datagrams of every server come before news from peers.
  int32_t (*const steps[])(NetServer*) = {incoming, peerStep};
  for (auto step : steps) {
    ObjectNumber each;
    Object_ResetIteration(Net_State.servers);
    while (auto* server = static_cast<NetServer*>(Object_NextObject(Net_State.servers, &each))) {
      if (!server->socket) continue;
      int32_t event = step(server);
      if (event != NET_EVENT_NONE) {
        Object_EndIteration(Net_State.servers);
        return event;
      }
    }
  }
  return NET_EVENT_NONE;
}

NetConnection* Net_EventConnection() { return Net_State.eventConnection; }
