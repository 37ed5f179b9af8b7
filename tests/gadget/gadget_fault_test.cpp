// Exhausted memory in gadget creation: each kind of gadget, under a number new
// to the registry, past its capacity or dynamic, fails at each of its
// allocations in turn without leaving a control, a record or a block behind,
// and the gadget list works afterwards.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "gadget/gadget.h"
#include "platform/win32.h"
#include "tests/support/fault.h"
#include "window/event.h"
#include "window/window.h"

#ifndef _WIN32
namespace {

int childCount(HWND parent) {
  int n = 0;
  for (HWND child = GetWindow(parent, GW_CHILD); child && n < 1000; child = GetWindow(child, GW_HWNDNEXT))
    n++;
  return n;
}

using Create = std::function<intptr_t(ObjectNumber)>;

struct Kind {
  const char* name;
  Create create;
};

const Kind kKinds[] = {
    {"text", [](ObjectNumber n) { return Gadget_CreateText(n, 0, 0, 80, 20, u"Label"); }},
    {"string", [](ObjectNumber n) { return Gadget_CreateString(n, 0, 30, 80, 20, u"Field"); }},
    {"button", [](ObjectNumber n) { return Gadget_CreateButton(n, 0, 60, 80, 20, u"Press"); }},
    {"progress bar", [](ObjectNumber n) { return Gadget_CreateProgressBar(n, 0, 90, 80, 20, 0, 100); }},
};

class GadgetFault : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    Event_Init();
    Window_Init();
    Gadget_Init();
  }
  static void TearDownTestSuite() {
    Gadget_End();
    Event_End();
  }
  void SetUp() override {
    list = reinterpret_cast<HWND>(Window_Open(1, 0, 0, 300, 200, u"Gadgets", WINDOW_INVISIBLE));
    ASSERT_NE(list, nullptr);
  }
  void TearDown() override {
    Window_End();
    Event_Purge(-1, -1, -1, -1);
  }

  HWND list = nullptr;
};

TEST_F(GadgetFault, AGadgetThatFindsNoMemoryLeavesNoControlAndNoRecord) {
  ObjectNumber next = 40;
  for (const Kind& kind : kKinds) {
    // A number within the registry's first capacity, one far past it, and a dynamic one.
    for (ObjectNumber number : {next, next + 5000, ObjectNumber{OBJECT_ANY}}) {
      SCOPED_TRACE(std::string(kind.name) + " " + std::to_string(number));
      const int children = childCount(list);
      intptr_t made = 0;
      auto create = [&] { return (made = kind.create(number)) != 0; };
      auto nothingLeft = [&] {
        EXPECT_EQ(childCount(list), children);
        if (number != OBJECT_ANY) {
          EXPECT_EQ(Gadget_GetRecord(number), nullptr);
        }
      };
      FaultRun run = Fault_EachAllocation(create, nothingLeft);
      EXPECT_GE(run.failures, 1);
      // The gadget made at last is whole and usable.
      const ObjectNumber gadget = number == OBJECT_ANY ? static_cast<ObjectNumber>(made) : number;
      ASSERT_NE(Gadget_GetRecord(gadget), nullptr);
      EXPECT_EQ(GetParent(Gadget_GetRecord(gadget)->window), list);
      EXPECT_EQ(childCount(list), children + 1);
    }
    next++;
  }
}

TEST_F(GadgetFault, RecreatingAGadgetUnderItsNumberNeedsNoMemory) {
  ASSERT_NE(Gadget_CreateButton(7, 0, 0, 80, 20, u"Old"), 0);
  HWND old = Gadget_GetRecord(7)->window;
  // The record of a number in use is reused: nothing can fail, the old control goes.
  FaultRun run =
      Fault_EachAllocation([] { return Gadget_CreateButton(7, 0, 0, 80, 20, u"New") != 0; }, [] {});
  EXPECT_EQ(run.failures, 0);
  EXPECT_FALSE(IsWindow(old));
  EXPECT_EQ(childCount(list), 1);
}

}  // namespace
#endif
