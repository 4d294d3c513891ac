#pragma once
// What went wrong with a request, in the few words a log line holds: the HTTP status with the
// start of the body ("HTTP 500: \"Internal Server Error\""), a reply that is not JSON ("HTTP 200,
// the reply is not JSON: \"<html>...\""), or the transport's failure ("Could not connect to the
// server. (-1004)", "The request timed out. (-1001)"). Any thread.

#include <string>
#include <string_view>

#include "platform/foundation/data.h"
#include "platform/foundation/error.h"

namespace ft {

// `error` is a request's failure (the HN operation's, or URL loading's), or a client's error that
// carries one under NSUnderlyingError; `body`, when given, is the reply's body.
std::string requestFailureText(const rt::Ref<ns::Error>& error, const rt::Ref<ns::Data>& body = nullptr);

// The start of a body on one line, quoted: its first 80 bytes, control characters as blanks, and
// "..." when there is more.
std::string quotedExcerpt(std::string_view body);

} // namespace ft
