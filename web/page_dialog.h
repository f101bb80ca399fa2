// The filter's parameter dialog shown by the page: the browser backend of the
// dialog's controller. The controller runs in a Web Worker, inside the
// filter's start call; its view calls go to the page as a batch after each
// action, with the settings the block holds and the preview the host was
// asked to draw, and the page's actions come back as the controller's typed
// calls. The worker waits for them without blocking (the call that runs the
// dialog is suspended meanwhile).
#pragma once

#include "dialog/dialog_backend.h"
#include "runner/host.h"

namespace vantrel::web {

class PageDialog final : public dialog::DialogBackend, dialog::DialogView {
 public:
  // Shows the dialogs of `host`'s runs through the page while it exists,
  // named as the host's window; `anchor` is the page's preview, client
  // pixels.
  PageDialog(runner::Host& host, dialog::PixelRect anchor);
  ~PageDialog() override;
  PageDialog(const PageDialog&) = delete;
  PageDialog& operator=(const PageDialog&) = delete;

  dialog::DialogView& View() override { return *this; }
  void Run(dialog::DialogController& controller) override;

 private:
  // The view: each call becomes an operation of the next batch.
  void SetChecked(int id, bool checked) override;
  void SetEnabled(int id, bool enabled) override;
  void InsertListRow(int id, int row, const char* text) override;
  void SelectListRow(int id, int row) override;
  void SetText(int id, const char* text) override;
  void FocusControl(int id) override;
  dialog::PixelRect PreviewAnchor() override { return anchor_; }
  void InvalidatePreview(const dialog::PixelRect& r) override;
  void ShowHandCursor(bool closed) override;
  void ConfinePointer(const dialog::PixelRect& r) override;
  void ReleasePointer() override;
  void EndDialog(bool accepted) override;

  // Paints what is marked for repainting and sends the batch.
  void Flush(dialog::DialogController& controller);

  runner::Host& host_;
  dialog::PixelRect anchor_;
  intptr_t hostWindow_;  // the window the host named before
  bool repaint_ = true;
};

}  // namespace vantrel::web
