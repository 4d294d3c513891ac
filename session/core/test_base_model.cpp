#include "session/core/test_base_model.h"

#include "platform/foundation/format.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"

namespace ft {

RT_DEFINE_CLASS(TestBaseModel, "TestBaseModel", rt::Object,
                rt::prop("name", &TestBaseModel::name, &TestBaseModel::setName, {.memory = rt::Memory::Copy}),
                rt::prop("title", &TestBaseModel::title, &TestBaseModel::setTitle, {.memory = rt::Memory::Copy}),
                rt::prop("message", &TestBaseModel::message, &TestBaseModel::setMessage, {.memory = rt::Memory::Copy}),
                rt::prop("icon", &TestBaseModel::icon, &TestBaseModel::setIcon, {.memory = rt::Memory::Copy}),
                rt::prop("direction", &TestBaseModel::direction, &TestBaseModel::setDirection, {.memory = rt::Memory::Copy}),
                rt::prop("color", &TestBaseModel::color, &TestBaseModel::setColor, {.memory = rt::Memory::Copy}),
                rt::prop("profile", &TestBaseModel::profile, &TestBaseModel::setProfile, {.memory = rt::Memory::Copy}),
                rt::prop("question", &TestBaseModel::question, &TestBaseModel::setQuestion, {.memory = rt::Memory::Copy}),
                rt::prop("selected", &TestBaseModel::selected, &TestBaseModel::setSelected),
                rt::prop("isAuto", &TestBaseModel::isAuto, &TestBaseModel::setIsAuto),
                rt::prop("success", &TestBaseModel::success, &TestBaseModel::setSuccess),
                rt::prop("endTestCode", &TestBaseModel::endTestCode, &TestBaseModel::setEndTestCode),
                rt::prop("lastCode", &TestBaseModel::lastCode, &TestBaseModel::setLastCode),
                rt::prop("header", &TestBaseModel::header, &TestBaseModel::setHeader),
                rt::prop("ratio", &TestBaseModel::ratio, &TestBaseModel::setRatio))

rt::Ref<TestBaseModel> TestBaseModel::make() {
    return rt::make<TestBaseModel>();
}

rt::Ref<TestBaseModel> TestBaseModel::customClassWithProperties(const rt::Ref<ns::Dictionary>& properties) {
    auto item = make();
    item->initWithProperties(properties);
    return item;
}

void TestBaseModel::initWithProperties(const rt::Ref<ns::Dictionary>& properties) {
    if (!properties) return;
    for (const auto& [key, value] : *properties) {
        auto text = rt::cast<ns::String>(key);
        if (text) setValueForKey(value, text->utf8());
    }
}

void TestBaseModel::setValueForUndefinedKey(const rt::Id& value, std::string_view key) {
    // A catalogue row names the automatic flag "auto".
    if (key == "auto") return setValueForKey(value, "isAuto");
    ns::log("TestBaseModel: no property for the key %s; the value is not kept", std::string(key));
}

void TestBaseModel::setName(rt::Ref<ns::String> v) {
    rt::KeyChange change(this, "name");
    name_ = std::move(v);
}

void TestBaseModel::setTitle(rt::Ref<ns::String> v) {
    rt::KeyChange change(this, "title");
    title_ = std::move(v);
}

void TestBaseModel::setMessage(rt::Ref<ns::String> v) {
    rt::KeyChange change(this, "message");
    message_ = std::move(v);
}

void TestBaseModel::setIcon(rt::Ref<ns::String> v) {
    rt::KeyChange change(this, "icon");
    icon_ = std::move(v);
}

void TestBaseModel::setDirection(rt::Ref<ns::String> v) {
    rt::KeyChange change(this, "direction");
    direction_ = std::move(v);
}

void TestBaseModel::setColor(rt::Ref<ns::String> v) {
    rt::KeyChange change(this, "color");
    color_ = std::move(v);
}

void TestBaseModel::setProfile(rt::Ref<ns::String> v) {
    rt::KeyChange change(this, "profile");
    profile_ = std::move(v);
}

void TestBaseModel::setQuestion(rt::Ref<ns::String> v) {
    rt::KeyChange change(this, "question");
    question_ = std::move(v);
}

void TestBaseModel::setSelected(bool v) {
    rt::KeyChange change(this, "selected");
    selected_ = v;
}

void TestBaseModel::setIsAuto(bool v) {
    rt::KeyChange change(this, "isAuto");
    isAuto_ = v;
}

void TestBaseModel::setSuccess(std::int64_t v) {
    rt::KeyChange change(this, "success");
    success_ = v;
}

void TestBaseModel::setEndTestCode(std::int64_t v) {
    rt::KeyChange change(this, "endTestCode");
    endTestCode_ = v;
}

void TestBaseModel::setLastCode(std::int64_t v) {
    rt::KeyChange change(this, "lastCode");
    lastCode_ = v;
}

void TestBaseModel::setHeader(rt::Ref<ns::MutableDictionary> v) {
    rt::KeyChange change(this, "header");
    header_ = std::move(v);
}

void TestBaseModel::setRatio(rt::Ref<ns::Dictionary> v) {
    rt::KeyChange change(this, "ratio");
    ratio_ = std::move(v);
}

} // namespace ft
