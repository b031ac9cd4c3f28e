// Sending one FA(3) invoice file to KSeF with a KSeF token, so that it is
// sent at most once and its outcome is never lost: every step that matters is
// written to the journal `ksef-wysylka.txt` in the invoice's folder before the
// next one starts, and an outcome that was lost (the answer, the network or
// the machine failed half-way) is looked up in KSeF before anything is sent
// again. See docs/ksef.md, "Sending".
#pragma once

#include <cstdint>
#include <string>

namespace kw::ksef {

enum class Environment { Test, Demo, Production };

// Every wait is bounded. In milliseconds.
struct Limits {
  int perCall = 30000;       // one HTTP exchange, connection included
  int polling = 60000;       // waiting for KSeF to process the login or the invoice
  int wholeSend = 120000;    // everything one send() does, waits for Retry-After included
  int waitForOther = 20000;  // for another process sending the same invoice
};

struct Settings {
  Environment environment = Environment::Test;
  std::string token;             // the KSeF token; never written anywhere
  std::string apiBase;           // empty: the environment's ("https://api-test.ksef.mf.gov.pl/v2")
  std::string extraRootPemFile;  // a further trusted root (tests); empty: the system's roots only
  Limits limits;
};

struct Invoice {
  std::string folder;      // FAKTURY as an OS path
  int32_t documentId = 0;  // IdDokumentu
  std::string number;      // the invoice number (P_2), UTF-8
  std::string sellerNip;   // the session's context: 10 digits
  std::string xml;         // the file's bytes exactly
};

enum class Outcome {
  Accepted,         // KSeF gave it a number now (or a send whose answer was lost turned out accepted)
  AlreadyAccepted,  // the journal shows it accepted: nothing was sent
  Rejected,         // KSeF refused the invoice: code and description
  NotSent,          // nothing reached KSeF: safe to try again
  Unknown,          // sent, outcome not known yet: the next send() looks it up first
  BeingSent,        // another process is sending it and has not finished
};

// Why an invoice was not sent, as far as the user can do something about it.
enum class Failure {
  None,
  Connection,   // KSeF not reached, or no answer in time: try again later
  Certificate,  // the server's certificate is not trusted: the connection was dropped
  Token,        // KSeF refused the KSeF token
  Server,       // KSeF failed on its side (5xx)
  Local,        // the journal, the lock or a file of ours could not be used
  System,       // the system's network library or random source cannot be used
};

struct Result {
  Outcome outcome = Outcome::NotSent;
  Failure failure = Failure::None;  // NotSent only
  std::string ksefNumber;
  std::string upoFile;      // name of the receipt in the folder, empty when not fetched
  int code = 0;             // KSeF's status code when rejected
  std::string description;  // KSeF's description when rejected (Polish, from KSeF)
  std::string reason;       // NotSent / Unknown / BeingSent: short English technical reason
  bool tokenAccepted = false;  // KSeF let this send in with the token
};

Result send(const Settings& settings, const Invoice& invoice);

// What the journal says of an invoice: accepted when any line says so,
// otherwise its last line (Pending: sent, outcome not known).
struct JournalState {
  enum State { None, Pending, Accepted, Rejected, NotSent } state = None;
  std::string ksefNumber;
  std::string sha256;  // hex, of the bytes that line is about
};

JournalState journalState(const std::string& folder, int32_t documentId);

}  // namespace kw::ksef
