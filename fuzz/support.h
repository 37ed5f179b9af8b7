// What the fuzz targets share: the runtime's start as start-up does it, the
// check that ends a run on a wrong result, texts made from fuzz input, and the
// placing of string arguments in the accumulator as string expressions do.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/heap.h"
#include "core/map.h"
#include "core/string.h"

// Ends the run with the failed condition and its line; libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

// The main heap, the string engine and the map handlers, as start-up makes them.
inline void Fuzz_StartRuntime() {
  if (Heap_Main) return;
  Heap_Main = HeapCreate(0, 4096, 0);
  String_Init();
  Map_InstallHandlers();
}

// The accumulator only grows; a fresh one now and then keeps a long run's
// memory bounded and lets every run see its first growth steps again.
inline void Fuzz_FreshAccumulatorWhenLarge() {
  if (String_Accumulator.capacity < (1 << 16)) return;
  String_End();
  String_Init();
}

// A text from the input: mostly from a small alphabet rich in the characters
// the string functions look for, so that matches and separators are common;
// sometimes any UTF-16 unit but zero.
inline std::u16string Fuzz_Text(FuzzedDataProvider& in, size_t maxLength = 48) {
  static constexpr char16_t kAlphabet[] = {u'a', u'b', u'A', u'B', u'.', u'\\', u'/', u'|',   u'"',
                                           u':', u'x', u'0', u'*', u'?', 0xE9,  0xC9, 0x2028, 0xD800};
  size_t length = in.ConsumeIntegralInRange<size_t>(0, maxLength);
  std::u16string text;
  for (size_t i = 0; i < length && in.remaining_bytes() > 0; i++) {
    uint8_t b = in.ConsumeIntegral<uint8_t>();
    if (b < 0xF0) {
      text += kAlphabet[b % (sizeof kAlphabet / sizeof kAlphabet[0])];
    } else {
      char16_t c = in.ConsumeIntegral<uint16_t>();
      text += c ? c : u'z';
    }
  }
  // Repeated, now and then, so that a text holds its pieces several times.
  if (!text.empty() && in.ConsumeIntegralInRange<int>(0, 3) == 0) {
    std::u16string piece = text;
    for (int n = in.ConsumeIntegralInRange<int>(1, 6); n > 0; n--) text += piece;
  }
  return text;
}

// Mostly a piece of `text` (so that it is found there), else a text of its own.
inline std::u16string Fuzz_Search(FuzzedDataProvider& in, const std::u16string& text) {
  if (text.empty() || in.ConsumeIntegralInRange<int>(0, 2) == 0) return Fuzz_Text(in, 6);
  size_t at = in.ConsumeIntegralInRange<size_t>(0, text.size() - 1);
  return text.substr(at, in.ConsumeIntegralInRange<size_t>(0, 5));
}

// String arguments of one call: each is null, a text in ordinary memory, or a
// text in the accumulator placed as the expression protocol places an
// operand's result (appended, then its terminator protected by moving the
// position past it). The call's start offset is the position after them.
struct FuzzArguments {
  int32_t before;  // the position before the expression
  std::vector<std::u16string> texts;
  std::vector<int> where;           // 0 null, 1 ordinary memory, 2 accumulator
  std::vector<int32_t> offsets;     // byte offsets of accumulator texts
  std::vector<std::u16string> own;  // ordinary-memory copies (stable addresses)

  // Places the texts. Now and then the accumulator is first filled almost to
  // its capacity, so that the appends or the call's own reservation have to
  // grow (and move) the buffer.
  void place(FuzzedDataProvider& in, std::vector<std::u16string> values) {
    before = String_Accumulator.position;
    if (in.ConsumeBool()) {
      // Up to a few characters short of the capacity: the appends below or
      // the call's reservation grow the buffer.
      int32_t room = (String_Accumulator.capacity - String_Accumulator.position) / 2;
      int32_t pad = room - in.ConsumeIntegralInRange<int32_t>(3, 40);
      // Room taken as an earlier operand's text would take it (its characters do not matter).
      if (pad > 0) String_Reserve(pad, String_Accumulator.position);
    }
    texts = std::move(values);
    where.assign(texts.size(), 1);
    offsets.assign(texts.size(), 0);
    own = texts;
    for (size_t i = 0; i < texts.size(); i++) {
      int choice = in.ConsumeIntegralInRange<int>(0, 5);
      where[i] = choice == 0 ? 0 : choice >= 3 ? 2 : 1;
      if (where[i] == 0) texts[i].clear();
      if (where[i] != 2) continue;
      offsets[i] = String_Accumulator.position;
      String_Append(texts[i].c_str());
      String_Accumulator.position += 2;
    }
  }
  // The address of argument i, valid until the accumulator next grows.
  char16_t* at(size_t i) {
    if (where[i] == 0) return nullptr;
    if (where[i] == 1) return own[i].data();
    return String_Accumulator.buffer + offsets[i] / 2;
  }
  // Accumulator arguments still hold their texts: the call wrote only after them.
  bool intact() {
    for (size_t i = 0; i < texts.size(); i++)
      if (where[i] == 2 && std::u16string(at(i)) != texts[i]) return false;
    return true;
  }
  // Ends the expression: the accumulator's position as before it.
  void end() { String_Accumulator.position = before; }
};

// The text a string-result function wrote at `start`, checked against the
// string-result pattern: it ends at the position, with a terminator there.
// After a reservation the terminator and one more character fit; without one
// (an append of null right after a protected argument) the terminator does.
inline std::u16string Fuzz_Result(int32_t start, bool reserved = true) {
  const StringAccumulator& a = String_Accumulator;
  FUZZ_CHECK(a.position >= start && (a.position - start) % 2 == 0);
  FUZZ_CHECK(a.position + (reserved ? 4 : 2) < a.capacity);
  const char16_t* text = a.buffer + start / 2;
  size_t length = static_cast<size_t>(a.position - start) / 2;
  FUZZ_CHECK(text[length] == 0);
  return std::u16string(text, length);
}
