// The blocks a form keeps (a row's onSelected, a form's value-changed block, a screen's
// disappearance callback, a choice section's onSelected) may clear or replace themselves while
// they run.

#include <string>

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/foundation/string.h"
#include "tests/testkit/slot_clearing_block.h"
#include "ui/forms/elements/label_element.h"
#include "ui/forms/elements/multiline_element.h"
#include "ui/forms/elements/radio_elements.h"
#include "ui/forms/elements/select_section.h"
#include "ui/forms/form_controller.h"
#include "ui/forms/root_element.h"

namespace {

// The screen's willDisappear callback, run as the screen is about to leave.
template <class Screen> testkit::BlockSlot willDisappearSlot(const char* name, rt::Ref<Screen> screen) {
    return {name,
            [screen](const char* block, std::string& heard) {
                screen->setWillDisappearCallback(testkit::slotClearingBlock(
                    block, heard, [screen = screen.get()] { screen->setWillDisappearCallback(nullptr); }));
            },
            [screen] { screen->viewWillDisappear(false); }};
}

// The section's onSelected, run by a tap on its first option row.
testkit::BlockSlot optionSlot(const char* name, rt::Ref<fm::SelectSection> section) {
    return {name,
            [section](const char* block, std::string& heard) {
                section->setOnSelected(testkit::slotClearingBlock(
                    block, heard, [section = section.get()] { section->setOnSelected(nullptr); }));
            },
            [section] { (*section->elements())[0]->selected(nullptr, nullptr, nullptr); }};
}

TEST(FormStoredBlocks, ABlockMayClearOrReplaceItsOwnSlotWhileItRuns) {
    auto row = rt::make<fm::LabelElement>(ns::String::make("Row"), nullptr);
    auto root = rt::make<fm::RootElement>();
    const auto items = ns::Array::make({ns::String::make("a"), ns::String::make("b")});
    auto radio = rt::make<fm::RadioSection>(items, std::size_t{0});
    radio->removeAllElements();
    radio->Section::addElement(rt::make<fm::RadioItemElement>(0, radio));
    testkit::expectSlotClearingBlocksRunOnce({
        {"a row's onSelected sets another",
         [&](const char* name, std::string& heard) {
             row->setOnSelected(
                 testkit::slotClearingBlock(name, heard, [row = row.get()] { row->setOnSelected([] {}); }));
         },
         [&] { row->performAction(); }},
        {"a form's onValueChanged",
         [&](const char* name, std::string& heard) {
             root->setOnValueChanged(testkit::slotClearingBlock(
                 name, heard, [root = root.get()] { root->setOnValueChanged(nullptr); }));
         },
         [&] { root->handleEditingChanged(); }},
        willDisappearSlot("a form screen's willDisappear",
                          rt::make<fm::FormController>(rt::make<fm::RootElement>())),
        willDisappearSlot("the text editor's willDisappear",
                          rt::make<fm::MultilineTextViewController>(ns::String::make("Notes"))),
        optionSlot("a select section's onSelected", rt::make<fm::SelectSection>(items, ns::Array::make())),
        optionSlot("a radio section's onSelected", radio),
    });
}

} // namespace
