#pragma once
// A channel bound to a key path of an object, and the one-way binding of a signal to a key path.
//
// The leading side of a es::KVOChannel belongs to the property: its values (the current one
// first, then every change) are sent into the leading terminal, and what is sent into the
// following terminal is written to the property. Callers hold and use the following terminal. A
// write is not echoed back to the party that made it: the writing thread keeps a record for the
// channel while it writes, and the notification the write raises on that thread is dropped.

#include <string>
#include <string_view>

#include "platform/runtime/object.h"
#include "streams/channel.h"

namespace es {

class KVOChannel;

// The writing thread's record for one channel: set while its write is in progress.
struct KVOChannelData {
    bool ignoreNextUpdate = false;
    const KVOChannel* owner = nullptr; // identity only

    static KVOChannelData dataForChannel(const KVOChannel* channel) { return {false, channel}; }
};

class KVOChannel final : public Channel {
    RT_CLASS(KVOChannel)
public:
    // The target is held weakly; the channel completes when it begins to deallocate (at once when
    // it is gone already). A nil value sent in writes `nilValue`. A key path with an empty key
    // ("", "a..b") is logged and gives a channel that is complete at once.
    static rt::Ref<KVOChannel> withTargetKeyPathNilValue(const rt::Id& target, std::string_view keyPath,
                                                         const rt::Id& nilValue);

    rt::Id target() const { return target_.lock(); }
    const std::string& keyPath() const noexcept { return keyPath_; }

    // The keyed subscripts: the terminal named by the key ("followingTerminal" or
    // "leadingTerminal"), and binding that terminal to another channel's terminal. After binding
    // one's "followingTerminal" to another's, the first property takes the other's value first.
    rt::Ref<ChannelTerminal> objectForKeyedSubscript(std::string_view key) const;
    void setObjectForKeyedSubscript(const rt::Ref<ChannelTerminal>& otherTerminal, std::string_view key);

    // This thread's record for the channel, or null; made when missing; removed.
    KVOChannelData* currentThreadData() const;
    void createCurrentThreadData() const;
    void destroyCurrentThreadData() const;

private:
    KVOChannel(const rt::Id& target, std::string_view keyPath) : target_(target), keyPath_(keyPath) {}
    void start(const rt::Id& target, const rt::Id& nilValue);
    // Writes a value sent into the following terminal to the property.
    void write(const rt::Id& value, const rt::Id& nilValue) const;

    const rt::Weak<rt::Object> target_;
    const std::string keyPath_;
};

// The one-way binding that assignment to a key path produces: `trampoline[keyPath] = signal`
// sets each value of the signal on the target's key path (nil as `nilValue`).
class SubscriptingAssignmentTrampoline final : public rt::Object {
    RT_CLASS(SubscriptingAssignmentTrampoline)
public:
    // Nil for a nil target.
    static rt::Ref<SubscriptingAssignmentTrampoline> withTargetNilValue(const rt::Id& target, const rt::Id& nilValue);

    const rt::Id& target() const noexcept { return target_; }
    const rt::Id& nilValue() const noexcept { return nilValue_; }

    // Binds the signal to the target's key path, until the signal ends or the target deallocates;
    // returns the binding's disposable.
    rt::Ref<Disposable> setObjectForKeyedSubscript(const rt::Ref<Signal>& signal, std::string_view keyPath);

private:
    SubscriptingAssignmentTrampoline(rt::Id target, rt::Id nilValue)
        : target_(std::move(target)), nilValue_(std::move(nilValue)) {}

    const rt::Id target_;
    const rt::Id nilValue_;
};

} // namespace es
