// Tests of the hash maps and the structure helpers.
#include "core/map.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

#include "core/string.h"
#include "tests/support/fault.h"

namespace {

struct Plain {
  int value;
  int extra;
};

// Every element reached by a fresh iteration, checked against the chains.
std::multiset<int> valuesOf(HashMap* map) {
  std::multiset<int> values;
  Map_ResetIteration(map);
  while (auto* p = static_cast<Plain*>(Map_Next(map))) values.insert(p->value);
  return values;
}

int chainTotal(const HashMap* map) {
  int n = 0;
  for (int b = 0; b < map->bucketCount; b++)
    for (MapNode* node = map->buckets[b]; node; node = node->next) n++;
  return n;
}

std::u16string key(int i) {
  std::string s = "key" + std::to_string(i);
  return std::u16string(s.begin(), s.end());
}

class MapTest : public testing::Test {
 protected:
  HashMap* map = nullptr;
  void TearDown() override { Map_Free(map); }
  // A map of `count` elements in few buckets, so that chains are long.
  void fill(int count, int buckets = 4) {
    Map_Create(sizeof(Plain), 0, nullptr, &map, buckets);
    for (int i = 0; i < count; i++) static_cast<Plain*>(Map_Add(map, key(i).c_str(), 0))->value = i;
  }
};

TEST(MapHash, KnownValues) {
  EXPECT_EQ(Map_Hash("", 0), 0u);
  EXPECT_EQ(Map_Hash("a", 0), 97u);
  EXPECT_EQ(Map_Hash("ab", 0), 6363201u);
  EXPECT_EQ(Map_HashWide(u"", 0), 0u);
  EXPECT_EQ(Map_HashWide(u"a", 0), 97u);
  EXPECT_EQ(Map_HashWide(u"ab", 0), 6363201u);
  EXPECT_EQ(Map_HashWide(u"AB", MAP_NOCASE), 6363201u);
  // 8-bit keys hash their bytes as signed values.
  EXPECT_EQ(Map_Hash("\xff", 0), 0xFFFFFFFFu);
}

TEST_F(MapTest, TheEmptyKeyLandsInBucketZero) {
  Map_Create(sizeof(Plain), 0, nullptr, &map, 16);
  static_cast<Plain*>(Map_Add(map, nullptr, 0))->value = 1;
  ASSERT_NE(map->buckets[0], nullptr);
  EXPECT_EQ(static_cast<Plain*>(Map_Find(map, ""))->value, 1);
  EXPECT_EQ(static_cast<Plain*>(Map_FindWide(map, nullptr))->value, 1);
}

TEST_F(MapTest, AddedElementsAreZeroFilledAndFoundByEitherKeyForm) {
  Map_Create(sizeof(Plain), 0, nullptr, &map, 8);
  auto* p = static_cast<Plain*>(Map_Add(map, u"13100:0:3:0", 0));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->value, 0);
  EXPECT_EQ(p->extra, 0);
  p->value = 42;
  EXPECT_EQ(Map_Find(map, "13100:0:3:0"), p);
  EXPECT_EQ(Map_FindWide(map, u"13100:0:3:0"), p);
  EXPECT_EQ(Map_Find(map, "13100:0:3:1"), nullptr);
  EXPECT_EQ(Map_Find(map, "13100:0:3:"), nullptr);
  EXPECT_EQ(Map_FindInt(map, 5), nullptr);  // not an integer-keyed map
  EXPECT_EQ(map->count, 1);
}

TEST_F(MapTest, CaseInsensitiveKeysFoldAsciiOnly) {
  Map_Create(sizeof(Plain), 0, nullptr, &map, 64);
  map->flags |= MAP_NOCASE;
  auto* p = static_cast<Plain*>(Map_Add(map, u"Key", 0));
  EXPECT_EQ(Map_HashWide(u"Key", MAP_NOCASE) % 64, Map_HashWide(u"KEY", MAP_NOCASE) % 64);
  EXPECT_EQ(Map_FindWide(map, u"KEY"), p);
  EXPECT_EQ(Map_Find(map, "kEy"), p);
  Map_Add(map, u"\u00c4", 0);
  EXPECT_EQ(Map_FindWide(map, u"\u00e4"), nullptr);  // not an ASCII letter
  EXPECT_NE(Map_FindWide(map, u"\u00c4"), nullptr);

  HashMap* exact = nullptr;
  Map_Create(sizeof(Plain), 0, nullptr, &exact, 64);
  Map_Add(exact, u"Key", 0);
  EXPECT_EQ(Map_FindWide(exact, u"KEY"), nullptr);
  Map_Free(exact);
}

