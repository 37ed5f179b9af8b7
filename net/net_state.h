// The network layer's process-wide state, shared by its connection and server
// halves.
#pragma once

#include "net/net.h"

using NetGetAddrInfo = int(WSAAPI*)(const char* node, const char* service, const ADDRINFOA* hints,
                                    ADDRINFOA** result);
using NetFreeAddrInfo = void(WSAAPI*)(ADDRINFOA* list);

struct NetState {
  ObjectRegistry* servers;  // created on the first Net_Init, never released
  int32_t started;          // the socket library is started
  int32_t ipv6;             // all three name entry points were found
  HMODULE ws2;              // "ws2_32.dll", loaded at run time
  NetGetAddrInfo getAddrInfo;
  NetFreeAddrInfo freeAddrInfo;
  NetConnection* eventConnection;  // what the last server event concerns
};

extern NetState Net_State;

// Resolves `host` to one IPv6 address with the port in network byte order;
// false when IPv6 is unavailable or the name has no IPv6 address.
bool Net_ResolveIPv6(const char* host, sockaddr_in6* address);
// Switches a socket's blocking mode; false on failure.
bool Net_SetBlocking(SOCKET socket, bool blocking);

// Holds a socket being set up and closes it on every path out of its scope,
// unless Take handed it on to the record that keeps it.
struct NetSocket {
  SOCKET socket;
  explicit NetSocket(SOCKET held) : socket(held) {}
  ~NetSocket() {
    if (socket != INVALID_SOCKET) closesocket(socket);
  }
  NetSocket(const NetSocket&) = delete;
  NetSocket& operator=(const NetSocket&) = delete;
  // The socket, now the caller's to close; the holder keeps nothing.
  SOCKET Take() {
    SOCKET taken = socket;
    socket = INVALID_SOCKET;
    return taken;
  }
};
