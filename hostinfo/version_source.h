// The four platform operations through which the host executable's version
// block is read; the logic owns this interface, each platform binds it.
#pragma once

#include "records/host_records.h"

namespace vantrel::hostinfo {

// Every member is set by a binding. Failures are answered as described; no
// platform error leaves the binding.
struct VersionSource {
  // Writes the full path of the running program's executable, zero-terminated
  // and cut to fit, into `path` of `capacity` bytes. Answers the length written
  // when the whole path fitted, `capacity` (or more) when it was cut, and 0 on
  // failure.
  uint32 (*executablePath)(char* path, uint32 capacity);
  // Size in bytes of the version block of the file at `path`; 0 when the file
  // has none or cannot be read.
  uint32 (*versionBlockSize)(const char* path);
  // Copies the file's version block into `block`, writing at most `size`
  // bytes. False on failure.
  bool (*readVersionBlock)(const char* path, uint32 size, void* block);
  // Finds the value named by `subBlock` ("\" for the fixed information,
  // "\VarFileInfo\Translation", "\StringFileInfo\<key>\<name>") in a block
  // filled by readVersionBlock. On success sets `value` to its first byte,
  // inside the block's buffer, and `length` to its size (bytes for binary
  // values, characters for texts). False when there is no such value.
  bool (*queryValue)(void* block, const char* subBlock, const void** value, uint32* length);
};

// The binding of this build: the platform's version information, or, where
// there is none, a source that reports no version block.
const VersionSource& PlatformVersionSource();

}  // namespace vantrel::hostinfo
