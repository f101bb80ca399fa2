// Our host's run: the image set or streamed, the selectors called in a
// host's order (prepare, start, continue while requests come, finish as the
// host's habit has it), the output taken over, and the abort and progress
// callbacks.
#include <algorithm>
#include <utility>

#include "runner/host.h"

namespace vantrel::runner {
namespace {

// Guards the run loop against a filter that keeps asking forever.
constexpr int kMaxContinueCalls = 1 << 20;

}  // namespace

void Host::SetImage(Image source, int16 imageMode) {
  const Rect whole{0, 0, source.height, source.width};
  SetImage(std::move(source), imageMode, whole);
}

void Host::StreamImage(const Image& shape, int16 imageMode, RowStream& stream) {
  Image bare;
  bare.width = shape.width;
  bare.height = shape.height;
  bare.planes = shape.planes;
  bare.sampleBytes = shape.sampleBytes;
  SetImage(std::move(bare), imageMode);
  stream_ = &stream;
}

void Host::SetImage(Image source, int16 imageMode, Rect filterRect) {
  stream_ = nullptr;
  heldIn_ = heldOut_ = Image{};
  source_ = std::move(source);
  destination_ = Image{};
  destinationIsSource_ = true;
  working_ = Image{};
  lastRunFailed_ = false;
  FilterRecord& r = *record_;
  r.imageMode = imageMode;
  r.planes = source_.planes;
  r.imageSize = Point{source_.height, source_.width};
  r.wholeSize = r.imageSize;
  r.filterRect = filterRect;
  SetImageFields();
}

void Host::OfferAdvanceState(bool offer) { record_->advanceState = offer ? AdvanceStateProc : nullptr; }

void Host::OfferDisplayPixels(bool offer) { record_->displayPixels = offer ? DisplayPixelsProc : nullptr; }

void Host::ResetRunCounters() {
  WithdrawBuffers();
  selectors_.clear();
  continueCalls_ = 0;
  advanceCalls_ = 0;
  servedInRects_.clear();
  progress_.clear();
  displayCalls_.clear();
  outPending_ = false;
  heldTop_ = heldRows_ = heldPeak_ = 0;
}

bool Host::RectsActive() const {
  const FilterRecord& r = *record_;
  if (habits_.clampRects) return r.outRect.right != 0 || r.inRect.right != 0;
  return NonEmpty(r.inRect) || NonEmpty(r.outRect) || NonEmpty(r.maskRect);
}

int16 Host::RunFilter(bool withParametersSelector) {
  StartRun(withParametersSelector);
  while (StepRun()) {
  }
  return EndRun();
}

int16 Host::CallInRun(int16 selector) {
  selectors_.push_back(selector);
  return Call(selector);
}

int16 Host::StartRun(bool withParametersSelector) {
  BetweenRuns();
  ResetRunCounters();
  if (Streaming())
    working_ = Image{};
  else if (rollBack_ || destinationIsSource_)
    working_ = destination();
  else
    std::swap(working_, destination_);  // the run goes on where the last one left the image
  stage_ = RunStage::StartFailed;  // a failed start ends the run without finish
  runResult_ = noErr;
  if (withParametersSelector) runResult_ = CallInRun(filterSelectorParameters);
  if (runResult_ == noErr) runResult_ = CallInRun(filterSelectorPrepare);
  if (runResult_ != noErr) return runResult_;
  if (beforeStart_) beforeStart_();
  runResult_ = CallInRun(filterSelectorStart);
  TakeOverOutput();
  if (runResult_ == noErr) stage_ = RunStage::Looping;
  return runResult_;
}

bool Host::StepRun() {
  if (stage_ != RunStage::Looping) return false;
  if (!RectsActive()) {
    stage_ = RunStage::Left;
    return false;
  }
  OSErr served = ServeRequest();
  if (served != noErr && !habits_.ignoreOwnAdvanceErrors) {
    runResult_ = served;
    stage_ = RunStage::Left;
    return false;
  }
  ++continueCalls_;
  runResult_ = CallInRun(filterSelectorContinue);
  // A host that calls finish before its flush takes the last band over
  // only then.
  if (habits_.finish != FinishHabit::BeforeFlushAfterSuccess || RectsActive() || runResult_ != noErr)
    TakeOverOutput();
  if (runResult_ == noErr && continueCalls_ >= kMaxContinueCalls) runResult_ = filterBadParameters;
  if (runResult_ != noErr) stage_ = RunStage::Left;
  return stage_ == RunStage::Looping;
}

int16 Host::EndRun() {
  if (stage_ == RunStage::Looping) {
    runResult_ = userCanceledErr;
    stage_ = RunStage::Left;
  }
  if (stage_ == RunStage::Left) {
    const bool failed = runResult_ != noErr;
    auto finish = [&] {
      const OSErr finished = CallInRun(filterSelectorFinish);
      if (runResult_ == noErr) runResult_ = finished;
    };
    switch (habits_.finish) {
      case FinishHabit::Always: finish(); break;
      case FinishHabit::Never: break;
      case FinishHabit::OnlyAfterFailure:
        if (failed) finish();
        else Flush();
        break;
      case FinishHabit::BeforeFlushAfterSuccess:
        if (!failed) finish();
        Flush();
        break;
      case FinishHabit::AfterFlush:
        Flush();
        finish();
        break;
    }
  }
  if (stage_ == RunStage::Idle) return runResult_;
  stage_ = RunStage::Idle;
  const int16 result = runResult_;
  lastRunFailed_ = result != noErr;
  if (Streaming()) {
    // What no request can change any more goes on: the whole image.
    if (!lastRunFailed_) runResult_ = HandOnRows(source_.height);
    in_ = out_ = Buffer{};
    heldIn_ = heldOut_ = Image{};
    heldRows_ = 0;
    lastRunFailed_ = runResult_ != noErr;
    return runResult_;
  }
  if (!lastRunFailed_ || !rollBack_) {
    std::swap(destination_, working_);
    destinationIsSource_ = false;
    working_ = Image{};  // the image before this run is not kept
  }
  return result;
}

void Host::Flush() {
  TakeOverOutput();
  in_ = Buffer{};
  out_ = Buffer{};
  FilterRecord& r = *record_;
  r.inData = r.outData = nullptr;
  r.inRowBytes = r.outRowBytes = 0;
}

Boolean Host::NeverAbortProc() { return 0; }

void Host::ProgressProcCallback(int32 done, int32 total) { current_->progress_.push_back({done, total}); }

}  // namespace vantrel::runner
