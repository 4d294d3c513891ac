#include "diagnostics/display_touch_camera_keys/camera_video_view_controller.h"

#include "diagnostics/display_touch_camera_keys/camera_screen_support.h"
#include "diagnostics/display_touch_camera_keys/test_screen_support.h"
#include "platform/foundation/application_home.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/format.h"
#include "platform/foundation/notification_center.h"
#include "platform/media/audio_session.h"
#include "platform/media/capture_outputs.h"
#include "platform/media/player.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/button.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "streams/disposable.h"
#include "streams/foundation_signals.h"
#include "streams/kvo_channel.h"
#include "streams/property_signals.h"
#include "streams/scheduler.h"
#include "streams/selector_interception.h"
#include "streams/signal.h"
#include "streams/subscriber.h"
#include "ui/layout/constraint_maker.h"
#include "ui/layout/view_additions.h"

namespace ft {

namespace {

constexpr long long kVideoMinFreeDisk = 1048576;
constexpr std::int32_t kVideoDurationTimescale = 5;
constexpr std::int32_t kVideoFramesPerSecond = 20;

const bool cameraVideoNibRegistered = registerTestScreenNib<CameraVideoViewController>(
    "CameraVideoViewController", [](const rt::Ref<ui::View>& view, CameraVideoViewController& screen) {
        const double width = view->bounds().width();
        // The title as far under the bars as the other screens' first lines.
        auto title = addSceneLabel(view, cg::Rect::make(20, 100, width - 40, 30), 20);
        screen.setTestLabel(title);
        auto preview =
            addCameraPreview(view, screen, title, {.labelTop = kFirstLineUnderBars, .labelHeight = 30, .previewGap = 5});
        screen.setPreviewImageView(preview);
        auto question = addSceneLabel(view, cg::Rect::make(20, 0, width - 40, 70), 18);
        lc::makeConstraints(question, [&](lc::ConstraintMaker& make) {
            make.top()->equalTo(lc::bottom(preview))->offset(5);
            make.left()->equalTo(view)->offset(20);
            make.right()->equalTo(view)->offset(-20);
            make.height()->equalTo(70);
        });
        keepAboveAnswers(screen, question);
        screen.setColorLabel(question);
    });

// The movie output's delegate callback, with the arguments it carries.
const rt::Sel& videoDidFinishRecording() {
    static const rt::Sel selector(av::kDidFinishRecordingSelector);
    return selector;
}

} // namespace

RT_DEFINE_CLASS(CameraVideoViewController, "CameraVideoViewController", BaseModelViewController,
                rt::prop("previewImageView", &CameraVideoViewController::previewImageView,
                         &CameraVideoViewController::setPreviewImageView, {.memory = rt::Memory::Weak}),
                rt::prop("colorLabel", &CameraVideoViewController::colorLabel,
                         &CameraVideoViewController::setColorLabel, {.memory = rt::Memory::Weak}),
                rt::prop("testLabel", &CameraVideoViewController::testLabel,
                         &CameraVideoViewController::setTestLabel, {.memory = rt::Memory::Weak}),
                rt::prop("recordButton", &CameraVideoViewController::recordButton,
                         &CameraVideoViewController::setRecordButton, {.memory = rt::Memory::Weak}),
                rt::prop("session", &CameraVideoViewController::session),
                rt::prop("deviceInput", &CameraVideoViewController::deviceInput),
                rt::prop("previewLayer", &CameraVideoViewController::previewLayer),
                rt::prop("movieFileOutput", &CameraVideoViewController::movieFileOutput),
                rt::prop("playLayer", &CameraVideoViewController::playLayer),
                rt::prop("lastPlayerItem", &CameraVideoViewController::lastPlayerItem),
                rt::prop("player", &CameraVideoViewController::player),
                rt::prop("recording", &CameraVideoViewController::isRecording, &CameraVideoViewController::setRecording,
                         {.getter = "isRecording"}),
                rt::prop("playing", &CameraVideoViewController::isPlaying, &CameraVideoViewController::setPlaying,
                         {.getter = "isPlaying"}),
                rt::prop("recordCount", &CameraVideoViewController::recordCount),
                rt::method("recordToggleButtonPress", &CameraVideoViewController::recordToggleButtonPress),
                rt::adopts(av::captureFileOutputRecordingDelegateProtocol()))

CameraVideoViewController::CameraVideoViewController() = default;

CameraVideoViewController::~CameraVideoViewController() = default;

void CameraVideoViewController::setPreviewImageView(const rt::Ref<ui::ImageView>& view) {
    rt::KeyChange change(this, "previewImageView");
    previewImageView_ = view;
}

void CameraVideoViewController::setColorLabel(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "colorLabel");
    colorLabel_ = label;
}

