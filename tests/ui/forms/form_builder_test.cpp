// Forms from dictionaries and files, and bindings both ways: the builder's tree, its refusals of bad
// input, the binding strings, templates, and a round trip from files through code back into data.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <tuple>

#include "platform/foundation/array.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/json.h"
#include "platform/foundation/null.h"
#include "platform/runtime/block.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/uikit/activity_indicator_view.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/application.h"
#include "platform/uikit/image.h"
#include "platform/uikit/label.h"
#include "platform/uikit/table_view_cell.h"
#include "tests/testkit/app/app_fixture.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/scratch_folder.h"
#include "tests/testkit/virtual_time.h"
#include "ui/forms/array_additions.h"
#include "ui/forms/dynamic_sections.h"
#include "ui/forms/elements/list_state_elements.h"
#include "ui/forms/elements/multiline_element.h"
#include "ui/forms/elements/radio_elements.h"
#include "ui/forms/elements/select_section.h"
#include "ui/forms/form_controller.h"
#include "ui/forms/form_table_view.h"
#include "ui/forms/web_controller.h"
#include "ui/forms/binding_evaluator.h"
#include "ui/forms/elements/label_element.h"
#include "ui/forms/elements/text_element.h"
#include "ui/forms/root_builder.h"
#include "ui/forms/section.h"

namespace {

using ns::str;

// An element with the entry elements' enumerated keyboard and an array of choices.
class BuilderTestElement : public fm::LabelElement {
    RT_CLASS(BuilderTestElement)
public:
    long keyboardType() const { return keyboardType_; }
    void setKeyboardType(long type) { keyboardType_ = type; }
    const rt::Ref<ns::Array>& items() const { return items_; }
    void setItems(rt::Ref<ns::Array> items) { items_ = std::move(items); }

private:
    long keyboardType_ = -1;
    rt::Ref<ns::Array> items_;
};
RT_DEFINE_CLASS(BuilderTestElement, "BuilderTestElement", fm::LabelElement,
                rt::prop("keyboardType", &BuilderTestElement::keyboardType, &BuilderTestElement::setKeyboardType),
                rt::prop("items", &BuilderTestElement::items, &BuilderTestElement::setItems))

// Counts its constructions: a form naming it must never make one.
class BuilderCountingThing : public rt::Object {
    RT_CLASS(BuilderCountingThing)
public:
    static inline int made = 0;
    BuilderCountingThing() { ++made; }
};
RT_DEFINE_CLASS(BuilderCountingThing, "BuilderCountingThing", rt::Object)

// A data object with a string, a number and a scalar whose nil handler zeroes it.
class BuilderTestPerson : public rt::Object {
    RT_CLASS(BuilderTestPerson)
public:
    const rt::Ref<ns::String>& name() const { return name_; }
    void setName(rt::Ref<ns::String> name) { name_ = std::move(name); }
    double weight() const { return weight_; }
    void setWeight(double weight) { weight_ = weight; }
    void setNilValueForKey(std::string_view) override { weight_ = 0; }
    void nilValueForKeyNamed(const rt::Ref<ns::String>& key) { setNilValueForKey(key ? key->utf8() : ""); }

private:
    rt::Ref<ns::String> name_;
    double weight_ = 1;
};
RT_DEFINE_CLASS(BuilderTestPerson, "BuilderTestPerson", rt::Object,
                rt::prop("name", &BuilderTestPerson::name, &BuilderTestPerson::setName),
                rt::prop("weight", &BuilderTestPerson::weight, &BuilderTestPerson::setWeight),
                rt::method("setNilValueForKey:", &BuilderTestPerson::nilValueForKeyNamed))

rt::Id formJson(std::string_view text) {
    rt::Ref<ns::Error> error;
    rt::Id parsed = ns::JSONSerialization::JSONObjectWithData(text, ns::JSONReadingOptions::FragmentsAllowed, &error);
    EXPECT_FALSE(error) << text;
    return parsed;
}

std::string formText(const rt::Id& value) {
    if (!value) return "nil";
    if (auto text = rt::cast<ns::String>(value)) return text->utf8();
    return value->description();
}

// The tree in one line: each section "title[...]" with each element's title (a text element's
// text), "=value" when it has one, and a nested root's sections in braces.
std::string formOutline(const rt::Ref<fm::RootElement>& root) {
    std::string out;
    if (!root->sections()) return out;
    for (const auto& section : *root->sections()) {
        out += (section->title() ? section->title()->utf8() : "") + "[";
        if (const auto* elements = section->elements())
            for (const auto& element : *elements) {
                if (&element != &elements->front()) out += ",";
                if (auto text = rt::cast<fm::TextElement>(element)) out += formText(text->text());
                else if (auto nested = rt::cast<fm::RootElement>(element)) out += formText(nested->title());
                if (auto label = rt::cast<fm::LabelElement>(element); label && label->value())
                    out += "=" + formText(label->value());
                auto nested = rt::cast<fm::RootElement>(element);
                if (nested && nested->sections()) out += "{" + formOutline(nested) + "}";
            }
        out += "]";
    }
    return out;
}

// A main bundle with a string table, for translation and form files.
class FormBuilderTest : public ::testing::Test {
protected:
    void SetUp() override {
        write("en.lproj/Localizable.strings",
              R"("Greeting" = "Hello"; "Choice" = "Option"; "name:who" = "TRANSLATED"; "FMLabelElement" = "X";)");
        ns::Bundle::setMainBundlePath(scratch.path());
    }
    void TearDown() override {
        ns::Bundle::setMainBundlePath("");
        fm::Element::removeClassAppearances(); // "appearance.labelFont" made one
        ui::Image::removeRegisteredImages();   // "tick"
    }
    void write(const std::string& name, std::string_view text) {
        std::filesystem::create_directories((scratch.path() / name).parent_path());
        std::ofstream(scratch.path() / name) << text;
    }
    static rt::Ref<fm::RootElement> build(std::string_view form) {
        return rt::make<fm::RootBuilder>()->buildWithObject(formJson(form));
    }

