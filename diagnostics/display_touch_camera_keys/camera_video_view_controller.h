#pragma once
// ft::CameraVideoViewController ("CameraVideoViewController"): the camera video test of the two
// video rows. From load (once camera access is granted) it runs a session on the item's side with
// the microphone, counts down 3, 2, 1, records five seconds into tmp "output.mov" (mirrored for the
// front camera) while counting 5 to 0, then plays the movie back in a loop under the question; the
// YES/NO buttons appear with the playback, and the answer becomes the item's code before the
// screen leaves. Refused access at the first request records 2 and leaves. Leaving ends the
// countdown, stops the session and pauses the player. No time limit.
//
// The recording-finished delegate call and the end of a played movie may come on any thread; the
// signals they end hop to the main queue first, so the session, the player and the views change
// on the main thread only, and the loop starts each new item there.

#include <cstdint>
#include <string>

#include "session/base_model_view_controller.h"

namespace av {
class CaptureDeviceInput;
class CaptureMovieFileOutput;
class CaptureSession;
class CaptureVideoPreviewLayer;
class Player;
class PlayerItem;
class PlayerLayer;
} // namespace av

namespace ui {
class ImageView;
}

namespace ft {

class CameraVideoViewController : public BaseModelViewController {
    RT_CLASS(CameraVideoViewController)
public:
    static constexpr std::int64_t kCountDown = 3;
    static constexpr std::int64_t kRecordCount = 5;
    static constexpr double kRecordSeconds = 5.0;

    rt::Ref<ui::ImageView> previewImageView() const { return previewImageView_.lock(); }
    void setPreviewImageView(const rt::Ref<ui::ImageView>& view);
    rt::Ref<ui::Label> colorLabel() const { return colorLabel_.lock(); }
    void setColorLabel(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::Label> testLabel() const { return testLabel_.lock(); }
    void setTestLabel(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::Button> recordButton() const { return recordButton_.lock(); }
    void setRecordButton(const rt::Ref<ui::Button>& button);
    const rt::Ref<av::CaptureSession>& session() const noexcept { return session_; }
    const rt::Ref<av::CaptureDeviceInput>& deviceInput() const noexcept { return deviceInput_; }
    const rt::Ref<av::CaptureVideoPreviewLayer>& previewLayer() const noexcept { return previewLayer_; }
    const rt::Ref<av::CaptureMovieFileOutput>& movieFileOutput() const noexcept { return movieFileOutput_; }
    const rt::Ref<av::PlayerLayer>& playLayer() const noexcept { return playLayer_; }
    const rt::Ref<av::PlayerItem>& lastPlayerItem() const noexcept { return lastPlayerItem_; }
    const rt::Ref<av::Player>& player() const noexcept { return player_; }
    bool isRecording() const noexcept { return recording_; }
    void setRecording(bool recording);
    bool isPlaying() const noexcept { return playing_; }
    void setPlaying(bool playing);
    std::int64_t recordCount() const noexcept { return recordCount_; }

    // tmp + "output.mov".
    static std::string movieFile();

    void captureImage();
    void addMovieOutput();
    void cameraSetOutputProperties();
    void setupPlayerAndLayer();
    // "<title> \n <n>" each second from `count` down (and on to 0 with `additional`), then
    // completes; the screen disappearing ends it without completing.
    rt::Ref<es::Signal> countDownSignal(const rt::Ref<ns::String>& title, std::int64_t count, bool additional);
    // Records into movieFile (an older file deleted first); completes when the recording ends.
    rt::Ref<es::Signal> recordSignal();
    // Plays movieFile once; completes at its end.
    rt::Ref<es::Signal> playSignal();
    // Plays movieFile over and over until the tester answers; sends the answer and completes.
    rt::Ref<es::Signal> repeatPlayAndWaitConfimSignal();
    // Starts or stops a recording by hand (nothing calls it).
    void recordToggleButtonPress();

protected:
    CameraVideoViewController();
    ~CameraVideoViewController() override;
    void viewDidLoadBody() override;
    void viewDidLayoutSubviews() override;

private:
    void start();

    rt::Weak<ui::ImageView> previewImageView_;
    rt::Weak<ui::Label> colorLabel_, testLabel_;
    rt::Weak<ui::Button> recordButton_;
    rt::Ref<av::CaptureSession> session_;
    rt::Ref<av::CaptureDeviceInput> deviceInput_;
    rt::Ref<av::CaptureVideoPreviewLayer> previewLayer_;
    rt::Ref<av::CaptureMovieFileOutput> movieFileOutput_;
    rt::Ref<av::PlayerLayer> playLayer_;
    rt::Ref<av::PlayerItem> lastPlayerItem_;
    rt::Ref<av::Player> player_;
    bool recording_ = false, playing_ = false;
    std::int64_t recordCount_ = 0;
};

} // namespace ft
