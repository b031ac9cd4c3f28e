// Reading the plug-in's dialog template block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace welkor {

struct DialogItem {
  uint16_t kind = 0;  // hostabi::DialogItemKind
  uint16_t command = 0;
  uint16_t flags = 0;
  uint16_t key = 0;
  uint16_t column = 0, row = 0, width = 0, height = 0;
  uint16_t maxLength = 0;  // input fields
  std::string text;
};

struct DialogTemplate {
  uint16_t number = 0;
  uint16_t frameFlags = 0;
  uint16_t width = 0, height = 0;
  std::string title;
  std::vector<DialogItem> items;
};

// Parses the whole block and finds the dialog. Returns false, with the
// reason, when the block is malformed or holds no such dialog.
bool findDialog(const unsigned char* block, int32_t number, DialogTemplate& dialog, std::string& error);

}  // namespace welkor
