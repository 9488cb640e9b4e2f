// Digests and signatures through CNG (bcrypt), with crypt32 decoding the public key's PEM and
// DER. The media are signed on Linux only; Windows verifies what was signed there.
#include <windows.h>
// After windows.h: these use its types.
#include <bcrypt.h>
#include <wincrypt.h>

#include <cstring>
#include <memory>
#include <vector>

#include "port/port.h"

namespace koushin::port {

namespace {

constexpr std::size_t kCoordinateBytes = 32;  // one P-256 coordinate, and r and s

struct HashState {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
};

// An algorithm provider, closed when it goes out of scope.
class Algorithm {
 public:
  explicit Algorithm(LPCWSTR name) {
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle_, name, nullptr, 0))) {
      handle_ = nullptr;
    }
  }
  ~Algorithm() {
    if (handle_) BCryptCloseAlgorithmProvider(handle_, 0);
  }
  Algorithm(const Algorithm&) = delete;
  Algorithm& operator=(const Algorithm&) = delete;
  BCRYPT_ALG_HANDLE Get() const { return handle_; }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

struct LocalFreer {
  void operator()(void* p) const { LocalFree(p); }
};

// The DER encoding of the P-256 curve's name (1.2.840.10045.3.1.7), as the key's parameters.
const BYTE kP256Parameters[] = {0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};

// The public key of a PEM SubjectPublicKeyInfo as CNG's blob: header, X, Y. False for anything
// but an uncompressed ECDSA P-256 key.
bool PublicKeyBlob(const std::string& pem, std::vector<BYTE>* blob) {
  DWORD derSize = 0;
  if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                            nullptr, &derSize, nullptr, nullptr) ||
      derSize == 0) {
    return false;
  }
  std::vector<BYTE> der(derSize);
  if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                            der.data(), &derSize, nullptr, nullptr)) {
    return false;
  }
  CERT_PUBLIC_KEY_INFO* decoded = nullptr;
  DWORD decodedSize = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, der.data(), derSize,
                           CRYPT_DECODE_ALLOC_FLAG, nullptr, &decoded, &decodedSize)) {
    return false;
  }
  std::unique_ptr<CERT_PUBLIC_KEY_INFO, LocalFreer> info(decoded);
  const CRYPT_BIT_BLOB& point = info->PublicKey;
  if (info->Algorithm.pszObjId == nullptr ||
      std::strcmp(info->Algorithm.pszObjId, szOID_ECC_PUBLIC_KEY) != 0 ||
      info->Algorithm.Parameters.cbData != sizeof kP256Parameters ||
      std::memcmp(info->Algorithm.Parameters.pbData, kP256Parameters, sizeof kP256Parameters) !=
          0 ||
      point.cbData != 1 + 2 * kCoordinateBytes || point.cUnusedBits != 0 ||
      point.pbData[0] != 0x04) {
    return false;
  }
  BCRYPT_ECCKEY_BLOB header{};
  header.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
  header.cbKey = kCoordinateBytes;
  blob->assign(reinterpret_cast<const BYTE*>(&header),
               reinterpret_cast<const BYTE*>(&header) + sizeof header);
  blob->insert(blob->end(), point.pbData + 1, point.pbData + point.cbData);
  return true;
}

// One DER INTEGER at `at`, as exactly 32 big-endian bytes appended to `out`. Strict: a positive
// number in its shortest form, no wider than the curve.
bool ReadInteger(const std::string& der, std::size_t* at, std::vector<BYTE>* out) {
  if (*at + 2 > der.size() || static_cast<BYTE>(der[*at]) != 0x02) return false;
  std::size_t length = static_cast<BYTE>(der[*at + 1]);
  *at += 2;
  if (length == 0 || length > kCoordinateBytes + 1 || *at + length > der.size()) return false;
  const auto* bytes = reinterpret_cast<const BYTE*>(der.data() + *at);
  *at += length;
  if (bytes[0] & 0x80) return false;                                    // negative
  if (length > 1 && bytes[0] == 0 && !(bytes[1] & 0x80)) return false;  // not the shortest
  if (bytes[0] == 0) {
    ++bytes;
    --length;
  }
  if (length > kCoordinateBytes) return false;
  out->insert(out->end(), kCoordinateBytes - length, 0);
  out->insert(out->end(), bytes, bytes + length);
  return true;
}

