#pragma once
// ui::ImagePickerController ("UIImagePickerController"): a navigation controller (so it can be
// presented, or shown in a popover) with no camera and no library, only the delegate
// conversation. The harness plays the user: pickMedia hands the delegate an info
// dictionary (imagePickerController:didFinishPickingMediaWithInfo:), cancelPicking tells it
// imagePickerControllerDidCancel:, both by name. The delegate is held weakly.

#include "platform/foundation/dictionary.h"
#include "platform/uikit/navigation_controller.h"

namespace ns {
class Array;
}

namespace ui {

enum class ImagePickerControllerSourceType : long { PhotoLibrary = 0, Camera = 1, SavedPhotosAlbum = 2 };
enum class ImagePickerControllerCameraDevice : long { Rear = 0, Front = 1 };

// The info dictionary's keys.
inline constexpr const char* UIImagePickerControllerOriginalImage = "UIImagePickerControllerOriginalImage";
inline constexpr const char* UIImagePickerControllerEditedImage = "UIImagePickerControllerEditedImage";
inline constexpr const char* UIImagePickerControllerMediaType = "UIImagePickerControllerMediaType";

class ImagePickerController : public NavigationController {
    RT_CLASS(ImagePickerController)
public:
    // The library always; the camera when the simulated device has one.
    static bool isSourceTypeAvailable(ImagePickerControllerSourceType type);
    static bool isCameraDeviceAvailable(ImagePickerControllerCameraDevice device);

    // The delegate is the navigation controller's (held weakly).
    ImagePickerControllerSourceType sourceType() const noexcept { return sourceType_; }
    void setSourceType(ImagePickerControllerSourceType type);
    ImagePickerControllerCameraDevice cameraDevice() const noexcept { return cameraDevice_; }
    void setCameraDevice(ImagePickerControllerCameraDevice device);
    bool allowsEditing() const noexcept { return allowsEditing_; }
    void setAllowsEditing(bool allows);
    const rt::Ref<ns::Array>& mediaTypes() const noexcept { return mediaTypes_; }
    void setMediaTypes(rt::Ref<ns::Array> types);

    // The user's choice and the user's cancel; false when the delegate has no such method.
    bool pickMedia(const rt::Ref<ns::Dictionary>& info);
    bool cancelPicking();

protected:
    ImagePickerController();
    ~ImagePickerController() override;

private:
    rt::Ref<ns::Array> mediaTypes_;
    ImagePickerControllerSourceType sourceType_ = ImagePickerControllerSourceType::PhotoLibrary;
    ImagePickerControllerCameraDevice cameraDevice_ = ImagePickerControllerCameraDevice::Rear;
    bool allowsEditing_ = false;
};

} // namespace ui
