#pragma once
// Queues a call to run on a receiver's thread, from any thread. Qt's event queue orders the call
// after the post, but Qt's libraries are not built with ThreadSanitizer, so that order is invisible
// to it and every capture a worker hands over would be reported as a race. One lock, held around
// the post and taken again before the call touches its captures, states the same order in a form
// the sanitizer sees; it is held for no longer than a post.

#include <QMetaObject>
#include <QObject>
#include <mutex>
#include <utility>

namespace xqt::platform {

namespace detail {
inline std::mutex& QueuedCallOrder() {
    static std::mutex order;
    return order;
}
}  // namespace detail

/// Runs `call` on `receiver`'s thread after everything queued there before; dropped when the
/// receiver is gone by then.
template <class F>
void PostQueued(QObject* receiver, F&& call) {
    std::lock_guard lock(detail::QueuedCallOrder());
    QMetaObject::invokeMethod(
        receiver,
        [call = std::forward<F>(call)]() mutable {
            { std::lock_guard order(detail::QueuedCallOrder()); }
            call();
        },
        Qt::QueuedConnection);
}

}  // namespace xqt::platform
