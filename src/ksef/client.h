// KSeF's REST calls that sending one invoice needs, each bounded in time:
// a failed exchange is tried again where that cannot do anything twice, 429
// waits as long as Retry-After asks (within the send's bound), an expired
// access token is refreshed once. No text made here holds a token.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "ksef/crypto.h"
#include "ksef/http.h"
#include "ksef/ksef.h"
#include "ksef/platform.h"
#include "ksef/tls.h"

namespace kw::ksef::api {

using platform::Clock;

struct Answer {
  enum Kind {
    Ok,         // a 2xx answer, read whole
    Error,      // another answer: `status`, and KSeF's code and description where it gave them
    Lost,       // the request went out, no usable answer came: it may have been carried out
    Unreached,  // nothing reached KSeF (or nothing could be carried out)
  } kind = Unreached;
  int status = 0;
  nlohmann::json body;      // Ok with a JSON answer
  std::string raw;          // the answer's bytes
  std::string contentHash;  // x-ms-meta-hash: KSeF's SHA-256 (Base64) of a file it hands out
  int errorCode = 0;        // KSeF's exception code, when given
  std::string error;        // English, for the reason; KSeF's description appended when given
};

// KSeF's status object of an invoice or an authentication.
struct Status {
  int code = 0;
  std::string description;
  std::string details;  // joined by "; "
};
Status statusOf(const nlohmann::json& value);

// What KSeF says of one invoice of a session.
struct InvoiceStatus {
  std::string referenceNumber;
  std::string invoiceHash;  // Base64
  std::string ksefNumber;
  Status status;
  std::string originalKsefNumber;  // a duplicate's original
  std::string originalSession;
};
bool parseInvoiceStatus(const nlohmann::json& value, InvoiceStatus& out);

bool isReferenceNumber(const std::string& text);
bool isKsefNumber(const std::string& text);

class Client {
 public:
  Client(const Settings& settings, const std::string& contextNip, Clock::time_point deadline);

  // The roots and the random generator; false with `error` set.
  bool prepare(std::string& error);

  // Authenticates with the KSeF token. `refused` is set when KSeF refused
  // the token or the context (trying again cannot help).
  bool login(std::string& error, bool& refused);
  bool loggedIn() const { return !accessToken_.empty(); }

  // Opens an online session for FA(3) with a new AES key.
  bool openSession(std::string& reference, std::string& error);
  // Sends the invoice in the open session; Ok with the invoice's reference number.
  Answer sendInvoice(const std::string& session, const std::string& xml, std::string& invoiceReference);
  Answer invoiceStatus(const std::string& session, const std::string& invoice, InvoiceStatus& out);
  // Every invoice of a session (all pages); false with `error` set.
  bool sessionInvoices(const std::string& session, std::vector<InvoiceStatus>& out, std::string& error);
  // The seller's invoices of this number that KSeF holds (their metadata),
  // invoiced between `fromIso` and `toIso`; false with `error` set.
  bool invoicesByNumber(const std::string& number, const std::string& fromIso, const std::string& toIso,
                        nlohmann::json& invoices, std::string& error);
  // The receipt (UPO) of an accepted invoice, by its reference or by its KSeF number.
  bool upo(const std::string& session, const std::string& invoice, const std::string& ksefNumber, std::string& xml,
           std::string& error);
  // Closes the session, once, briefly: nothing depends on it.
  void closeSession(const std::string& session);

  // A polling wait that starts now ends here.
  Clock::time_point pollDeadline() const;
  Clock::time_point deadline() const { return deadline_; }
  // Sleeps `milliseconds`, or until `until`; false when `until` came first.
  static bool pause(int milliseconds, Clock::time_point until);

 private:
  enum class Auth { None, Operation, Access, Refresh };
  Answer call(const std::string& method, const std::string& path, const std::string& body, Auth auth, bool repeatable,
              size_t limit = 1u << 20, Clock::time_point until = Clock::time_point::max(),
              const std::string& continuation = "");
  bool refresh();
  bool loadKeys(std::string& error);
  bool loginOnce(std::string& error, bool& refused, bool& again);

  Settings settings_;
  std::string contextNip_;
  Clock::time_point deadline_;
  http::Url url_;
  tls::TrustedRoots roots_;
  crypto::Random random_;
  std::string tokenKeyDer_, tokenKeyId_, symmetricKeyDer_, symmetricKeyId_;
  std::string operationToken_, accessToken_, refreshToken_;
  std::string aesKey_, aesIv_;
  bool refreshed_ = false;
};

}  // namespace kw::ksef::api
