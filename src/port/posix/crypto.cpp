// Digests and signatures through OpenSSL's libcrypto (3.0's EVP interface): the media's file
// lists are checked and signed with vetted code only.
#include <fcntl.h>
#include <openssl/bio.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "port/port.h"

namespace koushin::port {

namespace {

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct DigestFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Bio = std::unique_ptr<BIO, BioFree>;
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestFree>;

std::string OpenSslError(const std::string& what) {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return what;
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return what + ": " + text;
}

Bio MemoryBio(const std::string& bytes) {
  return Bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
}

// True for an ECDSA key on the P-256 curve, the only kind the media are signed with.
bool IsP256(EVP_PKEY* key) {
  if (EVP_PKEY_get_base_id(key) != EVP_PKEY_EC) return false;
  char group[64] = {};
  std::size_t length = 0;
  if (EVP_PKEY_get_group_name(key, group, sizeof group, &length) != 1) return false;
  return std::strcmp(group, "prime256v1") == 0 || std::strcmp(group, "P-256") == 0;
}

std::string BioText(BIO* bio) {
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio, &data);
  return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

// Writes a new file with the given mode; an existing file is left alone and refused.
bool WriteNewFile(const std::string& path, const std::string& bytes, mode_t mode,
                  std::string* problem) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) {
    *problem = path + ": " + std::strerror(errno);
    return false;
  }
  // The mode asked for may have been narrowed by the umask, never widened; make it exact.
  bool ok = ::fchmod(fd, mode) == 0;
  std::size_t done = 0;
  while (ok && done < bytes.size()) {
    const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    ok = wrote > 0;
    if (ok) done += static_cast<std::size_t>(wrote);
  }
  ok = ok && ::fsync(fd) == 0;
  if (!ok) *problem = path + ": " + std::strerror(errno);
  if (::close(fd) != 0 && ok) {
    *problem = path + ": " + std::strerror(errno);
    ok = false;
  }
  if (!ok) ::unlink(path.c_str());
  return ok;
}

}  // namespace

Sha256::Sha256() : state_(EVP_MD_CTX_new()) {
  auto* context = static_cast<EVP_MD_CTX*>(state_);
  failed_ = context == nullptr || EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1;
}

Sha256::~Sha256() { EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(state_)); }

void Sha256::Update(const void* data, std::size_t size) {
  if (failed_ || size == 0) return;
  failed_ = EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(state_), data, size) != 1;
}

bool Sha256::Finish(Sha256Digest* digest) {
  unsigned int length = 0;
  if (failed_ ||
      EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(state_), digest->data(), &length) != 1 ||
      length != digest->size()) {
    failed_ = true;
    return false;
  }
  failed_ = true;  // once only
  return true;
}

SignatureCheck VerifySignature(const std::string& publicKeyPem, const std::string& message,
                               const std::string& signature) {
  Bio bio = MemoryBio(publicKeyPem);
  Key key(bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!key || !IsP256(key.get())) {
    ERR_clear_error();
    return SignatureCheck::kBadKey;
  }
  DigestContext context(EVP_MD_CTX_new());
  const auto* bytes = reinterpret_cast<const unsigned char*>(signature.data());
  const bool valid =
      context &&
      EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
      EVP_DigestVerify(context.get(), bytes, signature.size(),
                       reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
  ERR_clear_error();
  return valid ? SignatureCheck::kValid : SignatureCheck::kInvalid;
}

bool MakeSigningKey(const std::string& privateKeyPath, const std::string& publicKeyPath,
                    std::string* problem) {
  Key key(EVP_EC_gen("P-256"));
  if (!key) {
    *problem = OpenSslError("cannot make a P-256 key");
    return false;
  }
  Bio privateBio(BIO_new(BIO_s_mem()));
  Bio publicBio(BIO_new(BIO_s_mem()));
  // PEM_write_bio_PrivateKey writes PKCS#8 ("BEGIN PRIVATE KEY"), unencrypted: the vendor keeps
  // the file itself secret.
  if (!privateBio || !publicBio ||
      PEM_write_bio_PrivateKey(privateBio.get(), key.get(), nullptr, nullptr, 0, nullptr,
                               nullptr) != 1 ||
      PEM_write_bio_PUBKEY(publicBio.get(), key.get()) != 1) {
    *problem = OpenSslError("cannot write the key");
    return false;
  }
  if (!WriteNewFile(privateKeyPath, BioText(privateBio.get()), 0600, problem)) return false;
  if (!WriteNewFile(publicKeyPath, BioText(publicBio.get()), 0644, problem)) {
    ::unlink(privateKeyPath.c_str());
    return false;
  }
  return true;
}

bool SignMessage(const std::string& privateKeyPem, const std::string& message,
                 std::string* signature, std::string* problem) {
  Bio bio = MemoryBio(privateKeyPem);
  Key key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!key || !IsP256(key.get())) {
    *problem = OpenSslError("not a PEM ECDSA P-256 private key");
    return false;
  }
  DigestContext context(EVP_MD_CTX_new());
  std::size_t size = 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());
  if (!context ||
      EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
      EVP_DigestSign(context.get(), nullptr, &size, bytes, message.size()) != 1) {
    *problem = OpenSslError("cannot sign");
    return false;
  }
  signature->assign(size, '\0');
  if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(&(*signature)[0]), &size,
                     bytes, message.size()) != 1) {
    *problem = OpenSslError("cannot sign");
    return false;
  }
  signature->resize(size);
  return true;
}

}  // namespace koushin::port
