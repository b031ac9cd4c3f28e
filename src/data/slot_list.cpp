#include "data/slot_list.h"

#include "frame/host_services.h"
#include "frame/platform.h"
#include "data/layer.h"

namespace kw::data {

namespace {

void reportToHost(const char* scope, uint32_t code, uint32_t detail) {
  ExceptionReportFn* report = svc::exceptionReporter();
  if (report && *report) (*report)(scope, code, detail, 0);
}

// The host's diagnostic scope: entered on construction, left on every way
// out, the unwinding of a structured exception included. Until the body is
// done, a structured exception that passes is reported under its name (on
// Windows as it passes; natively the wrapper is caught in inScope).
class DiagnosticScope {
 public:
  explicit DiagnosticScope(const char* name) : name_(name) {
    svc::scopeEnter(object_, name, 0);
    entered_ = true;
  }
  ~DiagnosticScope() { leave(); }
  DiagnosticScope(const DiagnosticScope&) = delete;
  DiagnosticScope& operator=(const DiagnosticScope&) = delete;

  void bodyDone() { reporting_ = false; }

 private:
  void leave() {
    if (!entered_) return;
    entered_ = false;
    svc::scopeLeave(object_);
  }
  static void leaveOnUnwind(void* self) { static_cast<DiagnosticScope*>(self)->leave(); }
  static void reportRaised(void* self, uint32_t code, uint32_t detail) {
    auto* scope = static_cast<DiagnosticScope*>(self);
    if (scope->entered_ && scope->reporting_) reportToHost(scope->name_, code, detail);
  }

  alignas(8) unsigned char object_[16] = {};
  const char* name_;
  volatile bool entered_ = false;
  volatile bool reporting_ = true;
  platform::UnwindGuard guard_{this, &leaveOnUnwind, &reportRaised};
};

// Runs body inside the named scope; a structured exception is reported to the
// host under that name and raised again. The wrapper's handling ends before
// the raise, so that nothing of it is left when that unwinds on Windows.
template <typename Body>
void inScope(const char* name, Body body) {
  DiagnosticScope scope(name);
  SE_Exception caught = {0, 0};
  try {
    body();
    scope.bodyDone();
    return;
  } catch (SE_Exception& e) {
    scope.bodyDone();
    caught = e;
  }
  reportToHost(name, caught.code, caught.detail);
  platform::RaiseException(caught.code, 0, 0, nullptr);
}

}  // namespace

_CCabFileList::_CCabFileList() {
  inScope("_CCabFileList::_CCabFileList", [this] {
    Pozycje = nullptr;
    Liczba = 0;
    Pojemnosc = 0;
    Indeks = 0;
  });
}

_CCabFileList::~_CCabFileList() noexcept(false) {
  inScope("_CCabFileList::~_CCabFileList", [this] {
    if (Pozycje) {
      for (Indeks = 0; Indeks < Pojemnosc; ++Indeks)
        if (Pozycje[Indeks]) svc::release(Pozycje[Indeks]);
      svc::release(Pozycje);
      Pozycje = nullptr;
    }
    Pojemnosc = 0;
    Liczba = 0;
  });
}

void _CCabFileList::PrzygotujPozycje() {
  Reallokuj();
  if (Liczba < Pojemnosc && Pozycje && Pozycje[Liczba]) {
    svc::release(Pozycje[Liczba]);
    Pozycje[Liczba] = nullptr;
  }
}

void _CCabFileList::Reallokuj() {
  inScope("CListaDanychArch::Reallokuj", [this] {
    if (Liczba < Pojemnosc) return;
    const int32_t old = Pojemnosc;
    const int32_t grownCount = old + kGrowth;
    void** grown = static_cast<void**>(svc::reallocate(Pozycje, static_cast<uint32_t>(grownCount * sizeof(void*))));
    if (!grown) {
      svc::fatalError(kOutOfMemory);
      return;
    }
    Pozycje = grown;
    for (int32_t i = old; i < grownCount; ++i) grown[i] = nullptr;
    // Until it is complete, the growth is undone on every way out, a
    // structured exception included.
    struct Growth {
      _CCabFileList* list;
      void** grown;
      int32_t old;
      int32_t made;
      bool open;
      ~Growth() { undo(); }
      void undo() {
        if (!open) return;
        open = false;
        list->undoGrowth(grown, old, made);
      }
    } growth{this, grown, old, old, true};
    platform::UnwindGuard undoOnUnwind(&growth, [](void* g) { static_cast<Growth*>(g)->undo(); });
    for (; growth.made < grownCount; ++growth.made) {
      void* block = svc::allocate(kBlockSize);
      if (!block) break;
      grown[growth.made] = block;
    }
    if (growth.made < grownCount) {
      growth.undo();
      svc::fatalError(kOutOfMemory);
      return;
    }
    growth.open = false;
    Pojemnosc = grownCount;
  });
}

// Puts the array back as it was before a growth that could not be completed.
void _CCabFileList::undoGrowth(void** grown, int32_t old, int32_t made) {
  for (int32_t i = old; i < made; ++i) {
    svc::release(grown[i]);
    grown[i] = nullptr;
  }
  if (old == 0) {
    svc::release(grown);
    Pozycje = nullptr;
    return;
  }
  void** shrunk = static_cast<void**>(svc::reallocate(grown, static_cast<uint32_t>(old * sizeof(void*))));
  Pozycje = shrunk ? shrunk : grown;
}

}  // namespace kw::data
