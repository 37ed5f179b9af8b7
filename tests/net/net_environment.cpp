// The network layer started once for each network test program that links
// this file, and ended after its last case.
#include <gtest/gtest.h>

#include "net/net.h"

namespace {

class NetEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_EQ(Net_Init(), 1); }
  void TearDown() override { Net_End(); }
};

::testing::Environment* const netEnvironment = ::testing::AddGlobalTestEnvironment(new NetEnvironment);

}  // namespace
