// Binding of the host services by ordinal, first calls, and the absent services.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "frame/host_services.h"
#include "frame/module_state.h"
#include "frame/platform.h"
#include "plugin_loader.h"
#include "service_impl.h"
#include "test_support.h"
#include "slots.h"

#if !defined(_WIN32)
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using testing_support::HostTest;

// Every ordinal, in slot order.
std::vector<uint32_t> slotOrder() {
  std::vector<uint32_t> ordinals;
#define KW_ORDINAL(ordinal, name, conv, ret, params) ordinals.push_back(ordinal);
  KW_HOST_SERVICES(KW_ORDINAL)
#undef KW_ORDINAL
  return ordinals;
}

class Binding : public HostTest {
 protected:
  void rebind(std::vector<uint32_t> missing) {
    welkor::state().db.knobs.missingServices = std::move(missing);
    welkor::removeMissingExports();
    unbindAllServices();
    bindAllServices();
  }
  void TearDown() override {
    welkor::state().db.knobs.missingServices.clear();
    welkor::removeMissingExports();
    unbindAllServices();
    bindAllServices();
    HostTest::TearDown();
  }
};

TEST_F(Binding, EveryServiceOfAFullHostIsBoundByOrdinal) {
  rebind({});
  EXPECT_EQ(g_missing.count, 0);
  std::vector<uint32_t> ordinals = slotOrder();
  ASSERT_EQ(ordinals.size(), 78u);
  for (uint32_t ordinal : ordinals) {
    ASSERT_NE(slotContent(ordinal), nullptr) << ordinal;
    EXPECT_EQ(slotContent(ordinal), welkor::exportedService(ordinal)) << ordinal;
  }
}

TEST_F(Binding, MissingServicesAreCountedAndTheFirstEightKeptInSlotOrder) {
  // Given out of slot order; 40008 is one that the plug-in never calls.
  rebind({52029, 30018, 52480, 40008, 22900, 52256, 21284, 35804, 52541, 38020});
  EXPECT_EQ(g_missing.count, 10);
  const uint16_t expected[8] = {30018, 40008, 22900, 38020, 21284, 52256, 35804, 52541};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(g_missing.ordinals[i], expected[i]) << i;
  EXPECT_EQ(slotContent(30018), nullptr);
  EXPECT_NE(slotContent(35802), nullptr);
}

TEST_F(Binding, AnUnknownNameIsReportedButNotCounted) {
  rebind({});
  EXPECT_EQ(resolveService("no_such_service"), nullptr);
  EXPECT_EQ(g_missing.count, 0);
}

TEST_F(Binding, AFirstCallBindsTheSlotAndReachesTheServiceWithItsArguments) {
  unbindAllServices();
  void* entry = slotContent(52028);
  // Plain cdecl.
  EXPECT_EQ(svc::showTitled("Uwaga", "tekst", 7), 0);
  EXPECT_NE(slotContent(52028), entry);
  EXPECT_EQ(slotContent(52028), welkor::exportedService(52028));
  // Variadic, with a double among the values.
  svc::stopMessage(15000, "STOP!!!", "%s|%d|%.2f|%s", 0xF001, 0x6E2E, "a", 42, 2.5, "z");
  // thiscall.
  alignas(8) unsigned char scope[16] = {};
  svc::scopeEnter(scope, "Zakres", 0);
  svc::scopeLeave(scope);

  const auto& log = welkor::state().messages;
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].title, "Uwaga");
  EXPECT_EQ(log[0].text, "tekst");
  EXPECT_EQ(log[0].numbers, (std::vector<int64_t>{7}));
  EXPECT_EQ(log[1].text, "a|42|2.50|z");
  EXPECT_EQ(log[1].numbers, (std::vector<int64_t>{15000, 0xF001, 0x6E2E}));
  EXPECT_EQ(welkor::state().scopeLog, (std::vector<std::string>{"enter Zakres", "leave Zakres"}));
  EXPECT_EQ(g_missing.count, 0);
}

