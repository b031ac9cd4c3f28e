// The dialog template block against the layout of the three dialogs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "data/dialog_templates.h"
#include "plugin_names.h"
#include "dialog_template.h"

namespace {

uint16_t wordAt(size_t offset) {
  return static_cast<uint16_t>(kDialogTemplates[offset] | (kDialogTemplates[offset + 1] << 8));
}

// The expected items stand as tables, one item a line.
// clang-format off
TEST(DialogTemplates, BlockSizesAreTotalThenThreeTemplates) {
  ASSERT_EQ(kDialogTemplates.size(), 706u);
  EXPECT_EQ(wordAt(0) | (wordAt(2) << 16), 702);
  // Each template: size and count words, then `size` bytes.
  size_t at = 4;
  const uint16_t sizes[] = {262, 208, 220};
  const uint16_t counts[] = {6, 5, 5};
  const uint16_t numbers[] = {1001, 1002, 1003};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(wordAt(at), sizes[i]);
    EXPECT_EQ(wordAt(at + 2), counts[i]);
    EXPECT_EQ(wordAt(at + 4), 0xFFFF) << "frame kind";
    EXPECT_EQ(wordAt(at + 6), numbers[i]) << "frame command is the dialog number";
    at += 4u + sizes[i];
  }
  EXPECT_EQ(at, 706u);
}

struct Item {
  uint16_t kind, command, flags, key, column, row, width;
  const char* text;
};

void expectItems(int32_t number, const char* title, uint16_t frameFlags, uint16_t width, uint16_t height,
                 const std::vector<Item>& items, const unsigned char* block = kDialogTemplates.data()) {
  welkor::DialogTemplate dialog;
  std::string error;
  ASSERT_TRUE(welkor::findDialog(block, number, dialog, error)) << error;
  EXPECT_EQ(dialog.title, title);
  EXPECT_EQ(dialog.frameFlags, frameFlags);
  EXPECT_EQ(dialog.width, width);
  EXPECT_EQ(dialog.height, height);
  ASSERT_EQ(dialog.items.size(), items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    const auto& got = dialog.items[i];
    const Item& want = items[i];
    SCOPED_TRACE(number * 100 + static_cast<int>(i) + 1);
    EXPECT_EQ(got.kind, want.kind);
    EXPECT_EQ(got.column, want.column);
    EXPECT_EQ(got.row, want.row);
    EXPECT_EQ(got.width, want.width);
    EXPECT_EQ(got.height, 1);
    EXPECT_EQ(got.text, want.text);
    if (want.kind != 5) {
      EXPECT_EQ(got.command, want.command);
      EXPECT_EQ(got.flags, want.flags);
      EXPECT_EQ(got.key, want.key);
    }
  }
}

TEST(DialogTemplates, EveryItemOfTheThreeDialogs) {
  expectItems(1001, "Eksport faktur", 0, 34, 15,
              {{0, 0x3B00, 0, 0x3B00, 2, 2, 28, "\x05" "F1\x01 PC Market"},
               {0, 0x3C00, 0, 0x3C00, 2, 4, 28, "\x05" "F2\x01 Comarch Optima"},
               {0, 0x3D00, 0, 0x3D00, 2, 6, 28, "\x05" "F3\x01 Comarch EDI"},
               {0, 0x3E00, 0, 0x3E00, 2, 8, 28, "\x05" "F4\x01 Insert EDI++ (EPP)"},
               {0, 0x5001, 0, 0x8600, 2, 10, 28, "\x05" "F12\x01 Velmora EDI"},
               {0, 0x5002, 0, 0x001B, 2, 12, 28, "\x05" "ESC\x01 Anuluj"}});
  expectItems(1002, "Wysylanie poczty", 0x0100, 52, 7,
              {{3, 0xFFFF, 0, 0, 3, 2, 16, "E-mail odbiorcy:"},
               {5, 0, 0, 0, 19, 2, 30, ""},
               {0, 0x5001, 0x8004, 0, 5, 4, 12, "\x05" "F12\x01 OK"},
               {0, 0x3D00, 0x0100, 0x3D00, 21, 4, 12, "\x05" "F3\x01 Konfig."},
               {0, 0x5002, 0, 0x0041, 37, 4, 8, "~A~nuluj"}});
  expectItems(1003, "Opcje eksportu", 0, 40, 8,
              {{3, 0xFFFF, 0, 0, 2, 2, 16, "ILN sprzedawcy:"},
               {5, 0, 0, 0, 18, 2, 20, ""},
               {3, 0xFFFF, 0, 0, 2, 3, 16, "ILN odbiorcy:"},
               {5, 0, 0, 0, 18, 3, 20, ""},
               {0, 0x5001, 0x0004, 0x8600, 15, 5, 10, "\x05" "F12\x01 OK"}});
}

