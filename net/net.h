// Network layer: socket start-up, client connections, listening sockets and
// their events over the platform's sockets, IPv4 and (where resolvable) IPv6.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/registry.h"
#include "core/types.h"
#include "platform/win32.h"

// ---- Mode word -------------------------------------------------------------------
// The socket type (handed to the platform unchanged; 0 means NET_TCP, every type
// but NET_TCP is taken as datagram), with NET_IPV6 selecting the IPv6 family.
constexpr int32_t NET_TCP = 1;
constexpr int32_t NET_UDP = 2;
constexpr int32_t NET_IPV6 = 0x10000000;

// Connection kinds.
constexpr int32_t NET_KIND_STREAM = 1;
constexpr int32_t NET_KIND_DATAGRAM = 2;

// Server events, one per poll.
constexpr int32_t NET_EVENT_NONE = 0;
constexpr int32_t NET_EVENT_CONNECT = 1;
constexpr int32_t NET_EVENT_DATA = 2;
constexpr int32_t NET_EVENT_DISCONNECT = 4;

struct NetServer;

// A stream or datagram connection: a client connection (owner null) or a peer
// of a server. Callers hold the record itself as the connection's handle.
struct NetConnection {
  int32_t kind;          // NET_KIND_STREAM or NET_KIND_DATAGRAM
  uint32_t peerAddress;  // datagram: the peer's IPv4 address, network byte order
  SOCKET socket;         // stream: the connection's socket
  int32_t peerPort;      // datagram: the peer's port, host byte order
  NetServer* owner;      // the server that accepted it or receives its datagrams
  SOCKET ownSocket;      // client datagram connection: its own socket
  uint8_t* pending;      // datagram bytes received and not yet read (main heap)
  int32_t pendingCount;
  int32_t readPosition;
};

// A listening stream socket or a receiving datagram socket, an object of the
// layer's server registry. Its peers are ListNode-linked NetConnection records.
struct NetServer {
  SOCKET socket;  // set while the server exists: the registry's in-use mark
  union {
    sockaddr_in v4;
    sockaddr_in6 v6;
  } localAddress;
  int16_t type;           // NET_TCP or NET_UDP
  int16_t ipv6;           // 1 when the server uses the IPv6 family
  ObjectNumber identity;  // its number, or for a dynamic server its record
  ListNode* peers;        // newest first
};

// ---- Start and end ------------------------------------------------------------------
// Starts the socket library (version 1.1) and looks up the IPv6 name entry
// points of "ws2_32.dll". Returns 1 when the socket library is started, else 0
// (a later call tries again). The server registry is created on the first call.
int32_t Net_Init();
// Closes every server, ends the socket library and releases "ws2_32.dll".
void Net_End();

// ---- Client connections --------------------------------------------------------------
// Opens a connection to host:port (host: dotted IPv4 text or a name, UTF-8 to
// the resolver). mode: see above. timeoutMs > 0 bounds the connect of a stream
// connection, otherwise it blocks. localAddress (dotted IPv4 text, may be null)
// and localPort bind the local end when either is given. A datagram connection
// sends nothing on opening. Returns the connection, or null with no socket left
// open.
NetConnection* Net_OpenConnection(const char16_t* host, int32_t port, int32_t mode, int32_t timeoutMs,
                                  const char16_t* localAddress, int32_t localPort);
// The same with 8-bit host and local address.
NetConnection* Net_OpenConnection(const char* host, int32_t port, int32_t mode, int32_t timeoutMs,
                                  const char* localAddress, int32_t localPort);
// An IPv4 stream connection, blocking connect, no local binding.
NetConnection* Net_OpenConnection(const char16_t* host, int32_t port);
NetConnection* Net_OpenConnection(const char* host, int32_t port);

// An IPv4 stream connection whose connect is bounded by timeoutMs as a whole
// and waited for in slices of NET_WAIT_SLICE_MS that look at *cancel (null:
// nothing to watch); a set request ends the wait at once. The connection comes
// back non-blocking. Null on failure, time-out or cancel, with no socket left
// open.
NetConnection* Net_OpenConnectionWatching(const char* host, int32_t port, int32_t timeoutMs,
                                          const std::atomic<int32_t>* cancel);

