#include "service/json_request.h"

#include <atomic>
#include <memory>

#include "net/http/http_request_operation_manager.h"
#include "platform/foundation/format.h"
#include "service/request_failure.h"
#include "streams/disposable.h"
#include "streams/subscriber.h"

namespace ft::detail {

rt::Ref<hn::HTTPRequestOperationManager> jsonManager(double timeout) {
    auto manager = hn::HTTPRequestOperationManager::manager();
    manager->setRequestSerializer(hn::JSONRequestSerializer::serializer());
    setManagerTimeout(manager, timeout);
    return manager;
}

void setManagerTimeout(const rt::Ref<hn::HTTPRequestOperationManager>& manager, double timeout) {
    manager->requestSerializer()->setTimeoutInterval(timeout);
}

double managerTimeout(const rt::Ref<hn::HTTPRequestOperationManager>& manager) {
    return manager->requestSerializer()->timeoutInterval();
}

rt::Ref<es::Signal> jsonRequestSignal(const rt::Ref<hn::HTTPRequestOperationManager>& manager, Method method,
                                      std::string url, rt::Ref<ns::Dictionary> parameters, FailureHandler onFailure) {
    return es::Signal::createSignal([manager, method, url = std::move(url), parameters = std::move(parameters),
                                     onFailure = std::move(onFailure)](const rt::Ref<es::Subscriber>& subscriber) {
        // Set by disposal: the outcome that still comes (the cancellation failure, or a reply
        // already on its way to the main queue) is dropped.
        auto disposed = std::make_shared<std::atomic<bool>>(false);
        auto success = [subscriber, disposed](const rt::Ref<hn::HTTPRequestOperation>&, const rt::Id& reply) {
            if (disposed->load()) return;
            subscriber->sendNext(reply);
            subscriber->sendCompleted();
        };
        auto failure = [subscriber, disposed, onFailure, method,
                        url](const rt::Ref<hn::HTTPRequestOperation>& operation,
                             const rt::Ref<ns::Error>& error) {
            if (disposed->load()) return;
            // The cause itself: what the client's error makes of it may say no more than "timeout".
            ns::log("%s %s failed: %s", method == Method::Get ? "GET" : "POST", url.c_str(),
                    requestFailureText(error, operation ? operation->responseData() : nullptr).c_str());
            onFailure(subscriber, error);
        };
        rt::Ref<hn::HTTPRequestOperation> operation = method == Method::Get
                                                          ? manager->GET(url, parameters, success, failure)
                                                          : manager->POST(url, parameters, success, failure);
        return es::Disposable::withBlock([operation, disposed] {
            disposed->store(true);
            if (operation) operation->cancel();
        });
    });
}

} // namespace ft::detail
