#pragma once
// One place that sees every TCP connection the engine opens to a camera (the short exchanges, the
// streamed POSTs, the configuration download), just before it is opened. Tests install a watch to
// prove that a refused camera is never connected to; production installs none.

#include <string>

namespace xqt::detail {

/// Called with the camera's address ("a.b.c.d:port") on the connecting thread. Must be quick and
/// safe to call from any thread.
using ConnectWatch = void (*)(const std::string& endpoint);

/// Installs `watch` (nullptr: none) and returns the one it replaces.
ConnectWatch SetConnectWatch(ConnectWatch watch);

/// Tells the installed watch, if any, about a connection to `endpoint`.
void NoteConnect(const std::string& endpoint);

}  // namespace xqt::detail
