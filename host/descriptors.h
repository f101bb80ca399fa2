// Access to the host's scripting descriptors: whether they can be used, whether
// the host wants the dialog, and the ending of a read or a write.
#pragma once

#include "records/host_records.h"

namespace vantrel::host {

// True when the parameters record and both suites are of version 0, the read
// suite has at least 18 entries, all set, and the write suite at least 16.
bool DescriptorSuiteUsable(const PIDescriptorParameters* p);

// True when the host asks for the dialog (playInfo is plugInDialogDisplay).
bool DialogRequested(const PIDescriptorParameters* p);

// Ends a read: closes it, gives up the descriptor and clears `token`. Answers
// the host's close result unchanged.
OSErr CloseReadDescriptor(PIDescriptorParameters* p, const HandleProcs* procs, PIReadDescriptor* token);

// Ends a write: gives up the old descriptor, installs the new one, marks the
// dialog optional for recording and clears `token`. Answers noErr.
OSErr CloseWriteDescriptor(PIDescriptorParameters* p, const HandleProcs* procs, PIWriteDescriptor* token);

}  // namespace vantrel::host
