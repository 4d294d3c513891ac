#pragma once
// ft::CameraPictureViewController ("CameraPictureViewController"): the camera picture test of the
// six camera capture rows. Each time the screen appears it checks camera access and runs a photo
// session on the item's side with a live preview and a still output; the spinner turns while the
// YES/NO buttons are hidden. The capture button takes a still picture (mirrored for the front
// camera) and shows it frozen with the question; then retake goes back to a new live session, and
// YES/NO become the item's code before the screen leaves. A capture that fails records 2 and
// leaves. Without a session, or without a video connection, a capture shows the spinner and
// nothing follows (the tester leaves by the back sheet). The still-capture answer, which may come
// on any thread, changes the screen on the main queue only, and the buttons' step after it.

#include <functional>

#include "session/base_model_view_controller.h"

namespace av {
class CaptureConnection;
class CaptureSession;
class CaptureStillImageOutput;
class CaptureVideoPreviewLayer;
} // namespace av

namespace ui {
class ActivityIndicatorView;
class Font;
class Image;
class ImageView;
} // namespace ui

namespace ft {

class CameraPictureViewController : public BaseModelViewController {
    RT_CLASS(CameraPictureViewController)
public:
    rt::Ref<ui::ImageView> previewImageView() const { return previewImageView_.lock(); }
    void setPreviewImageView(const rt::Ref<ui::ImageView>& view);
    rt::Ref<ui::Label> colorLabel() const { return colorLabel_.lock(); }
    void setColorLabel(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::Button> captureButton() const { return captureButton_.lock(); }
    void setCaptureButton(const rt::Ref<ui::Button>& button);
    rt::Ref<ui::Button> retakeButton() const { return retakeButton_.lock(); }
    void setRetakeButton(const rt::Ref<ui::Button>& button);
    rt::Ref<ui::ActivityIndicatorView> waitProgress() const { return waitProgress_.lock(); }
    void setWaitProgress(const rt::Ref<ui::ActivityIndicatorView>& view);
    rt::Ref<ui::Label> testTitle() const { return testTitle_.lock(); }
    void setTestTitle(const rt::Ref<ui::Label>& label);
    const rt::Ref<av::CaptureSession>& session() const noexcept { return session_; }
    const rt::Ref<av::CaptureVideoPreviewLayer>& previewLayer() const noexcept { return previewLayer_; }
    const rt::Ref<av::CaptureStillImageOutput>& stillImageOutput() const noexcept { return stillImageOutput_; }
    const rt::Ref<ui::Font>& orignalFont() const noexcept { return orignalFont_; }

    // A new photo session with its preview (nothing without a camera input).
    void captureImage();
    // The JPEG still output, added to the session when there is one.
    void addStillImageOutput();
    // The still output's first connection with a video input port; nil when none.
    rt::Ref<av::CaptureConnection> findVideoConnection() const;
    // Takes a picture and gives it to `block` on the main queue; a failure records 2 and leaves.
    void takePicture(std::function<void(const rt::Ref<ui::Image>&)> block);

protected:
    CameraPictureViewController();
    ~CameraPictureViewController() override;
    void viewDidLoadBody() override;

private:
    void capture();
    void retake();

    rt::Weak<ui::ImageView> previewImageView_;
    rt::Weak<ui::Label> colorLabel_, testTitle_;
    rt::Weak<ui::Button> captureButton_, retakeButton_;
    rt::Weak<ui::ActivityIndicatorView> waitProgress_;
    rt::Ref<av::CaptureSession> session_;
    rt::Ref<av::CaptureVideoPreviewLayer> previewLayer_;
    rt::Ref<av::CaptureStillImageOutput> stillImageOutput_;
    rt::Ref<ui::Font> orignalFont_;
};

} // namespace ft
