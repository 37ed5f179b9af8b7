// String engine: string variables on the string heap and the process-wide accumulator.
#include "core/string.h"

#include <cassert>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/heap.h"

StringAccumulator String_Accumulator;
HANDLE String_Heap;

namespace {

// Slack beyond the characters and the terminator of every string block.
constexpr size_t kBlockSlack = 10;
// Headroom added on growth, so that a run of appends re-allocates rarely.
constexpr int64_t kGrowHeadroom = 16384;
// The formatter's character limit: no limit in practice, every caller sizes its buffer.
constexpr size_t kPrintLimit = 536870911;

char16_t* bytesInto(char16_t* base, int64_t byteOffset) {
  return reinterpret_cast<char16_t*>(reinterpret_cast<char*>(base) + byteOffset);
}

// A block for `length` characters, its terminator and the slack.
size_t blockBytes(int32_t length) {
  // Where size_t is 32 bits wide, twice a length near INT32_MAX wraps.
  if (static_cast<size_t>(length) > (SIZE_MAX - kBlockSlack) / 2)
    Heap_Exhausted("string heap: variable too long");
  return 2 * static_cast<size_t>(length) + kBlockSlack;
}

char16_t* allocBlock(int32_t length) {
  auto* block = static_cast<char16_t*>(HeapAlloc(String_Heap, 0, blockBytes(length)));
  if (!block) Heap_Exhausted("string heap: variable");
  return block;
}

char16_t* reallocBlock(char16_t* block, int32_t length) {
  auto* grown = static_cast<char16_t*>(HeapReAlloc(String_Heap, 0, block, blockBytes(length)));
  if (!grown) Heap_Exhausted("string heap: variable");
  return grown;
}

}  // namespace

void String_Init() {
  String_Heap = HeapCreate(0, 4096, 0);
  if (!String_Heap) Heap_Exhausted("string heap");
  StringAccumulator& acc = String_Accumulator;
  acc.position = 0;
  acc.capacity = 16;
  acc.buffer = static_cast<char16_t*>(HeapAlloc(String_Heap, 0, 16));
  if (!acc.buffer) Heap_Exhausted("string heap: accumulator");
  acc.buffer[0] = 0;
}

void String_End() {
  StringAccumulator& acc = String_Accumulator;
  if (String_Heap) {
    HeapFree(String_Heap, 0, acc.buffer);
    HeapDestroy(String_Heap);
  }
  String_Heap = nullptr;
  acc = {nullptr, 0, 0};
}

char16_t* String_Reserve(int32_t count, int32_t start) {
  StringAccumulator& acc = String_Accumulator;
  assert(count >= 0 && start >= 0 && start % 2 == 0);
  if (count < 0) count = 0;
  // Callers pass start = position; growing for the larger of the two keeps a
  // stray start inside the block as well.
  int64_t from = start > acc.position ? start : acc.position;
  int64_t need = from + 2 * static_cast<int64_t>(count);
  if (need >= static_cast<int64_t>(acc.capacity) - 4) {
    int64_t capacity = need + kGrowHeadroom;
    // Positions are 32-bit byte offsets: a text that cannot be addressed cannot be built.
    if (capacity + static_cast<int64_t>(kBlockSlack) > INT32_MAX)
      Heap_Exhausted("string accumulator: too long");
    auto* grown = static_cast<char16_t*>(
        HeapReAlloc(String_Heap, 0, acc.buffer, static_cast<size_t>(capacity) + kBlockSlack));
    if (!grown) Heap_Exhausted("string heap: accumulator");
    acc.buffer = grown;
    acc.capacity = static_cast<int32_t>(capacity);
  }
  acc.position = start + 2 * count;
  return bytesInto(acc.buffer, start);
}

void String_GiveBack(int32_t count) {
  StringAccumulator& acc = String_Accumulator;
  assert(count >= 0 && 2 * static_cast<int64_t>(count) <= acc.position);
  acc.position -= 2 * count;
}

