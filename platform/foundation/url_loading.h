#pragma once
// What URL loading shares: NSURLErrorDomain and its codes, the completion handler type, and the
// process-wide set of trusted certificates. Transfers are started by ns::URLSession
// (url_session.h) and ns::URLConnection (url_connection.h).
//
// Transfers reuse kept-alive connections, verify TLS certificates (against the system's trusted
// certificates plus any added with URLLoading::addTrustedCertificatePEM), fail when no byte has
// moved for the request's time-out, and keep at most the request's maximum body length in memory. Failures
// arrive as ns::Error in NSURLErrorDomain; an HTTP status of 4xx or 5xx is a response, not an error. Nothing
// here throws.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/foundation/data.h"
#include "platform/foundation/error.h"
#include "platform/foundation/url.h"
#include "platform/foundation/url_request.h"
#include "platform/runtime/object.h"

namespace ns {

inline constexpr const char* URLErrorDomain = "NSURLErrorDomain";
// userInfo keys of URL errors: the URL (ns::URL) and its string.
inline constexpr const char* URLErrorFailingURLErrorKey = "NSErrorFailingURLKey";
inline constexpr const char* URLErrorFailingURLStringErrorKey = "NSErrorFailingURLStringKey";

// NSURLErrorDomain codes.
enum : long {
    URLErrorUnknown = -1,
    URLErrorCancelled = -999,
    URLErrorBadURL = -1000,
    URLErrorTimedOut = -1001,
    URLErrorUnsupportedURL = -1002,
    URLErrorCannotFindHost = -1003,
    URLErrorCannotConnectToHost = -1004,
    URLErrorNetworkConnectionLost = -1005,
    URLErrorHTTPTooManyRedirects = -1007,
    URLErrorBadServerResponse = -1011,
    URLErrorDataLengthExceedsMaximum = -1103,
    URLErrorSecureConnectionFailed = -1200,
    URLErrorServerCertificateUntrusted = -1202,
};

// The response is an HTTPURLResponse when there is one; data is empty, never nil, for an empty
// body. On failure the response and data are nil and the error is set.
using URLCompletionHandler = std::function<void(rt::Ref<URLResponse>, rt::Ref<Data>, rt::Ref<Error>)>;

// One transfer as it ended, for an observer of URL loading (the main job's record of what the
// application sent and what came back).
struct URLExchange {
    std::string method, url;
    long status = 0;    // the HTTP status; 0 without a response
    long errorCode = 0; // an NSURLErrorDomain code (URLErrorCancelled for a cancelled one); 0 for a response
    std::string detail; // the transport's own words for a failure
    std::string bodyStart; // the first bytes of the response's body (at most kBodyStartBytes)
    std::size_t bodyLength = 0;
    double wallSeconds = 0; // from the transfer's start to its end, in real time

    static constexpr std::size_t kBodyStartBytes = 200;
};

class URLLoading {
public:
    // Trusts one more certificate (a CA or a self-signed server certificate), process-wide, for
    // the transfers that start afterwards. False when the text holds no PEM certificate.
    static bool addTrustedCertificatePEM(std::string pem);
    // Back to the system's trusted certificates alone.
    static void removeAllTrustedCertificates();
    // The device's address on the Internet, which the network's gateway names as the sender of
    // every request (an X-Forwarded-For header, unless the request sets one); empty (the default):
    // none named, the requests go as the host sends them. Any thread; for the transfers that start
    // afterwards.
    static void setPublicAddress(std::string address);
    static std::string publicAddress();
    // An NSURLErrorDomain error with the platform's description for the code.
    static rt::Ref<Error> errorWithCode(long code, const rt::Ref<URL>& url, std::string_view detail = {});

    // Transfers started and not yet handed on: a transfer stops counting once its completion has
    // been queued (or it was cancelled). Stepping under a manual clock waits for these, since
    // network time is real time.
    static std::size_t transfersInFlight();
    // The longest time-out (seconds) of the transfers in flight; 0 with none.
    static double longestTimeoutInFlight();
    // Waits (real time) until the count of transfers in flight drops below `below`, or `seconds`
    // pass; true when it did.
    static bool waitForTransfersInFlightBelow(std::size_t below, double seconds);

    // Observers hear each transfer as it ends, on the network thread, before its completion is
    // handed on (a cancelled one after it was cancelled). An observer that answers true holds the
    // completion back: the transfer no longer counts in flight but as held, until
    // releaseHeldTransfers hands it on (on the calling thread). A cancel meanwhile still wins: the
    // held completion is then dropped. Observers must be quick and must not start transfers.
    using ExchangeObserver = std::function<bool(const URLExchange&)>;
    static std::uint64_t addExchangeObserver(ExchangeObserver observer);
    static void removeExchangeObserver(std::uint64_t token);
    static std::size_t heldTransfers();
    static void releaseHeldTransfers();
};

namespace detail {
// The certificates transfers trust when the application added some (system plus added, PEM);
// null while it has added none (the transport then uses the system's own).
std::shared_ptr<const std::string> trustedCertificateBundle();
} // namespace detail

} // namespace ns
