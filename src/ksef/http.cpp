#include "ksef/http.h"

#include <cctype>
#include <cstdlib>

namespace kw::ksef::http {

namespace {

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string trimmed(const std::string& text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// A non-negative decimal or hexadecimal number that fits its bound; false otherwise.
bool parseNumber(const std::string& text, int base, size_t bound, size_t& value) {
  if (text.empty() || text.size() > 16) return false;
  value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    value = value * static_cast<size_t>(base) + static_cast<size_t>(digit);
    if (value > bound) return false;
  }
  return true;
}

bool hasControlOrSpace(const std::string& text) {
  for (unsigned char c : text)
    if (c <= 0x20 || c == 0x7F) return true;
  return false;
}

// Walks the chunks that have arrived; `complete` once the last chunk and the
// trailers are in. The body is gathered only then.
bool parseChunked(const std::string& raw, size_t start, size_t bodyLimit, std::string* body, std::string& error,
                  bool& complete) {
  complete = false;
  size_t at = start;
  size_t total = 0;
  for (;;) {
    size_t lineEnd = raw.find("\r\n", at);
    if (lineEnd == std::string::npos) {
      if (raw.size() - at > 1024) error = "a chunk header is too long";
      return error.empty();
    }
    std::string sizeText = raw.substr(at, lineEnd - at);
    sizeText = trimmed(sizeText.substr(0, sizeText.find(';')));
    size_t size = 0;
    if (!parseNumber(sizeText, 16, bodyLimit, size)) {
      error = "the answer's chunk size is malformed or too large";
      return false;
    }
    at = lineEnd + 2;
    if (size == 0) {
      // Trailers, each ended by CRLF, then an empty line.
      for (;;) {
        size_t end = raw.find("\r\n", at);
        if (end == std::string::npos) {
          if (raw.size() - at > kHeaderLimit) error = "the answer's trailers are too long";
          return error.empty();
        }
        if (end == at) break;
        at = end + 2;
      }
      complete = true;
      return true;
    }
    total += size;
    if (total > bodyLimit) {
      error = "the answer is longer than " + std::to_string(bodyLimit) + " bytes";
      return false;
    }
    if (raw.size() < at + size + 2) return true;
    if (raw.compare(at + size, 2, "\r\n") != 0) {
      error = "a chunk of the answer is not ended properly";
      return false;
    }
    if (body) body->append(raw, at, size);
    at += size + 2;
  }
}

}  // namespace

std::string Response::header(const std::string& lowerCaseName) const {
  auto found = headers.find(lowerCaseName);
  return found == headers.end() ? std::string() : found->second;
}

bool parseHttpsUrl(const std::string& text, Url& url, std::string& error) {
  const std::string scheme = "https://";
  if (lowerCase(text.substr(0, scheme.size())) != scheme || hasControlOrSpace(text)) {
    error = "the KSeF address must be an https:// address: " + text;
    return false;
  }
  std::string rest = text.substr(scheme.size());
  size_t slash = rest.find('/');
  std::string authority = rest.substr(0, slash);
  std::string path = slash == std::string::npos ? std::string() : rest.substr(slash);
  if (authority.empty() || authority.find('@') != std::string::npos || path.find_first_of("?#") != std::string::npos) {
    error = "the KSeF address is not a plain https address: " + text;
    return false;
  }
  url.port = 443;
  size_t colon = authority.rfind(':');
  if (colon != std::string::npos && authority.find(']') == std::string::npos) {
    size_t port = 0;
    if (!parseNumber(authority.substr(colon + 1), 10, 65535, port) || port == 0) {
      error = "the KSeF address has a malformed port: " + text;
      return false;
    }
    url.port = static_cast<uint16_t>(port);
    authority.resize(colon);
  }
  url.host = authority;
  while (!path.empty() && path.back() == '/') path.pop_back();
  url.basePath = path;
  return !url.host.empty();
}

bool parseResponse(const std::string& raw, bool ended, size_t bodyLimit, Response& response, std::string& error,
                   bool& complete) {
  complete = false;
  size_t headerEnd = raw.find("\r\n\r\n");
  if (headerEnd == std::string::npos) {
    if (raw.size() > kHeaderLimit)
      error = "the answer's headers are too long";
    else if (ended)
      error = "the connection closed before the answer's headers were complete";
    return error.empty();
  }
  if (headerEnd > kHeaderLimit) {
    error = "the answer's headers are too long";
    return false;
  }
  response = Response{};
  size_t lineEnd = raw.find("\r\n");
  std::string statusLine = raw.substr(0, lineEnd);
  if (statusLine.compare(0, 7, "HTTP/1.") != 0 || statusLine.size() < 12 || statusLine[8] != ' ') {
    error = "the answer is not HTTP/1.x";
    return false;
  }
  size_t status = 0;
  if (!parseNumber(statusLine.substr(9, 3), 10, 999, status) || status < 100 ||
      (statusLine.size() > 12 && statusLine[12] != ' ')) {
    error = "the answer's status line is malformed";
    return false;
  }
  response.status = static_cast<int>(status);
  for (size_t at = lineEnd + 2; at < headerEnd;) {
    size_t end = raw.find("\r\n", at);
    std::string line = raw.substr(at, end - at);
    at = end + 2;
    size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0 || hasControlOrSpace(line.substr(0, colon))) {
      error = "the answer has a malformed header line";
      return false;
    }
    std::string name = lowerCase(line.substr(0, colon));
    std::string value = trimmed(line.substr(colon + 1));
    auto& slot = response.headers[name];
    slot = slot.empty() ? value : slot + ", " + value;
  }
  size_t bodyStart = headerEnd + 4;
  if (response.status < 200) {
    // An interim answer: the caller drops it and reads on.
    complete = true;
    return true;
  }
  if (response.status == 204 || response.status == 304) {
    complete = true;
    return true;
  }
  std::string coding = lowerCase(response.header("transfer-encoding"));
  if (!coding.empty()) {
    if (coding != "chunked") {
      error = "the answer's transfer coding is not supported: " + coding;
      return false;
    }
    if (!parseChunked(raw, bodyStart, bodyLimit, nullptr, error, complete)) return false;
    if (complete)
      parseChunked(raw, bodyStart, bodyLimit, &response.body, error, complete);
    else if (ended)
      error = "the connection closed in the middle of the answer";
    return error.empty();
  }
  std::string lengthText = response.header("content-length");
  if (!lengthText.empty()) {
    size_t length = 0;
    if (!parseNumber(lengthText, 10, bodyLimit, length)) {
      error = "the answer's length is malformed or above " + std::to_string(bodyLimit) + " bytes";
      return false;
    }
    if (raw.size() - bodyStart >= length) {
      response.body = raw.substr(bodyStart, length);
      complete = true;
    } else if (ended) {
      error = "the connection closed in the middle of the answer";
    }
    return error.empty();
  }
  // No length: the answer ends with the connection.
  if (raw.size() - bodyStart > bodyLimit) {
    error = "the answer is longer than " + std::to_string(bodyLimit) + " bytes";
    return false;
  }
  if (ended) {
    response.body = raw.substr(bodyStart);
    complete = true;
  }
  return true;
}

