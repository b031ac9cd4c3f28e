#include "dialog_model.h"

#include <cctype>
#include <cstring>

#include "keys.h"
#include "plugin_names.h"

namespace welkor {

DialogModel::DialogModel(DialogTemplate dialog, char* data, DialogCallback callback)
    : dialog_(std::move(dialog)), data_(data), callback_(callback) {
  size_t offset = 0;
  for (size_t i = 0; i < dialog_.items.size(); ++i) {
    if (dialog_.items[i].kind != 5) continue;
    fields_.push_back({i, offset});
    offset += dialog_.items[i].maxLength + 1u;
  }
}

std::string DialogModel::field(size_t index) const {
  const char* text = data_ + fields_[index].offset;
  size_t room = fieldItem(index).maxLength;
  const void* zero = std::memchr(text, '\0', room);
  return std::string(text, zero ? static_cast<size_t>(static_cast<const char*>(zero) - text) : room);
}

bool DialogModel::setField(size_t index, const std::string& text) {
  if (index >= fieldCount()) return false;
  std::string cut = text.substr(0, fieldItem(index).maxLength);
  std::memcpy(data_ + fields_[index].offset, cut.c_str(), cut.size() + 1);
  return true;
}

const DialogItem* DialogModel::chosenItem(uint16_t key) const {
  for (const DialogItem& item : dialog_.items)
    if (item.kind == hostabi::kItemButton && item.key != 0 && item.key == key) return &item;
  if (key < 0x100 && std::isalpha(key)) {
    for (const DialogItem& item : dialog_.items)
      if (item.kind == hostabi::kItemButton && hotLetter(item.text) == std::toupper(key)) return &item;
  }
  if (key == key::F12 || key == key::Enter) {
    for (const DialogItem& item : dialog_.items)
      if (item.kind == hostabi::kItemButton && (item.flags & 0x0004)) return &item;
  }
  return nullptr;
}

bool DialogModel::press(uint16_t key) {
  if (closed_) return true;
  if (key == key::Esc) {
    cancel();
    return true;
  }
  const DialogItem* item = chosenItem(key);
  if (!item) return false;
  if (callback_) {
    int32_t answer = callback_(static_cast<int16_t>(item->command), 1);
    callbacks_.push_back({item->command, answer});
    if (answer == -2) return false;
  }
  result_ = static_cast<int16_t>(item->command);
  closed_ = true;
  return true;
}

void DialogModel::cancel() {
  result_ = hostabi::kCommandCancel;
  closed_ = true;
}

std::string buttonCaption(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '\x01' && c != '\x05' && c != '~') out += c;
  return out;
}

char hotLetter(const std::string& text) {
  size_t open = text.find('~');
  if (open == std::string::npos || open + 2 >= text.size() || text[open + 2] != '~') return 0;
  return static_cast<char>(std::toupper(static_cast<unsigned char>(text[open + 1])));
}

}  // namespace welkor
