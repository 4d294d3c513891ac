#pragma once
// BackButtonHandlerProtocol: a screen's say in whether the navigation bar's back button may pop it.
// Its one method is optional and asked by name:
//   navigationShouldPopOnBackButton  ("B@:")  YES lets the back button pop the screen; NO keeps it
// (the screen then usually shows its own dialog). Every view controller adopts the protocol (a
// category on UIViewController applied at start-up); the screens that answer register the method.

namespace rt {
class Protocol;
}

namespace ft {

const rt::Protocol& backButtonHandlerProtocol();

} // namespace ft
