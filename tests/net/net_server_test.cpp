// Listening sockets and server events: stream and datagram servers, one event
// per poll in its order, peers, disconnects.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "net/net.h"

namespace {

int LocalPort(NetServer* server) {
  sockaddr_in a = {};
  int length = sizeof a;
  getsockname(server->socket, reinterpret_cast<sockaddr*>(&a), &length);
  return ntohs(a.sin_port);
}

// Polls until an event comes (bounded); returns it.
int32_t NextEvent(ObjectNumber server) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int32_t event = NET_EVENT_NONE;
  while ((event = Net_ServerEvent(server)) == NET_EVENT_NONE && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return event;
}

// Waits (bounded) until `count` bytes are readable on a socket without taking them.
void WaitReadable(SOCKET s, u_long count) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  u_long ready = 0;
  while (ioctlsocket(s, FIONREAD, &ready) == 0 && ready < count &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

class NetServers : public ::testing::Test {
 protected:
  void TearDown() override { Net_CloseServer(OBJECT_ANY); }
};

}  // namespace

TEST_F(NetServers, CreationChecksPortAndAddress) {
  EXPECT_EQ(Net_CreateServer(1, 65536, NET_TCP, nullptr), nullptr);
  EXPECT_EQ(Net_CreateServer(1, -1, NET_TCP, nullptr), nullptr);
  EXPECT_EQ(Net_CreateServer(1, 0, NET_TCP, "not dotted"), nullptr);
  EXPECT_EQ(Net_ServerEvent(1), NET_EVENT_NONE);  // a failed number is absent
  NetServer* server = Net_CreateServer(1, 0, 0, "127.0.0.1");
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(server->type, NET_TCP);
  EXPECT_EQ(server->identity, 1);
  EXPECT_NE(LocalPort(server), 0);
  // The same port again is taken.
  EXPECT_EQ(Net_CreateServer(2, LocalPort(server), NET_TCP, "127.0.0.1"), nullptr);
  NetServer* dynamic = Net_CreateServer(OBJECT_ANY, 0, NET_TCP, nullptr);
  ASSERT_NE(dynamic, nullptr);
  EXPECT_EQ(dynamic->identity, reinterpret_cast<ObjectNumber>(dynamic));
  Net_CloseServer(dynamic->identity);
  Net_CloseServer(1);
  EXPECT_EQ(Net_ServerEvent(1), NET_EVENT_NONE);
}

TEST_F(NetServers, StreamEventsComeOneAtATimeInOrder) {
  NetServer* server = Net_CreateServer(3, 0, NET_TCP, "127.0.0.1");
  ASSERT_NE(server, nullptr);
  int port = LocalPort(server);
  EXPECT_EQ(Net_ServerEvent(3), NET_EVENT_NONE);

  NetConnection* first = Net_OpenConnection("127.0.0.1", port);
  ASSERT_EQ(NextEvent(3), NET_EVENT_CONNECT);
  NetConnection* firstPeer = Net_EventConnection();
  EXPECT_EQ(firstPeer->owner, server);
  EXPECT_EQ(Net_Send(first, "one", 3), 3);
  ASSERT_EQ(NextEvent(3), NET_EVENT_DATA);
  EXPECT_EQ(Net_EventConnection(), firstPeer);
  // Unread data is reported on every poll, but a new connection comes first.
  NetConnection* second = Net_OpenConnection("127.0.0.1", port);
  ASSERT_NE(second, nullptr);  // connected: it waits in the listen queue
  EXPECT_EQ(Net_ServerEvent(3), NET_EVENT_CONNECT);
  NetConnection* secondPeer = Net_EventConnection();
  EXPECT_NE(secondPeer, firstPeer);
  EXPECT_EQ(Net_ServerEvent(3), NET_EVENT_DATA);
  EXPECT_EQ(Net_EventConnection(), firstPeer);
  // The newest peer is looked at first.
  EXPECT_EQ(Net_Send(second, "two", 3), 3);
  WaitReadable(secondPeer->socket, 3);
  EXPECT_EQ(Net_ServerEvent(3), NET_EVENT_DATA);
  EXPECT_EQ(Net_EventConnection(), secondPeer);
  char buffer[8];
  EXPECT_EQ(Net_Receive(secondPeer, buffer, sizeof buffer), 3);
  EXPECT_EQ(Net_ServerEvent(3), NET_EVENT_DATA);
  EXPECT_EQ(Net_EventConnection(), firstPeer);
  EXPECT_EQ(Net_Receive(firstPeer, buffer, sizeof buffer), 3);
  EXPECT_EQ(std::string(buffer, 3), "one");
  EXPECT_EQ(Net_ServerEvent(3), NET_EVENT_NONE);

  // A peer that goes away is reported once, already closed.
  Net_CloseConnection(first);
  ASSERT_EQ(NextEvent(3), NET_EVENT_DISCONNECT);
  EXPECT_EQ(Net_EventConnection(), firstPeer);
  EXPECT_EQ(Net_ServerEvent(3), NET_EVENT_NONE);
  // The server can send to a peer, and closing a peer leaves the server's list.
  EXPECT_EQ(Net_Send(secondPeer, "hi", 2), 2);
  EXPECT_EQ(Net_Receive(second, buffer, 2), 2);
  Net_CloseConnection(secondPeer);
  EXPECT_EQ(server->peers, nullptr);
  Net_CloseConnection(second);
}

TEST_F(NetServers, PollingAllServersTakesConnectionsBeforeData) {
  NetServer* a = Net_CreateServer(4, 0, NET_TCP, "127.0.0.1");
  NetServer* b = Net_CreateServer(5, 0, NET_TCP, "127.0.0.1");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  NetConnection* toA = Net_OpenConnection("127.0.0.1", LocalPort(a));
  ASSERT_EQ(NextEvent(4), NET_EVENT_CONNECT);
  Net_Send(toA, "x", 1);
  WaitReadable(Net_EventConnection()->socket, 1);
  NetConnection* toB = Net_OpenConnection("127.0.0.1", LocalPort(b));
  EXPECT_EQ(Net_ServerEvent(OBJECT_ANY), NET_EVENT_CONNECT);  // b's connection before a's data
  EXPECT_EQ(Net_EventConnection()->owner, b);
  EXPECT_EQ(Net_ServerEvent(OBJECT_ANY), NET_EVENT_DATA);
  EXPECT_EQ(Net_EventConnection()->owner, a);
  Net_CloseConnection(toA);
  Net_CloseConnection(toB);
  // Closing a server closes its peers too.
  Net_CloseServer(4);
  Net_CloseServer(5);
  EXPECT_EQ(Net_ServerEvent(OBJECT_ANY), NET_EVENT_NONE);
}

TEST_F(NetServers, DatagramsQueueOnTheirSender) {
  NetServer* server = Net_CreateServer(6, 0, NET_UDP, "127.0.0.1");
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(server->type, NET_UDP);
  int port = LocalPort(server);
  NetConnection* sender = Net_OpenConnection("127.0.0.1", port, NET_UDP, 0, nullptr, 0);
  ASSERT_NE(sender, nullptr);
  EXPECT_EQ(Net_Send(sender, "first", 5), 5);
  EXPECT_EQ(Net_Send(sender, "second", 6), 6);
  ASSERT_EQ(NextEvent(6), NET_EVENT_DATA);
  NetConnection* peer = Net_EventConnection();
  ASSERT_EQ(NextEvent(6), NET_EVENT_DATA);
  EXPECT_EQ(Net_EventConnection(), peer);  // one peer for one sender
  EXPECT_EQ(peer->kind, NET_KIND_DATAGRAM);
  EXPECT_EQ(peer->pendingCount, 11);
  char buffer[16];
  EXPECT_EQ(Net_Receive(peer, buffer, 3), 3);
  EXPECT_EQ(std::string(buffer, 3), "fir");
  EXPECT_EQ(Net_Receive(peer, buffer, sizeof buffer), 8);
  EXPECT_EQ(std::string(buffer, 8), "stsecond");
  EXPECT_EQ(peer->pending, nullptr);
  EXPECT_EQ(Net_Receive(peer, buffer, sizeof buffer), 0);
  // A datagram larger than the classic 2048-byte buffer arrives whole.
  std::string big(5000, 'b');
  EXPECT_EQ(Net_Send(sender, big.data(), static_cast<int32_t>(big.size())), 5000);
  ASSERT_EQ(NextEvent(6), NET_EVENT_DATA);
  EXPECT_EQ(Net_EventConnection()->pendingCount, 5000);
  // The server answers through its own socket; the sender's socket receives it.
  EXPECT_EQ(Net_Send(peer, "reply", 5), 5);
  fd_set readable = {};
  FD_SET(sender->ownSocket, &readable);
  timeval limit = {5, 0};
  EXPECT_EQ(select(0, &readable, nullptr, nullptr, &limit), 1);
  EXPECT_EQ(recvfrom(sender->ownSocket, buffer, sizeof buffer, 0, nullptr, nullptr), 5);
  // Datagram servers never report connections or disconnects.
  Net_CloseConnection(sender);
  EXPECT_EQ(Net_ServerEvent(6), NET_EVENT_NONE);
  Net_CloseConnection(peer);
  EXPECT_EQ(server->peers, nullptr);
}

TEST_F(NetServers, ServerOnEveryAddressReportsItsPortForPort) {
  // What an active-mode upload does: any free port of every local address.
  NetServer* server = Net_CreateServer(OBJECT_ANY, 0, NET_TCP, nullptr);
  ASSERT_NE(server, nullptr);
  int port = LocalPort(server);
  EXPECT_GT(port, 0);
  NetConnection* c = Net_OpenConnection("127.0.0.1", port);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(NextEvent(server->identity), NET_EVENT_CONNECT);
  Net_CloseConnection(c);
  Net_CloseServer(server->identity);
}

TEST_F(NetServers, IPv6Server) {
  NetServer* server = Net_CreateServer(7, 0, NET_TCP | NET_IPV6, "::1");
  if (!server) GTEST_SKIP() << "no IPv6 loopback on this machine";
  EXPECT_EQ(server->ipv6, 1);
  sockaddr_in6 a = {};
  int length = sizeof a;
  getsockname(server->socket, reinterpret_cast<sockaddr*>(&a), &length);
  NetConnection* c = Net_OpenConnection("::1", ntohs(a.sin6_port), NET_TCP | NET_IPV6, 1000, nullptr, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(NextEvent(7), NET_EVENT_CONNECT);
  Net_CloseConnection(c);
  EXPECT_EQ(NextEvent(7), NET_EVENT_DISCONNECT);
}
