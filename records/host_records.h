// The records, callbacks and constants through which a host drives a filter
// plug-in (filter interface 4.0). Hosts hand us their own memory in these
// layouts, so every field used is pinned by offset for both the 32-bit product
// and the 64-bit native build.
#pragma once

#include <cstddef>
#include <cstdint>

using int16 = std::int16_t;
using uint16 = std::uint16_t;
using int32 = std::int32_t;
using uint32 = std::uint32_t;
using uint8 = std::uint8_t;
using real64 = double;
using OSErr = int16;
using OSType = uint32;
using Boolean = unsigned char;
using Fixed = int32;
using Ptr = char*;
using Handle = char**;

// A four-character code as the host spells it: the first character is the
// most significant byte.
constexpr uint32 FourCC(const char (&s)[5]) {
  return (uint32(uint8(s[0])) << 24) | (uint32(uint8(s[1])) << 16) |
         (uint32(uint8(s[2])) << 8) | uint32(uint8(s[3]));
}

// Selectors.
constexpr int16 filterSelectorAbout = 0;
constexpr int16 filterSelectorParameters = 1;
constexpr int16 filterSelectorPrepare = 2;
constexpr int16 filterSelectorStart = 3;
constexpr int16 filterSelectorContinue = 4;
constexpr int16 filterSelectorFinish = 5;

// Result codes.
constexpr OSErr noErr = 0;
constexpr OSErr coercedParamErr = 2;
constexpr OSErr ioErr = -36;
constexpr OSErr paramErr = -50;
constexpr OSErr memFullErr = -108;
constexpr OSErr userCanceledErr = -128;
constexpr OSErr errMissingParameter = -1715;
constexpr OSErr filterBadParameters = -30100;
constexpr OSErr filterBadMode = -30101;

// Image modes.
constexpr int16 plugInModeBitmap = 0;
constexpr int16 plugInModeGrayScale = 1;
constexpr int16 plugInModeIndexedColor = 2;
constexpr int16 plugInModeRGBColor = 3;
constexpr int16 plugInModeCMYKColor = 4;
constexpr int16 plugInModeMultichannel = 7;
constexpr int16 plugInModeDuotone = 8;
constexpr int16 plugInModeLabColor = 9;
constexpr int16 plugInModeGray16 = 10;
constexpr int16 plugInModeRGB48 = 11;
constexpr int16 plugInModeLab48 = 12;
constexpr int16 plugInModeCMYK64 = 13;
constexpr int16 plugInModeDeepMultichannel = 14;
constexpr int16 plugInModeDuotone16 = 15;
constexpr int16 plugInModeRGB96 = 16;
constexpr int16 plugInModeGray32 = 17;

// Dialog wishes carried in the descriptor parameters.
constexpr int16 plugInDialogOptional = 0;
constexpr int16 plugInDialogRequired = 1;
constexpr int16 plugInDialogNone = 2;
constexpr int16 plugInDialogDontDisplay = 0;
constexpr int16 plugInDialogDisplay = 1;
constexpr int16 plugInDialogSilent = 2;

constexpr Fixed kFixedOne = 0x10000;

// What the filter asks to find outside the image (inputPadding,
// outputPadding, maskPadding): 0 to 255 fills every byte with that value;
// or one of these.
constexpr int16 plugInWantsEdgeReplication = -1;
constexpr int16 plugInDoesNotWantPadding = -2;
constexpr int16 plugInWantsErrorOnBoundsException = -3;

struct Point {
  int16 v;
  int16 h;
};

struct Rect {
  int16 top;
  int16 left;
  int16 bottom;
  int16 right;
};

struct VRect {
  int32 top;
  int32 left;
  int32 bottom;
  int32 right;
};

struct PSRGBColor {
  uint16 red;
  uint16 green;
  uint16 blue;
};

struct PlugInMonitor {
  Fixed gamma, redX, redY, greenX, greenY, blueX, blueY, whiteX, whiteY, ambient;
};

// The first field of the platform data is the window that owns our dialogs.
struct PlatformData {
  intptr_t hwnd;
};

// Every callback uses the C calling convention, the compiler default here.
using TestAbortProc = Boolean (*)();
using ProgressProc = void (*)(int32 done, int32 total);
using HostProc = void (*)(int16 selector, intptr_t* data);
using ProcessEventProc = void (*)(void* event);
using AdvanceStateProc = OSErr (*)();
using ColorServicesProc = OSErr (*)(void* info);
using GetPropertyProc = OSErr (*)(uint32 signature, uint32 key, int32 index, intptr_t* simpleProperty,
                                  Handle* complexProperty);

