// SMTP delivery of a mail file with libcurl.
#include <curl/curl.h>

#include <cstdio>
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
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  curl_easy_setopt(c, CURLOPT_TIMEOUT, kTimeoutSeconds);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  CURLcode result = curl_easy_perform(c);
  if (result != CURLE_OK) {
    std::fprintf(stderr, "WELKOR: mail to %s not sent: %s\n", url.c_str(), curl_easy_strerror(result));
    return static_cast<int32_t>(result);
  }
  return 0;
}

}  // namespace welkor
