#include "streams/foundation_signals.h"

#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "platform/foundation/file_handle.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/foundation/url_connection.h"
#include "platform/foundation/url_reading.h"
#include "platform/foundation/url_request.h"
#include "platform/runtime/class.h"
#include "streams/description.h"
#include "streams/scheduler.h"
#include "streams/subject.h"
#include "streams/tuple.h"

namespace es {

rt::Ref<Signal> addObserverForName(const rt::Ref<ns::NotificationCenter>& center, const rt::Ref<ns::String>& name,
                                   const rt::Id& object) {
    // The object is held weakly: once it is gone nothing it posts can arrive, and a subscription
    // made after that must not turn into one for every object.
    rt::Weak<rt::Object> weakObject(object);
    const bool filtersByObject = static_cast<bool>(object);
    auto signal = Signal::createSignal(
        [center, name, weakObject, filtersByObject](const rt::Ref<Subscriber>& subscriber) -> rt::Ref<Disposable> {
            rt::Id filter = weakObject.lock();
            if (filtersByObject && !filter) return nullptr;
            rt::Id token = center->addObserverForName(
                name, filter, nullptr, [subscriber](const rt::Ref<ns::Notification>& n) { subscriber->sendNext(n); });
            return Disposable::withBlock([center, token] { center->removeObserver(token); });
        });
    if (debugNamesEnabled()) {
        signal->setName(ns::format("-es_addObserverForName: %@ object: <%@: %p>", name,
                                   object ? std::string(object->getClass().name()) : std::string("(null)"),
                                   static_cast<const void*>(object.get())));
    }
    return signal;
}

namespace {

// Runs `read` on the scheduler now (a missing scheduler reads at once on the calling thread) and
// tells the subject its value and completion, or its error.
rt::Ref<ReplaySubject> readInto(const rt::Ref<Scheduler>& scheduler, std::function<rt::Id(rt::Ref<ns::Error>&)> read) {
    auto subject = ReplaySubject::make();
    const rt::Ref<Scheduler>& on = scheduler ? scheduler : Scheduler::immediateScheduler();
    on->schedule([subject, read = std::move(read)] {
        rt::Ref<ns::Error> error;
        if (rt::Id value = read(error)) {
            subject->sendNext(value);
            subject->sendCompleted();
        } else {
            subject->sendError(error);
        }
    });
    return subject;
}

} // namespace

rt::Ref<ReplaySubject> readContentsOfURL(const rt::Ref<ns::URL>& url, unsigned long options,
                                         const rt::Ref<Scheduler>& scheduler) {
    // The reading options only tune how the platform maps the file; a plain read serves them all.
    auto subject = readInto(scheduler, [url](rt::Ref<ns::Error>& error) {
        return rt::Id(ns::dataWithContentsOfURL(url, &error));
    });
    subject->setNameWithFormat("+es_readContentsOfURL: %@ options: %lu scheduler: %@", url, options, scheduler);
    return subject;
}

rt::Ref<ReplaySubject> readStringContentsOfURL(const rt::Ref<ns::URL>& url, unsigned long* usedEncoding,
                                               const rt::Ref<Scheduler>& scheduler) {
    auto subject = readInto(scheduler, [url, usedEncoding](rt::Ref<ns::Error>& error) {
        return rt::Id(ns::stringWithContentsOfURL(url, usedEncoding, &error));
    });
    subject->setNameWithFormat("+es_readContentsOfURL: %@ usedEncoding:scheduler: %@", url, scheduler);
    return subject;
}

rt::Ref<ReplaySubject> readInBackground(const rt::Ref<ns::FileHandle>& handle) {
    auto subject = ReplaySubject::make();
    subject->setNameWithFormat("%@ -es_readInBackground", description(handle));
    auto notifications = addObserverForName(ns::NotificationCenter::defaultCenter(),
                                            ns::str(ns::NSFileHandleReadCompletionNotification), handle);
    auto reading = SerialDisposable::make();
    auto subscription = notifications->subscribeNext([subject, handle, reading](const rt::Id& value) {
        auto notification = rt::cast<ns::Notification>(value);
        rt::Ref<ns::Dictionary> info = notification ? notification->userInfo() : nullptr;
        auto error = info ? rt::cast<ns::Error>(info->objectForKey(ns::NSFileHandleError)) : nullptr;
        auto data = info ? rt::cast<ns::Data>(info->objectForKey(ns::NSFileHandleNotificationDataItem)) : nullptr;
        if (error) {
            // A failed read is an error, not the end of the file.
            subject->sendError(error);
            reading->dispose();
        } else if (data && data->length() > 0) {
            subject->sendNext(data);
            handle->readInBackgroundAndNotify();
        } else {
            subject->sendCompleted();
            reading->dispose();
        }
    });
    reading->setDisposable(subscription);
    handle->readInBackgroundAndNotify();
    return subject;
}

rt::Ref<Signal> sendAsynchronousRequest(const rt::Ref<ns::URLRequest>& request) {
    auto signal = Signal::createSignal([request](const rt::Ref<Subscriber>& subscriber) {
        auto queue = ns::OperationQueue::make();
        queue->setName(std::string(kReverseDomainPrefix) + "NSURLConnectionESSupport");
        auto connection = ns::URLConnection::sendAsynchronousRequest(
            request, queue,
            [subscriber](rt::Ref<ns::URLResponse> response, rt::Ref<ns::Data> data, rt::Ref<ns::Error> error) {
                if (response && data) {
                    subscriber->sendNext(Tuple::of(response, data));
                    subscriber->sendCompleted();
                } else {
                    subscriber->sendError(error);
                }
            });
        // Cancelling the transfer too, not only the queue: nothing is delivered either way, and
        // the connection is not left running for nobody.
        return Disposable::withBlock([queue, connection] {
            queue->setSuspended(true);
            queue->cancelAllOperations();
            if (connection) connection->cancel();
        });
    });
    signal->setNameWithFormat("+es_sendAsynchronousRequest: %@", request);
    return signal;
}

} // namespace es
