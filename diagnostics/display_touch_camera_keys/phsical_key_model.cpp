#include "diagnostics/display_touch_camera_keys/phsical_key_model.h"

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"

namespace ft {

RT_DEFINE_CLASS(PhsicalKeyModel, "PhsicalKeyModel", rt::Object,
                rt::prop("name", &PhsicalKeyModel::name, &PhsicalKeyModel::setName, {.memory = rt::Memory::Copy}),
                rt::prop("success", &PhsicalKeyModel::success, &PhsicalKeyModel::setSuccess),
                rt::classMethod("customClassWithProperties:", &PhsicalKeyModel::customClassWithProperties))

rt::Ref<PhsicalKeyModel> PhsicalKeyModel::customClassWithProperties(const rt::Ref<ns::Dictionary>& properties) {
    auto model = rt::make<PhsicalKeyModel>();
    if (properties)
        properties->enumerateKeysAndObjects([&model](const rt::Id& key, const rt::Id& value, bool&) {
            if (auto text = rt::cast<ns::String>(key)) model->setValueForKey(value, text->utf8());
        });
    return model;
}

void PhsicalKeyModel::setName(const rt::Ref<ns::String>& name) {
    rt::KeyChange change(this, "name");
    name_ = name; // strings are immutable: the copy is the same text
}

void PhsicalKeyModel::setSuccess(bool success) {
    rt::KeyChange change(this, "success");
    success_ = success;
}

} // namespace ft
