// The dialog's browser backend: view calls become operations for the page,
// the page's actions come back as controller calls.
#include "web/page_dialog.h"

#include <emscripten.h>

#include "core/parameters.h"

namespace vantrel::web {
namespace {

// Operations of a batch, as web/page.js applies them.
enum ViewOp { kChecked = 1, kEnabled, kInsertRow, kSelectRow, kText, kFocus, kHand, kConfine, kRelease, kEnd };

// What the page did, as web/worker.js hands it over.
enum PageAction { kOk = 1, kCancel, kPress, kToggle, kPickRow, kDown, kMove, kUp, kDoubleClick };

EM_JS(void, page_view, (int op, int id, int a, int b, const char* text), {
  Module.onViewOp(op, id, a, b, text ? UTF8ToString(text) : "");
});

// Waits for the page's next action and writes its kind, control or row, and
// position (or new state) into `out`.
EM_ASYNC_JS(void, page_next_action, (int32_t* out), {
  const a = await Module.nextAction();
  HEAP32.set([a.kind, a.id | 0, a.x | 0, a.y | 0], out >> 2);
});

// Hands the batch to the page with the block's settings (`settings`: order,
// blend on, Cross, Mix, exclusion on, channel, zoom factor), and the preview
// drawn since the last batch when `rgb` is not null: `width` x `height` RGB
// pixels at client (left, top), framed by `frame` (left, top, right, bottom).
EM_JS(void, page_flush,
      (const int32_t* settings, const uint8_t* rgb, int width, int height, int left, int top, const int32_t* frame), {
        const preview = rgb ? {
          pixels : HEAPU8.slice(rgb, rgb + width * height * 3),
          width : width,
          height : height,
          left : left,
          top : top,
          frame : Array.from(HEAP32.subarray(frame >> 2, (frame >> 2) + 4))
        } : null;
        Module.onFlush(Array.from(HEAP32.subarray(settings >> 2, (settings >> 2) + 7)), preview);
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

void PageDialog::SetChecked(int id, bool checked) { page_view(kChecked, id, checked, 0, nullptr); }
void PageDialog::SetEnabled(int id, bool enabled) { page_view(kEnabled, id, enabled, 0, nullptr); }
void PageDialog::InsertListRow(int id, int row, const char* text) { page_view(kInsertRow, id, row, 0, text); }
void PageDialog::SelectListRow(int id, int row) { page_view(kSelectRow, id, row, 0, nullptr); }
void PageDialog::SetText(int id, const char* text) { page_view(kText, id, 0, 0, text); }
void PageDialog::FocusControl(int id) { page_view(kFocus, id, 0, 0, nullptr); }
void PageDialog::InvalidatePreview(const dialog::PixelRect&) { repaint_ = true; }
void PageDialog::ShowHandCursor(bool closed) { page_view(kHand, 0, closed, 0, nullptr); }
void PageDialog::ConfinePointer(const dialog::PixelRect&) { page_view(kConfine, 0, 0, 0, nullptr); }
void PageDialog::ReleasePointer() { page_view(kRelease, 0, 0, 0, nullptr); }
void PageDialog::EndDialog(bool accepted) { page_view(kEnd, 0, accepted, 0, nullptr); }

void PageDialog::Flush(dialog::DialogController& controller) {
  const FilterParameters* block = ParametersOf(&host_.record());
  const int32_t settings[7] = {block->orderIndex,   block->blendEnabled,   block->blendCross, block->blendMix,
                               block->excludeEnabled, block->excludedChannel, block->zoomFactor};
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
    page_flush(settings, drawn->pixels.data(), drawn->width, drawn->height, call.col, call.row, frame);
  } else {
    page_flush(settings, nullptr, 0, 0, 0, 0, frame);
  }
}

void PageDialog::Run(dialog::DialogController& controller) {
  Flush(controller);
  while (!controller.ended()) {
    int32_t action[4] = {};
    page_next_action(action);
    const dialog::PixelPoint at{action[2], action[3]};
    switch (action[0]) {
      case kOk: controller.Ok(); break;
      case kCancel: controller.Cancel(); break;
      case kPress: controller.Press(action[1]); break;
      case kToggle: controller.Toggle(action[1], action[2] != 0); break;
      case kPickRow: controller.PickRow(action[2]); break;
      case kDown: controller.PointerDown(at); break;
      case kMove: controller.PointerMove(at); break;
      case kUp: controller.PointerUp(at); break;
      case kDoubleClick: controller.DoubleClick(at); break;
      default: break;
    }
    Flush(controller);
  }
}

}  // namespace vantrel::web
