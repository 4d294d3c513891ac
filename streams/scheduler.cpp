#include "streams/scheduler.h"

#include <cstdint>
#include <mutex>

#include "platform/foundation/date.h"
#include "platform/foundation/operation_queue.h"
#include "platform/foundation/thread.h"
#include "platform/runtime/class.h"

namespace es {

RT_DEFINE_CLASS(Scheduler, "ESScheduler", rt::Object)
RT_DEFINE_CLASS(ImmediateScheduler, "ESImmediateScheduler", Scheduler)
RT_DEFINE_CLASS(QueueScheduler, "ESQueueScheduler", Scheduler)
RT_DEFINE_CLASS(TargetQueueScheduler, "ESTargetQueueScheduler", QueueScheduler)
RT_DEFINE_CLASS(SubscriptionScheduler, "ESSubscriptionScheduler", Scheduler)

namespace {

// The scheduler whose work this thread runs (set only around that work).
thread_local Scheduler* tCurrent = nullptr;

std::string prefixed(std::string_view rest) { return std::string(kReverseDomainPrefix) + std::string(rest); }

// One immortal instance per T (the template parameter keeps the three statics apart).
template <class T>
const rt::Ref<Scheduler>& shared(rt::Ref<Scheduler> (*makeOne)()) {
    static const rt::Ref<Scheduler> instance = [&] {
        rt::PermanentScope permanent; // the scheduler and what it owns live for the process
        rt::Ref<Scheduler> s = makeOne();
        rt::makeImmortal(*s);
        return s;
    }();
    return instance;
}

// What scheduling returns when there is nothing left to cancel: the work ran at once, or was never
// taken. Already disposed, so disposing it again does nothing.
const rt::Ref<Disposable>& nothingToCancel() {
    static const rt::Ref<Disposable> disposed = rt::immortal(Disposable::withBlock(nullptr));
    return disposed;
}

} // namespace

// ---- Scheduler ----------------------------------------------------------------------------

Scheduler::Scheduler(std::string name) : name_(std::move(name)) {
    // The class is known from the first line of the constructor (rt::make sets it first).
    if (name_.empty()) name_ = prefixed("." + std::string(getClass().name()) + ".anonymousScheduler");
}

const rt::Ref<Scheduler>& Scheduler::immediateScheduler() {
    return shared<ImmediateScheduler>([] { return rt::Ref<Scheduler>(rt::make<ImmediateScheduler>()); });
}

const rt::Ref<Scheduler>& Scheduler::mainThreadScheduler() {
    return shared<TargetQueueScheduler>([] {
        return rt::Ref<Scheduler>(TargetQueueScheduler::withNameTargetQueue(
            prefixed(".ESScheduler.mainThreadScheduler"), dispatch::Queue::main()));
    });
}

const rt::Ref<Scheduler>& Scheduler::subscriptionScheduler() {
    return shared<SubscriptionScheduler>([] { return rt::Ref<Scheduler>(rt::make<SubscriptionScheduler>()); });
}

rt::Ref<Scheduler> Scheduler::schedulerWithPriorityName(dispatch::Priority priority, std::string name) {
    return TargetQueueScheduler::withNameTargetQueue(std::move(name), dispatch::Queue::global(priority));
}

rt::Ref<Scheduler> Scheduler::schedulerWithPriority(dispatch::Priority priority) {
    return schedulerWithPriorityName(priority, prefixed(".ESScheduler.backgroundScheduler"));
}

rt::Ref<Scheduler> Scheduler::scheduler() { return schedulerWithPriority(dispatch::Priority::Default); }

rt::Ref<Scheduler> Scheduler::schedulerWithQueueName(const rt::Ref<dispatch::Queue>& queue, std::string name) {
    return TargetQueueScheduler::withNameTargetQueue(std::move(name), queue);
}

rt::Ref<Scheduler> Scheduler::currentScheduler() {
    if (tCurrent) return rt::Ref<Scheduler>(tCurrent);
    if (ns::Thread::isMainThread() || ns::OperationQueue::currentQueue() == ns::OperationQueue::mainQueue())
        return mainThreadScheduler();
    return nullptr;
}

rt::Ref<Disposable> Scheduler::schedule(Block) {
    return nothingToCancel();
}

rt::Ref<Disposable> Scheduler::afterSchedule(const rt::Ref<ns::Date>&, Block) {
    return nothingToCancel();
}

rt::Ref<Disposable> Scheduler::afterRepeatingEveryWithLeewaySchedule(const rt::Ref<ns::Date>&, double, double,
                                                                     Block) {
    return nothingToCancel();
}

rt::Ref<Disposable> Scheduler::afterDelaySchedule(double seconds, Block block) {
    return afterSchedule(ns::Date::now()->dateByAddingTimeInterval(seconds), std::move(block));
}

void Scheduler::performAsCurrentScheduler(const Block& block) {
    // Restores the previous current scheduler even if the block throws.
    struct Restore {
        Scheduler* previous;
        ~Restore() { tCurrent = previous; }
    } restore{tCurrent};
    tCurrent = this;
    block();
}

rt::Ref<Disposable> Scheduler::scheduleRecursiveBlock(RecursiveBlock block) {
    auto disposable = CompoundDisposable::make();
    scheduleRecursiveStep(std::make_shared<RecursiveBlock>(std::move(block)), disposable);
    return disposable;
}

void Scheduler::scheduleRecursiveStep(const std::shared_ptr<RecursiveBlock>& block,
                                      const rt::Ref<CompoundDisposable>& disposable) {
    auto step = CompoundDisposable::make();
    disposable->addDisposable(step);
    rt::Weak<CompoundDisposable> weakStep = step;
    rt::Ref<Scheduler> self(this);
    auto unit = schedule([self, block, disposable, weakStep] {
        if (auto s = weakStep.lock()) disposable->removeDisposable(s.get());
        if (disposable->isDisposed()) return;

        // Reschedules asked for while the block runs wait until it has returned.
        struct State {
            std::mutex lock;
            int pending = 0;
            bool returned = false;
        };
        auto state = std::make_shared<State>();
        auto reschedule = [self, block, disposable, state] {
            {
                std::lock_guard g(state->lock);
                if (!state->returned) {
                    ++state->pending;
                    return;
                }
            }
            if (!disposable->isDisposed()) self->scheduleRecursiveStep(block, disposable);
        };
        (*block)(reschedule);
        int pending;
        {
            std::lock_guard g(state->lock);
            pending = state->pending;
            state->returned = true;
        }
        for (int i = 0; i < pending && !disposable->isDisposed(); ++i) self->scheduleRecursiveStep(block, disposable);
    });
    step->addDisposable(unit);
}

std::string Scheduler::description() const {
    return rt::Object::description() + " " + name_;
}

// ---- ImmediateScheduler -------------------------------------------------------------------

ImmediateScheduler::ImmediateScheduler() : Scheduler(prefixed(".ESScheduler.immediateScheduler")) {}

rt::Ref<Disposable> ImmediateScheduler::schedule(Block block) {
    block();
    return nothingToCancel();
}

rt::Ref<Disposable> ImmediateScheduler::afterSchedule(const rt::Ref<ns::Date>& date, Block block) {
    if (date) dispatch::Semaphore::make(0)->wait(date->timeIntervalSinceReferenceDate());
    block();
    return nothingToCancel();
}

rt::Ref<Disposable> ImmediateScheduler::afterRepeatingEveryWithLeewaySchedule(const rt::Ref<ns::Date>&, double,
                                                                              double, Block) {
    return nothingToCancel();
}

rt::Ref<Disposable> ImmediateScheduler::scheduleRecursiveBlock(RecursiveBlock block) {
    // Iterative on the calling thread: each reschedule adds one more pass.
    std::uint64_t remaining = 1;
    auto reschedule = [&remaining] { ++remaining; };
    while (remaining > 0) {
        block(reschedule);
        --remaining;
    }
    return nothingToCancel();
}

// ---- QueueScheduler -----------------------------------------------------------------------

QueueScheduler::QueueScheduler(std::string name, rt::Ref<dispatch::Queue> queue)
    : Scheduler(std::move(name)), queue_(std::move(queue)) {}

rt::Ref<QueueScheduler> QueueScheduler::withNameQueue(std::string name, rt::Ref<dispatch::Queue> queue) {
    return rt::make<QueueScheduler>(std::move(name), std::move(queue));
}

dispatch::Time QueueScheduler::wallTimeWithDate(const rt::Ref<ns::Date>& date) {
    return date ? date->timeIntervalSinceReferenceDate() : dispatch::now();
}

rt::Ref<Disposable> QueueScheduler::schedule(Block block) {
    auto disposable = Disposable::make();
    dispatch::async(queue_, [self = rt::Ref<QueueScheduler>(this), disposable, block = std::move(block)] {
        if (!disposable->isDisposed()) self->performAsCurrentScheduler(block);
    });
    return disposable;
}

// Starts a timer source on the date; disposal cancels it, which withdraws its timer at once, so
// nothing the work holds (the block, the scheduler, the queue) waits for the date.
rt::Ref<Disposable> QueueScheduler::start(const rt::Ref<dispatch::TimerSource>& source,
                                          const rt::Ref<ns::Date>& date, double interval, double leeway) {
    source->setTimer(wallTimeWithDate(date), interval, leeway);
    source->resume();
    return Disposable::withBlock([source] { source->cancel(); });
}

rt::Ref<Disposable> QueueScheduler::afterSchedule(const rt::Ref<ns::Date>& date, Block block) {
    auto source = dispatch::TimerSource::make(queue_);
    dispatch::TimerSource* running = source.get(); // alive while its handler runs
    source->setEventHandler([running, self = rt::Ref<QueueScheduler>(this), block = std::move(block)] {
        self->performAsCurrentScheduler(block);
        running->cancel(); // a one-shot lets go of the block once it ran
    });
    return start(source, date, 0, 0);
}

rt::Ref<Disposable> QueueScheduler::afterRepeatingEveryWithLeewaySchedule(const rt::Ref<ns::Date>& date,
                                                                          double interval, double leeway,
                                                                          Block block) {
    auto source = dispatch::TimerSource::make(queue_);
    source->setEventHandler(std::move(block));
    return start(source, date, interval, leeway);
}

rt::Ref<TargetQueueScheduler> TargetQueueScheduler::withNameTargetQueue(std::string name,
                                                                        const rt::Ref<dispatch::Queue>& target) {
    // No target: the default global queue, as a new serial queue has.
    const rt::Ref<dispatch::Queue>& targetQueue = target ? target : dispatch::Queue::global();
    if (name.empty()) name = prefixed(".ESTargetQueueScheduler(" + targetQueue->label() + ")");
    auto queue = dispatch::Queue::serial(name, targetQueue);
    if (!queue) return nullptr;
    return rt::make<TargetQueueScheduler>(std::move(name), std::move(queue));
}

// ---- SubscriptionScheduler ----------------------------------------------------------------

SubscriptionScheduler::SubscriptionScheduler()
    : Scheduler(prefixed(".ESScheduler.subscriptionScheduler")), background_(Scheduler::scheduler()) {}

rt::Ref<Disposable> SubscriptionScheduler::schedule(Block block) {
    if (!currentScheduler()) return background_->schedule(std::move(block));
    block();
    return nothingToCancel();
}

rt::Ref<Disposable> SubscriptionScheduler::afterSchedule(const rt::Ref<ns::Date>& date, Block block) {
    rt::Ref<Scheduler> target = currentScheduler();
    return (target ? target : background_)->afterSchedule(date, std::move(block));
}

rt::Ref<Disposable> SubscriptionScheduler::afterRepeatingEveryWithLeewaySchedule(const rt::Ref<ns::Date>& date,
                                                                                 double interval, double leeway,
                                                                                 Block block) {
    rt::Ref<Scheduler> target = currentScheduler();
    return (target ? target : background_)
        ->afterRepeatingEveryWithLeewaySchedule(date, interval, leeway, std::move(block));
}

} // namespace es