TEST_F(MapTest, ReuseClearsTheExistingElementInsteadOfAddingOne) {
  Map_Create(sizeof(Plain), 0, nullptr, &map, 8);
  auto* p = static_cast<Plain*>(Map_Add(map, u"x", 0));
  p->value = 9;
  EXPECT_EQ(Map_Add(map, u"x", 1), p);
  EXPECT_EQ(p->value, 0);
  EXPECT_EQ(map->count, 1);
  EXPECT_NE(Map_Add(map, u"x", 0), p);
  EXPECT_EQ(map->count, 2);
}

TEST_F(MapTest, IntegerKeysIncludingNegativeOnes) {
  Map_Create(sizeof(Plain), 0, nullptr, &map, 7);
  map->flags |= MAP_INTKEYS;
  for (intptr_t k = -20; k <= 20; k++)
    static_cast<Plain*>(Map_AddInt(map, k, 0))->value = static_cast<int>(k);
  for (intptr_t k = -20; k <= 20; k++) {
    auto* p = static_cast<Plain*>(Map_FindInt(map, k));
    ASSERT_NE(p, nullptr) << k;
    EXPECT_EQ(p->value, k);
  }
  EXPECT_EQ(chainTotal(map), 41);
  EXPECT_EQ(Map_Add(map, u"text", 0), nullptr);  // a string key in an integer-keyed map
  EXPECT_EQ(Map_Find(map, "1"), nullptr);
  EXPECT_EQ(map->count, 41);
}

TEST_F(MapTest, DeletingEveryElementInOneIterationEmptiesTheMap) {
  fill(50);
  std::multiset<int> seen;
  Map_ResetIteration(map);
  while (auto* p = static_cast<Plain*>(Map_Next(map))) {
    seen.insert(p->value);
    Map_DeleteCurrent(map);
  }
  EXPECT_EQ(seen.size(), 50u);
  EXPECT_EQ(std::set<int>(seen.begin(), seen.end()).size(), 50u);
  EXPECT_EQ(map->count, 0);
  for (int b = 0; b < map->bucketCount; b++) EXPECT_EQ(map->buckets[b], nullptr);
}

TEST_F(MapTest, DeletingSomeElementsDuringAnIterationVisitsEachOnce) {
  fill(60, 5);
  std::multiset<int> seen;
  Map_ResetIteration(map);
  while (auto* p = static_cast<Plain*>(Map_Next(map))) {
    seen.insert(p->value);
    if (p->value % 3 != 1) Map_DeleteCurrent(map);
  }
  EXPECT_EQ(seen.size(), 60u);
  EXPECT_EQ(std::set<int>(seen.begin(), seen.end()).size(), 60u);
  EXPECT_EQ(map->count, 20);
  EXPECT_EQ(chainTotal(map), 20);
  for (int v : valuesOf(map)) EXPECT_EQ(v % 3, 1);
}

TEST_F(MapTest, NextAfterTheEndStaysNullUntilReset) {
  fill(3);
  EXPECT_EQ(valuesOf(map).size(), 3u);
  EXPECT_EQ(Map_Next(map), nullptr);
  EXPECT_EQ(Map_Next(map), nullptr);
  Map_ResetIteration(map);
  EXPECT_NE(Map_Next(map), nullptr);
}

TEST_F(MapTest, DeletingTwiceInARowLeavesTheMapConsistent) {
  fill(40, 3);
  Map_ResetIteration(map);
  for (int i = 0; i < 5; i++) Map_Next(map);
  void* before = Map_DeleteCurrent(map);
  ASSERT_NE(before, nullptr);
  void* earlier = Map_DeleteCurrent(map);  // deletes `before`, steps back once more
  EXPECT_NE(earlier, before);
  if (earlier) {
    EXPECT_NE(Map_FindWide(map, key(static_cast<Plain*>(earlier)->value).c_str()), nullptr);
  }
  Map_ResetIteration(map);
  for (int i = 0; i < 3; i++) Map_Next(map);
  while (Map_Next(map)) {
  }
  EXPECT_EQ(map->count, 38);
  EXPECT_EQ(chainTotal(map), 38);
  EXPECT_EQ(valuesOf(map).size(), 38u);
  for (int v : valuesOf(map)) EXPECT_NE(Map_FindWide(map, key(v).c_str()), nullptr);
}

