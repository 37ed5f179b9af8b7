// Hash maps with a fixed number of chained buckets, and the structure helpers
// that create, clear and copy the string and map fields of their elements.
#include "core/map.h"

#include <cassert>
#include <cstring>

#include "core/string.h"

ContainerHandlers Container_Handlers[CONTAINER_KINDS];

void Map_InstallHandlers() { Container_Handlers[CONTAINER_MAP] = {Map_Create, Map_Copy, Map_Free}; }

namespace {

constexpr int32_t kWord = static_cast<int32_t>(sizeof(void*));

void* dataOf(MapNode* node) { return node + 1; }

// Case folding is the C locale's: ASCII letters only, whatever the platform's
// wide character functions would do.
char16_t foldCase(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }
int foldCase8(int c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

size_t wideLength(const char16_t* text) {
  size_t n = 0;
  while (text[n]) n++;
  return n;
}

bool equalWide(const char16_t* a, const char16_t* b, bool nocase) {
  for (;; a++, b++) {
    char16_t x = nocase ? foldCase(*a) : *a;
    char16_t y = nocase ? foldCase(*b) : *b;
    if (x != y) return false;
    if (!x) return true;
  }
}

// An 8-bit key against a stored UTF-16 key, byte by code unit.
bool equalNarrow(const char* a, const char16_t* b, bool nocase) {
  for (;; a++, b++) {
    char16_t x = static_cast<unsigned char>(*a);
    char16_t y = *b;
    if (nocase) {
      x = foldCase(x);
      y = foldCase(y);
    }
    if (x != y) return false;
    if (!x) return true;
  }
}

int32_t bucketOfHash(const HashMap* map, uint32_t hash) {
  return static_cast<int32_t>(hash % static_cast<uint32_t>(map->bucketCount));
}

// Negative keys are folded into range instead of indexing before the array.
int32_t bucketOfInt(const HashMap* map, intptr_t key) {
  intptr_t bucket = key % map->bucketCount;
  return static_cast<int32_t>(bucket < 0 ? bucket + map->bucketCount : bucket);
}

// Walks the chain of `bucket` for a node that `matches`; non-matching nodes
// become `previous`, a match becomes `current`.
template <typename Matches>
MapNode* findIn(HashMap* map, int32_t bucket, Matches matches) {
  for (MapNode* node = map->buckets[bucket]; node; node = node->next) {
    if (matches(node)) {
      map->current = node;
      map->bucketIndex = bucket;
      return node;
    }
    map->previous = node;
  }
  return nullptr;
}

MapNode* tailOf(MapNode* node) {
  while (node && node->next) node = node->next;
  return node;
}

void resetIteration(HashMap* map) {
  map->current = nullptr;
  map->previous = nullptr;
  map->bucketIndex = -1;
  map->savedBucketIndex = -1;
}

// Releases what a node owns (key copy, managed fields) and returns it to the pool.
void releaseNode(HashMap* map, MapNode* node) {
  if (!(map->flags & MAP_INTKEYS)) Heap_Free(node->key.text);
  if (map->description) Struct_Clear(dataOf(node), map->description);
  Pool_Free(map->pool, node);
}

// Unlinks a node from the chain of `bucket`; false if it is not there.
bool unlinkNode(HashMap* map, MapNode* node, int32_t bucket, MapNode** predecessor) {
  MapNode* before = nullptr;
  MapNode* p = map->buckets[bucket];
  while (p && p != node) {
    before = p;
    p = p->next;
  }
  if (!p) return false;
  if (before)
    before->next = node->next;
  else
    map->buckets[bucket] = node->next;
  *predecessor = before;
  return true;
}

// ---- Structure descriptions ----

enum class FieldKind { String, Map };

const StructWord* nested(StructWord word) { return reinterpret_cast<const StructWord*>(word); }

// Calls visit(kind, byte offset from the structure's start, the field's words)
// for every managed field, descending into fixed arrays and embedded
// structures. Stops early when visit returns false (then returns false), and at
// the end word or a container tag without handlers.
template <typename Visit>
bool walkFields(const StructWord* d, size_t base, Visit& visit) {
  for (;;) {
    StructWord word = d[0];
    if (word >= 0) {
      if (!visit(FieldKind::String, base + static_cast<size_t>(word), d)) return false;
      d += 1;
    } else if (word == STRUCT_ARRAY) {
      for (StructWord i = 0; i < d[1]; i++)
        if (!walkFields(nested(d[4]), base + static_cast<size_t>(d[2] + i * d[3]), visit)) return false;
      d += 5;
    } else if (word == STRUCT_EMBED) {
      if (!walkFields(nested(d[3]), base + static_cast<size_t>(d[1]), visit)) return false;
      d += 4;
    } else if (word == STRUCT_MAP) {
      if (!visit(FieldKind::Map, base + static_cast<size_t>(d[1]), d)) return false;
      d += 6;
    } else {
      return true;
    }
  }
}

// Every field of a description lies within `limit` bytes, and every tag is one
// this runtime handles. Map fields' own descriptions are checked when those
// maps are created (a description may hold a map of its own kind).
bool validDescription(const StructWord* d, StructWord limit, int depth) {
  if (!d || depth > 32) return false;
  for (;;) {
    StructWord word = d[0];
    if (word >= 0) {
      if (limit < kWord || word > limit - kWord) return false;
      d += 1;
    } else if (word == STRUCT_END) {
      return true;
    } else if (word == STRUCT_ARRAY) {
      StructWord count = d[1], offset = d[2], stride = d[3];
      if (count < 0 || offset < 0 || stride < 0 || offset > limit) return false;
      if (count > 0) {
        if (stride > 0 && count > (limit - offset) / stride) return false;
        if (!validDescription(nested(d[4]), stride, depth + 1)) return false;
      }
      d += 5;
    } else if (word == STRUCT_EMBED) {
      StructWord offset = d[1], size = d[2];
      if (offset < 0 || size < 0 || offset > limit || size > limit - offset) return false;
      if (!validDescription(nested(d[3]), size, depth + 1)) return false;
      d += 4;
    } else if (word == STRUCT_MAP) {
      if (d[1] < 0 || limit < kWord || d[1] > limit - kWord || d[2] < 0) return false;
      d += 6;
    } else {
      return false;
    }
  }
}

template <typename T>
T* fieldAt(void* data, size_t offset) {
  return reinterpret_cast<T*>(static_cast<char*>(data) + offset);
}

// Creates the map fields of zero-filled data; false when one could not be
// created (the ones made so far stay, for Struct_Clear to release).
bool initFields(void* data, const StructWord* description) {
  auto create = Container_Handlers[CONTAINER_MAP].create;
  auto visit = [&](FieldKind kind, size_t offset, const StructWord* d) {
    if (kind != FieldKind::Map || !create) return true;
    return create(static_cast<int32_t>(d[2]), static_cast<int32_t>(d[3]), nested(d[4]),
                  fieldAt<HashMap*>(data, offset), static_cast<int32_t>(d[5])) != nullptr;
  };
  return walkFields(description, 0, visit);
}

// Zero-fills an element's data and creates its container fields. On failure the
// element is taken out of the map entirely, so no half-built element remains.
void* prepareElement(HashMap* map, MapNode* node, int32_t bucket) {
  void* data = dataOf(node);
  std::memset(data, 0, static_cast<size_t>(map->elementSize));
  if (!(map->flags & MAP_CONTAINERS) || initFields(data, map->description)) return data;
  MapNode* predecessor;
  unlinkNode(map, node, bucket, &predecessor);
  map->count--;
  releaseNode(map, node);
  resetIteration(map);
  return nullptr;
}

// Takes a node from the pool and puts it at the head of `bucket`.
MapNode* insertNode(HashMap* map, int32_t bucket) {
  auto* node = static_cast<MapNode*>(Pool_Alloc(map->pool));
  if (!node) return nullptr;
  node->next = map->buckets[bucket];
  map->buckets[bucket] = node;
  map->previous = nullptr;
  map->count++;
  map->current = node;
  map->bucketIndex = bucket;
  return node;
}

void* reuseElement(HashMap* map, MapNode* node, int32_t bucket) {
  if (map->description) Struct_Clear(dataOf(node), map->description);
  return prepareElement(map, node, bucket);
}

}  // namespace

// ---- Maps ----

HashMap* Map_Create(int32_t elementSize, int32_t typeCode, const StructWord* description, HashMap** owner,
                    int32_t bucketCount) {
  if (elementSize < 0 || elementSize > INT32_MAX - 4 * kWord) return nullptr;
  if (bucketCount < 1) bucketCount = 1;
  if (description && !validDescription(description, elementSize, 0)) return nullptr;
  if (static_cast<size_t>(bucketCount) > SIZE_MAX / sizeof(MapNode*)) return nullptr;

  // The new map is complete before the old one is freed: on failure the owning
  // variable keeps what it held.
  auto* map = static_cast<HashMap*>(Heap_Alloc(sizeof(HashMap)));
  auto* buckets = static_cast<MapNode**>(Heap_Alloc(static_cast<size_t>(bucketCount) * sizeof(MapNode*)));
  BlockPool* pool = map && buckets ? Pool_Create(elementSize + 2 * kWord, 16, 65536, POOL_SHARED) : nullptr;
  if (!pool) {
    Heap_Free(buckets);
    Heap_Free(map);
    return nullptr;
  }
  map->buckets = buckets;
  map->description = description;
  map->bucketIndex = -1;
  map->savedBucketIndex = -1;
  map->elementSize = elementSize;
  map->typeCode = typeCode;
  map->bucketCount = bucketCount;
  map->flags = description && Struct_NeedsInit(description) ? MAP_CONTAINERS : 0;
  map->pool = pool;
  if (owner) {
    if (*owner) Map_Free(*owner);
    *owner = map;
  }
  map->owner = owner;
  return map;
}

void Map_Free(HashMap* map) {
  if (!map) return;
  Map_Clear(map);
  Pool_Destroy(map->pool);
  Heap_Free(map->buckets);
  if (map->owner && *map->owner == map) *map->owner = nullptr;
  Heap_Free(map);
}

void Map_Clear(HashMap* map) {
  if (!map) return;
  for (int32_t b = 0; b < map->bucketCount; b++) {
    MapNode* node = map->buckets[b];
    // The chain is detached first: clearing an element may free maps of its own.
    map->buckets[b] = nullptr;
    while (node) {
      MapNode* next = node->next;
      releaseNode(map, node);
      node = next;
    }
  }
  resetIteration(map);
  map->count = 0;
}

void* Map_Find(HashMap* map, const char* key) {
  // An empty map misses without hashing: the event loop looks up five keys in
  // its empty table for every event.
  if (!map || map->count == 0 || (map->flags & MAP_INTKEYS)) return nullptr;
  if (!key) key = "";
  bool nocase = map->flags & MAP_NOCASE;
  MapNode* node = findIn(map, bucketOfHash(map, Map_Hash(key, map->flags)),
                         [&](MapNode* n) { return equalNarrow(key, n->key.text, nocase); });
  return node ? dataOf(node) : nullptr;
}

void* Map_FindWide(HashMap* map, const char16_t* key) {
  if (!map || map->count == 0 || (map->flags & MAP_INTKEYS)) return nullptr;
  if (!key) key = u"";
  bool nocase = map->flags & MAP_NOCASE;
  MapNode* node = findIn(map, bucketOfHash(map, Map_HashWide(key, map->flags)),
                         [&](MapNode* n) { return equalWide(key, n->key.text, nocase); });
  return node ? dataOf(node) : nullptr;
}

void* Map_FindInt(HashMap* map, intptr_t key) {
  if (!map || map->count == 0 || !(map->flags & MAP_INTKEYS)) return nullptr;
  MapNode* node = findIn(map, bucketOfInt(map, key), [&](MapNode* n) { return n->key.integer == key; });
  return node ? dataOf(node) : nullptr;
}

void* Map_Add(HashMap* map, const char16_t* key, int32_t reuse) {
  if (!map || (map->flags & MAP_INTKEYS)) return nullptr;
  if (!key) key = u"";
  int32_t bucket = bucketOfHash(map, Map_HashWide(key, map->flags));
  if (reuse) {
    bool nocase = map->flags & MAP_NOCASE;
    if (MapNode* node = findIn(map, bucket, [&](MapNode* n) { return equalWide(key, n->key.text, nocase); }))
      return reuseElement(map, node, bucket);
  }
  size_t length = wideLength(key);
  auto* copy = static_cast<char16_t*>(Heap_AllocRaw((length + 1) * sizeof(char16_t)));
  if (!copy) return nullptr;
  std::memcpy(copy, key, (length + 1) * sizeof(char16_t));
  MapNode* node = insertNode(map, bucket);
  if (!node) {
    Heap_Free(copy);
    return nullptr;
  }
  node->key.text = copy;
  return prepareElement(map, node, bucket);
}

void* Map_AddInt(HashMap* map, intptr_t key, int32_t reuse) {
  if (!map || !(map->flags & MAP_INTKEYS)) return nullptr;
  int32_t bucket = bucketOfInt(map, key);
  if (reuse) {
    if (MapNode* node = findIn(map, bucket, [&](MapNode* n) { return n->key.integer == key; }))
      return reuseElement(map, node, bucket);
  }
  MapNode* node = insertNode(map, bucket);
  if (!node) return nullptr;
  node->key.integer = key;
  return prepareElement(map, node, bucket);
}

void Map_ResetIteration(HashMap* map) {
  map->current = nullptr;
  map->bucketIndex = -1;
}

void* Map_Next(HashMap* map) {
  map->previous = map->current;
  map->savedBucketIndex = map->bucketIndex;
  int32_t from;
  if (map->current) {
    if (map->current->next) {
      map->current = map->current->next;
      return dataOf(map->current);
    }
    from = map->bucketIndex + 1;
  } else if (map->bucketIndex == -1) {
    from = 0;
  } else {
    return nullptr;  // the iteration has ended
  }
  for (int32_t b = from; b < map->bucketCount; b++) {
    if (map->buckets[b]) {
      map->bucketIndex = b;
      map->current = map->buckets[b];
      return dataOf(map->current);
    }
  }
  map->current = nullptr;
  return nullptr;
}

void* Map_DeleteCurrent(HashMap* map) {
  MapNode* node = map->current;
  if (!node) return nullptr;
  int32_t bucket = map->bucketIndex;
  MapNode* predecessor;
  // The chain is walked rather than trusting `previous`, which a lookup or an
  // earlier deletion may have left pointing elsewhere.
  if (!unlinkNode(map, node, bucket, &predecessor)) {
    assert(!"current element not in its bucket");
    return nullptr;
  }
  // The new current is the element the iteration visited before the deleted
  // one, so that the next Map_Next visits the deleted one's successor.
  if (predecessor) {
    map->current = predecessor;
  } else if (!map->previous && map->savedBucketIndex == -1) {
    map->current = nullptr;  // the deleted element was the first: start over
    bucket = -1;
  } else if (map->previous && map->savedBucketIndex >= 0 && map->savedBucketIndex < bucket &&
             tailOf(map->buckets[map->savedBucketIndex]) == map->previous) {
    map->current = map->previous;
    bucket = map->savedBucketIndex;
  } else {
    // `previous` is not the element before (the call did not follow Map_Next):
    // find the last element of the nearest non-empty bucket before.
    map->current = nullptr;
    while (--bucket >= 0 && !map->buckets[bucket]) {
    }
    if (bucket >= 0) map->current = tailOf(map->buckets[bucket]);
  }
  map->bucketIndex = bucket;
  map->count--;
  releaseNode(map, node);
  return map->current ? dataOf(map->current) : nullptr;
}

void Map_Copy(HashMap* source, HashMap* destination, int32_t clearFirst) {
  // Copying a map onto itself would visit its own new elements without end.
  if (!source || !destination || source == destination) return;
  if (source->elementSize != destination->elementSize || source->description != destination->description ||
      (source->flags & MAP_INTKEYS) != (destination->flags & MAP_INTKEYS))
    return;
  if (clearFirst) Map_Clear(destination);
  bool integerKeys = source->flags & MAP_INTKEYS;
  // A private walk over the chains leaves the source's iteration untouched.
  for (int32_t b = 0; b < source->bucketCount; b++) {
    for (MapNode* node = source->buckets[b]; node; node = node->next) {
      void* data = integerKeys ? Map_AddInt(destination, node->key.integer, 0)
                               : Map_Add(destination, node->key.text, 0);
      if (!data) Heap_Exhausted("map copy");
      Struct_Copy(data, source->elementSize, source->description, dataOf(node));
    }
  }
}

uint32_t Map_HashWide(const char16_t* key, int32_t flags) {
  uint32_t hash = 0;
  if (!key) return hash;
  for (; *key; key++) hash = hash * 65599u + ((flags & MAP_NOCASE) ? foldCase(*key) : *key);
  return hash;
}

uint32_t Map_Hash(const char* key, int32_t flags) {
  uint32_t hash = 0;
  if (!key) return hash;
  for (; *key; key++) {
    int c = static_cast<signed char>(*key);
    if (flags & MAP_NOCASE) c = foldCase8(c);
    hash = hash * 65599u + static_cast<uint32_t>(c);
  }
  return hash;
}

// ---- Structure helpers ----

bool Struct_NeedsInit(const StructWord* description) {
  if (!description) return false;
  for (const StructWord* d = description;;) {
    StructWord word = d[0];
    if (word >= 0) {
      d += 1;
    } else if (word == STRUCT_END) {
      return false;
    } else if (word == STRUCT_ARRAY) {
      if (Struct_NeedsInit(nested(d[4]))) return true;
      d += 5;
    } else if (word == STRUCT_EMBED) {
      if (Struct_NeedsInit(nested(d[3]))) return true;
      d += 4;
    } else {
      return word >= -7;  // a container tag (-4 to -7)
    }
  }
}

void Struct_Init(void* data, const StructWord* description) {
  if (!data || !description) return;
  if (!initFields(data, description)) Heap_Exhausted("structure fields");
}

void Struct_Clear(void* data, const StructWord* description) {
  if (!data || !description) return;
  auto release = Container_Handlers[CONTAINER_MAP].free;
  auto visit = [&](FieldKind kind, size_t offset, const StructWord*) {
    if (kind == FieldKind::String) {
      StringVar* field = fieldAt<StringVar>(data, offset);
      String_Free(*field);
      *field = nullptr;
    } else if (release) {
      HashMap** field = fieldAt<HashMap*>(data, offset);
      release(*field);
      *field = nullptr;
    }
    return true;
  };
  walkFields(description, 0, visit);
}

void Struct_Copy(void* destination, int32_t size, const StructWord* description, const void* source) {
  if (!destination || !source || destination == source || size <= 0) return;
  if (!description) {
    std::memcpy(destination, source, static_cast<size_t>(size));
    return;
  }
  Struct_Clear(destination, description);
  std::memcpy(destination, source, static_cast<size_t>(size));
  // The managed fields now alias the source's: give each its own copy.
  const ContainerHandlers& maps = Container_Handlers[CONTAINER_MAP];
  auto copy = [&](FieldKind kind, size_t offset, const StructWord*) {
    if (kind == FieldKind::String) {
      StringVar* field = fieldAt<StringVar>(destination, offset);
      *field = nullptr;
      String_AssignNew(field, *fieldAt<StringVar>(const_cast<void*>(source), offset));
    } else {
      HashMap** field = fieldAt<HashMap*>(destination, offset);
      HashMap* from = *field;
      *field = nullptr;
      if (from && maps.create && maps.copy) {
        HashMap* to =
            maps.create(from->elementSize, from->typeCode, from->description, field, from->bucketCount);
        if (!to) Heap_Exhausted("structure copy");
        to->flags |= from->flags & (MAP_NOCASE | MAP_INTKEYS);
        maps.copy(from, to, 0);
      }
    }
    return true;
  };
  walkFields(description, 0, copy);
}
