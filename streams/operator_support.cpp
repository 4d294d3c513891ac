#include "streams/operator_support.h"

#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"

namespace es {

RT_DEFINE_CLASS(OperatorSubscriber, "ESOperatorSubscriber", rt::Object)

rt::Ref<ns::Error> notASignalError(const rt::Ref<Stream>& stream) {
    std::string text = "Expected a signal, got a stream of another family: " + std::string(stream->getClass().name());
    auto userInfo = ns::Dictionary::withPairs({{ns::str(ns::LocalizedDescriptionKey), ns::str(text)}});
    return ns::Error::make(Signal::kErrorDomain, Signal::kErrorNotASignal, userInfo);
}

rt::Ref<Signal> signalArgument(const rt::Ref<Stream>& stream) {
    if (!stream) return Signal::empty();
    if (auto signal = rt::cast<Signal>(stream)) return signal;
    return Signal::error(notASignalError(stream));
}

// ---- OperatorSubscriber -------------------------------------------------------------------

void OperatorSubscriber::link(Stage* const* stages, std::size_t count) {
    first_ = stages[0];
    for (std::size_t i = 0; i < count; ++i) {
        Downstream& out = stages[i]->out_;
        out.chain_ = this;
        out.next_ = i + 1 < count ? stages[i + 1] : nullptr;
        out.index_ = static_cast<std::uint32_t>(i);
    }
}

void OperatorSubscriber::subscribeTo(const rt::Ref<Signal>& source) {
    rt::Ref<Disposable> d = source->subscribe(rt::Ref<Subscriber>(this));
    // What subscribing returned joins this subscription, unless it is the one the source told.
    lock_->lock();
    bool told = d.get() == source_.get();
    leave();
    if (!told) subscription_->addDisposable(d);
}

void OperatorSubscriber::sendError(const rt::Ref<ns::Error>& error) {
    if (subscription_->isDisposed()) return;
    lock_->lock();
    first_->deliverError(error);
    leave();
}

void OperatorSubscriber::sendCompleted() {
    if (subscription_->isDisposed()) return;
    lock_->lock();
    first_->deliverCompleted();
    leave();
}

void OperatorSubscriber::didSubscribeWithDisposable(const rt::Ref<CompoundDisposable>& d) {
    lock_->lock();
    if (!source_) source_ = d;
    bool ended = first_->out_.ended_;
    leave();
    if (ended) d->dispose();
    else subscription_->addDisposable(d);
}

void OperatorSubscriber::stageFinished(std::uint32_t index) {
    for (Stage* s = first_; s->out_.index_ < index; s = s->out_.next_) {
        s->out_.ended_ = true;
        s->out_.closed_ = true;
    }
    endedAt_ = 0;
    if (source_) source_->dispose();
}

void OperatorSubscriber::leaveEnded() {
    if (lock_->depth() > 1 || endedAt_ >= droppedFrom_) {
        lock_->unlock();
        return;
    }
    // The outermost frame after a stage ended: no event reaches that stage's handlers, nor the
    // stages after it, any more. What the handlers hold may include the last reference to other
    // subscribers, whose disposal takes their own locks, so it goes after this lock is let go.
    std::uint32_t from = endedAt_, to = droppedFrom_;
    droppedFrom_ = from;
    rt::Ref<Subscriber> downstream;
    if (to == kNone) downstream = std::move(subscriber_);
    lock_->unlock();
    for (Stage* s = first_; s && s->out_.index_ < to; s = s->out_.next_)
        if (s->out_.index_ >= from) s->dropHandlers();
}

// ---- Runs of operators made of handlers ---------------------------------------------------

namespace {

// The subscribe family's blocks as the last stage of a run: a block subscriber's rules, without a
// subscriber of its own.
class BlockStage final : public Stage {
public:
    struct Blocks {
        Signal::NextBlock next;
        Signal::ErrorBlock error;
        Signal::CompletedBlock completed;
    };
    explicit BlockStage(Blocks&& blocks) : blocks_(std::move(blocks)) {}

private:
    void onNext(Downstream&, const rt::Id& value) override {
        if (blocks_.next) blocks_.next(value);
    }
    // The whole subscription ends before the block runs; the block stays until the delivery returns.
    void onError(Downstream& out, const rt::Ref<ns::Error>& error) override {
        out.disposable()->dispose();
        if (blocks_.error) blocks_.error(error);
    }
    void onCompleted(Downstream& out) override {
        out.disposable()->dispose();
        if (blocks_.completed) blocks_.completed();
    }
    void dropHandlers() override { Blocks released = std::move(blocks_); }

