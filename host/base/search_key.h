// The stand-in host's search keys (host service 51425): the key definition
// number and the number it was built with, as the text "812:1234" in the
// caller's 256-byte key buffer, so that the scans and the printout read the
// same key.
#pragma once

#include <cstddef>
#include <cstdint>

namespace welkor {

constexpr size_t kSearchKeySize = 256;
constexpr int32_t kLineKeyDefinition = 812;  // invoice lines by IdDokumentu

struct SearchKey {
  int32_t definition = 0;
  int32_t number = 0;
};

// Writes the key into a buffer of kSearchKeySize bytes.
void formatSearchKey(char* buffer, SearchKey key);
// False for anything that 51425 did not write (read within kSearchKeySize).
bool parseSearchKey(const char* buffer, SearchKey& key);

}  // namespace welkor
