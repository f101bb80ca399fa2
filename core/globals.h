// The per-run record kept in the host's data word, and the library-wide state
// that lives as long as the library stays loaded.
#pragma once

#include "records/host_records.h"

namespace vantrel {

struct Globals {
  int16* result;              // the host's result word of the current call
  FilterRecord* filterRecord;  // the host record of the current call
  Rect previewFrame;          // the dialog's preview control, in client pixels
  // The `parameters` handle this run's EnsureParameters accepted or made:
  // ours for the rest of the run, whatever the host says of its size.
  Handle parametersHandle = nullptr;
};

// The module handle of this library, kept by the load notification; the
// dialog, cursors and strings are loaded from it.
extern void* moduleInstance;
// Set by the parameters selector; once set, every later start in this load
// shows the dialog.
extern int32 parametersRequested;

// Puts the core's library-wide state back as it is right after loading. Only
// tests that share one load between unrelated runs need this; the host
// identity is forgotten by hostinfo's own test hook.
void ResetLibraryStateForTesting();

}  // namespace vantrel
