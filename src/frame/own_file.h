// Files of this process's own. Several workstations share one data folder,
// and one user may run the program twice: a file being built must have a
// name that no other process writes at the same time.
#pragma once

#include <cstddef>

#include "frame/platform.h"

namespace kw::frame {

// "<process>-<attempt>": tells the attempts of this process apart; another
// process, here or on another workstation, is kept out by the exclusive
// create, whatever its number.
void ownFileTag(char* tag, size_t size, unsigned attempt);

// Creates an empty file under the first name `compose(path, size, tag)`
// gives that no one holds yet. False when no such name could be created.
template <typename Compose>
bool claimOwnFile(char* path, size_t size, Compose compose) {
  constexpr unsigned kAttempts = 100;
  for (unsigned attempt = 0; attempt < kAttempts; ++attempt) {
    char tag[32];
    ownFileTag(tag, sizeof tag, attempt);
    compose(path, size, tag);
    switch (platform::createNewFile(path)) {
      case platform::NewFile::Created: return true;
      case platform::NewFile::Failed: return false;
      case platform::NewFile::Exists: break;
    }
  }
  return false;
}

}  // namespace kw::frame
