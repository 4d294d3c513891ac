#include "diagnostics/audio_motion_radio_power/radio_steps.h"

#include "platform/foundation/dictionary.h"
#include "platform/runtime/number.h"
#include "platform/uikit/activity_indicator_view.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "session/test_screen_scene.h"

namespace ft {

rt::Ref<ns::Array> radioStepRows(std::initializer_list<const char*> titles) {
    std::vector<rt::Id> rows;
    for (const char* title : titles) {
        auto row = ns::MutableDictionary::make();
        row->setObjectForKey(ns::String::make(title), "title");
        rows.push_back(row);
    }
    return ns::Array::make(rows);
}

std::vector<RadioStepLine> addRadioStepLines(const rt::Ref<ui::View>& view, int count) {
    const double width = view->bounds().width();
    std::vector<RadioStepLine> lines;
    for (int i = 0; i < count; ++i) {
        const double y = 150 + 56 * i;
        RadioStepLine line;
        line.caption = addSceneLabel(view, cg::Rect::make(20, y, width - 90, 44), 15);
        line.caption->setTextAlignment(ui::TextAlignment::Left);
        line.tick = rt::make<ui::ImageView>(cg::Rect::make(width - 54, y + 7, 30, 30));
        view->addSubview(line.tick);
        line.spinner = ui::ActivityIndicatorView::withStyle(ui::ActivityIndicatorViewStyle::Gray);
        line.spinner->setCenter(cg::Point{width - 39, y + 22});
        line.spinner->startAnimating();
        line.spinner->setHidden(true);
        view->addSubview(line.spinner);
        lines.push_back(std::move(line));
    }
    return lines;
}

void tickRadioStep(const rt::Ref<ui::ImageView>& tick, const rt::Ref<ui::ActivityIndicatorView>& spinner) {
    if (spinner) spinner->setHidden(true);
    if (tick) tick->setImage(ui::Image::imageNamed("icon_success_shape"));
}

void setRadioStepResult(const rt::Ref<ns::Array>& rows, std::size_t index, int code) {
    if (!rows || index >= rows->count()) return;
    if (auto row = rt::cast<ns::MutableDictionary>(rows->objectAtIndex(index)))
        row->setObjectForKey(ns::Number::withInt(code), "result");
}

} // namespace ft
