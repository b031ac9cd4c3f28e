#include "frame/own_file.h"

#include <cstdio>

namespace kw::frame {

void ownFileTag(char* tag, size_t size, unsigned attempt) {
  std::snprintf(tag, size, "%lx-%u", static_cast<unsigned long>(platform::GetCurrentProcessId()), attempt);
}

}  // namespace kw::frame
