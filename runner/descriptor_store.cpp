// Our host's scripting descriptors: an in-memory store behind the read and
// write suites. A descriptor is a host handle; the store keeps its values.
#include <algorithm>
#include <set>

#include "runner/host.h"

namespace vantrel::runner {

DescriptorItem DescriptorItem::UnitFloat(DescriptorKeyID key, DescriptorUnitID unit, real64 value) {
  return {.key = key, .type = FourCC("UntF"), .unitOrEnumType = unit, .number = value};
}

DescriptorItem DescriptorItem::Enumerated(DescriptorKeyID key, DescriptorTypeID type, DescriptorEnumID value) {
  return {.key = key, .type = FourCC("enum"), .unitOrEnumType = type, .enumValue = value};
}

DescriptorItem DescriptorItem::Bool(DescriptorKeyID key, bool value) {
  return {.key = key, .type = FourCC("bool"), .boolean = value};
}

DescriptorItem DescriptorItem::Integer(DescriptorKeyID key, int32 value) {
  return {.key = key, .type = FourCC("long"), .integer = value};
}

struct Host::ReadSession {
  Descriptor items;
  std::size_t next = 0;
  const DescriptorItem* current = nullptr;
  std::vector<DescriptorKeyID> wanted;
  std::set<DescriptorKeyID> seen;
  OSErr lastError = noErr;

