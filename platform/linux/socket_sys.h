// The system side of the substitute's sockets: thin calls on Linux sockets that
// take and give addresses in the Windows layout and report Winsock error codes.
// Kept apart from winsock.h because the system's socket headers declare the
// same names with other types; only plain types cross this boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace SocketSys {

// Every call returns its result (>= 0) or -1 with the Winsock error in *error.
int Socket(int windowsFamily, int type, int protocol, int* error);
int Close(int fd);
int Bind(int fd, const void* address, int length, int* error);
int Listen(int fd, int backlog, int* error);
// The accepted socket inherits the listening socket's non-blocking mode.
int Accept(int fd, void* address, int* length, int* error);
int Connect(int fd, const void* address, int length, int* error);
long Send(int fd, const void* data, size_t length, int flags, int* error);
long Receive(int fd, void* buffer, size_t length, int flags, int* error);
long SendTo(int fd, const void* data, size_t length, int flags, const void* to, int toLength, int* error);
// A datagram longer than `length` fills the buffer and fails with WSAEMSGSIZE.
long ReceiveFrom(int fd, void* buffer, size_t length, int flags, void* from, int* fromLength, int* error);
int Shutdown(int fd, int how, int* error);
int SockName(int fd, void* address, int* length, bool peer, int* error);
// Options by their Windows level and name; values are Windows-sized.
int SetOption(int fd, int level, int name, const void* value, int length, int* error);
int GetOption(int fd, int level, int name, void* value, int* length, int* error);
int SetNonBlocking(int fd, bool on, int* error);
int BytesReadable(int fd, uint32_t* count, int* error);

// One entry of a wait: the socket, what to wait for, and what happened.
struct PollEntry {
  int fd;
  bool read, write;
  bool readable, writable, error, hangUp, invalid;
};
// Waits up to timeoutMs (-1: no limit); returns the number of entries with news.
int Poll(std::vector<PollEntry>& entries, int timeoutMs, int* error);

// Dotted IPv4 text in network byte order; false when the text is no address.
bool ParseIPv4(const char* text, uint32_t* address);

// One answer of a name look-up, the address in the Windows layout.
struct Resolved {
  int family, socktype, protocol;
  std::vector<unsigned char> address;
  std::string canonicalName;
};
// Resolves with Windows-valued hints; returns 0 or a Winsock error code.
int Resolve(const char* node, const char* service, int flags, int family, int socktype, int protocol,
            std::vector<Resolved>* answers);
// The numeric or looked-up host and service of a Windows-layout address; 0 or
// a Winsock error code.
int NameOf(const void* address, int length, char* host, size_t hostLength, char* service,
           size_t serviceLength, int flags);

}  // namespace SocketSys
