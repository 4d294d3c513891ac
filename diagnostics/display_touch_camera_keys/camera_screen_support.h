#pragma once
// What the camera screens share: the camera access check, the camera of an item's side, and the
// capture session over it with its live preview.
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
class View;
}

namespace ft {

class TestBaseModel;

void requestCameraAccess(std::function<void()> block, std::function<void()> refused = {});

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

} // namespace ft