void CameraVideoViewController::setTestLabel(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "testLabel");
    testLabel_ = label;
}

void CameraVideoViewController::setRecordButton(const rt::Ref<ui::Button>& button) {
    rt::KeyChange change(this, "recordButton");
    recordButton_ = button;
}

void CameraVideoViewController::setRecording(bool recording) {
    rt::KeyChange change(this, "recording");
    recording_ = recording;
}

void CameraVideoViewController::setPlaying(bool playing) {
    rt::KeyChange change(this, "playing");
    playing_ = playing;
}

std::string CameraVideoViewController::movieFile() {
    return ns::format("%@%@", ns::String::make(ns::temporaryDirectoryPath()), ns::String::make("output.mov"));
}

void CameraVideoViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    setRecording(false);
    setPlaying(false);
    if (auto label = testLabel()) label->setText(localized("CAMERA_VIDEO_CONTROLLER_TITLE"));
    const rt::Weak<CameraVideoViewController> weak(rt::retained(this));
    present()->subscribeNext([weak](bool shown) {
        auto self = weak.lock();
        if (!self) return;
        if (shown) {
            self->hidenButtons(true);
            return;
        }
        if (self->session()) self->session()->stopRunning();
        if (self->player()) self->player()->pause();
    });
    requestCameraAccess(
        [weak] {
            if (auto self = weak.lock()) self->start();
        },
        [weak] {
            if (auto self = weak.lock()) recordVerdict(*self, false, "camera access is refused");
        });
}

void CameraVideoViewController::start() {
    const rt::Weak<CameraVideoViewController> weak(rt::retained(this));
    captureImage();
    addMovieOutput();
    if (session_) session_->startRunning();
    auto step1 = countDownSignal(ns::String::make(""), kCountDown, false)->doCompleted([weak] {
        if (auto self = weak.lock()) self->setRecording(true);
    });
    auto step2 = countDownSignal(localized("CAMERA_VIDEO_CONTROLLER_STEP2"), kRecordCount, true);
    auto step3 = es::Signal::returnValue(localized("CAMERA_VIDEO_CONTROLLER_ANSWER"))->initially([weak] {
        if (auto self = weak.lock()) {
            self->setupPlayerAndLayer();
            self->setPlaying(true);
        }
    });
    const rt::Id self = rt::retained(this);
    const auto yesOnly = [](bool value) { return value; };
    es::valuesForKeyPath(self, "recording", self)->filter(yesOnly)->subscribeNext([weak](const rt::Id&) {
        if (auto self = weak.lock()) self->recordSignal()->subscribeCompleted([] {});
    });
    es::valuesForKeyPath(self, "playing", self)->filter(yesOnly)->subscribeNext([weak](const rt::Id&) {
        auto self = weak.lock();
        if (!self) return;
        self->repeatPlayAndWaitConfimSignal()->subscribeNext([weak](bool yes) {
            if (auto self = weak.lock()) recordVerdict(*self, yes);
        });
    });
    // The buttons appear with the playback; nothing hides them again.
    for (const auto& button : {failButton(), successButton()})
        if (button)
            es::SubscriptingAssignmentTrampoline::withTargetNilValue(button, nullptr)
                ->setObjectForKeyedSubscript(
                    es::valuesForKeyPath(self, "playing", self)->filter(yesOnly)->map([](bool on) { return !on; }),
                    "hidden");
    if (auto label = colorLabel())
        es::SubscriptingAssignmentTrampoline::withTargetNilValue(label, nullptr)
            ->setObjectForKeyedSubscript(es::Signal::concat({step1, step2, step3}), "text");
}

void CameraVideoViewController::viewDidLayoutSubviews() {
    BaseModelViewController::viewDidLayoutSubviews();
    if (auto host = previewImageView(); host && previewLayer_) previewLayer_->setFrame(host->bounds());
}

