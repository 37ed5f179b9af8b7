// Fuzzes the string functions (float formatting, counting, replacing, path
// parts) and the building of string expressions against references written
// from their definitions, with their string
// arguments in ordinary memory, null, or in the accumulator as results of
// earlier operands, and with the accumulator about to grow under the call.
#include <bit>
#include <cmath>
#include <cstring>

#include "core/strfunc.h"
#include "fuzz/support.h"

namespace {

// ---- References --------------------------------------------------------------------------

std::u16string widen(const char* text) {
  std::u16string out;
  for (; *text; text++) out += static_cast<char16_t>(static_cast<unsigned char>(*text));
  return out;
}

// Fixed notation with the C library's digits; -1 decimals: up to 10, trailing
// zeros after the point dropped, and the point with them when nothing follows.
std::u16string referenceFormat(double value, int32_t decimals) {
  if (std::isnan(value)) return u"NaN";
  if (std::isinf(value)) return value > 0 ? u"+Infinity" : u"-Infinity";
  int precision = decimals == -1 ? 10 : decimals < 0 ? 0 : decimals > 512 ? 512 : decimals;
  if (value == 0) value = 0.0;  // no sign for negative zero
  static char buffer[2048];
  std::snprintf(buffer, sizeof buffer, "%.*f", precision, value);
  std::u16string text = widen(buffer);
  if (decimals == -1 && text.find(u'.') != std::u16string::npos) {
    while (text.back() == u'0') text.pop_back();
    if (text.back() == u'.') text.pop_back();
  }
  return text;
}

int32_t referenceCount(const std::u16string& text, const std::u16string& search) {
  if (text.empty() || search.empty()) return 0;
  int32_t found = 0;
  for (size_t at = text.find(search); at != std::u16string::npos; at = text.find(search, at + search.size()))
    found++;
  return found;
}

char16_t fold(char16_t c) { return c >= u'A' && c <= u'Z' ? c + 32 : c; }

bool matchesAt(const std::u16string& text, size_t i, const std::u16string& search, bool noCase) {
  if (search.empty() || i + search.size() > text.size()) return false;
  for (size_t k = 0; k < search.size(); k++) {
    char16_t a = text[i + k], b = search[k];
    if (noCase ? fold(a) != fold(b) : a != b) return false;
  }
  return true;
}

// Normal mode: the places of the occurrences to replace, found from `from`
// (1-based) without overlap; -1 takes all, 0 none, any other count stops once
// that many are found (below -1: one).
std::u16string referenceReplace(const std::u16string& text, const std::u16string& search,
                                const std::u16string& replacement, bool noCase, int32_t from, int32_t count) {
  if (from < 1) from = 1;
  std::vector<size_t> places;
  if (count != 0) {
    for (size_t i = static_cast<size_t>(from) - 1; i < text.size();) {
      if (matchesAt(text, i, search, noCase)) {
        places.push_back(i);
        i += search.size();
        if (count != -1 && static_cast<int64_t>(places.size()) >= count) break;
      } else {
        i++;
      }
    }
  }
  std::u16string out;
  size_t at = 0;
  for (size_t place : places) {
    out.append(text, at, place - at);
    out += replacement;
    at = place + search.size();
  }
  out.append(text, at, std::u16string::npos);
  return out;
}

// In-place mode: the same scan with "count is -1 or made below count"; a
// replacement of another length than the search changes nothing.
std::u16string referenceReplaceInPlace(std::u16string text, const std::u16string& search,
                                       const std::u16string& replacement, bool noCase, int32_t from,
                                       int32_t count) {
  if (from < 1) from = 1;
  if (search.empty() || count == 0 || static_cast<size_t>(from) - 1 >= text.size() ||
      replacement.size() != search.size())
    return text;
  int32_t made = 0;
  for (size_t i = static_cast<size_t>(from) - 1; i < text.size();) {
    if ((count == -1 || made < count) && matchesAt(text, i, search, noCase)) {
      text.replace(i, search.size(), replacement);
      made++;
      i += search.size();
    } else {
      i++;
    }
  }
  return text;
}

// Everything up to and including the last '\' or '/' before the end or the
// first '|', without a leading double quote.
std::u16string referencePathPart(const std::u16string& path) {
  size_t first = !path.empty() && path[0] == u'"' ? 1 : 0;
  size_t scanEnd = path.find(u'|');
  if (scanEnd == std::u16string::npos) scanEnd = path.size();
  size_t separator = path.find_last_of(u"\\/", scanEnd == 0 ? std::u16string::npos : scanEnd - 1);
  if (scanEnd == 0 || separator == std::u16string::npos || separator + 1 <= first) return u"";
  return path.substr(first, separator + 1 - first);
}

// ---- Calls ------------------------------------------------------------------------------------

int32_t decimalsFrom(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      return -1;
    case 1:
      return in.ConsumeIntegralInRange<int32_t>(-3, 20);
    case 2:
      return in.ConsumeIntegralInRange<int32_t>(500, 520);
    default:
      return in.ConsumeIntegral<int32_t>();
  }
}

double valueFrom(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
      // Any bit pattern: NaNs of every kind, infinities, subnormals, negative zero.
      return std::bit_cast<double>(in.ConsumeIntegral<uint64_t>());
    case 1:
      // Values with few digits, where rounding at the last decimal shows.
      return static_cast<double>(in.ConsumeIntegral<int32_t>()) /
             (1 << in.ConsumeIntegralInRange<int>(0, 12));
    default:
      return in.ConsumeFloatingPoint<double>();
  }
}

int32_t countFrom(FuzzedDataProvider& in) {
  return in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(-3, 4) : in.ConsumeIntegral<int32_t>();
}

