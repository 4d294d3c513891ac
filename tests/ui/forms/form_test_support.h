#pragma once
// What the forms tests share: a form of some sections, shown by a loaded form table.

#include <initializer_list>

#include "platform/uikit/view_controller.h"
#include "ui/forms/form_table_view.h"
#include "ui/forms/root_element.h"
#include "ui/forms/section.h"

namespace forms_test {

// `form` given the sections, shown on `controller` by a form table 320 wide and `height` high,
// loaded.
inline rt::Ref<fm::FormTableView> loadedTable(const rt::Ref<ui::ViewController>& controller,
                                              const rt::Ref<fm::RootElement>& form,
                                              std::initializer_list<rt::Ref<fm::Section>> sections,
                                              double height = 2000) {
    for (const auto& section : sections)
        form->addSection(section);
    auto table = rt::make<fm::FormTableView>(controller, form);
    table->setFrame(cg::Rect::make(0, 0, 320, height));
    table->reloadData();
    return table;
}

} // namespace forms_test
