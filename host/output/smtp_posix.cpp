// SMTP delivery of a mail file with libcurl.
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "mail.h"
#include "utf8_file.h"

namespace welkor {

namespace {

struct CurlCleanup {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

constexpr long kConnectTimeoutSeconds = 15;
constexpr long kTimeoutSeconds = 120;

// The one limit of a delivery, in seconds: 120, or WELKOR_MAIL_TIMEOUT for
// tests that stall a server.
long timeoutSeconds() {
  const char* text = std::getenv("WELKOR_MAIL_TIMEOUT");
  long seconds = text ? std::atol(text) : 0;
  return seconds > 0 ? seconds : kTimeoutSeconds;
}

// libcurl bounds the transfer with its timeout, but then says QUIT and waits
// for the reply once more, as long again. The connection is closed within
// the transfer (it is never reused anyway), where the progress callback is
// called during that wait too: past the deadline it ends it.
int stopAfterDeadline(void* deadline, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return std::chrono::steady_clock::now() >= *static_cast<std::chrono::steady_clock::time_point*>(deadline);
}

}  // namespace

int32_t sendOverSmtp(const std::string& path, const std::string& server, int32_t port, const std::string& from,
                     const std::vector<std::string>& recipients) {
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  if (!ready) return -1;
  FilePtr mail = openUtf8File(path, "rb");
  std::unique_ptr<CURL, CurlCleanup> curl(curl_easy_init());
  if (!mail || !curl) return -1;

  std::string url = "smtp://" + server + ":" + std::to_string(port);
  std::string envelopeFrom = "<" + from + ">";
  std::unique_ptr<curl_slist, ListFree> rcpt;
  for (const std::string& recipient : recipients)
    rcpt.reset(curl_slist_append(rcpt.release(), ("<" + recipient + ">").c_str()));

  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_MAIL_FROM, envelopeFrom.c_str());
  curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpt.get());
  curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(c, CURLOPT_READDATA, mail.get());
  const long limit = timeoutSeconds();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limit);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, std::min(kConnectTimeoutSeconds, limit));
  curl_easy_setopt(c, CURLOPT_TIMEOUT, limit);
  curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, limit);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, stopAfterDeadline);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &deadline);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  CURLcode result = curl_easy_perform(c);
  if (result != CURLE_OK) {
    std::fprintf(stderr, "WELKOR: mail to %s not sent: %s\n", url.c_str(), curl_easy_strerror(result));
    return static_cast<int32_t>(result);
  }
  return 0;
}

}  // namespace welkor
