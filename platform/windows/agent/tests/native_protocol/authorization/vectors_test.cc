// Ed25519 verification vectors (RFC 8032, Wycheproof, speccheck) through the ticket signature
// check. The vectors live in the shared folder beside the repository.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "native_protocol/authorization/ticket_verification.h"

namespace vornakel::native_protocol {
namespace {

std::filesystem::path vectors_dir() {
  if (const char* overridden = std::getenv("VORNAKEL_ED25519_VECTORS_DIR")) return overridden;
  return VORNAKEL_ED25519_VECTORS_DIR;
}

std::optional<nlohmann::json> load(const char* name) {
  std::ifstream file(vectors_dir() / name);
  if (!file) return std::nullopt;
  return nlohmann::json::parse(file);
}

Bytes hex(const std::string& text) {
  Bytes out;
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
  }
  return out;
}

// Applies the ticket's key rules (exactly 32 bytes) before the signature check.
bool accepts(const Bytes& public_key, const Bytes& message, const Bytes& signature) {
  if (public_key.size() != 32) return false;
  std::array<uint8_t, 32> key{};
  std::copy(public_key.begin(), public_key.end(), key.begin());
  return verify_ticket_signature(key, message, signature) == SignatureVerdict::kValid;
}

// Missing vectors fail the test: a skip would let the test command pass with no vector checked.
#define LOAD_OR_FAIL(var, name)                                           \
  auto var = load(name);                                                  \
  if (!var)                                                               \
  FAIL() << "Ed25519 vectors not found in " << vectors_dir() << " (" name \
         << "); set VORNAKEL_ED25519_VECTORS_DIR"

TEST(VectorsTest, Rfc8032) {
  LOAD_OR_FAIL(file, "rfc8032_7.1_ed25519.json");
  size_t count = 0;
  for (const auto& v : (*file)["vectors"]) {
    const Bytes key = hex(v["public_key"]);
    const Bytes message = hex(v["message"]);
    Bytes signature = hex(v["signature"]);
    EXPECT_TRUE(accepts(key, message, signature)) << v["name"];
    signature[0] ^= 0x01;
    EXPECT_FALSE(accepts(key, message, signature)) << v["name"];
    ++count;
  }
  EXPECT_EQ(count, 5u);
}

TEST(VectorsTest, Wycheproof) {
  LOAD_OR_FAIL(file, "wycheproof_ed25519_test.json");
  size_t valid = 0;
  size_t invalid = 0;
  for (const auto& group : (*file)["testGroups"]) {
    const Bytes key = hex(group["publicKey"]["pk"]);
    for (const auto& test : group["tests"]) {
      const std::string result = test["result"];
      ASSERT_NE(result, "acceptable") << "no acceptable cases are expected";
      const bool expected = result == "valid";
      EXPECT_EQ(accepts(key, hex(test["msg"]), hex(test["sig"])), expected)
          << "tcId " << test["tcId"] << " " << test["comment"];
      ++(expected ? valid : invalid);
    }
  }
  EXPECT_EQ(valid, 88u);
  EXPECT_EQ(invalid, 63u);
}

TEST(VectorsTest, SpeccheckStrictAnswers) {
  LOAD_OR_FAIL(file, "speccheck_expected.json");
  size_t count = 0;
  for (const auto& c : (*file)["cases"]) {
    const bool expected = c["strict_verifier_expected"] == "accept";
    EXPECT_EQ(accepts(hex(c["pub_key"]), hex(c["message"]), hex(c["signature"])), expected)
        << "case " << c["case"] << ": " << c["comment"];
    ++count;
  }
  EXPECT_EQ(count, 12u);
}

TEST(VectorsTest, SpeccheckCasesFileMatchesTheTable) {
  LOAD_OR_FAIL(cases, "ed25519-speccheck_cases.json");
  LOAD_OR_FAIL(table, "speccheck_expected.json");
  ASSERT_EQ(cases->size(), (*table)["cases"].size());
  for (size_t i = 0; i < cases->size(); ++i) {
    EXPECT_EQ((*cases)[i]["signature"], (*table)["cases"][i]["signature"]) << i;
  }
}

}  // namespace
}  // namespace vornakel::native_protocol
