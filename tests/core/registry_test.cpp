// Tests of the object registry and the record list.
#include "core/registry.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/heap.h"
#include "tests/support/fault.h"

namespace {

struct Record {
  void* handle;  // liveness mark
  int payload[6];
};

ObjectRegistry* registry;
std::vector<ObjectNumber> freed;

// A library's free operation, in the usual pattern.
void freeRecord(ObjectNumber object) {
  freed.push_back(object);
  if (!Object_Get(registry, object)) return;
  Object_Free(registry, object);
}

Record* makeLive(ObjectNumber object) {
  auto* r = static_cast<Record*>(Object_Allocate(registry, object));
  if (r) r->handle = r;
  return r;
}

ObjectNumber handleOf(const Record* r) { return reinterpret_cast<ObjectNumber>(r); }

class RegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    registry = Object_CreateRegistry(sizeof(Record), 16, freeRecord);
    freed.clear();
  }
  void TearDown() override {
    registry->freeCallback = freeRecord;
    Object_FreeAll(registry);
    for (int i = 0; i < registry->capacity; i++) Heap_Free(registry->slots[i]);
    Heap_Free(registry->slots);
    Heap_Free(registry);
  }
};

bool isZero(const Record* r) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(r);
  for (size_t i = 0; i < sizeof(Record); i++)
    if (bytes[i]) return false;
  return true;
}

TEST_F(RegistryTest, GrowsToTheNumberPlusTheStep) {
  EXPECT_EQ(registry->capacity, 16);
  Record* r = makeLive(20);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(registry->capacity, 36);
  for (int i = 0; i < 36; i++) EXPECT_EQ(registry->slots[i] != nullptr, i == 20) << i;
  EXPECT_EQ(Object_Get(registry, 20), r);
  EXPECT_EQ(Object_Get(registry, 35), nullptr);
  EXPECT_EQ(Object_Get(registry, 3), nullptr);
}

TEST_F(RegistryTest, ValuesThatAreNeitherSlotsNorHandlesNameNothing) {
  makeLive(2);
  EXPECT_EQ(Object_Get(registry, 40), nullptr);  // past the capacity, not an address
  EXPECT_EQ(Object_Get(registry, OBJECT_ANY), nullptr);
  Object_Free(registry, 40);
  Object_Free(registry, OBJECT_ANY);
  EXPECT_NE(Object_Get(registry, 2), nullptr);
  EXPECT_EQ(Object_Allocate(registry, -2), nullptr);
}

// Every negative number but OBJECT_ANY is no slot and no record address: each
// operation that looks a number up finds nothing and changes nothing.
TEST_F(RegistryTest, NumbersBelowMinusOneNameNothingAnywhere) {
  Record* kept = makeLive(0);
  Record* dynamic = makeLive(OBJECT_ANY);
  for (ObjectNumber bad : {ObjectNumber(-2), ObjectNumber(-3), ObjectNumber(-0x10000), ObjectNumber(-0x10001),
                           ObjectNumber(INTPTR_MIN), ObjectNumber(INTPTR_MIN + 1)}) {
    EXPECT_EQ(Object_Get(registry, bad), nullptr) << bad;
    Object_Free(registry, bad);
    EXPECT_EQ(Object_Allocate(registry, bad), nullptr) << bad;
  }
  EXPECT_EQ(Object_Get(registry, 0), kept);
  EXPECT_EQ(Object_Get(registry, handleOf(dynamic)), dynamic);
  EXPECT_EQ(registry->capacity, 16);
  EXPECT_TRUE(freed.empty());
}

