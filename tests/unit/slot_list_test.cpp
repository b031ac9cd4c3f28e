// The slot list: its memory protocol and its diagnostic scopes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "data/slot_list.h"
#include "frame/host_services.h"
#include "service_impl.h"
#include "structured_exception.h"
#include "test_support.h"
#include "slots.h"

#if defined(_WIN32)
#include <windows.h>

#include <cstdio>
#endif

namespace {

using testing_support::HostTest;

// Every memory call that reaches the host, in order.
struct MemoryCall {
  std::string service;
  uint32_t size;
  void* block;
};
std::vector<MemoryCall> g_calls;
std::vector<int32_t> g_fatalErrors;

void* KW_CDECL countAllocate(uint32_t size) {
  void* block = WELKOR_SERVICE(21284, allocate)(size);
  g_calls.push_back({"allocate", size, block});
  return block;
}
void* KW_CDECL countAllocateZeroed(uint32_t count, uint32_t size) {
  g_calls.push_back({"allocateZeroed", count * size, nullptr});
  return WELKOR_SERVICE(21285, allocateZeroed)(count, size);
}
void* KW_CDECL countReallocate(void* block, uint32_t size) {
  void* grown = WELKOR_SERVICE(21286, reallocate)(block, size);
  g_calls.push_back({"reallocate", size, grown});
  return grown;
}
void KW_CDECL countRelease(void* block) {
  g_calls.push_back({"release", 0, block});
  WELKOR_SERVICE(21287, release)(block);
}
// A host whose fatal error returns, so that the list can be looked at after it.
void KW_CDECL recordFatal(int32_t code) { g_fatalErrors.push_back(code); }
void* KW_CDECL raiseInAllocate(uint32_t) { throw SE_Exception{0xC0000005u, 0x1234u}; }

class SlotList : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    g_calls.clear();
    g_fatalErrors.clear();
  }
  size_t count(const std::string& service) const {
    return static_cast<size_t>(
        std::count_if(g_calls.begin(), g_calls.end(), [&](const MemoryCall& c) { return c.service == service; }));
  }
  bool released(void* block) const {
    return std::any_of(g_calls.begin(), g_calls.end(),
                       [&](const MemoryCall& c) { return c.service == "release" && c.block == block; });
  }
  size_t obtained() const {
    return static_cast<size_t>(std::count_if(g_calls.begin(), g_calls.end(), [](const MemoryCall& c) {
      return (c.service == "allocate" || c.service == "reallocate") && c.block;
    }));
  }
  // What a caller does: prepare the slot, put its own block there, count it.
  static void fillSlot(_CCabFileList& list) {
    list.PrzygotujPozycje();
    list.Pozycje[list.Liczba] = WELKOR_SERVICE(21284, allocate)(_CCabFileList::kBlockSize);
    ++list.Liczba;
  }

  SlotSwap<decltype(svc::allocate)> allocate_{svc::allocate, &countAllocate};
  SlotSwap<decltype(svc::allocateZeroed)> allocateZeroed_{svc::allocateZeroed, &countAllocateZeroed};
  SlotSwap<decltype(svc::reallocate)> reallocate_{svc::reallocate, &countReallocate};
  SlotSwap<decltype(svc::release)> release_{svc::release, &countRelease};
  SlotSwap<decltype(svc::fatalError)> fatalError_{svc::fatalError};
};

TEST_F(SlotList, AListThatIsOnlyBuiltAndDestroyedTouchesNoMemory) {
  {
    _CCabFileList list;
    EXPECT_EQ(list.Pozycje, nullptr);
    EXPECT_EQ(list.Liczba, 0);
    EXPECT_EQ(list.Pojemnosc, 0);
    EXPECT_EQ(list.Indeks, 0);
  }
  EXPECT_TRUE(g_calls.empty());
  const std::vector<std::string> scopes = {"enter _CCabFileList::_CCabFileList", "leave _CCabFileList::_CCabFileList",
                                           "enter _CCabFileList::~_CCabFileList",
                                           "leave _CCabFileList::~_CCabFileList"};
  EXPECT_EQ(welkor::state().scopeLog, scopes);
}

