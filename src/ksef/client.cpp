#include "ksef/client.h"

#include <algorithm>
#include <cctype>
#include <thread>

namespace kw::ksef::api {

using nlohmann::json;

namespace {

constexpr size_t kJsonLimit = 1u << 20;
constexpr size_t kUpoLimit = 8u << 20;
// The invoice's form as KSeF names it when a session is opened.
const char* const kSystemCode = "FA (3)";
const char* const kSchemaVersion = "1-0E";
const char* const kFormValue = "FA";

std::string environmentBase(Environment environment) {
  switch (environment) {
    case Environment::Test: return "https://api-test.ksef.mf.gov.pl/v2";
    case Environment::Demo: return "https://api-demo.ksef.mf.gov.pl/v2";
    case Environment::Production: return "https://api.ksef.mf.gov.pl/v2";
  }
  return {};
}

std::string text(const json& value, const char* name) {
  auto found = value.find(name);
  return found != value.end() && found->is_string() ? found->get<std::string>() : std::string();
}

std::string joined(const json& list) {
  std::string out;
  if (!list.is_array()) return out;
  for (const json& item : list)
    if (item.is_string()) out += (out.empty() ? "" : "; ") + item.get<std::string>();
  return out;
}

// KSeF's code and description from an error answer, of either shape
// (ExceptionResponse, Problem Details) or a bare status.
void readError(const json& body, Answer& answer) {
  if (!body.is_object()) return;
  std::string description;
  if (body.contains("exception") && body["exception"].is_object()) {
    const json& list = body["exception"].value("exceptionDetailList", json::array());
    if (list.is_array() && !list.empty() && list[0].is_object()) {
      answer.errorCode = list[0].value("exceptionCode", 0);
      description = text(list[0], "exceptionDescription");
      std::string details = joined(list[0].value("details", json()));
      if (!details.empty()) description += " (" + details + ")";
    }
  } else if (body.contains("errors") && body["errors"].is_array() && !body["errors"].empty() &&
             body["errors"][0].is_object()) {
    answer.errorCode = body["errors"][0].value("code", 0);
    description = text(body["errors"][0], "description");
  } else if (body.contains("status") && body["status"].is_object()) {
    description = text(body["status"], "description");
  } else {
    description = text(body, "detail");
    if (description.empty()) description = text(body, "title");
  }
  if (!description.empty())
    answer.error += ": " + (answer.errorCode ? std::to_string(answer.errorCode) + " " : "") + description;
}

// Seconds to wait from Retry-After; a date or nothing counts as a short wait.
int retryAfterMilliseconds(const std::string& value) {
  if (value.empty() || value.size() > 6 || !std::all_of(value.begin(), value.end(), ::isdigit)) return 2000;
  return std::stoi(value) * 1000;
}

bool matches(const std::string& textToCheck, const char* pattern) {
  // pattern: 'd' digit, 'A' capital letter or digit, 'H' upper-case hex digit, others literal
  if (textToCheck.size() != std::char_traits<char>::length(pattern)) return false;
  for (size_t i = 0; i < textToCheck.size(); ++i) {
    char c = textToCheck[i], p = pattern[i];
    bool ok = p == 'd'   ? std::isdigit(static_cast<unsigned char>(c)) != 0
              : p == 'A' ? (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
              : p == 'H' ? (c >= 'A' && c <= 'F') || (c >= '0' && c <= '9')
                         : c == p;
    if (!ok) return false;
  }
  return true;
}

}  // namespace

bool isReferenceNumber(const std::string& value) { return matches(value, "dddddddd-AA-HHHHHHHHHH-HHHHHHHHHH-HH"); }

bool isKsefNumber(const std::string& value) {
  return matches(value, "dddddddddd-dddddddd-HHHHHHHHHHHH-HH") ||
         matches(value, "dddddddddd-dddddddd-HHHHHH-HHHHHH-HH");
}

Status statusOf(const json& value) {
  Status status;
  if (!value.is_object()) return status;
  const json& code = value.value("code", json());
  status.code = code.is_number_integer() ? code.get<int>() : 0;
  status.description = text(value, "description");
  status.details = joined(value.value("details", json()));
  return status;
}

bool parseInvoiceStatus(const json& value, InvoiceStatus& out) {
  if (!value.is_object()) return false;
  out = InvoiceStatus{};
  out.referenceNumber = text(value, "referenceNumber");
  out.invoiceHash = text(value, "invoiceHash");
  out.ksefNumber = text(value, "ksefNumber");
  out.status = statusOf(value.value("status", json()));
  const json& extensions = value.value("status", json::object()).value("extensions", json());
  if (extensions.is_object()) {
    out.originalKsefNumber = text(extensions, "originalKsefNumber");
    out.originalSession = text(extensions, "originalSessionReferenceNumber");
  }
  return out.status.code != 0 && isReferenceNumber(out.referenceNumber) &&
         (out.ksefNumber.empty() || isKsefNumber(out.ksefNumber));
}

Client::Client(const Settings& settings, const std::string& contextNip, Clock::time_point deadline)
    : settings_(settings), contextNip_(contextNip), deadline_(deadline) {}

Clock::time_point Client::pollDeadline() const {
  return std::min(deadline_, Clock::now() + std::chrono::milliseconds(settings_.limits.polling));
}

bool Client::pause(int milliseconds, Clock::time_point until) {
  auto wake = Clock::now() + std::chrono::milliseconds(milliseconds);
  if (wake >= until) return false;
  std::this_thread::sleep_until(wake);
  return true;
}

bool Client::prepare(std::string& error) {
  std::string base = settings_.apiBase.empty() ? environmentBase(settings_.environment) : settings_.apiBase;
  if (!http::parseHttpsUrl(base, url_, error)) return false;
  if (!random_.ready()) {
    error = "the system gives no random numbers";
    return false;
  }
  return roots_.load(settings_.extraRootPemFile, error);
}

Answer Client::call(const std::string& method, const std::string& path, const std::string& body, Auth auth,
                    bool repeatable, size_t limit, Clock::time_point until, const std::string& continuation) {
  until = std::min(until, deadline_);
  Answer answer;
  int backoff = 250;
  for (;;) {
    if (Clock::now() >= until) {
      if (answer.error.empty()) answer.error = "no time was left for " + method + " " + path;
      return answer;
    }
    http::Request request;
    request.method = method;
    request.target = url_.basePath + path;
    request.headers = {{"Accept", "application/json"}};
    if (method == "POST") request.headers.push_back({"Content-Type", "application/json"});
    const std::string* bearer = auth == Auth::Operation ? &operationToken_
                                : auth == Auth::Access  ? &accessToken_
                                : auth == Auth::Refresh ? &refreshToken_
                                                        : nullptr;
    if (bearer) request.headers.push_back({"Authorization", "Bearer " + *bearer});
    if (!continuation.empty()) request.headers.push_back({"x-continuation-token", continuation});
    request.body = body;
    auto callDeadline = std::min(until, Clock::now() + std::chrono::milliseconds(settings_.limits.perCall));
    http::Exchange exchange = http::exchange(roots_, random_, url_, request, limit, callDeadline);

    answer = Answer{};
    if (exchange.failure != http::Failure::None) {
      answer.kind = exchange.failure == http::Failure::Lost ? Answer::Lost : Answer::Unreached;
      answer.error = method + " " + path + ": " + exchange.error;
      if (exchange.permanent || (answer.kind == Answer::Lost && !repeatable)) return answer;
      if (!pause(backoff, until)) return answer;
      backoff = std::min(backoff * 2, 2000);
      continue;
    }
    const http::Response& response = exchange.response;
    answer.status = response.status;
    answer.raw = response.body;
    answer.contentHash = response.header("x-ms-meta-hash");
    std::string type = response.header("content-type");
    if (type.find("json") != std::string::npos && !response.body.empty()) {
      answer.body = json::parse(response.body, nullptr, false);
      if (answer.body.is_discarded()) answer.body = json();
    }
    answer.error = method + " " + path + ": HTTP " + std::to_string(response.status);
    if (response.status == 429) {
      // Nothing was done; KSeF says how long to wait.
      int wait = retryAfterMilliseconds(response.header("retry-after"));
      answer.kind = Answer::Unreached;
      answer.error += " (KSeF asks to wait " + std::to_string(wait / 1000) + " s)";
      if (!pause(wait, until)) return answer;
      continue;
    }
    if (response.status == 401 && auth == Auth::Access && !refreshed_) {
      // Refused before anything was done: a fresh access token, once.
      refreshed_ = true;
      if (refresh()) continue;
    }
    if (response.status >= 200 && response.status < 300) {
      if (type.find("json") != std::string::npos && !response.body.empty() && answer.body.is_null()) {
        answer.kind = Answer::Lost;
        answer.error += ": the answer is not valid JSON";
        return answer;
      }
      answer.kind = Answer::Ok;
      return answer;
    }
    answer.kind = Answer::Error;
    readError(answer.body, answer);
    if (response.status >= 500 && repeatable) {
      if (!pause(backoff, until)) return answer;
      backoff = std::min(backoff * 2, 2000);
      continue;
    }
    return answer;
  }
}

bool Client::refresh() {
  if (refreshToken_.empty()) return false;
  Answer answer = call("POST", "/auth/token/refresh", "", Auth::Refresh, true, kJsonLimit);
  std::string token = answer.kind == Answer::Ok ? text(answer.body.value("accessToken", json::object()), "token") : "";
  if (token.empty()) return false;
  accessToken_ = token;
  return true;
}

bool Client::loadKeys(std::string& error) {
  Answer answer = call("GET", "/security/public-key-certificates", "", Auth::None, true, kJsonLimit);
  if (answer.kind != Answer::Ok || !answer.body.is_array()) {
    error = answer.kind == Answer::Ok ? "KSeF's public keys: the answer is not a list" : answer.error;
    return false;
  }
  // The certificate of each use that became valid last.
  std::string tokenFrom, symmetricFrom;
  for (const json& item : answer.body) {
    if (!item.is_object()) continue;
    std::string der;
    if (!crypto::fromBase64(text(item, "certificate"), der) || der.empty()) continue;
    std::string from = text(item, "validFrom"), id = text(item, "publicKeyId");
    for (const json& use : item.value("usage", json::array())) {
      if (use == "KsefTokenEncryption" && (tokenKeyDer_.empty() || from > tokenFrom)) {
        tokenKeyDer_ = der, tokenKeyId_ = id, tokenFrom = from;
      }
      if (use == "SymmetricKeyEncryption" && (symmetricKeyDer_.empty() || from > symmetricFrom)) {
        symmetricKeyDer_ = der, symmetricKeyId_ = id, symmetricFrom = from;
      }
    }
  }
  if (tokenKeyDer_.empty() || symmetricKeyDer_.empty()) {
    error = "KSeF's public keys: no key for the token or for the session key";
    return false;
  }
  return true;
}

bool Client::login(std::string& error, bool& refused) {
  refused = false;
  if (tokenKeyDer_.empty() && !loadKeys(error)) return false;
  // A lost answer of a one-time step (the challenge is used once, tokens
  // are redeemed once) starts the login again from a new challenge.
  int backoff = 250;
  for (;;) {
    bool again = false;
    if (loginOnce(error, refused, again)) return true;
    if (!again || !pause(backoff, deadline_)) return false;
    backoff = std::min(backoff * 2, 2000);
  }
}

bool Client::loginOnce(std::string& error, bool& refused, bool& again) {
  again = false;
  Answer challenge = call("POST", "/auth/challenge", "", Auth::None, true, kJsonLimit);
  if (challenge.kind != Answer::Ok) {
    error = challenge.error;
    return false;
  }
  const json& stamp = challenge.body.value("timestampMs", json());
  std::string challengeText = text(challenge.body, "challenge");
  if (!stamp.is_number_integer() || challengeText.empty()) {
    error = "KSeF's challenge: the answer lacks the challenge or its time";
    return false;
  }
  std::string encrypted = crypto::rsaOaepEncrypt(
      tokenKeyDer_, settings_.token + "|" + std::to_string(stamp.get<long long>()), random_, error);
  if (encrypted.empty()) return false;
  json request = {{"challenge", challengeText},
                  {"contextIdentifier", {{"type", "Nip"}, {"value", contextNip_}}},
                  {"encryptedToken", crypto::base64(encrypted)}};
  if (!tokenKeyId_.empty()) request["publicKeyId"] = tokenKeyId_;
  Answer started = call("POST", "/auth/ksef-token", request.dump(), Auth::None, false, kJsonLimit);
  std::string reference = started.kind == Answer::Ok ? text(started.body, "referenceNumber") : "";
  operationToken_ =
      started.kind == Answer::Ok ? text(started.body.value("authenticationToken", json::object()), "token") : "";
  if (started.kind != Answer::Ok || !isReferenceNumber(reference) || operationToken_.empty()) {
    error = started.kind == Answer::Ok ? "KSeF's authentication: the answer lacks its reference" : started.error;
    // A 4xx other than a stale challenge is a refusal of what we sent.
    refused = started.kind == Answer::Error && started.status < 500 && started.errorCode != 21111;
    again = !refused;
    return false;
  }

  Clock::time_point until = pollDeadline();
  int wait = 100;
  for (;;) {
    Answer state = call("GET", "/auth/" + reference, "", Auth::Operation, true, kJsonLimit, until);
    if (state.kind != Answer::Ok) {
      error = state.error;
      again = state.kind != Answer::Error || state.status >= 500;
      return false;
    }
    Status status = statusOf(state.body.value("status", json()));
    if (status.code == 200) break;
    if (status.code != 100) {
      error = "KSeF refused the authentication: " + std::to_string(status.code) + " " + status.description +
              (status.details.empty() ? "" : " (" + status.details + ")");
      refused = true;
      return false;
    }
    if (!pause(wait, until)) {
      error = "KSeF did not finish the authentication in time";
      return false;
    }
    wait = std::min(wait * 2, 1000);
  }

  Answer tokens = call("POST", "/auth/token/redeem", "", Auth::Operation, false, kJsonLimit);
  accessToken_ = tokens.kind == Answer::Ok ? text(tokens.body.value("accessToken", json::object()), "token") : "";
  refreshToken_ = tokens.kind == Answer::Ok ? text(tokens.body.value("refreshToken", json::object()), "token") : "";
  if (accessToken_.empty()) {
    error = tokens.kind == Answer::Ok ? "KSeF's tokens: the answer lacks the access token" : tokens.error;
    again = true;
    return false;
  }
  refreshed_ = false;
  return true;
}

bool Client::openSession(std::string& reference, std::string& error) {
  aesKey_ = random_.bytes(32);
  aesIv_ = random_.bytes(16);
  if (aesKey_.size() != 32 || aesIv_.size() != 16) {
    error = "the system gives no random numbers";
    return false;
  }
  std::string wrapped = crypto::rsaOaepEncrypt(symmetricKeyDer_, aesKey_, random_, error);
  if (wrapped.empty()) return false;
  json encryption = {{"encryptedSymmetricKey", crypto::base64(wrapped)},
                     {"initializationVector", crypto::base64(aesIv_)}};
  if (!symmetricKeyId_.empty()) encryption["publicKeyId"] = symmetricKeyId_;
  json request = {{"formCode", {{"systemCode", kSystemCode}, {"schemaVersion", kSchemaVersion}, {"value", kFormValue}}},
                  {"encryption", encryption}};
  // A session opened twice because an answer was lost is harmless: the unused one expires.
  Answer answer = call("POST", "/sessions/online", request.dump(), Auth::Access, true, kJsonLimit);
  reference = answer.kind == Answer::Ok ? text(answer.body, "referenceNumber") : "";
  if (!isReferenceNumber(reference)) {
    error = answer.kind == Answer::Ok ? "KSeF's session: the answer lacks its reference" : answer.error;
    return false;
  }
  return true;
}

Answer Client::sendInvoice(const std::string& session, const std::string& xml, std::string& invoiceReference) {
  std::string encrypted = crypto::aes256CbcEncrypt(aesKey_, aesIv_, xml);
  if (encrypted.empty()) {
    Answer failed;
    failed.error = "the invoice cannot be encrypted";
    return failed;
  }
  json request = {{"invoiceHash", crypto::base64(crypto::sha256(xml))},
                  {"invoiceSize", xml.size()},
                  {"encryptedInvoiceHash", crypto::base64(crypto::sha256(encrypted))},
                  {"encryptedInvoiceSize", encrypted.size()},
                  {"encryptedInvoiceContent", crypto::base64(encrypted)}};
  Answer answer =
      call("POST", "/sessions/online/" + session + "/invoices", request.dump(), Auth::Access, false, kJsonLimit);
  invoiceReference = answer.kind == Answer::Ok ? text(answer.body, "referenceNumber") : "";
  if (answer.kind == Answer::Ok && !isReferenceNumber(invoiceReference)) {
    answer.kind = Answer::Lost;  // taken, but we cannot tell under what reference
    answer.error = "KSeF's answer to the invoice lacks its reference";
  }
  return answer;
}

Answer Client::invoiceStatus(const std::string& session, const std::string& invoice, InvoiceStatus& out) {
  Answer answer = call("GET", "/sessions/" + session + "/invoices/" + invoice, "", Auth::Access, true, kJsonLimit);
  if (answer.kind == Answer::Ok && !parseInvoiceStatus(answer.body, out)) {
    answer.kind = Answer::Lost;
    answer.error = "KSeF's invoice status is malformed";
  }
  return answer;
}

bool Client::sessionInvoices(const std::string& session, std::vector<InvoiceStatus>& out, std::string& error) {
  out.clear();
  std::string continuation;
  for (int page = 0; page < 200; ++page) {
    // KSeF's continuation token goes back only as a header value, and only when it is plain printable ASCII.
    if (!std::all_of(continuation.begin(), continuation.end(), [](char c) { return c > 0x20 && c < 0x7F; })) {
      error = "KSeF's continuation token is malformed";
      return false;
    }
    Answer answer = call("GET", "/sessions/" + session + "/invoices?pageSize=1000", "", Auth::Access, true, kJsonLimit,
                         Clock::time_point::max(), continuation);
    if (answer.kind != Answer::Ok || !answer.body.is_object()) {
      error = answer.kind == Answer::Ok ? "KSeF's list of a session's invoices is malformed" : answer.error;
      return false;
    }
    for (const json& item : answer.body.value("invoices", json::array())) {
      InvoiceStatus status;
      if (parseInvoiceStatus(item, status)) out.push_back(status);
    }
    continuation = text(answer.body, "continuationToken");
    if (continuation.empty()) return true;
  }
  error = "KSeF's list of a session's invoices does not end";
  return false;
}

bool Client::invoicesByNumber(const std::string& number, const std::string& fromIso, const std::string& toIso,
                              json& invoices, std::string& error) {
  json request = {{"subjectType", "Subject1"},
                  {"dateRange", {{"dateType", "Invoicing"}, {"from", fromIso}, {"to", toIso}}},
                  {"invoiceNumber", number},
                  {"sellerNip", contextNip_}};
  Answer answer = call("POST", "/invoices/query/metadata?pageOffset=0&pageSize=100", request.dump(), Auth::Access, true,
                       kJsonLimit);
  if (answer.kind != Answer::Ok || !answer.body.is_object() || !answer.body.value("invoices", json()).is_array()) {
    error = answer.kind == Answer::Ok ? "KSeF's invoice query answer is malformed" : answer.error;
    return false;
  }
  invoices = answer.body["invoices"];
  return true;
}

bool Client::upo(const std::string& session, const std::string& invoice, const std::string& ksefNumber,
                 std::string& xml, std::string& error) {
  std::string path = invoice.empty() ? "/sessions/" + session + "/invoices/ksef/" + ksefNumber + "/upo"
                                     : "/sessions/" + session + "/invoices/" + invoice + "/upo";
  // The invoice is accepted whatever becomes of its receipt, and the next F5
  // asks for a missing one again: the user is not kept waiting long for it.
  const auto until = std::min(deadline_, Clock::now() + std::chrono::seconds(15));
  for (int attempt = 0; attempt < 3; ++attempt) {
    Answer answer = call("GET", path, "", Auth::Access, true, kUpoLimit, until);
    if (answer.kind != Answer::Ok || answer.raw.empty()) {
      error = answer.kind == Answer::Ok ? "KSeF's receipt is empty" : answer.error;
      return false;
    }
    // KSeF names the receipt's SHA-256: one that arrived damaged is fetched again.
    if (answer.contentHash.empty() || answer.contentHash == crypto::base64(crypto::sha256(answer.raw))) {
      xml = answer.raw;
      return true;
    }
    error = "KSeF's receipt does not match its SHA-256";
  }
  return false;
}

void Client::closeSession(const std::string& session) {
  auto until = std::min(deadline_, Clock::now() + std::chrono::seconds(5));
  call("POST", "/sessions/online/" + session + "/close", "", Auth::Access, false, kJsonLimit, until);
}

}  // namespace kw::ksef::api
