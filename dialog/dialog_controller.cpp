// The parameter dialog's controller.
#include "dialog/dialog_controller.h"

#include "core/channel_orders.h"
#include "core/parameters.h"
#include "core/preview.h"
#include "dialog/painting.h"
#include "host/availability.h"
#include "host/image_modes.h"
#include "resources/resource_ids.h"

namespace vantrel::dialog {
namespace {

constexpr int kControlIds[] = {IDC_OK,          IDC_CANCEL,          IDC_CHANNEL_1,   IDC_CHANNEL_2,
                               IDC_CHANNEL_3,   IDC_CHANNEL_4,       IDC_BLEND_CROSS,       IDC_BLEND_MIX,
                               IDC_BLEND,       IDC_NUDGE_UP_RIGHT,  IDC_NUDGE_DOWN_RIGHT,
                               IDC_NUDGE_RIGHT, IDC_NUDGE_UP_LEFT,   IDC_NUDGE_DOWN_LEFT,
                               IDC_NUDGE_LEFT,  IDC_NUDGE_UP,        IDC_NUDGE_DOWN,  IDC_ZOOM_IN,
                               IDC_ZOOM_OUT,    IDC_ORDER_LIST,      IDC_EXCLUDE,     IDC_ORDER_HEADING};

// The channel button of 1-based channel `channel`: one for each plane an
// order can have.
int ChannelButton(int channel) { return IDC_CHANNEL_1 - 1 + channel; }
static_assert(IDC_CHANNEL_4 - IDC_CHANNEL_1 + 1 == kMaxOrderPlanes);

}  // namespace

DialogController::DialogController(DialogView& view, Globals* globals) : view_(view), globals_(globals) {
  static_assert(sizeof kControlIds / sizeof kControlIds[0] == kControlCount);
  for (int i = 0; i < kControlCount; ++i) controls_[i] = Control{kControlIds[i], false, true};
}

DialogController::Control* DialogController::Find(int id) {
  for (Control& c : controls_)
    if (c.id == id) return &c;
  return nullptr;
}

bool DialogController::checked(int id) const {
  for (const Control& c : controls_)
    if (c.id == id) return c.checked;
  return false;
}

bool DialogController::enabled(int id) const {
  for (const Control& c : controls_)
    if (c.id == id) return c.enabled;
  return false;
}

void DialogController::Check(int id, bool on) {
  if (Control* c = Find(id)) c->checked = on;
  view_.SetChecked(id, on);
}

void DialogController::Enable(int id, bool on) {
  if (Control* c = Find(id)) c->enabled = on;
  view_.SetEnabled(id, on);
}

// The dialog is only made over a run that has its block (ShowParameterDialog
// checks), and the host does not take it away while the dialog is open.
FilterParameters& DialogController::Block() const { return *BlockOf(globals_); }

// The host's filter rectangle: kept in the block once a fetch has narrowed
// the record's.
Rect DialogController::HostRect() const { return fetched_ ? Block().savedFilterRect : Record().filterRect; }

// Channel buttons the image mode has: 3 for RGB, 4 for CMYK, at either depth.
int DialogController::ChannelButtons() const { return ChannelOrderPlanes(Record().imageMode); }

bool DialogController::PreviewShown() const { return Block().previewAvailable != 0; }

// ---------------------------------------------------------------------------
// Initialisation.

void DialogController::Initialise() {
  FilterParameters& block = Block();
  savedAmount_ = block.amount;
  savedModeCode_ = block.modeCode;
  savedEntIFlag_ = block.entIFlag;

  InitialiseExclusion();
  InitialiseBlend();
  block.zoomFactor = 1;
  InitialisePreview();
  InitialiseList();
  // The template's heading names the RGB planes; other tables name their
  // own, as their first row does.
  if (host::EightBitMode(Record().imageMode) == plugInModeCMYKColor) {
    heading_ = ChannelOrderName(Record().imageMode, 0);
    view_.SetText(IDC_ORDER_HEADING, heading_);
  }

  // The navigation starts where the first preview is: centred, nothing
  // dragged or committed, whatever an earlier opening did.
  nav_ = PreviewNavigation{};
  const Rect& out = Record().outRect;
  const int32 w = bufferValid_ ? Width(out) : 0;
  const int32 h = bufferValid_ ? Height(out) : 0;
  nav_.previewRect = PlacePreview(view_.PreviewAnchor(), w, h);
  if (bufferValid_) nav_.SetMargins(Block().savedFilterRect, Record().filterRect);

  Enable(IDC_ZOOM_IN, false);
  Enable(IDC_ZOOM_OUT, ZoomOutAllowed(HostRect(), 1, nav_.previewRect));
}

void DialogController::InitialiseExclusion() {
  FilterParameters& block = Block();
  const int lastChannel = ChannelButtons();
  if (lastChannel != 0 && (block.excludedChannel < 1 || block.excludedChannel > lastChannel))
    block.excludedChannel = kDefaultExcludedChannel;
  if (block.excludedChannel >= 1 && block.excludedChannel <= kMaxOrderPlanes)
    Check(ChannelButton(block.excludedChannel), true);
  if (block.excludeEnabled) {
    Check(IDC_EXCLUDE, true);
  } else {
    for (int i = 1; i <= kMaxOrderPlanes; ++i) Enable(ChannelButton(i), false);
  }
  for (int i = lastChannel + 1; i <= kMaxOrderPlanes; ++i) Enable(ChannelButton(i), false);
}

void DialogController::InitialiseBlend() {
  const FilterParameters& block = Block();
  if (block.blendCross) Check(IDC_BLEND_CROSS, true);
  if (block.blendMix) Check(IDC_BLEND_MIX, true);
  if (block.blendEnabled) {
    Check(IDC_BLEND, true);
    return;
  }
  Enable(IDC_BLEND_CROSS, false);
  Enable(IDC_BLEND_MIX, false);
  // Mix is shown as the method blending would start with; the block keeps
  // its own value until the box is ticked.
  if (!block.blendCross && !block.blendMix) Check(IDC_BLEND_MIX, true);
}

void DialogController::InitialisePreview() {
  FilterParameters& block = Block();
  if (!block.previewAvailable) return;
  globals_->previewFrame = PreviewFrame(view_.PreviewAnchor());
  // The first window is the centred one, whatever offsets a stored block holds.
  block.previewOffsetH = block.previewOffsetV = 0;
  fetched_ = true;
  bufferValid_ = FetchPreview(globals_) == noErr;
  if (!bufferValid_) {
    // The host cannot deliver a preview: carry on without one.
    block.previewAvailable = 0;
    *globals_->result = noErr;
    return;
  }
  MapPreview(globals_, false);
}

void DialogController::InitialiseList() {
  const int16 mode = Record().imageMode;
  listRows_ = ChannelOrderCount(mode);
  for (int16 i = 0; i < listRows_; ++i) view_.InsertListRow(IDC_ORDER_LIST, i, ChannelOrderName(mode, i));
  if (listRows_ == 0) return;
  // A stored row outside this mode's table (left by an image of the other
  // mode) shows row 0, which is also what the mapping uses; the block keeps
  // its value until the user picks a row.
  const int16 stored = Block().orderIndex;
  selectedRow_ = stored >= 0 && stored < listRows_ ? stored : 0;
  view_.SelectListRow(IDC_ORDER_LIST, selectedRow_);
}

// ---------------------------------------------------------------------------
// The controls.

void DialogController::Ok() {
  if (!ended()) End(Ending::Accepted);
}

void DialogController::Cancel() {
  if (ended()) return;
  FilterParameters& block = Block();
  block.amount = savedAmount_;
  block.modeCode = savedModeCode_;
  block.entIFlag = savedEntIFlag_;
  *globals_->result = userCanceledErr;
  End(Ending::Cancelled);
}

void DialogController::Press(int id) {
  // A disabled button cannot be pressed; a call for one that arrives all the
  // same would, say, take the zoom factor below 1 or clear a channel the
  // image does not have.
  if (ended() || !enabled(id)) return;
  switch (id) {
    case IDC_OK: Ok(); return;
    case IDC_CANCEL: Cancel(); return;
    case IDC_CHANNEL_1:
    case IDC_CHANNEL_2:
    case IDC_CHANNEL_3:
    case IDC_CHANNEL_4: ChannelClicked(id); return;
    case IDC_BLEND_CROSS:
    case IDC_BLEND_MIX: MethodClicked(id); return;
    case IDC_ZOOM_IN:
    case IDC_ZOOM_OUT: Zoom(id); return;
    default: Nudge(id); return;
  }
}

void DialogController::Toggle(int id, bool on) {
  if (ended() || !enabled(id)) return;
  if (id == IDC_BLEND) BlendToggled(on);
  if (id == IDC_EXCLUDE) ExclusionToggled(on);
}

void DialogController::ChannelClicked(int id) {
  for (int i = 1; i <= kMaxOrderPlanes; ++i) Check(ChannelButton(i), ChannelButton(i) == id);
  Block().excludedChannel = static_cast<int16>(id - IDC_CHANNEL_1 + 1);
  MapAndRepaint();
}

void DialogController::MethodClicked(int id) {
  Check(IDC_BLEND_CROSS, id == IDC_BLEND_CROSS);
  Check(IDC_BLEND_MIX, id == IDC_BLEND_MIX);
  Block().blendCross = checked(IDC_BLEND_CROSS);
  Block().blendMix = checked(IDC_BLEND_MIX);
  MapAndRepaint();
}

void DialogController::BlendToggled(bool on) {
  FilterParameters& block = Block();
  Find(IDC_BLEND)->checked = on;
  Enable(IDC_BLEND_CROSS, on);
  Enable(IDC_BLEND_MIX, on);
  if (on) {
    block.blendCross = checked(IDC_BLEND_CROSS);
    block.blendMix = checked(IDC_BLEND_MIX);
  }
  block.blendEnabled = on;
  MapAndRepaint();
}

void DialogController::ExclusionToggled(bool on) {
  FilterParameters& block = Block();
  Find(IDC_EXCLUDE)->checked = on;
  for (int i = 1; i <= ChannelButtons(); ++i) {
    Enable(ChannelButton(i), on);
    if (on && checked(ChannelButton(i))) block.excludedChannel = static_cast<int16>(i);
  }
  block.excludeEnabled = on;
  MapAndRepaint();
}

void DialogController::PickRow(int row) {
  if (ended()) return;
  if (row >= 0 && row < listRows_) {
    selectedRow_ = row;
    Block().orderIndex = static_cast<int16>(row);
  }
  MapAndRepaint();
}

void DialogController::End(Ending ending) {
  if (nav_.dragging) {
    view_.ReleasePointer();
    nav_.dragging = false;
  }
  if (fetched_) Record().filterRect = Block().savedFilterRect;
  SetOffsets(0, 0);
  ending_ = ending;
  view_.EndDialog(ending == Ending::Accepted);
}

void DialogController::Abandon() { Cancel(); }

// ---------------------------------------------------------------------------
// The preview's work.

void DialogController::SetOffsets(int32 h, int32 v) {
  Block().previewOffsetH = static_cast<int16>(h);
  Block().previewOffsetV = static_cast<int16>(v);
}

// Asks for the window again, from the host's own rectangle.
void DialogController::Refetch() {
  Record().filterRect = Block().savedFilterRect;
  bufferValid_ = FetchPreview(globals_) == noErr;
}

// After a failed fetch the host's buffers are not ours to read or write.
void DialogController::Map() {
  if (bufferValid_) MapPreview(globals_, false);
}

void DialogController::Invalidate() { view_.InvalidatePreview(nav_.previewRect); }

void DialogController::MapAndRepaint() {
  if (!PreviewShown()) return;
  Map();
  Invalidate();
}

void DialogController::Nudge(int id) {
  int32 h = 0, v = 0;
  if (!NudgeDirection(id, h, v)) return;
  nav_.Clamp(nav_.committedH, nav_.committedV);
  nav_.committedH += h * kNudgeStep;
  nav_.committedV += v * kNudgeStep;
  ShowCommitted();
}

void DialogController::ShowCommitted() {
  nav_.Clamp(nav_.committedH, nav_.committedV);
  SetOffsets(nav_.committedH, nav_.committedV);
  if (!PreviewShown()) return;
  Refetch();
  Map();
  Invalidate();
}

void DialogController::Zoom(int id) {
  FilterParameters& block = Block();
  const Rect host = HostRect();
  const int32 right = nav_.previewRect.right, bottom = nav_.previewRect.bottom;
  int32 z = block.zoomFactor;
  int focus = 0;
  if (id == IDC_ZOOM_IN) {
    z -= 1;
    if (z > 1) {
      Enable(IDC_ZOOM_IN, true);
    } else {
      z = 1;
      Enable(IDC_ZOOM_IN, false);
      focus = IDC_ZOOM_OUT;
    }
    if (Width(host) / z > right || Height(host) / z > bottom) Enable(IDC_ZOOM_OUT, true);
  } else {
    z += 1;
    if (!ZoomOutAllowed(host, z, nav_.previewRect)) {
      Enable(IDC_ZOOM_OUT, false);
      focus = IDC_ZOOM_IN;
    }
    if (z > 1) Enable(IDC_ZOOM_IN, true);
  }
  // The focus moves once both buttons have their new state, so that it never
  // lands on a button that is about to be enabled.
  if (focus != 0) view_.FocusControl(focus);
  block.zoomFactor = static_cast<int16>(z);

  // Keep the displayed position as far as the new factor's bounds allow.
  const int32 oldH = block.previewOffsetH, oldV = block.previewOffsetV;
  SetOffsets(0, 0);
  if (PreviewShown()) {
    Refetch();
    nav_.SetMargins(block.savedFilterRect, Record().filterRect);
  }
  nav_.committedH = nav_.committedH / 2 + oldH / 2;
  nav_.committedV = nav_.committedV / 2 + oldV / 2;
  ShowCommitted();
}

// ---------------------------------------------------------------------------
// The mouse.

bool DialogController::InPreview(PixelPoint p) const { return !ended() && nav_.Contains(p); }

void DialogController::PointerDown(PixelPoint p) {
  if (!InPreview(p)) return;
  view_.ShowHandCursor(true);
  view_.ConfinePointer(nav_.previewRect);
  nav_.anchorX = p.x;
  nav_.anchorY = p.y;
  nav_.deltaH = nav_.deltaV = 0;
  nav_.dragging = true;
}

void DialogController::PointerMove(PixelPoint p) {
  if (ended()) return;
  if (!nav_.dragging) {
    if (InPreview(p)) view_.ShowHandCursor(false);
    return;
  }
  view_.ShowHandCursor(true);
  nav_.DragTo(p, Block().zoomFactor);
  SetOffsets(nav_.liveH, nav_.liveV);
  if (!PreviewShown()) return;
  // While dragging the host's pixels are shown as delivered; mapping waits
  // for the release.
  Refetch();
  Invalidate();
}

void DialogController::PointerUp(PixelPoint p) {
  // A drag ends at any release; a release elsewhere outside a drag is not
  // the dialog's.
  if (ended() || (!nav_.dragging && !InPreview(p))) return;
  if (InPreview(p)) view_.ShowHandCursor(false);
  if (nav_.dragging) view_.ReleasePointer();
  nav_.dragging = false;
  if (PreviewShown()) Map();
  nav_.CommitDrag();
  if (PreviewShown()) Invalidate();
}

void DialogController::DoubleClick(PixelPoint p) {
  if (!InPreview(p)) return;
  nav_.Recentre();
  ShowCommitted();
}

// ---------------------------------------------------------------------------
// Painting.

void DialogController::Paint(PaintTarget& target) {
  const FilterRecord& record = Record();
  if (!PreviewShown() || !bufferValid_ || !host::CallbackPresent(record.displayPixels)) return;
  const PixelRect placed = PlacePreview(view_.PreviewAnchor(), Width(record.outRect), Height(record.outRect));
  const PreviewPixels pixels(record, deepPicture_);
  if (!pixels.drawable) return;
  target.DrawFrame(FrameAround(placed));
  record.displayPixels(&pixels.map, &pixels.source, placed.top, placed.left, target.PlatformContext());
}

}  // namespace vantrel::dialog
