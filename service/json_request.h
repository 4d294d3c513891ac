#pragma once
// The one request signal both service clients are made of: each subscription sends one JSON
// request through the client's HN manager and ends with the reply or the failure the client's
// mapper makes of it. Private to service/.
//
//   - success: next(the decoded reply, nil for an empty body), then completed;
//   - failure: `onFailure(subscriber, error)`, which sends what the client's contract says;
//   - disposing the subscription cancels the request, and nothing more is sent, not even the
//     cancellation failure that follows.
// The HN manager runs both outcomes on the main queue, so events arrive on the main thread.

#include <functional>
#include <mutex>
#include <string>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "streams/signal.h"

namespace hn {
class HTTPRequestOperationManager;
}

namespace ft::detail {

using FailureHandler = std::function<void(const rt::Ref<es::Subscriber>&, const rt::Ref<ns::Error>&)>;

enum class Method { Get, Post };

// A manager with JSON request and response serializers and the time-out (seconds).
rt::Ref<hn::HTTPRequestOperationManager> jsonManager(double timeout);
void setManagerTimeout(const rt::Ref<hn::HTTPRequestOperationManager>& manager, double timeout);
double managerTimeout(const rt::Ref<hn::HTTPRequestOperationManager>& manager);

rt::Ref<es::Signal> jsonRequestSignal(const rt::Ref<hn::HTTPRequestOperationManager>& manager, Method method,
                                      std::string url, rt::Ref<ns::Dictionary> parameters, FailureHandler onFailure);

// The slot of a shared client: made once, under a lock and in a permanent scope (the client and its
// manager live for the process, so they are not counted as alive); tests empty it.
template <class T>
class SharedClientSlot {
public:
    template <class Make>
    static rt::Ref<T> get(Make make) {
        std::lock_guard guard(lock());
        if (!slot()) {
            rt::PermanentScope permanent;
            slot() = make();
        }
        return slot();
    }
    static void reset() {
        rt::Ref<T> previous; // released after the lock
        std::lock_guard guard(lock());
        previous = std::move(slot());
    }

private:
    static std::mutex& lock() {
        static std::mutex mutex;
        return mutex;
    }
    static rt::Ref<T>& slot() {
        static auto* shared = new rt::Ref<T>();
        return *shared;
    }
};

} // namespace ft::detail