void CameraVideoViewController::captureImage() {
    // The screen plays back what it records: play and record, out of the speaker.
    const auto& audio = av::AudioSession::sharedInstance();
    audio->setCategory(av::AudioSessionCategoryPlayAndRecord);
    audio->overrideOutputAudioPort(av::AudioSessionPortOverride::Speaker);
    audio->setActive(true);
    auto session = makeCameraSession(av::CaptureSessionPresetHigh, info().get());
    if (!session) return;
    session->setAutomaticallyConfiguresApplicationAudioSession(false);
    auto microphone = av::CaptureDeviceInput::deviceInputWithDevice(
        av::CaptureDevice::defaultDeviceWithMediaType(av::MediaTypeAudio));
    if (microphone && session->canAddInput(microphone)) session->addInput(microphone);
    rt::KeyChange sessionChange(this, "session");
    rt::KeyChange layerChange(this, "previewLayer");
    session_ = session;
    previewLayer_ = av::CaptureVideoPreviewLayer::layerWithSession(session);
    previewLayer_->setVideoGravity(av::LayerVideoGravityResizeAspectFill);
    if (auto host = previewImageView()) host->layer()->addSublayer(previewLayer_);
}

void CameraVideoViewController::addMovieOutput() {
    auto output = av::CaptureMovieFileOutput::make();
    output->setMaxRecordedDuration(cm::timeMakeWithSeconds(kRecordSeconds, kVideoDurationTimescale));
    output->setMinFreeDiskSpaceLimit(kVideoMinFreeDisk);
    {
        rt::KeyChange change(this, "movieFileOutput");
        movieFileOutput_ = output;
    }
    if (session_ && session_->canAddOutput(output)) session_->addOutput(output);
    cameraSetOutputProperties();
    if (!session_) return;
    if (session_->canSetSessionPreset(av::CaptureSessionPresetMedium))
        session_->setSessionPreset(av::CaptureSessionPresetMedium);
    if (session_->canSetSessionPreset(av::CaptureSessionPreset640x480))
        session_->setSessionPreset(av::CaptureSessionPreset640x480);
}

void CameraVideoViewController::cameraSetOutputProperties() {
    auto connection = movieFileOutput_ ? movieFileOutput_->connectionWithMediaType(av::MediaTypeVideo) : nullptr;
    const auto show = [&connection] {
        cm::timeShow(connection ? connection->videoMinFrameDuration() : cm::kTimeInvalid);
        cm::timeShow(connection ? connection->videoMaxFrameDuration() : cm::kTimeInvalid);
    };
    if (connection) {
        connection->setVideoMirrored(itemIsFront(info().get()));
        if (connection->isVideoOrientationSupported())
            connection->setVideoOrientation(av::CaptureVideoOrientation::Portrait);
    }
    show();
    if (connection) {
        const cm::Time frame = cm::timeMake(1, kVideoFramesPerSecond);
        if (connection->isVideoMinFrameDurationSupported()) connection->setVideoMinFrameDuration(frame);
        if (connection->isVideoMaxFrameDurationSupported()) connection->setVideoMaxFrameDuration(frame);
    }
    show();
}

void CameraVideoViewController::setupPlayerAndLayer() {
    rt::KeyChange playerChange(this, "player");
    rt::KeyChange layerChange(this, "playLayer");
    player_ = av::Player::make();
    playLayer_ = av::PlayerLayer::playerLayerWithPlayer(player_);
    playLayer_->setVideoGravity(av::LayerVideoGravityResizeAspectFill);
    if (auto host = previewImageView()) {
        playLayer_->setFrame(host->bounds());
        host->layer()->addSublayer(playLayer_);
    }
}