TEST_F(MapTest, DeleteAfterALookupRemovesTheElementFound) {
  fill(30, 2);
  for (int i : {0, 29, 15}) {
    ASSERT_NE(Map_FindWide(map, key(i).c_str()), nullptr);
    Map_DeleteCurrent(map);
    EXPECT_EQ(Map_FindWide(map, key(i).c_str()), nullptr);
  }
  EXPECT_EQ(map->count, 27);
  EXPECT_EQ(chainTotal(map), 27);
}

TEST_F(MapTest, ClearEmptiesAndTheMapStaysUsable) {
  fill(20);
  Map_Clear(map);
  EXPECT_EQ(map->count, 0);
  EXPECT_EQ(chainTotal(map), 0);
  EXPECT_EQ(Map_Next(map), nullptr);
  Map_Add(map, u"again", 0);
  EXPECT_EQ(valuesOf(map).size(), 1u);
}

TEST(MapLifetime, CreatingIntoAHeldVariableFreesTheOldMap) {
  HashMap* variable = nullptr;
  HashMap* first = Map_Create(sizeof(Plain), 0, nullptr, &variable, 8);
  ASSERT_EQ(variable, first);
  BlockPool* pool = first->pool;
  int32_t references = pool->sharedEntry->referenceCount;
  for (int i = 0; i < 10; i++) Map_Add(first, key(i).c_str(), 0);
  HashMap* second = Map_Create(sizeof(Plain), 0, nullptr, &variable, 8);
  EXPECT_EQ(variable, second);
  EXPECT_EQ(second->pool, pool);
  EXPECT_EQ(pool->sharedEntry->referenceCount, references);  // the old map dropped its own
  EXPECT_EQ(second->count, 0);
  Map_Free(second);
  EXPECT_EQ(variable, nullptr);
  Map_Free(nullptr);
}

TEST(MapLifetime, BucketCountBelowOneBecomesOne) {
  HashMap* map = nullptr;
  Map_Create(sizeof(Plain), 0, nullptr, &map, 0);
  EXPECT_EQ(map->bucketCount, 1);
  Map_Add(map, u"a", 0);
  Map_Add(map, u"b", 0);
  EXPECT_NE(Map_FindWide(map, u"a"), nullptr);
  Map_Free(map);
}

// The event-binding table's keys: a lookup finds only its own key, never
// another key that shares its bucket or is a prefix of it, and a miss leaves
// the element found last current.
TEST(EventBindingTable, LookupsFindOnlyTheirOwnKeyInAnOccupiedBucket) {
  HashMap* table = nullptr;
  Map_Create(2 * sizeof(void*), 7, nullptr, &table, 1024);
  ASSERT_NE(table, nullptr);
  auto bucketOf = [](const std::string& k) {
    uint32_t h = 0;
    for (char c : k) h = h * 65599u + static_cast<uint32_t>(static_cast<signed char>(c));
    return h % 1024;
  };
  // Two keys of the event format that land in one bucket.
  std::string bound = "13100:0:3:0", neighbour;
  for (int object = 4; neighbour.empty() && object < 100000; object++) {
    std::string k = "13100:0:" + std::to_string(object) + ":0";
    if (bucketOf(k) == bucketOf(bound)) neighbour = k;
  }
  ASSERT_FALSE(neighbour.empty());
  for (const char* k : {"13100:0:3:0", "13100:0:3:-1", "13100:-1:-1:-1", ""})
    EXPECT_EQ(Map_Find(table, k), nullptr) << "empty table: " << k;

  std::u16string wide(bound.begin(), bound.end());
  void* element = Map_Add(table, wide.c_str(), 0);
  ASSERT_NE(element, nullptr);
  EXPECT_EQ(Map_Find(table, bound.c_str()), element);
  MapNode* found = table->current;
  EXPECT_EQ(Map_Find(table, neighbour.c_str()), nullptr);
  EXPECT_EQ(Map_Find(table, "13100:0:3:"), nullptr);
  EXPECT_EQ(Map_Find(table, "13100:0:3:00"), nullptr);
  EXPECT_EQ(Map_Find(table, "13100:0:3:-1"), nullptr);
  EXPECT_EQ(table->current, found);
  std::u16string other(neighbour.begin(), neighbour.end());
  void* second = Map_Add(table, other.c_str(), 0);
  EXPECT_EQ(Map_Find(table, neighbour.c_str()), second);
  EXPECT_EQ(Map_FindWide(table, wide.c_str()), element);
  EXPECT_EQ(table->count, 2);
  Map_Free(table);
}

