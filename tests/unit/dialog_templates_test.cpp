// The dialog template block against the layout of the three dialogs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "data/dialog_templates.h"
#include "plugin_names.h"
#include "dialog_template.h"
#include "frame/host_constants.h"

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

welkor::DialogTemplate dialogOf(const unsigned char* block, int32_t number) {
  welkor::DialogTemplate dialog;
  std::string error;
  EXPECT_TRUE(welkor::findDialog(block, number, dialog, error)) << number << ": " << error;
  return dialog;
}

// The key a button's label names: its hot key ("\x05F3\x01 …") or its
// marked letter ("~A~nuluj"); 0 when it names none.
uint16_t keyNamedBy(const std::string& label) {
  static const std::pair<const char*, uint16_t> kNamed[] = {
      {"F1", hostabi::kKeyF1}, {"F2", hostabi::kKeyF2},   {"F3", hostabi::kKeyF3},   {"F4", hostabi::kKeyF4},
      {"F5", hostabi::kKeyF5}, {"F12", hostabi::kKeyF12}, {"ESC", hostabi::kKeyEsc},
  };
  if (label.size() > 2 && label[0] == '\x05') {
    const std::string name = label.substr(1, label.find('\x01') - 1);
    for (const auto& [text, key] : kNamed)
      if (name == text) return key;
  }
  if (label.size() > 2 && label[0] == '~') return static_cast<uint16_t>(label[1]);
  return 0;
}

// What the three dialogs must be in themselves, whatever their layout: each
// button's key is the one its label names, each item lies inside the frame,
// and no two items of a row overlap.
TEST(DialogTemplates, EveryButtonAnswersTheKeyItNamesAndEveryItemFitsItsDialog) {
  for (const unsigned char* block : {kDialogTemplates.data(), kDialogTemplatesKsef.data()}) {
    for (int32_t number : {hostabi::kExportDialog, hostabi::kMailDialog, hostabi::kIlnDialog}) {
      const welkor::DialogTemplate dialog = dialogOf(block, number);
      ASSERT_FALSE(dialog.items.empty()) << number;
      for (size_t i = 0; i < dialog.items.size(); ++i) {
        const welkor::DialogItem& item = dialog.items[i];
        SCOPED_TRACE(number * 100 + static_cast<int>(i) + 1);
        if (item.kind == hostabi::kItemButton && item.key != 0) {
          EXPECT_EQ(item.key, keyNamedBy(item.text));
        }
        EXPECT_GT(item.column, 0);
        EXPECT_GT(item.row, 0);
        EXPECT_LT(item.column + item.width, dialog.width);
        EXPECT_LT(item.row + item.height, dialog.height);
        for (size_t j = 0; j < i; ++j) {
          const welkor::DialogItem& other = dialog.items[j];
          if (other.row == item.row) {
            EXPECT_TRUE(other.column + other.width <= item.column || item.column + item.width <= other.column)
                << "overlaps item " << number * 100 + static_cast<int>(j) + 1;
          }
        }
      }
    }
  }
}

// The export dialog's buttons: a writer's button returns its key, F12 hands
// the key to the host, Esc cancels; with KSeF the F5 button stands below F4
// and everything after it moves down by two rows.
TEST(DialogTemplates, TheExportButtonsReturnTheirCommandsAndF5IsInsertedBelowF4) {
  const welkor::DialogTemplate plain = dialogOf(kDialogTemplates.data(), hostabi::kExportDialog);
  const welkor::DialogTemplate ksef = dialogOf(kDialogTemplatesKsef.data(), hostabi::kExportDialog);
  const uint16_t commands[] = {hostabi::kKeyF1, hostabi::kKeyF2, hostabi::kKeyF3, hostabi::kKeyF4,
                               static_cast<uint16_t>(hostabi::kCommandToHost),
                               static_cast<uint16_t>(hostabi::kCommandCancel)};
  ASSERT_EQ(plain.items.size(), 6u);
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(plain.items[i].command, commands[i]) << i;
  ASSERT_EQ(ksef.items.size(), 7u);
  EXPECT_EQ(ksef.height, plain.height + 2);
  EXPECT_EQ(ksef.items[4].command, hostabi::kKeyF5);
  EXPECT_EQ(ksef.items[4].row, plain.items[3].row + 2);
  for (size_t i = 0; i < 6; ++i) {
    const welkor::DialogItem& was = plain.items[i];
    const welkor::DialogItem& is = ksef.items[i < 4 ? i : i + 1];
    EXPECT_EQ(is.command, was.command) << i;
    EXPECT_EQ(is.text, was.text) << i;
    EXPECT_EQ(is.row, was.row + (i < 4 ? 0 : 2)) << i;
  }
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
