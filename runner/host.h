// Our own host: owns a filter record, the data and result words and a handle
// suite, and calls a filter's entry point selector by selector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "records/host_records.h"
#include "runner/dialog_session.h"
#include "runner/filter_loader.h"
#include "runner/image.h"

namespace vantrel::runner {

// Whether `r` holds any pixel.
inline bool NonEmpty(const Rect& r) { return r.left < r.right && r.top < r.bottom; }

// How the suite answers about the handles it made. Our host tells the truth;
// real hosts do not always.
struct HandleHabits {
  enum class Size { Honest, Zero, Negative, Smaller, Larger };
  Size size = Size::Honest;          // what getSizeProc answers
  bool setSizeDoesNothing = false;   // setSizeProc answers noErr and resizes nothing
  bool disposeFreesNothing = false;  // disposeProc keeps the block until the host goes
  bool lockAnswersNull = false;      // lockProc answers nullptr
};

// When the host calls finish, and when it takes over the last output (the
// flush: the output of the last call handed back, the buffers let go).
enum class FinishHabit {
  Always,                  // after every run whose start succeeded
  Never,
  OnlyAfterFailure,        // a run that went well is flushed and left without finish
  BeforeFlushAfterSuccess, // finish, then the flush; a failed run gets neither
  AfterFlush,              // the flush, then finish, whatever the run's outcome
};

// How a host program behaves where hosts differ, beside the values it puts
// in the record: set whole by a profile, or a habit at a time by tests.
struct HostHabits {
  HandleHabits handles;  // how the handle suite answers
  FinishHabit finish = FinishHabit::Always;
  // Requested rectangles clamped to the image and strides recomputed
  // instead of padding; the loop ends only on zeroed right edges.
  bool clampRects = false;
  // Requests wholly inside the image served from the image's own memory,
  // not from copies.
  bool serveFromImage = true;
  // Out-of-image pixels are whatever the buffer held, whatever padding the
  // filter asked for.
  bool ignorePadding = false;
  // The result of the advanceState this host makes itself before each
  // continue is not looked at.
  bool ignoreOwnAdvanceErrors = false;
  // displayPixels takes RGB and grey pictures only; anything else ends the
  // host program.
  bool displaysOnlyRgbAndGray = false;
  // Extra bytes at the end of every buffer row, as hosts that align their
  // rows have: strides wider than the data. Buffers are then always copies.
  int32 rowSlack = 0;
  // The largest buffer the host lends for one request; a request for more
  // answers memFullErr, as a host that cannot allocate it does.
  int64_t mostBufferBytes = int64_t{256} << 20;
};

// The host programs whose habits are known (from their sources), as profiles
// of our host. Each brings its handle suite's answers, its call order, what
// it does with rectangles, buffers and the filter's words between runs, and
// the values it puts in the record.
enum class HostProfile {
  Honest,         // ours: every answer true
  PluginHostDll,  // a C++ host library: size 0 for its own handles, set-size and
                  // dispose that do nothing, no block kept between runs, finish
                  // before the flush and none after a failure, rectangles clipped
                  // to the image, no padding, descriptor record without suites
  GimpBridge,     // the GIMP bridge: unloads the filter after every run and hands
                  // back the last run's data word and block, never calls finish
                  // after a run that went well, zero rates, filter case 0, no
                  // descriptor suites, no owner window, garbage for padding
  DotNetHost,     // the .NET hosts: the flush after the loop and then finish,
                  // blocks saved after a run and restored in a new handle,
                  // padding errors by default, advanceState results of its own
                  // ignored, flat images as non-layer planes
};

// The habits of a profile's host program.
HostHabits HabitsOf(HostProfile profile);

// The descriptor suites the host offers, as the host programs do.
enum class DescriptorSuiteMode {
  Full,        // parameters record and both suites of version 0, full counts
  None,        // descriptorParameters is null
  NullSuites,  // the record is there but both suite pointers are null
};

// One value of a descriptor in our store.
struct DescriptorItem {
  DescriptorKeyID key = 0;
  DescriptorTypeID type = 0;  // 'UntF', 'enum', 'bool', 'long' or 'doub'
  uint32 unitOrEnumType = 0;
  real64 number = 0;          // 'UntF', 'doub'
  uint32 enumValue = 0;       // 'enum'
  bool boolean = false;       // 'bool'
  int32 integer = 0;          // 'long'

