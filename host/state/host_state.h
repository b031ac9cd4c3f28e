// The stand-in host's state: its database, the log of what it showed, the
// answers that the front end scripted for dialogs.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "database.h"

namespace welkor {

struct LoggedMessage {
  int32_t service;               // the ordinal that showed it
  std::string title;             // Mazovia
  std::string text;              // Mazovia, as formatted
  std::string format;            // the format it was composed from, where there was one
  std::vector<int64_t> numbers;  // the numeric arguments of the call (codes, kinds, styles)
};

// One run of a dialog: what it was asked, what it answered.
struct DialogRun {
  int32_t number;
  std::vector<std::string> steps;
  int32_t result;
  std::vector<std::pair<int32_t, int32_t>> callbacks;  // (command, result) of each callback call
};

class DialogModel;

// The terminal of the interactive front end: it shows dialogs and messages
// and waits for the user.
struct Screen {
  virtual ~Screen() = default;
  // Returns when the dialog is closed.
  virtual void runDialog(DialogModel& dialog) = 0;
  virtual void showMessage(const LoggedMessage& message) = 0;
};

// Calls of the services that the fault knobs count, and what the plug-in
// still holds of the host's memory and files.
struct ServiceCounts {
  uint32_t allocations = 0;  // 21284, 21285, 21286
  uint32_t opens = 0;        // 52534
  uint32_t writes = 0;       // 52541
  uint32_t closes = 0;       // 52305
  int32_t liveBlocks = 0;    // allocated and not released
  int32_t openFiles = 0;     // opened and not closed
};

// Counts one call of a service; true when the knob makes this call fail.
inline bool countedCallFails(uint32_t& calls, uint32_t failingCall) { return ++calls == failingCall; }

struct HostState {
  Database db;
  std::vector<LoggedMessage> messages;
  std::vector<std::string> scopeLog;  // "enter NAME" / "leave NAME" of the diagnostic scopes
  // Scripted dialog runs: per dialog number, the step lists of its next runs.
  std::map<int32_t, std::deque<std::vector<std::string>>> answers;
  std::vector<DialogRun> dialogRuns;
  bool echoMessages = false;                              // the front end prints every message as it is shown
  Screen* screen = nullptr;                               // set: dialogs and messages go to the terminal instead
  uint32_t chosenServiceCalls = 0;                        // calls of the `raiseException` knob's service so far
  int32_t protocolErrors = 0;                             // see protocolError()
  bool inKeyPress = false;                                // the register's key handler is running
  bool exportDialogRan = false;                           // dialog 1001 has run in the current key press
  std::vector<std::pair<int32_t, int32_t>> featureCalls;  // (what, value) of each feature-entry call
  std::string printTarget;                                // the file the last printout was aimed at
  ServiceCounts counts;
};

HostState& state();

// A value or an order of calls that the real host depends on and the plug-in
// got wrong: counted, and printed on standard output so that every
// end-to-end case that meets it fails.
void protocolError(uint32_t ordinal, const std::string& what);

// Stops the host with a message naming a service that nothing implements yet.
[[noreturn]] void unimplemented(uint32_t ordinal);

// Shows a message: logs it and, in the front end, prints it (UTF-8).
void showMessage(LoggedMessage message);

// Shows the host's own message (a failure of the host, not of the plug-in)
// under the title "WELKOR", logged as service 0; the text is UTF-8.
void showHostMessage(const std::string& text);

// Formats like vsnprintf into a string of any length.
std::string formatString(const char* format, va_list args);

// A path as the plug-in names it ("FAKTURY\\fakt1.xml") on this platform.
std::string hostPath(const char* path);

}  // namespace welkor
