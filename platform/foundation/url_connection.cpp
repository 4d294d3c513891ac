#include "platform/foundation/url_connection.h"

#include "platform/foundation/url_transport.h"
#include "platform/runtime/class.h"

namespace ns {

RT_DEFINE_CLASS(URLConnection, "NSURLConnection", rt::Object)

URLConnection::~URLConnection() = default;

rt::Ref<URLConnection> URLConnection::sendAsynchronousRequest(const rt::Ref<URLRequest>& request,
                                                              rt::Ref<OperationQueue> queue,
                                                              URLCompletionHandler completion) {
    auto connection = rt::make<URLConnection>();
    auto link = std::make_shared<detail::TransferLink>();
    connection->link_ = link;
    if (!queue) queue = detail::defaultDelegateQueue();
    rt::Ref<URL> url = request ? request->URL() : nullptr;

    // Runs on the network thread; moves everything it holds into the block it queues, so that
    // nothing is left for the network thread to release afterwards.
    auto handler = [weak = std::weak_ptr<detail::TransferLink>(link), queue, url,
                    completion = std::move(completion)](detail::TransferOutcome&& outcome) mutable {
        detail::TransferResult r = detail::resultOf(std::move(outcome), url);
        url = nullptr;
        OperationQueue* q = queue.get();
        q->addOperationWithBlock([link = weak.lock(), queue = std::move(queue),
                                  completion = std::move(completion), r = std::move(r)]() mutable {
            if (!link || link->cancelled.load()) return;
            auto c = std::move(completion);
            if (c) c(r.response, r.data, r.error);
        });
    };
    if (!url) {
        detail::TransferOutcome outcome;
        outcome.errorCode = URLErrorBadURL;
        handler(std::move(outcome));
        return connection;
    }
    link->handler = std::move(handler);
    connection->transfer_ = detail::newTransferId();
    detail::startTransfer(connection->transfer_, detail::transferRequestOf(*request), link);
    return connection;
}

void URLConnection::cancel() {
    if (!link_) return;
    link_->cancelled.store(true);
    if (auto handler = link_->take()) {
        handler = nullptr; // releases the completion and what it holds, here
        detail::cancelTransfer(transfer_);
    }
}

} // namespace ns
