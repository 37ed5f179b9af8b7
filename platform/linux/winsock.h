// Windows Sockets 1.1 of the Linux substitute: the names, constants, records and
// error codes of Winsock over the system's sockets, so network code is the same
// on both platforms.
#pragma once

// The C library's BSD names come first: u_char, u_short, u_int and struct
// timeval are kept; its u_long (64 bits) and fd_set (a bit mask) are replaced by
// Winsock's below.
#include <sys/select.h>
#include <sys/types.h>

#include "platform/linux/wintypes.h"

#define WSAAPI

typedef uint32_t tp_u_long;
#define u_long tp_u_long  // 32 bits, as on Windows

// A socket; the substitute never hands out 0, 1 or 2, so a socket is never zero.
typedef UINT_PTR SOCKET;
#define INVALID_SOCKET ((SOCKET)(~0))
#define SOCKET_ERROR (-1)

// ---- Start and error codes ---------------------------------------------------------
#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128
typedef struct WSAData {
  WORD wVersion;
  WORD wHighVersion;
  char szDescription[WSADESCRIPTION_LEN + 1];
  char szSystemStatus[WSASYS_STATUS_LEN + 1];
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
  char* lpVendorInfo;
} WSADATA, *LPWSADATA;

// Starts the socket library (versions 1.1 to 2.2); calls nest, each one ended by
// WSACleanup. Until the first start, socket() and gethostbyname() fail with
// WSANOTINITIALISED.
int WSAAPI WSAStartup(WORD versionRequested, LPWSADATA data);
int WSAAPI WSACleanup();
// The calling thread's last socket error (the codes below).
int WSAAPI WSAGetLastError();
void WSAAPI WSASetLastError(int error);

#define WSABASEERR 10000
#define WSAEINTR 10004
#define WSAEBADF 10009
#define WSAEACCES 10013
#define WSAEFAULT 10014
#define WSAEINVAL 10022
#define WSAEMFILE 10024
#define WSAEWOULDBLOCK 10035
#define WSAEINPROGRESS 10036
#define WSAEALREADY 10037
#define WSAENOTSOCK 10038
#define WSAEDESTADDRREQ 10039
#define WSAEMSGSIZE 10040
#define WSAEPROTOTYPE 10041
#define WSAENOPROTOOPT 10042
#define WSAEPROTONOSUPPORT 10043
#define WSAESOCKTNOSUPPORT 10044
#define WSAEOPNOTSUPP 10045
#define WSAEPFNOSUPPORT 10046
#define WSAEAFNOSUPPORT 10047
#define WSAEADDRINUSE 10048
#define WSAEADDRNOTAVAIL 10049
#define WSAENETDOWN 10050
#define WSAENETUNREACH 10051
#define WSAENETRESET 10052
#define WSAECONNABORTED 10053
#define WSAECONNRESET 10054
#define WSAENOBUFS 10055
#define WSAEISCONN 10056
#define WSAENOTCONN 10057
#define WSAESHUTDOWN 10058
#define WSAETIMEDOUT 10060
#define WSAECONNREFUSED 10061
#define WSAEHOSTDOWN 10064
#define WSAEHOSTUNREACH 10065
#define WSANOTINITIALISED 10093
#define WSATYPE_NOT_FOUND 10109
#define WSAHOST_NOT_FOUND 11001
#define WSATRY_AGAIN 11002
#define WSANO_RECOVERY 11003
#define WSANO_DATA 11004

// ---- Addresses -----------------------------------------------------------------------
#define AF_UNSPEC 0
#define AF_INET 2
#define AF_INET6 23  // the Windows value; the substitute translates it
#define PF_INET AF_INET
#define PF_INET6 AF_INET6

#define SOCK_STREAM 1
#define SOCK_DGRAM 2
#define IPPROTO_IP 0
#define IPPROTO_TCP 6
#define IPPROTO_UDP 17

