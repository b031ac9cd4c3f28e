#include "export/ksef_step.h"

#include <cstdint>
#include <string>

#include "data/messages.h"
#include "data/records.h"
#include "frame/helpers.h"
#include "frame/host_constants.h"
#include "frame/host_services.h"
#include "frame/platform.h"
#include "ksef/ksef.h"

namespace kw::exporting {

namespace {

constexpr const char* kFolder = "FAKTURY";
// Far above any invoice of 10,000 lines; a larger file is not ours.
constexpr size_t kLargestFile = 64u << 20;

std::string converted(const std::string& text, int32_t from, int32_t to) {
  std::string out(text.size() * 3 + 1, '\0');
  svc::convertText(&out[0], static_cast<int32_t>(out.size()), text.c_str(), -1, from, to);
  out.resize(std::char_traits<char>::length(out.c_str()));
  return out;
}

std::string hostText(const std::string& utf8) {
  return converted(utf8, hostabi::kCodePageUtf8, hostabi::kCodePageHost);
}

std::string invoiceNumber(const char* tspr) { return rec::text(tspr, layout::Tspr::NrFaktury); }

std::string dataPath(const char* tspr) {
  return std::string(kFolder) + "\\ksef" + std::to_string(rec::get(tspr, layout::Tspr::IdDokumentu)) + ".xml";
}

// The seller's NIP as the document states it: the session's context must be
// the NIP of the invoice that is sent.
std::string sellerNip(const std::string& xml) {
  const size_t seller = xml.find("<Podmiot1>");
  const size_t open = seller == std::string::npos ? seller : xml.find("<NIP>", seller);
  const size_t close = open == std::string::npos ? open : xml.find("</NIP>", open);
  return close == std::string::npos ? "" : xml.substr(open + 5, close - open - 5);
}

ksef::Settings librarySettings(const KsefSendSettings& settings) {
  ksef::Settings out;
  out.environment = settings.environment == "PRD"    ? ksef::Environment::Production
                    : settings.environment == "DEMO" ? ksef::Environment::Demo
                                                     : ksef::Environment::Test;
  out.token = settings.token;
  out.apiBase = settings.apiAddress;
  out.extraRootPemFile = settings.caFile;
  return out;
}

void show(const char* title, const char* format, const std::string& a, const std::string& b = "",
          const std::string& c = "") {
  char text[2048];
  _formatText(text, sizeof text, format, a.c_str(), b.c_str(), c.c_str());
  svc::showTitled(title, text, 1);
}

void showNotSent(const std::string& number, const ksef::Result& result) {
  const char* reason = message::kKsefNoConnection;
  switch (result.failure) {
    case ksef::Failure::Certificate: reason = message::kKsefUntrustedServer; break;
    case ksef::Failure::Token: reason = message::kKsefTokenRefused; break;
    case ksef::Failure::Server: reason = message::kKsefServerFailed; break;
    case ksef::Failure::Local: reason = message::kKsefLocalFailure; break;
    case ksef::Failure::System: reason = message::kKsefSystemFailure; break;
    default: break;
  }
  char lead[512];
  _formatText(lead, sizeof lead, message::kKsefNotSent, number.c_str());
  svc::showTitled(message::kErrorTitle, (std::string(lead) + reason).c_str(), 1);
}

void showOutcome(const std::string& number, const ksef::Result& result) {
  switch (result.outcome) {
    case ksef::Outcome::Accepted:
    case ksef::Outcome::AlreadyAccepted: {
      const char* format = result.outcome == ksef::Outcome::Accepted ? message::kKsefAccepted.c_str()
                                                                     : message::kKsefAcceptedBefore.c_str();
      show(message::kNoticeTitle, format, number, result.ksefNumber,
           result.upoFile.empty() ? std::string("-") : std::string(kFolder) + "\\" + result.upoFile);
      return;
    }
    case ksef::Outcome::Rejected: {
      char code[16];
      _formatText(code, sizeof code, "%d", result.code);
      show(message::kErrorTitle, message::kKsefRejected, number, code, hostText(result.description.substr(0, 600)));
      return;
    }
    case ksef::Outcome::Unknown: show(message::kErrorTitle, message::kKsefOutcomeUnknown, number); return;
    case ksef::Outcome::BeingSent: show(message::kNoticeTitle, message::kKsefBeingSent, number); return;
    case ksef::Outcome::NotSent: showNotSent(number, result); return;
  }
}

// The library's send of the file's bytes; the token is protected once KSeF took it.
ksef::Result sendBytes(const char* tspr, const std::string& xml, const KsefSendSettings& settings) {
  ksef::Invoice invoice;
  invoice.folder = kFolder;
  invoice.documentId = rec::get(tspr, layout::Tspr::IdDokumentu);
  invoice.number = converted(invoiceNumber(tspr), hostabi::kCodePageHost, hostabi::kCodePageUtf8);
  invoice.sellerNip = sellerNip(xml);
  invoice.xml = xml;
  const ksef::Result result = ksef::send(librarySettings(settings), invoice);
  if (result.tokenAccepted) protectKsefToken(settings);
  return result;
}

void send(const char* tspr, const std::string& xml, const KsefSendSettings& settings) {
  const std::string number = invoiceNumber(tspr);
  _showMessage(message::kNoticeTitle, message::kKsefSending, 0x200, number.c_str());
  showOutcome(number, sendBytes(tspr, xml, settings));
}

}  // namespace

bool ksefSendNeedsNewFile(const char* tspr, const KsefSendSettings& settings) {
  const ksef::JournalState journal = ksef::journalState(kFolder, rec::get(tspr, layout::Tspr::IdDokumentu));
  if (journal.state == ksef::JournalState::Accepted) {
    // The accepted file is the invoice: it is neither written nor sent again.
    ksef::Result known;
    known.outcome = ksef::Outcome::AlreadyAccepted;
    known.ksefNumber = journal.ksefNumber;
    const std::string upo = "ksef" + std::to_string(rec::get(tspr, layout::Tspr::IdDokumentu)) + "-upo.xml";
    if (!platform::readFileStart((std::string(kFolder) + "\\" + upo).c_str(), 1).empty()) {
      known.upoFile = upo;
    } else {
      // The receipt could not be had when it was accepted: the library asks
      // KSeF for it again and sends nothing.
      const std::string xml = platform::readFileStart(dataPath(tspr).c_str(), kLargestFile);
      if (!xml.empty()) {
        const ksef::Result again = sendBytes(tspr, xml, settings);
        if (again.outcome == ksef::Outcome::AlreadyAccepted) known = again;
      }
    }
    showOutcome(invoiceNumber(tspr), known);
    return false;
  }
  if (journal.state != ksef::JournalState::Pending) return true;
  // Sent before with its outcome unknown: that file is what KSeF may hold.
  const std::string xml = platform::readFileStart(dataPath(tspr).c_str(), kLargestFile);
  if (xml.empty()) return true;
  send(tspr, xml, settings);
  return false;
}

void ksefSendWritten(const writers::Written& written, const KsefSendSettings& settings) {
  send(written.tspr, platform::readFileStart(written.dataPath, kLargestFile), settings);
}

}  // namespace kw::exporting
