#include "platform/media/player.h"

#include <atomic>
#include <mutex>

#include "platform/foundation/clock.h"
#include "platform/foundation/notification_center.h"
#include "platform/graphics/color.h"
#include "platform/graphics/image.h"
#include "platform/media/camera_frames.h"
#include "platform/runtime/class.h"
#include "platform/sim/callbacks.h"
#include "platform/sim/device.h"

namespace av {

RT_DEFINE_CLASS(PlayerItem, "AVPlayerItem", rt::Object, rt::prop("URL", &PlayerItem::url))
RT_DEFINE_CLASS(Player, "AVPlayer", rt::Object, rt::prop("currentItem", &Player::currentItem),
                rt::prop("rate", &Player::rate), rt::method("play", &Player::play), rt::method("pause", &Player::pause))
RT_DEFINE_CLASS(PlayerLayer, "AVPlayerLayer", ca::Layer, rt::prop("player", &PlayerLayer::player),
                rt::prop("videoGravity", &PlayerLayer::videoGravity, {.memory = rt::Memory::Copy}))

namespace {
std::atomic<long> playersAlive{0};
constexpr double kPlayerOneFrame = 1.0 / 30;
} // namespace

PlayerItem::PlayerItem(rt::Ref<ns::URL> url) : url_(std::move(url)) {
    if (url_) movie_ = readMovieFile(url_->path()->utf8());
    if (movie_) duration_ = cm::timeMakeWithSeconds(movie_->duration, 600);
}

rt::Ref<PlayerItem> PlayerItem::playerItemWithURL(const rt::Ref<ns::URL>& url) {
    return rt::make<PlayerItem>(url);
}

// Where the current item is: its position, and the end that is due while it plays.
struct Player::Playback {
    std::mutex lock;
    bool playing = false;
    unsigned long generation = 0; // a pending end counts only for its own generation
    double position = 0, startedAt = 0;
};

Player::Player() : playback_(std::make_shared<Playback>()) {
    playersAlive.fetch_add(1);
}

Player::~Player() {
    playersAlive.fetch_sub(1);
    std::lock_guard g(playback_->lock);
    ++playback_->generation;
}

long Player::liveCount() {
    return playersAlive.load();
}

void Player::replaceCurrentItemWithPlayerItem(const rt::Ref<PlayerItem>& item) {
    std::lock_guard g(playback_->lock);
    ++playback_->generation;
    playback_->position = 0;
    playback_->startedAt = ns::Clock::currentTime();
    item_ = item;
    if (!item_) playback_->playing = false;
}

void Player::play() {
    unsigned long which = 0;
    double left = 0;
    {
        std::lock_guard g(playback_->lock);
        if (playback_->playing || !item_) return;
        playback_->playing = true;
        playback_->startedAt = ns::Clock::currentTime();
        which = ++playback_->generation;
        if (!item_->duration().isValid()) return; // a missing movie never ends
        // Even an empty movie shows one frame: a loop over it still moves on in time.
        left = std::max(kPlayerOneFrame, item_->duration().seconds() - playback_->position);
    }
    sim::Device::shared().log("movie playing");
    sim::deliverCallback(
        [weak = std::weak_ptr<Playback>(playback_), item = item_, which] {
            auto playback = weak.lock();
            if (!playback) return;
            {
                std::lock_guard g(playback->lock);
                if (playback->generation != which || !playback->playing) return;
                playback->playing = false;
                playback->position = item->duration().seconds();
            }
            ns::NotificationCenter::defaultCenter()->postNotificationName(
                std::string_view(ns::AVPlayerItemDidPlayToEndTimeNotification), item);
        },
        left);
}

void Player::pause() {
    std::lock_guard g(playback_->lock);
    if (!playback_->playing) return;
    playback_->playing = false;
    ++playback_->generation;
    playback_->position += ns::Clock::currentTime() - playback_->startedAt;
}

float Player::rate() const {
    std::lock_guard g(playback_->lock);
    return playback_->playing ? 1.0f : 0.0f;
}

PlayerLayer::PlayerLayer(rt::Ref<Player> player)
    : player_(std::move(player)), gravity_(ns::String::make(LayerVideoGravityResizeAspect)) {}

rt::Ref<PlayerLayer> PlayerLayer::playerLayerWithPlayer(const rt::Ref<Player>& player) {
    return rt::make<PlayerLayer>(player);
}

void PlayerLayer::drawInContext(cg::Context& context) const {
    if (!player_ || !player_->currentItem()) return;
    context.setFillColor(cg::Color::gray(0.15));
    context.fillRect(cg::Rect::make(0, 0, frame().width(), frame().height()));
    // What was recorded: the camera's picture again (the movie keeps no pixels).
    if (const auto& movie = player_->currentItem()->movie())
        if (auto picture = cameraPicture(movie->front ? CaptureDevicePosition::Front : CaptureDevicePosition::Back))
            drawCameraPicture(context, cg::Rect::make(0, 0, frame().width(), frame().height()), picture,
                              movie->mirrored);
}

} // namespace av