typedef struct in_addr {
  union {
    struct {
      u_char s_b1, s_b2, s_b3, s_b4;
    } S_un_b;
    struct {
      u_short s_w1, s_w2;
    } S_un_w;
    u_long S_addr;
  } S_un;
} IN_ADDR;
#define s_addr S_un.S_addr

#define INADDR_ANY ((u_long)0x00000000)
#define INADDR_LOOPBACK 0x7f000001
#define INADDR_NONE 0xffffffff

struct sockaddr {
  u_short sa_family;
  char sa_data[14];
};
typedef struct sockaddr SOCKADDR;

struct sockaddr_in {
  short sin_family;
  u_short sin_port;
  struct in_addr sin_addr;
  char sin_zero[8];
};
typedef struct sockaddr_in SOCKADDR_IN;

typedef struct in6_addr {
  union {
    u_char Byte[16];
    u_short Word[8];
  } u;
} IN6_ADDR;
#define s6_addr u.Byte

struct sockaddr_in6 {
  short sin6_family;
  u_short sin6_port;
  u_long sin6_flowinfo;
  struct in6_addr sin6_addr;
  u_long sin6_scope_id;
};
typedef struct sockaddr_in6 SOCKADDR_IN6;

// Room for any address the substitute hands out.
struct sockaddr_storage {
  short ss_family;
  char ss_pad[126];
};

struct hostent {
  char* h_name;
  char** h_aliases;
  short h_addrtype;
  short h_length;
  char** h_addr_list;
};
#define h_addr h_addr_list[0]

// The record of the run-time entry points getaddrinfo and freeaddrinfo of
// "ws2_32.dll", laid out as on Windows.
typedef struct addrinfo {
  int ai_flags;
  int ai_family;
  int ai_socktype;
  int ai_protocol;
  size_t ai_addrlen;
  char* ai_canonname;
  struct sockaddr* ai_addr;
  struct addrinfo* ai_next;
} ADDRINFOA, *PADDRINFOA;
#define AI_PASSIVE 0x0001
#define AI_CANONNAME 0x0002
#define AI_NUMERICHOST 0x0004
#define AI_ADDRCONFIG 0x0400
#define NI_NUMERICHOST 0x02
#define NI_NUMERICSERV 0x08
#define NI_MAXHOST 1025
#define NI_MAXSERV 32

u_short WSAAPI htons(u_short value);
u_short WSAAPI ntohs(u_short value);
u_long WSAAPI htonl(u_long value);
u_long WSAAPI ntohl(u_long value);
// Dotted IPv4 text ("a.b.c.d" and the shorter classic forms) in network byte
// order; INADDR_NONE when the text is no such address.
unsigned long WSAAPI inet_addr(const char* text);
// Dotted text of an address, in a per-thread buffer.
char* WSAAPI inet_ntoa(struct in_addr address);
// Looks an IPv4 host up; the answer lives in a per-thread record until the
// thread's next call. Null on failure (WSAHOST_NOT_FOUND, ...).
struct hostent* WSAAPI gethostbyname(const char* name);

// ---- Sockets ------------------------------------------------------------------------
#define SD_RECEIVE 0
#define SD_SEND 1
#define SD_BOTH 2

#define MSG_OOB 0x1
#define MSG_PEEK 0x2

#define SOL_SOCKET 0xffff
#define SO_DEBUG 0x0001
#define SO_ACCEPTCONN 0x0002
#define SO_REUSEADDR 0x0004
#define SO_KEEPALIVE 0x0008
#define SO_BROADCAST 0x0020
#define SO_LINGER 0x0080
#define SO_SNDBUF 0x1001
#define SO_RCVBUF 0x1002
#define SO_ERROR 0x1007
#define SO_TYPE 0x1008
#define TCP_NODELAY 0x0001

struct linger {
  u_short l_onoff;
  u_short l_linger;
};

#define FIONREAD 0x4004667FL
#define FIONBIO 0x8004667EL