#if INTPTR_MAX == INT32_MAX
// On a 32-bit build a slot array of 2^30 slots or more has a size that wraps;
// such a growth fails instead of making a small array with a huge capacity.
TEST_F(RegistryTest, AGrowthWhoseSizeWrapsFailsAndLeavesTheRegistryIntact) {
  Record* kept = makeLive(0);
  kept->payload[0] = 7;
  void** slots = registry->slots;
  for (ObjectNumber number : {ObjectNumber(0x3FFFFFF0), ObjectNumber(0x40000000), ObjectNumber(0x7FFFFFEF),
                              ObjectNumber(0x7FFFFFF0), ObjectNumber(INT32_MAX)}) {
    EXPECT_EQ(Object_Allocate(registry, number), nullptr) << number;
    EXPECT_EQ(registry->capacity, 16);
    EXPECT_EQ(registry->slots, slots);
    EXPECT_EQ(Object_Get(registry, 0), kept);
    EXPECT_EQ(kept->payload[0], 7);
  }
  // A growth too large for the heap, but representable, fails the same way.
  EXPECT_EQ(Object_Allocate(registry, 0x3FFFFFEF), nullptr);
  EXPECT_EQ(registry->capacity, 16);
  EXPECT_EQ(Object_Get(registry, 0), kept);
  EXPECT_NE(makeLive(40), nullptr);
  EXPECT_EQ(registry->capacity, 56);
}
#endif

TEST_F(RegistryTest, ReallocatingALiveNumberFreesItFirstAndReturnsTheSameRecord) {
  Record* r = makeLive(4);
  r->payload[3] = 99;
  auto* again = static_cast<Record*>(Object_Allocate(registry, 4));
  EXPECT_EQ(again, r);
  EXPECT_EQ(freed, std::vector<ObjectNumber>{4});
  EXPECT_TRUE(isZero(again));
}

#ifndef _WIN32
TEST_F(RegistryTest, ReallocatingAFreedNumberCostsNoAllocation) {
  Record* r = makeLive(4);
  Object_Free(registry, 4);
  EXPECT_EQ(Object_Get(registry, 4), nullptr);
  EXPECT_EQ(registry->slots[4], r);  // the slot keeps the record
  Platform_FailHeapAfter(0);
  void* again = Object_Allocate(registry, 4);
  Platform_FailHeapAfter(-1);
  EXPECT_EQ(again, r);
  EXPECT_EQ(freed, std::vector<ObjectNumber>{4});  // called; found nothing live
  EXPECT_TRUE(isZero(r));
}
#endif

TEST_F(RegistryTest, WithoutACallbackAReusedRecordIsStillZeroFilled) {
  registry->freeCallback = nullptr;
  Record* r = makeLive(1);
  r->payload[0] = 5;
  EXPECT_EQ(Object_Allocate(registry, 1), r);
  EXPECT_TRUE(isZero(r));
}

TEST_F(RegistryTest, DynamicObjectsAreTheirRecordsAddress) {
  auto* r = static_cast<Record*>(Object_Allocate(registry, OBJECT_ANY));
  ASSERT_NE(r, nullptr);
  EXPECT_TRUE(isZero(r));
  ObjectNumber handle = handleOf(r);
  EXPECT_EQ(Object_Get(registry, handle), nullptr);  // not live until marked
  r->handle = r;
  EXPECT_EQ(Object_Get(registry, handle), r);
  EXPECT_TRUE(freed.empty());
  Object_Free(registry, handle);
  EXPECT_EQ(registry->dynamicList, nullptr);
}

TEST_F(RegistryTest, FreeAllVisitsNumbersAscendingThenDynamicObjectsOldestFirst) {
  makeLive(9);
  makeLive(2);
  Object_Allocate(registry, 3);  // allocated, never live: skipped
  makeLive(5);
  Record* a = makeLive(OBJECT_ANY);
  Record* b = makeLive(OBJECT_ANY);
  Record* c = makeLive(OBJECT_ANY);
  Object_FreeAll(registry);
  EXPECT_EQ(freed, (std::vector<ObjectNumber>{2, 5, 9, handleOf(a), handleOf(b), handleOf(c)}));
  for (ObjectNumber n : {2, 5, 9}) EXPECT_EQ(Object_Get(registry, n), nullptr);
  EXPECT_EQ(registry->dynamicList, nullptr);
}

TEST_F(RegistryTest, FreeAllWithoutCallbackChangesNothing) {
  makeLive(1);
  Record* d = makeLive(OBJECT_ANY);
  registry->freeCallback = nullptr;
  Object_FreeAll(registry);
  EXPECT_NE(Object_Get(registry, 1), nullptr);
  EXPECT_EQ(Object_Get(registry, handleOf(d)), d);
}

