#pragma once
// Private to the UIKit stand-in: sending a delegate callback by name. A callback goes only to a
// delegate that answers respondsToSelector for it, through rt::send, so a delegate proxy and
// interception see it as any message.

#include <utility>

#include "platform/runtime/invocation.h"

namespace ui::detail {

inline bool answers(const rt::Id& delegate, rt::Sel selector) {
    return delegate && delegate->respondsToSelector(selector);
}

// Tells the delegate; false when it has no such method.
template <class... A>
bool tell(const rt::Id& delegate, rt::Sel selector, A&&... args) {
    if (!answers(delegate, selector)) return false;
    rt::send(delegate, selector, std::forward<A>(args)...);
    return true;
}

// Asks the delegate a yes-or-no question; `otherwise` when it has no such method.
template <class... A>
bool ask(const rt::Id& delegate, rt::Sel selector, bool otherwise, A&&... args) {
    if (!answers(delegate, selector)) return otherwise;
    return rt::send<bool>(delegate, selector, std::forward<A>(args)...);
}

} // namespace ui::detail
