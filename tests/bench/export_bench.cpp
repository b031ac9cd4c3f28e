// Time and peak memory of one export per format, for an invoice of 10 lines
// and one of 10,000 lines. Each format runs in a child process of its own,
// and each export's peak is measured from the resident size it started with
// (the kernel's peak is reset before it), so the two peaks show whether an
// export's memory grows with the invoice.
//
// With --data-only the closing steps have nothing to do (the host has no
// invoice table to print from and the mail dialog is cancelled), so what is
// measured is the data file alone.
//
// The invoice's stored sums agree with its lines, as the KSeF writer wants.
//
//   export_bench [--formats pc,optima,edi,epp,ksef] [--lines N] [--data-only]
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "database.h"
#include "export/dispatcher.h"
#include "formats/ksef_sums.h"
#include "formats/writers.h"
#include "host_state.h"
#include "mazovia.h"
#include "tables.h"

using namespace kw::exporting;

namespace {

using Writer = InvoiceWriter;

struct Format {
  const char* name;
  Writer writer;
};

const Format kFormats[] = {
    {"pc", &writers::pcMarket}, {"optima", &writers::optima}, {"edi", &writers::comarchEdi},
    {"epp", &writers::epp},     {"ksef", &writers::ksef},
};

const double kRates[] = {23, 8, 5, 0};  // by VAT code, as the database's vatRates

// Line i's quantity (thousandths), unit net price (x 10000) and VAT code.
int32_t quantityOf(int i) { return (1 + i % 20) * 1000 + (i * 37) % 1000; }
int64_t priceOf(int i) { return ((1 + i % 300) * 100 + i % 100) * 100; }
int vatCodeOf(int i) { return i % 4; }

std::string line(int i) {
  char text[512];
  std::snprintf(text, sizeof text,
                R"({"Nazwa":"Towar nr %d śruba & nakrętka","Kod":"K%05d","Ilosc":%d.%03d,"Jm":"szt.",)"
                R"("CenaDokumentu":%d.%02d,"CenaPrzeliczona":%d.%02d,"KodVat":%d,"Pkwiu":"25.94.11",)"
                R"("KodDostawcy":"D%05d","RefTowaru1":%d,"RefTowaru2":7})",
                i, i, quantityOf(i) / 1000, quantityOf(i) % 1000, static_cast<int>(priceOf(i) / 10000),
                static_cast<int>(priceOf(i) / 100 % 100), 2 + i % 300, (i * 3) % 100, vatCodeOf(i), i, 1 + i % 50);
  return text;
}

std::string money(int64_t cents) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%02lld", static_cast<long long>(cents / 100),
                static_cast<long long>(cents % 100));
  return text;
}

// The header's sums of the lines, worked out as the invoice's own printout has them.
std::string sumsOf(int lines) {
  using namespace ksef;
  VatSums sums(true);
  for (int i = 0; i < lines; ++i)
    sums.add(*rateClassOf(static_cast<uint16_t>(vatCodeOf(i)), kRates[vatCodeOf(i)]),
             lineValue(quantityOf(i), priceOf(i)));
  int64_t net = 0, vat = 0;
  std::string json;
  const char* groups[] = {"A", "B", "C"};
  const Slot slots[] = {kSlot1, kSlot2, kSlot3};
  for (int g = 0; g < 3; ++g) {
    net += sums.net(slots[g]);
    vat += sums.vat(slots[g]);
    json += std::string(R"("Netto)") + groups[g] + "\":" + money(sums.net(slots[g])) + R"(,"Vat)" + groups[g] +
            "\":" + money(sums.vat(slots[g])) + R"(,"Brutto)" + groups[g] +
            "\":" + money(sums.net(slots[g]) + sums.vat(slots[g])) + ",";
  }
  net += sums.net(kSlot0);
  return json + R"("Netto0":)" + money(sums.net(kSlot0)) + R"(,"RazemNetto":)" + money(net) + R"(,"RazemVat":)" +
         money(vat) + R"(,"RazemBrutto":)" + money(sums.gross()) + R"(,"KwotaDoZaplaty":)" + money(sums.gross());
}

std::string invoice(int id, const char* number, int lines) {
  std::string json = R"({"IdDokumentu":)" + std::to_string(id) + R"(,"NrFaktury":")" + number +
                     R"(","IdKontrahenta":42,"IdDostawy":77,"SymbolOdbiorcy":"KOWAL",)"
                     R"("NazwaOdbiorcy":"Zakład Ślusarski Kowalski","AdresOdbiorcy":"31-610 Kraków os. Tysiąclecia 3",)"
                     R"("NipOdbiorcy":"677-00-65-406","RodzajCen":1,"DataSprzedazy":"2024-02-28",)"
                     R"("DataWystawienia":"2024-03-01","FormaPlatnosci":2,"TerminPlatnosci":14,)" +
                     sumsOf(lines) + R"(,"lines":[)";
  for (int i = 0; i < lines; ++i) json += (i ? "," : "") + line(i);
  return json + "]}";
}

