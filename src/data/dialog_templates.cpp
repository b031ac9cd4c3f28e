// The dialog template block, built at compile time so that each item reads as
// one line of its dialog's table. Little-endian words, NUL-terminated texts,
// no padding anywhere.
#include "data/dialog_templates.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include "frame/host_constants.h"
#include "data/layer.h"

namespace kw::data {

namespace {

using std::size_t;

constexpr size_t kBlockSize = 706;
constexpr size_t kKsefBlockSize = 742;

using namespace hostabi;

template <size_t N>
struct Block {
  std::array<unsigned char, N> bytes{};
  size_t used = 0;
  size_t templateStart = 0;

  constexpr void byte(unsigned v) { bytes[used++] = static_cast<unsigned char>(v); }
  constexpr void word(uint16_t v) {
    byte(v & 0xFF);
    byte(v >> 8);
  }
  constexpr void text(const char* s) {
    while (*s) byte(static_cast<unsigned char>(*s++));
    byte(0);
  }
  // A template: its size (patched by end()) and item count, then the frame.
  constexpr void dialog(uint16_t number, uint16_t flags, uint16_t width, uint16_t height, uint16_t items,
                        const char* title) {
    templateStart = used;
    word(0);
    word(items);
    item(kItemFrame, number, flags, 0, 0, 0, width, height, title);
  }
  constexpr void end() {
    size_t size = used - templateStart - 4;
    bytes[templateStart] = static_cast<unsigned char>(size & 0xFF);
    bytes[templateStart + 1] = static_cast<unsigned char>(size >> 8);
  }
  constexpr void item(uint16_t kind, uint16_t command, uint16_t flags, uint16_t key, uint16_t column, uint16_t row,
                      uint16_t width, uint16_t height, const char* label) {
    const uint16_t words[10] = {kind, command, flags, key, column, row, width, height, 0, 0};
    for (uint16_t w : words) word(w);
    text(label);
  }
  constexpr void input(uint16_t wordA, uint16_t wordB, uint16_t column, uint16_t row, uint16_t width,
                       uint16_t maxLength) {
    const uint16_t words[21] = {kItemInput, 38, 5, wordA, wordB, 0,         column, row, width,     1, 0,
                                0,          0,  0, 0,     0,     maxLength, 8,      0,   maxLength, 1};
    for (uint16_t w : words) word(w);
    text("");
  }
};

// With the KSeF choice switched on, dialog 1001 gains the F5 button below F4
// and grows by the two rows it takes.
template <size_t N>
constexpr Block<N> build(bool ksef) {
  Block<N> b;
  b.used = 4;  // total size, patched below
  const uint16_t shift = ksef ? 2 : 0;

  // clang-format off
  //     kind          command         flags   key          col row           width h  text
  b.dialog(kExportDialog, 0, 34, 15 + shift, ksef ? 7 : 6, "Eksport faktur");
  b.item(kItemButton,  kKeyF1,         0x0000, kKeyF1,      2,  2,            28, 1, "\x05" "F1\x01 PC Market");
  b.item(kItemButton,  kKeyF2,         0x0000, kKeyF2,      2,  4,            28, 1, "\x05" "F2\x01 Comarch Optima");
  b.item(kItemButton,  kKeyF3,         0x0000, kKeyF3,      2,  6,            28, 1, "\x05" "F3\x01 Comarch EDI");
  b.item(kItemButton,  kKeyF4,         0x0000, kKeyF4,      2,  8,            28, 1, "\x05" "F4\x01 Insert EDI++ (EPP)");
  if (ksef)
    b.item(kItemButton,  kKeyF5,         0x0000, kKeyF5,      2,  10,           28, 1, "\x05" "F5\x01 KSeF FA(3)");
  b.item(kItemButton,  kCommandToHost, 0x0000, kKeyF12,     2,  10 + shift,   28, 1, "\x05" "F12\x01 Velmora EDI");
  b.item(kItemButton,  kCommandCancel, 0x0000, kKeyEsc,     2,  12 + shift,   28, 1, "\x05" "ESC\x01 Anuluj");
  b.end();

  b.dialog(kMailDialog, 0x0100, 52, 7, 5, "Wysylanie poczty");
  b.item(kItemLabel,   kNoCommand,     0x0000, 0x0000,      3,  2,            16, 1, "E-mail odbiorcy:");
  b.input(0x4103, 0x0540, 19, 2, 30, 60);
  b.item(kItemButton,  kCommandToHost, 0x8004, 0x0000,      5,  4,            12, 1, "\x05" "F12\x01 OK");
  b.item(kItemButton,  kKeyF3,         0x0100, kKeyF3,      21, 4,            12, 1, "\x05" "F3\x01 Konfig.");
  b.item(kItemButton,  kCommandCancel, 0x0000, kKeyLetterA, 37, 4,            8,  1, "~A~nuluj");
  b.end();

  b.dialog(kIlnDialog, 0, 40, 8, 5, "Opcje eksportu");
  b.item(kItemLabel,   kNoCommand,     0x0000, 0x0000,      2,  2,            16, 1, "ILN sprzedawcy:");
  b.input(0xFFFF, 0x0400, 18, 2, 20, 13);
  b.item(kItemLabel,   kNoCommand,     0x0000, 0x0000,      2,  3,            16, 1, "ILN odbiorcy:");
  b.input(0xFFFF, 0x0400, 18, 3, 20, 13);
  b.item(kItemButton,  kCommandToHost, 0x0004, kKeyF12,     15, 5,            10, 1, "\x05" "F12\x01 OK");
  b.end();

  size_t total = b.used - 4;
  for (int i = 0; i < 4; ++i) b.bytes[i] = static_cast<unsigned char>((total >> (8 * i)) & 0xFF);
  // clang-format on
  return b;
}

constexpr Block<kBlockSize> kBlock = build<kBlockSize>(false);
static_assert(kBlock.used == kBlockSize, "the three dialogs take 706 bytes");
constexpr Block<kKsefBlockSize> kKsefBlock = build<kKsefBlockSize>(true);
static_assert(kKsefBlock.used == kKsefBlockSize, "the F5 button takes 36 bytes more");

}  // namespace

const std::array<unsigned char, 706> kDialogTemplates = kBlock.bytes;
const std::array<unsigned char, 742> kDialogTemplatesKsef = kKsefBlock.bytes;

}  // namespace kw::data
