// Reading the scripting values at start and recording them at finish.
#include "core/scripting.h"

#include "core/entry.h"
#include "core/parameters.h"
#include "host/descriptors.h"

namespace vantrel {
namespace {

// The amount as an integer, truncated toward zero. Values the host failed to
// pin are stored as they come, but held to what the field can carry.
int16 ToAmount(real64 value) {
  if (value != value) return 0;  // not a number
  if (value <= -32768.0) return -32768;
  if (value >= 32767.0) return 32767;
  return static_cast<int16>(value);
}

}  // namespace

OSErr ReadScriptingParameters(Globals* globals) {
  FilterRecord* record = globals->filterRecord;
  FilterParameters* block = BlockOf(globals);
  if (block == nullptr) return noErr;
  const uint8 keptShowDialog = block->showDialog;

  PIDescriptorParameters* p = record->descriptorParameters;
  if (!host::DescriptorSuiteUsable(p)) {
    block->showDialog = keptShowDialog;
    return noErr;
  }

  OSErr closed = noErr;
  DescriptorKeyID keys[] = {keyAmount, keyDisplayMode, 0};
  const ReadDescriptorProcs* read = p->readDescriptorProcs;
  PIReadDescriptor token = read->openReadDescriptorProc(p->descriptor, keys);
  if (token != nullptr) {
    real64 value = 0.0;
    const real64 low = 1.0;
    const real64 high = 99.0;
    DescriptorUnitID unit = unitPercent;
    DescriptorKeyID key = 0;
    DescriptorTypeID type = 0;
    int32 flags = 0;
    while (read->getKeyProc(token, &key, &type, &flags)) {
      switch (key) {
        case keyAmount:
          read->getPinnedUnitFloatProc(token, &low, &high, &unit, &value);
          block->amount = ToAmount(value);
          break;
        case keyDisplayMode: {
          DescriptorEnumID mode = block->modeCode;
          read->getEnumeratedProc(token, &mode);
          block->modeCode = mode;
          break;
        }
        case keyEntI: {
          Boolean flag = block->entIFlag;
          read->getBooleanProc(token, &flag);
          block->entIFlag = flag;
          break;
        }
        default:
          break;
      }
    }
    closed = host::CloseReadDescriptor(p, record->handleProcs, &token);
    if (closed != noErr && closed != errMissingParameter) *globals->result = closed;
  }

  block->showDialog = host::DialogRequested(p) ? 1 : 0;
  return closed;
}

OSErr WriteScriptingParameters(Globals* globals) {
  FilterRecord* record = globals->filterRecord;
  const FilterParameters* block = BlockOf(globals);
  PIDescriptorParameters* p = record->descriptorParameters;
  if (block == nullptr || !host::DescriptorSuiteUsable(p)) return noErr;

  const WriteDescriptorProcs* write = p->writeDescriptorProcs;
  PIWriteDescriptor token = write->openWriteDescriptorProc();
  if (token == nullptr) return noErr;
  const real64 amount = block->amount;
  write->putUnitFloatProc(token, keyAmount, unitPercent, &amount);
  write->putEnumeratedProc(token, keyDisplayMode, typeDisplayMode, block->modeCode);
  if (block->entIFlag != 0) write->putBooleanProc(token, keyEntI, block->entIFlag);
  return host::CloseWriteDescriptor(p, record->handleProcs, &token);
}

void DoFinish(Globals* globals) { WriteScriptingParameters(globals); }

}  // namespace vantrel