using NewPIHandleProc = Handle (*)(int32 size);
using DisposePIHandleProc = void (*)(Handle h);
using GetPIHandleSizeProc = int32 (*)(Handle h);
using SetPIHandleSizeProc = OSErr (*)(Handle h, int32 newSize);
using LockPIHandleProc = Ptr (*)(Handle h, Boolean moveHigh);
using UnlockPIHandleProc = void (*)(Handle h);
using RecoverSpaceProc = void (*)(int32 size);
using DisposeRegularHandleProc = void (*)(Handle h);

struct HandleProcs {
  int16 handleProcsVersion;
  int16 numHandleProcs;
  NewPIHandleProc newProc;
  DisposePIHandleProc disposeProc;
  GetPIHandleSizeProc getSizeProc;
  SetPIHandleSizeProc setSizeProc;
  LockPIHandleProc lockProc;
  UnlockPIHandleProc unlockProc;
  RecoverSpaceProc recoverSpaceProc;
  DisposeRegularHandleProc disposeRegularHandleProc;
};
constexpr int16 kCurrentHandleProcsVersion = 1;
constexpr int16 kCurrentHandleProcsCount = 8;

// Scripting descriptors.
using PIReadDescriptor = void*;
using PIWriteDescriptor = void*;
using PIDescriptorHandle = Handle;
using DescriptorKeyID = uint32;
using DescriptorTypeID = uint32;
using DescriptorUnitID = uint32;
using DescriptorEnumID = uint32;
using DescriptorEnumTypeID = uint32;
using DescriptorClassID = uint32;
using DescriptorKeyIDArray = DescriptorKeyID*;

struct PIDescriptorSimpleReference {
  DescriptorTypeID desiredClass;
  uint32 keyForm;
  struct {
    unsigned char name[256];
    int32 index;
    DescriptorTypeID type;
    DescriptorEnumID value;
  } keyData;
};

struct ReadDescriptorProcs {
  int16 readDescriptorProcsVersion;
  int16 numReadDescriptorProcs;
  PIReadDescriptor (*openReadDescriptorProc)(PIDescriptorHandle, DescriptorKeyIDArray);
  OSErr (*closeReadDescriptorProc)(PIReadDescriptor);
  Boolean (*getKeyProc)(PIReadDescriptor, DescriptorKeyID* key, DescriptorTypeID* type, int32* flags);
  OSErr (*getIntegerProc)(PIReadDescriptor, int32*);
  OSErr (*getFloatProc)(PIReadDescriptor, real64*);
  OSErr (*getUnitFloatProc)(PIReadDescriptor, DescriptorUnitID*, real64*);
  OSErr (*getBooleanProc)(PIReadDescriptor, Boolean*);
  OSErr (*getTextProc)(PIReadDescriptor, Handle*);
  OSErr (*getAliasProc)(PIReadDescriptor, Handle*);
  OSErr (*getEnumeratedProc)(PIReadDescriptor, DescriptorEnumID*);
  OSErr (*getClassProc)(PIReadDescriptor, DescriptorTypeID*);
  OSErr (*getSimpleReferenceProc)(PIReadDescriptor, PIDescriptorSimpleReference*);
  OSErr (*getObjectProc)(PIReadDescriptor, DescriptorTypeID*, PIDescriptorHandle*);
  OSErr (*getCountProc)(PIReadDescriptor, uint32*);
  OSErr (*getStringProc)(PIReadDescriptor, unsigned char (*)[256]);
  OSErr (*getPinnedIntegerProc)(PIReadDescriptor, int32 min, int32 max, int32*);
  OSErr (*getPinnedFloatProc)(PIReadDescriptor, const real64* min, const real64* max, real64*);
  OSErr (*getPinnedUnitFloatProc)(PIReadDescriptor, const real64* min, const real64* max, DescriptorUnitID*,
                                  real64*);
};
constexpr int16 kCurrentReadDescriptorProcsVersion = 0;
constexpr int16 kCurrentReadDescriptorProcsCount = 18;

