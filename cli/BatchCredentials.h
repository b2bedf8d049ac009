#pragma once
// xqt-cli batch --credentials: logins per camera.
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "platform/Result.h"

namespace xqt::cli::batch {

/// Normalised "address:port" to (user, password).
using Logins = std::map<std::string, std::pair<std::string, std::string>>;

/// "address[:port],user,password" lines; the reason for an unsafe or malformed file.
/// The file must not be readable by others; a line in error is never echoed (it may hold a password).
Result<Logins> ReadCredentials(const std::string& path);

}  // namespace xqt::cli::batch