    Blocks blocks_;
};

constexpr std::size_t kMaxRun = 32;

// The stages of a run, in one block: one per operator, and the blocks' stage when there are blocks.
class ChainSubscriber final : public OperatorSubscriber {
    RT_CLASS_REPORTING(ChainSubscriber, OperatorSubscriber)
public:
    ~ChainSubscriber() override {
        for (Stage* s = first(); s;) {
            Stage* next = s->nextStage();
            s->~Stage();
            s = next;
        }
        ::operator delete(block_, std::align_val_t(HandlerSignalBase::kStageAlignment));
    }

private:
    // `run`: the operators from the last to the one nearest the source.
    ChainSubscriber(rt::Ref<Subscriber> subscriber, const HandlerSignalBase* const* run, std::size_t count,
                    BlockStage::Blocks* blocks)
        : OperatorSubscriber(std::move(subscriber), true) {
        std::size_t size = blocks ? HandlerSignalBase::placed(sizeof(BlockStage)) : 0;
        for (std::size_t i = 0; i < count; ++i) size += run[i]->stageSize();
        block_ = ::operator new(size, std::align_val_t(HandlerSignalBase::kStageAlignment));
        Stage* stages[kMaxRun + 1] = {};
        char* at = static_cast<char*>(block_);
        for (std::size_t i = 0; i < count; ++i) {
            const HandlerSignalBase& op = *run[count - 1 - i];
            stages[i] = op.placeStage(at);
            at += op.stageSize();
        }
        if (blocks) stages[count++] = new (at) BlockStage(std::move(*blocks));
        link(stages, count);
    }

    void* block_;
};

// The run of operators made of handlers that ends with `last`, from the last; returns the source
// of the one nearest the source, which is what is subscribed.
const rt::Ref<Signal>& collectRun(const HandlerSignalBase* last, const HandlerSignalBase** run, std::size_t& count) {
    const HandlerSignalBase* op = last;
    count = 0;
    for (;;) {
        run[count++] = op;
        const HandlerSignalBase* above = count < kMaxRun ? HandlerSignalBase::asRunMember(*op->source()) : nullptr;
        if (!above) return op->source();
        op = above;
    }
}

} // namespace

const HandlerSignalBase* HandlerSignalBase::asRunMember(const Signal& signal) {
    if (&signal.actualClass() != &DynamicSignal::staticClass()) return nullptr;
    auto& dynamic = static_cast<const DynamicSignal&>(signal);
    return dynamic.isMadeOfHandlers() ? static_cast<const HandlerSignalBase*>(&dynamic) : nullptr;
}

rt::Ref<Disposable> HandlerSignalBase::subscribeImpl(const rt::Ref<Subscriber>& subscriber) {
    const HandlerSignalBase* run[kMaxRun];
    std::size_t count;
    const rt::Ref<Signal>& source = collectRun(this, run, count);
    rt::Ref<OperatorSubscriber> receiver =
        count == 1 ? singleStage(subscriber)
                   : rt::Ref<OperatorSubscriber>(rt::make<ChainSubscriber>(subscriber, run, count, nullptr));
    const rt::Ref<CompoundDisposable>& subscription = receiver->disposable();
    subscriber->didSubscribeWithDisposable(subscription);
    subscribeOnSubscriptionScheduler(subscription, [source, receiver] { receiver->subscribeTo(source); });
    return subscription;
}

rt::Ref<Disposable> HandlerSignalBase::subscribeBlocks(NextBlock next, ErrorBlock error, CompletedBlock completed) const {
    const HandlerSignalBase* run[kMaxRun];
    std::size_t count;
    const rt::Ref<Signal>& source = collectRun(this, run, count);
    BlockStage::Blocks blocks{std::move(next), std::move(error), std::move(completed)};
    auto receiver = rt::make<ChainSubscriber>(nullptr, run, count, &blocks);
    rt::Ref<CompoundDisposable> subscription = receiver->disposable();
    subscribeOnSubscriptionScheduler(subscription, [source, receiver] { receiver->subscribeTo(source); });
    return subscription;
}

} // namespace es