int32_t String_OffsetOf(const void* address) {
  const StringAccumulator& acc = String_Accumulator;
  // Compared as integers: the address may belong to any other object.
  auto a = reinterpret_cast<uintptr_t>(address);
  auto base = reinterpret_cast<uintptr_t>(acc.buffer);
  if (a < base || a > base + static_cast<uintptr_t>(acc.position)) return 0;
  return static_cast<int32_t>(a - base) + 1;
}

char16_t* String_AddressOf(int32_t offsetPlusOne) {
  return bytesInto(String_Accumulator.buffer, static_cast<int64_t>(offsetPlusOne) - 1);
}

void String_CopyChars(char16_t* destination, const char16_t* source, int32_t count) {
  // A move, not a copy: results are often moved within the accumulator itself.
  if (count > 0) std::memmove(destination, source, 2 * static_cast<size_t>(count));
  destination[count > 0 ? count : 0] = 0;
}

int32_t String_Length(const char16_t* text) {
  if (!text) return 0;
  const char16_t* p = text;
  while (*p) p++;
  return static_cast<int32_t>(p - text);
}

void String_Append(const char16_t* text) {
  StringAccumulator& acc = String_Accumulator;
  if (!text) {
    *bytesInto(acc.buffer, acc.position) = 0;
    return;
  }
  // A text inside the accumulator (an earlier, protected result) may end at
  // `position` itself, its terminator being the place the copy starts from:
  // copied in one pass it would read its own output and never end. It is
  // measured first, then copied (found again after any growth).
  if (const int32_t inside = String_OffsetOf(text)) {
    const int32_t length = String_Length(text);
    char16_t* destination = String_Reserve(length, acc.position);
    String_CopyChars(destination, String_AddressOf(inside), length);
    return;
  }
  // Any other text: one pass while it fits below the growth point, which is
  // the common case (measuring first and then copying reads every character twice).
  char16_t* destination = bytesInto(acc.buffer, acc.position);
  int32_t room = (acc.capacity - 4 - acc.position) / 2 - 1;  // keeps position + 2n < capacity - 4
  int32_t copied = 0;
  while (copied < room && text[copied]) {
    destination[copied] = text[copied];
    copied++;
  }
  if (copied <= room && !text[copied]) {
    destination[copied] = 0;
    acc.position += 2 * copied;
    return;
  }
  // The text needs growth; what was copied moves with the buffer.
  int32_t length = copied + String_Length(text + copied);
  destination = String_Reserve(length, acc.position);
  String_CopyChars(destination + copied, text + copied, length - copied);
}

void String_Store(StringVar* variable, int32_t start) {
  StringAccumulator& acc = String_Accumulator;
  assert(start >= 0 && start <= acc.position);
  int32_t length = start <= acc.position ? (acc.position - start) / 2 : 0;
  char16_t* block = *variable ? reallocBlock(*variable, length) : allocBlock(length);
  String_CopyChars(block, bytesInto(acc.buffer, start), length);
  *variable = block;
  acc.position = start;
}

void String_Assign(StringVar* variable, const char16_t* text) {
  char16_t* block = *variable;
  if (!text) {
    String_Free(block);
    *variable = nullptr;
    return;
  }
  int32_t length = String_Length(text);
  if (!block) {
    block = allocBlock(length);
  } else {
    // A text taken from the variable's own block (a suffix of it) must be moved
    // to the front before the block is resized, which may move or cut it.
    auto t = reinterpret_cast<uintptr_t>(text);
    auto b = reinterpret_cast<uintptr_t>(block);
    if (t >= b && t < b + HeapSize(String_Heap, 0, block)) {
      String_CopyChars(block, text, length);
      *variable = reallocBlock(block, length);
      return;
    }
    block = reallocBlock(block, length);
  }
  String_CopyChars(block, text, length);
  *variable = block;
}

void String_AssignNew(StringVar* variable, const char16_t* text) {
  if (!text) return;
  int32_t length = String_Length(text);
  char16_t* block = allocBlock(length);
  String_CopyChars(block, text, length);
  *variable = block;
}

void String_Free(char16_t* block) {
  if (block) HeapFree(String_Heap, 0, block);
}

int32_t String_Print(char16_t* destination, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  int result = _vsnwprintf(W(destination), kPrintLimit, W(format), args);
  va_end(args);
  return result;
}
