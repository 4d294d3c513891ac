#pragma once
// The tester script's actions on the test list: {"do": "tick", "key": "WIFI"} and "untick" tick or
// untick the row of that result key on the list on screen, as a person does: the row is scrolled
// into view where a finger could scroll the list, and its tick button tapped (a tap like any
// other: refused when it would not land, naming what covers it). A row already as asked is left
// alone.

namespace app {

// Adds "tick" and "untick" to the script actions. Harmless when called again.
void registerListActions();

} // namespace app