// OpenSSL writes the signature as DER SEQUENCE { INTEGER r, INTEGER s }; CNG takes r then s,
// 32 bytes each.
bool SignatureToRs(const std::string& der, std::vector<BYTE>* rs) {
  // A P-256 signature is at most 72 bytes, so the sequence's length fits in one byte.
  if (der.size() < 8 || static_cast<BYTE>(der[0]) != 0x30 ||
      static_cast<BYTE>(der[1]) != der.size() - 2) {
    return false;
  }
  std::size_t at = 2;
  rs->clear();
  return ReadInteger(der, &at, rs) && ReadInteger(der, &at, rs) && at == der.size();
}

}  // namespace

Sha256::Sha256() : state_(new HashState) {
  auto* state = static_cast<HashState*>(state_);
  failed_ =
      !BCRYPT_SUCCESS(
          BCryptOpenAlgorithmProvider(&state->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
      !BCRYPT_SUCCESS(BCryptCreateHash(state->algorithm, &state->hash, nullptr, 0, nullptr, 0, 0));
}

Sha256::~Sha256() {
  auto* state = static_cast<HashState*>(state_);
  if (state->hash) BCryptDestroyHash(state->hash);
  if (state->algorithm) BCryptCloseAlgorithmProvider(state->algorithm, 0);
  delete state;
}

void Sha256::Update(const void* data, std::size_t size) {
  auto* state = static_cast<HashState*>(state_);
  const auto* bytes = static_cast<const BYTE*>(data);
  // CNG counts in ULONG: feed a large piece in parts.
  while (!failed_ && size > 0) {
    const ULONG piece = static_cast<ULONG>(size > (1u << 30) ? (1u << 30) : size);
    failed_ = !BCRYPT_SUCCESS(BCryptHashData(state->hash, const_cast<BYTE*>(bytes), piece, 0));
    bytes += piece;
    size -= piece;
  }
}

bool Sha256::Finish(Sha256Digest* digest) {
  auto* state = static_cast<HashState*>(state_);
  if (failed_ || !BCRYPT_SUCCESS(BCryptFinishHash(state->hash, digest->data(),
                                                  static_cast<ULONG>(digest->size()), 0))) {
    failed_ = true;
    return false;
  }
  failed_ = true;  // once only
  return true;
}

SignatureCheck VerifySignature(const std::string& publicKeyPem, const std::string& message,
                               const std::string& signature) {
  std::vector<BYTE> blob;
  if (!PublicKeyBlob(publicKeyPem, &blob)) return SignatureCheck::kBadKey;
  Algorithm ecdsa(BCRYPT_ECDSA_P256_ALGORITHM);
  BCRYPT_KEY_HANDLE key = nullptr;
  if (!ecdsa.Get() ||
      !BCRYPT_SUCCESS(BCryptImportKeyPair(ecdsa.Get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &key,
                                          blob.data(), static_cast<ULONG>(blob.size()), 0))) {
    return SignatureCheck::kBadKey;
  }
  std::vector<BYTE> rs;
  Sha256Digest digest{};
  Sha256 sha;
  sha.Update(message.data(), message.size());
  const bool valid = SignatureToRs(signature, &rs) && sha.Finish(&digest) &&
                     BCRYPT_SUCCESS(BCryptVerifySignature(
                         key, nullptr, digest.data(), static_cast<ULONG>(digest.size()), rs.data(),
                         static_cast<ULONG>(rs.size()), 0));
  BCryptDestroyKey(key);
  return valid ? SignatureCheck::kValid : SignatureCheck::kInvalid;
}

bool MakeSigningKey(const std::string&, const std::string&, std::string* problem) {
  *problem = "keys are made and media signed by the Linux koushin-pack";
  return false;
}

bool SignMessage(const std::string&, const std::string&, std::string*, std::string* problem) {
  *problem = "keys are made and media signed by the Linux koushin-pack";
  return false;
}

}  // namespace koushin::port
