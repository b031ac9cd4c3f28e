#include "ksef/tls.h"

#include <mbedtls/error.h>
#include <mbedtls/net_sockets.h>  // only its error codes: the socket layer is ours

#include <vector>

namespace kw::ksef::tls {

TrustedRoots::TrustedRoots() { mbedtls_x509_crt_init(&chain_); }
TrustedRoots::~TrustedRoots() { mbedtls_x509_crt_free(&chain_); }

bool TrustedRoots::load(const std::string& extraPemFile, std::string& error) {
  int loaded = 0;
  for (const std::string& blob : platform::systemRootCertificates()) {
    // PEM wants its terminating zero counted; a bundle may hold a few
    // certificates Mbed TLS cannot read, which are left out.
    if (blob.find("-----BEGIN") != std::string::npos) {
      if (mbedtls_x509_crt_parse(&chain_, reinterpret_cast<const unsigned char*>(blob.c_str()), blob.size() + 1) >= 0)
        ++loaded;
    } else if (mbedtls_x509_crt_parse_der(&chain_, reinterpret_cast<const unsigned char*>(blob.data()), blob.size()) ==
               0) {
      ++loaded;
    }
  }
  if (!extraPemFile.empty()) {
    std::string text;
    if (!platform::readWholeFile(extraPemFile, 1 << 20, text) ||
        mbedtls_x509_crt_parse(&chain_, reinterpret_cast<const unsigned char*>(text.c_str()), text.size() + 1) != 0) {
      error = "the extra root certificate file cannot be read: " + extraPemFile;
      return false;
    }
    ++loaded;
  }
  if (loaded == 0 || chain_.version == 0) {
    error = "no trusted root certificates were found on this system";
    return false;
  }
  return true;
}

Stream::Stream(TrustedRoots& roots, crypto::Random& random) : roots_(roots), random_(random) {
  mbedtls_ssl_config_init(&config_);
  mbedtls_ssl_init(&ssl_);
}

Stream::~Stream() {
  mbedtls_ssl_free(&ssl_);
  mbedtls_ssl_config_free(&config_);
}

int Stream::sendCallback(void* self, const unsigned char* data, size_t size) {
  Stream* stream = static_cast<Stream*>(self);
  long n = stream->tcp_.sendSome(data, size, stream->deadline_);
  if (n == -2) {
    stream->timedOut_ = true;
    return MBEDTLS_ERR_SSL_TIMEOUT;
  }
  return n > 0 ? static_cast<int>(n) : MBEDTLS_ERR_NET_SEND_FAILED;
}

int Stream::receiveCallback(void* self, unsigned char* data, size_t size) {
  Stream* stream = static_cast<Stream*>(self);
  long n = stream->tcp_.receiveSome(data, size, stream->deadline_);
  if (n == -2) {
    stream->timedOut_ = true;
    return MBEDTLS_ERR_SSL_TIMEOUT;
  }
  return n >= 0 ? static_cast<int>(n) : MBEDTLS_ERR_NET_RECV_FAILED;
}

std::string Stream::describe(int status) const {
  if (timedOut_) return "timed out";
  char text[160];
  mbedtls_strerror(status, text, sizeof text);
  return text;
}

bool Stream::open(const std::string& host, uint16_t port, platform::Clock::time_point deadline, std::string& error) {
  deadline_ = deadline;
  if (!tcp_.connect(host, port, deadline, error)) return false;
  if (mbedtls_ssl_config_defaults(&config_, MBEDTLS_SSL_IS_CLIENT, MBEDTLS_SSL_TRANSPORT_STREAM,
                                  MBEDTLS_SSL_PRESET_DEFAULT) != 0) {
    error = "TLS cannot be set up";
    return false;
  }
  mbedtls_ssl_conf_authmode(&config_, MBEDTLS_SSL_VERIFY_REQUIRED);
  mbedtls_ssl_conf_min_version(&config_, MBEDTLS_SSL_MAJOR_VERSION_3, MBEDTLS_SSL_MINOR_VERSION_3);  // TLS 1.2
  mbedtls_ssl_conf_ca_chain(&config_, roots_.chain(), nullptr);
  mbedtls_ssl_conf_rng(&config_, crypto::Random::generate, &random_);
  if (mbedtls_ssl_setup(&ssl_, &config_) != 0 || mbedtls_ssl_set_hostname(&ssl_, host.c_str()) != 0) {
    error = "TLS cannot be set up";
    return false;
  }
  mbedtls_ssl_set_bio(&ssl_, this, sendCallback, receiveCallback, nullptr);
  for (;;) {
    int status = mbedtls_ssl_handshake(&ssl_);
    if (status == 0) return true;
    if (status == MBEDTLS_ERR_SSL_WANT_READ || status == MBEDTLS_ERR_SSL_WANT_WRITE) continue;
    uint32_t flags = mbedtls_ssl_get_verify_result(&ssl_);
    if (status == MBEDTLS_ERR_X509_CERT_VERIFY_FAILED && flags != 0) {
      char text[512];
      int n = mbedtls_x509_crt_verify_info(text, sizeof text, "", flags);
      std::string why = n > 0 ? std::string(text, static_cast<size_t>(n)) : std::string("not trusted");
      while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
      for (char& c : why)
        if (c == '\n') c = ';';
      error = "the certificate of " + host + " is not accepted: " + why;
    } else {
      error = "TLS handshake with " + host + " failed: " + describe(status);
    }
    return false;
  }
}

bool Stream::writeAll(const std::string& data, platform::Clock::time_point deadline, std::string& error) {
  deadline_ = deadline;
  size_t done = 0;
  while (done < data.size()) {
    int n = mbedtls_ssl_write(&ssl_, reinterpret_cast<const unsigned char*>(data.data()) + done, data.size() - done);
    if (n == MBEDTLS_ERR_SSL_WANT_READ || n == MBEDTLS_ERR_SSL_WANT_WRITE) continue;
    if (n <= 0) {
      error = "sending failed: " + describe(n);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

long Stream::read(unsigned char* data, size_t size, platform::Clock::time_point deadline, std::string& error) {
  deadline_ = deadline;
  for (;;) {
    int n = mbedtls_ssl_read(&ssl_, data, size);
    if (n > 0) return n;
    if (n == 0 || n == MBEDTLS_ERR_SSL_PEER_CLOSE_NOTIFY || n == MBEDTLS_ERR_SSL_CONN_EOF) return 0;
    if (n == MBEDTLS_ERR_SSL_WANT_READ || n == MBEDTLS_ERR_SSL_WANT_WRITE) continue;
    error = "receiving failed: " + describe(n);
    return -1;
  }
}

}  // namespace kw::ksef::tls
