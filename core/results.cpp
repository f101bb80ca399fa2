#include "core/results.h"

#include <iterator>

namespace vantrel {

const ResultCode kResultCodes[] = {
    {noErr, "noErr", "no error"},
    {coercedParamErr, "coercedParamErr", "a value was brought into range"},
    {ioErr, "ioErr", "a file could not be read or written"},
    {paramErr, "paramErr", "a request the host cannot serve"},
    {memFullErr, "memFullErr", "not enough memory"},
    {userCanceledErr, "userCanceledErr", "cancelled"},
    {errMissingParameter, "errMissingParameter", "a scripting value is missing"},
    {filterBadParameters, "filterBadParameters", "the filter cannot take what it was handed"},
    {filterBadMode, "filterBadMode", "the filter does not take pictures of this mode"},
};
const int kResultCodeCount = int(std::size(kResultCodes));

const char* ResultName(OSErr code) {
  for (const ResultCode& r : kResultCodes)
    if (r.code == code) return r.name;
  return nullptr;
}

std::string ResultText(OSErr code) {
  for (const ResultCode& r : kResultCodes)
    if (r.code == code) return std::string(r.meaning) + " (" + r.name + ")";
  return "result " + std::to_string(code);
}

}  // namespace vantrel