// A bucket array or an element whose byte size cannot be represented (a
// 32-bit size_t wraps) is never made: creation or addition fails and what the
// caller held stays. The main heap is bounded, so a size that can be
// represented fails too, on any build.
TEST(MapSizeLimits, HugeBucketCountsAndElementsFailCleanly) {
  HANDLE saved = Heap_Main;
  Heap_Main = HeapCreate(0, 4096, 1 << 20);
  ASSERT_NE(Heap_Main, nullptr);
  // An element size of its own: its shared pool lives in this heap only.
  constexpr int32_t kOwnSize = 1000;
  HashMap* held = nullptr;
  ASSERT_NE(Map_Create(kOwnSize, 0, nullptr, &held, 8), nullptr);
  Map_Add(held, u"kept", 0);
  for (int32_t buckets : {0x40000000, 0x40000001, INT32_MAX}) {
    HashMap* before = held;
    EXPECT_EQ(Map_Create(kOwnSize, 0, nullptr, &held, buckets), nullptr) << buckets;
    EXPECT_EQ(held, before);
    EXPECT_NE(Map_FindWide(held, u"kept"), nullptr);
  }
  HashMap* huge = nullptr;
  ASSERT_NE(Map_Create(0x40000000, 0, nullptr, &huge, 4), nullptr);
  EXPECT_EQ(Map_Add(huge, u"x", 0), nullptr);
  EXPECT_EQ(huge->count, 0);
  EXPECT_EQ(Map_Next(huge), nullptr);
  Map_Free(huge);
  EXPECT_EQ(Map_Create(INT32_MAX, 0, nullptr, &huge, 4), nullptr);
  Map_Free(held);
  HeapDestroy(Heap_Main);
  Heap_Main = saved;
}

// ---- Structures with managed fields ----

struct Inner {
  StringVar name;
  int number;
};

struct Outer {
  StringVar title;
  HashMap* children;
  Inner embedded;
  StringVar pair[2];
  int plain;
};

const StructWord kInnerDescription[] = {offsetof(Inner, name), STRUCT_END};
const StructWord kChildDescription[] = {0, STRUCT_END};  // one string field at offset 0
// One field a row.
// clang-format off
const StructWord kOuterDescription[] = {
    offsetof(Outer, title),
    STRUCT_MAP, offsetof(Outer, children), sizeof(StringVar), 3, Struct_Word(kChildDescription), 4,
    STRUCT_EMBED, offsetof(Outer, embedded), sizeof(Inner), Struct_Word(kInnerDescription),
    STRUCT_ARRAY, 2, offsetof(Outer, pair), sizeof(StringVar), Struct_Word(kInnerDescription),
    STRUCT_END};
// clang-format on

std::u16string text(const char16_t* s) { return s ? std::u16string(s) : std::u16string(); }

void fillOuter(Outer* o, const char16_t* tag) {
  String_Assign(&o->title, tag);
  String_Assign(&o->embedded.name, u"inner");
  String_Assign(&o->pair[0], u"left");
  String_Assign(&o->pair[1], u"right");
  o->embedded.number = 5;
  o->plain = 77;
  for (const char16_t* k : {u"a", u"b", u"c"})
    String_Assign(static_cast<StringVar*>(Map_Add(o->children, k, 0)), k);
}

void expectSameContent(const Outer* a, const Outer* b) {
  EXPECT_EQ(text(a->title), text(b->title));
  EXPECT_EQ(text(a->embedded.name), text(b->embedded.name));
  EXPECT_EQ(text(a->pair[0]), text(b->pair[0]));
  EXPECT_EQ(text(a->pair[1]), text(b->pair[1]));
  EXPECT_EQ(a->embedded.number, b->embedded.number);
  EXPECT_EQ(a->plain, b->plain);
  ASSERT_TRUE(a->children && b->children);
  EXPECT_EQ(a->children->count, b->children->count);
  for (const char16_t* k : {u"a", u"b", u"c"})
    EXPECT_EQ(text(*static_cast<StringVar*>(Map_FindWide(b->children, k))), k);
}

