#pragma once
// ns::URLSession ("NSURLSession") and its tasks: transfers made as suspended tasks, started with
// resume() and completed exactly once on the session's delegate queue.

#include <atomic>
#include <memory>

#include "platform/foundation/operation_queue.h"
#include "platform/foundation/url_loading.h"

namespace ns {

// NSURLSessionTaskState.
enum class URLSessionTaskState : long { Running = 0, Suspended = 1, Canceling = 2, Completed = 3 };

class URLSessionTask;
class URLSessionDataTask;

class URLSession : public rt::Object {
    RT_CLASS(URLSession)
public:
    // Completions on a shared serial background queue.
    static const rt::Ref<URLSession>& sharedSession();
    // Completions on `queue` (nil: a new serial background queue).
    static rt::Ref<URLSession> sessionWithDelegateQueue(rt::Ref<OperationQueue> queue);

    const rt::Ref<OperationQueue>& delegateQueue() const noexcept { return queue_; }
    // A suspended task; resume() starts it. The request is copied.
    rt::Ref<URLSessionDataTask> dataTaskWithRequest(const rt::Ref<URLRequest>& request,
                                                    URLCompletionHandler completion);
    rt::Ref<URLSessionDataTask> dataTaskWithURL(const rt::Ref<URL>& url, URLCompletionHandler completion);

private:
    explicit URLSession(rt::Ref<OperationQueue> queue) : queue_(std::move(queue)) {}

    rt::Ref<OperationQueue> queue_;
    std::atomic<unsigned long> nextTaskIdentifier_{1};
};

// A transfer owned by a session. A running task keeps itself alive until its completion has been
// called; the completion is called exactly once, on the session's delegate queue, and is released
// after that.
class URLSessionTask : public rt::Object {
    RT_CLASS(URLSessionTask)
public:
    // Starts a suspended task; otherwise does nothing.
    void resume();
    // Ends a task that has not completed: the transfer stops and the completion gets the
    // URLErrorCancelled error. Does nothing once the task has completed or been cancelled.
    void cancel();
    URLSessionTaskState state() const;
    unsigned long taskIdentifier() const noexcept { return identifier_; }
    const rt::Ref<URLRequest>& originalRequest() const noexcept { return request_; }
    // Set once the task has completed.
    rt::Ref<URLResponse> response() const;
    rt::Ref<Error> error() const;

    struct Impl;

protected:
    URLSessionTask(rt::Ref<URLRequest> request, rt::Ref<OperationQueue> queue, unsigned long identifier,
                   URLCompletionHandler completion);
    ~URLSessionTask() override;

private:
    rt::Ref<URLRequest> request_;
    unsigned long identifier_;
    std::shared_ptr<Impl> impl_;
};

class URLSessionDataTask final : public URLSessionTask {
    RT_CLASS(URLSessionDataTask)
private:
    URLSessionDataTask(rt::Ref<URLRequest> request, rt::Ref<OperationQueue> queue, unsigned long identifier,
                       URLCompletionHandler completion)
        : URLSessionTask(std::move(request), std::move(queue), identifier, std::move(completion)) {}
};

} // namespace ns
