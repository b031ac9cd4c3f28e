// `welkor browse`: the sales-invoice register on the terminal. Every key goes
// through the register's key handler, the plug-in's hook once it is
// installed; the host's own handler, behind it, moves the cursor and quits.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "commands.h"
#include "data/records.h"
#include "host_state.h"
#include "keys.h"
#include "mazovia.h"
#include "service_impl.h"
#include "tables.h"
#include "terminal.h"
#include "plugin_names.h"

namespace welkor {

namespace {

namespace fs = std::filesystem;

constexpr int kMinColumns = 80, kMinLines = 25;
// Ctrl+E stands in for Ctrl+F3 where the terminal cannot send it (the Linux console).
constexpr uint16_t kCtrlE = 0x0005;

// The files of the output folders, to name what an export wrote.
using Snapshot = std::map<std::string, std::pair<uintmax_t, fs::file_time_type>>;

Snapshot snapshot() {
  Snapshot files;
  for (const char* folder : {"FAKTURY", "OUTBOX"}) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      if (!it->is_regular_file(ec)) continue;
      files[std::string(folder) + "/" + it->path().filename().string()] = {it->file_size(ec), it->last_write_time(ec)};
    }
  }
  return files;
}

std::string written(const Snapshot& before, const Snapshot& after) {
  std::string names;
  for (const auto& file : after) {
    auto old = before.find(file.first);
    if (old != before.end() && old->second == file.second) continue;
    names += (names.empty() ? "" : ", ") + file.first;
  }
  return names;
}

// What the host and the plug-in write to standard error would tear the
// screen: it is kept aside, its last line shown, and all of it passed on at
// the end.
class ErrorCapture {
 public:
  void start() {
    char path[] = "/tmp/welkor-stderr-XXXXXX";
    int fd = isatty(2) ? mkstemp(path) : -1;
    if (fd < 0) return;
    // Its own file position for reading; the writes always go to the end.
    file_ = fdopen(fd, "r");
    fd_ = fd;
    int append = open(path, O_WRONLY | O_APPEND);
    unlink(path);
    if (!file_ || append < 0) return;
    std::fflush(stderr);
    saved_ = dup(2);
    dup2(append, 2);
    close(append);
  }
  std::string lastNewLine() {
    if (!file_) return "";
    std::fflush(stderr);
    std::string text;
    std::fseek(file_, shown_, SEEK_SET);
    for (int c; (c = std::fgetc(file_)) != EOF;) text += static_cast<char>(c);
    shown_ += static_cast<long>(text.size());
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text.substr(text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1);
  }
  void stop() {
    if (!file_) return;
    std::fflush(stderr);
    passOn();
    close(saved_);
    std::fclose(file_);
    file_ = nullptr;
  }
  // Standard error back, and all it received passed on; only calls that are
  // safe in a signal handler.
  void passOn() const {
    if (!file_) return;
    dup2(saved_, 2);
    char buffer[4096];
    off_t at = 0;
    for (ssize_t n; (n = pread(fd_, buffer, sizeof buffer, at)) > 0; at += n)
      if (write(2, buffer, static_cast<size_t>(n)) != n) break;
  }

 private:
  std::FILE* file_ = nullptr;
  int fd_ = -1;  // file_'s
  int saved_ = -1;
  long shown_ = 0;
};

class RegisterView {
 public:
  explicit RegisterView(Terminal& t) : t_(t) {}

  bool fits() const { return t_.columns() >= kMinColumns && t_.lines() >= kMinLines; }

  void draw() {
    if (!fits()) {
      t_.text(0, 0,
              "Terminal za mały: potrzeba " + std::to_string(kMinColumns) + "×" + std::to_string(kMinLines) +
                  " (F10 koniec)",
              t_.columns(), Style::Plain);
      return;
    }
    int width = t_.columns();
    const Database& db = state().db;
    std::string company = db.company.empty() ? "" : mazoviaToUtf8(rec::text(db.company.data(), layout::Firma::Nazwa));
    std::string title = " WELKOR  Faktury sprzedaży";
    t_.text(0, 0, title, width, Style::Header);
    int room = width - static_cast<int>(utf8Columns(title)) - 2;
    if (room > 0) {
      std::string shown = fitColumns(company, std::min(utf8Columns(company), static_cast<size_t>(room)));
      t_.text(0, width - 1 - static_cast<int>(utf8Columns(shown)), shown, static_cast<int>(utf8Columns(shown)),
              Style::Header);
    }
    drawRow(1, "Numer", "Data wyst.", "Nabywca", "Brutto", Style::Plain);
    char** rows = tables().rows();
    size_t count = db.invoices.size();
    for (int i = 0; i < visibleRows() && top_ + i < count; ++i) {
      const char* h = rows[top_ + i];
      char date[16] = {};
      welkor_svc_32008(date, rec::get(h, layout::Tspr::DataWystawienia));
      char gross[32];
      std::snprintf(gross, sizeof gross, "%.2f", rec::get(h, layout::Tspr::RazemBrutto) / 10000.0);
      drawRow(2 + i, mazoviaToUtf8(rec::text(h, layout::Tspr::NrFaktury)), date,
              mazoviaToUtf8(rec::text(h, layout::Tspr::NazwaOdbiorcy)), gross,
              top_ + i == cursor_ ? Style::CursorRow : Style::Plain);
    }
    t_.text(t_.lines() - 2, 0, " " + status_, width, Style::Plain);
    t_.text(t_.lines() - 1, 0, " ↑↓ PgUp PgDn Home End   Ctrl+F3 (Ctrl+E) eksport faktury   F10 koniec", width,
            Style::Status);
  }

