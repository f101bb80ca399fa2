// The result codes the filter and the host answer, each named once with what
// it means, for every message of the tool and the page (as libuv names its
// errors: a name for logs, words for people).
#pragma once

#include <string>

#include "records/host_records.h"

namespace vantrel {

struct ResultCode {
  OSErr code;
  const char* name;     // as the interface names it ("memFullErr")
  const char* meaning;  // in words ("not enough memory")
};

// Every code the filter or our host answers, noErr first.
extern const ResultCode kResultCodes[];
extern const int kResultCodeCount;

// The name of `code`, or nullptr for a code not in the table.
const char* ResultName(OSErr code);
// What `code` means for a person: "not enough memory (memFullErr)", or for
// a code not in the table "result -1234".
std::string ResultText(OSErr code);

}  // namespace vantrel