struct WriteDescriptorProcs {
  int16 writeDescriptorProcsVersion;
  int16 numWriteDescriptorProcs;
  PIWriteDescriptor (*openWriteDescriptorProc)();
  OSErr (*closeWriteDescriptorProc)(PIWriteDescriptor, PIDescriptorHandle* newDescriptor);
  OSErr (*putIntegerProc)(PIWriteDescriptor, DescriptorKeyID, int32);
  OSErr (*putFloatProc)(PIWriteDescriptor, DescriptorKeyID, const real64*);
  OSErr (*putUnitFloatProc)(PIWriteDescriptor, DescriptorKeyID, DescriptorUnitID, const real64*);
  OSErr (*putBooleanProc)(PIWriteDescriptor, DescriptorKeyID, Boolean);
  OSErr (*putTextProc)(PIWriteDescriptor, DescriptorKeyID, Handle);
  OSErr (*putAliasProc)(PIWriteDescriptor, DescriptorKeyID, Handle);
  OSErr (*putEnumeratedProc)(PIWriteDescriptor, DescriptorKeyID, DescriptorTypeID, DescriptorEnumID);
  OSErr (*putClassProc)(PIWriteDescriptor, DescriptorKeyID, DescriptorTypeID);
  OSErr (*putSimpleReferenceProc)(PIWriteDescriptor, DescriptorKeyID, const PIDescriptorSimpleReference*);
  OSErr (*putObjectProc)(PIWriteDescriptor, DescriptorKeyID, DescriptorTypeID, PIDescriptorHandle);
  OSErr (*putCountProc)(PIWriteDescriptor, DescriptorKeyID, uint32 count);
  OSErr (*putStringProc)(PIWriteDescriptor, DescriptorKeyID, const unsigned char* pascalStr);
  OSErr (*putScopedClassProc)(PIWriteDescriptor, DescriptorKeyID, DescriptorTypeID);
  OSErr (*putScopedObjectProc)(PIWriteDescriptor, DescriptorKeyID, DescriptorTypeID, PIDescriptorHandle);
};
constexpr int16 kCurrentWriteDescriptorProcsVersion = 0;
constexpr int16 kCurrentWriteDescriptorProcsCount = 16;

struct PIDescriptorParameters {
  int16 descriptorParametersVersion;
  int16 playInfo;
  int16 recordInfo;
  PIDescriptorHandle descriptor;
  WriteDescriptorProcs* writeDescriptorProcs;
  ReadDescriptorProcs* readDescriptorProcs;
};
constexpr int16 kCurrentDescriptorParametersVersion = 0;

struct PSPixelMask {
  PSPixelMask* next;
  void* maskData;
  int32 rowBytes;
  int32 colBytes;
  int32 maskDescription;
};

struct PSPixelMap {
  int32 version;
  VRect bounds;
  int32 imageMode;
  int32 rowBytes;
  int32 colBytes;
  int32 planeBytes;
  void* baseAddr;
  PSPixelMask* mat;
  PSPixelMask* masks;
  int32 maskPhaseRow;
  int32 maskPhaseCol;
};

using DisplayPixelsProc = OSErr (*)(const PSPixelMap* source, const VRect* srcRect, int32 dstRow, int32 dstCol,
                                    void* platformContext);

struct AboutRecord {
  void* platformData;
  void* sSPBasic;
  void* plugInRef;
  char reserved[244];
};

// The filter record is 4-byte packed on every platform; the 4.0-era fields end
// at documentInfo, and the plug-in reads nothing beyond them.
#pragma pack(push, 4)
struct FilterRecord {
  int32 serialNumber;
  TestAbortProc abortProc;
  ProgressProc progressProc;
  Handle parameters;
  Point imageSize;
  int16 planes;
  Rect filterRect;
  PSRGBColor background;
  PSRGBColor foreground;
  int32 maxSpace;
  int32 bufferSpace;
  Rect inRect;
  int16 inLoPlane;
  int16 inHiPlane;
  Rect outRect;
  int16 outLoPlane;
  int16 outHiPlane;
  void* inData;
  int32 inRowBytes;
  void* outData;
  int32 outRowBytes;
  Boolean isFloating;
  Boolean haveMask;
  Boolean autoMask;
  Rect maskRect;
  void* maskData;
  int32 maskRowBytes;
  uint8 backColor[4];
  uint8 foreColor[4];
  OSType hostSig;
  HostProc hostProc;
  int16 imageMode;
  Fixed imageHRes;
  Fixed imageVRes;
  Point floatCoord;
  Point wholeSize;
  PlugInMonitor monitor;
  void* platformData;
  void* bufferProcs;
  void* resourceProcs;
  ProcessEventProc processEvent;
  DisplayPixelsProc displayPixels;
  HandleProcs* handleProcs;
  Boolean supportsDummyChannels;
  Boolean supportsAlternateLayouts;
  int16 wantLayout;
  int16 filterCase;
  int16 dummyPlaneValue;
  void* premiereHook;
  AdvanceStateProc advanceState;
  Boolean supportsAbsolute;
  Boolean wantsAbsolute;
  GetPropertyProc getPropertyObsolete;
  Boolean cannotUndo;
  Boolean supportsPadding;
  int16 inputPadding;
  int16 outputPadding;
  int16 maskPadding;
  char samplingSupport;
  char reservedByte;
  Fixed inputRate;
  Fixed maskRate;
  ColorServicesProc colorServices;
  int16 inLayerPlanes;
  int16 inTransparencyMask;
  int16 inLayerMasks;
  int16 inInvertedLayerMasks;
  int16 inNonLayerPlanes;
  int16 outLayerPlanes;
  int16 outTransparencyMask;
  int16 outLayerMasks;
  int16 outInvertedLayerMasks;
  int16 outNonLayerPlanes;
  int16 absLayerPlanes;
  int16 absTransparencyMask;
  int16 absLayerMasks;
  int16 absInvertedLayerMasks;
  int16 absNonLayerPlanes;
  int16 inPreDummyPlanes;
  int16 inPostDummyPlanes;
  int16 outPreDummyPlanes;
  int16 outPostDummyPlanes;
  int32 inColumnBytes;
  int32 inPlaneBytes;
  int32 outColumnBytes;
  int32 outPlaneBytes;
  void* imageServicesProcs;
  void* propertyProcs;
  int16 inTileHeight;
  int16 inTileWidth;
  Point inTileOrigin;
  int16 absTileHeight;
  int16 absTileWidth;
  Point absTileOrigin;
  int16 outTileHeight;
  int16 outTileWidth;
  Point outTileOrigin;
  int16 maskTileHeight;
  int16 maskTileWidth;
  Point maskTileOrigin;
  PIDescriptorParameters* descriptorParameters;
  unsigned char (*errorString)[256];
  void* channelPortProcs;
  void* documentInfo;
};
#pragma pack(pop)