Exchange exchange(tls::TrustedRoots& roots, crypto::Random& random, const Url& url, const Request& request,
                  size_t bodyLimit, platform::Clock::time_point deadline) {
  Exchange result;
  result.failure = Failure::NotDelivered;
  tls::Stream stream(roots, random);
  if (!stream.open(url.host, url.port, deadline, result.error)) {
    result.permanent = result.error.find("certificate") != std::string::npos;
    return result;
  }
  std::string hostHeader = url.port == 443 ? url.host : url.host + ":" + std::to_string(url.port);
  std::string head =
      request.method + " " + request.target + " HTTP/1.1\r\nHost: " + hostHeader +
      "\r\nConnection: close\r\nAccept-Encoding: identity\r\nContent-Length: " + std::to_string(request.body.size()) +
      "\r\n";
  for (const auto& header : request.headers) head += header.first + ": " + header.second + "\r\n";
  head += "\r\n";
  if (!stream.writeAll(head + request.body, deadline, result.error)) return result;

  result.failure = Failure::Lost;
  std::string raw;
  unsigned char chunk[16384];
  for (;;) {
    long n = stream.read(chunk, sizeof chunk, deadline, result.error);
    if (n < 0) return result;
    if (n > 0) raw.append(reinterpret_cast<char*>(chunk), static_cast<size_t>(n));
    bool complete = false;
    if (!parseResponse(raw, n == 0, bodyLimit, result.response, result.error, complete)) return result;
    if (complete && result.response.status < 200) {
      raw.erase(0, raw.find("\r\n\r\n") + 4);  // an interim answer
      continue;
    }
    if (complete) {
      result.failure = Failure::None;
      return result;
    }
    if (n == 0) {
      result.error = "the connection closed before the answer was complete";
      return result;
    }
  }
}

}  // namespace kw::ksef::http
