// Descriptor access over the host's read and write suites.
#include "host/descriptors.h"

#include "host/handles.h"

namespace vantrel::host {
namespace {

// A descriptor handle always comes from the host. Only the host's own suite
// can release it: handing it to our fallback scheme would free memory we never
// allocated, so without a usable suite it is left to the host.
void ReleaseDescriptor(const HandleProcs* procs, Handle descriptor) {
  if (descriptor != nullptr && HandleSuiteUsable(procs)) FreeHandle(procs, descriptor);
}

}  // namespace

bool DescriptorSuiteUsable(const PIDescriptorParameters* p) {
  if (p == nullptr) return false;
  if (p->descriptorParametersVersion != kCurrentDescriptorParametersVersion) return false;
  const ReadDescriptorProcs* read = p->readDescriptorProcs;
  const WriteDescriptorProcs* write = p->writeDescriptorProcs;
  if (read == nullptr || write == nullptr) return false;
  if (read->readDescriptorProcsVersion != kCurrentReadDescriptorProcsVersion ||
      static_cast<uint16>(read->numReadDescriptorProcs) < kCurrentReadDescriptorProcsCount)
    return false;
  if (write->writeDescriptorProcsVersion != kCurrentWriteDescriptorProcsVersion ||
      static_cast<uint16>(write->numWriteDescriptorProcs) < kCurrentWriteDescriptorProcsCount)
    return false;
  return read->openReadDescriptorProc && read->closeReadDescriptorProc && read->getKeyProc &&
         read->getIntegerProc && read->getFloatProc && read->getUnitFloatProc && read->getBooleanProc &&
         read->getTextProc && read->getAliasProc && read->getEnumeratedProc && read->getClassProc &&
         read->getSimpleReferenceProc && read->getObjectProc && read->getCountProc && read->getStringProc &&
         read->getPinnedIntegerProc && read->getPinnedFloatProc && read->getPinnedUnitFloatProc;
}

bool DialogRequested(const PIDescriptorParameters* p) {
  return p != nullptr && p->playInfo == plugInDialogDisplay;
}

OSErr CloseReadDescriptor(PIDescriptorParameters* p, const HandleProcs* procs, PIReadDescriptor* token) {
  const OSErr closed = p->readDescriptorProcs->closeReadDescriptorProc(*token);
  ReleaseDescriptor(procs, p->descriptor);
  p->descriptor = nullptr;
  *token = nullptr;
  return closed;
}

OSErr CloseWriteDescriptor(PIDescriptorParameters* p, const HandleProcs* procs, PIWriteDescriptor* token) {
  ReleaseDescriptor(procs, p->descriptor);
  p->descriptor = nullptr;
  PIDescriptorHandle written = nullptr;
  p->writeDescriptorProcs->closeWriteDescriptorProc(*token, &written);
  p->descriptor = written;
  p->recordInfo = plugInDialogOptional;
  *token = nullptr;
  return noErr;
}

}  // namespace vantrel::host
