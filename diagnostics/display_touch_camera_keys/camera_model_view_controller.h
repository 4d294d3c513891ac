#pragma once
// ft::CameraModelViewController ("CameraModelViewController"): the camera preview test of the six
// camera display rows. Each time the screen appears it checks camera access and runs a new
// session on the camera of the item's side ("front", else the back) with its preview over
// previewImageView; the tester says whether the camera shows the colour or pattern the item names
// (colorLabel). The answer stops the session, becomes the row's "result" and the screen leaves;
// disappearing stops the session. The row's title is the prompt of an item colour that is exactly
// "white", "specific" or "black" (none for another). No time limit. Main thread only; an access
// answer is taken on the main queue.

#include "session/base_model_view_controller.h"

namespace av {
class CaptureSession;
class CaptureVideoPreviewLayer;
} // namespace av

namespace ui {
class ImageView;
}

namespace ft {

class CameraModelViewController : public BaseModelViewController {
    RT_CLASS(CameraModelViewController)
public:
    rt::Ref<ui::ImageView> previewImageView() const;
    void setPreviewImageView(const rt::Ref<ui::ImageView>& view);
    rt::Ref<ui::Label> colorLabel() const;
    void setColorLabel(const rt::Ref<ui::Label>& label);
    const rt::Ref<av::CaptureSession>& session() const noexcept { return session_; }
    void setSession(rt::Ref<av::CaptureSession> session);
    const rt::Ref<av::CaptureVideoPreviewLayer>& preview() const noexcept { return preview_; }
    void setPreview(rt::Ref<av::CaptureVideoPreviewLayer> layer);

    // Builds the session and its preview (nothing without a camera input).
    void captureImage();

protected:
    CameraModelViewController();
    ~CameraModelViewController() override;
    void viewDidLoadBody() override;
    void viewWillDisappearBody(bool animated) override;

private:
    rt::Weak<ui::ImageView> previewImageView_;
    rt::Weak<ui::Label> colorLabel_;
    rt::Ref<av::CaptureSession> session_;
    rt::Ref<av::CaptureVideoPreviewLayer> preview_;
};

} // namespace ft
