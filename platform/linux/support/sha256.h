#pragma once

#include <cstddef>
#include <memory>
#include <string>

struct evp_md_ctx_st;

namespace earshot::platform::linuxos::support {

// An incremental SHA-256 (OpenSSL EVP).
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void update(const void* data, size_t size);
  // Starts over, forgetting what was fed.
  void reset();
  // The digest of everything fed so far, as 64 lower-case hex digits.
  std::string hexDigest();

 private:
  evp_md_ctx_st* context_;
};

}  // namespace earshot::platform::linuxos::support
