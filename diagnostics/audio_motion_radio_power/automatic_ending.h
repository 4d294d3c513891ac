#pragma once
// The automatic ending rule of the screens that decide by themselves and are run in the automatic
// group: the code goes into the item with why it was reached (setVerdict), then a single run
// leaves by gotoResultView, a retry or the last item of the run (by identity) by gotoResultView
// too, any other item by gotoPreviousView (the runner goes on to the next item).

#include <cstdint>
#include <string>

namespace ft {

class BaseModelViewController;

void endAutomatically(BaseModelViewController& screen, std::int64_t code, std::string why);

} // namespace ft