TEST_F(SlotList, TheFirstPreparationMakesFiftySlotsAndEmptiesTheFirst) {
  _CCabFileList list;
  welkor::state().scopeLog.clear();
  list.PrzygotujPozycje();

  ASSERT_EQ(g_calls.size(), 52u);
  EXPECT_EQ(g_calls[0].service, "reallocate");
  EXPECT_EQ(g_calls[0].size, 50 * sizeof(void*));
  for (size_t i = 1; i <= 50; ++i) {
    EXPECT_EQ(g_calls[i].service, "allocate");
    EXPECT_EQ(g_calls[i].size, 260u);
  }
  EXPECT_EQ(g_calls[51].service, "release");
  EXPECT_EQ(g_calls[51].block, g_calls[1].block);

  EXPECT_EQ(list.Pojemnosc, 50);
  EXPECT_EQ(list.Liczba, 0);
  EXPECT_EQ(list.Pozycje[0], nullptr);
  for (int i = 1; i < 50; ++i) EXPECT_EQ(list.Pozycje[i], g_calls[i + 1].block) << i;
  EXPECT_EQ(welkor::state().scopeLog,
            (std::vector<std::string>{"enter CListaDanychArch::Reallokuj", "leave CListaDanychArch::Reallokuj"}));
}

TEST_F(SlotList, TheFiftyFirstSlotGrowsTheArrayAndKeepsTheFirstFifty) {
  std::vector<void*> kept;
  {
    _CCabFileList list;
    for (int i = 0; i < 50; ++i) fillSlot(list);
    EXPECT_EQ(list.Pojemnosc, 50);
    kept.assign(list.Pozycje, list.Pozycje + 50);
    g_calls.clear();

    list.PrzygotujPozycje();
    EXPECT_EQ(list.Pojemnosc, 100);
    EXPECT_EQ(list.Liczba, 50);
    EXPECT_EQ(count("reallocate"), 1u);
    EXPECT_EQ(g_calls[0].size, 100 * sizeof(void*));
    EXPECT_EQ(count("allocate"), 50u);
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), list.Pozycje));
    EXPECT_EQ(list.Pozycje[50], nullptr);
    for (int i = 51; i < 100; ++i) EXPECT_NE(list.Pozycje[i], nullptr);
    g_calls.clear();
  }
  // The destructor releases every block below the capacity, also those beyond
  // Liczba, then the array.
  EXPECT_EQ(count("release"), 50u + 49u + 1u);
  for (void* block : kept) EXPECT_TRUE(released(block));
}

TEST_F(SlotList, NoGrowthWhileSlotsAreFree) {
  _CCabFileList list;
  list.PrzygotujPozycje();
  g_calls.clear();
  list.PrzygotujPozycje();  // Liczba still 0: the slot is prepared again, nothing grows
  EXPECT_TRUE(g_calls.empty());
  list.Liczba = 1;
  list.PrzygotujPozycje();
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].service, "release");
  EXPECT_EQ(list.Pozycje[1], nullptr);
}

TEST_F(SlotList, RunningOutOfMemoryIsTheHostsFatalError3426) {
  EXPECT_EXIT(
      {
        welkor::state().db.knobs.failAllocationSize = _CCabFileList::kBlockSize;
        _CCabFileList list;
        list.PrzygotujPozycje();
      },
      testing::ExitedWithCode(3), "fatal error 3426");
}