  static DescriptorItem UnitFloat(DescriptorKeyID key, DescriptorUnitID unit, real64 value);
  static DescriptorItem Enumerated(DescriptorKeyID key, DescriptorTypeID type, DescriptorEnumID value);
  static DescriptorItem Bool(DescriptorKeyID key, bool value);
  static DescriptorItem Integer(DescriptorKeyID key, int32 value);
};
using Descriptor = std::vector<DescriptorItem>;

// One call of displayPixels: what the filter asked to draw, and the pixels
// that our host drew (RGB; empty when it could not draw them).
struct DisplayCall {
  PSPixelMap map{};
  bool hasMask = false;
  PSPixelMask mask{};
  VRect source{};
  int32 row = 0, col = 0;
  void* context = nullptr;
  Image drawn;  // the newest call's only
};

// Renders the `source` rectangle of `map` as RGB: RGB and CMYK maps of
// interleaved 8-bit planes, CMYK shown as RGB, a mask of version 1 and later
// laid over white. Answers false, leaving `rgb` alone, for anything else,
// deep pictures included: like the open hosts, ours draws 8 bits only.
bool RenderPixelMap(const PSPixelMap& map, const VRect& source, Image& rgb);

struct ProgressCall {
  int32 done;
  int32 total;
};

// One call the filter made into the handle suite.
struct HandleEvent {
  enum Kind { New, Dispose, Lock, Unlock } kind;
  Handle handle;
};

// Where the rows of a streamed image come from and where the finished ones
// go, so that a host holds a few bands of an image however tall it is.
class RowStream {
 public:
  virtual ~RowStream() = default;
  // Copies `count` rows of the image from row `top` on into `rows`, `stride`
  // bytes apart, each width * planes samples. Rows are asked for once each,
  // top to bottom, every call going on where the last one ended. Answers
  // noErr, or the code that ends the run.
  virtual OSErr ReadRows(int32 top, int32 count, uint8* rows, std::ptrdiff_t stride) = 0;
  // Takes the finished rows from `top` on, in the same form: every row of the
  // image once, top to bottom. Answers noErr, or the code that ends the run.
  virtual OSErr WriteRows(int32 top, int32 count, const uint8* rows, std::ptrdiff_t stride) = 0;
};

class Host {
 public:
  explicit Host(EntryProc entry);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // The record as the filter sees it; allocated zero-filled at the size real
  // hosts use.
  FilterRecord& record() { return *record_; }

  // Calls the filter with `selector`; the result word is preset to
  // `kResultSentinel` so that a call that writes nothing can be told apart.
  int16 Call(int16 selector);
  // Calls the about selector with an about record naming `ownerWindow`.
  int16 CallAbout(intptr_t ownerWindow);
  // Calls with the given words, for tests of what the filter does with them.
  void CallRaw(int16 selector, void* record, intptr_t* data, int16* result);

  static constexpr int16 kResultSentinel = 0x7A5A;

  intptr_t& data() { return data_; }
  int16 result() const { return result_; }

