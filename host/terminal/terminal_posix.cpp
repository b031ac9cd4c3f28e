#include <curses.h>
#include <langinfo.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <csignal>
#include <cstring>

#include "keys.h"
#include "mazovia.h"
#include "terminal.h"

namespace welkor {

namespace {

// The host's codes of the function keys F1 … F12 in the four banks that
// terminals report as F1-F12, F13-F24 (Shift), F25-F36 (Ctrl), F49-F60 (Alt).
uint16_t functionKeyCode(int n) {
  static const struct {
    int first;
    uint8_t base;  // scan code of F1 … F10 is base + 1 … base + 10
    uint8_t f11;   // scan codes of F11 and F12
  } banks[] = {{1, 0x3A, 0x85}, {13, 0x53, 0x87}, {25, 0x5D, 0x89}, {49, 0x67, 0x8B}};
  for (const auto& bank : banks) {
    int i = n - bank.first + 1;
    if (i < 1 || i > 12) continue;
    return static_cast<uint16_t>((i <= 10 ? bank.base + i : bank.f11 + i - 11) << 8);
  }
  return 0;
}

uint16_t specialKeyCode(int key) {
  if (key >= KEY_F(1) && key <= KEY_F(60)) return functionKeyCode(key - KEY_F0);
  switch (key) {
    case KEY_UP: return key::Up;
    case KEY_DOWN: return key::Down;
    case KEY_PPAGE: return key::PageUp;
    case KEY_NPAGE: return key::PageDown;
    case KEY_HOME: return key::Home;
    case KEY_END: return key::End;
    case KEY_LEFT: return 0x4B00;
    case KEY_RIGHT: return 0x4D00;
    case KEY_IC: return 0x5200;
    case KEY_DC: return 0x5300;
    case KEY_BACKSPACE: return 0x0E08;
    case KEY_ENTER: return key::Enter;
    case KEY_BTAB: return 0x0F00;
  }
  return 0;
}

constexpr int kEscDelay = 25;  // ms within which the bytes of one key arrive

// Home and End in the forms terminals send them, whatever their terminfo
// entry says; the entry's own keys stay as they are.
void defineHomeEnd() {
  static const struct {
    const char* sequence;
    int key;
  } keys[] = {{"\033[1~", KEY_HOME}, {"\033[7~", KEY_HOME}, {"\033[H", KEY_HOME}, {"\033OH", KEY_HOME},
              {"\033[4~", KEY_END},  {"\033[8~", KEY_END},  {"\033[F", KEY_END},  {"\033OF", KEY_END}};
  for (const auto& k : keys)
    if (key_defined(k.sequence) == 0) define_key(k.sequence, k.key);
}

// Reads and drops the rest of an escape sequence that no key of the
// terminal's description matched, so that none of it is typed: `left` bytes
// of any value, or with left < 0 parameter and intermediate bytes up to a
// final byte. False when nothing followed.
bool skipSequence(int left) {
  bool skipped = false;
  timeout(kEscDelay);
  while (left != 0) {
    wint_t ch = 0;
    int status = get_wch(&ch);
    if (status == KEY_CODE_YES) ungetch(static_cast<int>(ch));
    if (status != OK) break;
    if (left < 0 && (ch < 0x20 || ch > 0x7E)) {
      unget_wch(static_cast<wchar_t>(ch));
      break;
    }
    skipped = true;
    left = left > 0 ? left - 1 : ch >= 0x40 ? 0 : -1;
  }
  timeout(-1);
  return skipped;
}

// A terminfo string of the terminal; empty when it has none.
std::string capability(const char* name) {
  const char* value = tigetstr(name);
  return value && value != reinterpret_cast<char*>(-1) ? value : "";
}

int styleAttributes(Style style) {
  bool colour = has_colors();
  switch (style) {
    case Style::Plain: return A_NORMAL;
    case Style::Header: return colour ? COLOR_PAIR(1) | A_BOLD : A_REVERSE;
    case Style::CursorRow: return colour ? COLOR_PAIR(2) : A_REVERSE;
    case Style::Dialog: return colour ? COLOR_PAIR(3) : A_NORMAL;
    case Style::DialogKey: return colour ? COLOR_PAIR(4) | A_BOLD : A_BOLD;
    case Style::DefaultButton: return colour ? COLOR_PAIR(3) | A_BOLD : A_BOLD | A_UNDERLINE;
    case Style::Field: return colour ? COLOR_PAIR(5) : A_REVERSE;
    case Style::Message: return colour ? COLOR_PAIR(6) | A_BOLD : A_NORMAL;
    case Style::Status: return colour ? COLOR_PAIR(1) : A_REVERSE;
  }
  return A_NORMAL;
}

}  // namespace

std::string fitColumns(const std::string& utf8, size_t width) {
  std::string out = utf8Head(utf8, width);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  out.append(width - utf8Columns(out), ' ');
  return out;
}

bool Terminal::open(std::string& error) {
  // Characters only: numbers in the plug-in's files keep their decimal point.
  std::setlocale(LC_CTYPE, "");
  if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) std::setlocale(LC_CTYPE, "C.UTF-8");
  tcgetattr(STDOUT_FILENO, &modes_);
  if (!newterm(nullptr, stdout, stdin)) {
    const char* term = std::getenv("TERM");
    error = std::string("cannot use the terminal (TERM=") + (term ? term : "") + ")";
    return false;
  }
  open_ = true;
  raw();
  noecho();
  nonl();
  keypad(stdscr, TRUE);
  set_escdelay(kEscDelay);
  defineHomeEnd();
  prepareClose();
  if (has_colors()) {
    start_color();
    use_default_colors();
    init_pair(1, COLOR_BLACK, COLOR_CYAN);   // header and status lines
    init_pair(2, COLOR_WHITE, COLOR_BLUE);   // the row under the cursor
    init_pair(3, COLOR_BLACK, COLOR_WHITE);  // dialogs
    init_pair(4, COLOR_RED, COLOR_WHITE);    // key labels and hot letters
    init_pair(5, COLOR_WHITE, COLOR_BLUE);   // input fields
    init_pair(6, COLOR_WHITE, COLOR_RED);    // message boxes
  }
  return true;
}

