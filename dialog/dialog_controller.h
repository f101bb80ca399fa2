// The parameter dialog's behaviour: initialisation, commands, the enabling
// rules, preview painting and navigation, OK and Cancel. It edits the
// parameter block in place and reaches its window only through a DialogView;
// the platform binding turns messages into these calls.
#pragma once

#include "core/globals.h"
#include "dialog/dialog_view.h"
#include "dialog/navigation.h"
#include "dialog/painting.h"

namespace vantrel {
struct FilterParameters;
}

namespace vantrel::dialog {

class DialogController {
 public:
  // `globals` holds a record with a parameter block; both outlive the dialog.
  DialogController(DialogView& view, Globals* globals);
  DialogController(const DialogController&) = delete;
  DialogController& operator=(const DialogController&) = delete;

  // Sets the controls from the block, fetches and maps the first preview
  // when the host offers one, and fills the order list.
  void Initialise();

  // ---- What the user did. Each call carries what the control or the
  // pointer says; an ended dialog takes no more, and a disabled control
  // does nothing, however its call arrives.
  // The OK and Cancel buttons.
  void Ok();
  void Cancel();
  // A push or radio button: a channel to clear, a blend method, a nudge, a
  // zoom (OK and Cancel too). Other ids do nothing.
  void Press(int id);
  // A check box (IDC_BLEND, IDC_EXCLUDE) the user set to `on`.
  void Toggle(int id, bool on);
  // Row `row` of the order list picked; a row outside the list re-maps the
  // preview with the row it has.
  void PickRow(int row);
  // The left button pressed, the pointer moved and the button released at
  // `p`, client pixels. A press starts a drag only inside the preview (its
  // edges count); a drag follows the pointer wherever it goes and ends at
  // the next release, wherever that is. Elsewhere they do nothing.
  void PointerDown(PixelPoint p);
  void PointerMove(PixelPoint p);
  void PointerUp(PixelPoint p);
  // A double click at `p` inside the preview recentres it.
  void DoubleClick(PixelPoint p);

  // Whether paint messages draw the preview.
  bool PreviewShown() const;
  // Draws the frame and has the host draw the proxy, when there is one.
  void Paint(PaintTarget& target);

  // Makes sure a dialog that went away without OK or Cancel leaves the
  // host's rectangle and values as Cancel would.
  void Abandon();

  // ---- State as the controls show it.
  bool checked(int id) const;
  bool enabled(int id) const;
  int selectedRow() const { return selectedRow_; }
  int listRows() const { return listRows_; }
  const char* headingText() const { return heading_; }
  const PreviewNavigation& navigation() const { return nav_; }
  bool ended() const { return ending_ != Ending::Open; }
  // Whether the dialog ended with OK.
  bool accepted() const { return ending_ == Ending::Accepted; }

 private:
  struct Control {
    int id;
    bool checked;
    bool enabled;
  };
  static constexpr int kControlCount = 22;

  Control* Find(int id);
  void Check(int id, bool on);
  void Enable(int id, bool on);
  FilterParameters& Block() const;
  FilterRecord& Record() const { return *globals_->filterRecord; }
  Rect HostRect() const;
  int ChannelButtons() const;

  void InitialiseExclusion();
  void InitialiseBlend();
  void InitialisePreview();
  void InitialiseList();

  void ChannelClicked(int id);
  void MethodClicked(int id);
  void BlendToggled(bool on);
  void ExclusionToggled(bool on);
  void Nudge(int id);
  // Clamps the committed offsets, hands them to the fetch and shows the
  // window there.
  void ShowCommitted();
  void Zoom(int id);
  enum class Ending { Open, Accepted, Cancelled };
  void End(Ending ending);

  void SetOffsets(int32 h, int32 v);
  void Refetch();
  void Map();
  void Invalidate();
  void MapAndRepaint();
  // Whether a pointer event at `p` concerns the dialog: it is open and `p`
  // lies in the preview.
  bool InPreview(PixelPoint p) const;

  DialogView& view_;
  Globals* globals_;
  Control controls_[kControlCount];
  int listRows_ = 0;
  int selectedRow_ = -1;
  const char* heading_ = "R G B";
  // The scripting values as the dialog found them, put back by Cancel.
  int16 savedAmount_ = 0;
  uint32 savedModeCode_ = 0;
  uint8 savedEntIFlag_ = 0;
  // At least one fetch narrowed the host's rectangle since the dialog opened.
  bool fetched_ = false;
  // The host delivered the last fetch: its buffers may be mapped and shown.
  bool bufferValid_ = false;
  PreviewNavigation nav_;
  // What a deep image's preview is drawn from.
  EightBitPicture deepPicture_;
  Ending ending_ = Ending::Open;
};

}  // namespace vantrel::dialog
