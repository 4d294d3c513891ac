// The reply models' base: archiving every property, and mapping JSON with its kind checks.

#include <string>

#include <gtest/gtest.h>

#include "model/json/model.h"
#include "platform/foundation/array.h"
#include "platform/foundation/coder.h"
#include "platform/foundation/json.h"
#include "platform/foundation/string.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"

namespace {

// A model of every kind a reply holds, with a subclass adding one more.
class Sample : public jm::Model {
    RT_CLASS(Sample)
public:
    const rt::Ref<ns::String>& name() const { return name_; }
    void setName(rt::Ref<ns::String> v) {
        rt::KeyChange change(this, "name");
        name_ = std::move(v);
    }
    std::int64_t count() const { return count_; }
    void setCount(std::int64_t v) {
        rt::KeyChange change(this, "count");
        count_ = v;
    }
    bool flag() const { return flag_; }
    void setFlag(bool v) {
        rt::KeyChange change(this, "flag");
        flag_ = v;
    }
    const rt::Ref<ns::Number>& site() const { return site_; }
    void setSite(rt::Ref<ns::Number> v) {
        rt::KeyChange change(this, "site");
        site_ = std::move(v);
    }
    const rt::Ref<ns::Array>& list() const { return list_; }
    void setList(rt::Ref<ns::Array> v) {
        rt::KeyChange change(this, "list");
        list_ = std::move(v);
    }

protected:
    Sample() = default;

private:
    rt::Ref<ns::String> name_;
    std::int64_t count_ = 0;
    bool flag_ = false;
    rt::Ref<ns::Number> site_;
    rt::Ref<ns::Array> list_;
};

class DerivedSample : public Sample {
    RT_CLASS(DerivedSample)
public:
    double ratio() const { return ratio_; }
    void setRatio(double v) {
        rt::KeyChange change(this, "ratio");
        ratio_ = v;
    }

protected:
    DerivedSample() = default;

private:
    double ratio_ = 0;
};

} // namespace

RT_DEFINE_CLASS(Sample, "JMTestSample", jm::Model, rt::prop("name", &Sample::name, &Sample::setName),
                rt::prop("count", &Sample::count, &Sample::setCount), rt::prop("flag", &Sample::flag, &Sample::setFlag),
                rt::prop("site", &Sample::site, &Sample::setSite), rt::prop("list", &Sample::list, &Sample::setList))
RT_DEFINE_CLASS(DerivedSample, "JMTestDerivedSample", Sample,
                rt::prop("ratio", &DerivedSample::ratio, &DerivedSample::setRatio))

namespace {

rt::Id parse(std::string_view json) {
    return ns::JSONSerialization::JSONObjectWithData(json);
}

std::string summary(const Sample& s) {
    return (s.name() ? s.name()->utf8() : "nil") + "|" + std::to_string(s.count()) + "|" + (s.flag() ? "Y" : "N") +
           "|" + (s.site() ? s.site()->description() : "nil") + "|" +
           (s.list() ? std::to_string(s.list()->count()) : "nil");
}

TEST(JMModel, MapsEveryKindByPropertyNameAndIgnoresUnknownKeys) {
    rt::Ref<ns::Error> error;
    auto sample = jm::Model::modelOfClass<DerivedSample>(
        parse(R"({"name": "op", "count": 7, "flag": true, "site": 12, "list": [1, 2], "ratio": 0.5, "other": "x"})"),
        &error);
    ASSERT_TRUE(sample) << (error ? error->description() : "");
    EXPECT_EQ(summary(*sample), "op|7|Y|12|2");
    EXPECT_EQ(sample->ratio(), 0.5);
}

TEST(JMModel, AWrongKindIsAnErrorAndChangesNothing) {
    const char* cases[] = {
        R"({"name": "new", "count": "7"})", // text for a number
        R"({"name": "new", "site": "12"})", // text for an NSNumber
        R"({"count": 1, "name": 5})",       // a number for text
        R"({"count": 1, "list": {}})",      // an object for an array
        R"({"count": 1, "flag": [true]})",  // an array for a bool
    };
    for (const char* json : cases) {
        auto sample = jm::Model::modelOfClass<Sample>(parse(R"({"name": "old", "count": 3})"));
        ASSERT_TRUE(sample);
        rt::Ref<ns::Error> error;
        EXPECT_FALSE(sample->setValuesFromJSONDictionary(parse(json), &error)) << json;
        ASSERT_TRUE(error) << json;
        EXPECT_EQ(error->domain()->utf8(), jm::Model::kErrorDomain);
        EXPECT_EQ(error->code(), jm::Model::kErrorWrongKind);
        EXPECT_EQ(summary(*sample), "old|3|N|nil|nil") << json;
        EXPECT_FALSE(jm::Model::modelOfClass<Sample>(parse(json))) << json;
    }
}

TEST(JMModel, NotADictionaryIsAnErrorAndNullClearsOnlyObjects) {
    for (const char* json : {"[1]", "\"text\"", "3", "null"}) {
        rt::Ref<ns::Error> error;
        EXPECT_FALSE(jm::Model::modelOfClass<Sample>(parse(json), &error)) << json;
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code(), jm::Model::kErrorNotADictionary);
    }
    EXPECT_FALSE(jm::Model::modelOfClass<Sample>(nullptr));
    auto sample = jm::Model::modelOfClass<Sample>(parse(R"({"name": "a", "count": 4, "site": 1})"));
    ASSERT_TRUE(sample);
    EXPECT_TRUE(sample->setValuesFromJSONDictionary(parse(R"({"name": null, "count": null, "site": null})")));
    EXPECT_EQ(summary(*sample), "nil|4|N|nil|nil");
}

TEST(JMModel, ArchivesAndRestoresEveryPropertyInheritedOnesIncluded) {
    auto sample = jm::Model::modelOfClass<DerivedSample>(
        parse(R"({"name": "Zoë", "count": -9007199254740993, "flag": true, "site": 2.5, "list": ["a"], "ratio": 3})"));
    ASSERT_TRUE(sample);
    auto data = ns::KeyedArchiver::archivedDataWithRootObject(sample);
    ASSERT_TRUE(data);
    rt::Ref<ns::Error> error;
    auto back = rt::cast<DerivedSample>(
        ns::KeyedUnarchiver::unarchivedObjectOfClasses({&DerivedSample::staticClass()}, data, &error));
    ASSERT_TRUE(back) << (error ? error->description() : "");
    EXPECT_NE(back.get(), sample.get());
    EXPECT_EQ(summary(*back), "Zoë|-9007199254740993|Y|2.5|1");
    EXPECT_EQ(back->ratio(), 3.0);
}

TEST(JMModel, AnEmptyModelArchivesToItsDefaults) {
    auto empty = rt::cast<Sample>(Sample::staticClass().alloc());
    ASSERT_TRUE(empty);
    auto back = rt::cast<Sample>(ns::KeyedUnarchiver::unarchivedObjectOfClasses(
        {&Sample::staticClass()}, ns::KeyedArchiver::archivedDataWithRootObject(empty)));
    ASSERT_TRUE(back);
    EXPECT_EQ(summary(*back), "nil|0|N|nil|nil");
}

} // namespace