void Terminal::close() {
  if (!open_) return;
  endwin();
  open_ = false;
}

void Terminal::prepareClose() {
  // As endwin(): plain attributes and colours, the cursor at the bottom left
  // and shown, off the alternate screen, the keypad back in its own mode.
  std::string cup = capability("cup");
  const char* bottom = cup.empty() ? nullptr : tiparm(cup.c_str(), LINES - 1, 0);
  std::string bytes = capability("sgr0") + capability("op") + (bottom ? bottom : "") + capability("cnorm") +
                      capability("rmcup") + "\r" + capability("rmkx");
  // A signal in between must not find half of it.
  sigset_t all, before;
  sigfillset(&all);
  sigprocmask(SIG_BLOCK, &all, &before);
  closingLength_ = std::min(bytes.size(), sizeof closing_);
  std::memcpy(closing_, bytes.data(), closingLength_);
  sigprocmask(SIG_SETMASK, &before, nullptr);
}

void Terminal::closeFromSignal() const {
  if (!open_) return;
  ssize_t written = write(STDOUT_FILENO, closing_, closingLength_);
  static_cast<void>(written);
  tcsetattr(STDOUT_FILENO, TCSANOW, &modes_);
}

int Terminal::lines() const { return LINES; }
int Terminal::columns() const { return COLS; }

void Terminal::redraw(bool full) {
  erase();
  cursorRow_ = -1;
  for (const auto& layer : layers_) layer();
  if (full) clearok(curscr, TRUE);
  curs_set(cursorRow_ >= 0 ? 1 : 0);
  if (cursorRow_ >= 0) move(cursorRow_, cursorColumn_);
  refresh();
}

TermKey Terminal::readKey() {
  TermKey k;
  for (;;) {
    wint_t ch = 0;
    int status = get_wch(&ch);
    if (status == ERR) continue;
    if (status == KEY_CODE_YES && ch == KEY_RESIZE) {
      prepareClose();
      redraw(true);
      k.resized = true;
      return k;
    }
    if (status == KEY_CODE_YES && ch == KEY_MOUSE) {
      // Not asked for, but a program before may have left the terminal
      // sending them: the report is dropped whole.
      skipSequence(capability("kmous") == "\033[<" ? -1 : 3);
      continue;
    }
    if (status == KEY_CODE_YES) {
      k.special = static_cast<int>(ch);
      k.code = specialKeyCode(k.special);
      return k;
    }
    if (ch == 27 && !k.alt) {
      // Esc alone, or Esc and a character that came with it (Alt+key).
      nodelay(stdscr, TRUE);
      wint_t next = 0;
      int more = get_wch(&next);
      nodelay(stdscr, FALSE);
      if (more == OK && next != 27) {
        // "Esc O" and one byte, "Esc [" up to a final byte: no key (code 0).
        if ((next == '[' || next == 'O') && skipSequence(next == 'O' ? 1 : -1)) return k;
        k.alt = true;
        ch = next;
      } else {
        if (more == KEY_CODE_YES) ungetch(static_cast<int>(next));
        if (more == OK) unget_wch(static_cast<wchar_t>(next));
        k.code = key::Esc;
        return k;
      }
    }
    if (ch == '\r' || ch == '\n') return k.code = key::Enter, k;
    if (ch == 127 || ch == 8) return k.special = KEY_BACKSPACE, k.code = 0x0E08, k;
    if (ch == '\t') return k.code = 0x0F09, k;
    if (ch < 0x20) return k.code = static_cast<uint16_t>(ch), k;  // Ctrl+letter
    k.character = static_cast<uint32_t>(ch);
    k.code = static_cast<unsigned char>(unicodeToMazovia(k.character));
    return k;
  }
}

void Terminal::text(int row, int column, const std::string& utf8, int width, Style style) {
  if (width <= 0 || row < 0 || row >= LINES || column < 0 || column >= COLS) return;
  if (column + width > COLS) width = COLS - column;
  attrset(styleAttributes(style));
  mvaddstr(row, column, fitColumns(utf8, static_cast<size_t>(width)).c_str());
  attrset(A_NORMAL);
}

void Terminal::box(int row, int column, int height, int width, const std::string& title, Style style) {
  // Box-drawing characters as text: the same in every UTF-8 terminal, whatever
  // its line-drawing set.
  std::string line;
  for (int i = 2; i < width; ++i) line += "─";
  text(row, column, "┌" + line + "┐", width, style);
  for (int r = 1; r < height - 1; ++r) {
    text(row + r, column, "│", 1, style);
    text(row + r, column + 1, "", width - 2, style);
    text(row + r, column + width - 1, "│", 1, style);
  }
  text(row + height - 1, column, "└" + line + "┘", width, style);
  if (!title.empty()) {
    std::string shown = " " + title + " ";
    int w = static_cast<int>(utf8Columns(shown));
    if (w > width - 2) w = width - 2;
    text(row, column + (width - w) / 2, shown, w, style);
  }
}

}  // namespace welkor
