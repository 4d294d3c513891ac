#pragma once
// What the step-by-step radio screens share: rows of the subitem list made from their titles, and
// the scene's step lines (a caption, a tick on the right, a spinner over it, hidden), one under the
// other; a step passed hides its spinner and shows the tick.

#include <initializer_list>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/runtime/object.h"

namespace ui {
class ActivityIndicatorView;
class ImageView;
class Label;
class View;
} // namespace ui

namespace ft {

struct RadioStepLine {
    rt::Ref<ui::Label> caption;
    rt::Ref<ui::ImageView> tick;
    rt::Ref<ui::ActivityIndicatorView> spinner;
};

// One mutable dictionary per title, holding only its "title".
rt::Ref<ns::Array> radioStepRows(std::initializer_list<const char*> titles);
// `count` step lines added to the scene's view.
std::vector<RadioStepLine> addRadioStepLines(const rt::Ref<ui::View>& view, int count);
// The step's spinner hidden and its tick shown (either may be nil).
void tickRadioStep(const rt::Ref<ui::ImageView>& tick, const rt::Ref<ui::ActivityIndicatorView>& spinner);
// The row's "result" set to `code` (an int number), when the list has that row.
void setRadioStepResult(const rt::Ref<ns::Array>& rows, std::size_t index, int code);

} // namespace ft
