// Every writer under every single fault: the Nth allocation, file open,
// formatted write or close fails, for each N that an export reaches. Each run
// either ends as the run without a fault does, or reports an error, keeps any
// earlier file of the real name and goes no further; nothing is left held.
// F5 with sending on is swept through the send as well, against the
// stand-in KSeF: a run that fails sends nothing, and KSeF never holds more
// than the one copy of the file that the run without a fault writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "database.h"
#include "external_tools.h"
#include "ksef_standin.h"
#include "export/dispatcher.h"
#include "formats/writers.h"
#include "host_state.h"
#include "mazovia.h"
#include "scan_checks.h"
#include "tables.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::readFile;

using Writer = InvoiceWriter;

struct WriterCase {
  const char* name;
  Writer writer;
  const char* dataFile;
  const char* confirmation = "Dokument został zapisany";  // null: the run without a fault's last message
  std::function<size_t()> ksefCopies = nullptr;           // F5 sends: the copies KSeF holds
};

// What a send leaves beside the file: the journal, its lock, the invoice's
// lock and the receipt.
bool isSendingFile(const std::string& name) {
  return name == "ksef-wysylka.txt" || name == "ksef-wysylka.lock" || name == "ksef7.lock" ||
         name == "ksef7-upo.xml";
}

// Sums that agree with the lines, so that the KSeF writer accepts it too.
const char* kDatabase = R"({"company": {"Nazwa": "Hurtownia Zbo\u017ce", "Nip": "123-456-32-18",
    "Ulica": "ul. Polna", "NrDomu": "1", "KodPocztowy": "00-950", "Miejscowosc": "Warszawa",
    "BankKonto": "Bank Polski 12 3456 7890"},
  "vatRates": {"0": 23, "1": 8},
  "customers": [{"Id": 42, "Symbol": "K1", "Nazwa": "Sklep", "Email": "k@example.com"}],
  "invoices": [{"IdDokumentu": 7, "NrFaktury": "FV/7", "IdKontrahenta": 42, "NazwaOdbiorcy": "Sklep",
    "AdresOdbiorcy": "ul. D\u0142uga 5, 00-950 Warszawa", "DataWystawienia": "2024-03-05",
    "DataSprzedazy": "2024-03-05", "FormaPlatnosci": 2, "RodzajCen": 1, "RazemNetto": 30.0,
    "RazemVat": 5.4, "RazemBrutto": 35.4, "NettoA": 20.0, "VatA": 4.6, "BruttoA": 24.6, "NettoB": 10.0,
    "VatB": 0.8, "BruttoB": 10.8,
    "lines": [{"Nazwa": "S\u00f3l", "Kod": "S1", "Ilosc": 2, "CenaDokumentu": 10.0, "KodVat": 0},
              {"Nazwa": "Pieprz", "Kod": "P1", "Ilosc": 1, "CenaDokumentu": 10.0, "KodVat": 1}]}]})";

enum class Fault { Allocation, Open, Write, Close };

const char* faultName(Fault fault) {
  switch (fault) {
    case Fault::Allocation: return "allocation";
    case Fault::Open: return "open";
    case Fault::Write: return "write";
    case Fault::Close: return "close";
  }
  return "";
}

uint32_t& knob(welkor::HostKnobs& knobs, Fault fault) {
  switch (fault) {
    case Fault::Allocation: return knobs.failAllocationCall;
    case Fault::Open: return knobs.failOpenCall;
    case Fault::Write: return knobs.failWriteCall;
    case Fault::Close: break;
  }
  return knobs.failCloseCall;
}

uint32_t calls(const welkor::ServiceCounts& counts, Fault fault) {
  switch (fault) {
    case Fault::Allocation: return counts.allocations;
    case Fault::Open: return counts.opens;
    case Fault::Write: return counts.writes;
    case Fault::Close: break;
  }
  return counts.closes;
}

// The developer's loop runs the sweeps in the native tree only; under the
// sanitizers, where they are the slowest tests, they are the full command's.
bool sanitizedLoop() {
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
  return std::getenv("KW_LOOP") != nullptr;
#endif
#endif
  return false;
}

