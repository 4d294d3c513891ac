#pragma once
// ns::OperationQueue: runs blocks (operations) on dispatch queues, as many at once as its maximum
// allows; the main operation queue runs them one at a time on the main dispatch queue.

#include <cstddef>
#include <memory>
#include <string>

#include "platform/foundation/dispatch.h"
#include "platform/runtime/object.h"

namespace ns {

class OperationQueue : public rt::Object {
    RT_CLASS(OperationQueue)
public:
    static constexpr long DefaultMaxConcurrentOperationCount = -1;

    // Runs its operations one at a time on the main dispatch queue.
    static const rt::Ref<OperationQueue>& mainQueue();
    // The queue whose operation this thread is running; on the main thread, the main queue; else nil.
    static rt::Ref<OperationQueue> currentQueue();
    // Runs its operations on the default global queue.
    static rt::Ref<OperationQueue> make();

    std::string name() const;
    void setName(std::string name);
    bool isSuspended() const;
    // While suspended no operation starts; running ones go on.
    void setSuspended(bool suspended);
    long maxConcurrentOperationCount() const;
    void setMaxConcurrentOperationCount(long count);

    void addOperationWithBlock(dispatch::Block block);
    // Operations that have not started never run; running ones go on.
    void cancelAllOperations();
    // Called from one of this queue's own operations (or on the main queue from the main thread) it
    // would never return: it logs and returns at once.
    void waitUntilAllOperationsAreFinished();
    // Operations waiting or running.
    std::size_t operationCount() const;

    std::string description() const override;

    struct Impl;

protected:
    ~OperationQueue() override;

private:
    explicit OperationQueue(bool isMain);
    std::unique_ptr<Impl> impl_;
};

} // namespace ns
