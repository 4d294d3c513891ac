#pragma once
// hn::HTTPRequestOperationManager ("HNHTTPRequestOperationManager"): makes requests with its
// request serializer, sends them as hn::HTTPRequestOperation over a URL session whose completions
// run on the manager's own operation queue (where replies are decoded by its response serializer),
// and runs one of the caller's blocks on the main queue. A manager may be dropped as soon as it
// has started its requests: each operation keeps itself alive until its block has run.

#include <string_view>

#include "net/http/http_request_operation.h"
#include "net/http/serialization.h"
#include "platform/foundation/operation_queue.h"

namespace hn {

class HTTPRequestOperationManager : public rt::Object {
    RT_CLASS(HTTPRequestOperationManager)
public:
    // A new manager on each call: addresses are absolute (no base URL), an HTTP request serializer, a JSON response
    // serializer and its own operation queue.
    static rt::Ref<HTTPRequestOperationManager> manager();

    const rt::Ref<HTTPRequestSerializer>& requestSerializer() const noexcept { return requestSerializer_; }
    void setRequestSerializer(rt::Ref<HTTPRequestSerializer> serializer);
    const rt::Ref<JSONResponseSerializer>& responseSerializer() const noexcept { return responseSerializer_; }
    const rt::Ref<ns::OperationQueue>& operationQueue() const noexcept { return queue_; }

    rt::Ref<HTTPRequestOperation> GET(std::string_view URLString, const rt::Ref<ns::Dictionary>& parameters,
                                      HTTPRequestOperation::Success success, HTTPRequestOperation::Failure failure);
    rt::Ref<HTTPRequestOperation> POST(std::string_view URLString, const rt::Ref<ns::Dictionary>& parameters,
                                       HTTPRequestOperation::Success success, HTTPRequestOperation::Failure failure);
    // Sends a request made elsewhere.
    rt::Ref<HTTPRequestOperation> HTTPRequestOperationWithRequest(const rt::Ref<ns::URLRequest>& request,
                                                                  HTTPRequestOperation::Success success,
                                                                  HTTPRequestOperation::Failure failure);

private:
    HTTPRequestOperationManager();
    rt::Ref<HTTPRequestOperation> send(std::string_view method, std::string_view URLString,
                                       const rt::Ref<ns::Dictionary>& parameters, HTTPRequestOperation::Success success,
                                       HTTPRequestOperation::Failure failure);

    rt::Ref<HTTPRequestSerializer> requestSerializer_;
    rt::Ref<JSONResponseSerializer> responseSerializer_;
    rt::Ref<ns::OperationQueue> queue_;
    rt::Ref<ns::URLSession> session_;
};

} // namespace hn
