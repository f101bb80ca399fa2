// Text operations on length-prefixed and zero-terminated texts.
#include "host/text_ops.h"

namespace vantrel::host {
namespace {

constexpr int kMaxPStringLength = 254;
// The largest position FindText can answer in its signed 16-bit result.
constexpr uint32 kMaxSearchLimit = 32767;
// Limits up to this one mean "stop at the text's zero byte".
constexpr uint32 kTextSearchLimit = 255;

bool SameCharacter(unsigned char a, unsigned char b, bool ignoreCase) {
  return a == b || (ignoreCase && AsciiLower(a) == AsciiLower(b));
}

}  // namespace

void PStrClear(PString& text) {
  text[0] = 0;
  text[1] = 0;
}

void PStrAppend(PString& destination, const void* source, int16 start, int16 count) {
  const auto* src = static_cast<const unsigned char*>(source);
  int length = destination[0];
  int n = count;
  if (src == nullptr || start < 0) n = 0;
  if (length + n > 255) n = 255 - length;
  for (int k = 0; k < n; ++k) destination[++length] = src[start + k];
  // A 255th character would leave no room for the zero byte: drop it.
  if (length > kMaxPStringLength) length = kMaxPStringLength;
  destination[0] = static_cast<unsigned char>(length);
  destination[length + 1] = 0;
}

void CopyBytes(void* destination, const void* source, uint32 count) {
  if (destination == nullptr || source == nullptr) return;
  auto* dst = static_cast<unsigned char*>(destination);
  const auto* src = static_cast<const unsigned char*>(source);
  for (uint32 k = 0; k < count; ++k) dst[k] = src[k];
}

int16 CStrLength(const char* text) {
  if (text == nullptr) return 0;
  int16 n = 0;
  while (n < kMaxCStringLength && text[n] != 0) ++n;
  return n;
}

void CStrAppend(char* destination, const char* source) {
  if (destination == nullptr) return;
  int length = CStrLength(destination);
  if (source != nullptr) {
    for (int k = 0; length < kMaxCStringLength && source[k] != 0; ++k) destination[length++] = source[k];
  }
  destination[length] = 0;
}

unsigned char AsciiLower(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

int16 FindText(const char* text, const char* pattern, bool ignoreCase, uint32 limit) {
  if (text == nullptr || pattern == nullptr) return -1;
  const auto* t = reinterpret_cast<const unsigned char*>(text);
  const auto* p = reinterpret_cast<const unsigned char*>(pattern);
  const uint32 n = static_cast<uint32>(CStrLength(pattern));
  // The general loop below would compare the text's zero byte with the empty
  // pattern's and read on past both; answer these cases directly.
  if (n == 0) return t[0] == 0 ? 0 : -1;
  if (limit > kMaxSearchLimit) limit = kMaxSearchLimit;
  const bool rawBlock = limit > kTextSearchLimit;
  // An empty text: reading on would go past its zero byte.
  if (!rawBlock && t[0] == 0) return -1;

  uint32 i = 0;
  uint32 j = 0;
  int32 start = -1;
  unsigned char c = t[0];
  for (;;) {
    // j never exceeds n: once the whole pattern has matched, the next
    // character is either a zero byte (which ends the search) or is compared
    // with the pattern's zero byte and mismatches.
    if (SameCharacter(c, p[j], ignoreCase)) {
      if (start == -1) start = static_cast<int32>(i);
      ++j;
    } else {
      start = -1;
      j = 0;
    }
    ++i;
    c = t[i];
    if (c == 0 && (j >= n || !rawBlock)) break;
    if (i > limit) break;
  }
  const unsigned char last = t[i];
  if (last >= 1 && last <= 127) return -1;
  return static_cast<int16>(start);
}

int16 ParseInteger(PString& text, int32* value) {
  // A length of 255 leaves no room for the zero byte written after the digits;
  // such a text is taken at the 254 characters a well-formed one can hold.
  int length = text[0];
  if (length > kMaxPStringLength) length = kMaxPStringLength;
  if (length == 0) return 0;

  int k = 0;
  bool ok = true;
  bool negative = false;
  bool trailing = false;
  for (int i = 1; i <= length && ok; ++i) {
    const unsigned char c = text[i];
    if (c == ' ') {
      if (k > 0) trailing = true;
    } else if (trailing) {
      ok = false;
    } else if (k == 0 && !negative && c == '-') {
      negative = true;
    } else if (c >= '0' && c <= '9') {
      text[++k] = c;
    } else {
      ok = false;
    }
  }
  if (k == 0 && !negative) return 0;

  text[0] = static_cast<unsigned char>(k);
  text[k + 1] = 0;
  if (!ok) return 0;

  int32 v = 2147483647;
  if (k <= 9) {
    v = 0;
    for (int d = 1; d <= k; ++d) v = v * 10 + (text[d] - '0');
  }
  if (value != nullptr) *value = negative ? -v : v;
  return negative ? 2 : 1;
}

}  // namespace vantrel::host
