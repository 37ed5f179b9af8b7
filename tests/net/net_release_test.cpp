// Sockets are given back on every failed open: a connection refused, a bad
// local address, a port already taken. Counted by the process's open
// descriptors, which the Linux socket layer hands out one per socket.
#include <gtest/gtest.h>

#include <filesystem>

#include "net/net.h"

namespace {

constexpr int kTries = 50;

size_t OpenDescriptors() {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) count++;
  return count;
}

TEST(NetRelease, FailedOpensLeaveNoSocketBehind) {
  // A port that was just free and is closed again: connecting to it is refused.
  NetServer* probe = Net_CreateServer(OBJECT_ANY, 0, NET_TCP, "127.0.0.1");
  ASSERT_NE(probe, nullptr);
  const int32_t closedPort = Net_ServerPort(probe->identity);
  Net_CloseServer(probe->identity);
  NetServer* taken = Net_CreateServer(1, 0, NET_TCP, "127.0.0.1");
  ASSERT_NE(taken, nullptr);
  const int32_t takenPort = Net_ServerPort(1);

  const size_t before = OpenDescriptors();
  for (int i = 0; i < kTries; i++) {
    EXPECT_EQ(Net_OpenConnection("127.0.0.1", closedPort), nullptr);
    EXPECT_EQ(Net_OpenConnectionWatching("127.0.0.1", closedPort, 2000, nullptr), nullptr);
    EXPECT_EQ(Net_OpenConnection("127.0.0.1", takenPort, NET_TCP, 0, "not an address", 0), nullptr);
    EXPECT_EQ(Net_CreateServer(OBJECT_ANY, takenPort, NET_TCP, "127.0.0.1"), nullptr);
    EXPECT_EQ(Net_CreateServer(OBJECT_ANY, 0, NET_TCP, "not an address"), nullptr);
  }
  EXPECT_EQ(OpenDescriptors(), before);

  Net_CloseServer(1);
}

}  // namespace
