#include "slot_list.h"

#include "host_services.h"
#include "platform.h"

namespace kw {

namespace {

// The host's diagnostic scope: entered on construction, left on every way
// out, the unwinding of a structured exception included.
class DiagnosticScope {
 public:
  explicit DiagnosticScope(const char* name) { svc::scopeEnter(object_, name, 0); }
  ~DiagnosticScope() { svc::scopeLeave(object_); }
  DiagnosticScope(const DiagnosticScope&) = delete;
  DiagnosticScope& operator=(const DiagnosticScope&) = delete;

 private:
  alignas(8) unsigned char object_[16] = {};
};

// Runs body inside the named scope; a structured exception is reported to the
// host under that name and raised again.
template <typename Body>
void inScope(const char* name, Body body) {
  DiagnosticScope scope(name);
  try {
    body();
  } catch (SE_Exception& e) {
    ExceptionReportFn* report = svc::exceptionReporter();
    if (report && *report) (*report)(name, e.code, e.detail, 0);
    platform::RaiseException(e.code, 0, 0, nullptr);
  }
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
    int32_t made = old;
    try {
      for (; made < grownCount; ++made) {
        void* block = svc::allocate(kBlockSize);
        if (!block) break;
        grown[made] = block;
      }
    } catch (...) {
      undoGrowth(grown, old, made);
      throw;
    }
    if (made < grownCount) {
      undoGrowth(grown, old, made);
      svc::fatalError(kOutOfMemory);
      return;
    }
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

}  // namespace kw