    testkit::ScratchFolder scratch{"forms-builder"};
    ns::CapturedLog log;
};

TEST_F(FormBuilderTest, BuildsSectionsAndElementsInOrderTranslatingWhatIsShown) {
    auto root = build(R"({"title": "Greeting", "elements": [{"type": "FMLabelElement", "title": "lost"}],
        "presentationMode": "ModalPage", "sections": [
          {"title": "Greeting", "key": "Choice", "elements": [
            {"type": "FMLabelElement", "title": "Greeting", "bind": "name:who", "hidden": true},
            {"title": "no type"},
            {"type": "Nowhere"},
            {"type": "BuilderTestElement", "keyboardType": "Alphabet", "items": ["Choice", 5, "Other"]},
            {"type": "BuilderTestElement", "keyboardType": "ASCIICapable", "accessoryType": "Checkmark"},
            {"type": "FMRootElement", "title": "inner", "sections": [{"type": "FMSection", "title": "deep",
              "elements": [{"type": "FMTextElement", "text": "Choice"}]}]}]},
          {"type": "FMSection"}]})");
    EXPECT_EQ(formOutline(root), "Hello[Hello,nil,nil,inner{deep[Option]}][]");
    EXPECT_EQ(formText(root->title()), "Hello");
    EXPECT_EQ(root->presentationMode(), 5);
    const auto& elements = *root->getSectionForIndex(0)->elements();
    EXPECT_EQ(formText(root->getSectionForIndex(0)->key()), "Option"); // every shown string, keys too
    EXPECT_EQ(formText(elements[0]->bind()), "name:who");              // never "bind"
    EXPECT_TRUE(elements[0]->hidden());
    auto alphabet = rt::cast<BuilderTestElement>(elements[1]);
    auto ascii = rt::cast<BuilderTestElement>(elements[2]);
    ASSERT_TRUE(alphabet && ascii);
    EXPECT_EQ(alphabet->keyboardType(), 1);
    EXPECT_EQ(ascii->keyboardType(), 1);
    EXPECT_EQ(ascii->accessoryType(), 3);
    EXPECT_EQ(formText(alphabet->items()), formText(ns::Array::withObjects({str("Option"), ns::num(5), str("Other")})));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"Couldn't build element for type (null)",
                                                     "Couldn't build element for type Nowhere"}));

    // Names of enumerations count before any build, in bindings too; bindings never translate.
    auto element = rt::make<BuilderTestElement>();
    element->bindToObjectWithString(formJson(R"({"k": "NumberPad", "t": "Greeting"})"), str("keyboardType:k, title:t"));
    EXPECT_EQ(element->keyboardType(), 4);
    EXPECT_EQ(formText(element->title()), "Greeting");
}

