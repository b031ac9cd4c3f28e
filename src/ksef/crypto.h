// The cryptography KSeF asks for, all of it Mbed TLS's: SHA-256, Base64,
// AES-256-CBC with PKCS#7 padding, RSA-OAEP with SHA-256 under a public key
// from an X.509 certificate, and a CTR_DRBG seeded from the system.
#pragma once

#include <mbedtls/ctr_drbg.h>
#include <mbedtls/entropy.h>

#include <string>

namespace kw::ksef::crypto {

// A random generator of one send (Mbed TLS contexts are not shared between threads).
class Random {
 public:
  Random();
  ~Random();
  Random(const Random&) = delete;
  Random& operator=(const Random&) = delete;
  bool ready() const { return ready_; }
  bool fill(unsigned char* data, size_t size);
  std::string bytes(size_t size);  // empty on a failure
  // For Mbed TLS's own calls (TLS, RSA).
  static int generate(void* self, unsigned char* data, size_t size);

 private:
  mbedtls_entropy_context entropy_;
  mbedtls_ctr_drbg_context drbg_;
  bool ready_ = false;
};

std::string sha256(const std::string& data);  // 32 bytes
std::string hex(const std::string& data);
// False when `text` is not lower- or upper-case hex of whole bytes.
bool fromHex(const std::string& text, std::string& data);
std::string base64(const std::string& data);
// False when `text` is not Base64.
bool fromBase64(const std::string& text, std::string& data);
// AES-256-CBC with PKCS#7 padding; empty on a failure.
std::string aes256CbcEncrypt(const std::string& key, const std::string& iv, const std::string& plain);
// RSA-OAEP (SHA-256, MGF1 with SHA-256) under the RSA key of a DER
// certificate; empty with `error` set on a failure.
std::string rsaOaepEncrypt(const std::string& certificateDer, const std::string& plain, Random& random,
                           std::string& error);

}  // namespace kw::ksef::crypto