TEST_F(SlotList, AFailedGrowthLeavesTheListAsItWas) {
  svc::fatalError.fn = &recordFatal;
  auto& knob = welkor::state().db.knobs.failAllocationSize;
  _CCabFileList list;

  struct Failure {
    uint32_t size;  // the allocation that fails
    const char* what;
  };
  for (Failure f : {Failure{50 * sizeof(void*), "array"}, Failure{260, "block"}}) {
    SCOPED_TRACE(f.what);
    g_calls.clear();
    g_fatalErrors.clear();
    knob = f.size;
    list.PrzygotujPozycje();
    knob.reset();
    EXPECT_EQ(g_fatalErrors, std::vector<int32_t>{3426});
    EXPECT_EQ(list.Pozycje, nullptr);
    EXPECT_EQ(list.Pojemnosc, 0);
    EXPECT_EQ(obtained(), count("release")) << "everything obtained is given back";
  }

  for (int i = 0; i < 50; ++i) fillSlot(list);
  void** array = list.Pozycje;
  std::vector<void*> kept(array, array + 50);
  g_calls.clear();
  g_fatalErrors.clear();
  knob = 260;
  list.PrzygotujPozycje();  // the 51st: the array grows, then its first new block fails
  knob.reset();
  EXPECT_EQ(g_fatalErrors, std::vector<int32_t>{3426});
  EXPECT_EQ(list.Pojemnosc, 50);
  EXPECT_EQ(list.Liczba, 50);
  EXPECT_TRUE(std::equal(kept.begin(), kept.end(), list.Pozycje));
  ASSERT_GE(g_calls.size(), 2u);
  EXPECT_EQ(g_calls.back().service, "reallocate");
  EXPECT_EQ(g_calls.back().size, 50 * sizeof(void*));
}

void* KW_CDECL raiseStructuredInAllocate(uint32_t) { welkor::raiseStructured(0xC0000005u); }

// Handled by the host further out, as the register does: reported under the
// scope, the scope left and the growth undone while the stack unwinds. On
// Windows a structured exception passes the plug-in's C++ frames unseen; the
// host's C++ wrapper, where it reaches the plug-in, is raised again as one.
TEST_F(SlotList, AStructuredExceptionIsReportedUnderTheScopeAndRaisedAgain) {
  struct Case {
    const char* name;
    Fn_21284 allocate;
    const char* report;
  };
  const Case cases[] = {
      {"the host's C++ wrapper", &raiseInAllocate, "exception CListaDanychArch::Reallokuj 0xC0000005 4660"},
      {"a structured exception", &raiseStructuredInAllocate, "exception CListaDanychArch::Reallokuj 0xC0000005 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_calls.clear();
    _CCabFileList list;
    welkor::state().scopeLog.clear();
    svc::allocate.fn = c.allocate;
    uint32_t code = 0;
    bool returned = welkor::callCatchingStructured([](void* l) { static_cast<_CCabFileList*>(l)->PrzygotujPozycje(); },
                                                   &list, code);
    svc::allocate.fn = &countAllocate;
    EXPECT_FALSE(returned);
    EXPECT_EQ(code, 0xC0000005u);
    const std::vector<std::string> expected = {"enter CListaDanychArch::Reallokuj", c.report,
                                               "leave CListaDanychArch::Reallokuj"};
    EXPECT_EQ(welkor::state().scopeLog, expected);
    // Nothing half-grown is left behind.
    EXPECT_EQ(list.Pozycje, nullptr);
    EXPECT_EQ(list.Pojemnosc, 0);
    EXPECT_EQ(count("reallocate"), 1u);
    EXPECT_EQ(count("release"), 1u);
  }
}

#if defined(_WIN32)
// Where nothing handles it, the process's last-chance filter ends it quietly
// with the exception's code.
LONG WINAPI endWithCode(EXCEPTION_POINTERS* e) {
  std::fprintf(stderr, "raised 0x%08lX\n", static_cast<unsigned long>(e->ExceptionRecord->ExceptionCode));
  std::fflush(stderr);
  ::ExitProcess(77);
}

TEST_F(SlotList, AnUnhandledStructuredExceptionEndsTheProcessWithItsCode) {
  EXPECT_EXIT(
      {
        ::SetUnhandledExceptionFilter(&endWithCode);
        _CCabFileList list;
        svc::allocate.fn = &raiseInAllocate;
        list.PrzygotujPozycje();
      },
      testing::ExitedWithCode(77),
      "structured exception 0xC0000005 in CListaDanychArch::Reallokuj\\s+raised 0xC0000005");
}
#endif

}  // namespace