// Each bad input gives a form (maybe smaller), one log line per refusal, and no crash.
TEST_F(FormBuilderTest, BadInputIsLoggedAndLeftOut) {
    struct Case {
        const char* form;
        const char* outline;
        std::vector<const char*> logged;
    };
    const Case cases[] = {
        {"[1, 2]", "", {"A form must be a dictionary, not"}},
        {R"("form")", "", {"A form must be a dictionary"}},
        {"5", "", {"A form must be a dictionary"}},
        {"null", "", {"A form must be a dictionary"}},
        {R"({"sections": {"a": 1}})", "", {"\"sections\" must be an array"}},
        {R"({"sections": [{"elements": "x"}, 5, "s"]})", "[]", {"\"elements\" must be an array",
                                                             "section must be a dictionary, not 5",
                                                             "section must be a dictionary, not s"}},
        {R"({"sections": [{"elements": [7, null]}]})", "[]", {"element must be a dictionary, not 7",
                                                           "element must be a dictionary"}},
        {R"({"sections": [{"elements": [{"type": 5}, {"type": ""}, {"type": "NSObject"},
           {"type": "FMFormController"}, {"type": "FMRootBuilder"}, {"type": "FMFlatAppearance"},
           {"type": "NSJSONSerialization"}, {"type": "FMSection"}, {"type": "BuilderCountingThing"},
           {"type": "FMLabelElement", "title": "kept"}]}]})",
         "[kept]", {"type 5", "type ", "type NSObject", "type FMFormController", "type FMRootBuilder",
                    "type FMFlatAppearance", "type NSJSONSerialization", "type FMSection",
                    "type BuilderCountingThing"}},
        {R"({"sections": [{"title": "one", "title": "two", "elements": [], "elements": [{"type": "FMTextElement"}]}]})",
         "two[nil]", {}},
        {R"({"sections": [{"type": "FMLabelElement"}, {"type": "BuilderCountingThing"}, {"title": "kept"}]})",
         "kept[]", {"section for type FMLabelElement", "section for type BuilderCountingThing"}},
        {R"({"sections": [{"elements": [{"type": "BuilderTestElement", "title": "t", "height": "tall",
           "enabled": [1], "value": 2, "hidden": null, "keyboardType": 3.5, "labelingPolicy": -1e300,
           "elementTemplate": "x", "": 1, "a..b": 1, "appearance.labelFont": "x", "parentSection.title": "x",
           "accessoryType": "Sideways", "onSelected": "x"}]}], "title": {"a": 1}, "presentationMode": "Sideways"})",
         "[t=2]", {"'title' on FMRootElement", "'presentationMode'", "'height' on BuilderTestElement",
                   "'enabled'", "'hidden'", "'keyboardType'", "'labelingPolicy'", "'elementTemplate'", "'' on",
                   "'a..b'", "'appearance.labelFont'", "'parentSection.title'", "'accessoryType'", "'onSelected'"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.form);
        ns::CapturedLog caseLog;
        auto root = build(c.form);
        ASSERT_TRUE(root);
        EXPECT_EQ(formOutline(root), c.outline);
        const auto lines = caseLog.lines();
        ASSERT_EQ(lines.size(), c.logged.size());
        for (std::size_t i = 0; i < lines.size(); ++i)
            EXPECT_NE(lines[i].find(c.logged[i]), std::string::npos) << lines[i];
    }
    EXPECT_EQ(BuilderCountingThing::made, 0);

    // Built in code: a NaN for an integer, and roots nested far too deep (left out past the limit).
    ns::CapturedLog codeLog;
    auto nan = rt::make<fm::RootBuilder>()->buildWithObject(
        ns::Dictionary::withPairs({{str("labelingPolicy"), ns::num(std::numeric_limits<double>::quiet_NaN())}}));
    EXPECT_EQ(nan->labelingPolicy(), 0);
    std::vector<rt::Ref<ns::MutableArray>> levels;
    rt::Id inner = ns::Dictionary::withPairs({{str("type"), str("FMRootElement")}, {str("title"), str("bottom")}});
    for (int depth = 0; depth < 10000; ++depth) {
        auto elements = ns::MutableArray::withObjects({inner});
        auto sections = ns::MutableArray::withObjects({ns::Dictionary::withPairs({{str("elements"), elements}})});
        levels.push_back(elements);
        levels.push_back(sections);
        inner = ns::Dictionary::withPairs({{str("type"), str("FMRootElement")}, {str("sections"), sections}});
    }
    auto deep = rt::make<fm::RootBuilder>()->buildWithObject(inner);
    int depth = 0;
    for (rt::Ref<fm::RootElement> at = deep; at && at->sections(); ++depth) {
        const auto* elements = at->getSectionForIndex(0)->elements();
        at = elements && !elements->empty() ? rt::cast<fm::RootElement>(elements->front()) : nullptr;
    }
    EXPECT_EQ(depth, fm::RootBuilder::maxNesting + 1);
    EXPECT_EQ(codeLog.lines().size(), 2u); // the NaN, the nesting
    // Taken apart from the outside in, so no release runs 10,000 deep.
    for (auto level = levels.rbegin(); level != levels.rend(); ++level)
        (*level)->removeAllObjects();
}

TEST_F(FormBuilderTest, BindingStringsParseTrimmedAndSkipWhatIsMalformed) {
    struct Case {
        const char* binding;
        const char* pairs;
    };
    const Case cases[] = {
        {"title:name", "title>name;"},
        {" title \n:\t name , value:\r\nage:ignored", "title>name;value>age;"},
        {":::", ">;"},
        {",,,", ""},
        {"iterate", ""},
        {"iterate:", "iterate>;"},
        {"", ""},
    };
    for (const auto& c : cases) {
        std::string got;
        for (const auto& [target, source] : fm::BindingEvaluator::pairs(c.binding))
            got += std::string(target) + ">" + std::string(source) + ";";
        EXPECT_EQ(got, c.pairs) << c.binding;
    }
    EXPECT_TRUE(fm::BindingEvaluator::stringIsEmpty(nullptr));
    EXPECT_TRUE(fm::BindingEvaluator::stringIsEmpty(str(" \n\t")));
    EXPECT_FALSE(fm::BindingEvaluator::stringIsEmpty(str(" a")));
}