  // Takes on the habits of a host program and the values it puts in the
  // record. Call before SetImage, which fills the record's image fields as
  // that host does.
  void UseProfile(HostProfile profile);
  // The habits the host has (the profile's, or ours by default), and other
  // habits in their place; the record's values stay as they are.
  const HostHabits& habits() const { return habits_; }
  void SetHabits(const HostHabits& habits) { habits_ = habits; }
  // How a host that unloads the filter after every run loads it again before
  // the next; without it the filter stays loaded.
  void SetReloader(std::function<EntryProc()> reload) { reload_ = std::move(reload); }
  // A handle from the host's own suite, as a block kept from an earlier run;
  // it counts among the live handles until disposed of.
  Handle NewHandle(int32 size) { return MakeHandle(size); }
  // Handles made through the suite and not yet disposed of (a dispose that
  // frees nothing counts as disposed of).
  int LiveHandles() const;
  // Locks minus unlocks of a handle made through the suite.
  int LockCount(Handle h) const;
  bool OwnsHandle(Handle h) const;
  const std::vector<HandleEvent>& handleEvents() const { return events_; }
  void ClearHandleEvents() { events_.clear(); }

  // Ends the run as a host does: disposes of the filter's data and parameter
  // handles, whichever side made them.
  void DisposeRunHandles();

  // ---- Image and run.
  // Sets the image to filter, its mode and the filter rectangle (default: the
  // whole image). The destination starts as the source. The image's sample
  // size is the one the buffers are served at, whatever the mode says: 2 for
  // the deep modes, as a host that tells the truth hands them over.
  //
  // A run writes into a working copy of the destination, which becomes the
  // destination only when the run ends without error: a cancelled or failed
  // run, its preview fetches included, leaves the image as it was.
  void SetImage(Image source, int16 imageMode);
  void SetImage(Image source, int16 imageMode, Rect filterRect);
  // Streams an image instead of holding it: `shape` gives its size, planes
  // and sample size (its pixels are not looked at) and `stream` serves its
  // rows. The filter rectangle is the whole image. A run reads rows as its
  // requests reach them and holds only the rows between the first one a
  // request may still read or write and the last one read; the rows above
  // go to the stream once no request can change them any more, those no
  // request reached as they came. Requests must therefore move down the
  // image: one that reads or writes a row already handed on answers
  // paramErr (so there is no preview). After a failed run no more rows are
  // handed on; the rows handed on so far are the caller's to discard.
  // source() then holds the shape alone, and there is no destination().
  void StreamImage(const Image& shape, int16 imageMode, RowStream& stream);
  // The most rows of a streamed image that the last run held at once.
  int32 heldRowsPeak() const { return heldPeak_; }
  const Image& source() const { return source_; }
  const Image& destination() const { return destinationIsSource_ ? source_ : destination_; }
  // The pixels as the last run left them: the destination after a run that
  // ended without error, the discarded working copy after one that did not.
  const Image& runOutput() const { return lastRunFailed_ && rollBack_ ? working_ : destination(); }
  // Whether a failed run leaves the image as it was (the default), at the
  // cost of a copy of the image per run; without it runs write straight into
  // the destination, as a host that has its document to itself does.
  void RollBackFailedRuns(bool rollBack) { rollBack_ = rollBack; }

  // One run as a host drives it: (parameters,) prepare, start, continue while
  // data is requested, finish. The Globals of an earlier run are disposed of
  // first; the parameter block and descriptor are kept. Answers the run's
  // first non-zero result, or noErr.
  int16 RunFilter(bool withParametersSelector = false);
  // The same run a step at a time, so that a caller can take turns between
  // hosts: StartRun calls the selectors up to start and answers the first
  // non-zero result (the run is then over, EndRun still due); StepRun serves
  // one request and calls continue, and answers whether the run is still in
  // its loop; EndRun calls finish as the host's habit has it and answers the
  // run's result. A run left while still in its loop ends as cancelled by
  // the host: userCanceledErr, and finish.
  int16 StartRun(bool withParametersSelector = false);
  bool StepRun();
  int16 EndRun();
  // Called in every run between prepare and start, as a host does that sets
  // up the filter's parameter block itself instead of showing the dialog.
  void BeforeStart(std::function<void()> action) { beforeStart_ = std::move(action); }
  // The selectors of the last run, in order.
  const std::vector<int16>& selectorsCalled() const { return selectors_; }
  // How often continue was called in the last run.
  int continueCalls() const { return continueCalls_; }

