#include "ksef/crypto.h"

#include <mbedtls/base64.h>
#include <mbedtls/cipher.h>
#include <mbedtls/pk.h>
#include <mbedtls/rsa.h>
#include <mbedtls/sha256.h>
#include <mbedtls/x509_crt.h>

#include <vector>

#include "ksef/platform.h"

namespace kw::ksef::crypto {

namespace {

// The system's random source, added to Mbed TLS's entropy pool as a strong
// source: a build of Mbed TLS without its own platform source still has it.
int systemEntropy(void*, unsigned char* output, size_t size, size_t* produced) {
  if (!platform::randomBytes(output, size)) return MBEDTLS_ERR_ENTROPY_SOURCE_FAILED;
  *produced = size;
  return 0;
}

const unsigned char kPersonalisation[] = "kw::ksef send";

}  // namespace

Random::Random() {
  mbedtls_entropy_init(&entropy_);
  mbedtls_ctr_drbg_init(&drbg_);
  ready_ = mbedtls_entropy_add_source(&entropy_, systemEntropy, nullptr, 32, MBEDTLS_ENTROPY_SOURCE_STRONG) == 0 &&
           mbedtls_ctr_drbg_seed(&drbg_, mbedtls_entropy_func, &entropy_, kPersonalisation,
                                 sizeof kPersonalisation - 1) == 0;
}

Random::~Random() {
  mbedtls_ctr_drbg_free(&drbg_);
  mbedtls_entropy_free(&entropy_);
}

bool Random::fill(unsigned char* data, size_t size) {
  return ready_ && mbedtls_ctr_drbg_random(&drbg_, data, size) == 0;
}

std::string Random::bytes(size_t size) {
  std::string out(size, '\0');
  if (!fill(reinterpret_cast<unsigned char*>(&out[0]), size)) out.clear();
  return out;
}

int Random::generate(void* self, unsigned char* data, size_t size) {
  Random* random = static_cast<Random*>(self);
  return random->ready_ ? mbedtls_ctr_drbg_random(&random->drbg_, data, size)
                        : MBEDTLS_ERR_CTR_DRBG_ENTROPY_SOURCE_FAILED;
}

std::string sha256(const std::string& data) {
  unsigned char digest[32];
  mbedtls_sha256_ret(reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest, 0);
  return std::string(reinterpret_cast<char*>(digest), sizeof digest);
}

std::string hex(const std::string& data) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(data.size() * 2);
  for (unsigned char c : data) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

bool fromHex(const std::string& text, std::string& data) {
  auto digit = [](char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
  };
  if (text.size() % 2) return false;
  data.clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    int high = digit(text[i]), low = digit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    data += static_cast<char>(high * 16 + low);
  }
  return true;
}

std::string base64(const std::string& data) {
  size_t needed = 0;
  const auto* in = reinterpret_cast<const unsigned char*>(data.data());
  mbedtls_base64_encode(nullptr, 0, &needed, in, data.size());
  std::vector<unsigned char> out(needed + 1);
  size_t written = 0;
  if (mbedtls_base64_encode(out.data(), out.size(), &written, in, data.size()) != 0) return {};
  return std::string(reinterpret_cast<char*>(out.data()), written);
}

bool fromBase64(const std::string& text, std::string& data) {
  size_t needed = 0;
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  int status = mbedtls_base64_decode(nullptr, 0, &needed, in, text.size());
  if (status != 0 && status != MBEDTLS_ERR_BASE64_BUFFER_TOO_SMALL) return false;
  std::vector<unsigned char> out(needed + 1);
  size_t written = 0;
  if (mbedtls_base64_decode(out.data(), out.size(), &written, in, text.size()) != 0) return false;
  data.assign(reinterpret_cast<char*>(out.data()), written);
  return true;
}

std::string aes256CbcEncrypt(const std::string& key, const std::string& iv, const std::string& plain) {
  if (key.size() != 32 || iv.size() != 16) return {};
  mbedtls_cipher_context_t cipher;
  mbedtls_cipher_init(&cipher);
  std::string out(plain.size() + 16, '\0');
  size_t written = 0;
  bool ok =
      mbedtls_cipher_setup(&cipher, mbedtls_cipher_info_from_type(MBEDTLS_CIPHER_AES_256_CBC)) == 0 &&
      mbedtls_cipher_set_padding_mode(&cipher, MBEDTLS_PADDING_PKCS7) == 0 &&
      mbedtls_cipher_setkey(&cipher, reinterpret_cast<const unsigned char*>(key.data()), 256, MBEDTLS_ENCRYPT) == 0 &&
      mbedtls_cipher_crypt(&cipher, reinterpret_cast<const unsigned char*>(iv.data()), iv.size(),
                           reinterpret_cast<const unsigned char*>(plain.data()), plain.size(),
                           reinterpret_cast<unsigned char*>(&out[0]), &written) == 0;
  mbedtls_cipher_free(&cipher);
  if (!ok) return {};
  out.resize(written);
  return out;
}

std::string rsaOaepEncrypt(const std::string& certificateDer, const std::string& plain, Random& random,
                           std::string& error) {
  mbedtls_x509_crt certificate;
  mbedtls_x509_crt_init(&certificate);
  std::string out;
  if (mbedtls_x509_crt_parse_der(&certificate, reinterpret_cast<const unsigned char*>(certificateDer.data()),
                                 certificateDer.size()) != 0) {
    error = "KSeF's public key certificate cannot be read";
  } else if (mbedtls_pk_get_type(&certificate.pk) != MBEDTLS_PK_RSA) {
    error = "KSeF's public key is not an RSA key";
  } else {
    mbedtls_rsa_context* rsa = mbedtls_pk_rsa(certificate.pk);
    mbedtls_rsa_set_padding(rsa, MBEDTLS_RSA_PKCS_V21, MBEDTLS_MD_SHA256);
    out.assign(mbedtls_rsa_get_len(rsa), '\0');
    if (mbedtls_rsa_rsaes_oaep_encrypt(rsa, Random::generate, &random, MBEDTLS_RSA_PUBLIC, nullptr, 0, plain.size(),
                                       reinterpret_cast<const unsigned char*>(plain.data()),
                                       reinterpret_cast<unsigned char*>(&out[0])) != 0) {
      out.clear();
      error = "RSA-OAEP encryption under KSeF's public key failed";
    }
  }
  mbedtls_x509_crt_free(&certificate);
  return out;
}

}  // namespace kw::ksef::crypto
