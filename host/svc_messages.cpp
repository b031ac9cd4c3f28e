// Host services: messages. Each is logged and, in the front end, printed.
#include "host_state.h"
#include "service_impl.h"
#include "structured_exception.h"

using namespace welkor;

// stopMessage: the "STOP!!!" box.
int32_t WELKOR_SERVICE(35802)(int32_t a, const char* title, const char* format, int32_t b, int32_t c, ...) {
  va_list args;
  va_start(args, c);
  std::string text = formatString(format, args);
  va_end(args);
  showMessage({35802, title ? title : "", text, format ? format : "", {a, b, c}});
  return 0;
}

// showFormatted
int32_t WELKOR_SERVICE(35804)(int32_t a, const char* title, const char* format, int32_t kind, va_list args) {
  std::string text = formatString(format, args);
  showMessage({35804, title ? title : "", text, format ? format : "", {a, kind}});
  return 0;
}

// showTitled
int32_t WELKOR_SERVICE(52028)(const char* title, const char* text, int32_t style) {
  raiseIfChosen(52028);
  showMessage({52028, title ? title : "", text ? text : "", "", {style}});
  return 0;
}

// showText
int32_t WELKOR_SERVICE(52030)(const char* text) {
  showMessage({52030, "", text ? text : "", "", {}});
  return 0;
}

// showNotice: the user reads it once; the flag then says "do not show again".
int32_t WELKOR_SERVICE(52023)(int32_t number, int32_t* flag, int32_t c, const char* text) {
  showMessage({52023, "", text ? text : "", "", {number, c}});
  if (flag) *flag = 1;
  return 0;
}
