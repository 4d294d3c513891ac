#include "net/http/http_request_operation.h"

#include "net/http/serialization.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/url_loading.h"
#include "platform/runtime/class.h"

namespace hn {

RT_DEFINE_CLASS(HTTPRequestOperation, "HNHTTPRequestOperation", rt::Object)

rt::Ref<HTTPRequestOperation> HTTPRequestOperation::start(const rt::Ref<ns::URLSession>& session,
                                                          const rt::Ref<ns::URLRequest>& request,
                                                          const rt::Ref<JSONResponseSerializer>& serializer,
                                                          Success success, Failure failure,
                                                          const rt::Ref<ns::Error>& requestError) {
    auto op = rt::make<HTTPRequestOperation>(request, std::move(success), std::move(failure));
    if (!request) {
        {
            std::lock_guard g(op->lock_);
            op->finished_ = true;
            op->error_ = requestError ? requestError : ns::URLLoading::errorWithCode(ns::URLErrorBadURL, nullptr);
        }
        op->deliver();
        return op;
    }
    // The task's completion holds the operation until the outcome is decoded; the main-queue block
    // then holds it until a block has run.
    auto task = session->dataTaskWithRequest(
        request, [op, serializer](rt::Ref<ns::URLResponse> response, rt::Ref<ns::Data> data, rt::Ref<ns::Error> error) {
            op->finish(serializer, response, data, error);
        });
    {
        std::lock_guard g(op->lock_);
        op->task_ = task;
    }
    task->resume();
    return op;
}

void HTTPRequestOperation::finish(const rt::Ref<JSONResponseSerializer>& serializer,
                                  const rt::Ref<ns::URLResponse>& response, const rt::Ref<ns::Data>& data,
                                  const rt::Ref<ns::Error>& transportError) {
    rt::Id object;
    rt::Ref<ns::Error> error = transportError;
    if (!error) object = serializer->responseObjectForResponse(response, data, &error);
    {
        std::lock_guard g(lock_);
        finished_ = true;
        response_ = rt::cast<ns::HTTPURLResponse>(response);
        responseData_ = data;
        responseObject_ = error ? nullptr : object;
        error_ = error;
        task_ = nullptr; // the task is done; it held this operation until now
    }
    deliver();
}

void HTTPRequestOperation::deliver() {
    dispatch::async(dispatch::Queue::main(), [self = rt::Ref<HTTPRequestOperation>(this)] {
        Success success;
        Failure failure;
        rt::Id object;
        rt::Ref<ns::Error> error;
        {
            std::lock_guard g(self->lock_);
            success = std::move(self->success_);
            failure = std::move(self->failure_);
            self->success_ = nullptr;
            self->failure_ = nullptr;
            object = self->responseObject_;
            error = self->error_;
        }
        if (error) {
            if (failure) failure(self, error);
        } else if (success) {
            success(self, object);
        }
    });
}

void HTTPRequestOperation::cancel() {
    rt::Ref<ns::URLSessionDataTask> task;
    {
        std::lock_guard g(lock_);
        if (finished_) return;
        task = task_;
    }
    // The task completes with -999 on the session's queue, which finishes this operation.
    if (task) task->cancel();
}

rt::Ref<ns::HTTPURLResponse> HTTPRequestOperation::response() const {
    std::lock_guard g(lock_);
    return response_;
}

rt::Ref<ns::Data> HTTPRequestOperation::responseData() const {
    std::lock_guard g(lock_);
    return responseData_;
}

rt::Id HTTPRequestOperation::responseObject() const {
    std::lock_guard g(lock_);
    return responseObject_;
}

rt::Ref<ns::Error> HTTPRequestOperation::error() const {
    std::lock_guard g(lock_);
    return error_;
}

bool HTTPRequestOperation::isFinished() const {
    std::lock_guard g(lock_);
    return finished_;
}

} // namespace hn