TEST(StructHelpers, NeedsInitFindsContainersAtAnyDepth) {
  const StructWord withMap[] = {STRUCT_EMBED, 0, sizeof(Outer), Struct_Word(kOuterDescription), STRUCT_END};
  EXPECT_FALSE(Struct_NeedsInit(kInnerDescription));
  EXPECT_TRUE(Struct_NeedsInit(kOuterDescription));
  EXPECT_TRUE(Struct_NeedsInit(withMap));
  EXPECT_FALSE(Struct_NeedsInit(nullptr));
}

TEST(StructHelpers, AddCreatesMapFieldsAndCopyGivesFreshStringsAndMaps) {
  HashMap* map = nullptr;
  Map_Create(sizeof(Outer), 0, kOuterDescription, &map, 8);
  ASSERT_NE(map, nullptr);
  EXPECT_TRUE(map->flags & MAP_CONTAINERS);
  auto* first = static_cast<Outer*>(Map_Add(map, u"first", 0));
  ASSERT_NE(first->children, nullptr);
  EXPECT_EQ(first->children->owner, &first->children);
  EXPECT_EQ(first->children->typeCode, 3);
  EXPECT_EQ(first->children->bucketCount, 4);
  fillOuter(first, u"one");

  auto* second = static_cast<Outer*>(Map_Add(map, u"second", 0));
  fillOuter(second, u"two");
  Struct_Copy(second, sizeof(Outer), kOuterDescription, first);
  expectSameContent(first, second);
  EXPECT_NE(second->title, first->title);
  EXPECT_NE(second->embedded.name, first->embedded.name);
  EXPECT_NE(second->pair[1], first->pair[1]);
  EXPECT_NE(second->children, first->children);
  EXPECT_EQ(second->children->owner, &second->children);

  StringVar title = first->title;
  HashMap* children = first->children;
  Struct_Copy(first, sizeof(Outer), kOuterDescription, first);
  EXPECT_EQ(first->title, title);
  EXPECT_EQ(first->children, children);

  Struct_Clear(second, kOuterDescription);
  EXPECT_EQ(second->title, nullptr);
  EXPECT_EQ(second->children, nullptr);
  EXPECT_EQ(second->pair[0], nullptr);
  EXPECT_EQ(second->plain, 77);
  Map_Free(map);  // releases the first element's strings and map
}

TEST(StructHelpers, ReuseRecreatesTheContainerFields) {
  HashMap* map = nullptr;
  Map_Create(sizeof(Outer), 0, kOuterDescription, &map, 8);
  auto* o = static_cast<Outer*>(Map_Add(map, u"k", 0));
  fillOuter(o, u"t");
  EXPECT_EQ(Map_Add(map, u"k", 1), o);
  EXPECT_EQ(o->title, nullptr);
  ASSERT_NE(o->children, nullptr);
  EXPECT_EQ(o->children->count, 0);
  Map_Free(map);
}

TEST(StructHelpers, MapCopyCopiesEveryElementAndLeavesTheSourceIteration) {
  HashMap* source = nullptr;
  HashMap* destination = nullptr;
  Map_Create(sizeof(Outer), 0, kOuterDescription, &source, 8);
  Map_Create(sizeof(Outer), 0, kOuterDescription, &destination, 16);
  for (const char16_t* k : {u"p", u"q", u"r"}) fillOuter(static_cast<Outer*>(Map_Add(source, k, 0)), k);
  Map_Add(destination, u"old", 0);
  Map_ResetIteration(source);
  Map_Next(source);
  MapNode* current = source->current;
  int32_t bucket = source->bucketIndex;

  Map_Copy(source, destination, 1);
  EXPECT_EQ(source->current, current);
  EXPECT_EQ(source->bucketIndex, bucket);
  EXPECT_EQ(destination->count, 3);
  EXPECT_EQ(Map_FindWide(destination, u"old"), nullptr);
  for (const char16_t* k : {u"p", u"q", u"r"})
    expectSameContent(static_cast<Outer*>(Map_FindWide(source, k)),
                      static_cast<Outer*>(Map_FindWide(destination, k)));

  Map_Copy(source, source, 0);  // onto itself: unchanged
  EXPECT_EQ(source->count, 3);
  Map_Copy(source, destination, 0);  // without clearing: a second copy of each
  EXPECT_EQ(destination->count, 6);

  HashMap* plain = nullptr;
  Map_Create(sizeof(Plain), 0, nullptr, &plain, 8);
  Map_Copy(source, plain, 0);  // another element type: refused
  EXPECT_EQ(plain->count, 0);
  Map_Free(plain);
  Map_Free(source);
  Map_Free(destination);
}

