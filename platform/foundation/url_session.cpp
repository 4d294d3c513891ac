#include "platform/foundation/url_session.h"

#include <mutex>

#include "platform/foundation/url_transport.h"
#include "platform/runtime/class.h"

namespace ns {

RT_DEFINE_CLASS(URLSession, "NSURLSession", rt::Object)
RT_DEFINE_CLASS(URLSessionTask, "NSURLSessionTask", rt::Object)
RT_DEFINE_CLASS(URLSessionDataTask, "NSURLSessionDataTask", URLSessionTask)

namespace {

rt::Ref<OperationQueue> serialQueue() {
    auto q = OperationQueue::make();
    q->setMaxConcurrentOperationCount(1);
    return q;
}

} // namespace

const rt::Ref<URLSession>& URLSession::sharedSession() {
    static const rt::Ref<URLSession>* session = [] {
        rt::PermanentScope permanent;
        auto* s = new rt::Ref<URLSession>(rt::make<URLSession>(detail::defaultDelegateQueue()));
        rt::makeImmortal(**s);
        return s;
    }();
    return *session;
}

rt::Ref<URLSession> URLSession::sessionWithDelegateQueue(rt::Ref<OperationQueue> queue) {
    return rt::make<URLSession>(queue ? std::move(queue) : serialQueue());
}

rt::Ref<URLSessionDataTask> URLSession::dataTaskWithRequest(const rt::Ref<URLRequest>& request,
                                                            URLCompletionHandler completion) {
    rt::Ref<URLRequest> copy =
        request ? rt::Ref<URLRequest>(static_cast<URLRequest*>(request->copy().get())) : nullptr;
    return rt::make<URLSessionDataTask>(std::move(copy), queue_, nextTaskIdentifier_.fetch_add(1),
                                        std::move(completion));
}

rt::Ref<URLSessionDataTask> URLSession::dataTaskWithURL(const rt::Ref<URL>& url,
                                                        URLCompletionHandler completion) {
    return dataTaskWithRequest(URLRequest::requestWithURL(url), std::move(completion));
}

// ---- URLSessionTask ----------------------------------------------------------------------

struct URLSessionTask::Impl {
    mutable std::mutex lock;
    URLSessionTaskState state = URLSessionTaskState::Suspended;
    bool decided = false; // the outcome (a result or the cancellation) is known
    URLCompletionHandler completion;
    rt::Ref<OperationQueue> queue;
    rt::Ref<URLResponse> response;
    rt::Ref<Error> error;
    std::shared_ptr<detail::TransferLink> link;
    std::uint64_t transfer = 0;

    // Queues the completion. `task` is moved into the block, so the caller holds nothing after.
    static void deliver(rt::Ref<URLSessionTask> task, detail::TransferResult r) {
        OperationQueue* q = task->impl_->queue.get();
        q->addOperationWithBlock([task = std::move(task), r = std::move(r)] {
            Impl& d = *task->impl_;
            URLCompletionHandler c;
            {
                std::lock_guard g(d.lock);
                d.state = URLSessionTaskState::Completed;
                d.response = r.response;
                d.error = r.error;
                c = std::move(d.completion);
            }
            if (c) c(r.response, r.data, r.error);
        });
    }
};

URLSessionTask::URLSessionTask(rt::Ref<URLRequest> request, rt::Ref<OperationQueue> queue,
                               unsigned long identifier, URLCompletionHandler completion)
    : request_(std::move(request)), identifier_(identifier), impl_(std::make_shared<Impl>()) {
    impl_->queue = std::move(queue);
    impl_->completion = std::move(completion);
}

URLSessionTask::~URLSessionTask() = default;

void URLSessionTask::resume() {
    Impl& d = *impl_;
    std::unique_lock g(d.lock);
    if (d.state != URLSessionTaskState::Suspended || d.decided) return;
    d.state = URLSessionTaskState::Running;
    if (!request_ || !request_->URL()) {
        d.decided = true;
        g.unlock();
        Impl::deliver(
            rt::Ref<URLSessionTask>(this),
            detail::TransferResult{nullptr, nullptr, URLLoading::errorWithCode(URLErrorBadURL, nullptr)});
        return;
    }
    // The running task keeps itself alive through its link until the outcome is known.
    d.link = std::make_shared<detail::TransferLink>();
    d.link->handler = [task = rt::Ref<URLSessionTask>(this)](detail::TransferOutcome&& outcome) mutable {
        Impl& d = *task->impl_;
        detail::TransferResult r = detail::resultOf(std::move(outcome), task->request_->URL());
        {
            std::lock_guard g(d.lock);
            if (d.decided) return;
            d.decided = true;
        }
        Impl::deliver(std::move(task), std::move(r));
    };
    d.transfer = detail::newTransferId();
    detail::startTransfer(d.transfer, detail::transferRequestOf(*request_), d.link);
}

void URLSessionTask::cancel() {
    Impl& d = *impl_;
    detail::TransferLink::Handler handler;
    {
        std::lock_guard g(d.lock);
        if (d.decided || d.state == URLSessionTaskState::Completed) return;
        if (d.state == URLSessionTaskState::Running) {
            handler = d.link->take();
            if (!handler) return; // the transport has the outcome and is delivering it
            d.link->cancelled.store(true);
            detail::cancelTransfer(d.transfer);
        }
        d.decided = true;
        d.state = URLSessionTaskState::Canceling;
    }
    handler = nullptr; // drops the task's hold on itself; the caller still holds it
    Impl::deliver(rt::Ref<URLSessionTask>(this),
                  detail::TransferResult{
                      nullptr, nullptr,
                      URLLoading::errorWithCode(URLErrorCancelled, request_ ? request_->URL() : nullptr)});
}

URLSessionTaskState URLSessionTask::state() const {
    std::lock_guard g(impl_->lock);
    return impl_->state;
}

rt::Ref<URLResponse> URLSessionTask::response() const {
    std::lock_guard g(impl_->lock);
    return impl_->response;
}

rt::Ref<Error> URLSessionTask::error() const {
    std::lock_guard g(impl_->lock);
    return impl_->error;
}

} // namespace ns
