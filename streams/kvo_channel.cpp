#include "streams/kvo_channel.h"

#include <algorithm>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/format.h"
#include "platform/foundation/key_value_observing.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/log.h"
#include "streams/dealloc.h"
#include "streams/description.h"
#include "streams/key_value_observing.h"
#include "streams/operator_support.h"

namespace es {

RT_DEFINE_CLASS(KVOChannel, "ESKVOChannel", Channel)
RT_DEFINE_CLASS(SubscriptingAssignmentTrampoline, "ESSubscriptingAssignmentTrampoline", rt::Object)

namespace {
// This thread's records, at most one per channel.
thread_local std::vector<KVOChannelData> tChannelData;
} // namespace

// ---- Per-thread records -------------------------------------------------------------------

KVOChannelData* KVOChannel::currentThreadData() const {
    for (KVOChannelData& d : tChannelData)
        if (d.owner == this) return &d;
    return nullptr;
}

void KVOChannel::createCurrentThreadData() const {
    if (!currentThreadData()) tChannelData.push_back(KVOChannelData::dataForChannel(this));
}

void KVOChannel::destroyCurrentThreadData() const {
    auto it = std::find_if(tChannelData.begin(), tChannelData.end(), [this](const KVOChannelData& d) { return d.owner == this; });
    if (it != tChannelData.end()) tChannelData.erase(it);
}

// ---- The channel --------------------------------------------------------------------------

rt::Ref<KVOChannel> KVOChannel::withTargetKeyPathNilValue(const rt::Id& target, std::string_view keyPath,
                                                          const rt::Id& nilValue) {
    auto channel = rt::make<KVOChannel>(target, keyPath);
    channel->start(target, nilValue);
    return channel;
}

void KVOChannel::start(const rt::Id& target, const rt::Id& nilValue) {
    if (debugNamesEnabled()) {
        leadingTerminal()->setNameWithFormat("[-initWithTarget: %@ keyPath: %@ nilValue: %@] -leadingTerminal",
                                             es::description(target), keyPath_, es::description(nilValue));
        followingTerminal()->setNameWithFormat("[-initWithTarget: %@ keyPath: %@ nilValue: %@] -followingTerminal",
                                               es::description(target), keyPath_, es::description(nilValue));
    }
    const bool valid = isValidKeyPath(keyPath_);
    if (!valid)
        ns::logLine("[ESKVOChannel initWithTarget:keyPath:nilValue:]: the key path \"" + keyPath_ +
                    "\" has an empty key; the channel is complete.");
    if (!target || !valid) {
        leadingTerminal()->sendCompleted();
        return;
    }
    // The target's deallocation completes the channel. Added before the observation, which holds
    // the channel: its disposal may let the channel go.
    rt::Weak<KVOChannel> weakSelf(this);
    addDeallocDisposable(target.get(), Disposable::withBlock([weakSelf] {
        if (auto self = weakSelf.lock()) self->leadingTerminal()->sendCompleted();
    }));

    // The property's values go into the leading terminal, except the notification of this
    // thread's own write.
    rt::Ref<KVOChannel> self(this);
    auto observation = observeKeyPath(target, keyPath_, ns::KeyValueObservingOptions::Initial, nullptr,
                                      [self](const rt::Id& value, const rt::Ref<ns::Dictionary>&, bool causedByDealloc,
                                             bool affectedOnlyLastComponent) {
                                          if (!causedByDealloc && affectedOnlyLastComponent) {
                                              KVOChannelData* data = self->currentThreadData();
                                              if (data && data->ignoreNextUpdate) {
                                                  self->destroyCurrentThreadData();
                                                  return;
                                              }
                                          }
                                          self->leadingTerminal()->sendNext(value);
                                      });

    // What is sent into the following terminal is written to the property; the end of that
    // subscription ends the observation.
    auto writer = BlockSubscriber::subscriberWithNextErrorCompleted(
        [weakSelf, nilValue](const rt::Id& value) {
            if (auto self = weakSelf.lock()) self->write(value, nilValue);
        },
        [weakSelf](const rt::Ref<ns::Error>& error) {
            if (auto self = weakSelf.lock()) ns::logLine(ns::format("Received error in %@: %@", self, error));
        },
        nullptr);
    writer->disposable()->addDisposable(observation);
    leadingTerminal()->subscribe(writer);
}

void KVOChannel::write(const rt::Id& value, const rt::Id& nilValue) const {
    rt::Id target = target_.lock();
    if (!target) return;
    const std::size_t dot = keyPath_.rfind('.');
    // The object that holds the last key: the target, or the value of the path before that key.
    rt::Id object = dot == std::string::npos ? target : ns::valueForKeyPath(target, std::string_view(keyPath_).substr(0, dot));
    if (!object) return;
    createCurrentThreadData();
    currentThreadData()->ignoreNextUpdate = true;
    ns::setValueForKey(object, value ? value : nilValue, dot == std::string::npos ? keyPath_ : keyPath_.substr(dot + 1));
    // A write that raised no notification (an equal value, a key announced by hand) would leave
    // the record behind, and the next genuine change on this thread would be dropped in its place.
    destroyCurrentThreadData();
}

rt::Ref<ChannelTerminal> KVOChannel::objectForKeyedSubscript(std::string_view key) const {
    return rt::cast<ChannelTerminal>(ns::valueForKey(rt::retained(this), key));
}

void KVOChannel::setObjectForKeyedSubscript(const rt::Ref<ChannelTerminal>& otherTerminal, std::string_view key) {
    rt::Ref<ChannelTerminal> terminal = objectForKeyedSubscript(key);
    if (!otherTerminal || !terminal) {
        ns::logLine("[" + Object::description() + " setObject:forKeyedSubscript:]: " +
                    (otherTerminal ? "no terminal named \"" + std::string(key) + "\"" : std::string("a nil terminal")) +
                    "; nothing is bound.");
        return;
    }
    // The other side's values (its current one first) are written here; this side's later values
    // go there, its own current value (replayed at once) not.
    otherTerminal->subscribe(terminal);
    terminal->skip(1)->subscribe(otherTerminal);
}

// ---- Subscript assignment -----------------------------------------------------------------

rt::Ref<SubscriptingAssignmentTrampoline> SubscriptingAssignmentTrampoline::withTargetNilValue(const rt::Id& target,
                                                                                               const rt::Id& nilValue) {
    if (!target) return nullptr;
    return rt::make<SubscriptingAssignmentTrampoline>(target, nilValue);
}

rt::Ref<Disposable> SubscriptingAssignmentTrampoline::setObjectForKeyedSubscript(const rt::Ref<Signal>& signal,
                                                                                std::string_view keyPath) {
    return signalArgument(signal)->setKeyPathOnObjectNilValue(keyPath, target_, nilValue_);
}

} // namespace es