TEST(StructHelpers, CreateRefusesUnhandledContainersAndFieldsOutsideTheElement) {
  HashMap* map = nullptr;
  const StructWord other4[] = {-4, 0, 0, 0, 0, 0, STRUCT_END};
  const StructWord other5[] = {-5, 0, 0, 0, 0, STRUCT_END};
  const StructWord other7[] = {-7, 0, STRUCT_END};
  const StructWord outside[] = {16, STRUCT_END};
  const StructWord embeddedOutside[] = {STRUCT_EMBED, 8, 16, Struct_Word(kInnerDescription), STRUCT_END};
  const StructWord arrayOutside[] = {STRUCT_ARRAY, 3, 0, 8, Struct_Word(kChildDescription), STRUCT_END};
  for (const StructWord* d : {other4, other5, other7, outside, embeddedOutside, arrayOutside})
    EXPECT_EQ(Map_Create(16, 0, d, &map, 8), nullptr);
  EXPECT_EQ(map, nullptr);
  const StructWord fits[] = {8, STRUCT_ARRAY, 1, 0, 8, Struct_Word(kChildDescription), STRUCT_END};
  EXPECT_NE(Map_Create(16, 0, fits, &map, 8), nullptr);
  Map_Free(map);
}

#ifndef _WIN32
TEST(MapExhaustion, CreateFailsWithTheOldMapStillHeld) {
  HashMap* variable = nullptr;
  HashMap* old = Map_Create(sizeof(Plain), 0, nullptr, &variable, 8);
  Map_Add(old, u"kept", 0);
  HashMap* made = nullptr;
  // A slot size no other map uses, so that the shared pool is created too.
  FaultRun run =
      Fault_EachAllocation([&] { return (made = Map_Create(1000, 0, nullptr, &variable, 8)) != nullptr; },
                           [&] {
                             EXPECT_EQ(variable, old);
                             EXPECT_NE(Map_FindWide(old, u"kept"), nullptr);
                           });
  EXPECT_EQ(run.failures, 4);  // the record, the buckets, the shared entry, the pool
  EXPECT_EQ(variable, made);
  EXPECT_EQ(made->pool->sharedEntry->referenceCount, 1);
  Map_Free(made);
}

TEST(MapExhaustion, AddFailsWithoutLeavingTheKeyBehind) {
  HashMap* map = nullptr;
  Map_Create(sizeof(Outer), 0, kOuterDescription, &map, 4);
  for (int i = 0; i < 10; i++) fillOuter(static_cast<Outer*>(Map_Add(map, key(i).c_str(), 0)), u"x");
  auto consistent = [&] {
    EXPECT_EQ(map->count, 10);
    EXPECT_EQ(chainTotal(map), 10);
    EXPECT_EQ(Map_FindWide(map, u"new"), nullptr);
  };
  // The key copy, the pool block, the nested map's record, buckets and pool.
  FaultRun run = Fault_EachAllocation([&] { return Map_Add(map, u"new", 0) != nullptr; }, consistent);
  EXPECT_GE(run.failures, 3);
  EXPECT_EQ(map->count, 11);
  // Reuse of an existing key that cannot recreate its fields removes the element.
  Platform_FailHeapAfter(0);
  EXPECT_EQ(Map_Add(map, key(3).c_str(), 1), nullptr);
  Platform_FailHeapAfter(-1);
  EXPECT_EQ(Map_FindWide(map, key(3).c_str()), nullptr);
  EXPECT_EQ(map->count, 10);
  EXPECT_EQ(chainTotal(map), 10);
  Map_Free(map);
}

TEST(MapExhaustion, CopyEndsTheProcessRatherThanLeaveAHalfCopy) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  HashMap* source = nullptr;
  HashMap* destination = nullptr;
  Map_Create(sizeof(Plain), 0, nullptr, &source, 8);
  Map_Create(sizeof(Plain), 0, nullptr, &destination, 8);
  for (int i = 0; i < 40; i++) Map_Add(source, key(i).c_str(), 0);
  EXPECT_DEATH(
      {
        Platform_FailHeapAfter(20);
        Map_Copy(source, destination, 0);
      },
      "out of memory");
  Map_Free(source);
  Map_Free(destination);
}
#endif

}  // namespace
