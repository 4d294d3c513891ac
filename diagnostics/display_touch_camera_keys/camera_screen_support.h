#pragma once
// What the camera screens share: the camera access check, the camera of an item's side, the
// capture session over it with its live preview, and the scenes' layout.
//
// The access check reads the video authorisation: authorised ("Authorized" logged) runs the block
// at once; not determined asks the platform (when it answers the request) and runs the block on
// the main queue once granted, `refused` there once refused, or runs the block at once when the
// platform cannot be asked; restricted logs "Restricted" only; denied logs "Denied" and shows an
// alert (empty title, the authorisation text naming the product, one "yes" button); any other
// status logs "Unknown authorization status". Main thread only.

#include <functional>
#include <string_view>

#include "platform/media/capture_session.h"

namespace ui {
class ImageView;
class Label;
class View;
} // namespace ui

namespace ft {

class BaseModelViewController;
class TestBaseModel;

void requestCameraAccess(std::function<void()> block, std::function<void()> refused = {});

// The size of the question above a camera's picture: the live picture's and the still's.
inline constexpr double kCameraQuestionFontSize = 14;

// getCameraDevice: the first camera at `position`; nil without one.
rt::Ref<av::CaptureDevice> getCameraDevice(av::CaptureDevicePosition position);
// The item's side: front for "direction" "front", the back for anything else.
av::CaptureDevicePosition itemCameraPosition(const TestBaseModel* item);
bool itemIsFront(const TestBaseModel* item);

// A new session at `preset` with the camera of the item's side as its input. Without that camera,
// without access, or when the session cannot take its input, "no input....." is logged and nil
// comes back (adding an input the session refuses would raise).
rt::Ref<av::CaptureSession> makeCameraSession(std::string_view preset, const TestBaseModel* item);

// The session's preview layer, filling its view (aspect fill), added over `host`'s layer at
// `host`'s bounds.
rt::Ref<av::CaptureVideoPreviewLayer> addPreviewLayer(const rt::Ref<av::CaptureSession>& session,
                                                      const rt::Ref<ui::View>& host);

// The camera scenes' layout, by constraints over the base's scene, so that every part stays on
// screen at every size and follows the bars: `label` 20 in from each side, `labelTop` points under
// the top layout guide and `labelHeight` high; the preview (answered; black where the camera gives
// no picture, as when access is refused) centred `previewGap` under
// it, 3:4, as wide as the view less 60 on each side unless that would take what goes under it into
// the answer buttons: it then gives way, narrower. Each screen then keeps the lowest of its views
// above the answers (keepAboveAnswers: at least 8 points above the YES/NO buttons' top).
struct CameraSceneLayout {
    double labelTop, labelHeight, previewGap;
};
rt::Ref<ui::ImageView> addCameraPreview(const rt::Ref<ui::View>& view, BaseModelViewController& screen,
                                        const rt::Ref<ui::Label>& label, CameraSceneLayout layout);
void keepAboveAnswers(BaseModelViewController& screen, const rt::Ref<ui::View>& lowest);

} // namespace ft
