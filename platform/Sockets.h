#pragma once

namespace xqt::platform {

/// Start-up check that the socket layer works: a UDP socket can be created and closed.
[[nodiscard]] bool InitSockets();

}  // namespace xqt::platform
