#pragma once
// Interceptable methods. The public entry is not virtual: it runs the virtual body once, at the
// most-derived level, then announces the call (selector and arguments) when the object is
// intercepted. When it is not, that costs one flag test. One line declares the entry:
//
//   class ViewController : public rt::Object {
//       RT_CLASS(ViewController)
//   public:
//       RT_INTERCEPTABLE(viewWillDisappear, "viewWillDisappear:") // runs viewWillDisappearBody
//   protected:
//       virtual void viewWillDisappearBody(bool animated);
//   };
//   RT_DEFINE_CLASS(ViewController, "UIViewController", rt::Object,
//                   rt::method("viewWillDisappear:", &ViewController::viewWillDisappearBody))
//
// Register the body, not the entry: a message by name announces itself once its method has run
// (Invocation::invoke), so a direct call and a call by name each give exactly one announcement.
// Subclasses override the body and call their superclass's body, never the entry.

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <tuple>
#include <utility>

#include "platform/runtime/invocation.h"

namespace rt {

// A selector's name as a template argument: callInterceptable<"viewWillDisappear:", ...>.
template <std::size_t N>
struct SelectorName {
    char text[N];
    constexpr SelectorName(const char (&name)[N]) { std::copy_n(name, N, text); }
    constexpr std::string_view view() const { return {text, N - 1}; }
};

namespace detail {
// The intercepted path: the call is recorded as an invocation (its arguments before the body runs,
// since the body may move from them), the body runs, its result is added, and the call announced.
template <SelectorName Name, auto Body, class C, class... A>
[[gnu::noinline]] decltype(auto) callAndAnnounce(C& self, A&&... args) {
    using Shape = MemberShape<decltype(Body)>;
    static const Sel selector(Name.view());
    static const MethodSignature& signature = *MethodSignature::withTypes(Shape::types());
    auto& receiver = const_cast<Object&>(static_cast<const Object&>(self));
    Invocation call(Id(&receiver), selector, signature);
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        (toSlot(*call.argument(I + 2), static_cast<std::tuple_element_t<I, typename Shape::Parameters>>(args)), ...);
    }(std::index_sequence_for<A...>());
    if constexpr (std::is_void_v<typename Shape::Result>) {
        (self.*Body)(std::forward<A>(args)...);
        announceCall(receiver, call);
    } else {
        decltype(auto) result = (self.*Body)(std::forward<A>(args)...);
        toSlot(call.returnValue(), result);
        announceCall(receiver, call);
        return result;
    }
}
} // namespace detail

// The entry of an interceptable method: runs `Body` (a pointer to the virtual body) on `self`,
// then, when `self` is intercepted, announces the call as `Name`.
template <SelectorName Name, auto Body, class C, class... A>
decltype(auto) callInterceptable(C& self, A&&... args) {
    static_assert(sizeof...(A) == detail::MemberShape<decltype(Body)>::arity,
                  "an interceptable method is called with all its arguments");
    if (!self.isIntercepted()) [[likely]]
        return (self.*Body)(std::forward<A>(args)...);
    return detail::callAndAnnounce<Name, Body>(self, std::forward<A>(args)...);
}

} // namespace rt

// Declares the public entry NAME of an interceptable method whose virtual body is NAME##Body,
// announced as SELECTOR. Place it where the entry's access should be (usually public).
#define RT_INTERCEPTABLE(NAME, SELECTOR)                                                                   \
    template <class... RtA>                                                                                \
    decltype(auto) NAME(RtA&&... rtArgs) {                                                                 \
        return ::rt::callInterceptable<SELECTOR, &Self::NAME##Body>(*this, std::forward<RtA>(rtArgs)...);  \
    }
