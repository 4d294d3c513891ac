#pragma once
// Sending a delegate callback by name, as the platform's frameworks do: a callback goes only to a
// delegate that answers respondsToSelector for it, through rt::send, so a delegate proxy and
// interception see it as any message.

#include <utility>

#include "platform/runtime/invocation.h"

namespace rt {

inline bool answers(const Id& delegate, Sel selector) {
    return delegate && delegate->respondsToSelector(selector);
}

// Tells the delegate; false when it has no such method.
template <class... A>
bool tell(const Id& delegate, Sel selector, A&&... args) {
    if (!answers(delegate, selector)) return false;
    send(delegate, selector, std::forward<A>(args)...);
    return true;
}

// Asks the delegate a yes-or-no question; `otherwise` when it has no such method.
template <class... A>
bool ask(const Id& delegate, Sel selector, bool otherwise, A&&... args) {
    if (!answers(delegate, selector)) return otherwise;
    return send<bool>(delegate, selector, std::forward<A>(args)...);
}

} // namespace rt
