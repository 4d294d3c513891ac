#pragma once
// ns::URLConnection ("NSURLConnection"): a one-off request whose completion goes to an operation
// queue, and the handle that cancels it.

#include <cstdint>
#include <memory>

#include "platform/foundation/operation_queue.h"
#include "platform/foundation/url_loading.h"

namespace ns {

namespace detail {
struct TransferLink;
} // namespace detail

// The handle of a request sent with sendAsynchronousRequest.
class URLConnection : public rt::Object {
    RT_CLASS(URLConnection)
public:
    // Starts the transfer; its completion is added to `queue` (nil: a shared background queue).
    static rt::Ref<URLConnection> sendAsynchronousRequest(const rt::Ref<URLRequest>& request,
                                                          rt::Ref<OperationQueue> queue,
                                                          URLCompletionHandler completion);
    // Stops the transfer. A completion that has not started by then is never called (it is
    // released here, or by its queue when it was already added there).
    void cancel();

protected:
    ~URLConnection() override;

private:
    URLConnection() = default;
    std::shared_ptr<detail::TransferLink> link_;
    std::uint64_t transfer_ = 0;
};

} // namespace ns
