#pragma once
// Whole-file reads by URL: the data, or the text with its encoding detected. Text is read from file
// URLs and, synchronously over URL loading, from http and https URLs.

#include "platform/foundation/data.h"
#include "platform/foundation/error.h"
#include "platform/foundation/string.h"
#include "platform/foundation/url.h"

namespace ns {

// NSStringEncoding values the text reader reports.
inline constexpr unsigned long UTF8StringEncoding = 4;
inline constexpr unsigned long UTF16BigEndianStringEncoding = 0x90000100;
inline constexpr unsigned long UTF16LittleEndianStringEncoding = 0x94000100;
inline constexpr unsigned long UTF32BigEndianStringEncoding = 0x98000100;
inline constexpr unsigned long UTF32LittleEndianStringEncoding = 0x9c000100;

// File URLs only; nil and an error (NSCocoaErrorDomain) otherwise or when the read fails.
rt::Ref<Data> dataWithContentsOfURL(const rt::Ref<URL>& url, rt::Ref<Error>* error = nullptr);
// The encoding is found from a byte-order mark (UTF-16 or UTF-32), else the bytes must be valid
// UTF-8; anything else is an error (NSCocoaErrorDomain 261). `usedEncoding` receives it.
// An http or https URL is read with a GET that blocks the caller until the body has come or
// URLContentsReadTimeout has passed (real time: network time); a transfer failure, the time-out
// (NSURLErrorDomain), a body longer than `maximumLength` bytes (NSURLErrorDataLengthExceedsMaximum,
// before more is held) and an HTTP status of 400 or more (NSURLErrorBadServerResponse: an error
// page is not the resource's text) give nil and the error.
inline constexpr long long URLContentsMaximumLength = 64ll << 20;
rt::Ref<String> stringWithContentsOfURL(const rt::Ref<URL>& url, unsigned long* usedEncoding,
                                        rt::Ref<Error>* error = nullptr,
                                        long long maximumLength = URLContentsMaximumLength);

// How long an http or https read waits, in seconds.
inline constexpr double URLContentsReadTimeout = 10.0;
// Changes that wait, process-wide, while it lives (tests shorten it).
class ScopedURLContentsReadTimeout {
public:
    explicit ScopedURLContentsReadTimeout(double seconds);
    ~ScopedURLContentsReadTimeout();
    ScopedURLContentsReadTimeout(const ScopedURLContentsReadTimeout&) = delete;
    ScopedURLContentsReadTimeout& operator=(const ScopedURLContentsReadTimeout&) = delete;

private:
    double previous_;
};

} // namespace ns
