#include "ksef/journal.h"

#include <cstdlib>

#include "ksef/time_text.h"

namespace kw::ksef::journal {

namespace {

constexpr size_t kJournalLimit = 64u << 20;
constexpr size_t kNoteLimit = 300;

const char* const kStatusNames[] = {"WYSYLANA", "PRZYJETA", "ODRZUCONA", "NIEWYSLANA", "NIEZNANY"};

// Tabs and line ends would break the line; every control character becomes a blank.
std::string field(const std::string& text, const char* empty = "-") {
  if (text.empty()) return empty;
  std::string out = text;
  for (char& c : out) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = ' ';
  }
  return out;
}

// At most `limit` bytes, not cutting a UTF-8 sequence.
std::string shortened(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

std::vector<std::string> split(const std::string& line) {
  std::vector<std::string> fields;
  size_t at = 0;
  for (;;) {
    size_t tab = line.find('\t', at);
    fields.push_back(line.substr(at, tab - at));
    if (tab == std::string::npos) return fields;
    at = tab + 1;
  }
}

std::string value(const std::string& text) { return text == "-" ? std::string() : text; }

bool parseInteger(const std::string& text, long long low, long long high, long long& out) {
  if (text.empty() || text.size() > 11) return false;
  char* end = nullptr;
  out = std::strtoll(text.c_str(), &end, 10);
  return *end == '\0' && out >= low && out <= high;
}

}  // namespace

std::string utcNow() { return timetext::utcIso(timetext::unixNow()); }

std::string formatLine(const Entry& entry) {
  bool rejected = entry.status == Status::Rejected;
  return field(entry.time) + '\t' + std::to_string(entry.documentId) + '\t' + field(entry.number) + '\t' +
         field(entry.sha256) + '\t' + field(entry.session) + '\t' + field(entry.invoice) + '\t' +
         kStatusNames[static_cast<int>(entry.status)] + '\t' + field(entry.ksefNumber) + '\t' +
         (rejected ? std::to_string(entry.code) : std::string("-")) + '\t' + field(shortened(entry.note, kNoteLimit)) +
         '\n';
}

bool parseLine(const std::string& line, Entry& entry) {
  // A journal someone saved with CR LF line ends still reads.
  std::vector<std::string> fields =
      split(!line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line);
  if (fields.size() != 10) return false;
  long long id = 0, code = 0;
  if (!parseInteger(fields[1], INT32_MIN, INT32_MAX, id)) return false;
  int status = -1;
  for (int i = 0; i < 5; ++i)
    if (fields[6] == kStatusNames[i]) status = i;
  if (status < 0 || fields[3].size() != 64) return false;
  if (fields[8] != "-" && !parseInteger(fields[8], 0, 999999, code)) return false;
  entry = Entry{};
  entry.time = fields[0];
  entry.documentId = static_cast<int32_t>(id);
  entry.number = value(fields[2]);
  entry.sha256 = fields[3];
  entry.session = value(fields[4]);
  entry.invoice = value(fields[5]);
  entry.status = static_cast<Status>(status);
  entry.ksefNumber = value(fields[7]);
  entry.code = static_cast<int>(code);
  entry.note = value(fields[9]);
  return true;
}

bool append(const std::string& folder, Entry entry, platform::Clock::time_point deadline) {
  platform::FileLock lock;
  if (lock.acquire(platform::joinPath(folder, kLockName), deadline) != platform::FileLock::Got::Locked) return false;
  entry.time = utcNow();
  return platform::appendDurably(platform::joinPath(folder, kFileName), formatLine(entry));
}

bool entriesOf(const std::string& folder, int32_t documentId, platform::Clock::time_point deadline,
               std::vector<Entry>& entries) {
  entries.clear();
  std::string path = platform::joinPath(folder, kFileName);
  std::string text;
  {
    platform::FileLock lock;
    if (lock.acquire(platform::joinPath(folder, kLockName), deadline) != platform::FileLock::Got::Locked) return false;
    if (!platform::fileExists(path)) return true;
    if (!platform::readWholeFile(path, kJournalLimit, text)) return false;
  }
  size_t at = 0;
  // Only lines ended by a line feed: a line torn by a crash is not a step.
  for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    Entry entry;
    if (parseLine(text.substr(at, end - at), entry) && entry.documentId == documentId) entries.push_back(entry);
  }
  return true;
}

}  // namespace kw::ksef::journal
