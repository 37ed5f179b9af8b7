// Object registry: numbered objects in a slot array, dynamic objects in a record list.
#include "core/registry.h"

#include <cstring>

#include "core/heap.h"

namespace {

ListNode* nodeOf(void* data) { return static_cast<ListNode*>(data) - 1; }

bool isSlot(const ObjectRegistry* registry, ObjectNumber object) {
  return object >= 0 && object < registry->capacity;
}

// Heap addresses never lie in the first 64 KiB (unmapped on Windows and, by
// default, on Linux), and a handle is always positive (see Object_Allocate). A
// value that is no slot number and below that - a number past the capacity, or
// any negative number - names no object, instead of being taken as an address.
constexpr ObjectNumber kLowestHandle = 0x10000;

bool isHandle(const ObjectRegistry* registry, ObjectNumber object) {
  return object >= kLowestHandle && !isSlot(registry, object);
}

// The bytes of a slot array of `capacity` slots in *bytes; false when that
// cannot be represented (a 32-bit size_t wraps from 2^30 slots on).
bool slotArrayBytes(int64_t capacity, size_t* bytes) {
  if (capacity < 0 || static_cast<uint64_t>(capacity) > SIZE_MAX / sizeof(void*)) return false;
  *bytes = static_cast<size_t>(capacity) * sizeof(void*);
  return true;
}

bool isLive(const void* record) { return record && *static_cast<void* const*>(record) != nullptr; }

}  // namespace

ObjectRegistry* Object_CreateRegistry(int32_t elementSize, int32_t growStep,
                                      ObjectFreeCallback freeCallback) {
  // Every record starts with its liveness mark, a pointer.
  if (elementSize < static_cast<int32_t>(sizeof(void*))) elementSize = sizeof(void*);
  if (growStep < 1) growStep = 1;
  size_t bytes;
  if (!slotArrayBytes(growStep, &bytes)) Heap_Exhausted("object registry: growth step");
  auto* registry = static_cast<ObjectRegistry*>(Heap_Alloc(sizeof(ObjectRegistry)));
  void** slots = static_cast<void**>(Heap_Alloc(bytes));
  if (!registry || !slots) Heap_Exhausted("object registry");
  registry->elementSize = elementSize;
  registry->growStep = growStep;
  registry->capacity = growStep;
  registry->slots = slots;
  registry->freeCallback = freeCallback;
  return registry;
}

void* Object_Allocate(ObjectRegistry* registry, ObjectNumber object) {
  if (object == OBJECT_ANY) {
    void* data = List_Add(&registry->dynamicList, sizeof(ListNode) + registry->elementSize);
    // A record at an address that reads as a negative number (the upper half
    // of a 32-bit address space) could not be told from an invalid number.
    if (data && reinterpret_cast<ObjectNumber>(data) < kLowestHandle) {
      List_Remove(&registry->dynamicList, data);
      return nullptr;
    }
    return data;
  }
  if (object < 0) return nullptr;

  if (object < registry->capacity && registry->slots[object]) {
    void* record = registry->slots[object];
    if (registry->freeCallback)
      registry->freeCallback(object);
    else
      std::memset(record, 0, registry->elementSize);
    return record;
  }

  // The record is allocated before the slot array grows, so that a failure of
  // either leaves the registry exactly as it was.
  void* record = Heap_Alloc(registry->elementSize);
  if (!record) return nullptr;
  if (object >= registry->capacity) {
    if (object > INT32_MAX - registry->growStep) {
      Heap_Free(record);
      return nullptr;
    }
    int32_t capacity = static_cast<int32_t>(object) + registry->growStep;
    size_t bytes;
    void** slots = nullptr;
    if (slotArrayBytes(capacity, &bytes)) slots = static_cast<void**>(Heap_ReAlloc(registry->slots, bytes));
    if (!slots) {
      Heap_Free(record);
      return nullptr;
    }
    std::memset(slots + registry->capacity, 0,
                static_cast<size_t>(capacity - registry->capacity) * sizeof(void*));
    registry->slots = slots;
    registry->capacity = capacity;
  }
  registry->slots[object] = record;
  return record;
}

void* Object_Get(ObjectRegistry* registry, ObjectNumber object) {
  void* record;
  if (isSlot(registry, object))
    record = registry->slots[object];
  else if (isHandle(registry, object))
    record = reinterpret_cast<void*>(object);
  else
    return nullptr;
  return isLive(record) ? record : nullptr;
}

void Object_Free(ObjectRegistry* registry, ObjectNumber object) {
  if (isSlot(registry, object)) {
    if (registry->slots[object]) std::memset(registry->slots[object], 0, registry->elementSize);
  } else if (isHandle(registry, object)) {
    void* data = reinterpret_cast<void*>(object);
    // Keeps a running iteration valid even when the freed node is the one it visits next.
    if (registry->iterCursor == nodeOf(data)) registry->iterCursor = registry->iterCursor->previous;
    List_Remove(&registry->dynamicList, data);
  }
}

void Object_FreeAll(ObjectRegistry* registry) {
  if (!registry->freeCallback) return;
  Object_ResetIteration(registry);
  ObjectNumber object;
  while (Object_NextObject(registry, &object)) registry->freeCallback(object);
}

void Object_ResetIteration(ObjectRegistry* registry) {
  registry->iterPosition = 0;
  ListNode* node = registry->dynamicList;
  while (node && node->next) node = node->next;
  registry->iterCursor = node;
}

void* Object_NextObject(ObjectRegistry* registry, ObjectNumber* object) {
  while (registry->iterPosition >= 0 && registry->iterPosition < registry->capacity) {
    int32_t position = registry->iterPosition++;
    void* record = registry->slots[position];
    if (isLive(record)) {
      *object = position;
      return record;
    }
  }
  if (ListNode* node = registry->iterCursor) {
    // Move on first, so that the caller may free what it is given.
    registry->iterCursor = node->previous;
    void* data = List_Data<void>(node);
    *object = reinterpret_cast<ObjectNumber>(data);
    return data;
  }
  return nullptr;
}

void Object_EndIteration(ObjectRegistry*) {}

void* List_Add(ListNode** head, size_t totalSize) {
  if (totalSize < sizeof(ListNode)) return nullptr;
  auto* node = static_cast<ListNode*>(Heap_Alloc(totalSize));
  if (!node) return nullptr;
  node->next = *head;
  if (*head) (*head)->previous = node;
  *head = node;
  return List_Data<void>(node);
}

void List_Remove(ListNode** head, void* data) {
  if (!data) return;
  ListNode* node = nodeOf(data);
  if (node == *head) {
    *head = node->next;
    if (*head) (*head)->previous = nullptr;
  } else {
    node->previous->next = node->next;
    if (node->next) node->next->previous = node->previous;
  }
  Heap_Free(node);
}
