#include "formats/writer_common.h"

#include "data/address.h"
#include "data/host_data.h"
#include "data/records.h"
#include "data/text_output.h"
#include "data/write_status.h"
#include "frame/helpers.h"
#include "frame/host_services.h"
#include "frame/mazovia_text.h"
#include "frame/own_file.h"
#include "frame/platform.h"
#include "data/messages.h"
#include "formats/layer.h"

namespace kw::formats {

bool openWriterTables(WriterTables& tables) {
  tables.customers = openTable(kCustomerTable);
  tables.company = openTable(kCompanyTable);
  tables.lines = openTable(kLineTable);
  tables.kontrahent = tables.customers ? table::currentRecord(tables.customers) : nullptr;
  tables.firma = tables.company ? table::currentRecord(tables.company) : nullptr;
  if (tables.kontrahent && tables.firma) return true;
  showDiskError(hostabi::kDiskErrorLines);
  return false;
}

namespace {

// The data file being written (one export at a time): its real name, and the
// name it is written under until it is whole, beside it in the same folder so
// that the rename stays within one file system. The temporary name is this
// process's own: another export of the same file, from this workstation or
// another, writes under a name of its own, and the last rename wins whole.
char g_dataPath[1024];
char g_temporaryPath[1024];

// A reader on Windows (another user mailing the earlier file) may hold the
// real name open for a moment; the rename waits for it a little.
constexpr int kRenameAttempts = 40;
constexpr uint32_t kRenamePauseMs = 25;

bool putInPlace() {
  for (int attempt = 1;; ++attempt) {
    if (platform::MoveFileExA(g_temporaryPath, g_dataPath, platform::kMoveFileReplaceExisting)) return true;
    if (attempt == kRenameAttempts) return false;
    platform::Sleep(kRenamePauseMs);
  }
}

}  // namespace

HostFile* openDataFile(const char* path, const char* openError) {
  _formatText(g_dataPath, sizeof g_dataPath, "%s", path);
  HostFile* file = nullptr;
  if (claimOwnFile(g_temporaryPath, sizeof g_temporaryPath, [path](char* name, size_t size, const char* tag) {
        _formatText(name, size, "%s.%s.tmp", path, tag);
      })) {
    file = _openOutputFile(g_temporaryPath, "wt");
    if (!file) platform::DeleteFileA(g_temporaryPath);
  }
  if (!file) svc::showText(openError);
  resetWriteStatus();
  return file;
}

bool closeDataFile(HostFile* file) {
  bool failed = svc::closeFile(file) != 0 || writeFailed();
  // Only a whole file takes the real name; an earlier file of that name
  // stays as it was otherwise.
  if (!failed) failed = !putInPlace();
  if (failed) {
    platform::DeleteFileA(g_temporaryPath);
    svc::showText(message::kWriteFailed);
  }
  return !failed;
}

ExportPaths::ExportPaths(const char* stem, const char* extension) {
  _formatText(data, sizeof data, "FAKTURY\\%s%s", stem, extension);
  _formatText(pdf, sizeof pdf, "FAKTURY\\%s.pdf", stem);
}

std::string documentStem(const char* prefix, const char* tspr) {
  char stem[64];
  _formatText(stem, sizeof stem, "%s%d", prefix, rec::get(tspr, layout::Tspr::IdDokumentu));
  return stem;
}

std::string oneLine(std::string text) {
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  return text;
}

AddressParts::AddressParts(const std::string& address) {
  PodzielAdres(address.c_str(), street, postalCode, city);
  _xmlSafe(street);
  _xmlSafe(postalCode);
  _xmlSafe(city);
}

std::string formatDate(const char* hostDate, const char* format) {
  int16_t year = 0, month = 0, day = 0;
  svc::splitDate(hostDate, &year, &month, &day, 0);
  char text[64];
  _formatText(text, sizeof text, format, year, month, day);
  return text;
}

std::string formatShiftedDate(const char* hostDate, int32_t days, const char* format) {
  char shifted[16] = {};
  svc::addDays(hostDate, shifted, days);
  return formatDate(shifted, format);
}

}  // namespace kw::formats