// The size at which real hosts allocate the record (the 6.0 field set plus its
// reserved tail); our own host allocates it so, zero-filled.
constexpr std::size_t kHostFilterRecordSize = sizeof(void*) == 4 ? 452 : 556;

namespace host_records_layout {
constexpr bool k32 = sizeof(void*) == 4;
constexpr std::size_t Pick(std::size_t x86, std::size_t x64) { return k32 ? x86 : x64; }

static_assert(sizeof(Rect) == 8 && sizeof(VRect) == 16 && sizeof(Point) == 4);
static_assert(sizeof(PSRGBColor) == 6 && sizeof(PlugInMonitor) == 40);

static_assert(offsetof(FilterRecord, abortProc) == 4);
static_assert(offsetof(FilterRecord, progressProc) == Pick(8, 12));
static_assert(offsetof(FilterRecord, parameters) == Pick(12, 20));
static_assert(offsetof(FilterRecord, imageSize) == Pick(16, 28));
static_assert(offsetof(FilterRecord, planes) == Pick(20, 32));
static_assert(offsetof(FilterRecord, filterRect) == Pick(22, 34));
static_assert(offsetof(FilterRecord, maxSpace) == Pick(44, 56));
static_assert(offsetof(FilterRecord, bufferSpace) == Pick(48, 60));
static_assert(offsetof(FilterRecord, inRect) == Pick(52, 64));
static_assert(offsetof(FilterRecord, inLoPlane) == Pick(60, 72));
static_assert(offsetof(FilterRecord, inHiPlane) == Pick(62, 74));
static_assert(offsetof(FilterRecord, outRect) == Pick(64, 76));
static_assert(offsetof(FilterRecord, outLoPlane) == Pick(72, 84));
static_assert(offsetof(FilterRecord, outHiPlane) == Pick(74, 86));
static_assert(offsetof(FilterRecord, inData) == Pick(76, 88));
static_assert(offsetof(FilterRecord, inRowBytes) == Pick(80, 96));
static_assert(offsetof(FilterRecord, outData) == Pick(84, 100));
static_assert(offsetof(FilterRecord, outRowBytes) == Pick(88, 108));
static_assert(offsetof(FilterRecord, isFloating) == Pick(92, 112));
static_assert(offsetof(FilterRecord, maskRect) == Pick(96, 116));
static_assert(offsetof(FilterRecord, maskData) == Pick(104, 124));
static_assert(offsetof(FilterRecord, maskRowBytes) == Pick(108, 132));
static_assert(offsetof(FilterRecord, hostSig) == Pick(120, 144));
static_assert(offsetof(FilterRecord, imageMode) == Pick(128, 156));
static_assert(offsetof(FilterRecord, monitor) == Pick(148, 176));
static_assert(offsetof(FilterRecord, platformData) == Pick(188, 216));
static_assert(offsetof(FilterRecord, displayPixels) == Pick(204, 248));
static_assert(offsetof(FilterRecord, handleProcs) == Pick(208, 256));
static_assert(offsetof(FilterRecord, advanceState) == Pick(224, 280));
static_assert(offsetof(FilterRecord, inputPadding) == Pick(238, 302));
static_assert(offsetof(FilterRecord, outputPadding) == Pick(240, 304));
static_assert(offsetof(FilterRecord, maskPadding) == Pick(242, 306));
static_assert(offsetof(FilterRecord, inputRate) == Pick(248, 312));
static_assert(offsetof(FilterRecord, maskRate) == Pick(252, 316));
static_assert(offsetof(FilterRecord, inLayerPlanes) == Pick(260, 328));
static_assert(offsetof(FilterRecord, inTransparencyMask) == Pick(262, 330));
static_assert(offsetof(FilterRecord, inColumnBytes) == Pick(300, 368));
static_assert(offsetof(FilterRecord, maskTileOrigin) == Pick(352, 428));
static_assert(offsetof(FilterRecord, descriptorParameters) == Pick(356, 432));
static_assert(offsetof(FilterRecord, documentInfo) == Pick(368, 456));
static_assert(sizeof(FilterRecord) == Pick(372, 464));
static_assert(sizeof(FilterRecord) <= kHostFilterRecordSize);

static_assert(offsetof(AboutRecord, sSPBasic) == Pick(4, 8));
static_assert(offsetof(AboutRecord, reserved) == Pick(12, 24));
static_assert(sizeof(AboutRecord) == Pick(256, 272));

static_assert(offsetof(HandleProcs, numHandleProcs) == 2);
static_assert(offsetof(HandleProcs, newProc) == Pick(4, 8));
static_assert(offsetof(HandleProcs, setSizeProc) == Pick(16, 32));
static_assert(offsetof(HandleProcs, lockProc) == Pick(20, 40));
static_assert(offsetof(HandleProcs, unlockProc) == Pick(24, 48));
static_assert(offsetof(HandleProcs, disposeRegularHandleProc) == Pick(32, 64));
static_assert(sizeof(HandleProcs) == Pick(36, 72));

static_assert(offsetof(PIDescriptorParameters, playInfo) == 2);
static_assert(offsetof(PIDescriptorParameters, recordInfo) == 4);
static_assert(offsetof(PIDescriptorParameters, descriptor) == 8);
static_assert(offsetof(PIDescriptorParameters, writeDescriptorProcs) == Pick(12, 16));
static_assert(offsetof(PIDescriptorParameters, readDescriptorProcs) == Pick(16, 24));
static_assert(sizeof(PIDescriptorParameters) == Pick(20, 32));

static_assert(offsetof(ReadDescriptorProcs, openReadDescriptorProc) == Pick(4, 8));
static_assert(offsetof(ReadDescriptorProcs, getEnumeratedProc) == Pick(40, 80));
static_assert(offsetof(ReadDescriptorProcs, getBooleanProc) == Pick(28, 56));
static_assert(offsetof(ReadDescriptorProcs, getPinnedUnitFloatProc) == Pick(72, 144));
static_assert(sizeof(ReadDescriptorProcs) == Pick(76, 152));
static_assert(offsetof(WriteDescriptorProcs, openWriteDescriptorProc) == Pick(4, 8));
static_assert(offsetof(WriteDescriptorProcs, putUnitFloatProc) == Pick(20, 40));
static_assert(offsetof(WriteDescriptorProcs, putBooleanProc) == Pick(24, 48));
static_assert(offsetof(WriteDescriptorProcs, putEnumeratedProc) == Pick(36, 72));
static_assert(sizeof(WriteDescriptorProcs) == Pick(68, 136));
static_assert(sizeof(PIDescriptorSimpleReference) == 276);

static_assert(offsetof(PSPixelMap, bounds) == 4);
static_assert(offsetof(PSPixelMap, imageMode) == 20);
static_assert(offsetof(PSPixelMap, baseAddr) == Pick(36, 40));
static_assert(offsetof(PSPixelMap, mat) == Pick(40, 48));
static_assert(offsetof(PSPixelMap, maskPhaseCol) == Pick(52, 68));
static_assert(sizeof(PSPixelMap) == Pick(56, 72));
static_assert(offsetof(PSPixelMask, maskData) == Pick(4, 8));
static_assert(offsetof(PSPixelMask, maskDescription) == Pick(16, 24));
static_assert(sizeof(PSPixelMask) == Pick(20, 32));
}  // namespace host_records_layout
