#pragma once
// Movie playback: av::PlayerItem ("AVPlayerItem") is one movie file, av::Player ("AVPlayer") plays
// its current item, and av::PlayerLayer ("AVPlayerLayer") shows a player.
//
// Playing runs the item's movie (a file the movie output wrote) to its end, one movie length
// (at least one frame, 1/30 s) after play for a fresh item, the rest of it after a pause; the end posts
// AVPlayerItemDidPlayToEndTimeNotification with the item as object where the device's callbacks
// come from (sim/callbacks.h), and the player stops at the end. An item whose file is missing or
// unreadable never ends. A pause, a new item or the player going away cancels a pending end.
// Set up and driven from the main thread.

#include <memory>
#include <optional>
#include <string_view>

#include "platform/foundation/url.h"
#include "platform/graphics/layer.h"
#include "platform/media/capture_outputs.h"

namespace av {

class PlayerItem final : public rt::Object {
    RT_CLASS(PlayerItem)
public:
    static rt::Ref<PlayerItem> playerItemWithURL(const rt::Ref<ns::URL>& url);
    const rt::Ref<ns::URL>& url() const noexcept { return url_; }
    // The movie's length; invalid for a file that is missing or not a movie.
    cm::Time duration() const noexcept { return duration_; }
    const std::optional<MovieFileInfo>& movie() const noexcept { return movie_; }

    explicit PlayerItem(rt::Ref<ns::URL> url);

private:
    rt::Ref<ns::URL> url_;
    std::optional<MovieFileInfo> movie_;
    cm::Time duration_ = cm::kTimeInvalid;
};

class Player final : public rt::Object {
    RT_CLASS(Player)
public:
    static rt::Ref<Player> make() { return rt::make<Player>(); }
    const rt::Ref<PlayerItem>& currentItem() const noexcept { return item_; }
    void replaceCurrentItemWithPlayerItem(const rt::Ref<PlayerItem>& item);
    void play();
    void pause();
    // 1 while playing, 0 otherwise.
    float rate() const;
    // Players alive now, in the process (what a leak check counts).
    static long liveCount();

    struct Playback;
    Player();
    ~Player() override;

private:
    rt::Ref<PlayerItem> item_;
    std::shared_ptr<Playback> playback_;
};

class PlayerLayer final : public ca::Layer {
    RT_CLASS(PlayerLayer)
public:
    static rt::Ref<PlayerLayer> playerLayerWithPlayer(const rt::Ref<Player>& player);
    const rt::Ref<Player>& player() const noexcept { return player_; }
    const rt::Ref<ns::String>& videoGravity() const noexcept { return gravity_; }
    void setVideoGravity(std::string_view gravity) { gravity_ = ns::String::make(gravity); }

    explicit PlayerLayer(rt::Ref<Player> player);

protected:
    // While an item plays: a dark frame with the side it was recorded on.
    void drawInContext(cg::Context& context) const override;

private:
    rt::Ref<Player> player_;
    rt::Ref<ns::String> gravity_;
};

} // namespace av
