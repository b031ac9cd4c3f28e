// Host services: messages. Each is logged and, in the front end, printed.
#include "frame/host_constants.h"
#include "host_state.h"
#include "service_impl.h"
#include "structured_exception.h"

using namespace welkor;

// stopMessage: the "STOP!!!" box.
int32_t WELKOR_SERVICE(35802, stopMessage)(int32_t a, const char* title, const char* format, int32_t b, int32_t c,
                                           ...) {
  if (a != hostabi::kStopMessageNumber || b != hostabi::kStopMessageFlags || c != hostabi::kStopMessageContext ||
      !title || std::string(title) != "STOP!!!")
    protocolError(35802, "a load report is shown with 15000, \"STOP!!!\", the format, 0xF001, 0x6E2E");
  // A text the host wrote (its refusal from 30018) goes in as an argument,
  // never as the format: it may hold a percent sign.
  const auto& refusal = state().db.knobs.acceptText;
  if (format && refusal && !refusal->empty() && std::string(format).find(*refusal) != std::string::npos)
    protocolError(35802, "the host's own text is used as the format of a load report");
  va_list args;
  va_start(args, c);
  std::string text = formatString(format, args);
  va_end(args);
  showMessage({35802, title ? title : "", text, format ? format : "", {a, b, c}});
  return 0;
}

// showFormatted
int32_t WELKOR_SERVICE(35804, showFormatted)(int32_t a, const char* title, const char* format, int32_t kind,
                                             va_list args) {
  std::string text = formatString(format, args);
  showMessage({35804, title ? title : "", text, format ? format : "", {a, kind}});
  return 0;
}

// showTitled
int32_t WELKOR_SERVICE(52028, showTitled)(const char* title, const char* text, int32_t style) {
  raiseIfChosen(52028);
  showMessage({52028, title ? title : "", text ? text : "", "", {style}});
  return 0;
}

// showText
int32_t WELKOR_SERVICE(52030, showText)(const char* text) {
  showMessage({52030, "", text ? text : "", "", {}});
  return 0;
}

// showNotice: the user reads it once; the flag then says "do not show again".
int32_t WELKOR_SERVICE(52023, showNotice)(int32_t number, int32_t* flag, int32_t c, const char* text) {
  showMessage({52023, "", text ? text : "", "", {number, c}});
  if (flag) *flag = 1;
  return 0;
}
