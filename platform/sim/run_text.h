#pragma once
// What a run writes of texts it does not control (a script's, the application's, a URL handed
// over): the one escaping and cut that the device log, the tester's steps and the run report
// share, and the masking a URL handed to the application goes through wherever the run writes it.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/runtime/log.h"

namespace sim {

// The escaping and cut are the log's (platform/runtime/log.h), which the platform's own messages
// use too: control characters spelled out, texts cut at kPrintedTextLimit bytes.
using ns::appendPrintable;
using ns::kPrintedTextLimit;
using ns::printableCut;

// A URL handed to the application carries the device's identity (the application reads it as
// such), so whatever the run writes of one (the device log, a step that hands it over) goes
// through this masking: none by default (the URL as given); the main job installs the
// application's. Returns the masking it replaces. Any thread.
using URLMasking = std::function<std::string(std::string_view url)>;
URLMasking setHandedOverURLMasking(URLMasking masking);
std::string maskedHandedOverURL(std::string_view url);

} // namespace sim
