// Host service 52026: runs one of the plug-in's dialogs from its template
// block, answering it with the steps the front end was given.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dialog_template.h"
#include "host_state.h"
#include "keys.h"
#include "mazovia.h"
#include "service_impl.h"

using namespace welkor;

namespace {

constexpr int32_t kCancel = 0x5002;

std::vector<std::string> defaultSteps(int32_t number) {
  if (number == 1002 || number == 1003) return {"F12"};
  return {"Esc"};
}

char hotLetter(const std::string& text) {
  size_t open = text.find('~');
  if (open == std::string::npos || open + 2 >= text.size() || text[open + 2] != '~') return 0;
  return static_cast<char>(std::toupper(static_cast<unsigned char>(text[open + 1])));
}

// The button that a key chooses: its own key, its hot letter, or for F12 and
// Enter the default button.
const DialogItem* chosenItem(const DialogTemplate& dialog, uint16_t key) {
  for (const DialogItem& item : dialog.items)
    if (item.kind == 0 && item.key != 0 && item.key == key) return &item;
  if (key < 0x100 && std::isalpha(key)) {
    for (const DialogItem& item : dialog.items)
      if (item.kind == 0 && hotLetter(item.text) == std::toupper(key)) return &item;
  }
  if (key == 0x8600 || key == 0x000D) {
    for (const DialogItem& item : dialog.items)
      if (item.kind == 0 && (item.flags & 0x0004)) return &item;
  }
  return nullptr;
}

// Offsets of the input fields in the data area: each with room for its
// maximum length and a terminating zero.
std::vector<std::pair<size_t, uint16_t>> inputFields(const DialogTemplate& dialog) {
  std::vector<std::pair<size_t, uint16_t>> fields;
  size_t offset = 0;
  for (const DialogItem& item : dialog.items) {
    if (item.kind != 5) continue;
    fields.push_back({offset, item.maxLength});
    offset += item.maxLength + 1u;
  }
  return fields;
}

std::string printable(const std::string& mazovia) {
  std::string out;
  for (char c : mazoviaToUtf8(mazovia))
    if (c != '\x01' && c != '\x05' && c != '~') out += c;
  return out;
}

}  // namespace

// runDialog
int32_t WELKOR_SERVICE(52026)(const void* block, int32_t number, char* data, DialogCallback callback) {
  HostState& s = state();
  DialogTemplate dialog;
  std::string error;
  if (!findDialog(static_cast<const unsigned char*>(block), number, dialog, error)) {
    std::fprintf(stderr, "WELKOR: dialog %d cannot be shown: %s\n", number, error.c_str());
    return kCancel;
  }
  std::vector<std::string> steps = defaultSteps(number);
  auto scripted = s.answers.find(number);
  if (scripted != s.answers.end() && !scripted->second.empty()) {
    steps = scripted->second.front();
    scripted->second.pop_front();
  }
  auto fields = inputFields(dialog);
  DialogRun run{number, steps, kCancel, {}};
  bool closed = false;
  for (const std::string& step : steps) {
    size_t eq = step.find('=');
    if (eq != std::string::npos && eq > 0 && std::isdigit(static_cast<unsigned char>(step[0]))) {
      size_t index = static_cast<size_t>(std::atoi(step.substr(0, eq).c_str()));
      if (index < 1 || index > fields.size() || !data) {
        std::fprintf(stderr, "WELKOR: dialog %d has no input field %zu\n", number, index);
        continue;
      }
      std::string text = utf8ToMazovia(step.substr(eq + 1)).substr(0, fields[index - 1].second);
      std::memcpy(data + fields[index - 1].first, text.c_str(), text.size() + 1);
      continue;
    }
    uint16_t key = 0;
    if (!keyCode(step, key)) {
      std::fprintf(stderr, "WELKOR: dialog %d: unknown key %s\n", number, step.c_str());
      continue;
    }
    if (key == 0x001B) {
      run.result = kCancel;
      closed = true;
      break;
    }
    const DialogItem* item = chosenItem(dialog, key);
    if (!item) continue;
    if (callback) {
      int32_t answer = callback(static_cast<int16_t>(item->command), 1);
      run.callbacks.push_back({item->command, answer});
      if (answer == -2) continue;
    }
    run.result = static_cast<int16_t>(item->command);
    closed = true;
    break;
  }
  if (!closed) run.result = kCancel;
  if (s.echoMessages) {
    std::string line = "dialog \"" + printable(dialog.title) + "\":";
    for (const std::string& step : steps) line += " " + step;
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }
  int32_t result = run.result;
  s.dialogRuns.push_back(std::move(run));
  return result;
}