TEST(DialogTemplates, KsefBlockAddsF5AndKeepsTheOtherDialogsByteForByte) {
  expectItems(1001, "Eksport faktur", 0, 34, 17,
              {{0, 0x3B00, 0, 0x3B00, 2, 2, 28, "\x05" "F1\x01 PC Market"},
               {0, 0x3C00, 0, 0x3C00, 2, 4, 28, "\x05" "F2\x01 Comarch Optima"},
               {0, 0x3D00, 0, 0x3D00, 2, 6, 28, "\x05" "F3\x01 Comarch EDI"},
               {0, 0x3E00, 0, 0x3E00, 2, 8, 28, "\x05" "F4\x01 Insert EDI++ (EPP)"},
               {0, 0x3F00, 0, 0x3F00, 2, 10, 28, "\x05" "F5\x01 KSeF FA(3)"},
               {0, 0x5001, 0, 0x8600, 2, 12, 28, "\x05" "F12\x01 Velmora EDI"},
               {0, 0x5002, 0, 0x001B, 2, 14, 28, "\x05" "ESC\x01 Anuluj"}},
              kDialogTemplatesKsef.data());
  const size_t total = kDialogTemplatesKsef[0] | (kDialogTemplatesKsef[1] << 8);
  EXPECT_EQ(total, kDialogTemplatesKsef.size() - 4);
  const size_t after1001 = 4 + 4 + 262;
  EXPECT_TRUE(std::equal(kDialogTemplates.begin() + after1001, kDialogTemplates.end(),
                         kDialogTemplatesKsef.begin() + after1001 + 36));
}

// An input field: 21 words, then an empty text.
std::vector<uint16_t> inputWords(size_t offset) {
  std::vector<uint16_t> words;
  for (size_t i = 0; i < 21; ++i) words.push_back(wordAt(offset + 2 * i));
  EXPECT_EQ(kDialogTemplates[offset + 42], 0) << "empty text";
  return words;
}

size_t find(const char* text) {
  auto it = std::search(kDialogTemplates.begin(), kDialogTemplates.end(), text, text + std::strlen(text) + 1);
  return static_cast<size_t>(it - kDialogTemplates.begin());
}

TEST(DialogTemplates, InputFieldsHoldTheirWordsAsLaidOut) {
  size_t after1002Label = find("E-mail odbiorcy:") + 17;
  EXPECT_EQ(inputWords(after1002Label),
            (std::vector<uint16_t>{5, 38, 5, 0x4103, 0x0540, 0, 19, 2, 30, 1, 0, 0, 0, 0, 0, 0, 60, 8, 0, 60, 1}));
  size_t seller = find("ILN sprzedawcy:") + 16;
  EXPECT_EQ(inputWords(seller),
            (std::vector<uint16_t>{5, 38, 5, 0xFFFF, 0x0400, 0, 18, 2, 20, 1, 0, 0, 0, 0, 0, 0, 13, 8, 0, 13, 1}));
  size_t buyer = find("ILN odbiorcy:") + 14;
  EXPECT_EQ(inputWords(buyer),
            (std::vector<uint16_t>{5, 38, 5, 0xFFFF, 0x0400, 0, 18, 3, 20, 1, 0, 0, 0, 0, 0, 0, 13, 8, 0, 13, 1}));
}

}  // namespace
// clang-format on
