#pragma once
// The notification of the device identity's arrival: the application delegate posts it (object
// nil) after each intake through "qx://"; the login view model observes it.

namespace ft {

inline constexpr const char* kReceiveimeiNotification = "kReceiveimeiNotification";

} // namespace ft
