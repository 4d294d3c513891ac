// The blocks a form keeps (a row's onSelected, a form's value-changed block, a screen's
// disappearance callback, a choice section's onSelected) may clear themselves while they run.

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

TEST(FormStoredBlocks, ABlockMayClearItsOwnSlotWhileItRuns) {
    using testkit::expectBlockClearingItselfRunsOnce;
    auto row = rt::make<fm::LabelElement>(ns::String::make("Row"), nullptr);
    expectBlockClearingItselfRunsOnce(
        "a row's onSelected", [&](auto block) { row->setOnSelected(block); }, [&] { row->performAction(); });
    auto root = rt::make<fm::RootElement>();
    expectBlockClearingItselfRunsOnce(
        "a form's onValueChanged", [&](auto block) { root->setOnValueChanged(block); },
        [&] { root->handleEditingChanged(); });
    const auto screenCallback = [](const char* what, auto screen) {
        expectBlockClearingItselfRunsOnce(
            what, [&](auto block) { screen->setWillDisappearCallback(block); },
            [&] { screen->viewWillDisappear(false); });
    };
    screenCallback("a form screen's willDisappear",
                   rt::make<fm::FormController>(rt::make<fm::RootElement>()));
    screenCallback("the text editor's willDisappear",
                   rt::make<fm::MultilineTextViewController>(ns::String::make("Notes")));
    const auto items = ns::Array::make({ns::String::make("a"), ns::String::make("b")});
    auto radio = rt::make<fm::RadioSection>(items, std::size_t{0});
    radio->removeAllElements();
    radio->Section::addElement(rt::make<fm::RadioItemElement>(0, radio));
    for (const rt::Ref<fm::SelectSection>& section :
         {rt::make<fm::SelectSection>(items, ns::Array::make()), rt::Ref<fm::SelectSection>(radio)})
        expectBlockClearingItselfRunsOnce(
            std::string(section->getClass().name()), [&](auto block) { section->setOnSelected(block); },
            [&] { (*section->elements())[0]->selected(nullptr, nullptr, nullptr); });
}

} // namespace
