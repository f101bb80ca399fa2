// The scripted dialog user of the native build: the filter is linked in and
// its windowless dialog calls back into here.
#include "dialog/portable_user.h"
#include "runner/dialog_session.h"

namespace vantrel::runner {
namespace {

struct Session {
  const DialogScript* script;
  int* shown;
};

void Play(dialog::SimulatedUser& user, void* context) {
  auto* session = static_cast<Session*>(context);
  ++*session->shown;
  for (const DialogStep& step : *session->script) {
    if (user.controller().ended()) return;
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

}  // namespace

intptr_t FindParameterDialog(uint32) { return 0; }
void PlayInDialog(intptr_t, const DialogScript&) {}

void RunWithDialogUser(const DialogScript& script, int& shown, const std::function<void()>& call) {
  Session session{&script, &shown};
  dialog::SetPortableUser(Play, &session);
  call();
  dialog::SetPortableUser(nullptr, nullptr);
}

}  // namespace vantrel::runner
