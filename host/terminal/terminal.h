// The interactive front end's terminal (ncurses): full screen, drawn in
// layers, keys read as the host's keyboard codes. Native build only.
#pragma once

#include <termios.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host_state.h"
#include "utf8_columns.h"

namespace welkor {

struct TermKey {
  uint16_t code = 0;       // the host's keyboard code; 0 when the key has none
  uint32_t character = 0;  // a printable character typed (Unicode), else 0
  bool alt = false;        // Alt with it (Esc, then the key)
  int special = 0;         // the terminal's own code of a non-character key
  bool resized = false;    // the terminal changed size (already redrawn)
};

enum class Style { Plain, Header, CursorRow, Dialog, DialogKey, DefaultButton, Field, Message, Status };

class Terminal {
 public:
  ~Terminal() { close(); }
  // Opens the terminal full screen; false with the reason when it cannot.
  bool open(std::string& error);
  // Back to the plain terminal; nothing when not open.
  void close();
  // The same from a signal handler: only calls that are safe there.
  void closeFromSignal() const;

  int lines() const;
  int columns() const;

  // Layers drawn bottom first: the register, a dialog, a message box.
  void pushLayer(std::function<void()> draw) { layers_.push_back(std::move(draw)); }
  void popLayer() { layers_.pop_back(); }
  // Draws every layer; `full` repaints the whole screen, not only changes.
  void redraw(bool full = false);

  // Waits for a key; a resize redraws before it is returned.
  TermKey readKey();

  // A UTF-8 text at a place, cut or padded to `width` columns.
  void text(int row, int column, const std::string& utf8, int width, Style style);
  // A framed box filled with blanks, the title in its top line.
  void box(int row, int column, int height, int width, const std::string& title, Style style);
  // Where the cursor blinks after the next redraw; hidden when row < 0.
  void placeCursor(int row, int column) { cursorRow_ = row, cursorColumn_ = column; }

 private:
  // What close() would send, prepared while terminfo may still be asked.
  void prepareClose();

  bool open_ = false;
  termios modes_ = {};      // the terminal's modes before open()
  char closing_[256] = {};  // the bytes of prepareClose()
  size_t closingLength_ = 0;
  std::vector<std::function<void()>> layers_;
  int cursorRow_ = -1, cursorColumn_ = 0;
};

// The host's dialogs and message boxes on the terminal, over its other layers.
std::unique_ptr<Screen> terminalScreen(Terminal& terminal);

// Cut or padded with blanks to `width` columns; control characters become blanks.
std::string fitColumns(const std::string& utf8, size_t width);

}  // namespace welkor
