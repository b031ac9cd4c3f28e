// What the document writers share: the tables they read, the data file's
// names, opening and closing, and the course of one export.
#pragma once

#include <cstdint>
#include <string>

#include "data/record_layout.h"
#include "data/text_output.h"
#include "data/write_status.h"
#include "formats/writers.h"
#include "frame/host_abi.h"
#include "frame/host_services.h"
#include "formats/layer.h"

namespace kw::formats {

struct WriterTables {
  HostTable* customers = nullptr;  // 35: its current record is `Kontrahent`
  HostTable* company = nullptr;    // 59: its current record is `Firma`
  HostTable* lines = nullptr;      // 45, or null when the host cannot provide it
  char* kontrahent = nullptr;
  char* firma = nullptr;
};

// Gets and prepares tables 35, 59 and 45 in this order. Without table 35 or
// 59 (or their current records) there is nothing to write from: the disk
// error 1324 is shown and the result is false.
bool openWriterTables(WriterTables& tables);

// Opens the data file "wt" under a temporary name beside `path`; on failure
// shows `openError` through 52030 and returns null. Resets the write status
// for the new file.
HostFile* openDataFile(const char* path, const char* openError);

// A formatted write straight to the file (host service 52541), its result
// noted in the write status.
template <typename... A>
void writeDirect(HostFile* file, const char* format, A... values) {
  noteWriteResult(svc::writeFormatted(file, format, printable(values)...));
}

// Closes the data file and gives it its real name, replacing an earlier file
// of that name. False, with "Nie udało się zapisać pliku eksportu faktury"
// shown and the temporary file removed, when any piece, the close or the
// rename failed.
bool closeDataFile(HostFile* file);

// The header's VAT groups in the order the XML writers list them, with the
// rate text they print; the zero group has only its net (no VAT, gross as net).
struct VatGroup {
  const char* rate;
  layout::Money net;
  layout::Money vat;
  layout::Money gross;
  bool zero;
};
constexpr VatGroup kVatGroups[] = {
    {"23.00", layout::Tspr::NettoA, layout::Tspr::VatA, layout::Tspr::BruttoA, false},
    {"8.00", layout::Tspr::NettoB, layout::Tspr::VatB, layout::Tspr::BruttoB, false},
    {"5.00", layout::Tspr::NettoC, layout::Tspr::VatC, layout::Tspr::BruttoC, false},
    {"0.00", layout::Tspr::Netto0, layout::Tspr::Netto0, layout::Tspr::Netto0, true},
};

// The names of one export's files: the data file "FAKTURY\\<stem><extension>"
// and its printout "FAKTURY\\<stem>.pdf" beside it.
struct ExportPaths {
  ExportPaths(const char* stem, const char* extension);
  char data[1024];
  char pdf[1024];
};

// "<prefix><the invoice's document number>": the stem of a file named by
// the document rather than by the invoice's number.
std::string documentStem(const char* prefix, const char* tspr);

// The course every writer shares: the tables, the format's own preparation
// (`prepare(tables)`; false ends the export, having said why), the data file
// under a temporary name, the document (`content(file, tables)`), the close
// and rename, and the closing steps once the file is whole.
template <typename Prepare, typename Content>
void writeInvoice(char* tspr, const ExportPaths& paths, const char* openError, const writers::Finish& finish,
                  Prepare prepare, Content content) {
  WriterTables tables;
  if (!openWriterTables(tables) || !prepare(tables)) return;
  HostFile* file = openDataFile(paths.data, openError);
  if (!file) return;
  content(file, tables);
  if (!closeDataFile(file)) return;
  finish(writers::Written{paths.data, paths.pdf, tspr, tables.firma, tables.lines});
}

// For a format with nothing to prepare.
inline bool nothingToPrepare(WriterTables&) { return true; }

// A copied text for a line-based file: CR and LF become blanks, so that the
// text cannot split its record.
std::string oneLine(std::string text);

// A one-line address split into street, postal code and city, each part
// cleaned with _xmlSafe.
struct AddressParts {
  char street[256];
  char postalCode[256];
  char city[256];

  explicit AddressParts(const std::string& address);
};

// A host date split by the host and printed with `format` (year, month, day).
std::string formatDate(const char* hostDate, const char* format);
// The same for the date `days` later (host service 31012).
std::string formatShiftedDate(const char* hostDate, int32_t days, const char* format);

}  // namespace kw::formats