// The slice in which waits that watch a cancel request look at it.
constexpr int32_t NET_WAIT_SLICE_MS = 20;

// Sends up to `length` bytes; returns the bytes sent (possibly fewer), or -1
// (WSAGetLastError tells WSAEWOULDBLOCK from a failure). A datagram goes to the
// peer's address through the owner's socket, or the connection's own.
int32_t Net_Send(NetConnection* connection, const void* data, int32_t length);
// Receives up to `length` bytes; returns their number, 0 when a stream peer has
// closed or no datagram bytes are pending, -1 on a stream failure.
int32_t Net_Receive(NetConnection* connection, void* buffer, int32_t length);
// Waits up to timeoutMs until a receive would not block (data, a close or an
// error is there): 1, else 0 on time-out or failure. Datagram: 1 when bytes are
// pending, at once.
int32_t Net_WaitReceive(NetConnection* connection, int32_t timeoutMs);
// Waits up to timeoutMs until a stream connection can take more bytes: 1, else 0.
int32_t Net_WaitSend(NetConnection* connection, int32_t timeoutMs);
// Switches a stream connection between blocking (1) and non-blocking (0)
// sends and receives; 1 on success, else 0.
int32_t Net_SetConnectionBlocking(NetConnection* connection, int32_t blocking);
// The IPv4 address (network byte order) of the stream connection's peer, or of
// its own end with `local`; 1 on success, else 0 (also for an IPv6 connection).
int32_t Net_ConnectionAddress(NetConnection* connection, int32_t local, uint32_t* address);
// The local port of a stream server (number or handle), host byte order; 0 when
// it is absent or the platform cannot tell.
int32_t Net_ServerPort(ObjectNumber number);
// Ends the sending direction of a stream connection once the bytes already
// handed over are sent (the peer sees the end of the stream); receiving goes
// on. 1 on success, else 0.
int32_t Net_ShutdownSend(NetConnection* connection);
// Closes a stream connection at once with a reset: bytes not yet sent are
// discarded, not drained, so neither side waits for them. Otherwise as
// Net_CloseConnection.
void Net_ResetConnection(NetConnection* connection);
// Closes the socket of a stream connection but keeps its record: sends,
// receives and waits on it fail at once from then on. The record is released
// by Net_CloseConnection as usual.
void Net_Disconnect(NetConnection* connection);
// 1 while a stream connection has its socket (not Net_Disconnect-ed), else 0.
int32_t Net_Connected(const NetConnection* connection);
// Closes a connection; a peer leaves its server's list. The record is released
// (a datagram peer's socket belongs to its server and stays open).
void Net_CloseConnection(NetConnection* connection);

// Holds a connection being set up and closes it with Net_CloseConnection on
// every path out of its scope, unless Take handed it on.
struct NetHeldConnection {
  NetConnection* connection;
  explicit NetHeldConnection(NetConnection* opened) : connection(opened) {}
  ~NetHeldConnection() { Net_CloseConnection(connection); }
  NetHeldConnection(const NetHeldConnection&) = delete;
  NetHeldConnection& operator=(const NetHeldConnection&) = delete;
  // The connection, now the caller's to close; the holder keeps nothing.
  NetConnection* Take() {
    NetConnection* taken = connection;
    connection = nullptr;
    return taken;
  }
};

// ---- Listening sockets ------------------------------------------------------------------
// A server on `port` (0: a free port, above 65535: null) of `address` (8-bit
// dotted IPv4 text or an IPv6 name; null or empty: every local address), for
// the stream or datagram type of `mode`. Returns the server or null, with no
// socket left open; a failed number stays allocated but absent.
NetServer* Net_CreateServer(ObjectNumber number, int32_t port, int32_t mode, const char* address);
// Closes a server (number or handle) with all its peers; OBJECT_ANY closes all.
void Net_CloseServer(ObjectNumber number);
// Polls a server (OBJECT_ANY: all) for one event: a new connection before data
// from peers, the newest peer first. NET_EVENT_DISCONNECT reports a peer that
// is already closed and released.
int32_t Net_ServerEvent(ObjectNumber number);
// The connection the last event concerns.
NetConnection* Net_EventConnection();