// Forward bindings: (form, data, the tree after, what is logged).
TEST_F(FormBuilderTest, ForwardBindingsFillAndRebuildTheForm) {
    struct Case {
        const char* name;
        const char* form;
        const char* data;
        const char* outline;
        std::vector<const char*> logged;
    };
    const Case cases[] = {
        {"iterate over three with before and after", R"({"sections": [{"bind": "iterate:self",
           "beforeTemplateElements": [{"type": "FMLabelElement", "title": "first"}],
           "elementTemplate": {"type": "FMLabelElement", "bind": "title:self"},
           "afterTemplateElements": [{"type": "FMLabelElement", "title": "last"}],
           "elements": [{"type": "FMLabelElement", "title": "old"}]}]})",
         R"(["one", "two", "three"])", "[first,one,two,three,last]", {}},
        {"root iterate, empty, with a message", R"({"bind": "iterate:list", "emptyMessage": "none",
           "sectionTemplate": {"title": "s"}, "sections": [{"title": "old"}]})",
         R"({"list": []})", "[none]", {}},
        {"root iterate, empty, no message", R"({"bind": "iterate:list", "sectionTemplate": {"title": "s"}})",
         R"({"list": []})", "", {}},
        {"root iterate builds sections that iterate", R"({"bind": "iterate:groups", "sectionTemplate":
           {"bind": "title:name, iterate:members", "elementTemplate": {"type": "FMTextElement", "bind": "text:self"}}})",
         R"({"groups": [{"name": "a", "members": ["x", "y"]}, {"name": "b", "members": {"z": 1}}]})",
         "a[x,y]b[z]", {}},
        {"iterateproperties", R"({"sections": [{"bind": "iterateproperties:info",
           "elementTemplate": {"type": "FMLabelElement", "bind": "title:key, value:value"}}]})",
         R"({"info": {"make": "Acme", "year": 2020}})", "[make=Acme,year=2020]", {}},
        {"iterateproperties over null keeps the elements", R"({"sections": [{"bind": "iterateproperties:info",
           "elementTemplate": {"type": "FMLabelElement"}, "elements": [{"type": "FMLabelElement", "title": "kept"}]}]})",
         R"({"info": null})", "[]", {}},
        {"blanks, self and no translation", R"({"sections": [{"elements": [{"type": "FMLabelElement",
           "bind": " title \n : who ,\n value : self "}]}]})",
         R"({"who": "Greeting"})", R"([Greeting={
    who = Greeting;
}])", {}},
        {"a failing pair is logged, the rest applied", R"({"sections": [{"elements": [{"type": "FMLabelElement",
           "bind": "hidden:missing, title:who, nothing:who, title2:"}]}]})",
         R"({"who": "Ann"})", "[Ann]", {"property hidden on object", "property nothing on object",
                                         "property title2 on object"}},
        {"malformed strings", R"({"sections": [{"bind": ":::,,,iterate", "elements": [{"type": "FMLabelElement",
           "bind": "title:missing.path"}]}, {"bind": "iterate:self", "elementTemplate": {"type": "FMLabelElement"}}]})",
         R"("a string")", "[][]", {"property  on object", "Couldn't iterate over a string"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto root = build(c.form);
        ns::CapturedLog caseLog;
        root->bindToObject(formJson(c.data));
        EXPECT_EQ(formOutline(root), c.outline);
        const auto lines = caseLog.lines();
        ASSERT_EQ(lines.size(), c.logged.size());
        for (std::size_t i = 0; i < lines.size(); ++i)
            EXPECT_NE(lines[i].find(c.logged[i]), std::string::npos) << lines[i];
    }
}


// Back: each bound property into the data at its source; "self" and "iterate" skipped; nil
// removes a dictionary's key or goes to a scalar's nil handler; a failure logged, the rest done.
TEST_F(FormBuilderTest, ReverseBindingsWriteBackAndLogOnlyRealFailures) {
    auto label = rt::make<fm::LabelElement>();
    label->setBind(str("title:name, value:self, iterate:list, hidden:flag, key:absent.deeper, value:weight"));
    label->setTitle(str("Ann"));
    label->setHidden(true);
    auto data = ns::MutableDictionary::withPairs({{str("name"), str("old")}, {str("weight"), ns::num(3)}});
    label->fetchValueUsingBindingsIntoObject(data);
    EXPECT_EQ(formText(data), formText(formJson(R"({"name": "Ann", "flag": true})")));
    EXPECT_EQ(log.lines().size(), 1u); // key:absent.deeper
    EXPECT_NE(log.lines()[0].find("Couldn't set property absent.deeper on object"), std::string::npos);

    auto person = rt::make<BuilderTestPerson>();
    person->setName(str("old"));
    label->setBind(str("title:name, value:weight, title:nowhere"));
    label->setTitle(nullptr);
    label->fetchValueUsingBindingsIntoObject(person);
    EXPECT_FALSE(person->name());
    EXPECT_EQ(person->weight(), 0);
    EXPECT_EQ(log.lines().size(), 2u); // nowhere
}

TEST_F(FormBuilderTest, FormFilesGiveRootsAndTheirFailuresEmptyOnes) {
    write("form.json", R"({"sections": [{"elements": [{"type": "FMLabelElement", "bind": "title:who"}]}]})");
    write("data.json", R"({"who": "Ann"})");
    write("broken.json", R"({"sections": [)");
    struct Case {
        rt::Ref<fm::RootElement> root;
        const char* outline;
        const char* logged;
    };
    const Case cases[] = {
        {fm::RootElement::initWithJSONFile("form"), "[nil]", nullptr},
        {fm::RootElement::initWithJSONFileAndData("form", formJson(R"({"who": "Bo"})")), "[Bo]", nullptr},
        {fm::RootElement::initWithJSONFileAndDataJSONFile("form", "data"), "[Ann]", nullptr},
        {fm::RootElement::initWithJSONFileAndDataJSONFile("form", "nowhere"), "[nil]", nullptr},
        {fm::RootElement::rootForJSONWithObject("form", formJson(R"({"who": "Cy"})")), "[nil]", nullptr},
        {fm::RootElement::initWithJSONFile("nowhere"), "", "Couldn't read any data for JSON file named: nowhere"},
        {fm::RootElement::initWithJSONFile("broken"), "", "Parsing error: "},
    };
    EXPECT_EQ(log.lines().size(), 2u);
    for (const auto& c : cases) {
        EXPECT_EQ(formOutline(c.root), c.outline);
        EXPECT_EQ(&c.root->getClass(), &fm::RootElement::staticClass());
        EXPECT_TRUE(!c.logged || log.contains(c.logged)) << c.logged;
    }
    EXPECT_TRUE(cases[4].root->object());
    EXPECT_EQ(fm::RootElement::JSONParserClass(), &ns::JSONSerialization::staticClass());
}

