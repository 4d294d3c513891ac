#pragma once
// ft::TestBaseModel ("TestBaseModel"): one test of the catalogue, shared by reference between the
// root list, the runner, the test screen that runs it and the results screen; a screen records
// its verdict by writing `success` on it. Every field is a registered property, so key-value
// coding fills an item from a catalogue row and observers (the list watches "selected") hear each
// setter and key-value write. Items compare by identity. Main thread only.

#include <cstdint>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace ft {

class TestBaseModel : public rt::Object {
    RT_CLASS(TestBaseModel)
public:
    // Result codes held in success, endTestCode and lastCode.
    static constexpr std::int64_t kNotTested = 0;
    static constexpr std::int64_t kPassed = 1;
    static constexpr std::int64_t kFailed = 2;

    static rt::Ref<TestBaseModel> make();
    // A new item with every entry of the row assigned by key-value coding. The row key "auto"
    // fills isAuto; any other key without a property is logged and skipped.
    static rt::Ref<TestBaseModel> customClassWithProperties(const rt::Ref<ns::Dictionary>& properties);
    void initWithProperties(const rt::Ref<ns::Dictionary>& properties);

    const rt::Ref<ns::String>& name() const { return name_; }
    void setName(rt::Ref<ns::String> v);
    const rt::Ref<ns::String>& title() const { return title_; }
    void setTitle(rt::Ref<ns::String> v);
    const rt::Ref<ns::String>& message() const { return message_; }
    void setMessage(rt::Ref<ns::String> v);
    const rt::Ref<ns::String>& icon() const { return icon_; }
    void setIcon(rt::Ref<ns::String> v);
    bool selected() const { return selected_; }
    void setSelected(bool v);
    bool isAuto() const { return isAuto_; }
    void setIsAuto(bool v);
    std::int64_t success() const { return success_; }
    void setSuccess(std::int64_t v);
    std::int64_t endTestCode() const { return endTestCode_; }
    void setEndTestCode(std::int64_t v);
    std::int64_t lastCode() const { return lastCode_; }
    void setLastCode(std::int64_t v);
    const rt::Ref<ns::String>& direction() const { return direction_; }
    void setDirection(rt::Ref<ns::String> v);
    const rt::Ref<ns::String>& color() const { return color_; }
    void setColor(rt::Ref<ns::String> v);
    const rt::Ref<ns::String>& profile() const { return profile_; }
    void setProfile(rt::Ref<ns::String> v);
    const rt::Ref<ns::String>& question() const { return question_; }
    void setQuestion(rt::Ref<ns::String> v);
    const rt::Ref<ns::MutableDictionary>& header() const { return header_; }
    void setHeader(rt::Ref<ns::MutableDictionary> v);
    const rt::Ref<ns::Dictionary>& ratio() const { return ratio_; }
    void setRatio(rt::Ref<ns::Dictionary> v);

    void setValueForUndefinedKey(const rt::Id& value, std::string_view key) override;

protected:
    TestBaseModel() = default;

private:
    rt::Ref<ns::String> name_, title_, message_, icon_;
    bool selected_ = false;
    bool isAuto_ = false;
    std::int64_t success_ = kNotTested, endTestCode_ = kNotTested, lastCode_ = kNotTested;
    rt::Ref<ns::String> direction_, color_, profile_, question_;
    rt::Ref<ns::MutableDictionary> header_;
    rt::Ref<ns::Dictionary> ratio_;
};

} // namespace ft
