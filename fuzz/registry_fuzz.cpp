// Fuzzes the object registry: random sequences of allocate, free, lookup,
// free-all and iteration (with frees on the way) over numbered and dynamic
// objects, against a model of which numbers and handles name live objects.
// Numbers are slot numbers in and past the capacity, handles the registry
// gave out, OBJECT_ANY and numbers below it.
#include <algorithm>
#include <cstring>
#include <map>

#include "core/registry.h"
#include "fuzz/support.h"

namespace {

struct Record {
  void* record;
  bool live;
  uint8_t tag;  // every byte after the liveness mark, while live
};

struct Model {
  int32_t capacity;
  int32_t growStep;
  int32_t elementSize;
  bool callback;
  std::map<ObjectNumber, Record> slots;  // allocated slots
  std::vector<Record> dynamic;           // oldest first
  std::vector<ObjectNumber> calls;       // free callback calls seen
};

ObjectRegistry* registry;
Model model;

// The free operation of a library: frees the object when it is live.
void freeObject(ObjectNumber object) {
  model.calls.push_back(object);
  if (Object_Get(registry, object)) Object_Free(registry, object);
}

bool zeroFilled(const void* record) {
  auto* bytes = static_cast<const uint8_t*>(record);
  return std::all_of(bytes, bytes + model.elementSize, [](uint8_t b) { return b == 0; });
}

ObjectNumber handleOf(const Record& r) { return reinterpret_cast<ObjectNumber>(r.record); }

// What the registry yields, in its order: live numbered objects ascending,
// then every dynamic object, oldest first.
std::vector<std::pair<ObjectNumber, void*>> expectedOrder() {
  std::vector<std::pair<ObjectNumber, void*>> order;
  for (auto& [n, r] : model.slots)
    if (r.live) order.push_back({n, r.record});
  for (auto& r : model.dynamic) order.push_back({handleOf(r), r.record});
  return order;
}

// Marks a fresh record live (a library storing its system handle) or leaves
// it as a creation that gave up half-way.
void fill(Record& r, FuzzedDataProvider& in) {
  FUZZ_CHECK(zeroFilled(r.record));
  r.live = in.ConsumeIntegralInRange<int>(0, 3) != 0;
  if (!r.live) return;
  r.tag = in.ConsumeIntegralInRange<uint8_t>(1, 255);
  std::memset(r.record, r.tag, static_cast<size_t>(model.elementSize));
}

// The after-effect of a free: a slot's record zero-filled and kept, a dynamic node gone.
void freedInModel(ObjectNumber object) {
  auto slot = model.slots.find(object);
  if (object >= 0 && object < model.capacity) {
    if (slot != model.slots.end()) slot->second.live = false;
    return;
  }
  auto it = std::find_if(model.dynamic.begin(), model.dynamic.end(),
                         [&](const Record& r) { return handleOf(r) == object; });
  if (it != model.dynamic.end()) model.dynamic.erase(it);
}

// The registry as the model has it: capacity, each slot's record and state,
// and the dynamic list linked both ways, newest at the head.
void checkAll() {
  FUZZ_CHECK(registry->capacity == model.capacity);
  for (ObjectNumber n = 0; n < model.capacity; n++) {
    auto it = model.slots.find(n);
    void* expected = it == model.slots.end() ? nullptr : it->second.record;
    FUZZ_CHECK(registry->slots[n] == expected);
    FUZZ_CHECK(Object_Get(registry, n) == (it != model.slots.end() && it->second.live ? expected : nullptr));
    if (it != model.slots.end() && !it->second.live) FUZZ_CHECK(zeroFilled(expected));
    if (it != model.slots.end() && it->second.live) {
      auto* bytes = static_cast<const uint8_t*>(expected);
      FUZZ_CHECK(
          std::all_of(bytes, bytes + model.elementSize, [&](uint8_t b) { return b == it->second.tag; }));
    }
  }
  ListNode* node = registry->dynamicList;
  ListNode* newer = nullptr;
  for (auto r = model.dynamic.rbegin(); r != model.dynamic.rend(); ++r) {
    FUZZ_CHECK(node && static_cast<void*>(node + 1) == r->record && node->previous == newer);
    FUZZ_CHECK(Object_Get(registry, handleOf(*r)) == (r->live ? r->record : nullptr));
    newer = node;
    node = node->next;
  }
  FUZZ_CHECK(!node);
}

// A number or handle to pass: slot numbers (allocated or not, in the
// capacity or past it), handles the registry gave out, OBJECT_ANY, and
// numbers below it.
ObjectNumber pick(FuzzedDataProvider& in, bool forAllocate) {
  switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
      if (!model.dynamic.empty() && !forAllocate)
        return handleOf(model.dynamic[in.ConsumeIntegralInRange<size_t>(0, model.dynamic.size() - 1)]);
      return OBJECT_ANY;
    case 1:
      return OBJECT_ANY;
    case 2:
      // Below OBJECT_ANY: no object in any operation.
      return in.ConsumeBool() ? in.ConsumeIntegralInRange<ObjectNumber>(-70000, -2)
                              : in.ConsumeIntegralInRange<ObjectNumber>(INTPTR_MIN, -2);
    case 3:
      // Past the capacity, where no object can be: up to the lowest handles.
      if (!forAllocate) return in.ConsumeIntegralInRange<ObjectNumber>(model.capacity, 0xFFFF);
      [[fallthrough]];
    default:
      return in.ConsumeIntegralInRange<ObjectNumber>(0, model.capacity + model.growStep + 3);
  }
}

