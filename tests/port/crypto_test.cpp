// Digests and signatures of the port, on both platforms: SHA-256 against the published test
// vectors, and signatures made by the openssl program (tests/port/data: signed.sha256 signed with
// the private key of signer.pub by "openssl dgst -sha256 -sign"; other.pub a second P-256 key;
// rsa.pub a key of another kind) verified by libcrypto natively and by CNG under Wine.
#include <gtest/gtest.h>

#include <filesystem>

#include "port/port.h"
#include "support/source_file.h"
#include "support/temp_folder.h"

namespace koushin::port {
namespace {

using koushin::testing::HostBytes;
using koushin::testing::SourceFile;
using koushin::testing::TempFolder;

TEST(Crypto, Sha256OfBytesAndFiles) {
  const std::pair<std::string, const char*> cases[] = {
      // bytes, digest
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      // More than one read of Sha256OfFile's buffer (the digest from Python's hashlib).
      {std::string(1000000, 'a') + std::string(1 << 20, 'a'),
       "b4516abe8192d6c60021ec3a8d0781c069578eddb10c9ee8e793a29f5d579a11"},
  };
  TempFolder temp;
  for (const auto& [bytes, hex] : cases) {
    Sha256 sha;
    // In uneven pieces: the digest must not depend on how the bytes arrive.
    for (std::size_t at = 0; at < bytes.size(); at += 7777) {
      sha.Update(bytes.data() + at, std::min<std::size_t>(7777, bytes.size() - at));
    }
    Sha256Digest digest{}, fromFile{};
    ASSERT_TRUE(sha.Finish(&digest));
    EXPECT_EQ(HexDigest(digest), hex);
    temp.Write("f.bin", bytes);
    ASSERT_TRUE(Sha256OfFile(temp.PathOf("f.bin"), &fromFile));
    EXPECT_EQ(HexDigest(fromFile), hex);
  }
  Sha256Digest none{};
  EXPECT_FALSE(Sha256OfFile(temp.PathOf("missing.bin"), &none));
}

TEST(Crypto, VerifiesSignaturesTheOpensslProgramMade) {
  const std::string signer = HostBytes(SourceFile("tests/port/data/signer.pub"));
  const std::string other = HostBytes(SourceFile("tests/port/data/other.pub"));
  const std::string rsa = HostBytes(SourceFile("tests/port/data/rsa.pub"));
  const std::string list = HostBytes(SourceFile("tests/port/data/signed.sha256"));
  const std::string signature = HostBytes(SourceFile("tests/port/data/signed.sha256.sig"));
  ASSERT_FALSE(signer.empty() || list.empty() || signature.empty());
  std::string changedList = list;
  changedList[0] = changedList[0] == '0' ? '1' : '0';
  std::string changedSignature = signature;
  changedSignature[signature.size() - 1] ^= 1;
  struct Case {
    const char* why;
    const std::string& key;
    const std::string& message;
    std::string signature;
    SignatureCheck want;
  };
  const Case cases[] = {
      {"made by the key", signer, list, signature, SignatureCheck::kValid},
      {"another key", other, list, signature, SignatureCheck::kInvalid},
      {"a rewritten list", signer, changedList, signature, SignatureCheck::kInvalid},
      {"a changed signature", signer, list, changedSignature, SignatureCheck::kInvalid},
      {"a cut signature", signer, list, signature.substr(0, signature.size() - 1),
       SignatureCheck::kInvalid},
      {"no signature", signer, list, "", SignatureCheck::kInvalid},
      {"an RSA key", rsa, list, signature, SignatureCheck::kBadKey},
      {"no key at all", list, list, signature, SignatureCheck::kBadKey},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(VerifySignature(c.key, c.message, c.signature), c.want);
  }
}

#ifndef _WIN32
// Only the Linux media compiler signs. What it signs verifies with its public key; that a new key
// is private to its owner and never replaces a file, and that the openssl program reads it, are in
// the koushin-pack tests.
TEST(Crypto, MakesKeysAndSigns) {
  TempFolder temp;
  const std::string key = (temp.Host() / "vendor.key").string();
  const std::string pub = (temp.Host() / "vendor.pub").string();
  std::string problem, signature;
  ASSERT_TRUE(MakeSigningKey(key, pub, &problem)) << problem;
  ASSERT_TRUE(SignMessage(HostBytes(key), "list", &signature, &problem)) << problem;
  EXPECT_EQ(VerifySignature(HostBytes(pub), "list", signature), SignatureCheck::kValid);
  EXPECT_EQ(VerifySignature(HostBytes(pub), "list2", signature), SignatureCheck::kInvalid);
  EXPECT_FALSE(SignMessage(HostBytes(pub), "list", &signature, &problem));
}
#endif

}  // namespace
}  // namespace koushin::port