  // The current item when it has `type`, else nullptr with paramErr noted.
  const DescriptorItem* Current(uint32 type) {
    if (current == nullptr || current->type != type) {
      lastError = paramErr;
      return nullptr;
    }
    return current;
  }
};

struct Host::WriteSession {
  Descriptor items;
};

void Host::SetDescriptorSuite(DescriptorSuiteMode mode) {
  readProcs_ = ReadDescriptorProcs{kCurrentReadDescriptorProcsVersion,
                                   kCurrentReadDescriptorProcsCount,
                                   OpenRead,
                                   CloseRead,
                                   GetKey,
                                   GetInteger,
                                   GetFloat,
                                   GetUnitFloat,
                                   GetBoolean,
                                   GetHandleValue,
                                   GetHandleValue,
                                   GetEnumerated,
                                   GetClass,
                                   GetSimpleReference,
                                   GetObject,
                                   GetCount,
                                   GetString,
                                   GetPinnedInteger,
                                   GetPinnedFloat,
                                   GetPinnedUnitFloat};
  writeProcs_ = WriteDescriptorProcs{};
  writeProcs_.writeDescriptorProcsVersion = kCurrentWriteDescriptorProcsVersion;
  writeProcs_.numWriteDescriptorProcs = kCurrentWriteDescriptorProcsCount;
  writeProcs_.openWriteDescriptorProc = OpenWrite;
  writeProcs_.closeWriteDescriptorProc = CloseWrite;
  writeProcs_.putIntegerProc = PutInteger;
  writeProcs_.putFloatProc = PutFloat;
  writeProcs_.putUnitFloatProc = PutUnitFloat;
  writeProcs_.putBooleanProc = PutBoolean;
  writeProcs_.putTextProc = PutUnsupported;
  writeProcs_.putAliasProc = PutUnsupported;
  writeProcs_.putEnumeratedProc = PutEnumerated;

  descriptorParameters_.descriptorParametersVersion = kCurrentDescriptorParametersVersion;
  descriptorParameters_.readDescriptorProcs = &readProcs_;
  descriptorParameters_.writeDescriptorProcs = &writeProcs_;
  record_->descriptorParameters = &descriptorParameters_;
  switch (mode) {
    case DescriptorSuiteMode::Full: break;
    case DescriptorSuiteMode::None: record_->descriptorParameters = nullptr; break;
    case DescriptorSuiteMode::NullSuites:
      descriptorParameters_.readDescriptorProcs = nullptr;
      descriptorParameters_.writeDescriptorProcs = nullptr;
      break;
  }
}

void Host::SetDescriptor(const Descriptor& items) {
  DisposeAny(descriptorParameters_.descriptor);
  Handle h = MakeHandle(4);
  descriptors_[h] = items;
  descriptorParameters_.descriptor = h;
}

PIReadDescriptor Host::OpenRead(PIDescriptorHandle descriptor, DescriptorKeyIDArray keys) {
  Host* self = current_;
  auto it = self->descriptors_.find(descriptor);
  if (descriptor == nullptr || it == self->descriptors_.end()) return nullptr;
  auto* session = new ReadSession;
  session->items = it->second;
  for (; keys != nullptr && *keys != 0; ++keys) session->wanted.push_back(*keys);
  return session;
}

OSErr Host::CloseRead(PIReadDescriptor token) {
  auto* session = static_cast<ReadSession*>(token);
  if (session == nullptr) return paramErr;
  OSErr result = session->lastError;
  for (DescriptorKeyID key : session->wanted)
    if (!session->seen.count(key)) result = errMissingParameter;
  delete session;
  return result;
}

Boolean Host::GetKey(PIReadDescriptor token, DescriptorKeyID* key, DescriptorTypeID* type, int32* flags) {
  auto* session = static_cast<ReadSession*>(token);
  if (session->next >= session->items.size()) {
    session->current = nullptr;
    return 0;
  }
  session->current = &session->items[session->next++];
  session->seen.insert(session->current->key);
  *key = session->current->key;
  *type = session->current->type;
  *flags = 0;
  return 1;
}

namespace {

// Hands the current item to `copy` when it has `type`; paramErr otherwise.
template <typename Session, typename Copy>
OSErr ReadCurrent(PIReadDescriptor token, const char (&type)[5], Copy copy) {
  const DescriptorItem* item = static_cast<Session*>(token)->Current(FourCC(type));
  if (item == nullptr) return paramErr;
  copy(*item);
  return noErr;
}

// Holds a value that was read to [min, max], saying so as the host's pinned
// getters do.
template <typename T>
OSErr Pin(OSErr read, T* value, T min, T max) {
  if (read != noErr) return read;
  if (*value < min || *value > max) {
    *value = std::clamp(*value, min, max);
    return coercedParamErr;
  }
  return noErr;
}

}  // namespace

OSErr Host::GetInteger(PIReadDescriptor token, int32* value) {
  return ReadCurrent<ReadSession>(token, "long", [&](const DescriptorItem& i) { *value = i.integer; });
}

OSErr Host::GetFloat(PIReadDescriptor token, real64* value) {
  return ReadCurrent<ReadSession>(token, "doub", [&](const DescriptorItem& i) { *value = i.number; });
}

OSErr Host::GetUnitFloat(PIReadDescriptor token, DescriptorUnitID* unit, real64* value) {
  return ReadCurrent<ReadSession>(token, "UntF", [&](const DescriptorItem& i) {
    *unit = i.unitOrEnumType;
    *value = i.number;
  });
}

OSErr Host::GetBoolean(PIReadDescriptor token, Boolean* value) {
  return ReadCurrent<ReadSession>(token, "bool", [&](const DescriptorItem& i) { *value = i.boolean ? 1 : 0; });
}

OSErr Host::GetEnumerated(PIReadDescriptor token, DescriptorEnumID* value) {
  return ReadCurrent<ReadSession>(token, "enum", [&](const DescriptorItem& i) { *value = i.enumValue; });
}

// Kinds of value our store never holds.
OSErr Host::GetHandleValue(PIReadDescriptor token, Handle*) { return static_cast<ReadSession*>(token)->lastError = paramErr; }
OSErr Host::GetClass(PIReadDescriptor token, DescriptorTypeID*) { return static_cast<ReadSession*>(token)->lastError = paramErr; }
OSErr Host::GetSimpleReference(PIReadDescriptor token, PIDescriptorSimpleReference*) {
  return static_cast<ReadSession*>(token)->lastError = paramErr;
}
OSErr Host::GetObject(PIReadDescriptor token, DescriptorTypeID*, PIDescriptorHandle*) {
  return static_cast<ReadSession*>(token)->lastError = paramErr;
}
OSErr Host::GetCount(PIReadDescriptor token, uint32*) { return static_cast<ReadSession*>(token)->lastError = paramErr; }
OSErr Host::GetString(PIReadDescriptor token, unsigned char (*)[256]) {
  return static_cast<ReadSession*>(token)->lastError = paramErr;
}

OSErr Host::GetPinnedInteger(PIReadDescriptor token, int32 min, int32 max, int32* value) {
  return Pin(GetInteger(token, value), value, min, max);
}

OSErr Host::GetPinnedFloat(PIReadDescriptor token, const real64* min, const real64* max, real64* value) {
  return Pin(GetFloat(token, value), value, *min, *max);
}

OSErr Host::GetPinnedUnitFloat(PIReadDescriptor token, const real64* min, const real64* max,
                               DescriptorUnitID* unit, real64* value) {
  return Pin(GetUnitFloat(token, unit, value), value, *min, *max);
}

PIWriteDescriptor Host::OpenWrite() { return new WriteSession; }

OSErr Host::CloseWrite(PIWriteDescriptor token, PIDescriptorHandle* written) {
  Host* self = current_;
  auto* session = static_cast<WriteSession*>(token);
  if (session == nullptr) return paramErr;
  Handle h = self->MakeHandle(4);
  self->descriptors_[h] = session->items;
  self->written_ = session->items;
  ++self->writes_;
  delete session;
  *written = h;
  return noErr;
}

OSErr Host::PutInteger(PIWriteDescriptor token, DescriptorKeyID key, int32 value) {
  static_cast<WriteSession*>(token)->items.push_back(DescriptorItem::Integer(key, value));
  return noErr;
}

OSErr Host::PutFloat(PIWriteDescriptor token, DescriptorKeyID key, const real64* value) {
  static_cast<WriteSession*>(token)->items.push_back({.key = key, .type = FourCC("doub"), .number = *value});
  return noErr;
}

OSErr Host::PutUnitFloat(PIWriteDescriptor token, DescriptorKeyID key, DescriptorUnitID unit, const real64* value) {
  static_cast<WriteSession*>(token)->items.push_back(DescriptorItem::UnitFloat(key, unit, *value));
  return noErr;
}

OSErr Host::PutBoolean(PIWriteDescriptor token, DescriptorKeyID key, Boolean value) {
  static_cast<WriteSession*>(token)->items.push_back(DescriptorItem::Bool(key, value != 0));
  return noErr;
}

OSErr Host::PutEnumerated(PIWriteDescriptor token, DescriptorKeyID key, DescriptorTypeID type, DescriptorEnumID value) {
  static_cast<WriteSession*>(token)->items.push_back(DescriptorItem::Enumerated(key, type, value));
  return noErr;
}

OSErr Host::PutUnsupported(PIWriteDescriptor, DescriptorKeyID, Handle) { return paramErr; }

}  // namespace vantrel::runner
