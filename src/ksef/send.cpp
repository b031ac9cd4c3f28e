// One send: the journal decides what may be done, KSeF is asked before
// anything is sent again, and every outcome is written down before send()
// returns. See docs/ksef.md, "Sending".
#include <algorithm>
#include <cctype>

#include "ksef/client.h"
#include "ksef/crypto.h"
#include "ksef/journal.h"
#include "ksef/ksef.h"
#include "ksef/platform.h"
#include "ksef/time_text.h"

namespace kw::ksef {

namespace {

using api::Clock;
using journal::Entry;
using nlohmann::json;
using Status = journal::Status;

// Writing an outcome down is worth a short wait even when the send's own time is over.
constexpr auto kJournalWait = std::chrono::seconds(10);
// Sending again after a lost answer that KSeF turned out not to have: at most this often in one send().
constexpr int kSendAttempts = 3;

std::string lockName(int32_t documentId) { return "ksef" + std::to_string(documentId) + ".lock"; }
std::string upoName(int32_t documentId) { return "ksef" + std::to_string(documentId) + "-upo.xml"; }

bool isNip(const std::string& text) {
  return text.size() == 10 && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// What KSeF says became of one sent copy.
struct Finding {
  enum Kind {
    Accepted,    // with its KSeF number (and where its receipt lies)
    Rejected,    // with KSeF's code and description
    Processing,  // not finished within the polling bound
    Absent,      // KSeF does not have it: it may be sent (again)
    Failed,      // KSeF could not be asked
  } kind = Failed;
  std::string ksefNumber, session, invoice;
  int code = 0;
  std::string description;
  std::string reason;
};

class Sender {
 public:
  Sender(const Settings& settings, const Invoice& invoice, Clock::time_point deadline)
      : invoice_(invoice), client_(settings, invoice.sellerNip, deadline) {
    hash_ = crypto::sha256(invoice.xml);
  }

  Result run();
  bool loggedIn() const { return client_.loggedIn(); }

 private:
  Entry entry(Status status, const std::string& hashHex, const std::string& session, const std::string& invoice) const;
  bool record(const Entry& line);
  Result recorded(Result result, Entry line);
  Result notSent(const std::string& session, const std::string& reason);
  Result unknown(const std::string& hashHex, const std::string& session, const std::string& invoice,
                 const std::string& reason);
  Result accepted(const Finding& found, const std::string& hashHex, Outcome outcome);
  Result rejected(const Finding& found, const std::string& hashHex);

  Result receiptAgain(const Entry& acceptedLine);
  Result resolvePending(const Entry& pending, bool& sendAnew);
  Result sendAnew();
  Finding lookUp(const std::string& session, const std::string& invoice, const std::string& hashBase64);
  Finding await(const std::string& session, const std::string& invoice, const std::string& hashBase64);
  Finding judge(const api::InvoiceStatus& status, const std::string& session, const std::string& hashBase64);
  Finding duplicate(const api::InvoiceStatus& status, const std::string& hashBase64);
  Finding byNumber(const std::string& hashBase64);

  const Invoice& invoice_;
  api::Client client_;
  std::string hash_;  // SHA-256 of the file's bytes
};

Entry Sender::entry(Status status, const std::string& hashHex, const std::string& session,
                    const std::string& invoice) const {
  Entry line;
  line.documentId = invoice_.documentId;
  line.number = invoice_.number;
  line.sha256 = hashHex;
  line.session = session;
  line.invoice = invoice;
  line.status = status;
  return line;
}

bool Sender::record(const Entry& line) { return journal::append(invoice_.folder, line, Clock::now() + kJournalWait); }

Result Sender::recorded(Result result, Entry line) {
  if (!record(line)) {
    std::string lost = "the journal " + std::string(journal::kFileName) + " could not be written";
    result.reason = result.reason.empty() ? lost : result.reason + "; " + lost;
  }
  return result;
}

// The kind of a failure, from the words of the reasons this library writes
// itself (client.cpp, tls.cpp, platform_*.cpp). Not "certificate" alone: the
// first call's path, /security/public-key-certificates, is in every reason
// of a failed first call.
Failure failureOf(const std::string& reason) {
  auto says = [&](const char* words) { return reason.find(words) != std::string::npos; };
  if (reason.rfind("KSeF refused the login", 0) == 0) return Failure::Token;
  if (says("the certificate of ") || says("root certificate")) return Failure::Certificate;
  if (says("the system's network library") || says("the system gives no random numbers")) return Failure::System;
  if (says("HTTP 5")) return Failure::Server;
  return Failure::Connection;
}

Result Sender::notSent(const std::string& session, const std::string& reason) {
  Result result;
  result.outcome = Outcome::NotSent;
  result.failure = failureOf(reason);
  result.reason = reason;
  Entry line = entry(Status::NotSent, crypto::hex(hash_), session, "");
  line.note = reason;
  return recorded(result, line);
}

Result Sender::unknown(const std::string& hashHex, const std::string& session, const std::string& invoice,
                       const std::string& reason) {
  Result result;
  result.outcome = Outcome::Unknown;
  result.reason = reason;
  Entry line = entry(Status::Unknown, hashHex, session, invoice);
  line.note = reason;
  return recorded(result, line);
}

Result Sender::accepted(const Finding& found, const std::string& hashHex, Outcome outcome) {
  Result result;
  result.outcome = outcome;
  result.ksefNumber = found.ksefNumber;
  // The receipt before the journal line: a line without its receipt means the receipt could not be had.
  std::string xml, error;
  if (found.session.empty()) {
    result.reason = "KSeF's receipt cannot be fetched without the session's reference";
  } else if (!client_.upo(found.session, found.invoice, found.ksefNumber, xml, error)) {
    result.reason = "KSeF's receipt could not be fetched: " + error;
  } else if (!platform::replaceFileDurably(invoice_.folder, upoName(invoice_.documentId), xml)) {
    result.reason = "KSeF's receipt could not be written to " + upoName(invoice_.documentId);
  } else {
    result.upoFile = upoName(invoice_.documentId);
  }
  Entry line = entry(Status::Accepted, hashHex, found.session, found.invoice);
  line.ksefNumber = found.ksefNumber;
  line.note = result.reason;
  return recorded(result, line);
}

Result Sender::rejected(const Finding& found, const std::string& hashHex) {
  Result result;
  result.outcome = Outcome::Rejected;
  result.code = found.code;
  result.description = found.description;
  Entry line = entry(Status::Rejected, hashHex, found.session, found.invoice);
  line.code = found.code;
  line.note = found.description;
  return recorded(result, line);
}

Finding Sender::judge(const api::InvoiceStatus& status, const std::string& session, const std::string& hashBase64) {
  Finding found;
  found.session = session;
  found.invoice = status.referenceNumber;
  int code = status.status.code;
  if (code == 100 || code == 150) {
    found.kind = Finding::Processing;
    found.reason = "KSeF has not finished processing the invoice";
  } else if (code == 200 && api::isKsefNumber(status.ksefNumber)) {
    found.kind = Finding::Accepted;
    found.ksefNumber = status.ksefNumber;
  } else if (code == 440) {
    found = duplicate(status, hashBase64);
  } else if (code >= 400) {
    found.kind = Finding::Rejected;
    found.code = code;
    found.description = status.status.description + (status.status.details.empty() ? "" : ": " + status.status.details);
  } else {
    found.kind = Finding::Failed;
    found.reason = "KSeF's invoice status " + std::to_string(code) + " is not understood";
  }
  return found;
}

// KSeF already holds an invoice of this seller, kind and number. It is this
// one when its SHA-256 is ours (an earlier copy whose answer was lost);
// otherwise the number belongs to another invoice.
Finding Sender::duplicate(const api::InvoiceStatus& status, const std::string& hashBase64) {
  Finding found;
  found.kind = Finding::Rejected;
  found.code = 440;
  found.invoice = status.referenceNumber;
  found.description = status.status.description + (status.status.details.empty() ? "" : ": " + status.status.details);
  const std::string& original = status.originalKsefNumber;
  long long day = 0;
  if (!api::isKsefNumber(original) || !timetext::midnightOf(original.substr(11, 8), day)) return found;
  Clock::time_point until = client_.pollDeadline();
  for (;;) {
    json invoices;
    std::string error;
    if (!client_.invoicesByNumber(invoice_.number, timetext::utcIso(day - 86400), timetext::utcIso(day + 2 * 86400),
                                  invoices, error)) {
      found.kind = Finding::Failed;
      found.reason = "KSeF reported a duplicate that could not be looked up: " + error;
      return found;
    }
    for (const json& item : invoices) {
      if (!item.is_object() || item.value("ksefNumber", json()) != original) continue;
      if (item.value("invoiceHash", json()) != hashBase64) return found;
      found.kind = Finding::Accepted;
      found.ksefNumber = original;
      found.session = api::isReferenceNumber(status.originalSession) ? status.originalSession : "";
      found.invoice.clear();  // the original's receipt goes by its KSeF number
      return found;
    }
    // KSeF lists an invoice only once it is stored for good: shortly after its number.
    if (!api::Client::pause(1000, until)) {
      found.kind = Finding::Processing;
      found.reason = "KSeF reported a duplicate (" + original + ") that it does not list yet";
      return found;
    }
  }
}

Finding Sender::await(const std::string& session, const std::string& invoice, const std::string& hashBase64) {
  Clock::time_point until = client_.pollDeadline();
  int wait = 200;
  for (;;) {
    api::InvoiceStatus status;
    api::Answer answer = client_.invoiceStatus(session, invoice, status);
    Finding found;
    if (answer.kind != api::Answer::Ok) {
      found.kind = Finding::Failed;
      found.session = session;
      found.invoice = invoice;
      found.reason = answer.error;
      return found;
    }
    found = judge(status, session, hashBase64);
    if (found.kind != Finding::Processing) return found;
    if (!api::Client::pause(wait, until)) return found;
    wait = std::min(wait * 2, 1000);
  }
}

// The invoice as KSeF knows it, by its reference where that was recorded,
// else among its session's invoices by SHA-256, else by its number.
Finding Sender::lookUp(const std::string& session, const std::string& invoice, const std::string& hashBase64) {
  if (!invoice.empty()) {
    Finding found = await(session, invoice, hashBase64);
    if (found.kind != Finding::Failed) return found;
    // KSeF may no longer know the reference: the session's list, then the number, tell the same.
  }
  std::vector<api::InvoiceStatus> invoices;
  std::string error;
  if (!client_.sessionInvoices(session, invoices, error)) {
    Finding found = byNumber(hashBase64);
    if (found.kind == Finding::Failed) found.reason = error + "; " + found.reason;
    return found;
  }
  // The best of the copies it holds: accepted, then still in work, then any other.
  const api::InvoiceStatus* best = nullptr;
  auto rank = [](const api::InvoiceStatus& s) { return s.status.code == 200 ? 0 : s.status.code < 200 ? 1 : 2; };
  for (const api::InvoiceStatus& item : invoices)
    if (item.invoiceHash == hashBase64 && (!best || rank(item) < rank(*best))) best = &item;
  if (!best) {
    Finding absent;
    absent.kind = Finding::Absent;
    return absent;
  }
  Finding found = judge(*best, session, hashBase64);
  if (found.kind == Finding::Processing) found = await(session, best->referenceNumber, hashBase64);
  return found;
}

// Among the seller's invoices of this number sent in the last three months.
Finding Sender::byNumber(const std::string& hashBase64) {
  Finding found;
  long long now = timetext::unixNow();
  json invoices;
  if (!client_.invoicesByNumber(invoice_.number, timetext::utcIso(now - 89 * 86400), timetext::utcIso(now + 3600),
                                invoices, found.reason)) {
    found.kind = Finding::Failed;
    return found;
  }
  found.kind = Finding::Absent;
  for (const json& item : invoices) {
    if (!item.is_object() || item.value("invoiceHash", json()) != hashBase64) continue;
    std::string number = item.value("ksefNumber", std::string());
    if (!api::isKsefNumber(number)) continue;
    found.kind = Finding::Accepted;
    found.ksefNumber = number;
  }
  return found;
}

// Accepted before: nothing is sent. A receipt that could not be had then is
// asked for again, by the session and invoice the journal recorded.
Result Sender::receiptAgain(const Entry& acceptedLine) {
  Result result;
  result.outcome = Outcome::AlreadyAccepted;
  result.ksefNumber = acceptedLine.ksefNumber;
  const std::string name = upoName(invoice_.documentId);
  if (platform::fileExists(platform::joinPath(invoice_.folder, name))) {
    result.upoFile = name;
    return result;
  }
  const std::string& session = acceptedLine.session;
  const std::string invoice = api::isReferenceNumber(acceptedLine.invoice) ? acceptedLine.invoice : "";
  std::string xml, error;
  bool refused = false;
  if (!api::isReferenceNumber(session) || !api::isKsefNumber(acceptedLine.ksefNumber))
    result.reason = "the journal names no session to fetch KSeF's receipt from";
  else if (!client_.login(error, refused) || !client_.upo(session, invoice, acceptedLine.ksefNumber, xml, error))
    result.reason = "KSeF's receipt could not be fetched: " + error;
  else if (!platform::replaceFileDurably(invoice_.folder, name, xml))
    result.reason = "KSeF's receipt could not be written to " + name;
  else
    result.upoFile = name;
  return result;
}

// The journal's last word on this invoice is that it went out, with no
// outcome: KSeF is asked what became of those bytes.
Result Sender::resolvePending(const Entry& pending, bool& sendAnew) {
  sendAnew = false;
  // The bytes the line is about; a damaged field stands for the file's own.
  std::string digest;
  if (!crypto::fromHex(pending.sha256, digest) || digest.size() != 32) digest = hash_;
  std::string pendingHex = crypto::hex(digest);
  bool same = digest == hash_;
  std::string session = api::isReferenceNumber(pending.session) ? pending.session : "";
  std::string invoice = !session.empty() && api::isReferenceNumber(pending.invoice) ? pending.invoice : "";
  std::string error;
  bool refused = false;
  if (!client_.login(error, refused))
    return unknown(pendingHex, session, invoice, "an earlier send could not be looked up: " + error);
  // A line that names no session cannot be looked up by it; the number can.
  Finding found = session.empty() ? byNumber(crypto::base64(digest)) : lookUp(session, invoice, crypto::base64(digest));
  switch (found.kind) {
    case Finding::Accepted: return accepted(found, pendingHex, same ? Outcome::Accepted : Outcome::AlreadyAccepted);
    case Finding::Rejected:
      if (same) return rejected(found, pendingHex);
      rejected(found, pendingHex);  // the earlier bytes; the file's own go now
      sendAnew = true;
      return {};
    case Finding::Absent: sendAnew = true; return {};
    case Finding::Processing:
    case Finding::Failed: break;
  }
  return unknown(pendingHex, found.session.empty() ? session : found.session,
                 found.invoice.empty() ? invoice : found.invoice,
                 "an earlier send is not settled yet: " + found.reason);
}

Result Sender::sendAnew() {
  std::string error;
  bool refused = false;
  if (!client_.loggedIn() && !client_.login(error, refused))
    return notSent("", (refused ? "KSeF refused the login: " : "KSeF login failed: ") + error);
  std::string session;
  if (!client_.openSession(session, error)) return notSent("", "no session could be opened: " + error);

  std::string hashHex = crypto::hex(hash_);
  std::string hashBase64 = crypto::base64(hash_);
  if (!record(entry(Status::Sending, hashHex, session, ""))) {
    client_.closeSession(session);
    Result result;
    result.reason = "the journal " + std::string(journal::kFileName) + " could not be written: nothing was sent";
    result.failure = Failure::Local;
    return result;
  }
  Finding found;
  for (int attempt = 1;; ++attempt) {
    std::string invoice;
    api::Answer answer = client_.sendInvoice(session, invoice_.xml, invoice);
    if (answer.kind == api::Answer::Ok) {
      found = await(session, invoice, hashBase64);
      break;
    }
    if (answer.kind == api::Answer::Unreached || (answer.kind == api::Answer::Error && answer.status < 500)) {
      Result result = notSent(session, "KSeF did not take the invoice: " + answer.error);
      client_.closeSession(session);
      return result;
    }
    // The request went out and its answer is lost or a server failure: KSeF may hold the invoice.
    found = lookUp(session, "", hashBase64);
    if (found.kind != Finding::Absent) break;
    if (attempt == kSendAttempts || Clock::now() >= client_.deadline()) {
      found.kind = Finding::Failed;
      found.reason = answer.error;
      break;
    }
  }
  Result result;
  switch (found.kind) {
    case Finding::Accepted: result = accepted(found, hashHex, Outcome::Accepted); break;
    case Finding::Rejected: result = rejected(found, hashHex); break;
    default:
      result = unknown(hashHex, session, found.invoice, found.reason.empty() ? "no answer from KSeF" : found.reason);
  }
  if (Clock::now() + std::chrono::seconds(1) < client_.deadline()) client_.closeSession(session);
  return result;
}

Result Sender::run() {
  std::string error;
  if (!client_.prepare(error)) return notSent("", error);
  std::vector<Entry> entries;
  if (!journal::entriesOf(invoice_.folder, invoice_.documentId, Clock::now() + kJournalWait, entries)) {
    Result result;
    result.reason = "the journal " + std::string(journal::kFileName) + " cannot be read: nothing was sent";
    result.failure = Failure::Local;
    return result;
  }
  for (const Entry& line : entries)
    if (line.status == Status::Accepted) return receiptAgain(line);
  if (!entries.empty() && (entries.back().status == Status::Sending || entries.back().status == Status::Unknown)) {
    bool again = false;
    Result result = resolvePending(entries.back(), again);
    if (!again) return result;
  }
  return sendAnew();
}

}  // namespace

Result send(const Settings& settings, const Invoice& invoice) {
  Result result;
  if (invoice.folder.empty() || invoice.documentId <= 0 || invoice.xml.empty() || !isNip(invoice.sellerNip) ||
      settings.token.empty()) {
    result.reason = "the invoice or the settings are incomplete (folder, document, file, seller's NIP, token)";
    result.failure = Failure::Local;
    return result;
  }
  // Two senders of one invoice: the second waits for the first, then finds its outcome in the journal.
  platform::FileLock lock;
  auto waitUntil = Clock::now() + std::chrono::milliseconds(settings.limits.waitForOther);
  switch (lock.acquire(platform::joinPath(invoice.folder, lockName(invoice.documentId)), waitUntil)) {
    case platform::FileLock::Got::Locked: break;
    case platform::FileLock::Got::Failed:
      result.reason = "the lock file " + lockName(invoice.documentId) + " cannot be made";
      result.failure = Failure::Local;
      return result;
    case platform::FileLock::Got::Busy: {
      JournalState state = journalState(invoice.folder, invoice.documentId);
      if (state.state == JournalState::Accepted) {
        result.outcome = Outcome::AlreadyAccepted;
        result.ksefNumber = state.ksefNumber;
      } else {
        result.outcome = Outcome::BeingSent;
        result.reason = "another process is sending this invoice";
      }
      return result;
    }
  }
  Sender sender(settings, invoice, Clock::now() + std::chrono::milliseconds(settings.limits.wholeSend));
  result = sender.run();
  result.tokenAccepted = sender.loggedIn();
  return result;
}

JournalState journalState(const std::string& folder, int32_t documentId) {
  JournalState state;
  std::vector<Entry> entries;
  if (!journal::entriesOf(folder, documentId, Clock::now() + kJournalWait, entries)) {
    // Unreadable: nothing may be assumed, as after a send with no outcome.
    state.state = JournalState::Pending;
    return state;
  }
  if (entries.empty()) return state;
  for (const Entry& line : entries) {
    if (line.status != Status::Accepted) continue;
    state.state = JournalState::Accepted;
    state.ksefNumber = line.ksefNumber;
    state.sha256 = line.sha256;
    return state;
  }
  const Entry& last = entries.back();
  state.sha256 = last.sha256;
  switch (last.status) {
    case Status::Sending:
    case Status::Unknown: state.state = JournalState::Pending; break;
    case Status::Rejected: state.state = JournalState::Rejected; break;
    case Status::NotSent: state.state = JournalState::NotSent; break;
    case Status::Accepted: break;
  }
  return state;
}

}  // namespace kw::ksef
