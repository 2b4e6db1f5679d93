// The installation check's judgement of what Windows hands back for a path: its attributes, its
// owner and the entries of its DACL, each read of which can fail. Oracle: the verdict re-derived
// from the rules (links refused, privileged owner, no null DACL, denied entries pass, allowed
// entries only for the privileged accounts or, in shared mode, without write-type rights, any
// other type refused), first failure wins, in both modes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "service_host/protected_path.h"
#include "support/fuzz_oracles.h"

namespace {

using vornakel::fuzz::require;

struct ScriptedAce {
  std::optional<vornakel::AceEntry> entry;  // none: fetching it fails
};

class ScriptedAceList final : public vornakel::AceList {
 public:
  std::vector<ScriptedAce> aces;
  uint32_t count() const override { return static_cast<uint32_t>(aces.size()); }
  vornakel::Result<vornakel::AceEntry> at(uint32_t index) const override {
    require(index < aces.size(), "no entry past the count is fetched");
    if (!aces[index].entry) return ace_error(index);
    return *aces[index].entry;
  }
  static vornakel::Error ace_error(uint32_t index) {
    return vornakel::Error::os(0x80070500u + index);
  }
};

class ScriptedPath final : public vornakel::OpenedPath {
 public:
  std::optional<uint32_t> attributes_read;
  std::optional<vornakel::PathSecurityFacts> facts;
  int reads = 0;
  vornakel::Result<uint32_t> attributes() override {
    ++reads;
    if (!attributes_read) return vornakel::Error::file_system(2);
    return *attributes_read;
  }
  vornakel::Result<vornakel::PathSecurityFacts> security() override {
    ++reads;
    if (!facts) return vornakel::Error::os(0x80070005u);
    return *facts;
  }
};

// The expected error, or none for a path that may be trusted.
std::optional<vornakel::Error> expected_verdict(const ScriptedPath& path, bool private_mode) {
  constexpr uint32_t kWriteRights = 0x40000000u | 0x10000000u | 0x00080000u | 0x00040000u |
                                    0x00010000u | 0x00000100u | 0x00000040u | 0x00000010u |
                                    0x00000004u | 0x00000002u;
  if (!path.attributes_read) return vornakel::Error::file_system(2);
  if (*path.attributes_read & 0x400u)
    return vornakel::Error::message(vornakel::kReparsePointRefused);
  if (!path.facts) return vornakel::Error::os(0x80070005u);
  const vornakel::PathSecurityFacts& facts = *path.facts;
  if (!facts.owner_present || !facts.owner_privileged || facts.dacl == nullptr) {
    return vornakel::Error::message(vornakel::kOwnershipNotProtected);
  }
  const auto& list = static_cast<const ScriptedAceList&>(*facts.dacl);
  for (uint32_t i = 0; i < list.aces.size(); ++i) {
    const auto& ace = list.aces[i].entry;
    if (!ace) return ScriptedAceList::ace_error(i);
    if (ace->type == 1) continue;
    if (ace->type != 0) return vornakel::Error::message(vornakel::kUnsupportedAce);
    if (ace->privileged_sid) continue;
    if (private_mode || (ace->mask & kWriteRights) != 0)
      return vornakel::Error::message(vornakel::kUnprivilegedAccess);
  }
  return std::nullopt;
}

uint32_t take_mask(FuzzedDataProvider& in) {
  // Read and execute, modify, and single rights, mixed with arbitrary masks.
  static constexpr uint32_t kMasks[] = {0x001200A9u, 0x001301BFu, 0x001F01FFu, 0x10000000u,
                                        0x40000000u, 0x80000000u, 0x20000000u, 0x00000001u,
                                        0x00000020u, 0x00020000u};
  uint32_t mask = in.PickValueInArray(kMasks);
  if (in.ConsumeBool()) mask ^= 1u << in.ConsumeIntegralInRange(0, 31);
  if (in.ConsumeIntegralInRange(0, 3) == 0) mask = in.ConsumeIntegral<uint32_t>();
  return mask;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  ScriptedAceList dacl;
  dacl.aces.resize(in.ConsumeIntegralInRange<size_t>(0, 8));
  for (ScriptedAce& ace : dacl.aces) {
    if (in.ConsumeIntegralInRange(0, 15) == 0) continue;  // a failing fetch
    vornakel::AceEntry entry;
    entry.type = in.ConsumeIntegralInRange(0, 5) == 0 ? in.ConsumeIntegral<uint8_t>()
                                                      : in.ConsumeIntegralInRange<uint8_t>(0, 1);
    entry.mask = take_mask(in);
    entry.privileged_sid = in.ConsumeBool();
    ace.entry = entry;
  }
  ScriptedPath path;
  if (in.ConsumeIntegralInRange(0, 7) != 0) {
    path.attributes_read = in.ConsumeBool() ? 0x10u : in.ConsumeIntegral<uint32_t>();
  }
  if (in.ConsumeIntegralInRange(0, 7) != 0) {
    vornakel::PathSecurityFacts facts;
    facts.owner_present = in.ConsumeIntegralInRange(0, 7) != 0;
    facts.owner_privileged = in.ConsumeIntegralInRange(0, 3) != 0;
    facts.dacl = in.ConsumeIntegralInRange(0, 7) != 0 ? &dacl : nullptr;
    path.facts = facts;
  }

  for (const bool private_mode : {false, true}) {
    const auto expected = expected_verdict(path, private_mode);
    path.reads = 0;
    const vornakel::Status status = vornakel::check_opened_path(path, private_mode);
    require(status.ok() == !expected.has_value(),
            "the path is trusted exactly when every rule holds");
    if (expected) require(status.error() == *expected, "the first broken rule is the one reported");
    require(path.reads <= 2, "the opened object is read once for each kind of fact");
    if (path.facts) {
      const vornakel::Status judged = vornakel::evaluate_path_security(*path.facts, private_mode);
      ScriptedPath plain = path;
      plain.attributes_read = 0;
      const auto judged_expected = expected_verdict(plain, private_mode);
      require(judged.ok() == !judged_expected.has_value() &&
                  (judged.ok() || judged.error() == *judged_expected),
              "owner and DACL alone");
    }
  }
  return 0;
}