void allocate(FuzzedDataProvider& in) {
  ObjectNumber n = pick(in, true);
  model.calls.clear();
  void* record = Object_Allocate(registry, n);
  if (n < OBJECT_ANY) {
    FUZZ_CHECK(!record && model.calls.empty());
    return;
  }
  FUZZ_CHECK(record);
  if (n == OBJECT_ANY) {
    FUZZ_CHECK(model.calls.empty());
    model.dynamic.push_back({record, false, 0});
    fill(model.dynamic.back(), in);
    return;
  }
  if (n >= model.capacity) model.capacity = static_cast<int32_t>(n) + model.growStep;
  auto it = model.slots.find(n);
  if (it != model.slots.end()) {
    // A number in use: its free operation runs first and the record is re-used.
    FUZZ_CHECK(record == it->second.record);
    if (model.callback) FUZZ_CHECK(model.calls == std::vector<ObjectNumber>{n});
    it->second.live = false;
    fill(it->second, in);
    return;
  }
  for (auto& [other, r] : model.slots) FUZZ_CHECK(r.record != record);
  model.slots[n] = {record, false, 0};
  fill(model.slots[n], in);
}

void lookup(FuzzedDataProvider& in) {
  ObjectNumber n = pick(in, false);
  void* expected = nullptr;
  if (n >= 0 && n < model.capacity) {
    auto it = model.slots.find(n);
    if (it != model.slots.end() && it->second.live) expected = it->second.record;
  } else {
    for (auto& r : model.dynamic)
      if (handleOf(r) == n && r.live) expected = r.record;
  }
  FUZZ_CHECK(Object_Get(registry, n) == expected);
}

void release(FuzzedDataProvider& in) {
  ObjectNumber n = pick(in, false);
  Object_Free(registry, n);
  freedInModel(n);
}

// Object_FreeAll, or an iteration that frees some of what it is given and
// may stop early.
void walk(FuzzedDataProvider& in, bool freeAll) {
  auto order = expectedOrder();
  model.calls.clear();
  if (freeAll) {
    Object_FreeAll(registry);
    if (!model.callback) {
      FUZZ_CHECK(model.calls.empty());
      return;
    }
    std::vector<ObjectNumber> numbers;
    for (auto& [n, r] : order) numbers.push_back(n);
    FUZZ_CHECK(model.calls == numbers);
    for (auto& entry : order) {
      // The library frees what is live; a dynamic object that never became
      // live stays in the list.
      ObjectNumber n = entry.first;
      auto slot = model.slots.find(n);
      bool isSlot = n >= 0 && n < model.capacity;
      bool live = isSlot ? slot->second.live
                         : std::find_if(model.dynamic.begin(), model.dynamic.end(), [&](const Record& d) {
                             return handleOf(d) == n;
                           })->live;
      if (live) freedInModel(n);
    }
    return;
  }
  uint64_t frees = in.ConsumeIntegral<uint64_t>();
  size_t stopAfter = in.ConsumeBool() ? SIZE_MAX : in.ConsumeIntegralInRange<size_t>(0, 6);
  Object_ResetIteration(registry);
  size_t i = 0;
  for (;; i++) {
    if (i == stopAfter) {
      Object_EndIteration(registry);
      return;
    }
    ObjectNumber n = 0x7777;
    void* record = Object_NextObject(registry, &n);
    if (i == order.size()) {
      FUZZ_CHECK(!record);
      return;
    }
    FUZZ_CHECK(record == order[i].second && n == order[i].first);
    if (i < 64 && ((frees >> i) & 1)) {
      Object_Free(registry, n);
      freedInModel(n);
    }
  }
}

// Gives back everything the registry took from the main heap (a registry
// lives for the process; each run makes its own).
void teardown() {
  while (registry->dynamicList) List_Remove(&registry->dynamicList, registry->dynamicList + 1);
  for (int32_t n = 0; n < registry->capacity; n++) Heap_Free(registry->slots[n]);
  Heap_Free(registry->slots);
  Heap_Free(registry);
  registry = nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Fuzz_StartRuntime();
  FuzzedDataProvider in(data, size);
  model = Model{};
  model.elementSize = in.ConsumeIntegralInRange<int32_t>(sizeof(void*), 40);
  model.growStep = in.ConsumeIntegralInRange<int32_t>(1, 20);
  model.capacity = model.growStep;
  model.callback = in.ConsumeIntegralInRange<int>(0, 4) != 0;
  registry = Object_CreateRegistry(model.elementSize, model.growStep, model.callback ? freeObject : nullptr);
  FUZZ_CHECK(registry && registry->capacity == model.capacity);
  for (int steps = 0; steps < 200 && in.remaining_bytes() > 0; steps++) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
      case 0:
      case 1:
      case 2:
        allocate(in);
        break;
      case 3:
        lookup(in);
        break;
      case 4:
      case 5:
        release(in);
        break;
      case 6:
        walk(in, in.ConsumeBool());
        break;
      default:
        walk(in, false);
        break;
    }
    checkAll();
  }
  teardown();
  return 0;
}
