#include "diagnostics/audio_motion_radio_power/louder_speaker_view_controller.h"

#include "platform/foundation/bundle.h"
#include "platform/media/audio_recorder.h"
#include "platform/media/audio_session.h"
#include "platform/mediaplayer/music_player_controller.h"
#include "platform/runtime/class.h"
#include "platform/uikit/label.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "session/test_screen_scene.h"
#include "streams/signal.h"

namespace ft {

namespace {

const bool louderSpeakerNibRegistered = registerTestScreenNib<LouderSpeakerViewController>(
    "LouderSpeakerViewController", [](const rt::Ref<ui::View>& view, LouderSpeakerViewController& screen) {
        const double width = view->bounds().width();
        screen.setLabelTips(addSceneLabel(view, cg::Rect::make(20, 200, width - 40, 120), 17));
    });

} // namespace

RT_DEFINE_CLASS(LouderSpeakerViewController, "LouderSpeakerViewController", BaseModelViewController,
                rt::prop("avAudioPlayer", &LouderSpeakerViewController::avAudioPlayer),
                rt::prop("launchVolume", &LouderSpeakerViewController::launchVolume),
                rt::prop("category", &LouderSpeakerViewController::category, {.memory = rt::Memory::Copy}),
                rt::prop("labelTips", &LouderSpeakerViewController::labelTips, &LouderSpeakerViewController::setLabelTips,
                         {.memory = rt::Memory::Weak}))

LouderSpeakerViewController::LouderSpeakerViewController() = default;
LouderSpeakerViewController::~LouderSpeakerViewController() = default;

rt::Ref<ui::Label> LouderSpeakerViewController::labelTips() const {
    return labelTips_.lock();
}

void LouderSpeakerViewController::setLabelTips(const rt::Ref<ui::Label>& label) {
    labelTips_ = label;
}

void LouderSpeakerViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    if (auto title = labelTitle()) title->setText(localized("LOUDERSPEAKER_CONTROLLER_TITLE"));
    if (auto tips = labelTips()) tips->setText(localized("LOUDERSPEAKER_CONTROLLER_ANSWER"));
    rt::Weak<LouderSpeakerViewController> weak(rt::retained(this));
    present()
        ->initially([weak] {
            auto self = weak.lock();
            if (!self) return;
            const auto path = ns::Bundle::mainBundle()->pathForResourceOfType("audiotest", "mp3");
            self->avAudioPlayer_ = path ? av::AudioPlayer::initWithContentsOfURL(ns::URL::fileURLWithPath(path->utf8()))
                                        : nullptr;
        })
        ->subscribeNext([weak](bool present) {
            if (auto self = weak.lock()) self->shown(present);
        });
    choose()->subscribeNext([weak](bool yes) {
        auto self = weak.lock();
        if (!self) return;
        if (auto item = self->info()) item->setSuccess(yes ? TestBaseModel::kPassed : TestBaseModel::kFailed);
        self->gotoResultView();
    });
}

void LouderSpeakerViewController::shown(bool present) {
    const auto& session = av::AudioSession::sharedInstance();
    const auto music = mp::MusicPlayerController::applicationMusicPlayer();
    if (present) {
        category_ = session->category();
        session->setCategory(av::AudioSessionCategoryPlayback);
        launchVolume_ = music->volume();
        music->setVolume(1.0f);
        if (avAudioPlayer_) {
            avAudioPlayer_->prepareToPlay();
            avAudioPlayer_->play();
        }
        return;
    }
    if (avAudioPlayer_) avAudioPlayer_->stop();
    music->setVolume(launchVolume_);
    if (category_) session->setCategory(category_->utf8());
}

} // namespace ft
