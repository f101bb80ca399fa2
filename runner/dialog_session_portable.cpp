// The scripted dialog user of the native build: the filter is linked in and
// shows its windowless dialog through this backend.
#include "dialog/dialog_backend.h"
#include "dialog/recording_view.h"
#include "runner/dialog_session.h"

namespace vantrel::runner {
namespace {

class ScriptedBackend final : public dialog::DialogBackend {
 public:
  ScriptedBackend(const DialogScript& script, int& shown) : script_(script), shown_(shown) {}

  dialog::DialogView& View() override {
    view_ = dialog::RecordingView{};
    return view_;
  }

  void Run(dialog::DialogController& controller) override {
    ++shown_;
    dialog::SimulatedUser user(controller, view_);
    for (const DialogStep& step : script_) {
      if (controller.ended()) return;
      switch (step.kind) {
        case DialogStep::Kind::Click: user.Click(step.value); break;
        case DialogStep::Kind::PickRow: user.PickRow(step.value); break;
        case DialogStep::Kind::PointerBy: user.MovePointerBy(step.dx, step.dy); break;
        case DialogStep::Kind::PressLeft: user.PressLeft(); break;
        case DialogStep::Kind::ReleaseLeft: user.ReleaseLeft(); break;
        case DialogStep::Kind::DoubleClickLeft: user.DoubleClickLeft(); break;
        case DialogStep::Kind::Inspect: step.inspect(nullptr); break;
      }
    }
  }

 private:
  const DialogScript& script_;
  int& shown_;
  dialog::RecordingView view_;
};

}  // namespace

intptr_t FindParameterDialog(uint32) { return 0; }
void PlayInDialog(intptr_t, const DialogScript&) {}

void RunWithDialogUser(const DialogScript& script, int& shown, PlatformData& platform,
                       const std::function<void()>& call) {
  ScriptedBackend backend(script, shown);
  const intptr_t window = platform.hwnd;
  platform.hwnd = backend.AsWindow();
  struct Restore {
    PlatformData& platform;
    intptr_t window;
    ~Restore() { platform.hwnd = window; }
  } restore{platform, window};
  call();
}

}  // namespace vantrel::runner
