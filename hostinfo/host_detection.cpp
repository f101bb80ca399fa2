// Host detection: reads the host executable's version block once per load and
// answers signature group queries from what it found.
#include "hostinfo/host_detection.h"

#include <cstdint>
#include <cstdlib>

#include "host/host_names.h"

namespace vantrel::hostinfo {

const uint32 HostSignatureGroups[kHostSignatureGroupCount] = {
    FourCC("Cdrw"), 0,
    FourCC("Mprn"), 0,
    FourCC("BABL"), 0,
    FourCC("FXTC"), 0,
    FourCC("ART3"), FourCC("ARTZ"), FourCC("ARTY"), FourCC("ART5"), 0,
    FourCC("ALD5"), FourCC("ALD6"), FourCC("AD65"), 0,
    FourCC("PHUT"), 0,
    FourCC("8BIM"), 0,
    FourCC("PrMr"), 0,
};

namespace {

// The path as the platform hands it: at most 254 characters and a zero byte.
constexpr uint32 kPathCapacity = 255;
// Block sizes are handled as signed 16-bit numbers.
constexpr uint32 kMaxBlockSize = 32767;
// FindText searches a raw block (on over zero bytes) only with a limit above
// 255, and then looks at two positions past its limit.
constexpr uint32 kSmallestRawSearchLimit = 256;
constexpr uint32 kSearchOverrun = 2;

// The fixed information: 52 bytes, the target-system field at offset 32.
constexpr uint32 kFixedInfoSize = 52;
constexpr uint32 kTargetSystemOffset = 32;
constexpr uint32 kTargetWindowsNt = 0x00040000;
constexpr uint32 kTargetWindows16 = 0x00000001;
constexpr uint8 kPlatformWindowsNt = 10;
constexpr uint8 kPlatformWindows16 = 11;
constexpr uint8 kPlatformOther = 12;

// Language 0x0409, code page 0: the key used when the block lists no
// translation.
constexpr uint32 kDefaultTranslationKey = 0x04090000;
constexpr uint32 kTranslationSize = 4;

// In a raw block a value text follows its key, zero byte and padding: the
// internal name 14 bytes after the key's start, the file version 12.
constexpr uint32 kRawNameOffset = 14;
constexpr uint32 kRawVersionOffset = 12;

// A value text is taken at most this long, which is more than any use needs.
constexpr uint32 kMaxValueText = 255;

HostIdentity g_identity{};
bool g_readAttempted = false;
const VersionSource* g_source = nullptr;
const BlockMemory* g_memory = nullptr;

void* DefaultAllocate(uint32 size) { return std::calloc(1, size); }
void DefaultRelease(void* block) { std::free(block); }
constexpr BlockMemory kDefaultMemory{DefaultAllocate, DefaultRelease};

const BlockMemory& Memory() { return g_memory != nullptr ? *g_memory : kDefaultMemory; }

// The buffer holding a version block, released whichever way the reader
// leaves. It is two bytes longer than the block, and at least 258 bytes, with
// every byte past the block zero:
// - the raw search over the block looks up to two positions past its limit;
// - a search limit below 256 would stop at the block's first zero byte, so
//   small blocks are searched with limit 256, over zeros that match nothing;
// - any text that starts inside the buffer ends inside it, however the block
//   is cut.
class BlockBuffer {
 public:
  explicit BlockBuffer(uint32 blockSize)
      : blockSize_(blockSize),
        searchLimit_(blockSize < kSmallestRawSearchLimit ? kSmallestRawSearchLimit : blockSize),
        size_(searchLimit_ + kSearchOverrun),
        bytes_(static_cast<unsigned char*>(Memory().allocZeroed(size_))) {}
  ~BlockBuffer() {
    if (bytes_ != nullptr) Memory().release(bytes_);
  }
  BlockBuffer(const BlockBuffer&) = delete;
  BlockBuffer& operator=(const BlockBuffer&) = delete;

  bool allocated() const { return bytes_ != nullptr; }
  unsigned char* bytes() { return bytes_; }
  uint32 searchLimit() const { return searchLimit_; }

  // Zero past the block again, whatever the read did there.
  void ClearTail() {
    for (uint32 k = blockSize_; k < size_; ++k) bytes_[k] = 0;
  }

  // Offset of `value` in the buffer when it and `needed` bytes after it lie
  // within `limit` bytes from the start; -1 otherwise.
  int32 OffsetOf(const void* value, uint32 needed, uint32 limit) const {
    const auto at = reinterpret_cast<std::uintptr_t>(value);
    const auto first = reinterpret_cast<std::uintptr_t>(bytes_);
    if (at < first || at - first >= limit || limit - (at - first) < needed) return -1;
    return static_cast<int32>(at - first);
  }

