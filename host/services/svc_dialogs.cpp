// Host service 52026: runs one of the plug-in's dialogs from its template
// block, on the terminal or answered with the steps the front end was given.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dialog_model.h"
#include "frame/host_constants.h"
#include "host_state.h"
#include "keys.h"
#include "mazovia.h"
#include "service_impl.h"

using namespace welkor;

namespace {

std::vector<std::string> defaultSteps(int32_t number) {
  if (number == 1002 || number == 1003) return {"F12"};
  return {"Esc"};
}

// The batch driver: the steps in order, until one closes the dialog.
void answerWithSteps(DialogModel& model, const std::vector<std::string>& steps) {
  int32_t number = model.dialog().number;
  for (const std::string& step : steps) {
    size_t eq = step.find('=');
    if (eq != std::string::npos && eq > 0 && std::isdigit(static_cast<unsigned char>(step[0]))) {
      size_t index = static_cast<size_t>(std::atoi(step.substr(0, eq).c_str()));
      if (index < 1 || !model.setField(index - 1, utf8ToMazovia(step.substr(eq + 1))))
        std::fprintf(stderr, "WELKOR: dialog %d has no input field %zu\n", number, index);
      continue;
    }
    uint16_t key = 0;
    if (!keyCode(step, key)) {
      std::fprintf(stderr, "WELKOR: dialog %d: unknown key %s\n", number, step.c_str());
      continue;
    }
    if (model.press(key)) return;
  }
  model.cancel();
}

}  // namespace

// runDialog
int32_t WELKOR_SERVICE(52026, runDialog)(const void* block, int32_t number, char* data, DialogCallback callback) {
  HostState& s = state();
  if (number == hostabi::kExportDialog) s.exportDialogRan = true;
  DialogTemplate dialog;
  std::string error;
  if (!findDialog(static_cast<const unsigned char*>(block), number, dialog, error)) {
    std::fprintf(stderr, "WELKOR: dialog %d cannot be shown: %s\n", number, error.c_str());
    return hostabi::kCommandCancel;
  }
  DialogModel model(std::move(dialog), data, callback);
  std::vector<std::string> steps;
  if (s.screen) {
    s.screen->runDialog(model);
  } else {
    steps = defaultSteps(number);
    auto scripted = s.answers.find(number);
    if (scripted != s.answers.end() && !scripted->second.empty()) {
      steps = scripted->second.front();
      scripted->second.pop_front();
    }
    answerWithSteps(model, steps);
    if (s.echoMessages) {
      std::string line = "dialog \"" + mazoviaToUtf8(buttonCaption(model.dialog().title)) + "\":";
      for (const std::string& step : steps) line += " " + step;
      std::printf("%s\n", line.c_str());
      std::fflush(stdout);
    }
  }
  s.dialogRuns.push_back({number, steps, model.result(), model.callbacks()});
  return model.result();
}
