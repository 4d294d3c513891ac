#pragma once
// Private to URL loading: the one network thread that runs every transfer (libcurl's multi
// interface), and what passes between it and the session and connection classes.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/operation_queue.h"
#include "platform/foundation/url_loading.h"

namespace ns::detail {

// What a transfer takes from its request when it starts.
struct TransferRequest {
    std::string url;
    std::string method;
    HTTPHeaderFields headers;
    std::string body;
    long idleTimeoutMs = 0;          // no byte moved for this long: the transfer times out
    long long maximumBodyLength = 0; // less than 0: no limit
};

TransferRequest transferRequestOf(const URLRequest& request);
// True when `method` is an HTTP token, which nothing can break out of on the wire.
bool isMethodToken(std::string_view method);

// What the network thread reports when a transfer ends.
struct TransferOutcome {
    long errorCode = 0; // an NSURLErrorDomain code; 0 for a response
    std::string detail; // the transport's own words for a failure
    long status = 0;
    std::string version;
    HTTPHeaderFields headers;
    std::string effectiveURL;
    std::vector<std::uint8_t> body;
};

// Between whoever started a transfer and the network thread: the handler runs once, on the network
// thread, unless cancel takes it away first. The handler holds every object the transfer needs, so
// taking it away releases them on the cancelling thread.
struct TransferLink {
    using Handler = std::function<void(TransferOutcome&&)>;

    std::mutex lock;
    Handler handler;
    std::atomic<bool> cancelled{false};

    Handler take() {
        std::lock_guard g(lock);
        return std::exchange(handler, nullptr);
    }
};

// The network thread, started on first use and stopped at exit.
std::uint64_t newTransferId();
void startTransfer(std::uint64_t id, TransferRequest request, std::shared_ptr<TransferLink> link);
void cancelTransfer(std::uint64_t id);

// A finished transfer as the objects a completion handler receives.
struct TransferResult {
    rt::Ref<URLResponse> response;
    rt::Ref<Data> data;
    rt::Ref<Error> error;
};
TransferResult resultOf(TransferOutcome&& outcome, const rt::Ref<URL>& requestURL);

// Where completions go when no queue is named: one serial background queue.
const rt::Ref<OperationQueue>& defaultDelegateQueue();

} // namespace ns::detail
