// What the plug-in knows about the application that loaded it: the identity
// read once per load from the host executable's version block, and the
// questions answered from it.
#pragma once

#include "core/collaborators.h"
#include "host/platform_memory.h"
#include "records/host_records.h"
#include "host/text_ops.h"
#include "hostinfo/version_source.h"

namespace vantrel::hostinfo {

// The host as its version block describes it. Every field 0: not identified.
struct HostIdentity {
  uint32 signature;     // from the internal name, through the host name table
  uint8 majorVersion;   // from the file version text
  uint8 minorVersion;
  uint8 fixVersion;
  uint8 platformCode;   // 10 Windows NT, 11 16-bit Windows, 12 other; 0 unknown
};

constexpr int kHostSignatureGroupCount = 23;

// Signatures in groups, each group ended by a 0 entry. A query names one entry
// and accepts that signature and those after it in the same group.
extern const uint32 HostSignatureGroups[kHostSignatureGroupCount];

// QueryHostVersion is declared with the core, which calls it; its keys are
// the entries of HostSignatureGroups.

// The packed version when the host's signature is HostSignatureGroups[entry]
// or follows it in its group, else 0 (a position outside the list included).
// Reads the identity on first use; a failed read is never retried.
uint32 HostVersionFor(int entry);

// The identity's version packed into 32 bits: major << 24 | minor << 20 |
// fix << 16 | platform code, fields not masked.
uint32 PackHostVersion(const HostIdentity& identity);

// Fills `identity` from the host executable's version block through the
// build's version source. Answers memFullErr, with an empty identity, when the
// block is larger than 32767 bytes or no buffer can be had; noErr otherwise,
// with the identity empty when there is no path, no block or no readable one.
OSErr ReadHostIdentity(HostIdentity* identity);
// The same through the given source.
OSErr ReadHostIdentityFrom(const VersionSource& source, HostIdentity* identity);

// Sets the three version numbers of `identity` from a zero-terminated file
// version text such as "5.52" (5, 5, 2) or "6.01" (6, 0, 1).
void SetVersionNumbers(HostIdentity& identity, const char* versionText);

// Moves the characters after the last '.' or ',' of `text` onto the end of
// `fraction`, and cuts `text` before that separator. Without a separator both
// stay as they are.
void SplitAtDecimalSeparator(host::PString& text, host::PString& fraction);

// --- For tests ---

// Forgets the identity and the read attempt, as a fresh load of the library.
void ResetHostIdentityForTesting();
// Takes `identity` as read, so that no read happens.
void SetHostIdentityForTesting(const HostIdentity& identity);
// Reads through `source` from now on; nullptr restores the build's own.
void UseVersionSourceForTesting(const VersionSource* source);

// Where the buffer for the version block comes from.
using BlockMemory = host::ZeroedMemory;
// Takes the buffer from `memory` from now on; nullptr restores the default.
void UseBlockMemoryForTesting(const BlockMemory* memory);

}  // namespace vantrel::hostinfo