void fuzzFormat(FuzzedDataProvider& in) {
  double value = valueFrom(in);
  int32_t decimals = decimalsFrom(in);
  FuzzArguments args;
  args.place(in, {});
  int32_t start = String_Accumulator.position;
  String_FormatFloat(value, decimals, start);
  FUZZ_CHECK(Fuzz_Result(start) == referenceFormat(value, decimals));
  args.end();
}

void fuzzCount(FuzzedDataProvider& in) {
  std::u16string text = Fuzz_Text(in), search = Fuzz_Search(in, text);
  FuzzArguments args;
  args.place(in, {text, search});
  int32_t position = String_Accumulator.position;
  FUZZ_CHECK(String_Count(args.at(0), args.at(1)) == referenceCount(args.texts[0], args.texts[1]));
  FUZZ_CHECK(String_Accumulator.position == position);
  FUZZ_CHECK(args.intact());
  args.end();
}

void fuzzReplace(FuzzedDataProvider& in) {
  std::u16string text = Fuzz_Text(in), search = Fuzz_Search(in, text), replacement = Fuzz_Text(in, 8);
  bool shortForm = in.ConsumeIntegralInRange<int>(0, 3) == 0;
  int32_t mode = shortForm          ? 0
                 : in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(0, 3)
                                    : in.ConsumeIntegral<int32_t>();
  int32_t from = shortForm          ? 1
                 : in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(-2, 50)
                                    : in.ConsumeIntegral<int32_t>();
  int32_t count = shortForm ? -1 : countFrom(in);
  bool noCase = mode & STRING_REPLACE_NOCASE;
  bool inPlace = mode & STRING_REPLACE_INPLACE;
  if (inPlace && in.ConsumeBool()) replacement.resize(search.size(), u'r');  // mostly the same length

  FuzzArguments args;
  args.place(in, {text, search, replacement});
  int32_t start = String_Accumulator.position;
  if (shortForm) {
    String_Replace(static_cast<const char16_t*>(args.at(0)), args.at(1), args.at(2), start);
  } else {
    String_Replace(args.at(0), args.at(1), args.at(2), mode, from, count, start);
  }
  if (inPlace) {
    FUZZ_CHECK(String_Accumulator.position == start);
    if (args.where[0] != 0) {
      std::u16string expected =
          referenceReplaceInPlace(args.texts[0], args.texts[1], args.texts[2], noCase, from, count);
      FUZZ_CHECK(std::u16string(args.at(0)) == expected);
      args.texts[0] = expected;  // the text itself was meant to change
    }
  } else {
    FUZZ_CHECK(Fuzz_Result(start) ==
               referenceReplace(args.texts[0], args.texts[1], args.texts[2], noCase, from, count));
  }
  FUZZ_CHECK(args.intact());
  args.end();
}

void fuzzPathPart(FuzzedDataProvider& in) {
  std::u16string path = Fuzz_Text(in);
  FuzzArguments args;
  args.place(in, {path});
  int32_t start = String_Accumulator.position;
  String_PathPart(args.at(0), start);
  FUZZ_CHECK(Fuzz_Result(start) == referencePathPart(args.texts[0]));
  FUZZ_CHECK(args.intact());
  args.end();
}

// A string expression as the runtime builds one: operands appended in order
// (ordinary texts, null, earlier results protected in the accumulator, and the
// expression's own text so far, which ends at the position), then stored into
// a variable.
void fuzzExpression(FuzzedDataProvider& in) {
  std::u16string first = Fuzz_Text(in), second = Fuzz_Text(in);
  FuzzArguments args;
  args.place(in, {first, second});
  const int32_t start = String_Accumulator.position;
  std::u16string expected;
  bool appended = false;
  for (int operands = in.ConsumeIntegralInRange<int>(1, 6); operands > 0; operands--) {
    bool isNull = false;
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
      case 0: {
        std::u16string text = Fuzz_Text(in);
        isNull = text.empty() && in.ConsumeBool();
        String_Append(isNull ? nullptr : text.c_str());
        expected += text;
        break;
      }
      case 1: {
        size_t i = in.ConsumeIntegralInRange<size_t>(0, 1);
        isNull = !args.at(i);
        String_Append(args.at(i));
        expected += args.texts[i];
        break;
      }
      default:
        // Only once an operand has been appended is the expression's text
        // terminated at the position.
        if (!appended) continue;
        String_Append(String_Accumulator.buffer + start / 2);
        expected += std::u16string(expected);
        break;
    }
    appended = true;
    FUZZ_CHECK(Fuzz_Result(start, !isNull) == expected);
    if (expected.size() > 4000) break;
  }
  StringVar variable = nullptr;
  if (in.ConsumeBool()) String_Assign(&variable, Fuzz_Text(in).c_str());
  String_Store(&variable, start);
  FUZZ_CHECK(variable && std::u16string(variable) == expected);
  FUZZ_CHECK(String_Accumulator.position == start);
  FUZZ_CHECK(args.intact());
  String_Free(variable);
  args.end();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Fuzz_StartRuntime();
  Fuzz_FreshAccumulatorWhenLarge();
  FuzzedDataProvider in(data, size);
  // A few calls per input, so that one call's accumulator state meets the next.
  for (int calls = 0; calls < 4 && in.remaining_bytes() > 0; calls++) {
    switch (in.ConsumeIntegralInRange<int>(0, 4)) {
      case 4:
        fuzzExpression(in);
        break;
      case 0:
        fuzzFormat(in);
        break;
      case 1:
        fuzzCount(in);
        break;
      case 2:
        fuzzReplace(in);
        break;
      default:
        fuzzPathPart(in);
        break;
    }
    FUZZ_CHECK(String_Accumulator.position == 0);
  }
  return 0;
}
