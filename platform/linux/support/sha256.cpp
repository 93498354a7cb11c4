#include "platform/linux/support/sha256.h"

#include <openssl/evp.h>

#include <new>

#include "platform/linux/support/file_failure.h"

namespace earshot::platform::linuxos::support {

Sha256::Sha256() : context_(EVP_MD_CTX_new()) {
  if (context_ == nullptr) throw std::bad_alloc();
  reset();
}

Sha256::~Sha256() {
  EVP_MD_CTX_free(context_);
}

void Sha256::reset() {
  if (EVP_DigestInit_ex(context_, EVP_sha256(), nullptr) != 1) {
    throw FileFailure("SHA-256 is not available");
  }
}

void Sha256::update(const void* data, size_t size) {
  if (EVP_DigestUpdate(context_, data, size) != 1) throw FileFailure("SHA-256 failed");
}

std::string Sha256::hexDigest() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context_, digest, &length) != 1) throw FileFailure("SHA-256 failed");
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 15];
  }
  reset();
  return text;
}

}  // namespace earshot::platform::linuxos::support
