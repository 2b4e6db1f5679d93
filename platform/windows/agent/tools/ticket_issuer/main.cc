// vornakel_ticket_issuer: prints one start record line with a signed session ticket.
#include <sodium.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "ticket_issuer.h"

namespace {

using namespace vornakel;
using namespace vornakel::ticket_issuer;

constexpr char kUsage[] =
    "usage: vornakel_ticket_issuer [options]\n"
    "  --seed HEX                 64 hex digits: the Ed25519 seed of the signing key\n"
    "  --key-file PATH            file holding the seed as 64 hex digits or 32 raw bytes\n"
    "  --key-id ID                signing key identifier (default vornakel-test-key)\n"
    "  --session UUID             session identifier\n"
    "  --requester-name TEXT      display name of the remote operator\n"
    "  --requester-device UUID    requester device identifier\n"
    "  --requester-fingerprint B64  requester identity key fingerprint (32 bytes)\n"
    "  --target-device UUID       this host's device identifier\n"
    "  --target-fingerprint B64   this host's identity key fingerprint (32 bytes)\n"
    "  --permissions A,B,...      permission names (default "
    "VIEW_SCREEN,SEND_POINTER,SEND_KEYBOARD)\n"
    "  --lifetime S               ticket lifetime in seconds (default 60)\n"
    "  --clock-offset S           issued_at = now + S (may be negative)\n"
    "  --now S                    the clock in seconds since the epoch (default: system clock)\n"
    "  --lease-ms MS              leaseExpiresAt = now * 1000 + MS (default 300000)\n"
    "  --role N  --approval-mode N  --display-id TEXT  --entitlement TEXT (repeatable)\n"
    "  --break KIND               produce a broken record (--list-breaks shows the kinds)\n"
    "  --output line|signed-ticket|payload  what to print (default line; the others as raw bytes)\n"
    "  --public-key               print the base64url public key of the seed and exit\n";

bool parse_hex(const std::string& text, std::array<uint8_t, 32>& out) {
  size_t length = 0;
  return text.size() == 64 &&
         sodium_hex2bin(out.data(), out.size(), text.data(), text.size(), nullptr, &length,
                        nullptr) == 0 &&
         length == 32;
}

bool read_key_file(const std::string& path, std::array<uint8_t, 32>& out) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (content.size() == 32) {
    std::copy(content.begin(), content.end(), out.begin());
    return true;
  }
  while (!content.empty() && (content.back() == '\n' || content.back() == '\r')) content.pop_back();
  return parse_hex(content, out);
}

template <size_t N>
bool parse_b64(const std::string& text, std::array<uint8_t, N>& out) {
  auto bytes = native_protocol::decode_canonical_base64url(text, N);
  if (!bytes.ok() || bytes.value().size() != N) return false;
  std::copy(bytes.value().begin(), bytes.value().end(), out.begin());
  return true;
}

bool parse_permissions(const std::string& list, std::vector<Permission>& out) {
  out.clear();
  size_t begin = 0;
  while (begin <= list.size()) {
    const size_t comma = std::min(list.find(',', begin), list.size());
    auto permission = native_protocol::parse_permission_name(list.substr(begin, comma - begin));
    if (!permission) return false;
    out.push_back(*permission);
    begin = comma + 1;
  }
  return true;
}

int fail(const std::string& message) {
  std::cerr << "vornakel_ticket_issuer: " << message << "\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (sodium_init() < 0) return fail("libsodium failed to initialise");
  const auto now = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                             std::chrono::system_clock::now().time_since_epoch())
                                             .count());
  IssueOptions options = default_options(now);
  std::string output = "line";
  bool print_public_key = false;
  std::vector<std::string> args(argv + 1, argv + argc);
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
    auto number = [&](auto& target) {
      const std::string* text = value();
      if (text == nullptr) return false;
      try {
        size_t used = 0;
        const long long parsed = std::stoll(*text, &used);
        if (used != text->size()) return false;
        target = static_cast<std::remove_reference_t<decltype(target)>>(parsed);
        return true;
      } catch (...) {
        return false;
      }
    };
    const std::string* text = nullptr;
    bool ok = true;
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--list-breaks") {
      for (Breakage breakage : all_breakages()) std::cout << breakage_name(breakage) << "\n";
      return 0;
    } else if (arg == "--public-key") {
      print_public_key = true;
    } else if (arg == "--seed") {
      ok = (text = value()) != nullptr && parse_hex(*text, options.seed);
    } else if (arg == "--key-file") {
      ok = (text = value()) != nullptr && read_key_file(*text, options.seed);
    } else if (arg == "--key-id") {
      ok = (text = value()) != nullptr;
      if (ok) options.key_id = *text;
    } else if (arg == "--session") {
      ok = (text = value()) != nullptr;
      auto uuid = ok ? native_protocol::parse_canonical_uuid(*text) : std::nullopt;
      ok = uuid.has_value();
      if (ok) options.session_id = *uuid;
    } else if (arg == "--requester-name") {
      ok = (text = value()) != nullptr;
      if (ok) options.requester_name = *text;
    } else if (arg == "--requester-device" || arg == "--target-device") {
      ok = (text = value()) != nullptr;
      auto uuid = ok ? native_protocol::parse_canonical_uuid(*text) : std::nullopt;
      ok = uuid.has_value();
      if (ok)
        (arg == "--target-device" ? options.target_device_id : options.requester_device_id) = *uuid;
    } else if (arg == "--requester-fingerprint") {
      ok = (text = value()) != nullptr && parse_b64(*text, options.requester_fingerprint);
    } else if (arg == "--target-fingerprint") {
      ok = (text = value()) != nullptr && parse_b64(*text, options.target_fingerprint);
    } else if (arg == "--permissions") {
      ok = (text = value()) != nullptr && parse_permissions(*text, options.permissions);
    } else if (arg == "--lifetime") {
      ok = number(options.lifetime_s);
    } else if (arg == "--clock-offset") {
      ok = number(options.issued_offset_s);
    } else if (arg == "--now") {
      ok = number(options.now);
    } else if (arg == "--lease-ms") {
      ok = number(options.lease_ahead_ms);
    } else if (arg == "--role") {
      ok = number(options.role);
    } else if (arg == "--approval-mode") {
      ok = number(options.approval_mode);
    } else if (arg == "--display-id") {
      ok = (text = value()) != nullptr;
      if (ok) options.display_id = *text;
    } else if (arg == "--entitlement") {
      ok = (text = value()) != nullptr;
      if (ok) options.entitlements.push_back(*text);
    } else if (arg == "--break") {
      ok = (text = value()) != nullptr;
      auto breakage = ok ? parse_breakage(*text) : std::nullopt;
      ok = breakage.has_value();
      if (ok) options.breakage = *breakage;
    } else if (arg == "--output") {
      ok = (text = value()) != nullptr &&
           (*text == "line" || *text == "signed-ticket" || *text == "payload");
      if (ok) output = *text;
    } else {
      return fail("unknown option " + arg + "\n" + kUsage);
    }
    if (!ok) return fail("missing or invalid value for " + arg);
  }

  if (print_public_key) {
    const KeyPair key = key_pair_from_seed(options.seed);
    std::cout << native_protocol::encode_base64url(key.public_key) << "\n";
    return 0;
  }
  auto issued = issue(options);
  if (!issued.ok()) return fail(issued.error());
  std::string bytes;
  if (output == "line") {
    bytes = start_line(issued.value().start);
  } else {
    const Bytes& raw = output == "payload" ? issued.value().payload : issued.value().signed_ticket;
    bytes.assign(raw.begin(), raw.end());
  }
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
