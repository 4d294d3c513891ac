#include "platform/uikit/image_picker_controller.h"

#include "platform/foundation/array.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/sim/device.h"
#include "platform/uikit/delegate_messages.h"

namespace ui {

ImagePickerController::ImagePickerController()
    : mediaTypes_(ns::Array::withObjects({ns::String::make("public.image")})) {}

bool ImagePickerController::isSourceTypeAvailable(ImagePickerControllerSourceType type) {
    if (type != ImagePickerControllerSourceType::Camera) return true;
    return !sim::currentDevice()->cameras.empty();
}

bool ImagePickerController::isCameraDeviceAvailable(ImagePickerControllerCameraDevice device) {
    return sim::currentDevice()->camera(device == ImagePickerControllerCameraDevice::Front ? sim::CameraPosition::Front
                                                                                           : sim::CameraPosition::Back);
}

ImagePickerController::~ImagePickerController() = default;

void ImagePickerController::setSourceType(ImagePickerControllerSourceType type) {
    rt::KeyChange change(this, "sourceType");
    sourceType_ = type;
}

void ImagePickerController::setCameraDevice(ImagePickerControllerCameraDevice device) {
    rt::KeyChange change(this, "cameraDevice");
    cameraDevice_ = device;
}

void ImagePickerController::setAllowsEditing(bool allows) {
    rt::KeyChange change(this, "allowsEditing");
    allowsEditing_ = allows;
}

void ImagePickerController::setMediaTypes(rt::Ref<ns::Array> types) {
    rt::KeyChange change(this, "mediaTypes");
    mediaTypes_ = std::move(types);
}

bool ImagePickerController::pickMedia(const rt::Ref<ns::Dictionary>& info) {
    static const rt::Sel didFinish("imagePickerController:didFinishPickingMediaWithInfo:");
    return detail::tell(delegate(), didFinish, rt::retained(this), info ? info : ns::Dictionary::make());
}

bool ImagePickerController::cancelPicking() {
    static const rt::Sel didCancel("imagePickerControllerDidCancel:");
    return detail::tell(delegate(), didCancel, rt::retained(this));
}

RT_DEFINE_CLASS(ImagePickerController, "UIImagePickerController", NavigationController,
                rt::prop("sourceType", &ImagePickerController::sourceType, &ImagePickerController::setSourceType),
                rt::prop("cameraDevice", &ImagePickerController::cameraDevice, &ImagePickerController::setCameraDevice),
                rt::prop("allowsEditing", &ImagePickerController::allowsEditing, &ImagePickerController::setAllowsEditing),
                rt::prop("mediaTypes", &ImagePickerController::mediaTypes, &ImagePickerController::setMediaTypes,
                         {.memory = rt::Memory::Copy}),
                rt::classMethod("isSourceTypeAvailable:", &ImagePickerController::isSourceTypeAvailable))

} // namespace ui
