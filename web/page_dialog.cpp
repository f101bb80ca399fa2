// The dialog's browser backend: view calls become operations for the page,
// the page's actions come back as controller calls.
#include "web/page_dialog.h"

#include <emscripten.h>

#include "core/parameters.h"
#include "core/settings.h"
#include "web/page_protocol.h"

namespace vantrel::web {
namespace {

EM_JS(void, page_view_js, (int op, int id, int a, int b, const char* text), {
  Module.onViewOp(op, id, a, b, text ? UTF8ToString(text) : "");
});

// One operation of the next batch.
void Send(ViewOp op, int id, int a, const char* text = nullptr) { page_view_js(int(op), id, a, 0, text); }

// Waits for the page's next action and writes its kind, control or row, and
// position (or new state) into `out`.
EM_ASYNC_JS(void, page_next_action, (int32_t* out), {
  const a = await Module.nextAction();
  HEAP32.set([a.kind, a.id | 0, a.x | 0, a.y | 0], out >> 2);
});

// Hands the batch to the page with the block's `count` settings (in the order
// of SettingsField), and the preview
// drawn since the last batch when `rgb` is not null: `width` x `height` RGB
// pixels at client (left, top), framed by `frame` (left, top, right, bottom).
EM_JS(void, page_flush,
      (const int32_t* settings, int count, const uint8_t* rgb, int width, int height, int left, int top,
       const int32_t* frame), {
        const preview = rgb ? {
          pixels : HEAPU8.slice(rgb, rgb + width * height * 3),
          width : width,
          height : height,
          left : left,
          top : top,
          frame : Array.from(HEAP32.subarray(frame >> 2, (frame >> 2) + 4))
        } : null;
        Module.onFlush(Array.from(HEAP32.subarray(settings >> 2, (settings >> 2) + count)), preview);
      });

// A paint of the preview: the frame is kept for the batch; the host draws
// the proxy, and our host keeps what it drew.
class PagePaint final : public dialog::PaintTarget {
 public:
  dialog::PixelRect frame;
  void DrawFrame(const dialog::PixelRect& r) override { frame = r; }
  void* PlatformContext() override { return this; }
};

}  // namespace

PageDialog::PageDialog(runner::Host& host, dialog::PixelRect anchor)
    : host_(host), anchor_(anchor), hostWindow_(host.namedWindow()) {
  host_.NameWindow(AsWindow());
}

PageDialog::~PageDialog() { host_.NameWindow(hostWindow_); }

void PageDialog::SetChecked(int id, bool checked) { Send(ViewOp::Checked, id, checked); }
void PageDialog::SetEnabled(int id, bool enabled) { Send(ViewOp::Enabled, id, enabled); }
void PageDialog::InsertListRow(int id, int row, const char* text) { Send(ViewOp::InsertRow, id, row, text); }
void PageDialog::SelectListRow(int id, int row) { Send(ViewOp::SelectRow, id, row); }
void PageDialog::SetText(int id, const char* text) { Send(ViewOp::Text, id, 0, text); }
void PageDialog::FocusControl(int id) { Send(ViewOp::Focus, id, 0); }
void PageDialog::InvalidatePreview(const dialog::PixelRect&) { repaint_ = true; }
void PageDialog::ShowHandCursor(bool closed) { Send(ViewOp::Hand, 0, closed); }
// The page's pointer capture confines and releases the pointer, and the
// dialog's end comes with the run's end.
void PageDialog::ConfinePointer(const dialog::PixelRect&) {}
void PageDialog::ReleasePointer() {}
void PageDialog::EndDialog(bool) {}

void PageDialog::Flush(dialog::DialogController& controller) {
  const FilterParameters* block = ParametersOf(&host_.record());
  int32_t settings[int(SettingsField::Count)] = {};
  settings[int(SettingsField::Order)] = block->orderIndex;
  settings[int(SettingsField::Blend)] = int(BlendMethodOf(*block));
  settings[int(SettingsField::Cleared)] = ClearedChannelOf(*block);
  settings[int(SettingsField::Zoom)] = block->zoomFactor;
  const runner::Image* drawn = nullptr;
  PagePaint paint;
  if (repaint_ && controller.PreviewShown()) {
    const std::size_t before = host_.displayCalls().size();
    controller.Paint(paint);
    if (host_.displayCalls().size() > before && !host_.displayCalls().back().drawn.pixels.empty())
      drawn = &host_.displayCalls().back().drawn;
  }
  repaint_ = false;
  const int32_t frame[4] = {paint.frame.left, paint.frame.top, paint.frame.right, paint.frame.bottom};
  if (drawn != nullptr) {
    const runner::DisplayCall& call = host_.displayCalls().back();
    page_flush(settings, int(SettingsField::Count), drawn->pixels.data(), drawn->width, drawn->height, call.col,
               call.row, frame);
  } else {
    page_flush(settings, int(SettingsField::Count), nullptr, 0, 0, 0, 0, frame);
  }
}

void PageDialog::Run(dialog::DialogController& controller) {
  Flush(controller);
  while (!controller.ended()) {
    int32_t action[4] = {};
    page_next_action(action);
    const dialog::PixelPoint at{action[2], action[3]};
    switch (PageAction(action[0])) {
      case PageAction::Ok: controller.Ok(); break;
      case PageAction::Cancel: controller.Cancel(); break;
      case PageAction::Press: controller.Press(action[1]); break;
      case PageAction::Toggle: controller.Toggle(action[1], action[2] != 0); break;
      case PageAction::PickRow: controller.PickRow(action[2]); break;
      case PageAction::Down: controller.PointerDown(at); break;
      case PageAction::Move: controller.PointerMove(at); break;
      case PageAction::Up: controller.PointerUp(at); break;
      case PageAction::DoubleClick: controller.DoubleClick(at); break;
    }
    Flush(controller);
  }
}

}  // namespace vantrel::web
