#pragma once
// The application's identity: one reverse-domain identifier for everything that names the
// application (the standard user defaults file when the main bundle names no identifier, the
// labels of the event-stream library's queues and schedulers).

namespace ns {

inline constexpr char kApplicationIdentifier[] = "com.quarnotix.functiontest";

} // namespace ns