// Files into a tree, values changed in code, and back into fresh data of both kinds.
TEST_F(FormBuilderTest, ValuesChangedInTheFormComeBackAtTheirKeyPaths) {
    write("person.json", R"({"bind": "title:name", "sections": [{"elements": [
        {"type": "FMLabelElement", "bind": "title:name, value:weight"},
        {"type": "FMTextElement", "bind": "text:address.city"}]}]})");
    write("person-data.json", R"({"name": "Ann", "weight": 61.5, "address": {"city": "Oslo"}})");
    auto root = fm::RootElement::initWithJSONFileAndDataJSONFile("person", "person-data");
    EXPECT_EQ(formOutline(root), "[Ann=61.5,Oslo]");
    const auto& elements = *root->getSectionForIndex(0)->elements();
    rt::cast<fm::LabelElement>(elements[0])->setValue(ns::num(70));
    rt::cast<fm::LabelElement>(elements[0])->setTitle(str("Bo"));
    rt::cast<fm::TextElement>(elements[1])->setText(str("Rome"));

    auto dictionary = ns::MutableDictionary::withPairs({{str("address"), ns::MutableDictionary::make()}});
    root->fetchValueUsingBindingsIntoObject(dictionary);
    EXPECT_EQ(formText(dictionary), formText(formJson(R"({"address": {"city": "Rome"}, "name": "Bo", "weight": 70})")));

    auto person = rt::make<BuilderTestPerson>();
    ns::CapturedLog personLog;
    root->fetchValueUsingBindingsIntoObject(person);
    EXPECT_EQ(formText(person->name()), "Bo");
    EXPECT_EQ(person->weight(), 70);
    EXPECT_EQ(personLog.lines().size(), 1u); // the person has no address
}

// Each declared property is registered with its kind and is set and read by key (a block read back
// is run); a form binds a radio row by its item, both ways.
TEST_F(FormBuilderTest, DeclaredPropertiesAreSetAndReadByKey) {
    ui::Image::registerImageNamed("tick", {6, 6});
    auto radio = rt::make<fm::RadioElement>(ns::Array::withObjects({str("S"), str("M"), str("L")}), -1);
    radio->setValues(ns::Array::withObjects({str("s"), str("m"), str("l")}));
    auto options = rt::make<fm::SelectSection>(ns::Array::withObjects({str("a"), str("b")}), std::size_t{0});
    auto option = rt::cast<fm::SelectItemElement>(options->elements()->front());
    auto other = rt::make<fm::SelectSection>();
    auto editor = rt::make<fm::MultilineTextViewController>(nullptr);
    int ran = 0;
    const rt::Id block = rt::Block::make(std::function<void()>([&] { ++ran; }));
    const std::tuple<rt::Id, const char*, const char*, rt::Id, rt::Id> cases[] = {
        {radio, "selectedItem", "T@,&,N,V_selectedItem", str("L"), str("L")},
        {radio, "selectedValue", "T@,&,N,V_selectedValue", str("m"), str("m")},
        {option, "checkmarkImageNamed", "T@\"NSString\",C,N,V_checkmarkImageNamed", str("tick"), nullptr},
        {option, "index", "TQ,N,V_index", ns::num(5), ns::num(5)},
        {option, "selectSection", "T@\"FMSelectSection\",W,N,V_selectSection", other, other},
        {options, "onSelected", "T@?,C,N,V_onSelected", block, nullptr},
        {editor, "willDisappearCallback", "T@?,C,N,V_willDisappearCallback", block, nullptr},
    };
    for (const auto& [object, key, attributes, value, reads] : cases) {
        const rt::Property* property = object->getClass().property(key);
        EXPECT_EQ(property ? property->attributes() : "none", attributes);
        object->setValueForKey(value, key);
        const rt::Id read = object->valueForKey(key);
        if (const auto run = rt::cast<rt::Block>(read); run && run->function<void()>()) (*run->function<void()>())();
        else EXPECT_EQ(formText(read), formText(reads)) << key;
    }
    EXPECT_EQ(ran, 2);
    EXPECT_TRUE(radio->selected() == 1 && option->checkmarkImage() && option->index() == 5 &&
                option->selectSection() == other);

    auto root = build(R"({"sections": [{"elements": [{"type": "FMRadioElement", "items": ["S", "M", "L"],
        "bind": "selectedItem:size"}]}]})");
    root->bindToObject(formJson(R"({"size": "M"})"));
    auto bound = rt::cast<fm::RadioElement>(root->getSectionForIndex(0)->elements()->front());
    ASSERT_TRUE(bound);
    EXPECT_EQ(bound->selected(), 1);
    bound->setSelected(2);
    auto data = ns::MutableDictionary::make();
    root->fetchValueUsingBindingsIntoObject(data);
    EXPECT_EQ(formText(data), formText(formJson(R"({"size": "L"})")));
    EXPECT_EQ(log.lines(), std::vector<std::string>{});
}

