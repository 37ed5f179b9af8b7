// Object registry: numbered and dynamic objects of one library; record lists.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/types.h"

// A node of a record list; the caller's data follows the two links.
struct ListNode {
  ListNode* next;      // toward older nodes
  ListNode* previous;  // toward newer nodes
};

// The caller's data of type T that follows `node`'s links (as List_Add returns it).
template <class T>
T* List_Data(ListNode* node) {
  return static_cast<T*>(static_cast<void*>(node + 1));
}

using ObjectFreeCallback = void (*)(ObjectNumber object);

struct ObjectRegistry {
  int32_t elementSize;
  int32_t growStep;
  int32_t capacity;
  void** slots;
  ListNode* dynamicList;  // newest dynamic node, or null
  ObjectFreeCallback freeCallback;
  int32_t iterPosition;
  ListNode* iterCursor;
};

// A registry of records of `elementSize` bytes with `growStep` initial slots.
// Ends the process if the main heap cannot hold it (start-up cannot go on).
ObjectRegistry* Object_CreateRegistry(int32_t elementSize, int32_t growStep, ObjectFreeCallback freeCallback);
// A zero-filled record for `object` (a number, or OBJECT_ANY for a new dynamic
// object whose handle is the record's address). A number in use is first freed
// through the free callback. Returns null when memory ran out, for a number
// below -1, or when the grown slot array's size cannot be represented; the
// registry is then unchanged.
void* Object_Allocate(ObjectRegistry* registry, ObjectNumber object);
// The record of a live object (first field non-zero), else null. A number
// below -1, or one past the capacity that is no handle, names no object.
void* Object_Get(ObjectRegistry* registry, ObjectNumber object);
// Ends an object: a numbered record is zero-filled and kept, a dynamic node
// released. A value that names no object (see Object_Get) changes nothing.
void Object_Free(ObjectRegistry* registry, ObjectNumber object);
// Calls the free callback for every object: numbers ascending, then dynamic
// objects oldest first. Does nothing without a callback.
void Object_FreeAll(ObjectRegistry* registry);
void Object_ResetIteration(ObjectRegistry* registry);
// The next object's record, with its number or handle in *object; null at the end.
// The caller may free the yielded object without disturbing the iteration.
void* Object_NextObject(ObjectRegistry* registry, ObjectNumber* object);
void Object_EndIteration(ObjectRegistry* registry);

// Adds a zero-filled node of `totalSize` bytes (links included) as the new head;
// returns its data part, or null when memory ran out (the list unchanged).
void* List_Add(ListNode** head, size_t totalSize);
// Unlinks and releases the node whose data part is at `data`.
void List_Remove(ListNode** head, void* data);
