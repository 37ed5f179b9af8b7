// Hash maps with string or integer keys, and the structure helpers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/heap.h"
#include "core/pool.h"

constexpr int32_t MAP_NOCASE = 1;      // case-insensitive string keys
constexpr int32_t MAP_CONTAINERS = 2;  // elements hold container fields to create on add
constexpr int32_t MAP_INTKEYS = 4;     // integer keys

// A structure description: a sequence of words ending with STRUCT_END. A
// non-negative word is the byte offset of a string field (a StringVar); a
// negative word is a tag followed by its operands. Words are as wide as a
// pointer, because the nested descriptions among the operands are addresses
// (StructWord(&inner[0]) via Struct_Word).
using StructWord = intptr_t;
constexpr StructWord STRUCT_END = -1;
constexpr StructWord STRUCT_ARRAY = -2;  // count, offset, stride, description
constexpr StructWord STRUCT_EMBED = -3;  // offset, size, description
constexpr StructWord STRUCT_MAP = -6;    // offset, element size, type code, description, bucket count
// Tags -4, -5 and -7 name container kinds without handlers: Map_Create refuses
// descriptions that hold them, and the structure helpers stop at them.

// A nested description as a description word.
inline StructWord Struct_Word(const StructWord* description) {
  return reinterpret_cast<StructWord>(description);
}

struct MapNode {
  MapNode* next;
  union {
    char16_t* text;  // string keys: a copy on the main heap, owned by the node
    intptr_t integer;
  } key;
  // element data follows
};

struct HashMap {
  MapNode* current;
  MapNode** buckets;
  MapNode* previous;
  const StructWord* description;
  int32_t bucketIndex;
  int32_t savedBucketIndex;
  int32_t elementSize;
  int32_t typeCode;
  int32_t bucketCount;
  int32_t count;
  int32_t flags;
  HashMap** owner;
  BlockPool* pool;
};

// Container handlers: create, copy and free of one container kind.
struct ContainerHandlers {
  HashMap* (*create)(int32_t elementSize, int32_t typeCode, const StructWord* description, HashMap** owner,
                     int32_t bucketCount);
  void (*copy)(HashMap* source, HashMap* destination, int32_t clearFirst);
  void (*free)(HashMap* map);
};
constexpr int CONTAINER_KINDS = 3;
constexpr int CONTAINER_MAP = 1;  // index of the map kind (tags -4, -6, -7 map to 0, 1, 2)
extern ContainerHandlers Container_Handlers[CONTAINER_KINDS];
// Installs Map_Create, Map_Copy and Map_Free as the map kind's handlers.
void Map_InstallHandlers();

// Creates a map of `bucketCount` chains (below 1: 1) whose elements hold
// `elementSize` bytes laid out as `description` says (null: plain bytes), and
// stores it in *owner (owner may be null), freeing the map *owner held. Returns
// null, with *owner unchanged, when memory ran out or the description holds a
// field outside the element or a container kind without handlers. The map has
// UTF-16 keys; set MAP_NOCASE or MAP_INTKEYS in `flags` before the first add.
HashMap* Map_Create(int32_t elementSize, int32_t typeCode, const StructWord* description, HashMap** owner,
                    int32_t bucketCount);
// Frees every element, the map and its pool reference, and sets the owning
// variable to null if it still holds the map. Null is ignored.
void Map_Free(HashMap* map);
// Frees every element; the map stays, empty, with its iteration reset.
void Map_Clear(HashMap* map);
// The data of the element with `key` (null: ""), or null. A hit becomes the
// current element. The 8-bit form compares byte by code unit (ASCII keys).
// String lookups in an integer-keyed map, and the reverse, find nothing.
void* Map_Find(HashMap* map, const char* key);
void* Map_FindWide(HashMap* map, const char16_t* key);
void* Map_FindInt(HashMap* map, intptr_t key);
// Adds an element (the key is copied) and returns its zero-filled data with its
// map fields created; it becomes the current element. With `reuse`, an element
// already under the key is cleared and returned instead. Null when memory ran
// out (the key is then absent from the map) or the key kind is not the map's.
void* Map_Add(HashMap* map, const char16_t* key, int32_t reuse);
void* Map_AddInt(HashMap* map, intptr_t key, int32_t reuse);
// Starts an iteration over the map (one at a time per map).
void Map_ResetIteration(HashMap* map);
// The next element's data, or null at the end (and on every call after it,
// until the next reset).
void* Map_Next(HashMap* map);
// Deletes the current element and steps back to the one visited before it, so
// that a loop of Map_Next and Map_DeleteCurrent visits every element once.
// Returns the data of the new current element, or null.
void* Map_DeleteCurrent(HashMap* map);
// Adds a copy of every element of `source` to `destination` (cleared first
// when asked); both must have the same element size, description and key kind,
// else nothing happens. A map copied onto itself is unchanged. Ends the process
// when memory runs out half-way. The source's iteration is not disturbed.
void Map_Copy(HashMap* source, HashMap* destination, int32_t clearFirst);

// The hash of a key (h = h * 65599 + c, wrapping; 8-bit keys as signed bytes;
// MAP_NOCASE in `flags` folds ASCII letters); exposed for the tests.
uint32_t Map_HashWide(const char16_t* key, int32_t flags);
uint32_t Map_Hash(const char* key, int32_t flags);

// True if the description or an embedded one holds a container field.
bool Struct_NeedsInit(const StructWord* description);
// Creates the map fields of `data`, whose managed fields hold zero. Ends the
// process when memory runs out.
void Struct_Init(void* data, const StructWord* description);
// Releases the string and map fields of `data` and sets them to null.
void Struct_Clear(void* data, const StructWord* description);
// Copies `size` bytes of `source` onto `destination`, giving it fresh copies of
// the string and map fields (its own are released first). Copying a structure
// onto itself does nothing. Ends the process when memory runs out.
void Struct_Copy(void* destination, int32_t size, const StructWord* description, const void* source);
