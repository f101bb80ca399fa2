// Length-prefixed and zero-terminated text operations, a name search and a
// strict decimal parse, on 8-bit characters with ASCII-only case and digits.
#pragma once

#include "records/host_records.h"

namespace vantrel::host {

// A length-prefixed text: byte 0 holds the length L, bytes 1..L the
// characters, and every operation that writes one puts a zero byte at L + 1.
// The appending operations keep L at 254 at most, so that zero byte always
// lies inside the buffer.
constexpr int kPStringSize = 256;
using PString = unsigned char[kPStringSize];

// Zero-terminated lengths are measured up to this many characters.
constexpr int16 kMaxCStringLength = 32767;

// Empties `text`: length 0 and a zero byte after it.
void PStrClear(PString& text);

// Appends source[start] .. source[start + count - 1] to `destination`. Start 0
// reads a zero-terminated text, start 1 the characters of a length-prefixed
// one. The result holds at most 254 characters: whatever would make it 255 or
// more is dropped. A count of 0 or less, or a negative start, appends nothing;
// the zero byte after the text is written in every case.
void PStrAppend(PString& destination, const void* source, int16 start, int16 count);

// Copies `count` bytes in ascending order; nothing when either pointer is null.
void CopyBytes(void* destination, const void* source, uint32 count);

// Characters before the first zero byte, counting at most 32767.
int16 CStrLength(const char* text);

// Appends `source` to the zero-terminated `destination`, whose buffer must
// have room; stops once the destination holds 32767 characters. The result is
// zero-terminated.
void CStrAppend(char* destination, const char* source);

// 'A'..'Z' become 'a'..'z'; every other byte is returned as it is.
unsigned char AsciiLower(unsigned char c);

// Where the ending of a zero-terminated run of `text` matches `pattern`.
//
// With a limit of 255 or less the search stops at the text's first zero byte
// and never reads past it: the answer is the position from which the rest of
// the text equals the pattern, or a leading part of it (ASCII case ignored
// when asked), else -1. After a mismatch the mismatching character is not
// tried again as the start of a new match, so "ab" is not found in "aab".
//
// With a larger limit the text is a raw block: the search runs on over zero
// bytes and stops at the first place where the whole pattern has just matched
// and a zero byte follows, answering its position, or -1. It reads positions
// 0 to limit + 1, so the caller's buffer must hold limit + 2 bytes. Limits
// above 32767 are taken as 32767, the largest position the answer can carry.
//
// An empty pattern answers 0 for an empty text and -1 otherwise.
int16 FindText(const char* text, const char* pattern, bool ignoreCase, uint32 limit);

// Strict decimal parse of a length-prefixed text: spaces, an optional '-',
// spaces, digits, spaces. Answers 1 for a number, 2 for a negative one (a lone
// '-' is -0, stored as 0), 0 when the parse fails. More than nine digits give
// 2147483647 (or its negation). Unless the text is empty or holds neither a
// digit nor a '-', it is rewritten to the digits kept so far, whose count
// becomes its length; `value` is written only on success.
int16 ParseInteger(PString& text, int32* value);

}  // namespace vantrel::host