rt::Ref<es::Signal> CameraVideoViewController::countDownSignal(const rt::Ref<ns::String>& title, std::int64_t count,
                                                               bool additional) {
    const rt::Weak<CameraVideoViewController> weak(rt::retained(this));
    return es::Signal::createSignal(
        [weak, title, count, additional](const rt::Ref<es::Subscriber>& subscriber) -> rt::Ref<es::Disposable> {
            auto self = weak.lock();
            if (!self) return nullptr;
            auto counter = std::make_shared<std::int64_t>(count);
            const std::int64_t last = additional ? -1 : 0;
            auto disposable = es::CompoundDisposable::make();
            disposable->addDisposable(
                es::Signal::interval(1.0, es::Scheduler::mainThreadScheduler())
                    ->take(std::size_t(count - last))
                    ->takeUntil(self->disappear())
                    ->subscribeNextCompleted(
                        [subscriber, title, counter](const rt::Id&) {
                            subscriber->sendNext(ns::stringWithFormat("%@ \n %ld", title, long(*counter)));
                            --*counter;
                        },
                        // Cut short by the screen leaving, the count ends the steps: nothing is
                        // recorded or played for a screen that has gone.
                        [subscriber, counter, last] {
                            if (*counter == last) subscriber->sendCompleted();
                        }));
            return disposable;
        });
}

rt::Ref<es::Signal> CameraVideoViewController::recordSignal() {
    const rt::Weak<CameraVideoViewController> weak(rt::retained(this));
    return es::Signal::createSignal([weak](const rt::Ref<es::Subscriber>& subscriber) -> rt::Ref<es::Disposable> {
        auto self = weak.lock();
        if (!self) return nullptr;
        const std::string path = movieFile();
        const auto& files = ns::FileManager::defaultManager();
        if (files->fileExistsAtPath(path)) files->removeItemAtPath(path);
        // The platform tells the delegate on its own thread: the recording ends on the main queue.
        auto finished = es::signalForSelectorFromProtocol(self.get(), videoDidFinishRecording(),
                                                          av::captureFileOutputRecordingDelegateProtocol())
                            ->deliverOnMainThread()
                            ->subscribeNext([subscriber](const rt::Id&) { subscriber->sendCompleted(); });
        auto output = self->movieFileOutput();
        if (output) output->startRecordingToOutputFileURL(ns::URL::fileURLWithPath(path), self);
        return es::Disposable::withBlock([finished, output] {
            finished->dispose();
            if (output) output->stopRecording();
        });
    });
}

rt::Ref<es::Signal> CameraVideoViewController::playSignal() {
    const rt::Weak<CameraVideoViewController> weak(rt::retained(this));
    return es::Signal::createSignal([weak](const rt::Ref<es::Subscriber>& subscriber) -> rt::Ref<es::Disposable> {
        auto self = weak.lock();
        if (!self) return nullptr;
        if (self->session()) self->session()->stopRunning();
        auto item = av::PlayerItem::playerItemWithURL(ns::URL::fileURLWithPath(movieFile()));
        // The end may be posted on any thread: the loop goes on from the main queue.
        auto ended = es::addObserverForName(ns::NotificationCenter::defaultCenter(),
                                            ns::String::make(ns::AVPlayerItemDidPlayToEndTimeNotification), item)
                         ->deliverOnMainThread()
                         ->subscribeNext([subscriber](const rt::Id&) { subscriber->sendCompleted(); });
        if (auto player = self->player()) {
            player->replaceCurrentItemWithPlayerItem(item);
            player->play();
        }
        return ended;
    });
}

rt::Ref<es::Signal> CameraVideoViewController::repeatPlayAndWaitConfimSignal() {
    const rt::Weak<CameraVideoViewController> weak(rt::retained(this));
    return es::Signal::createSignal([weak](const rt::Ref<es::Subscriber>& subscriber) -> rt::Ref<es::Disposable> {
        auto self = weak.lock();
        if (!self) return nullptr;
        return self->playSignal()->repeat()->takeUntilReplacement(self->choose())->subscribeNextError(
            [subscriber](const rt::Id& answer) {
                subscriber->sendNext(answer);
                subscriber->sendCompleted();
            },
            [subscriber](const rt::Ref<ns::Error>& error) { subscriber->sendError(error); });
    });
}

void CameraVideoViewController::recordToggleButtonPress() {
    if (!movieFileOutput_) return;
    if (isRecording()) {
        movieFileOutput_->stopRecording();
        return;
    }
    const std::string path = movieFile();
    const auto& files = ns::FileManager::defaultManager();
    if (files->fileExistsAtPath(path)) files->removeItemAtPath(path);
    movieFileOutput_->startRecordingToOutputFileURL(ns::URL::fileURLWithPath(path), rt::retained(this));
}

} // namespace ft
