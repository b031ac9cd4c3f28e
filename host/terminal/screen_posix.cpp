// The terminal driver of the host's dialogs and message boxes. The dialog
// logic itself is the shared model; this only draws it and feeds it keys.
#include <curses.h>

#include <algorithm>
#include <cctype>

#include "dialog_model.h"
#include "keys.h"
#include "mazovia.h"
#include "message_display.h"
#include "terminal.h"
#include "plugin_names.h"

namespace welkor {

namespace {

// Where the user is typing: the field, the position in it, and whether the
// proposed text is still whole (the first character typed replaces it).
struct Editing {
  size_t field = 0;
  size_t position = 0;
  bool proposed = true;
};

class TerminalScreen : public Screen {
 public:
  explicit TerminalScreen(Terminal& terminal) : t_(terminal) {}

  void runDialog(DialogModel& dialog) override {
    Editing edit;
    if (dialog.fieldCount()) edit.position = dialog.field(0).size();
    t_.pushLayer([&] { drawDialog(dialog, edit); });
    while (!dialog.closed()) {
      t_.redraw();
      TermKey k = t_.readKey();
      if (k.resized || editField(dialog, edit, k)) continue;
      if (k.alt && k.character < 0x80 && std::isalpha(static_cast<int>(k.character))) {
        dialog.press(static_cast<uint16_t>(std::toupper(static_cast<int>(k.character))));
      } else if (k.code) {
        dialog.press(k.code);
      }
    }
    t_.popLayer();
    t_.redraw();
  }

  void showMessage(const LoggedMessage& message) override {
    t_.pushLayer([&] { drawMessage(message); });
    for (;;) {
      t_.redraw();
      if (!t_.readKey().resized) break;
    }
    t_.popLayer();
    t_.redraw();
  }

 private:
  // Typing, deleting and moving within the input fields. False for a key
  // that is not for the fields.
  bool editField(DialogModel& dialog, Editing& edit, const TermKey& k) {
    size_t count = dialog.fieldCount();
    if (!count || k.alt) return false;
    std::string text = dialog.field(edit.field);
    size_t room = dialog.fieldItem(edit.field).maxLength;
    bool proposed = edit.proposed;
    edit.proposed = false;
    if (k.character) {
      if (proposed) text.clear(), edit.position = 0;
      if (text.size() < room) text.insert(edit.position++, 1, unicodeToMazovia(k.character));
    } else if (k.special == KEY_BACKSPACE || k.special == KEY_DC) {
      if (proposed) {
        text.clear(), edit.position = 0;
      } else if (k.special == KEY_DC) {
        if (edit.position < text.size()) text.erase(edit.position, 1);
      } else if (edit.position > 0) {
        text.erase(--edit.position, 1);
      }
    } else if (k.special == KEY_LEFT || k.special == KEY_RIGHT || k.special == KEY_HOME || k.special == KEY_END) {
      if (k.special == KEY_LEFT && edit.position > 0) --edit.position;
      if (k.special == KEY_RIGHT && edit.position < text.size()) ++edit.position;
      if (k.special == KEY_HOME) edit.position = 0;
      if (k.special == KEY_END) edit.position = text.size();
    } else if (k.code == 0x0F09 || k.special == KEY_DOWN || k.special == KEY_BTAB || k.special == KEY_UP) {
      bool back = k.special == KEY_BTAB || k.special == KEY_UP;
      edit.field = (edit.field + (back ? count - 1 : 1)) % count;
      edit.position = dialog.field(edit.field).size();
      edit.proposed = true;
      return true;
    } else {
      edit.proposed = proposed;
      return false;
    }
    dialog.setField(edit.field, text);
    return true;
  }

  void drawDialog(const DialogModel& dialog, const Editing& edit) {
    const DialogTemplate& d = dialog.dialog();
    int top = (t_.lines() - d.height) / 2, left = (t_.columns() - d.width) / 2;
    t_.box(top, left, d.height, d.width, mazoviaToUtf8(buttonCaption(d.title)), Style::Dialog);
    size_t field = 0;
    for (const DialogItem& item : d.items) {
      int row = top + item.row, column = left + item.column;
      if (item.kind == hostabi::kItemLabel) {
        t_.text(row, column, mazoviaToUtf8(item.text), item.width, Style::Dialog);
      } else if (item.kind == hostabi::kItemButton) {
        drawButton(row, column, item);
      } else if (item.kind == hostabi::kItemInput && field < dialog.fieldCount()) {
        std::string text = dialog.field(field);
        bool focused = field == edit.field;
        size_t first = focused && edit.position >= item.width ? edit.position - item.width + 1 : 0;
        t_.text(row, column, mazoviaToUtf8(text.substr(std::min(first, text.size()))), item.width,
                focused && edit.proposed ? Style::Header : Style::Field);
        if (focused) t_.placeCursor(row, column + static_cast<int>(edit.position - first));
        ++field;
      }
    }
  }

  // A button's text with its key label (0x05 … 0x01) and hot letter (~X~)
  // marked out.
  void drawButton(int row, int column, const DialogItem& item) {
    Style plain = item.flags & 0x0004 ? Style::DefaultButton : Style::Dialog;
    int used = 0;
    bool label = false, hot = false;
    for (char c : item.text) {
      if (c == '\x05' || c == '\x01') {
        label = c == '\x05';
      } else if (c == '~') {
        hot = !hot;
      } else if (used < item.width) {
        t_.text(row, column + used++, mazoviaToUtf8(std::string(1, c)), 1, label || hot ? Style::DialogKey : plain);
      }
    }
    t_.text(row, column + used, "", item.width - used, plain);
  }

  void drawMessage(const LoggedMessage& message) {
    std::vector<std::string> lines = messageLines(message.text);
    std::string title = mazoviaToUtf8(message.title);
    const std::string hint = "naciśnij klawisz";
    size_t inner = std::max(utf8Columns(title) + 4, utf8Columns(hint));
    for (const std::string& line : lines) inner = std::max(inner, utf8Columns(line));
    int width = std::min(static_cast<int>(inner) + 4, t_.columns());
    int height = std::min(static_cast<int>(lines.size()) + 4, t_.lines());
    int top = (t_.lines() - height) / 2, left = (t_.columns() - width) / 2;
    Style style = message.service == 35802 ? Style::Message : Style::Dialog;
    t_.box(top, left, height, width, title, style);
    for (size_t i = 0; i < lines.size() && static_cast<int>(i) < height - 4; ++i)
      t_.text(top + 1 + static_cast<int>(i), left + 2, lines[i], width - 4, style);
    int hintWidth = static_cast<int>(utf8Columns(hint));
    t_.text(top + height - 2, left + (width - hintWidth) / 2, hint, hintWidth, style);
  }

  Terminal& t_;
};

}  // namespace

std::unique_ptr<Screen> terminalScreen(Terminal& terminal) { return std::make_unique<TerminalScreen>(terminal); }

}  // namespace welkor
