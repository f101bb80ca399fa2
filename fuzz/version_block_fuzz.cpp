// libFuzzer target for the host detection reader and the text operations it
// rests on: arbitrary bytes as a host's version block, read through a source
// whose query answers the input chooses, and as texts for the name search,
// the integer parse and the version number rules. Every buffer is allocated
// at its exact size so that the sanitizers see any read past it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/host_names.h"
#include "host/text_ops.h"
#include "hostinfo/host_detection.h"

namespace {

using namespace vantrel;

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

// Reads the input from the front.
struct Input {
  const uint8_t* data;
  size_t size;
  uint8_t Byte() {
    if (size == 0) return 0;
    --size;
    return *data++;
  }
  uint16_t Word() { return static_cast<uint16_t>(Byte() | (Byte() << 8)); }
};

// --- The reader, through a source answering from the input ---

struct Answer {
  bool present;
  uint32 offset;  // from the start of the reader's buffer, may lie past it
  uint32 length;
};

enum { kFixed, kTranslation, kInternalName, kFileVersion, kAnswerCount };

struct FuzzHost {
  std::vector<uint8_t> block;
  uint32 reportedSize;
  bool longPath;
  Answer answers[kAnswerCount];
};
FuzzHost g_host;

bool EndsWith(const char* text, const char* ending) {
  const size_t n = std::strlen(text), m = std::strlen(ending);
  return n >= m && std::strcmp(text + n - m, ending) == 0;
}

uint32 FuzzPath(char* path, uint32 capacity) {
  const std::string name = g_host.longPath ? std::string(300, 'p') : "C:\\host.exe";
  const size_t n = name.size() < capacity ? name.size() : capacity - 1;
  std::memcpy(path, name.data(), n);
  path[n] = 0;
  return name.size() >= capacity ? capacity : static_cast<uint32>(n);
}
uint32 FuzzSize(const char*) { return g_host.reportedSize; }
bool FuzzRead(const char*, uint32 size, void* buffer) {
  std::memcpy(buffer, g_host.block.data(), size < g_host.block.size() ? size : g_host.block.size());
  return true;
}
bool FuzzQuery(void* buffer, const char* subBlock, const void** value, uint32* length) {
  int which = -1;
  if (std::strcmp(subBlock, "\\") == 0) which = kFixed;
  if (std::strcmp(subBlock, "\\VarFileInfo\\Translation") == 0) which = kTranslation;
  if (EndsWith(subBlock, "\\InternalName")) which = kInternalName;
  if (EndsWith(subBlock, "\\FileVersion")) which = kFileVersion;
  if (which < 0 || !g_host.answers[which].present) return false;
  // Computed as a number: the answer may deliberately lie outside the buffer.
  *value = reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(buffer) + g_host.answers[which].offset);
  *length = g_host.answers[which].length;
  return true;
}
constexpr hostinfo::VersionSource kFuzzSource{FuzzPath, FuzzSize, FuzzRead, FuzzQuery};

void FuzzReader(Input in) {
  const uint8_t flags = in.Byte();
  for (Answer& a : g_host.answers) {
    const uint8_t answerFlags = in.Byte();
    a.present = (answerFlags & 1) != 0;
    a.offset = in.Word();
    a.length = in.Word();
  }
  g_host.block.assign(in.data, in.data + in.size);
  g_host.longPath = (flags & 1) != 0;
  g_host.reportedSize = static_cast<uint32>(g_host.block.size());
  if (flags & 2) g_host.reportedSize += 32768;  // too large: refused before any read

  hostinfo::HostIdentity identity{};
  const OSErr err = hostinfo::ReadHostIdentityFrom(kFuzzSource, &identity);
  Require(err == noErr || err == memFullErr);
  if (err != noErr || g_host.longPath) Require(hostinfo::PackHostVersion(identity) == 0 && identity.signature == 0);
  Require(identity.platformCode == 0 || (identity.platformCode >= 10 && identity.platformCode <= 12));

  // The same block through the once-per-load path and a query.
  hostinfo::UseVersionSourceForTesting(&kFuzzSource);
  hostinfo::ResetHostIdentityForTesting();
  const uint32 key = hostinfo::HostSignatureGroups[flags % hostinfo::kHostSignatureGroupCount];
  const uint32 answer = hostinfo::QueryHostVersion(key);
  Require(answer == 0 || host::IsKnownPlatformCode(answer));
  hostinfo::UseVersionSourceForTesting(nullptr);
  hostinfo::ResetHostIdentityForTesting();
}

// --- The text operations ---

void FuzzFindText(Input in) {
  const bool ignoreCase = (in.Byte() & 1) != 0;
  const uint32 limit = in.Word();
  const size_t patternLength = in.Byte() % 32;
  std::vector<char> pattern(patternLength + 1, 0);
  for (size_t k = 0; k < patternLength; ++k) pattern[k] = static_cast<char>(in.Byte());

  // Up to 255 the text ends at its zero byte; above, it is a raw block that
  // the search may read to limit + 1.
  const uint32 effective = limit > 32767 ? 32767 : limit;
  std::vector<char> text;
  if (limit <= 255) {
    text.assign(in.data, in.data + in.size);
    text.push_back(0);
  } else {
    text.assign(effective + 2, 0);
    std::memcpy(text.data(), in.data, in.size < text.size() ? in.size : text.size());
  }
  const int16 at = host::FindText(text.data(), pattern.data(), ignoreCase, limit);
  Require(at >= -1 && static_cast<int32>(at) <= static_cast<int32>(effective));

  std::vector<char> name(in.data, in.data + in.size);
  name.push_back(0);
  host::SignatureForHostName(name.data());
  hostinfo::HostIdentity identity{};
  hostinfo::SetVersionNumbers(identity, name.data());
}

void FuzzParse(Input in) {
  host::PString text;
  for (unsigned char& c : text) c = in.Byte();
  host::PString copy;
  std::memcpy(copy, text, sizeof copy);
  int32 value = 0x5A5A5A5A;
  const int16 kind = host::ParseInteger(text, &value);
  Require(kind >= 0 && kind <= 2);
  if (kind == 0) Require(value == 0x5A5A5A5A);
  if (std::memcmp(copy, text, sizeof copy) != 0) Require(text[0] <= 254 && text[text[0] + 1] == 0);

  host::PString fraction;
  host::PStrClear(fraction);
  host::PStrAppend(fraction, in.data, 0, static_cast<int16>(in.size > 300 ? 300 : in.size));
  Require(fraction[0] <= 254 && fraction[fraction[0] + 1] == 0);
  hostinfo::SplitAtDecimalSeparator(copy, fraction);
  Require(fraction[0] <= 254 && fraction[fraction[0] + 1] == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{data, size};
  switch (in.Byte() % 3) {
    case 0: FuzzReader(in); break;
    case 1: FuzzFindText(in); break;
    default: FuzzParse(in); break;
  }
  return 0;
}