SOCKET WSAAPI socket(int family, int type, int protocol);
int WSAAPI closesocket(SOCKET s);
int WSAAPI bind(SOCKET s, const struct sockaddr* address, int length);
int WSAAPI listen(SOCKET s, int backlog);
// The accepted socket inherits the listening socket's non-blocking mode.
SOCKET WSAAPI accept(SOCKET s, struct sockaddr* address, int* length);
// A non-blocking connect that cannot finish at once fails with WSAEWOULDBLOCK;
// select then reports the socket writable when it is connected, or in the error
// set when the attempt failed (SO_ERROR tells why).
int WSAAPI connect(SOCKET s, const struct sockaddr* address, int length);
// Never raises a signal: writing to a connection the peer has closed fails
// with WSAECONNRESET (WSAESHUTDOWN after the own shutdown of sending).
int WSAAPI send(SOCKET s, const char* data, int length, int flags);
int WSAAPI recv(SOCKET s, char* buffer, int length, int flags);
int WSAAPI sendto(SOCKET s, const char* data, int length, int flags, const struct sockaddr* to, int toLength);
// A datagram longer than the buffer fills it and fails with WSAEMSGSIZE; the
// rest of that datagram is lost, as on Windows.
int WSAAPI recvfrom(SOCKET s, char* buffer, int length, int flags, struct sockaddr* from, int* fromLength);
int WSAAPI shutdown(SOCKET s, int how);
int WSAAPI getsockname(SOCKET s, struct sockaddr* address, int* length);
int WSAAPI getpeername(SOCKET s, struct sockaddr* address, int* length);
int WSAAPI setsockopt(SOCKET s, int level, int name, const char* value, int length);
int WSAAPI getsockopt(SOCKET s, int level, int name, char* value, int* length);
// FIONBIO switches non-blocking mode (*argument != 0); FIONREAD gives the
// bytes that a receive would return at once.
int WSAAPI ioctlsocket(SOCKET s, long command, u_long* argument);

// ---- select --------------------------------------------------------------------------
// Winsock's socket sets: a count and an array of sockets, not a bit mask.
#undef FD_SETSIZE
#undef FD_SET
#undef FD_CLR
#undef FD_ISSET
#undef FD_ZERO
#define FD_SETSIZE 64
typedef struct tp_fd_set {
  u_int fd_count;
  SOCKET fd_array[FD_SETSIZE];
} tp_fd_set;
#define fd_set tp_fd_set

int WSAAPI __WSAFDIsSet(SOCKET s, fd_set* set);
#define FD_ISSET(s, set) __WSAFDIsSet((SOCKET)(s), (fd_set*)(set))
#define FD_ZERO(set) (((fd_set*)(set))->fd_count = 0)
#define FD_SET(s, set)                                             \
  do {                                                             \
    fd_set* tpSet_ = (fd_set*)(set);                               \
    u_int tpI_;                                                    \
    for (tpI_ = 0; tpI_ < tpSet_->fd_count; tpI_++)                \
      if (tpSet_->fd_array[tpI_] == (SOCKET)(s)) break;            \
    if (tpI_ == tpSet_->fd_count && tpSet_->fd_count < FD_SETSIZE) \
      tpSet_->fd_array[tpSet_->fd_count++] = (SOCKET)(s);          \
  } while (0)
#define FD_CLR(s, set)                                                 \
  do {                                                                 \
    fd_set* tpSet_ = (fd_set*)(set);                                   \
    for (u_int tpI_ = 0; tpI_ < tpSet_->fd_count; tpI_++)              \
      if (tpSet_->fd_array[tpI_] == (SOCKET)(s)) {                     \
        tpSet_->fd_array[tpI_] = tpSet_->fd_array[--tpSet_->fd_count]; \
        break;                                                         \
      }                                                                \
  } while (0)

// Waits until a socket of the sets is ready or the time-out (null: none) has
// passed; the sets are reduced to the ready sockets. Returns the number of
// ready entries over all three sets, 0 on time-out, SOCKET_ERROR on failure
// (all sets empty is WSAEINVAL). The first argument is ignored, as on Windows.
int WSAAPI select(int ignored, fd_set* readSet, fd_set* writeSet, fd_set* exceptSet,
                  const struct timeval* timeout);
