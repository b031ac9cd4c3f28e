// `welkor browse` needs a terminal library, which the cross build lacks.
#include <cstdio>

#include "commands.h"

namespace welkor {

int browse(void*) {
  std::fprintf(stderr, "welkor: browse is not available in this build; use the native build\n");
  return 2;
}

}  // namespace welkor
