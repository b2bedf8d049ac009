#pragma once
// What the Qt test suites share. UI thread only.

#include <chrono>
#include <functional>

namespace xqt::test {

/// The whole run of a Qt suite: Google Test's flags, then `guard` (when given and the run is not
/// only listing the tests; false ends the run with 1), then one offscreen application object in
/// the Fusion style over the embedded resources, alive until every test has run.
int RunQtTests(int argc, char** argv, const std::function<bool()>& guard = {});

/// Serves events until `done` holds (true) or `limit` has passed (then `done` once more).
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

/// Serves events for `duration`.
void Pump(std::chrono::milliseconds duration);

/// Serves events until a single-shot timer of twice `period`, started now, has fired. Qt fires a
/// thread's timers in the order of their deadlines (a coarse timer's within 5 % of its period), so
/// by then every timer of at most `period` started before has fired and its handler has run:
/// "nothing happened" can be asserted after it without a guess at how long the machine takes.
void Settle(std::chrono::milliseconds period);

}  // namespace xqt::test
