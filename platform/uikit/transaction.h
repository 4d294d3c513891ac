#pragma once
// ca::Transaction ("CATransaction"): what the main thread changes on screen in a turn of its work
// is committed as the turn ends (ns::RunLoop's turn-end handlers: after each pass of the main run
// loop that found work, and for work done outside it, such as a tester's touch, as it next runs),
// as a compositor commits a frame: the display passes still queued run, then the commit handlers
// added during the turn, in the order added; then what the turn asked to start only after the
// frame it leaves on screen (a navigation transition, a dialog's take-away: the post-commit
// handlers), in the order added, as a turn of its own that commits as it ends. A turn that added
// none commits nothing. flush runs the display pass of every view with a marked rectangle at once,
// instead of at the end of the main queue's turn. Main thread only.

#include <functional>

namespace ca {

class Transaction {
public:
    static void flush();
    // Runs `handler` once, as the current turn's changes are committed (one added while the
    // handlers run, at the commit of the turn the post-commit handlers make).
    static void addCommitHandler(std::function<void()> handler);
    // Runs `handler` once, after the current turn's commit handlers (one added while they run, too).
    static void addPostCommitHandler(std::function<void()> handler);
};

} // namespace ca