  // ---- Protocol.
  void OfferAdvanceState(bool offer);
  void OfferDisplayPixels(bool offer);
  // The calls of advanceState in the run at hand.
  int advanceStateCalls() const { return advanceCalls_; }
  // The requests advanceState served, as the rectangles stood at each call.
  const std::vector<Rect>& servedInRects() const { return servedInRects_; }

  // ---- Callbacks. abortProc never says stop: a program that lets its
  // user cancel puts its own in the record.
  const std::vector<ProgressCall>& progressCalls() const { return progress_; }
  int displayPixelsCalls() const { return static_cast<int>(displayCalls_.size()); }
  // Calls that the host program of the profile would not have survived: a
  // picture in a mode its displayPixels aborts on.
  int fatalCalls() const { return fatalCalls_; }
  const std::vector<DisplayCall>& displayCalls() const { return displayCalls_; }

  // ---- The filter's dialog.
  // What the user does in each dialog shown during a start call; a dialog
  // left open afterwards is accepted with OK. Without a script every dialog
  // is accepted at once.
  void SetDialogScript(DialogScript script) { dialogScript_ = std::move(script); }
  // Leaves the filter's dialogs to a person at the screen: no scripted user
  // and no OK on their behalf, so start returns when they close the dialog.
  // Natively there is no one to ask and the windowless dialog is accepted
  // at once, as without a script.
  void LeaveDialogsToPerson(bool leave) { dialogsToPerson_ = leave; }
  // Dialogs shown since the host was made (not counted when left to a person).
  int dialogsShown() const { return dialogsShown_; }
  // The host's own window, named in the platform data as the owner of the
  // filter's dialogs; 0 where there is no window system.
  intptr_t window() const { return window_; }
  // Names `window` in the platform data in place of the host's own, until
  // named again: where there is no window system, the dialog backend the
  // filter's dialogs are shown through (dialog::DialogBackend::AsWindow).
  void NameWindow(intptr_t window) { platform_.hwnd = window; }
  intptr_t namedWindow() const { return platform_.hwnd; }

  // ---- Scripting descriptors.
  void SetDescriptorSuite(DescriptorSuiteMode mode);
  void SetPlayInfo(int16 playInfo) { descriptorParameters_.playInfo = playInfo; }
  // Hands the filter a descriptor to read at the next start.
  void SetDescriptor(const Descriptor& items);
  // What the filter's last write recorded.
  const Descriptor& writtenDescriptor() const { return written_; }
  bool descriptorWritten() const { return writes_ > 0; }
  // The descriptor the filter left for the host; nullptr when none.
  Handle currentDescriptor() const { return descriptorParameters_.descriptor; }
  const PIDescriptorParameters& descriptorParameters() const { return descriptorParameters_; }

 protected:
  // The host whose calls the filter is in, for callbacks that wrap this
  // host's own (a host for tests, say).
  static Host* Current() { return current_; }
  // Counts a call of advanceState that a wrapper answered itself.
  void CountAdvanceStateCall() { ++advanceCalls_; }
  // Offers the whole handle suite again.
  void ReofferHandleSuite() { SetHandleSuite(); }

 private:
  // A host handle: the master pointer first, as filters rely on.
  struct HostHandle {
    char* data = nullptr;
    int32 size = 0;
    int lockCount = 0;
    bool disposed = false;  // by a suite whose dispose frees nothing
    std::unique_ptr<char[]> storage;
  };
  // The host whose calls the filter is in: callbacks carry no host of
  // their own. Set by every call; when its host goes, the newest host left.
  static Host* current_;
  static std::vector<Host*> live_;

