#include "frame/host_abi.h"
#include "structured_exception.h"

namespace welkor {

void raiseStructured(uint32_t code) { throw SE_Exception{code, 0}; }

bool callCatchingStructured(void (*fn)(void*), void* context, uint32_t& code) {
  try {
    fn(context);
    return true;
  } catch (const SE_Exception& e) {
    code = e.code;
    return false;
  }
}

}  // namespace welkor
