#pragma once
// hn::HTTPRequestOperation ("HNHTTPRequestOperation"): one request sent through a URL session whose
// completions run on the manager's operation queue, where the reply is decoded by the response
// serializer; exactly one of the two blocks then runs, on the main queue.
//
// Outcomes (the response serializer's rules, serialization.h):
//   - transport failure (refused, untrusted, timed out, ...): failure with the URL loading error;
//   - a status outside 2xx: failure, code the status, user info the response and the parsed body;
//   - 2xx with an empty body: success with nil;
//   - 2xx with a body that is not JSON: failure;
//   - cancel() before the outcome: one failure with ns::URLErrorCancelled (-999), no success.
// A started operation keeps itself alive until its block has run, so a caller may drop it (and
// its manager) at once. Its blocks are let go once one has run.

#include <functional>
#include <mutex>

#include "platform/foundation/error.h"
#include "platform/foundation/url_request.h"
#include "platform/foundation/url_session.h"

namespace hn {

class JSONResponseSerializer;

class HTTPRequestOperation : public rt::Object {
    RT_CLASS(HTTPRequestOperation)
public:
    using Success = std::function<void(const rt::Ref<HTTPRequestOperation>&, const rt::Id& responseObject)>;
    using Failure = std::function<void(const rt::Ref<HTTPRequestOperation>&, const rt::Ref<ns::Error>&)>;

    const rt::Ref<ns::URLRequest>& request() const noexcept { return request_; }
    // Set once the outcome is known (before the block runs).
    rt::Ref<ns::HTTPURLResponse> response() const;
    // The body as it came (nil without a response); set with the response.
    rt::Ref<ns::Data> responseData() const;
    rt::Id responseObject() const;
    rt::Ref<ns::Error> error() const;
    bool isFinished() const;

    // Stops the transfer; the failure block gets -999 once. Nothing once the outcome is known.
    void cancel();

    // Starts `request` on `session`; the failure block alone runs (on the main queue) when the
    // request is nil, with `requestError` or a bad-URL error.
    static rt::Ref<HTTPRequestOperation> start(const rt::Ref<ns::URLSession>& session,
                                               const rt::Ref<ns::URLRequest>& request,
                                               const rt::Ref<JSONResponseSerializer>& serializer, Success success,
                                               Failure failure, const rt::Ref<ns::Error>& requestError = nullptr);

private:
    HTTPRequestOperation(rt::Ref<ns::URLRequest> request, Success success, Failure failure)
        : request_(std::move(request)), success_(std::move(success)), failure_(std::move(failure)) {}

    // On the session's queue: decode, record, then run the block on the main queue.
    void finish(const rt::Ref<JSONResponseSerializer>& serializer, const rt::Ref<ns::URLResponse>& response,
                const rt::Ref<ns::Data>& data, const rt::Ref<ns::Error>& transportError);
    void deliver();

    rt::Ref<ns::URLRequest> request_;
    mutable std::mutex lock_;
    Success success_;
    Failure failure_;
    rt::Ref<ns::URLSessionDataTask> task_;
    rt::Ref<ns::HTTPURLResponse> response_;
    rt::Ref<ns::Data> responseData_;
    rt::Id responseObject_;
    rt::Ref<ns::Error> error_;
    bool finished_ = false;
};

} // namespace hn
