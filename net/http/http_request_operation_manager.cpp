#include "net/http/http_request_operation_manager.h"

#include "platform/runtime/class.h"

namespace hn {

RT_DEFINE_CLASS(HTTPRequestOperationManager, "HNHTTPRequestOperationManager", rt::Object)

HTTPRequestOperationManager::HTTPRequestOperationManager()
    : requestSerializer_(HTTPRequestSerializer::serializer()),
      responseSerializer_(JSONResponseSerializer::serializer()),
      queue_(ns::OperationQueue::make()),
      session_(ns::URLSession::sessionWithDelegateQueue(queue_)) {}

rt::Ref<HTTPRequestOperationManager> HTTPRequestOperationManager::manager() {
    return rt::make<HTTPRequestOperationManager>();
}

void HTTPRequestOperationManager::setRequestSerializer(rt::Ref<HTTPRequestSerializer> serializer) {
    if (serializer) requestSerializer_ = std::move(serializer);
}

rt::Ref<HTTPRequestOperation> HTTPRequestOperationManager::GET(std::string_view URLString,
                                                               const rt::Ref<ns::Dictionary>& parameters,
                                                               HTTPRequestOperation::Success success,
                                                               HTTPRequestOperation::Failure failure) {
    return send("GET", URLString, parameters, std::move(success), std::move(failure));
}

rt::Ref<HTTPRequestOperation> HTTPRequestOperationManager::POST(std::string_view URLString,
                                                                const rt::Ref<ns::Dictionary>& parameters,
                                                                HTTPRequestOperation::Success success,
                                                                HTTPRequestOperation::Failure failure) {
    return send("POST", URLString, parameters, std::move(success), std::move(failure));
}

rt::Ref<HTTPRequestOperation> HTTPRequestOperationManager::HTTPRequestOperationWithRequest(
    const rt::Ref<ns::URLRequest>& request, HTTPRequestOperation::Success success,
    HTTPRequestOperation::Failure failure) {
    return HTTPRequestOperation::start(session_, request, responseSerializer_, std::move(success), std::move(failure));
}

rt::Ref<HTTPRequestOperation> HTTPRequestOperationManager::send(std::string_view method, std::string_view URLString,
                                                                const rt::Ref<ns::Dictionary>& parameters,
                                                                HTTPRequestOperation::Success success,
                                                                HTTPRequestOperation::Failure failure) {
    rt::Ref<ns::Error> error;
    rt::Ref<ns::URLRequest> request = requestSerializer_->requestWithMethod(method, URLString, parameters, &error);
    return HTTPRequestOperation::start(session_, request, responseSerializer_, std::move(success), std::move(failure),
                                       error);
}

} // namespace hn