class FaultSweep : public testing_support::HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    testing_support::setNow("2024-03-05 10:30");
  }
  void TearDown() override {
    testing_support::setNow(nullptr);
    HostTest::TearDown();
  }

  // One export in a fresh FAKTURY, optionally over an earlier file of the
  // data file's name.
  void run(const WriterCase& w, Fault fault, uint32_t failingCall, const std::string* earlier) {
    fs::remove_all("FAKTURY");
    fs::create_directory("FAKTURY");
    if (earlier) testing_support::writeFile(std::string("FAKTURY/") + w.dataFile, *earlier);
    welkor::state() = welkor::HostState{};
    useDatabase(kDatabase);
    knob(welkor::state().db.knobs, fault) = failingCall;
    const size_t scanBlocks = welkor::liveScanBlocks();
    int16_t refresh = 0;
    runWriter(w.writer, welkor::state().db.invoices.at(0).header.data(), 0, &refresh);
    EXPECT_EQ(welkor::state().counts.liveBlocks, 0) << where_;
    EXPECT_EQ(welkor::state().counts.openFiles, 0) << where_;
    EXPECT_EQ(welkor::liveScanBlocks(), scanBlocks) << where_;
    EXPECT_EQ(welkor::scanChecks().protocolErrors, 0) << where_;
  }

  std::vector<std::string> shown() const {
    std::vector<std::string> texts;
    for (const auto& m : welkor::state().messages) texts.push_back(m.text);
    return texts;
  }
  bool mailStepRan() const {
    const auto& runs = welkor::state().dialogRuns;
    return std::any_of(runs.begin(), runs.end(), [](const welkor::DialogRun& r) { return r.number == 1002; });
  }
  // The folder's files other than the data file and the printout.
  std::vector<std::string> strayFiles(const WriterCase& w) const {
    std::vector<std::string> stray;
    for (const auto& entry : fs::directory_iterator("FAKTURY")) {
      const std::string name = entry.path().filename().string();
      if (name != w.dataFile && name != "fakt7.pdf" && !(w.ksefCopies && isSendingFile(name))) stray.push_back(name);
    }
    return stray;
  }

  void sweep(const WriterCase& w) {
    if (sanitizedLoop()) GTEST_SKIP() << "swept natively in the loop; under the sanitizers by the full command";
    const std::string saved = w.confirmation ? welkor::utf8ToMazovia(w.confirmation) : "";
    const std::string dataPath = std::string("FAKTURY/") + w.dataFile;

    where_ = w.name;
    run(w, Fault::Allocation, 0, nullptr);
    const std::vector<std::string> unfaulted = shown();  // the printout's notice, then the confirmation
    ASSERT_FALSE(unfaulted.empty());
    if (w.confirmation) {
      ASSERT_EQ(unfaulted.back(), saved);
    }
    const std::string confirmation = w.confirmation ? saved : unfaulted.back();
    const std::string good = readFile(dataPath);
    ASSERT_FALSE(good.empty());
    if (w.ksefCopies) {
      ASSERT_EQ(w.ksefCopies(), 1u) << "sent without a fault: " << confirmation;
    }
    // With sending on, the earlier file is a whole KSeF document (as an F5
    // written while sending was off leaves), which a failed F5 must not send.
    const std::string earlier = w.ksefCopies ? good : "an earlier export of the same invoice\r\n";

    int runs = 0;
    for (Fault fault : {Fault::Allocation, Fault::Open, Fault::Write, Fault::Close}) {
      for (uint32_t n = 1;; ++n) {
        const bool withEarlier = n % 2 == 0;
        where_ = std::string(w.name) + ", " + faultName(fault) + " call " + std::to_string(n);
        run(w, fault, n, withEarlier ? &earlier : nullptr);
        ++runs;
        if (calls(welkor::state().counts, fault) < n) {
          EXPECT_EQ(shown(), unfaulted) << where_;
          break;
        }
        const std::vector<std::string> texts = shown();
        const bool confirmed = std::find(texts.begin(), texts.end(), confirmation) != texts.end();
        if (w.ksefCopies) {
          EXPECT_EQ(w.ksefCopies(), 1u) << where_;
        }
        if (confirmed) {
          EXPECT_EQ(texts, unfaulted) << where_;
          EXPECT_EQ(readFile(dataPath), good) << where_;
        } else {
          EXPECT_FALSE(fs::exists("FAKTURY/ksef-wysylka.txt")) << where_ << ": a failed F5 sent its file";
          EXPECT_FALSE(texts.empty()) << where_ << ": a failure must be shown";
          EXPECT_FALSE(mailStepRan()) << where_;
          EXPECT_FALSE(fs::exists("FAKTURY/fakt7.pdf")) << where_;
          if (withEarlier)
            EXPECT_EQ(readFile(dataPath), earlier) << where_;
          else
            EXPECT_FALSE(fs::exists(dataPath)) << where_;
        }
        EXPECT_EQ(strayFiles(w), std::vector<std::string>{}) << where_;
        if (::testing::Test::HasFailure()) return;
      }
    }
    RecordProperty(std::string(w.name) + "_runs", runs);
  }

  std::string where_;
};

// The Windows build runs one writer: the sweep there is for the platform's
// file replacement, and every run there is slow.
TEST_F(FaultSweep, PcMarket) { sweep({"PC Market", &writers::pcMarket, "faktFV_7.txt"}); }
#if !defined(_WIN32)
TEST_F(FaultSweep, Optima) { sweep({"Optima", &writers::optima, "fakt7.xml"}); }
TEST_F(FaultSweep, ComarchEdi) { sweep({"Comarch EDI", &writers::comarchEdi, "fakt7.xml"}); }
TEST_F(FaultSweep, Epp) { sweep({"EDI++", &writers::epp, "fakt7.epp"}); }
TEST_F(FaultSweep, Ksef) {
  sweep({"KSeF", &writers::ksef, "ksef7.xml",
         "Faktura KSeF została zapisana w pliku FAKTURY\\ksef7.xml.\nPlik należy wysłać do KSeF."});
}
TEST_F(FaultSweep, KsefSending) {
  if (std::getenv("KW_LOOP")) GTEST_SKIP() << "run by the full test command";
  if (!testing_support::KsefStandIn::available()) GTEST_SKIP() << "no KSeF stand-in or schemas beside the sources";
  const std::string token = "20240305-EC-0123456789-ABCDEF0123-4C|nip-1234563218|kwitomat-sweep-token";
  testing_support::KsefStandIn ksef("1234563218", token);
  ASSERT_TRUE(ksef.up()) << "the KSeF stand-in did not start: see " << ksef.state() / "standin.log";
  testing_support::setNow("2026-03-05 10:30");  // the schema takes no document made before 2025-09
  testing_support::writeFile("kwitom.ini", "[KSeF]\r\nEksport=1\r\nWysylka=1\r\nSrodowisko=TEST\r\nToken=" + token +
                                               "\r\nAdresAPI=" + ksef.base() + "\r\nCA=" +
                                               ksef.rootCertificate().string() + "\r\n");
  sweep({"KSeF sending", &writers::ksef, "ksef7.xml", nullptr, [&ksef] { return ksef.accepted("FV/7").size(); }});
  fs::remove("kwitom.ini");
}
#endif

}  // namespace
