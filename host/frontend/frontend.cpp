// The front end of the stand-in host: loads the plug-in the way the host
// does, registers it and drives it.
#include <cstdio>
#include <cstdlib>
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "host_state.h"
#include "plugin_loader.h"
#include "service_impl.h"
#include "tables.h"

namespace {

int usage(const char* problem) {
  std::fprintf(
      stderr,
      "welkor: %s\n"
      "usage: welkor [--db FILE] [--plugin FILE] [--answer DIALOG=STEP[,STEP...]]... COMMAND\n"
      "  export INVOICE | key INVOICE KEY | browse | register | report [TIMES] | unregister | load-report | forwarders\n",
      problem);
  return 2;
}

}  // namespace

// The front end's status when the plug-in broke the host's protocol.
constexpr int kProtocolErrorStatus = 3;

extern "C" int welkor_main(int argc, char** argv) {
  using namespace welkor;
#if defined(_WIN32)
  // The same bytes on every platform: no CR LF translation of the output.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  std::string dbPath, pluginPath = defaultPluginPath();
  std::vector<std::string> answers, command;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if ((arg == "--db" || arg == "--plugin" || arg == "--answer") && i + 1 < argc) {
      std::string value = argv[++i];
      if (arg == "--db") dbPath = value;
      if (arg == "--plugin") pluginPath = value;
      if (arg == "--answer") answers.push_back(value);
    } else if (arg.rfind("--", 0) == 0) {
      return usage(("unknown option " + arg).c_str());
    } else {
      command.push_back(arg);
    }
  }
  if (command.empty()) return usage("no command given");
  HostState& s = state();
  try {
    if (!dbPath.empty()) s.db = loadDatabase(dbPath);
  } catch (const DatabaseError& e) {
    std::fprintf(stderr, "welkor: %s\n", e.what());
    return 2;
  }
  for (const std::string& answer : answers) {
    size_t eq = answer.find('=');
    if (eq == std::string::npos) return usage(("bad --answer " + answer).c_str());
    std::vector<std::string> steps;
    std::string rest = answer.substr(eq + 1);
    for (size_t start = 0;;) {
      size_t comma = rest.find(',', start);
      steps.push_back(rest.substr(start, comma - start));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    s.answers[std::atoi(answer.substr(0, eq).c_str())].push_back(steps);
  }
  s.echoMessages = true;
  tables().open(s.db);
  removeMissingExports();
  std::string error;
  void* plugin = loadPlugin(pluginPath, error);
  if (!plugin) {
    std::fprintf(stderr, "welkor: cannot load the plug-in %s: %s\n", pluginPath.c_str(), error.c_str());
    return 2;
  }
  int status = runCommand(plugin, command);
  // A protocol error fails the run whatever the command's own result.
  return s.protocolErrors > 0 && status == 0 ? kProtocolErrorStatus : status;
}