  // The key through the register's key handler; then what the host's own
  // handler received is carried out. False when the register closes.
  bool press(uint16_t code) {
    tables().putCursor(cursor_, top_);
    auto& calls = tables().hostKeyCalls();
    size_t seen = calls.size();
    int16_t refresh = 0;
    pressRegisterKey(code, &refresh);
    // A key the plug-in only hands on to the register writes nothing; the
    // output folders, however full, are read again after any other.
    std::string files;
    if (calls.size() != seen + 1 || calls.back().args[0] != code) {
      Snapshot now = snapshot();
      files = written(files_, now);
      files_ = std::move(now);
    }
    status_ = files.empty() ? "" : "Zapisano: " + files;
    bool open = true;
    for (size_t i = seen; i < calls.size(); ++i) open = hostAction(static_cast<uint16_t>(calls[i].args[0])) && open;
    if (status_.empty() && code == key::CtrlF3) status_ = "Eksport: nic nie zapisano";
    std::string error = errors_.lastNewLine();
    if (!error.empty()) status_ = "! " + error;
    tables().putCursor(cursor_, top_);
    t_.redraw(refresh != 0);
    return open;
  }

  void setStatus(const std::string& text) { status_ = text; }
  // The output folders as they are before the first key.
  void readFolders() { files_ = snapshot(); }
  ErrorCapture& errors() { return errors_; }

 private:
  int visibleRows() const { return std::max(1, t_.lines() - 4); }

  void drawRow(int row, const std::string& number, const std::string& date, const std::string& buyer,
               const std::string& gross, Style style) {
    int width = t_.columns();
    std::string line = " " + fitColumns(number, 18) + " " + fitColumns(date, 10) + "  " +
                       fitColumns(buyer, static_cast<size_t>(width - 46)) + " ";
    size_t grossColumns = utf8Columns(gross);
    line += std::string(grossColumns < 12 ? 12 - grossColumns : 0, ' ') + gross;
    t_.text(row, 0, line, width, style);
  }

  // The host's own handling of a register key.
  bool hostAction(uint16_t code) {
    size_t count = state().db.invoices.size(), page = static_cast<size_t>(visibleRows());
    if (count == 0) return code != key::F10 && code != key::Esc;
    switch (code) {
      case key::Up: cursor_ = cursor_ ? cursor_ - 1 : 0; break;
      case key::Down: cursor_ = std::min(cursor_ + 1, count - 1); break;
      case key::PageUp: cursor_ = cursor_ > page ? cursor_ - page : 0; break;
      case key::PageDown: cursor_ = std::min(cursor_ + page, count - 1); break;
      case key::Home: cursor_ = 0; break;
      case key::End: cursor_ = count - 1; break;
      case key::F10:
      case key::Esc: return false;
      default: {
        char text[64];
        std::snprintf(text, sizeof text, "Klawisz 0x%04X obsłużony przez program", code);
        if (status_.empty()) status_ = text;
      }
    }
    if (cursor_ < top_) top_ = cursor_;
    if (cursor_ >= top_ + page) top_ = cursor_ - page + 1;
    return true;
  }

  Terminal& t_;
  ErrorCapture errors_;
  size_t cursor_ = 0, top_ = 0;
  std::string status_;
  Snapshot files_;  // the output folders when they were last read
};

// Signals that end the program (from outside, or a crash): the terminal and
// standard error are given back first. Only those still at their default:
// one the caller ignores stays ignored, a sanitizer's stays its own.
void handleEndingSignals(void (*handler)(int)) {
  for (int number : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL}) {
    struct sigaction action = {};
    if (sigaction(number, nullptr, &action) != 0 || action.sa_handler != SIG_DFL) continue;
    action.sa_handler = handler;
    sigfillset(&action.sa_mask);
    sigaction(number, &action, nullptr);
  }
}

}  // namespace

int browse(void* plugin) {
  HostState& s = state();
  if (!tables().find(hostabi::kInvoiceTable)) {
    std::fprintf(stderr, "welkor: the database has no sales-invoice register (table 44)\n");
    return 2;
  }
  if (!isatty(0) || !isatty(1)) {
    std::fprintf(stderr, "welkor: browse needs a terminal\n");
    return 2;
  }
  // Static, so that a host that stops the program (exit) still gives the
  // terminal and standard error back.
  static Terminal terminal;
  static RegisterView view(terminal);
  // Before the terminal opens, so that the terminal library keeps out of it;
  // the signal then ends the program as it would have.
  handleEndingSignals([](int number) {
    terminal.closeFromSignal();
    view.errors().passOn();
    signal(number, SIG_DFL);
    raise(number);
  });
  std::string error;
  if (!terminal.open(error)) {
    std::fprintf(stderr, "welkor: %s\n", error.c_str());
    return 2;
  }
  view.errors().start();
  std::atexit([] {
    terminal.close();
    view.errors().stop();
  });
  terminal.pushLayer([] { view.draw(); });
  std::unique_ptr<Screen> screen = terminalScreen(terminal);
  s.echoMessages = false;
  s.screen = screen.get();
  terminal.redraw();
  Registration r = registerSilently(plugin);
  if (r.status == 0) {
    view.setStatus("Wtyczka: " + r.title);
    view.readFolders();
    for (bool open = true; open;) {
      terminal.redraw();
      TermKey k = terminal.readKey();
      if (k.resized || !k.code) continue;
      uint16_t code = k.code == kCtrlE ? key::CtrlF3 : k.code;
      if (!view.fits()) {
        open = code != key::F10 && code != key::Esc;
        continue;
      }
      open = view.press(code);
    }
  }
  s.screen = nullptr;
  terminal.close();
  view.errors().stop();
  if (r.status == 1) std::printf("register: %d\ntitle: %s\n", r.result, r.title.c_str());
  return r.status;
}

}  // namespace welkor