TEST(FormArrays, MoveObjectFromIndexTakesOutThenInserts) {
    struct Case {
        std::size_t from, to;
        const char* order;
    };
    const Case cases[] = {{0, 2, "two,three,one"}, {2, 0, "three,one,two"}, {1, 5, "one,three,two"},
                          {1, 1, "one,two,three"}, {3, 0, "one,two,three"}};
    for (const auto& c : cases) {
        auto array = ns::MutableArray::withObjects({str("one"), str("two"), str("three")});
        fm::moveObjectFromIndex(array, c.from, c.to);
        std::vector<std::string> list = {"one", "two", "three"};
        fm::moveObjectFromIndex(list, c.from, c.to);
        std::string got, gotList;
        for (std::size_t i = 0; i < array->count(); ++i)
            got += (i ? "," : "") + formText(array->objectAtIndex(i));
        for (const auto& member : list)
            gotList += (gotList.empty() ? "" : ",") + member;
        EXPECT_EQ(got, c.order) << c.from << "->" << c.to;
        EXPECT_EQ(gotList, c.order);
    }
}

class FormListsTest : public testkit::VirtualTimeTest {
protected:
    void SetUp() override { controller->view()->setFrame(cg::Rect::make(0, 0, 320, 480)); }
    void TearDown() override {
        table = nullptr;
        fm::Element::removeClassAppearances();
        VirtualTimeTest::TearDown();
    }
    rt::Ref<fm::FormTableView> show(const rt::Ref<fm::RootElement>& root) {
        table = rt::make<fm::FormTableView>(controller, root);
        table->setFrame(cg::Rect::make(0, 0, 320, 2000));
        table->reloadData();
        return table;
    }
    // Each row's class and title: "FMLoadingElement:nil".
    static std::string rows(const rt::Ref<fm::Section>& section) {
        std::string out;
        if (section->elements())
            for (const auto& element : *section->elements())
                out += std::string(element->getClass().name()) + ":" +
                       formText(rt::cast<fm::RootElement>(element)->title()) + " ";
        return out;
    }

    rt::Ref<ui::ViewController> controller = rt::make<ui::ViewController>();
    rt::Ref<fm::FormTableView> table;
};

TEST_F(FormListsTest, DynamicSectionsShowRowsAnEmptyRowOrASpinner) {
    struct Case {
        const char* section;
        const char* data;
        const char* rows;
    };
    const char* spinner = "FMLoadingElement:nil ";
    const Case cases[] = {
        {R"({"bind": "iterate:list"})", nullptr, spinner},
        {R"({"bind": "iterate:list"})", R"({"list": []})", "FMEmptyListElement:Empty "},
        {R"({"bind": "iterate:list", "emptyMessage": "Nothing"})", R"({"list": {}})", "FMEmptyListElement:Nothing "},
        {R"({"bind": "iterate:list", "showLoading": true})", R"({"other": 1})", spinner},
        {R"({"bind": "iterate:list", "showLoading": true})", R"({"list": null})", spinner},
        {R"({"bind": "iterate:list"})", R"({"other": 1})", ""},
        {R"({"bind": "iterate:list", "showLoading": true, "elementTemplate": {"type": "FMLabelElement",
           "bind": "title:self"}})", R"({"list": ["a", "b"]})", "FMLabelElement:a FMLabelElement:b "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.section);
        std::string form = R"({"sections": [{"type": "FMDynamicDataSection", )";
        form += std::string(c.section).substr(1) + "]}";
        auto root = rt::make<fm::RootBuilder>()->buildWithObject(formJson(form));
        if (c.data) root->bindToObject(formJson(c.data));
        EXPECT_EQ(rows(root->getSectionForIndex(0)), c.rows);
    }
}

TEST_F(FormListsTest, TheEmptyRowsCellIsReusedTheSpinnersIsNewAndPlaced) {
    struct Case {
        const char* title;
        bool empty;
        cg::Point centre;
    };
    const double w = ui::ActivityIndicatorView::withStyle(ui::ActivityIndicatorViewStyle::Gray)->bounds().size.width;
    const Case cases[] = {{nullptr, true, {}}, {nullptr, false, {(320 - w) / 2, 12}}, {"Wait", false, {320 - w / 2 - 10, 24}}};
    for (const auto& c : cases) {
        auto root = rt::make<fm::RootElement>();
        auto section = rt::make<fm::DynamicDataSection>();
        root->addSection(section);
        section->setBind(str("iterate:list"));
        if (c.empty) section->bindToObject(formJson(R"({"list": []})"));
        if (c.title) rt::cast<fm::LoadingElement>(section->elements()->front())->setTitle(str(c.title));
        auto shown = show(root);
        auto first = shown->cellForRowAtIndexPath(ns::IndexPath::indexPathForRowInSection(0, 0));
        shown->reloadData();
        auto second = shown->cellForRowAtIndexPath(ns::IndexPath::indexPathForRowInSection(0, 0));
        ASSERT_TRUE(first && second);
        EXPECT_EQ(first == second, c.empty);
        if (c.empty) {
            EXPECT_EQ(formText(second->reuseIdentifier()), "FMEmptyListElement");
            EXPECT_EQ(second->textLabel()->textAlignment(), ui::TextAlignment::Center);
            continue;
        }
        rt::Ref<ui::ActivityIndicatorView> spinner;
        const auto subviews = second->contentView()->subviews();
        for (const auto& view : *subviews)
            if (auto found = rt::cast<ui::ActivityIndicatorView>(view)) spinner = found;
        ASSERT_TRUE(spinner);
        EXPECT_TRUE(spinner->isAnimating());
        EXPECT_EQ(spinner->center().x, c.centre.x);
        EXPECT_EQ(spinner->center().y, c.centre.y);
        EXPECT_EQ(formText(second->textLabel()->text()), c.title ? c.title : "nil");
    }
}

