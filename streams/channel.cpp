#include "streams/channel.h"

#include "platform/foundation/error.h"
#include "platform/runtime/class.h"
#include "streams/subject.h"

namespace es {

RT_DEFINE_CLASS(ChannelTerminal, "ESChannelTerminal", Signal)
RT_DEFINE_CLASS(Channel, "ESChannel", rt::Object,
                rt::prop("leadingTerminal", &Channel::leadingTerminal),
                rt::prop("followingTerminal", &Channel::followingTerminal))

rt::Ref<ChannelTerminal> ChannelTerminal::withValuesOtherTerminal(rt::Ref<Signal> values,
                                                                  rt::Ref<Subscriber> otherTerminal) {
    return rt::make<ChannelTerminal>(std::move(values), std::move(otherTerminal));
}

void ChannelTerminal::sendError(const rt::Ref<ns::Error>& error) { otherTerminal_->sendError(error); }

namespace {
// The end of `from` goes on to `to`. `to` is held weakly: each terminal holds both subjects, so
// while any party can still send or subscribe, both are alive, and two subjects forwarding to each
// other never keep a channel that is not ended alive.
void forwardEnd(const rt::Ref<ReplaySubject>& from, const rt::Ref<ReplaySubject>& to) {
    rt::Weak<ReplaySubject> weakTo(to);
    from->subscribeErrorCompleted(
        [weakTo](const rt::Ref<ns::Error>& error) {
            if (auto subject = weakTo.lock()) subject->sendError(error);
        },
        [weakTo] {
            if (auto subject = weakTo.lock()) subject->sendCompleted();
        });
}
} // namespace

Channel::Channel() {
    auto leading = ReplaySubject::replaySubjectWithCapacity(0);
    leading->setNameWithFormat("leadingSubject");
    auto following = ReplaySubject::replaySubjectWithCapacity(1);
    following->setNameWithFormat("followingSubject");
    forwardEnd(leading, following);
    forwardEnd(following, leading);
    leadingTerminal_ = ChannelTerminal::withValuesOtherTerminal(leading, following);
    leadingTerminal_->setNameWithFormat("leadingTerminal");
    followingTerminal_ = ChannelTerminal::withValuesOtherTerminal(following, leading);
    followingTerminal_->setNameWithFormat("followingTerminal");
}

rt::Ref<Channel> Channel::make() { return rt::make<Channel>(); }

} // namespace es
