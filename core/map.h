// Hash maps with string or integer keys, and the structure helpers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/heap.h"

constexpr int32_t MAP_NOCASE = 1;      // case-insensitive string keys
constexpr int32_t MAP_CONTAINERS = 2;  // elements hold container fields to create on add
constexpr int32_t MAP_INTKEYS = 4;     // integer keys

// Structure description words.
constexpr int32_t STRUCT_END = -1;
constexpr int32_t STRUCT_ARRAY = -2;  // count, offset, stride, description
constexpr int32_t STRUCT_EMBED = -3;  // offset, size, description
constexpr int32_t STRUCT_MAP = -6;    // offset, element size, type code, description, bucket count

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
  const int32_t* description;
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
  HashMap* (*create)(int32_t elementSize, int32_t typeCode, const int32_t* description, HashMap** owner,
                     int32_t bucketCount);
  void (*copy)(HashMap* source, HashMap* destination, int32_t clearFirst);
  void (*free)(HashMap* map);
};
constexpr int CONTAINER_KINDS = 3;
constexpr int CONTAINER_MAP = 1;  // index of the map kind (tags -4, -6, -7 map to 0, 1, 2)
extern ContainerHandlers Container_Handlers[CONTAINER_KINDS];
// Installs Map_Create, Map_Copy and Map_Free as the map kind's handlers.
void Map_InstallHandlers();

// Creates a map in *owner (freeing any map it held); null when memory ran out.
HashMap* Map_Create(int32_t elementSize, int32_t typeCode, const int32_t* description, HashMap** owner,
                    int32_t bucketCount);
void Map_Free(HashMap* map);
void Map_Clear(HashMap* map);
void* Map_Find(HashMap* map, const char* key);
void* Map_FindWide(HashMap* map, const char16_t* key);
void* Map_FindInt(HashMap* map, intptr_t key);
void* Map_Add(HashMap* map, const char16_t* key, int32_t reuse);
void* Map_AddInt(HashMap* map, intptr_t key, int32_t reuse);
void Map_ResetIteration(HashMap* map);
void* Map_Next(HashMap* map);
void* Map_DeleteCurrent(HashMap* map);
void Map_Copy(HashMap* source, HashMap* destination, int32_t clearFirst);

// The hash of a key (h = h * 65599 + c); exposed for the tests and the event loop.
uint32_t Map_HashWide(const char16_t* key, int32_t flags);
uint32_t Map_Hash(const char* key, int32_t flags);

bool Struct_NeedsInit(const int32_t* description);
void Struct_Init(void* data, const int32_t* description);
void Struct_Clear(void* data, const int32_t* description);
void Struct_Copy(void* destination, int32_t size, const int32_t* description, const void* source);