  // Offers the whole handle suite of version 1.
  void SetHandleSuite();
  static Handle NewProc(int32 size);
  static void DisposeProc(Handle h);
  static int32 GetSizeProc(Handle h);
  static OSErr SetSizeProc(Handle h, int32 size);
  static Ptr LockProc(Handle h, Boolean moveHigh);
  static void UnlockProc(Handle h);
  static void RecoverSpaceProc(int32 size);
  void DisposeAny(Handle h);
  Handle MakeHandle(int32 size);

  // The image protocols.
  struct Buffer {
    Rect rect{};
    int16 loPlane = 0;
    int16 hiPlane = -1;
    int32 rowBytes = 0;
    std::vector<uint8> bytes;
  };
  static OSErr AdvanceStateProc();
  static Boolean NeverAbortProc();
  static void ProgressProcCallback(int32 done, int32 total);
  static OSErr DisplayPixelsProc(const PSPixelMap* source, const VRect* srcRect, int32 dstRow, int32 dstCol,
                                 void* platformContext);
  bool RectsActive() const;
  OSErr ServeRequest();
  // Takes the buffers of the last request back: the record then offers none.
  void WithdrawBuffers();
  // The rows of an image that a request is served from: all of them, or
  // those a streamed run holds.
  struct RowsView {
    Image* rows;      // image rows `first` on
    int32 first = 0;
    uint8* At(int64_t y, int64_t x) const { return rows->At(int(y - first), int(x)); }
  };
  RowsView SourceRows();
  RowsView WorkingRows();
  OSErr FillBuffer(Buffer& buffer, Rect& rect, int16 lo, int16 hi, int16 padding, const RowsView& from,
                   Fixed rate);
  bool Pad(uint8* d, int64_t y, int64_t x, std::size_t offset, std::size_t bytes, int16 padding,
           const RowsView& from) const;
  void TakeOverOutput();
  bool Direct(const Rect& rect, int16 lo, int16 hi, Fixed rate, const Rect& bounds) const;
  // Streamed images: holds the rows the request in the record reads at
  // `rate`; makes the held rows run from `first` to `last`, handing on the
  // rows above `first` and reading down to `last`.
  OSErr HoldRequestedRows(Fixed rate);
  OSErr HoldRows(int32 first, int32 last);
  OSErr ReadHeldRows(int32 last);
  OSErr HandOnRows(int32 until);
  bool Streaming() const { return stream_ != nullptr; }
  void ResetRunCounters();
  // What the host does with the last run's words, block and filter before a
  // new run.
  void BetweenRuns();
  // Hands back the last output and lets the buffers go.
  void Flush();
  void SetImageFields();
  // Makes the working copy from the destination when it does not hold one,
  // as for a selector called outside a run.
  void EnsureWorkingCopy();
  int16 CallInRun(int16 selector);
  // What the run at hand has come to.
  enum class RunStage { Idle, StartFailed, Looping, Left };
  RunStage stage_ = RunStage::Idle;
  OSErr runResult_ = noErr;

