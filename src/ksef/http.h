// HTTP/1.1 over TLS, one request per connection ("Connection: close"), every
// size bounded. Only what KSeF's REST interface needs: a request with a body
// of known length; an answer with Content-Length, chunked or ended by close.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ksef/crypto.h"
#include "ksef/platform.h"
#include "ksef/tls.h"

namespace kw::ksef::http {

struct Url {
  std::string host;
  uint16_t port = 443;
  std::string basePath;  // without a trailing slash: "/v2"
};

// Only https URLs without user information, query or fragment.
bool parseHttpsUrl(const std::string& text, Url& url, std::string& error);

struct Request {
  std::string method;
  std::string target;  // path and query, starting with '/'
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
};

struct Response {
  int status = 0;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
  std::string header(const std::string& lowerCaseName) const;
};

enum class Failure {
  None,          // an answer came whole
  NotDelivered,  // the request did not go out whole: the server did nothing
  Lost,          // the request went out whole, the answer did not come whole
};

struct Exchange {
  Failure failure = Failure::None;
  bool permanent = false;  // trying again cannot help (the server's certificate is not accepted)
  std::string error;
  Response response;
};

constexpr size_t kHeaderLimit = 16 * 1024;

Exchange exchange(tls::TrustedRoots& roots, crypto::Random& random, const Url& url, const Request& request,
                  size_t bodyLimit, platform::Clock::time_point deadline);

// Parses an answer held whole in `raw` (the response parser, exposed for its tests).
bool parseResponse(const std::string& raw, bool ended, size_t bodyLimit, Response& response, std::string& error,
                   bool& complete);

}  // namespace kw::ksef::http