TEST_F(RegistryTest, AnIterationSurvivesFreeingAnObjectItHasNotVisitedYet) {
  Record* a = makeLive(OBJECT_ANY);
  Record* b = makeLive(OBJECT_ANY);
  Record* c = makeLive(OBJECT_ANY);
  std::vector<ObjectNumber> seen;
  Object_ResetIteration(registry);
  ObjectNumber object;
  while (Object_NextObject(registry, &object)) {
    seen.push_back(object);
    if (object == handleOf(a)) Object_Free(registry, handleOf(b));
  }
  Object_EndIteration(registry);
  EXPECT_EQ(seen, (std::vector<ObjectNumber>{handleOf(a), handleOf(c)}));
}

TEST(RecordList, RemovingTheOldestThenTheHeadEmptiesTheList) {
  ListNode* head = nullptr;
  void* a = List_Add(&head, sizeof(ListNode) + 8);
  void* b = List_Add(&head, sizeof(ListNode) + 8);
  ListNode* nodeB = static_cast<ListNode*>(b) - 1;
  EXPECT_EQ(head, nodeB);
  List_Remove(&head, a);
  EXPECT_EQ(head, nodeB);
  EXPECT_EQ(nodeB->next, nullptr);
  EXPECT_EQ(nodeB->previous, nullptr);
  List_Remove(&head, b);
  EXPECT_EQ(head, nullptr);
}

TEST(RecordList, RemovingAMiddleNodeJoinsItsNeighbours) {
  ListNode* head = nullptr;
  void* a = List_Add(&head, sizeof(ListNode) + 4);
  void* b = List_Add(&head, sizeof(ListNode) + 4);
  void* c = List_Add(&head, sizeof(ListNode) + 4);
  ListNode* nodeA = static_cast<ListNode*>(a) - 1;
  ListNode* nodeC = static_cast<ListNode*>(c) - 1;
  List_Remove(&head, b);
  EXPECT_EQ(head, nodeC);
  EXPECT_EQ(nodeC->next, nodeA);
  EXPECT_EQ(nodeA->previous, nodeC);
  List_Remove(&head, c);
  EXPECT_EQ(head, nodeA);
  EXPECT_EQ(nodeA->previous, nullptr);
  List_Remove(&head, a);
  EXPECT_EQ(List_Add(&head, sizeof(ListNode) - 1), nullptr);
  EXPECT_EQ(head, nullptr);
}

#ifndef _WIN32
TEST_F(RegistryTest, ExhaustedMemoryLeavesTheRegistryAsItWas) {
  Record* kept = makeLive(3);
  void** slots = registry->slots;
  auto unchanged = [&] {
    EXPECT_EQ(registry->capacity, 16);
    EXPECT_EQ(registry->slots, slots);
    EXPECT_EQ(registry->slots[7], nullptr);
    EXPECT_EQ(Object_Get(registry, 3), kept);
  };
  // A new number within the capacity: its record.
  EXPECT_EQ(Fault_EachAllocation([&] { return makeLive(7) != nullptr; }, unchanged).failures, 1);
  // A number past the capacity: its record, then the grown slot array.
  auto notGrown = [&] {
    EXPECT_EQ(registry->capacity, 16);
    EXPECT_EQ(registry->slots, slots);
    EXPECT_EQ(Object_Get(registry, 3), kept);
  };
  EXPECT_EQ(Fault_EachAllocation([&] { return makeLive(100) != nullptr; }, notGrown).failures, 2);
  EXPECT_EQ(registry->capacity, 116);
  EXPECT_EQ(Object_Get(registry, 3), kept);
  EXPECT_EQ(Object_Get(registry, 7), registry->slots[7]);
  // A dynamic object: its node.
  ListNode* head = registry->dynamicList;
  EXPECT_EQ(Fault_EachAllocation([&] { return makeLive(OBJECT_ANY) != nullptr; },
                                 [&] { EXPECT_EQ(registry->dynamicList, head); })
                .failures,
            1);
}
#endif

}  // namespace
