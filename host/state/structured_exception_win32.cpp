// The host's own handler frame, as a compiler's __try/__except would make it
// (mingw has no such statement): a registration record on the thread's chain
// whose handler accepts any exception, has the system unwind every frame
// inside it, and resumes after the call.
#include <windows.h>

#include "structured_exception.h"

namespace welkor {

namespace {

struct CatchFrame {
  EXCEPTION_REGISTRATION_RECORD record;  // first: the handler gets its address
  void* resume[5];                       // __builtin_setjmp's buffer
  uint32_t code;
};

EXCEPTION_DISPOSITION __cdecl catchAny(EXCEPTION_RECORD* exception, void* establisher, CONTEXT*, void*) {
  if (exception->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
  auto* frame = static_cast<CatchFrame*>(establisher);
  frame->code = exception->ExceptionCode;
  // The frames inside ours get their unwinding call; ours stays linked.
  ::RtlUnwind(establisher, nullptr, exception, nullptr);
  __builtin_longjmp(frame->resume, 1);
}

// The head of the thread's exception-registration chain, at fs:[0].
EXCEPTION_REGISTRATION_RECORD* chainHead() {
  EXCEPTION_REGISTRATION_RECORD* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}
void setChainHead(EXCEPTION_REGISTRATION_RECORD* head) { asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory"); }

}  // namespace

void raiseStructured(uint32_t code) {
  ::RaiseException(code, 0, 0, nullptr);
  ::ExitProcess(code);  // only if a handler continued it
}

bool callCatchingStructured(void (*fn)(void*), void* context, uint32_t& code) {
  volatile CatchFrame frame = {};
  auto* f = const_cast<CatchFrame*>(&frame);
  f->record.Next = chainHead();
  f->record.Handler = reinterpret_cast<PEXCEPTION_ROUTINE>(&catchAny);
  if (__builtin_setjmp(f->resume) == 0) {
    setChainHead(&f->record);
    fn(context);
    setChainHead(f->record.Next);
    return true;
  }
  setChainHead(f->record.Next);
  code = f->code;
  return false;
}

}  // namespace welkor
