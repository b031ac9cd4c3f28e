// A TLS client connection (TLS 1.2 or newer, the server's certificate and
// host name always checked) over our own TCP layer: Mbed TLS's socket layer
// is not used, so the Windows DLL imports no socket library of its own.
#pragma once

#include <mbedtls/ssl.h>
#include <mbedtls/x509_crt.h>

#include <string>

#include "ksef/crypto.h"
#include "ksef/platform.h"

namespace kw::ksef::tls {

// The roots a server's certificate must lead to: the system's, and the one
// extra PEM file the caller names (tests).
class TrustedRoots {
 public:
  TrustedRoots();
  ~TrustedRoots();
  TrustedRoots(const TrustedRoots&) = delete;
  TrustedRoots& operator=(const TrustedRoots&) = delete;
  // False with `error` set when there is no root at all or the extra file cannot be read.
  bool load(const std::string& extraPemFile, std::string& error);
  mbedtls_x509_crt* chain() { return &chain_; }

 private:
  mbedtls_x509_crt chain_;
};

class Stream {
 public:
  Stream(TrustedRoots& roots, crypto::Random& random);
  ~Stream();
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  bool open(const std::string& host, uint16_t port, platform::Clock::time_point deadline, std::string& error);
  bool writeAll(const std::string& data, platform::Clock::time_point deadline, std::string& error);
  // Bytes read (> 0), 0 at the end of the stream, -1 on a failure (`error` set).
  long read(unsigned char* data, size_t size, platform::Clock::time_point deadline, std::string& error);

 private:
  static int sendCallback(void* self, const unsigned char* data, size_t size);
  static int receiveCallback(void* self, unsigned char* data, size_t size);
  std::string describe(int status) const;

  TrustedRoots& roots_;
  crypto::Random& random_;
  platform::TcpConnection tcp_;
  platform::Clock::time_point deadline_;
  mbedtls_ssl_config config_;
  mbedtls_ssl_context ssl_;
  bool timedOut_ = false;
};

}  // namespace kw::ksef::tls
