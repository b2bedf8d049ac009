#pragma once
// xqt-cli batch --credentials: logins per camera.
#include <map>
#include <optional>
#include <string>
#include <utility>

namespace xqt::cli::batch {

/// Normalised "address:port" to (user, password).
using Logins = std::map<std::string, std::pair<std::string, std::string>>;

/// "address[:port],user,password" lines; nullopt with `error` for an unsafe or malformed file.
/// The file must not be readable by others; a line in error is never echoed (it may hold a password).
std::optional<Logins> ReadCredentials(const std::string& path, std::string& error);

}  // namespace xqt::cli::batch
