#include "dialog_template.h"
#include "plugin_names.h"

namespace welkor {

namespace {

class Reader {
 public:
  Reader(const unsigned char* data, size_t size) : data_(data), size_(size) {}
  bool word(uint16_t& out) {
    if (pos_ + 2 > size_) return false;
    out = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return true;
  }
  bool text(std::string& out) {
    out.clear();
    while (pos_ < size_ && data_[pos_]) out += static_cast<char>(data_[pos_++]);
    if (pos_ >= size_) return false;
    ++pos_;
    return true;
  }
  size_t pos() const { return pos_; }

 private:
  const unsigned char* data_;
  size_t size_;
  size_t pos_ = 0;
};

// An item record: ten words (21 for an input field), then its text.
bool readItem(Reader& r, DialogItem& item) {
  uint16_t w[21] = {};
  if (!r.word(w[0])) return false;
  size_t count = w[0] == 5 ? 21 : 10;
  for (size_t i = 1; i < count; ++i)
    if (!r.word(w[i])) return false;
  item.kind = w[0];
  if (item.kind == hostabi::kItemInput) {
    item.column = w[6];
    item.row = w[7];
    item.width = w[8];
    item.height = w[9];
    item.maxLength = w[16];
  } else {
    item.command = w[1];
    item.flags = w[2];
    item.key = w[3];
    item.column = w[4];
    item.row = w[5];
    item.width = w[6];
    item.height = w[7];
  }
  return r.text(item.text);
}

}  // namespace

bool findDialog(const unsigned char* block, int32_t number, DialogTemplate& dialog, std::string& error) {
  if (!block) {
    error = "no template block";
    return false;
  }
  uint32_t total = static_cast<uint32_t>(block[0] | (block[1] << 8) | (block[2] << 16) | (block[3] << 24));
  if (total > 65536) {
    error = "template block size " + std::to_string(total) + " is implausible";
    return false;
  }
  Reader r(block + 4, total);
  bool found = false;
  while (r.pos() < total) {
    size_t start = r.pos();
    uint16_t size = 0, count = 0;
    DialogItem frame;
    DialogTemplate t;
    if (!r.word(size) || !r.word(count) || !readItem(r, frame) || frame.kind != 0xFFFF) {
      error = "malformed template at offset " + std::to_string(start + 4);
      return false;
    }
    t.number = frame.command;
    t.frameFlags = frame.flags;
    t.width = frame.width;
    t.height = frame.height;
    t.title = frame.text;
    for (uint16_t i = 0; i < count; ++i) {
      DialogItem item;
      if (!readItem(r, item)) {
        error = "malformed item " + std::to_string(i + 1) + " of dialog " + std::to_string(t.number);
        return false;
      }
      t.items.push_back(item);
    }
    if (r.pos() - start - 4 != size) {
      error = "dialog " + std::to_string(t.number) + " declares " + std::to_string(size) + " bytes but holds " +
              std::to_string(r.pos() - start - 4);
      return false;
    }
    if (t.number == number && !found) {
      dialog = t;
      found = true;
    }
  }
  if (r.pos() != total) {
    error = "template block declares " + std::to_string(total) + " bytes";
    return false;
  }
  if (!found) error = "no dialog " + std::to_string(number) + " in the template block";
  return found;
}

}  // namespace welkor
