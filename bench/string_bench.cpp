// The string accumulator against std::u16string: a run of appends building one
// expression, and the same expression stored into a variable.
#include <string>

#include "bench.h"
#include "core/string.h"

namespace {

// The operands of the progress line the uploader builds on every pass.
const char16_t* const kPieces[] = {u"Sent ", u"12.50", u" MB of ", u"100.00",
                                   u" MB (", u"12",    u"%) ",     u"C:\\maps\\castle.bxm"};

// Both sides re-use their buffer: the accumulator rewinds to where the
// expression began, the standard string is cleared (its capacity stays).
void BM_StringAppend(benchmark::State& state) {
  StringAccumulator& acc = String_Accumulator;
  for (auto _ : state) {
    int32_t start = acc.position;
    for (const char16_t* piece : kPieces) String_Append(piece);
    benchmark::DoNotOptimize(acc.buffer);
    acc.position = start;
  }
}
BENCHMARK(BM_StringAppend);

void BM_U16StringAppend(benchmark::State& state) {
  std::u16string text;
  for (auto _ : state) {
    text.clear();
    for (const char16_t* piece : kPieces) text.append(piece);
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(BM_U16StringAppend);

// The expression ends in a variable that already holds a string of that size.
void BM_StringStore(benchmark::State& state) {
  StringVar variable = nullptr;
  for (auto _ : state) {
    int32_t start = String_Accumulator.position;
    for (const char16_t* piece : kPieces) String_Append(piece);
    String_Store(&variable, start);
    benchmark::DoNotOptimize(variable);
  }
  String_Free(variable);
}
BENCHMARK(BM_StringStore);

void BM_U16StringAssign(benchmark::State& state) {
  std::u16string text, variable;
  for (auto _ : state) {
    text.clear();
    for (const char16_t* piece : kPieces) text.append(piece);
    variable = text;
    benchmark::DoNotOptimize(variable.data());
  }
}
BENCHMARK(BM_U16StringAssign);

BENCH_RATIO("String_Append sequence vs std::u16string::append", "BM_StringAppend", "BM_U16StringAppend");
BENCH_RATIO("expression + String_Store vs std::u16string build + assign", "BM_StringStore",
            "BM_U16StringAssign");

}  // namespace
