#pragma once
// Keeping passwords and credentials out of core dumps. A process that has read one marks itself
// not dumpable: a crash then writes no core file that would hold them, and no other process of the
// same user may attach to it with ptrace or read its memory through /proc. The mark stays until the
// process executes another program. Any thread; idempotent.

namespace xqt::platform {

/// Marks the process not dumpable, before a password or credential is read into it. False when the
/// system refused (the caller goes on: the secret is needed either way).
bool KeepSecretsOutOfCoreDumps();

}  // namespace xqt::platform
