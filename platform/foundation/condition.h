#pragma once
// ns::Condition: the platform's condition lock, a mutex with a condition. wait and waitUntilDate
// are called with the lock held and hold it again when they return; waitUntilDate's limit is on
// the installed clock (see dispatch.h).

#include <memory>
#include <string>

#include "platform/foundation/date.h"

namespace ns {

class Condition {
public:
    Condition();
    ~Condition();
    Condition(const Condition&) = delete;
    Condition& operator=(const Condition&) = delete;

    void lock();
    bool tryLock();
    void unlock();
    void wait();
    // False when the limit passed before a signal.
    bool waitUntilDate(const rt::Ref<Date>& limit);
    void signal();
    void broadcast();
    // A name for debugging; "" until set.
    void setName(std::string name);
    std::string name() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace ns