std::string database(int longLines) {
  std::string goods;
  for (int i = 1; i <= 50; ++i)
    goods += (i > 1 ? "," : "") + std::string(R"({"RefTowaru1":)") + std::to_string(i) +
             R"(,"RefTowaru2":7,"Kod":"590123412)" + std::to_string(3000 + i) + "\"}";
  return R"({"company":{"Nazwa":"Hurtownia Żółć Sp. z o.o.","Ulica":"ul. Świętokrzyska","NrDomu":"12/4",)"
         R"("KodPocztowy":"00-950","Miejscowosc":"Łódź","BankKonto":"PKO Bank Polski 12 1020 1026 0000 0402 0000 1234",)"
         R"("Nip":"725-18-01-126","NipUE":"PL7251801126"},)"
         R"("vatRates":{"0":23,"1":8,"2":5,"3":0},)"
         R"("customers":[{"Id":42,"Symbol":"KOWAL","Nazwa":"Zakład Ślusarski Kowalski",)"
         R"("Adres":"31-610 Kraków os. Tysiąclecia 3","Nip":"677-00-65-406","Email":"jan@example.com",)"
         R"("BankKonto":"Bank Śląski 98 1050 0099 7603 1234 5678 9123"},)"
         R"({"Id":77,"Symbol":"MAG","Nazwa":"Magazyn Północ","Adres":"ul. Piękna 7, 90-001 Łódź"}],)"
         R"("goods":[)" +
         goods + "],\"invoices\":[" + invoice(1, "FV/1/2024", 10) + "," + invoice(2, "FV/2/2024", longLines) +
         R"(],"mail":{"server":"","port":25,"from":"biuro@example.pl"}})";
}

// A "VmRSS:" or "VmHWM:" figure of this process, in KB.
long statusKilobytes(const char* key) {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return -1;
  char line[256];
  long value = -1;
  while (std::fgets(line, sizeof line, status))
    if (std::strncmp(line, key, std::strlen(key)) == 0) value = std::atol(line + std::strlen(key));
  std::fclose(status);
  return value;
}

// Lowers the peak resident size to the current one, so that the next peak
// is one export's own and not the database's loading.
void resetPeak() {
  std::FILE* clear = std::fopen("/proc/self/clear_refs", "w");
  if (!clear) return;
  std::fputs("5", clear);
  std::fclose(clear);
}

struct Run {
  double ms;
  long peakGrowth;  // KB above the resident size the export started with
};

// One export of invoice `index` with `format`.
Run exportOnce(const Format& format, size_t index, bool dataOnly) {
  welkor::state().messages.clear();
  welkor::state().dialogRuns.clear();
  if (dataOnly) welkor::state().answers[1002].push_back({"Esc"});
  char* header = welkor::state().db.invoices.at(index).header.data();
  int16_t refresh = 0;
  resetPeak();
  long before = statusKilobytes("VmRSS:");
  auto start = std::chrono::steady_clock::now();
  runWriter(format.writer, header, 0, &refresh);
  auto end = std::chrono::steady_clock::now();
  return {std::chrono::duration<double, std::milli>(end - start).count(), statusKilobytes("VmHWM:") - before};
}

// The reason of a refused export, or empty: a refusal measures nothing.
std::string refusal() {
  for (const auto& message : welkor::state().messages)
    if (message.title == welkor::utf8ToMazovia("Błąd")) return welkor::mazoviaToUtf8(message.text);
  return "";
}

int runFormat(const Format& format, int longLines, bool dataOnly) {
  welkor::state().db = welkor::parseDatabase(database(longLines), "benchmark");
  if (dataOnly) welkor::state().db.knobs.tables[44].absent = true;
  welkor::tables().open(welkor::state().db);
  mkdir("FAKTURY", 0777);
  Run warmUp = exportOnce(format, 0, dataOnly);  // the libraries' first use is not the export's cost
  Run shortRun = exportOnce(format, 0, dataOnly);
  Run longRun = exportOnce(format, 1, dataOnly);
  const std::string refused = refusal();
  if (!refused.empty()) {
    std::fprintf(stderr, "%s: the export was refused:\n%s\n", format.name, refused.c_str());
    return 1;
  }
  std::printf("%-7s  %8.1f ms  %8.1f ms  %+9ld KB  %+9ld KB  (first export %.1f ms, %+ld KB)\n", format.name,
              shortRun.ms, longRun.ms, shortRun.peakGrowth, longRun.peakGrowth, warmUp.ms, warmUp.peakGrowth);
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string only;
  int longLines = 10000;
  bool dataOnly = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--data-only") == 0) dataOnly = true;
    if (i + 1 < argc && std::strcmp(argv[i], "--formats") == 0) only = argv[++i];
    if (i + 1 < argc && std::strcmp(argv[i], "--lines") == 0) longLines = std::atoi(argv[++i]);
  }
  for (size_t start = 0; !only.empty() && start <= only.size();) {
    size_t end = only.find(',', start);
    if (end == std::string::npos) end = only.size();
    const std::string name = only.substr(start, end - start);
    bool known = false;
    for (const Format& format : kFormats) known = known || name == format.name;
    if (!known) {
      std::fprintf(stderr, "export_bench: unknown format \"%s\" (known: pc, optima, edi, epp, ksef)\n", name.c_str());
      return 2;
    }
    start = end + 1;
  }
  char folder[] = "/tmp/kwbenchXXXXXX";
  if (!mkdtemp(folder) || chdir(folder) != 0) return 1;
  std::printf("export of 10 lines and of %d lines%s, each format in a process of its own (peak RSS)\n", longLines,
              dataOnly ? ", data file only" : "");
  std::printf("format   10 lines    %d lines  peak 10      peak %d  (peak: resident size above the start)\n", longLines,
              longLines);
  bool failed = false;
  for (const Format& format : kFormats) {
    if (!only.empty() && (',' + only + ',').find(',' + std::string(format.name) + ',') == std::string::npos) continue;
    std::fflush(stdout);
    pid_t child = fork();
    if (child == 0) std::_Exit(runFormat(format, longLines, dataOnly));
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) failed = true;
  }
  std::printf("output left in %s\n", folder);
  return failed ? 1 : 0;
}
