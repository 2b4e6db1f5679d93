#include "service_host/install_layout.h"

#include "service_host/install_config.h"

namespace vornakel {
namespace {

constexpr bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }

// What the installation must contain below the version directory, checked in this order.
constexpr std::u16string_view kVersionTree[] = {
    u"runtime",    u"runtime/node.exe",           u"agent",
    u"agent/dist", u"agent/dist/headlessHost.js", u"agent/dist/windowsServiceBootstrap.js",
};

// The folders the agent works in, below the private directory. ProgramData lets a standard user
// create them before the first installation and keep a handle that may rewrite their DACL after
// the installer has protected them, or make one a junction; no descriptor the installer writes
// can undo an open handle, so they are judged here, each time, like the rest of the tree. Checked
// last, so that every earlier step keeps its place.
constexpr std::u16string_view kAgentFolders[] = {u"state", u"tmp"};

constexpr bool kShared = false;
constexpr bool kPrivate = true;

}  // namespace

std::u16string join_path(std::u16string_view dir, std::u16string_view relative) {
  std::u16string joined(dir);
  if (joined.empty() || !is_separator(joined.back())) joined.push_back(u'\\');
  joined.append(relative);
  return joined;
}

Result<InstallLayout> validate_install(const InstallEnvironment& environment) {
  const std::optional<std::u16string> program_files = environment.variable(u"ProgramFiles");
  if (!program_files) return Error::message(kProgramFilesUnavailable);
  const std::optional<std::u16string> program_data = environment.variable(u"ProgramData");
  if (!program_data) return Error::message(kProgramDataUnavailable);

  const std::u16string install_root = join_path(*program_files, u"Vornakel Connect");
  const std::u16string data_root = join_path(*program_data, u"Vornakel Connect");
  VK_RETURN_IF_ERROR(environment.check_protected_path(install_root, kShared));
  VK_RETURN_IF_ERROR(environment.check_protected_path(data_root, kShared));

  const std::u16string private_dir = join_path(data_root, u"private");
  VK_RETURN_IF_ERROR(environment.check_protected_path(private_dir, kPrivate));
  const std::u16string config_path = join_path(private_dir, u"service.json");
  VK_RETURN_IF_ERROR(environment.check_protected_path(config_path, kPrivate));

  // The bound is enforced before reading so that an oversized file is never loaded.
  Result<uint64_t> size = environment.file_size(config_path);
  if (!size.ok()) return size.take_error();
  if (!install_config_size_within_bound(size.value())) {
    return Error::message(kInstallConfigTooLarge);
  }
  Result<std::string> text = environment.read_file(config_path, kInstallConfigMaxBytes);
  if (!text.ok()) return text.take_error();
  if (!install_config_size_within_bound(text.value().size())) {
    return Error::message(kInstallConfigTooLarge);
  }
  Result<InstallConfig> config = parse_install_config(text.value());
  if (!config.ok()) return config.take_error();
  // The version becomes a directory name, so it is vetted before any path is formed from it.
  VK_RETURN_IF_ERROR(check_install_config(config.value()));

  const std::u16string versions = join_path(install_root, u"versions");
  VK_RETURN_IF_ERROR(environment.check_protected_path(versions, kShared));
  // The version text is ASCII once it passed the rule, so widening it byte by byte is exact.
  const std::string& version = config.value().version;
  const std::u16string version_dir =
      join_path(versions, std::u16string(version.begin(), version.end()));
  VK_RETURN_IF_ERROR(environment.check_protected_path(version_dir, kShared));
  for (std::u16string_view relative : kVersionTree) {
    VK_RETURN_IF_ERROR(environment.check_protected_path(join_path(version_dir, relative), kShared));
  }
  for (std::u16string_view folder : kAgentFolders) {
    VK_RETURN_IF_ERROR(environment.check_protected_path(join_path(private_dir, folder), kPrivate));
  }
  return InstallLayout{version_dir, private_dir};
}

}  // namespace vornakel
