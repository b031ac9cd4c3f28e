// The journal of KSeF sending, `ksef-wysylka.txt` in the invoices' folder:
// one line per step that matters, appended under a lock and on the disk
// before the next step starts. Shared by every workstation that sends from
// the folder; the line format is described in docs/ksef.md, "Sending".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ksef/platform.h"

namespace kw::ksef::journal {

constexpr const char* kFileName = "ksef-wysylka.txt";
constexpr const char* kLockName = "ksef-wysylka.lock";

enum class Status { Sending, Accepted, Rejected, NotSent, Unknown };

struct Entry {
  std::string time;  // UTC, ISO 8601, filled in by append()
  int32_t documentId = 0;
  std::string number;   // the invoice number
  std::string sha256;   // hex, of the bytes sent or to be sent
  std::string session;  // the session's reference number, or empty
  std::string invoice;  // the invoice's reference number, or empty
  Status status = Status::Sending;
  std::string ksefNumber;  // or empty
  int code = 0;            // KSeF's code of a rejection
  std::string note;        // KSeF's description of a rejection, or our reason
};

std::string formatLine(const Entry& entry);
// False for a line that is not a journal line (a torn last line included).
bool parseLine(const std::string& line, Entry& entry);

// Appends the entry with the current time; false when it could not be
// locked, written or flushed by `deadline`.
bool append(const std::string& folder, Entry entry, platform::Clock::time_point deadline);

// Every entry of the document, oldest first; false when the journal exists
// but cannot be read.
bool entriesOf(const std::string& folder, int32_t documentId, platform::Clock::time_point deadline,
               std::vector<Entry>& entries);

// The current UTC time as "2026-03-05T10:15:30Z".
std::string utcNow();

}  // namespace kw::ksef::journal