// The spinner row keeps the label row's tap (its block runs); the empty row's tap does nothing.
// Either form, on a form controller whose table is laid out, leaves nothing alive once it goes (the
// test main's check).
TEST_F(FormListsTest, ATapOnTheSpinnerRowRunsItsBlockAndOnTheEmptyRowNothing) {
    for (const bool empty : {false, true}) {
        SCOPED_TRACE(empty ? "empty" : "spinner");
        auto root = rt::make<fm::RootElement>();
        auto section = rt::make<fm::DynamicDataSection>();
        root->addSection(section);
        section->setBind(str("iterate:list"));
        if (empty) section->bindToObject(formJson(R"({"list": []})"));
        int taps = 0;
        section->elements()->front()->setOnSelected([&] { ++taps; });
        auto form = rt::make<fm::FormController>(root);
        form->view()->setFrame(cg::Rect::make(0, 0, 320, 480));
        form->view()->layoutIfNeeded();
        ASSERT_TRUE(form->formTableView()->tapRowAtIndexPath(ns::IndexPath::indexPathForRowInSection(0, 0)));
        EXPECT_EQ(taps, empty ? 0 : 1);
    }
}

TEST_F(FormListsTest, SortingSectionsEditAndReadBackTheirKeysInRowOrder) {
    auto root = rt::make<fm::RootBuilder>()->buildWithObject(formJson(R"({"sections": [{"type": "FMSortingSection",
        "key": "order", "elements": [{"type": "FMLabelElement", "key": "a"}, {"type": "FMLabelElement", "key": "b"},
        {"type": "FMLabelElement", "key": "h", "hidden": true}, {"type": "FMLabelElement"},
        {"type": "FMLabelElement", "key": "c"}]}, {"type": "FMSortingSection", "sortingEnabled": false}]})"));
    auto sorted = rt::cast<fm::SortingSection>(root->getSectionForIndex(0));
    ASSERT_TRUE(sorted);
    EXPECT_FALSE(sorted->canDeleteRows());
    auto shown = show(root);
    EXPECT_TRUE(shown->isEditing());
    shown->moveRow(ns::IndexPath::indexPathForRowInSection(3, 0), ns::IndexPath::indexPathForRowInSection(0, 0));
    auto data = ns::MutableDictionary::make();
    root->fetchValueIntoObject(data);
    EXPECT_EQ(formText(data), formText(formJson(R"({"order": ["c", "a", "b", "h"]})")));
    EXPECT_TRUE(sorted->removeElementForRow(0));
    EXPECT_FALSE(sorted->removeElementForRow(9));

    // Not sorting: the table is not edited for it; without a key nothing is read back.
    auto plain = rt::make<fm::RootElement>();
    plain->addSection(root->getSectionForIndex(1));
    EXPECT_FALSE(show(plain)->isEditing());
    sorted->setKey(nullptr);
    auto untouched = ns::MutableDictionary::make();
    root->fetchValueIntoObject(untouched);
    EXPECT_EQ(untouched->count(), 0u);
}

class FormWebTest : public testkit::AppTest {
protected:
    void TearDown() override {
        fm::Element::removeClassAppearances();
        AppTest::TearDown();
    }
};