TEST_F(Binding, ACallToAServiceThatTheHostLacksDoesNothingAndReturnsZero) {
  welkor::state().db.knobs.missingServices = {52028, 35802, 22567};
  welkor::removeMissingExports();
  unbindAllServices();
  // First calls through unbound slots, then calls through the bound (empty) ones.
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(svc::showTitled("Uwaga", "tekst", 1), 0);
    EXPECT_EQ(svc::stopMessage(15000, "STOP!!!", "%s", 1, 2, "x"), 0);
    alignas(8) unsigned char holder[16] = {1, 2, 3};
    EXPECT_EQ(svc::fileHolderRelease(holder), nullptr);
  }
  EXPECT_TRUE(welkor::state().messages.empty());
  EXPECT_EQ(g_missing.count, 3);
  welkor::state().db.knobs.missingServices.clear();
  welkor::removeMissingExports();
  unbindAllServices();
  bindAllServices();
}

TEST(BaseName, IsTheTextAfterTheLastBackslashThenAfterTheLastSlash) {
  struct Case {
    const char* path;
    const char* base;
  } cases[] = {
      {"C:\\Program Files\\Host\\kwitomat.dll", "kwitomat.dll"},
      {"/usr/lib/host/kwitomat.so", "kwitomat.so"},
      {"C:\\host/plugins\\x/kwitomat.dll", "kwitomat.dll"},
      {"C:/host/plug\\kwitomat.dll", "kwitomat.dll"},
      {"kwitomat.dll", "kwitomat.dll"},
      {"C:\\host\\", ""},
      {"/usr/lib/", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_STREQ(frame::baseNameOf(c.path), c.base) << c.path;
}

TEST(Attach, FoundTheHostModuleAndItsFeatureEntry) {
  // Windows calls the attach step (DllMain) for a DLL only, and here the
  // plug-in's code lives in the test program.
  if (!frame::state().ownModule) frame::attach(platform::ownModuleHandle());
  EXPECT_NE(frame::hostModule(), nullptr);
  EXPECT_EQ(reinterpret_cast<void*>(frame::state().featureEntry), welkor::exportedService(30006));
  EXPECT_NE(std::strlen(frame::state().modulePath), 0u);
  EXPECT_EQ(frame::state().baseName, frame::baseNameOf(frame::state().modulePath));
}

#if !defined(_WIN32)
// Binds in a child process, traced by this one when `traced`; returns what the
// child wrote to the debugger's output (its standard error).
std::string debugOutputOfBinding(bool traced) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return "pipe failed";
  pid_t child = fork();
  if (child == 0) {
    dup2(pipeFds[1], 2);
    close(pipeFds[0]);
    if (traced) {
      ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
      raise(SIGSTOP);
    }
    welkor::state().db.knobs.missingServices = {30018, 52630, 21284, 40008, 41611, 41613, 30005, 52441, 32108, 30908};
    unbindAllServices();
    bindAllServices();
    _exit(g_missing.count);
  }
  close(pipeFds[1]);
  int status = 0;
  for (;;) {
    waitpid(child, &status, 0);
    if (WIFEXITED(status) || WIFSIGNALED(status)) break;
    int signal = WIFSTOPPED(status) ? WSTOPSIG(status) : 0;
    ptrace(PTRACE_CONT, child, nullptr, reinterpret_cast<void*>(static_cast<intptr_t>(signal == SIGSTOP ? 0 : signal)));
  }
  std::string output;
  char buffer[4096];
  ssize_t n;
  while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<size_t>(n));
  close(pipeFds[0]);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 10);
  return output;
}

TEST_F(Binding, MissingServicesAreWrittenToTheDebuggerOnlyWhenOneIsAttached) {
  EXPECT_EQ(debugOutputOfBinding(false), "");
  EXPECT_EQ(debugOutputOfBinding(true),
            "Brak funkcji o numerze 30018\nBrak funkcji o numerze 40008\nBrak funkcji o numerze 41611\n"
            "Brak funkcji o numerze 41613\nBrak funkcji o numerze 30005\nBrak funkcji o numerze 52441\n"
            "Brak funkcji o numerze 32108\nBrak funkcji o numerze 30908\nBrak funkcji o numerze 21284\n"
            "Brak funkcji o numerze 52630\n");
}
#endif

}  // namespace