  // Offset of a value of `needed` bytes inside the block, or -1.
  int32 BinaryValue(const void* value, uint32 needed) const { return OffsetOf(value, needed, blockSize_); }
  // Offset of a text that starts inside the buffer, or -1. The buffer's last
  // byte is zero, so such a text is always terminated.
  int32 TextValue(const void* value) const { return OffsetOf(value, 1, size_); }

  // Room from `offset` to the end of the buffer.
  uint32 RoomFrom(int32 offset) const { return size_ - static_cast<uint32>(offset); }
  uint32 size() const { return size_; }

 private:
  uint32 blockSize_;
  uint32 searchLimit_;
  uint32 size_;
  unsigned char* bytes_;
};

uint32 LittleEndian16(const unsigned char* p) { return uint32(p[0]) | (uint32(p[1]) << 8); }
uint32 LittleEndian32(const unsigned char* p) { return LittleEndian16(p) | (LittleEndian16(p + 2) << 16); }

uint8 PlatformCodeFor(uint32 targetSystem) {
  if (targetSystem == kTargetWindowsNt) return kPlatformWindowsNt;
  if (targetSystem == kTargetWindows16) return kPlatformWindows16;
  return kPlatformOther;
}

// "\StringFileInfo\" + the key in eight lower-case hexadecimal digits + "\".
void BuildStringPrefix(uint32 key, char* prefix) {
  static const char kDigits[] = "0123456789abcdef";
  char hex[10];
  for (int d = 0; d < 8; ++d) hex[d] = kDigits[(key >> (28 - 4 * d)) & 0xF];
  hex[8] = '\\';
  hex[9] = 0;
  prefix[0] = 0;
  host::CStrAppend(prefix, "\\StringFileInfo\\");
  host::CStrAppend(prefix, hex);
}

// Queries the text value `name` under `prefix` and copies it, zero-terminated,
// into `text` (kMaxValueText + 1 bytes). False when the block has no such
// value, or the source answers one outside the buffer.
bool QueryText(const VersionSource& source, BlockBuffer& buffer, const char* prefix, const char* name,
               char* text) {
  char path[64];
  path[0] = 0;
  host::CStrAppend(path, prefix);
  host::CStrAppend(path, name);
  const void* value = nullptr;
  uint32 length = 0;
  if (!source.queryValue(buffer.bytes(), path, &value, &length)) return false;
  const int32 offset = buffer.TextValue(value);
  if (offset < 0) return false;
  uint32 count = length;
  if (count > buffer.RoomFrom(offset)) count = buffer.RoomFrom(offset);
  if (count > kMaxValueText) count = kMaxValueText;
  const unsigned char* from = buffer.bytes() + offset;
  uint32 k = 0;
  for (; k < count && from[k] != 0; ++k) text[k] = static_cast<char>(from[k]);
  text[k] = 0;
  return true;
}

// In a raw block, the text of the value whose key was found at `position`:
// it starts `offset` bytes after the key, or two bytes later when the byte
// after that start is zero (the key's padding runs on). An empty text when
// that would lie past the buffer.
const char* RawValueText(BlockBuffer& buffer, int16 position, uint32 offset) {
  const uint32 start = static_cast<uint32>(position) + offset;
  uint32 at = start;
  if (start + 1 < buffer.size() && buffer.bytes()[start + 1] == 0) at = start + 2;
  if (at >= buffer.size()) return "";
  return reinterpret_cast<const char*>(buffer.bytes() + at);
}

void EnsureIdentityRead() {
  if (g_readAttempted) return;
  if (ReadHostIdentity(&g_identity) != noErr) g_identity = HostIdentity{};
  g_readAttempted = true;
}

}  // namespace

uint32 PackHostVersion(const HostIdentity& identity) {
  return (uint32(identity.majorVersion) << 24) | (uint32(identity.minorVersion) << 20) |
         (uint32(identity.fixVersion) << 16) | uint32(identity.platformCode);
}

uint32 QueryHostVersion(uint32 key) {
  if (key == 0) return 0;
  for (int entry = 0; entry < kHostSignatureGroupCount; ++entry) {
    if (HostSignatureGroups[entry] == key) return HostVersionFor(entry);
  }
  return 0;
}

uint32 HostVersionFor(int entry) {
  EnsureIdentityRead();
  if (entry < 0 || entry >= kHostSignatureGroupCount) return 0;
  if (g_identity.signature == 0 || g_identity.platformCode == 0 || HostSignatureGroups[entry] == 0) return 0;
  for (int k = entry; k < kHostSignatureGroupCount && HostSignatureGroups[k] != 0; ++k) {
    if (HostSignatureGroups[k] == g_identity.signature) return PackHostVersion(g_identity);
  }
  return 0;
}

OSErr ReadHostIdentity(HostIdentity* identity) {
  return ReadHostIdentityFrom(g_source != nullptr ? *g_source : PlatformVersionSource(), identity);
}

OSErr ReadHostIdentityFrom(const VersionSource& source, HostIdentity* identity) {
  *identity = HostIdentity{};

  // A path that did not fit would name another file, or none.
  char path[kPathCapacity + 1] = {};
  const uint32 pathLength = source.executablePath(path, kPathCapacity);
  if (pathLength == 0 || pathLength >= kPathCapacity) return noErr;
  path[kPathCapacity - 1] = 0;

  const uint32 blockSize = source.versionBlockSize(path);
  if (blockSize == 0) return noErr;
  if (blockSize > kMaxBlockSize) return memFullErr;
  BlockBuffer buffer(blockSize);
  if (!buffer.allocated()) return memFullErr;
  if (!source.readVersionBlock(path, blockSize, buffer.bytes())) return noErr;
  buffer.ClearTail();

  const void* value = nullptr;
  uint32 length = 0;
  if (source.queryValue(buffer.bytes(), "\\", &value, &length) && length >= kFixedInfoSize) {
    const int32 at = buffer.BinaryValue(value, kFixedInfoSize);
    if (at >= 0) identity->platformCode = PlatformCodeFor(LittleEndian32(buffer.bytes() + at + kTargetSystemOffset));
  }

  uint32 key = kDefaultTranslationKey;
  if (source.queryValue(buffer.bytes(), "\\VarFileInfo\\Translation", &value, &length) &&
      length >= kTranslationSize) {
    const int32 at = buffer.BinaryValue(value, kTranslationSize);
    if (at >= 0) {
      const unsigned char* pair = buffer.bytes() + at;
      key = (LittleEndian16(pair) << 16) | LittleEndian16(pair + 2);
    }
  }
  char prefix[32];
  BuildStringPrefix(key, prefix);

  char text[kMaxValueText + 1];
  if (QueryText(source, buffer, prefix, "InternalName", text)) {
    identity->signature = host::SignatureForHostName(text);
    if (QueryText(source, buffer, prefix, "FileVersion", text)) SetVersionNumbers(*identity, text);
    return noErr;
  }

  // No such value through the source: look for the keys in the raw bytes.
  const char* block = reinterpret_cast<const char*>(buffer.bytes());
  const int16 namePosition = host::FindText(block, "InternalName", true, buffer.searchLimit());
  if (namePosition >= 0) {
    identity->signature = host::SignatureForHostName(RawValueText(buffer, namePosition, kRawNameOffset));
  }
  const int16 versionPosition = host::FindText(block, "FileVersion", true, buffer.searchLimit());
  if (versionPosition >= 0) SetVersionNumbers(*identity, RawValueText(buffer, versionPosition, kRawVersionOffset));
  return noErr;
}

void SetVersionNumbers(HostIdentity& identity, const char* versionText) {
  identity.majorVersion = identity.minorVersion = identity.fixVersion = 0;
  host::PString whole;
  host::PString fraction;
  host::PStrClear(whole);
  host::PStrClear(fraction);
  host::PStrAppend(whole, versionText, 0, host::CStrLength(versionText));
  SplitAtDecimalSeparator(whole, fraction);

  int32 major = 0;
  identity.majorVersion = host::ParseInteger(whole, &major) != 0 ? static_cast<uint8>(major) : 0;

  int32 n = 0;
  if (host::ParseInteger(fraction, &n) == 0) n = 0;
  // The parse leaves only the digits it kept, so the length counts them.
  const int fractionDigits = fraction[0];
  if (n >= 10) {
    identity.minorVersion = static_cast<uint8>(n / 10);
    identity.fixVersion = static_cast<uint8>(n % 10);
  } else if (fractionDigits >= 2) {
    identity.fixVersion = static_cast<uint8>(n);
  } else {
    identity.minorVersion = static_cast<uint8>(n);
  }
}

void SplitAtDecimalSeparator(host::PString& text, host::PString& fraction) {
  const int length = text[0];
  for (int k = length; k >= 1; --k) {
    if (text[k] != '.' && text[k] != ',') continue;
    host::PStrAppend(fraction, text, static_cast<int16>(k + 1), static_cast<int16>(length - k));
    text[0] = static_cast<unsigned char>(k - 1);
    text[k] = 0;
    return;
  }
}

void ResetHostIdentityForTesting() {
  g_identity = HostIdentity{};
  g_readAttempted = false;
}

void SetHostIdentityForTesting(const HostIdentity& identity) {
  g_identity = identity;
  g_readAttempted = true;
}

void UseVersionSourceForTesting(const VersionSource* source) { g_source = source; }

void UseBlockMemoryForTesting(const BlockMemory* memory) { g_memory = memory; }

}  // namespace vantrel::hostinfo