  // Descriptor suites.
  struct ReadSession;
  struct WriteSession;
  static PIReadDescriptor OpenRead(PIDescriptorHandle descriptor, DescriptorKeyIDArray keys);
  static OSErr CloseRead(PIReadDescriptor token);
  static Boolean GetKey(PIReadDescriptor token, DescriptorKeyID* key, DescriptorTypeID* type, int32* flags);
  static OSErr GetInteger(PIReadDescriptor token, int32* value);
  static OSErr GetFloat(PIReadDescriptor token, real64* value);
  static OSErr GetUnitFloat(PIReadDescriptor token, DescriptorUnitID* unit, real64* value);
  static OSErr GetBoolean(PIReadDescriptor token, Boolean* value);
  static OSErr GetHandleValue(PIReadDescriptor token, Handle* value);
  static OSErr GetEnumerated(PIReadDescriptor token, DescriptorEnumID* value);
  static OSErr GetClass(PIReadDescriptor token, DescriptorTypeID* value);
  static OSErr GetSimpleReference(PIReadDescriptor token, PIDescriptorSimpleReference* value);
  static OSErr GetObject(PIReadDescriptor token, DescriptorTypeID* type, PIDescriptorHandle* value);
  static OSErr GetCount(PIReadDescriptor token, uint32* value);
  static OSErr GetString(PIReadDescriptor token, unsigned char (*value)[256]);
  static OSErr GetPinnedInteger(PIReadDescriptor token, int32 min, int32 max, int32* value);
  static OSErr GetPinnedFloat(PIReadDescriptor token, const real64* min, const real64* max, real64* value);
  static OSErr GetPinnedUnitFloat(PIReadDescriptor token, const real64* min, const real64* max,
                                  DescriptorUnitID* unit, real64* value);
  static PIWriteDescriptor OpenWrite();
  static OSErr CloseWrite(PIWriteDescriptor token, PIDescriptorHandle* written);
  static OSErr PutInteger(PIWriteDescriptor token, DescriptorKeyID key, int32 value);
  static OSErr PutFloat(PIWriteDescriptor token, DescriptorKeyID key, const real64* value);
  static OSErr PutUnitFloat(PIWriteDescriptor token, DescriptorKeyID key, DescriptorUnitID unit,
                            const real64* value);
  static OSErr PutBoolean(PIWriteDescriptor token, DescriptorKeyID key, Boolean value);
  static OSErr PutEnumerated(PIWriteDescriptor token, DescriptorKeyID key, DescriptorTypeID type,
                             DescriptorEnumID value);
  static OSErr PutUnsupported(PIWriteDescriptor token, DescriptorKeyID key, Handle value);

  EntryProc entry_;
  std::unique_ptr<std::uint64_t[]> recordStorage_;
  FilterRecord* record_;
  HandleProcs suite_{};
  PlatformData platform_{};
  intptr_t data_ = 0;
  int16 result_ = 0;
  std::map<Handle, std::unique_ptr<HostHandle>> handles_;
  std::vector<HandleEvent> events_;

  Image source_;
  // The last successful run's pixels; until there is one the destination is
  // the source itself, so that an image is held twice at most: once as it
  // came and once as a run writes it.
  Image destination_;
  bool destinationIsSource_ = true;
  bool rollBack_ = true;
  Image working_;
  bool lastRunFailed_ = false;
  // A streamed image: its rows from `heldTop_` on, `heldRows_` of them, as
  // they came and as the run writes them.
  RowStream* stream_ = nullptr;
  Image heldIn_;
  Image heldOut_;
  int32 heldTop_ = 0;
  int32 heldRows_ = 0;
  int32 heldPeak_ = 0;
  Buffer in_;
  Buffer out_;
  bool outPending_ = false;
  Fixed outRate_ = kFixedOne;
  std::vector<int16> selectors_;
  int continueCalls_ = 0;
  HostProfile profile_ = HostProfile::Honest;
  HostHabits habits_;
  std::function<EntryProc()> reload_;
  int runs_ = 0;
  // The last run's data word handed back to a filter loaded anew: nothing of
  // ours any more, so this host never releases it.
  intptr_t staleData_ = 0;
  std::vector<std::unique_ptr<HostHandle>> retired_;
  int fatalCalls_ = 0;
  unsigned char errorString_[256] = {};
  std::function<void()> beforeStart_;
  int advanceCalls_ = 0;
  std::vector<Rect> servedInRects_;
  std::vector<ProgressCall> progress_;
  std::vector<DisplayCall> displayCalls_;
  DialogScript dialogScript_;
  bool dialogsToPerson_ = false;
  int dialogsShown_ = 0;
  intptr_t window_ = 0;

  ReadDescriptorProcs readProcs_{};
  WriteDescriptorProcs writeProcs_{};
  PIDescriptorParameters descriptorParameters_{};
  std::map<Handle, Descriptor> descriptors_;
  Descriptor written_;
  int writes_ = 0;
};

}  // namespace vantrel::runner