// The remote form against a loopback server: (address, reply, what the form shows after).
TEST_F(FormWebTest, WebControllersFetchBindAndReportFailures) {
    testkit::LoopbackServer server;
    server.script("GET", "/good", {.body = R"({"name": "Ann", "flag": true})"});
    server.script("GET", "/bad", {.body = "not json"});
    const testkit::RefusedAddress refusing;
    const std::string refused = refusing.url("/x");
    struct Case {
        const char* name;
        rt::Id object;
        bool fetches;
        const char* title;
        bool hidden, alert;
    };
    const Case cases[] = {
        {"success binds", str(server.url("/good")), true, "Ann", true, false},
        {"no address", ns::num(5), false, "old", false, false},
        {"refused", str(refused), true, "nil", false, true},
        {"not json", str(server.url("/bad")), true, "old", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ns::CapturedLog log;
        auto root = rt::make<fm::RootBuilder>()->buildWithObject(formJson(
            R"({"sections": [{"elements": [{"type": "FMLabelElement", "title": "old", "bind": "title:name, hidden:flag"}]}]})"));
        root->setObject(c.object);
        auto web = rt::make<fm::WebController>(root);
        web->loadViewIfNeeded();
        auto application = ui::Application::sharedApplication();
        EXPECT_EQ(application->isNetworkActivityIndicatorVisible(), c.fetches);
        app().advance(1);
        EXPECT_FALSE(application->isNetworkActivityIndicatorVisible());
        auto label = rt::cast<fm::LabelElement>(root->getSectionForIndex(0)->elements()->front());
        EXPECT_EQ(formText(label->title()), c.title);
        EXPECT_EQ(label->hidden(), c.hidden);
        const auto alerts = ui::AlertView::presentedAlerts();
        ASSERT_EQ(alerts.size(), c.alert ? 1u : 0u);
        if (c.alert) {
            EXPECT_EQ(formText(alerts[0]->title()), "Error");
            EXPECT_EQ(formText(alerts[0]->buttonTitleAtIndex(0)), "OK");
            EXPECT_NE(log.lines().at(0).find("Couldn't set property hidden"), std::string::npos);
            alerts[0]->press(0);
        }
    }
    // A controller gone before its answer: the completion finds nothing to do.
    {
        auto web = rt::make<fm::WebController>(rt::make<fm::RootElement>());
        web->setUrl(str(server.url("/good")));
        web->loadViewIfNeeded();
    }
    app().advance(1);
    EXPECT_EQ(server.requests().size(), 3u);
    EXPECT_TRUE(ui::AlertView::presentedAlerts().empty());
}


constexpr std::string_view formMutationForm = R"({"title": "Form", "bind": "title:name", "sections": [
    {"title": "People", "bind": "iterate:people", "elementTemplate": {"type": "FMLabelElement",
      "bind": "title:name, value:age, hidden:away"}, "beforeTemplateElements": [{"type": "FMLabelElement",
      "title": "first"}]},
    {"type": "FMDynamicDataSection", "bind": "iterate:items", "showLoading": true, "emptyMessage": "None",
      "elementTemplate": {"type": "FMTextElement", "bind": "text:self"}},
    {"type": "FMSortingSection", "key": "order", "elements": [{"type": "FMLabelElement", "key": "a"},
      {"type": "FMLabelElement", "key": "b", "height": 60, "accessoryType": "Checkmark"}]},
    {"bind": "iterateproperties:info", "elementTemplate": {"type": "FMLabelElement", "bind": "title:key, value:value"}},
    {"elements": [{"type": "FMRootElement", "title": "More", "shallowBind": false, "bind": "title:more.title",
      "sections": [{"elements": [{"type": "FMTextElement", "bind": "text:more.text", "key": "more"}]}]}]}]})";
constexpr std::string_view formMutationData = R"({"name": "Ann", "people": [{"name": "Bo", "age": 3, "away": false},
    {"name": "Cy", "age": 4.5, "away": true}], "items": ["x", "y"], "info": {"make": "Acme", "year": 2020},
    "more": {"title": "Extra", "text": "Lines"}})";

// A seeded mutator over parsed JSON: each member of a container may be dropped, duplicated,
// retyped or swapped with another; the rest is mutated in turn.
class FormMutator {
public:
    explicit FormMutator(unsigned seed) : rng_(seed) {}

    rt::Id mutate(const rt::Id& value) {
        if (auto dictionary = rt::cast<ns::Dictionary>(value)) {
            std::vector<rt::Id> keys, values;
            for (auto [key, member] : *dictionary)
                if (pick(10) != 0) keys.push_back(key), values.push_back(mutate(member));
            mutateList(values);
            auto out = ns::MutableDictionary::make();
            for (std::size_t i = 0; i < keys.size(); ++i)
                out->setObjectForKey(values[i], keys[i]);
            return out;
        }
        if (auto array = rt::cast<ns::Array>(value)) {
            std::vector<rt::Id> members;
            for (const auto& member : *array) {
                if (pick(10) == 0) continue;
                members.push_back(mutate(member));
                if (pick(10) == 0) members.push_back(members.back());
            }
            mutateList(members);
            return ns::Array::make(std::move(members));
        }
        return pick(8) == 0 ? retyped() : value;
    }

private:
    std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }
    void mutateList(std::vector<rt::Id>& members) {
        if (members.size() > 1 && pick(4) == 0) std::swap(members[pick(members.size())], members[pick(members.size())]);
        if (!members.empty() && pick(6) == 0) members[pick(members.size())] = retyped();
    }
    rt::Id retyped() {
        switch (pick(11)) {
        case 0: return str("x");
        case 1: return str("FMLabelElement");
        case 2: return str("iterate:self, title:self");
        case 3: return ns::num(std::numeric_limits<double>::quiet_NaN());
        case 4: return ns::num(-1e300);
        case 5: return ns::num(3);
        case 6: return ns::Null::null();
        case 7: return ns::Array::make();
        case 8: return ns::Dictionary::make();
        case 9: return ns::num(true);
        default: return str("Alphabet");
        }
    }

    std::mt19937 rng_;
};

// Thousands of damaged forms and data: each builds, binds and reads back without a crash, and
// leaves nothing alive (the test main's leak check).
TEST_F(FormBuilderTest, MutatedFormsAndDataNeverCrash) {
    const rt::Id form = formJson(formMutationForm), data = formJson(formMutationData);
    FormMutator mutator(54);
    ns::CapturedLog quiet;
    for (int i = 0; i < 3000; ++i) {
        auto root = fm::RootElement::initWithJSONAndData(mutator.mutate(form), mutator.mutate(data));
        ASSERT_TRUE(root);
        auto back = ns::MutableDictionary::make();
        root->fetchValueUsingBindingsIntoObject(back);
        root->fetchValueIntoObject(back);
        root->bindToObject(str("a string"));
    }
    auto intact = fm::RootElement::initWithJSONAndData(form, data);
    EXPECT_EQ(formOutline(intact), "People[first,Bo=3,Cy=4.5][x,y][nil,nil][make=Acme,year=2020][Extra{[Lines]}]");
}

} // namespace
