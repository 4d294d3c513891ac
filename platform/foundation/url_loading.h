#pragma once
// URL loading: HTTP and HTTPS transfers run by one network thread, with completions handed to an
// operation queue.
//
// Transfers reuse kept-alive connections, verify TLS certificates (against the system's trusted
// certificates plus any added with URLLoading::addTrustedCertificatePEM) and end after the
// request's time-out. Failures arrive as ns::Error in NSURLErrorDomain; an HTTP status of 4xx or
// 5xx is a response, not an error. Nothing here throws.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/data.h"
#include "platform/foundation/error.h"
#include "platform/foundation/operation_queue.h"
#include "platform/foundation/url.h"
#include "platform/foundation/url_request.h"
#include "platform/runtime/object.h"

namespace ns {

namespace detail {
struct TransferLink;
} // namespace detail

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
    URLErrorSecureConnectionFailed = -1200,
    URLErrorServerCertificateUntrusted = -1202,
};

// The response is an HTTPURLResponse when there is one; data is empty, never nil, for an empty
// body. On failure the response and data are nil and the error is set.
using URLCompletionHandler = std::function<void(rt::Ref<URLResponse>, rt::Ref<Data>, rt::Ref<Error>)>;

class URLLoading {
public:
    // Trusts one more certificate (a CA or a self-signed server certificate), process-wide, for
    // the transfers that start afterwards. False when the text holds no PEM certificate.
    static bool addTrustedCertificatePEM(std::string pem);
    // Back to the system's trusted certificates alone.
    static void removeAllTrustedCertificates();
    // An NSURLErrorDomain error with the platform's description for the code.
    static rt::Ref<Error> errorWithCode(long code, const rt::Ref<URL>& url, std::string_view detail = {});
};

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
