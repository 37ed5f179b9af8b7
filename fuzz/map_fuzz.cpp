// Fuzzes the hash maps: random sequences of add (with and without reuse),
// find, delete-current, iteration with deletions, copy, clear and re-creation
// on two maps with string, case-insensitive or integer keys, each checked
// against a model kept in std::unordered_map.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <set>
#include <unordered_map>

#include "fuzz/support.h"

namespace {

// The element: an identity, the index of its key in the input's key table,
// and the fields a description may give the map to manage: a string and a map
// of its own (UTF-16 keys, 64-bit values).
struct Element {
  uint32_t id;
  uint32_t key;
  StringVar text;
  HashMap* inner;
};
const StructWord kStringDescription[] = {offsetof(Element, text), STRUCT_END};
const StructWord kNestedDescription[] = {
    offsetof(Element, text), STRUCT_MAP, offsetof(Element, inner), sizeof(int64_t), 0, 0, 4, STRUCT_END};

using InnerContent = std::multiset<std::pair<std::u16string, int64_t>>;

struct ModelElement {
  uint32_t id;
  std::u16string text;
  void* data;  // where the map keeps it (pool elements do not move)
  InnerContent inner;
};

struct Model {
  // Per key, oldest first: the newest is the one a lookup finds.
  std::unordered_map<std::u16string, std::vector<ModelElement>> byKey;
  std::unordered_map<uint32_t, std::u16string> keyOf;  // the key of each identity
  std::optional<uint32_t> current;  // the current element, none after a reset or at the end
  size_t count = 0;
};

enum KeyKind { WIDE, NOCASE, INTEGER };

struct Run {
  KeyKind kind;
  bool described;  // a string field
  bool nested;     // and a map field
  int32_t elementSize;
  std::vector<std::u16string> keys;  // string keys as given
  std::vector<intptr_t> intKeys;
  HashMap* maps[2] = {nullptr, nullptr};
  Model models[2];
  uint32_t nextId = 1;
};

char16_t fold(char16_t c) { return c >= u'A' && c <= u'Z' ? c + 32 : c; }

// The model's key: what the map compares (folded for case-insensitive maps).
std::u16string canonical(const Run& run, uint32_t k) {
  if (run.kind == INTEGER) {
    auto v = static_cast<uint64_t>(run.intKeys[k]);
    return std::u16string{char16_t(v), char16_t(v >> 16), char16_t(v >> 32), char16_t(v >> 48)};
  }
  std::u16string key = run.keys[k];
  if (run.kind == NOCASE) std::transform(key.begin(), key.end(), key.begin(), fold);
  return key;
}

void checkCount(const Run& run, int m) {
  FUZZ_CHECK(run.maps[m]->count >= 0 && static_cast<size_t>(run.maps[m]->count) == run.models[m].count);
}

// The model element with that id, or null.
ModelElement* findId(Model& model, uint32_t id, std::u16string* key = nullptr) {
  auto known = model.keyOf.find(id);
  if (known == model.keyOf.end()) return nullptr;
  for (auto& e : model.byKey[known->second])
    if (e.id == id) {
      if (key) *key = known->second;
      return &e;
    }
  return nullptr;
}

// The elements of an element's own map, by a walk of its chains.
InnerContent innerContent(const HashMap* inner) {
  InnerContent content;
  for (int32_t b = 0; b < inner->bucketCount; b++)
    for (MapNode* node = inner->buckets[b]; node; node = node->next)
      content.insert({node->key.text, *reinterpret_cast<const int64_t*>(node + 1)});
  FUZZ_CHECK(static_cast<size_t>(inner->count) == content.size());
  return content;
}

// What a map element holds is what the model says of it.
void checkElement(const Run& run, const ModelElement& expected, const void* data) {
  FUZZ_CHECK(data == expected.data);
  auto* e = static_cast<const Element*>(data);
  FUZZ_CHECK(e->id == expected.id);
  if (run.described) FUZZ_CHECK(std::u16string(e->text ? e->text : u"") == expected.text);
  if (run.nested)
    FUZZ_CHECK(e->inner && e->inner->owner == &e->inner && innerContent(e->inner) == expected.inner);
}

void create(Run& run, int m, int32_t buckets) {
  HashMap* old = run.maps[m];
  HashMap* made = Map_Create(run.elementSize, 0,
                             run.nested      ? kNestedDescription
                             : run.described ? kStringDescription
                                             : nullptr,
                             &run.maps[m], buckets);
  FUZZ_CHECK(made && run.maps[m] == made && made != old);
  FUZZ_CHECK(made->bucketCount == std::max(buckets, 1));
  if (run.kind == NOCASE) made->flags |= MAP_NOCASE;
  if (run.kind == INTEGER) made->flags |= MAP_INTKEYS;
  run.models[m] = Model{};
}

void* lookup(Run& run, int m, uint32_t k, bool narrow) {
  HashMap* map = run.maps[m];
  if (run.kind == INTEGER) return Map_FindInt(map, run.intKeys[k]);
  const std::u16string& key = run.keys[k];
  // The 8-bit form is for ASCII keys.
  bool ascii = std::all_of(key.begin(), key.end(), [](char16_t c) { return c < 0x80; });
  if (narrow && ascii) return Map_Find(map, std::string(key.begin(), key.end()).c_str());
  return Map_FindWide(map, key.empty() && narrow ? nullptr : key.c_str());
}

// Adds to an element's own map: something for copies and deletions of the
// element to carry along or release.
void addInner(ModelElement& element, const std::u16string& key) {
  auto* value = static_cast<int64_t*>(Map_Add(static_cast<Element*>(element.data)->inner, key.c_str(), 0));
  FUZZ_CHECK(value && *value == 0);
  *value = element.id;
  element.inner.insert({key, element.id});
}

void add(Run& run, int m, uint32_t k, bool reuse, const std::u16string& text,
         const std::u16string& innerKeys) {
  HashMap* map = run.maps[m];
  Model& model = run.models[m];
  void* data =
      run.kind == INTEGER ? Map_AddInt(map, run.intKeys[k], reuse) : Map_Add(map, run.keys[k].c_str(), reuse);
  FUZZ_CHECK(data);
  // Zero-filled, but for an own map that the description asks to be created, empty.
  auto* e = static_cast<Element*>(data);
  HashMap* inner = e->inner;
  if (run.nested) {
    FUZZ_CHECK(inner && inner->count == 0 && inner->owner == &e->inner);
    e->inner = nullptr;
  }
  static const char zeros[256] = {};
  FUZZ_CHECK(std::memcmp(data, zeros, static_cast<size_t>(run.elementSize)) == 0);
  e->inner = inner;
  const std::u16string key = canonical(run, k);
  auto& list = model.byKey[key];
  uint32_t id = run.nextId++;
  model.keyOf[id] = key;
  if (reuse && !list.empty()) {
    FUZZ_CHECK(data == list.back().data);  // the newest under that key, cleared
    model.keyOf.erase(list.back().id);
    list.back().id = id;
    list.back().text = text;
    list.back().inner.clear();
  } else {
    list.push_back({id, text, data, {}});
    model.count++;
  }
  e->id = id;
  e->key = k;
  if (run.described) String_Assign(&e->text, text.empty() ? nullptr : text.c_str());
  model.current = id;
  checkCount(run, m);
  if (run.nested)
    for (char16_t c : innerKeys) addInner(*findId(model, id), std::u16string(1, c));
}

void find(Run& run, int m, uint32_t k, bool narrow, const std::optional<std::u16string>& innerKey) {
  Model& model = run.models[m];
  void* data = lookup(run, m, k, narrow);
  auto it = model.byKey.find(canonical(run, k));
  if (it == model.byKey.end() || it->second.empty()) {
    FUZZ_CHECK(!data);
    return;
  }
  FUZZ_CHECK(data);
  ModelElement& found = it->second.back();
  checkElement(run, found, data);
  model.current = found.id;
  if (run.nested && innerKey) addInner(found, *innerKey);
}

// Takes the element with `id` out of the model.
void forget(Model& model, uint32_t id) {
  std::u16string key;
  FUZZ_CHECK(findId(model, id, &key));
  auto& list = model.byKey[key];
  list.erase(std::find_if(list.begin(), list.end(), [&](const ModelElement& e) { return e.id == id; }));
  if (list.empty()) model.byKey.erase(key);
  model.keyOf.erase(id);
  model.count--;
}

// Map_DeleteCurrent, checked: the current element goes, and the one returned
// is a remaining element, which becomes current.
void deleteCurrent(Run& run, int m) {
  Model& model = run.models[m];
  void* next = Map_DeleteCurrent(run.maps[m]);
  if (model.current) forget(model, *model.current);
  if (!model.current) FUZZ_CHECK(!next);
  model.current.reset();
  if (next) {
    ModelElement* e = findId(model, static_cast<Element*>(next)->id);
    FUZZ_CHECK(e);
    checkElement(run, *e, next);
    model.current = e->id;
  }
  checkCount(run, m);
}

// One iteration from a reset: every element once, whatever of them the loop
// deletes on the way; `deletions` picks which (bit i: the i-th visited), and
// the loop may stop after `stopAfter` visits.
void iterate(Run& run, int m, uint64_t deletions, size_t stopAfter) {
  HashMap* map = run.maps[m];
  Model& model = run.models[m];
  std::set<uint32_t> all;
  for (auto& [k, list] : model.byKey)
    for (auto& e : list) all.insert(e.id);
  std::set<uint32_t> visited;
  Map_ResetIteration(map);
  model.current.reset();
  size_t visits = 0;
  for (;;) {
    void* data = Map_Next(map);
    if (!data) {
      FUZZ_CHECK(visited == all);
      FUZZ_CHECK(!Map_Next(map));  // stays at the end until a reset
      model.current.reset();
      return;
    }
    uint32_t id = static_cast<Element*>(data)->id;
    FUZZ_CHECK(all.count(id) && visited.insert(id).second);
    ModelElement* e = findId(model, id);
    FUZZ_CHECK(e);
    checkElement(run, *e, data);
    model.current = id;
    if (visits < 64 && ((deletions >> visits) & 1)) deleteCurrent(run, m);
    if (++visits >= stopAfter) return;
  }
}

// Map_Copy into the other map, checked element by element; the copies then
// get identities of their own, so that every identity names one element.
void copy(Run& run, int from, int to, bool clearFirst) {
  // Copies back and forth would double the maps each time: past a few hundred
  // elements the destination is cleared first, which keeps a run quick.
  if (run.models[from].count + run.models[to].count > 300) clearFirst = true;
  HashMap* source = run.maps[from];
  HashMap* destination = run.maps[to];
  MapNode* sourceCurrent = source->current;
  int32_t sourceBucket = source->bucketIndex;
  Map_Copy(source, destination, clearFirst);
  FUZZ_CHECK(source->current == sourceCurrent && source->bucketIndex == sourceBucket);
  if (from == to) {  // a map copied onto itself stays as it is
    checkCount(run, from);
    return;
  }
  Model& target = run.models[to];
  Model& origin = run.models[from];
  // Per key, oldest first: what the destination kept, then the copies, added
  // in the source's iteration order (newest first within a key).
  std::unordered_map<std::u16string, std::vector<ModelElement>> expected;
  if (!clearFirst) expected = target.byKey;
  for (auto& [key, list] : origin.byKey)
    for (auto e = list.rbegin(); e != list.rend(); ++e)
      expected[key].push_back({e->id, e->text, e->data, e->inner});
  std::set<uint32_t> copied;  // identities of the source's elements
  for (auto& [key, list] : origin.byKey)
    for (auto& e : list) copied.insert(e.id);
  std::unordered_map<uint32_t, std::pair<std::u16string, ModelElement>> unseen;  // id: key, element
  size_t total = 0;
  for (auto& [key, list] : expected)
    for (auto& e : list) {
      unseen[e.id] = {key, e};
      total++;
    }
  FUZZ_CHECK(destination->count >= 0 && static_cast<size_t>(destination->count) == total);

  // Walk the destination; within a key the chain holds the newest first.
  std::unordered_map<std::u16string, std::vector<ModelElement>> seen;  // newest first
  Map_ResetIteration(destination);
  for (size_t visits = 0; visits <= total; visits++) {
    auto* e = static_cast<Element*>(Map_Next(destination));
    if (!e) break;
    auto it = unseen.find(e->id);
    FUZZ_CHECK(it != unseen.end());
    FUZZ_CHECK(canonical(run, e->key) == it->second.first);
    ModelElement element = it->second.second;
    if (copied.count(e->id)) {
      // A copy: its string and map are its own, with the source's contents.
      auto* original = static_cast<const Element*>(element.data);
      FUZZ_CHECK(!run.described || !e->text || e->text != original->text);
      FUZZ_CHECK(!run.nested || e->inner != original->inner);
    }
    element.data = e;
    checkElement(run, element, e);
    seen[it->second.first].push_back(element);
    unseen.erase(it);
  }
  FUZZ_CHECK(unseen.empty() && !Map_Next(destination));
  target.byKey.clear();
  target.keyOf.clear();
  for (auto& [key, list] : seen) {
    std::reverse(list.begin(), list.end());
    const auto& want = expected[key];
    FUZZ_CHECK(list.size() == want.size());
    for (size_t i = 0; i < list.size(); i++) FUZZ_CHECK(list[i].id == want[i].id);
    for (auto& e : list) {
      // A copy gets an identity of its own.
      if (copied.count(e.id)) static_cast<Element*>(e.data)->id = e.id = run.nextId++;
    }
    for (auto& e : list) target.keyOf[e.id] = key;
    target.byKey[key] = list;
  }
  target.count = total;
  target.current.reset();
}

void clear(Run& run, int m) {
  Map_Clear(run.maps[m]);
  run.models[m] = Model{};
  checkCount(run, m);
  Map_ResetIteration(run.maps[m]);
  FUZZ_CHECK(!Map_Next(run.maps[m]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  Fuzz_StartRuntime();
  Fuzz_FreshAccumulatorWhenLarge();
  FuzzedDataProvider in(input, size);
  Run run;
  run.kind = static_cast<KeyKind>(in.ConsumeIntegralInRange<int>(0, 2));
  int structure = in.ConsumeIntegralInRange<int>(0, 2);
  run.described = structure >= 1;
  run.nested = structure == 2;
  run.elementSize = static_cast<int32_t>(sizeof(Element)) + in.ConsumeIntegralInRange<int32_t>(0, 20);
  size_t keyCount = in.ConsumeIntegralInRange<size_t>(1, 8);
  for (size_t i = 0; i < keyCount; i++) {
    std::u16string key = Fuzz_Text(in, 6);
    if (i > 0 && in.ConsumeIntegralInRange<int>(0, 2) == 0) {
      // An earlier key with its letters' case swapped: the same key to a
      // case-insensitive map, another one to the rest.
      key = run.keys[in.ConsumeIntegralInRange<size_t>(0, i - 1)];
      for (char16_t& c : key)
        if ((c | 32) >= u'a' && (c | 32) <= u'z') c ^= 32;
    }
    run.keys.push_back(key);
    run.intKeys.push_back(in.ConsumeBool() ? in.ConsumeIntegralInRange<intptr_t>(-5, 40)
                                           : in.ConsumeIntegral<intptr_t>());
  }
  // Mostly few buckets, so that chains are long; now and then as many as the
  // event-binding table has.
  auto buckets = [&] {
    return in.ConsumeIntegralInRange<int>(0, 3) ? in.ConsumeIntegralInRange<int32_t>(-1, 8)
                                                : in.ConsumeIntegralInRange<int32_t>(1, 1024);
  };
  create(run, 0, buckets());
  create(run, 1, buckets());

  for (int steps = 0; steps < 200 && in.remaining_bytes() > 0; steps++) {
    int m = in.ConsumeIntegralInRange<int>(0, 1);
    uint32_t k = in.ConsumeIntegralInRange<uint32_t>(0, static_cast<uint32_t>(keyCount - 1));
    switch (in.ConsumeIntegralInRange<int>(0, 9)) {
      case 0:
      case 1:
      case 2:
        add(run, m, k, in.ConsumeBool(), Fuzz_Text(in, 4), Fuzz_Text(in, 3));
        break;
      case 3:
      case 4:
        find(run, m, k, in.ConsumeBool(),
             in.ConsumeBool() ? std::optional<std::u16string>(Fuzz_Text(in, 3)) : std::nullopt);
        break;
      case 5:
        deleteCurrent(run, m);
        break;
      case 6:
        iterate(run, m, in.ConsumeIntegral<uint64_t>(),
                in.ConsumeBool() ? SIZE_MAX : in.ConsumeIntegralInRange<size_t>(1, 8));
        break;
      case 7:
        copy(run, m, in.ConsumeIntegralInRange<int>(0, 7) == 0 ? m : 1 - m, in.ConsumeBool());
        break;
      case 8:
        clear(run, m);
        break;
      default:
        create(run, m, buckets());
        break;
    }
  }
  for (HashMap*& map : run.maps) {
    Map_Free(map);
    FUZZ_CHECK(map == nullptr);  // the owning variable is emptied
  }
  return 0;
}
