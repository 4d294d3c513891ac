#include "platform/uikit/layout_solver.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ui::detail {

double strengthWeight(double priority) { return std::pow(10.0, 0.006 * priority); }

const char* describe(SolverStatus status) {
    switch (status) {
    case SolverStatus::Ok: return "ok";
    case SolverStatus::Unsatisfiable: return "unsatisfiable required constraint";
    case SolverStatus::DuplicateConstraint: return "duplicate constraint";
    case SolverStatus::UnknownConstraint: return "unknown constraint";
    case SolverStatus::UnknownVariable: return "unknown variable";
    case SolverStatus::DuplicateEditVariable: return "duplicate edit variable";
    case SolverStatus::UnknownEditVariable: return "unknown edit variable";
    case SolverStatus::InvalidPriority: return "invalid priority";
    case SolverStatus::InvalidValue: return "invalid value";
    case SolverStatus::VariableInUse: return "variable in use";
    }
    return "unknown status";
}

namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// External symbols are the caller's variables and unrestricted. Slack and error symbols are >= 0;
// dummies are fixed at 0 and mark required equalities. Retired symbols belonged to a removed
// constraint or a released variable and wait to be recycled.
enum class Kind : std::uint8_t { Free, External, Slack, Error, Dummy, Retired };

// Whether a variable waits for its value to be refreshed. (Not a plain byte, which the compiler
// would have to assume can alias anything.)
enum class Mark : std::uint8_t { None, Moved };

bool canEnter(Kind k) { return k == Kind::Slack || k == Kind::Error; }
bool nearZero(double v) { return v < kSolverEpsilon && v > -kSolverEpsilon; }

struct Cell {
    std::uint32_t symbol;
    double coefficient;
};
using Cells = std::vector<Cell>;

// `basic = constant + sum(coefficient * symbol)`, or for a row being built, `0 = ...`.
struct Row {
    std::uint32_t basic = kNone;
    std::uint32_t savedEpoch = 0;
    double constant = 0.0;
    Cells cells;
};

// The row functions keep cells sorted by symbol with no coefficient near zero. For a tableau row
// they also keep `counts[symbol]`, how many tableau rows mention the symbol; other rows pass null.

Cells::const_iterator findCell(const Cells& cells, std::uint32_t symbol) {
    // Most rows a column scan visits do not mention the symbol; many miss it by range alone.
    if (cells.empty() || symbol < cells.front().symbol || symbol > cells.back().symbol) return cells.end();
    auto it = std::lower_bound(cells.begin(), cells.end(), symbol,
                               [](const Cell& c, std::uint32_t s) { return c.symbol < s; });
    return it != cells.end() && it->symbol == symbol ? it : cells.end();
}

double coefficientOf(const Row& row, std::uint32_t symbol) {
    auto it = findCell(row.cells, symbol);
    return it == row.cells.end() ? 0.0 : it->coefficient;
}

void insertCell(Cells& cells, std::uint32_t symbol, double coefficient, std::uint32_t* counts) {
    auto it = std::lower_bound(cells.begin(), cells.end(), symbol,
                               [](const Cell& c, std::uint32_t s) { return c.symbol < s; });
    if (it != cells.end() && it->symbol == symbol) {
        it->coefficient += coefficient;
        if (nearZero(it->coefficient)) {
            cells.erase(it);
            if (counts) --counts[symbol];
        }
    } else if (!nearZero(coefficient)) {
        cells.insert(it, Cell{symbol, coefficient});
        if (counts) ++counts[symbol];
    }
}

// Removes the symbol's cell and answers its coefficient (0 when it has none).
double takeCell(Row& row, std::uint32_t symbol, std::uint32_t* counts) {
    auto it = findCell(row.cells, symbol);
    if (it == row.cells.end()) return 0.0;
    const double coefficient = it->coefficient;
    row.cells.erase(it);
    if (counts) --counts[symbol];
    return coefficient;
}

void dropNearZero(Row& row, std::uint32_t* counts) {
    std::erase_if(row.cells, [counts](const Cell& c) {
        if (!nearZero(c.coefficient)) return false;
        if (counts) --counts[c.symbol];
        return true;
    });
}

// target += factor * source. A short source (a row into the objective) goes cell by cell. Else
// the two merge in place from the back, into room made for every source cell, so the target
// keeps its own buffer; a cell that cancels is not written, and the merged part then closes up
// to the untouched front.
void addScaled(Row& target, const Row& source, double factor, std::uint32_t* counts) {
    target.constant += factor * source.constant;
    Cells& a = target.cells;
    const Cells& b = source.cells;
    const std::size_t n = a.size();
    if (b.size() * 8 < n) {
        for (const Cell& c : b) insertCell(a, c.symbol, factor * c.coefficient, counts);
        return;
    }
    a.resize(n + b.size());
    std::size_t i = n, j = b.size(), k = a.size();
    while (j > 0) {
        const Cell& from = b[--j];
        while (i > 0 && a[i - 1].symbol > from.symbol) a[--k] = a[--i];
        double c = factor * from.coefficient;
        const bool shared = i > 0 && a[i - 1].symbol == from.symbol;
        if (shared) c = a[--i].coefficient + c;
        if (nearZero(c)) {
            if (shared && counts) --counts[from.symbol];
            continue;
        }
        if (!shared && counts) ++counts[from.symbol];
        a[--k] = Cell{from.symbol, c};
    }
    // a[0, i) is as it was and a[k, end) is merged; k >= i throughout.
    if (k > i) {
        std::copy(a.begin() + static_cast<std::ptrdiff_t>(k), a.end(), a.begin() + static_cast<std::ptrdiff_t>(i));
        a.resize(a.size() - (k - i));
    }
}

void scaleRow(Row& row, double factor, std::uint32_t* counts) {
    row.constant *= factor;
    bool cancelled = false;
    for (Cell& c : row.cells) {
        c.coefficient *= factor;
        cancelled |= nearZero(c.coefficient);
    }
    if (cancelled) dropNearZero(row, counts);
}

// `0 = row` becomes `symbol = row'`.
void solveFor(Row& row, std::uint32_t symbol, std::uint32_t* counts) {
    const double coefficient = takeCell(row, symbol, counts);
    scaleRow(row, -1.0 / coefficient, counts);
}

// The last entry of a free list, taken off it; kNone when it is empty.
std::uint32_t takeFree(std::vector<std::uint32_t>& list) {
    if (list.empty()) return kNone;
    const std::uint32_t last = list.back();
    list.pop_back();
    return last;
}

// A tableau row's coefficient of some symbol.
struct ColumnEntry {
    std::uint32_t slot;
    double coefficient;
};

struct ConstraintRecord {
    enum class State : std::uint8_t { Free, Made, Added };

    Cells terms; // variable symbols, merged and sorted
    double constant = 0.0;
    double priority = kRequiredPriority;
    double weight = 0.0;
    double markerCoefficient = 0.0; // the marker's coefficient in the constraint's own row
    std::uint32_t generation = 0;
    std::uint32_t marker = kNone;
    std::uint32_t other = kNone;
    Relation relation = Relation::Equal;
    SolverStatus defect = SolverStatus::Ok;
    State state = State::Free;
    // The rows that mention the non-basic marker, as of the tableau's shape `columnShape`: an
    // edit suggested again and again finds them without a search.
    std::vector<ColumnEntry> column;
    std::uint64_t columnShape = 0;

    bool required() const { return priority >= kRequiredPriority; }
};

struct SymbolInfo {
    std::uint32_t generation = 0; // of the variable handle
    std::uint32_t uses = 0;       // constraints naming the variable
    std::uint32_t edit = kNone;   // the edit constraint's index
    std::uint32_t position = kNone; // in the list of variables
};

struct SavedRow {
    std::uint32_t slot = kNone;
    std::uint32_t basic = kNone;
    double constant = 0.0;
    Cells cells;
};

struct SavedConstant {
    std::uint32_t slot;
    double constant;
};

} // namespace

// The implementation holds this file's own types. A unity build compiles the file as an included
// one, where GCC takes a class holding them for a header's and warns.
#pragma GCC diagnostic push
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wsubobject-linkage"
#endif
struct LayoutSolver::Impl {
    // Symbols, indexed by symbol.
    std::vector<Kind> kinds;
    std::vector<std::uint32_t> rowOf; // the slot of the row a basic symbol heads
    std::vector<std::uint32_t> counts;
    std::vector<SymbolInfo> info;
    std::vector<double> values;
    std::vector<Mark> marks;          // listed in `moved` or not
    std::vector<std::uint32_t> moved; // variables whose row changed since the last refresh
    std::vector<std::uint32_t> freeSymbols;
    std::vector<std::uint32_t> retired;
    std::vector<std::uint32_t> variables;

    // The tableau: rows in stable slots and the objective.
    std::vector<Row> rows;
    std::vector<std::uint32_t> freeRows;
    std::size_t activeRows = 0;
    Row objective;
    Row work;
    std::vector<std::uint32_t> infeasible;
    bool pendingDual = false;
    // Counts changes of the tableau's cells (not of its constants); never 0.
    std::uint64_t shape = 1;

    std::vector<ConstraintRecord> constraints;
    std::vector<std::uint32_t> freeConstraints;

    // The journal of a transaction that may be refused: rows as they were before their first
    // change, constants changed before any full save, and the objective and free slots.
    bool journaling = false;
    std::uint32_t epoch = 0;
    std::vector<SavedRow> savedRows;
    std::size_t savedRowCount = 0;
    std::vector<SavedConstant> savedConstants;
    Row savedObjective;
    std::vector<std::uint32_t> savedFreeRows;
    std::size_t savedSlotCount = 0;
    std::size_t savedActiveRows = 0;

    std::uint32_t* countsData() { return counts.data(); }

    // ---- symbols

    std::uint32_t newSymbol(Kind kind) {
        std::uint32_t s = takeFree(freeSymbols);
        if (s == kNone) {
            s = static_cast<std::uint32_t>(kinds.size());
            kinds.push_back(Kind::Free);
            rowOf.push_back(kNone);
            counts.push_back(0);
            info.emplace_back();
            values.push_back(0.0);
            marks.push_back(Mark::None);
        }
        kinds[s] = kind;
        return s;
    }

    // For a symbol that appears nowhere; freeing in reverse order of making restores the order in
    // which symbols are handed out.
    void dropSymbol(std::uint32_t s) {
        kinds[s] = Kind::Free;
        freeSymbols.push_back(s);
    }

    // Values are refreshed only for the variables listed here: those whose row changed, was placed
    // or was released.
    void noteMoved(std::uint32_t symbol) {
        if (symbol == kNone || kinds[symbol] != Kind::External || marks[symbol] == Mark::Moved) return;
        marks[symbol] = Mark::Moved;
        moved.push_back(symbol);
    }

    void refreshValues() {
        for (const std::uint32_t s : moved) {
            marks[s] = Mark::None;
            if (kinds[s] == Kind::External) values[s] = currentValue(s);
        }
        moved.clear();
    }

    // A removed constraint's symbols are gone from the tableau in exact arithmetic; rounding can
    // leave a remnant only below epsilon, where it is dropped. A periodic sweep makes sure before
    // the symbols are handed out again.
    void retire(std::uint32_t s) {
        kinds[s] = Kind::Retired;
        retired.push_back(s);
        if (retired.size() >= 64 + activeRows) sweep();
    }

    void sweep() {
        auto remnant = [this](const Cell& c) { return kinds[c.symbol] == Kind::Retired; };
        for (Row& row : rows) {
            if (std::any_of(row.cells.begin(), row.cells.end(), remnant)) {
                for (const Cell& c : row.cells)
                    if (remnant(c)) --counts[c.symbol];
                std::erase_if(row.cells, remnant);
            }
        }
        std::erase_if(objective.cells, remnant);
        ++shape;
        for (std::uint32_t s : retired) dropSymbol(s);
        retired.clear();
    }

    bool validVariable(Variable v) const {
        return v.generation != 0 && v.id < kinds.size() && kinds[v.id] == Kind::External &&
               info[v.id].generation == v.generation;
    }

    bool validConstraint(Constraint c) const {
        return c.generation != 0 && c.index < constraints.size() &&
               constraints[c.index].generation == c.generation &&
               constraints[c.index].state != ConstraintRecord::State::Free;
    }

    double currentValue(std::uint32_t s) const {
        const std::uint32_t slot = rowOf[s];
        return slot == kNone ? 0.0 : rows[slot].constant;
    }

    // Slack and error rows must not be negative. A dummy row must be 0, and may stay basic only
    // while it mentions nothing but dummies (a required equality implied by others).
    bool isInfeasible(const Row& row) const {
        switch (kinds[row.basic]) {
        case Kind::Slack:
        case Kind::Error: return row.constant < -kSolverEpsilon;
        case Kind::Dummy: return !nearZero(row.constant) || !onlyDummies(row);
        default: return false;
        }
    }

    bool onlyDummies(const Row& row) const {
        return std::all_of(row.cells.begin(), row.cells.end(),
                           [this](const Cell& c) { return kinds[c.symbol] == Kind::Dummy; });
    }

    // ---- rows

    std::uint32_t placeRow(std::uint32_t basic, const Row& from) {
        std::uint32_t slot = takeFree(freeRows);
        if (slot != kNone) {
            touchRow(slot);
        } else {
            slot = static_cast<std::uint32_t>(rows.size());
            rows.emplace_back();
        }
        Row& row = rows[slot];
        row.basic = basic;
        row.constant = from.constant;
        row.cells.assign(from.cells.begin(), from.cells.end());
        for (const Cell& c : row.cells) ++counts[c.symbol];
        ++shape;
        noteMoved(basic);
        rowOf[basic] = slot;
        ++activeRows;
        return slot;
    }

    void releaseRow(std::uint32_t slot) {
        touchRow(slot);
        Row& row = rows[slot];
        for (const Cell& c : row.cells) --counts[c.symbol];
        rowOf[row.basic] = kNone;
        row.basic = kNone;
        row.constant = 0.0;
        row.cells.clear();
        freeRows.push_back(slot);
        --activeRows;
    }

    void adjustConstant(std::uint32_t slot, double delta) {
        if (journaling) touchConstant(slot);
        Row& row = rows[slot];
        row.constant += delta;
        if (kinds[row.basic] == Kind::External)
            noteMoved(row.basic);
        else if (isInfeasible(row))
            infeasible.push_back(row.basic);
    }

    // Replaces `symbol` by the row at `sourceSlot` (which it heads) everywhere else.
    void substitute(std::uint32_t symbol, std::uint32_t sourceSlot) {
        const Row& source = rows[sourceSlot];
        std::uint32_t remaining = counts[symbol];
        for (std::uint32_t slot = 0; remaining > 0 && slot < rows.size(); ++slot) {
            Row& row = rows[slot];
            if (findCell(row.cells, symbol) == row.cells.end()) continue;
            --remaining;
            touchRow(slot);
            const double c = takeCell(row, symbol, countsData());
            addScaled(row, source, c, countsData());
            if (isInfeasible(row)) infeasible.push_back(row.basic);
        }
        const double c = takeCell(objective, symbol, nullptr);
        if (c != 0.0) addScaled(objective, source, c, nullptr);
    }

    void pivot(std::uint32_t slot, std::uint32_t entering) {
        touchRow(slot);
        Row& row = rows[slot];
        const std::uint32_t leaving = row.basic;
        insertCell(row.cells, leaving, -1.0, countsData());
        solveFor(row, entering, countsData());
        row.basic = entering;
        rowOf[leaving] = kNone;
        rowOf[entering] = slot;
        substitute(entering, slot);
    }

    // ---- simplex

    // Primal simplex on a feasible tableau. Bland's rule: the lowest entering symbol, ties in the
    // ratio test to the lowest basic symbol. False only if the objective were unbounded, which a
    // sum of weighted non-negative errors cannot be.
    bool optimize(Row& target) {
        for (;;) {
            std::uint32_t entering = kNone;
            for (const Cell& c : target.cells) {
                if (c.coefficient < -kSolverEpsilon && canEnter(kinds[c.symbol])) {
                    entering = c.symbol;
                    break;
                }
            }
            if (entering == kNone) return true;
            std::uint32_t leaving = kNone, leavingBasic = kNone;
            double best = kInfinity;
            std::uint32_t remaining = counts[entering];
            for (std::uint32_t slot = 0; remaining > 0 && slot < rows.size(); ++slot) {
                const Row& row = rows[slot];
                const double a = coefficientOf(row, entering);
                if (a == 0.0) continue;
                --remaining;
                if (a > 0.0 || kinds[row.basic] == Kind::External) continue;
                const double ratio = -row.constant / a;
                if (ratio < best || (ratio == best && row.basic < leavingBasic)) {
                    best = ratio;
                    leaving = slot;
                    leavingBasic = row.basic;
                }
            }
            if (leaving == kNone) return false;
            pivot(leaving, entering);
        }
    }

    // Dual simplex on an optimal tableau whose infeasible rows are listed. False when a row cannot
    // be made feasible: the required constraints conflict. The row furthest from feasible goes
    // first; should a degenerate tableau keep it pivoting far longer than any real change needs,
    // the lowest infeasible symbol goes first instead, which cannot cycle. A negative row needs a
    // symbol that raises it; a dummy row above zero one that lowers it, and at zero either (it
    // only has to leave the basis). The ratio test keeps the objective optimal.
    bool dualOptimize() {
        const std::size_t patience = 4 * activeRows + 64;
        std::size_t pivots = 0;
        for (std::uint32_t leaving; (leaving = takeInfeasible(pivots++ > patience)) != kNone;) {
            const std::uint32_t slot = rowOf[leaving];
            const Row& row = rows[slot];
            double direction = row.constant > kSolverEpsilon ? -1.0 : 1.0;
            if (nearZero(row.constant) && std::none_of(row.cells.begin(), row.cells.end(), [this](const Cell& c) {
                    return c.coefficient > 0.0 && canEnter(kinds[c.symbol]);
                }))
                direction = -1.0;
            std::uint32_t entering = kNone;
            double best = kInfinity;
            for (const Cell& c : row.cells) {
                if (c.coefficient * direction > 0.0 && canEnter(kinds[c.symbol])) {
                    const double ratio = coefficientOf(objective, c.symbol) / (c.coefficient * direction);
                    if (ratio < best) {
                        best = ratio;
                        entering = c.symbol;
                    }
                }
            }
            if (entering == kNone) {
                infeasible.clear();
                return false;
            }
            pivot(slot, entering);
        }
        return true;
    }

    // The listed row furthest from feasible (or, `lowestFirst`, the lowest symbol's), ties to the
    // lowest symbol, off the list; rows no longer infeasible leave the list on the way.
    std::uint32_t takeInfeasible(bool lowestFirst) {
        std::size_t best = 0, kept = 0;
        double worst = -1.0;
        for (const std::uint32_t s : infeasible) {
            const std::uint32_t slot = rowOf[s];
            if (slot == kNone || !isInfeasible(rows[slot])) continue;
            const double distance = lowestFirst ? 0.0 : std::fabs(rows[slot].constant);
            if (distance > worst || (distance == worst && s < infeasible[best])) {
                worst = distance;
                best = kept;
            }
            infeasible[kept++] = s;
        }
        infeasible.resize(kept);
        if (kept == 0) return kNone;
        const std::uint32_t s = infeasible[best];
        infeasible[best] = infeasible.back();
        infeasible.pop_back();
        return s;
    }

    void settle() {
        if (!pendingDual) return;
        pendingDual = false;
        dualOptimize();
        infeasible.clear();
    }

    // ---- journal

    void beginJournal() {
        journaling = true;
        if (++epoch == 0) {
            for (Row& row : rows) row.savedEpoch = 0;
            epoch = 1;
        }
        savedRowCount = 0;
        savedConstants.clear();
        savedObjective.constant = objective.constant;
        savedObjective.cells.assign(objective.cells.begin(), objective.cells.end());
        savedFreeRows.assign(freeRows.begin(), freeRows.end());
        savedSlotCount = rows.size();
        savedActiveRows = activeRows;
    }

    // Called before a row changes: its variable moves, and a transaction saves the row first.
    void touchRow(std::uint32_t slot) {
        ++shape;
        noteMoved(rows[slot].basic);
        if (!journaling || slot >= savedSlotCount) return;
        Row& row = rows[slot];
        if (row.savedEpoch == epoch) return;
        row.savedEpoch = epoch;
        if (savedRowCount == savedRows.size()) savedRows.emplace_back();
        SavedRow& saved = savedRows[savedRowCount++];
        saved.slot = slot;
        saved.basic = row.basic;
        saved.constant = row.constant;
        saved.cells.assign(row.cells.begin(), row.cells.end());
    }

    // A constant changed before its row is saved whole; the whole save, if one follows, keeps the
    // cells, and the constants are restored after it in reverse.
    void touchConstant(std::uint32_t slot) {
        if (!journaling || slot >= savedSlotCount || rows[slot].savedEpoch == epoch) return;
        savedConstants.push_back(SavedConstant{slot, rows[slot].constant});
    }

    void commit() { journaling = false; }

    void rollback() {
        journaling = false;
        for (std::size_t slot = savedSlotCount; slot < rows.size(); ++slot)
            if (rows[slot].basic != kNone) rowOf[rows[slot].basic] = kNone;
        rows.resize(savedSlotCount);
        for (std::size_t i = 0; i < savedRowCount; ++i) {
            const Row& row = rows[savedRows[i].slot];
            if (row.basic != kNone) rowOf[row.basic] = kNone;
        }
        for (std::size_t i = 0; i < savedRowCount; ++i) {
            SavedRow& saved = savedRows[i];
            Row& row = rows[saved.slot];
            row.basic = saved.basic;
            row.constant = saved.constant;
            row.cells.swap(saved.cells);
        }
        for (auto it = savedConstants.rbegin(); it != savedConstants.rend(); ++it)
            rows[it->slot].constant = it->constant;
        for (std::size_t i = 0; i < savedRowCount; ++i) {
            const Row& row = rows[savedRows[i].slot];
            if (row.basic != kNone) rowOf[row.basic] = savedRows[i].slot;
        }
        objective.constant = savedObjective.constant;
        objective.cells.swap(savedObjective.cells);
        freeRows.swap(savedFreeRows);
        activeRows = savedActiveRows;
        infeasible.clear();
        std::fill(counts.begin(), counts.end(), 0u);
        for (const Row& row : rows)
            for (const Cell& c : row.cells) ++counts[c.symbol];
        for (const std::uint32_t v : variables) noteMoved(v);
        ++shape;
    }

    // ---- constraints

    Constraint make(const Expression& expression, Relation relation, double priority) {
        std::uint32_t index = takeFree(freeConstraints);
        if (index == kNone) {
            index = static_cast<std::uint32_t>(constraints.size());
            constraints.emplace_back();
        }
        ConstraintRecord& c = constraints[index];
        ++c.generation;
        c.state = ConstraintRecord::State::Made;
        c.relation = relation;
        c.priority = priority;
        c.constant = expression.constant;
        c.marker = c.other = kNone;
        c.terms.clear();
        c.defect = SolverStatus::Ok;
        if (!(priority >= kLowestPriority && priority <= kRequiredPriority)) {
            c.defect = SolverStatus::InvalidPriority;
        } else if (relation != Relation::Equal && relation != Relation::LessOrEqual &&
                   relation != Relation::GreaterOrEqual) {
            c.defect = SolverStatus::InvalidValue;
        } else if (!std::isfinite(expression.constant)) {
            c.defect = SolverStatus::InvalidValue;
        }
        for (const Term& t : expression.terms) {
            if (c.defect != SolverStatus::Ok) break;
            if (!validVariable(t.variable))
                c.defect = SolverStatus::UnknownVariable;
            else if (!std::isfinite(t.coefficient))
                c.defect = SolverStatus::InvalidValue;
            else
                insertCell(c.terms, t.variable.id, t.coefficient, nullptr);
        }
        if (c.defect != SolverStatus::Ok) c.terms.clear();
        for (const Cell& t : c.terms) ++info[t.symbol].uses;
        c.weight = c.defect == SolverStatus::Ok && !c.required() ? strengthWeight(priority) : 0.0;
        return Constraint{index, c.generation};
    }

    void destroy(std::uint32_t index) {
        ConstraintRecord& c = constraints[index];
        if (c.state == ConstraintRecord::State::Added) (void)remove(index);
        for (const Cell& t : c.terms) --info[t.symbol].uses;
        c.terms.clear();
        c.state = ConstraintRecord::State::Free;
        freeConstraints.push_back(index);
    }

    // A subject for the new row: the unrestricted variable that the fewest rows mention (it is
    // substituted into each of them), else a new slack or error symbol that keeps the row's
    // constant >= 0.
    std::uint32_t chooseSubject(Row& row, std::uint32_t marker, std::uint32_t other) {
        std::uint32_t external = kNone;
        for (const Cell& c : row.cells) {
            if (kinds[c.symbol] != Kind::External) continue;
            if (external == kNone || counts[c.symbol] < counts[external]) external = c.symbol;
        }
        if (external != kNone) return external;
        if (row.constant < 0.0) scaleRow(row, -1.0, nullptr);
        if (kinds[marker] != Kind::Dummy && coefficientOf(row, marker) < 0.0) return marker;
        if (other != kNone && coefficientOf(row, other) < 0.0) return other;
        return kNone;
    }

    SolverStatus add(std::uint32_t index) {
        ConstraintRecord& c = constraints[index];
        if (c.defect != SolverStatus::Ok) return c.defect;
        if (c.state == ConstraintRecord::State::Added) return SolverStatus::DuplicateConstraint;
        settle();

        // The expression with every basic variable replaced by its row, `>=` as the one inequality.
        const bool required = c.required();
        const double sign = c.relation == Relation::LessOrEqual ? -1.0 : 1.0;
        work.cells.clear();
        work.constant = sign * c.constant;
        for (const Cell& t : c.terms) {
            const std::uint32_t slot = rowOf[t.symbol];
            if (slot != kNone)
                addScaled(work, rows[slot], sign * t.coefficient, nullptr);
            else
                insertCell(work.cells, t.symbol, sign * t.coefficient, nullptr);
        }

        // Equalities: expr + dummy = 0 if required, expr - e+ + e- = 0 otherwise.
        // Inequalities: expr - slack = 0 if required, expr - slack + e = 0 otherwise.
        std::uint32_t marker, other = kNone;
        if (c.relation == Relation::Equal) {
            marker = newSymbol(required ? Kind::Dummy : Kind::Error);
            c.markerCoefficient = required ? 1.0 : -1.0;
        } else {
            marker = newSymbol(Kind::Slack);
            c.markerCoefficient = -1.0;
        }
        if (!required) other = newSymbol(Kind::Error);
        insertCell(work.cells, marker, c.markerCoefficient, nullptr);
        if (other != kNone) {
            insertCell(work.cells, other, 1.0, nullptr);
            if (kinds[marker] == Kind::Error) insertCell(objective.cells, marker, c.weight, nullptr);
            insertCell(objective.cells, other, c.weight, nullptr);
        }

        const std::uint32_t subject = chooseSubject(work, marker, other);
        if (subject != kNone) {
            solveFor(work, subject, nullptr);
            substitute(subject, placeRow(subject, work));
        } else if (onlyDummies(work) && !nearZero(work.constant)) {
            // Contradicts the required equalities already in.
            dropSymbol(marker);
            return SolverStatus::Unsatisfiable;
        } else {
            // Required, and violated where the tableau stands: the marker heads the row anyway
            // and the dual simplex moves the optimum until it holds, or finds that it cannot. A
            // required equality implied by others stays as a row of dummies, so that a later
            // change of either constant is checked.
            beginJournal();
            solveFor(work, marker, nullptr);
            placeRow(marker, work);
            infeasible.push_back(marker);
            if (!dualOptimize()) {
                rollback();
                dropSymbol(marker);
                return SolverStatus::Unsatisfiable;
            }
            commit();
        }
        optimize(objective);
        infeasible.clear();
        c.marker = marker;
        c.other = other;
        c.columnShape = 0;
        c.state = ConstraintRecord::State::Added;
        return SolverStatus::Ok;
    }

    void removeError(std::uint32_t symbol, double weight) {
        const std::uint32_t slot = rowOf[symbol];
        if (slot != kNone)
            addScaled(objective, rows[slot], -weight, nullptr);
        else
            insertCell(objective.cells, symbol, -weight, nullptr);
    }

    // The row to pivot a non-basic marker into before its row is dropped, keeping the others
    // feasible: a dummy row (constant 0) first, then the restricted row that bounds the marker
    // first as it rises, then as it falls, then any row of a variable.
    std::uint32_t markerLeavingRow(std::uint32_t marker) const {
        std::uint32_t rising = kNone, falling = kNone, unrestricted = kNone;
        double risingRatio = kInfinity, fallingRatio = kInfinity;
        std::uint32_t remaining = counts[marker];
        for (std::uint32_t slot = 0; remaining > 0 && slot < rows.size(); ++slot) {
            const Row& row = rows[slot];
            const double a = coefficientOf(row, marker);
            if (a == 0.0) continue;
            --remaining;
            const Kind kind = kinds[row.basic];
            if (kind == Kind::Dummy) return slot;
            if (kind == Kind::External) {
                if (unrestricted == kNone) unrestricted = slot;
            } else if (a < 0.0) {
                const double ratio = -row.constant / a;
                if (ratio < risingRatio) {
                    risingRatio = ratio;
                    rising = slot;
                }
            } else {
                const double ratio = row.constant / a;
                if (ratio < fallingRatio) {
                    fallingRatio = ratio;
                    falling = slot;
                }
            }
        }
        return rising != kNone ? rising : falling != kNone ? falling : unrestricted;
    }

    SolverStatus remove(std::uint32_t index) {
        ConstraintRecord& c = constraints[index];
        if (c.state != ConstraintRecord::State::Added) return SolverStatus::UnknownConstraint;
        settle();
        if (!c.required()) {
            if (kinds[c.marker] == Kind::Error) removeError(c.marker, c.weight);
            removeError(c.other, c.weight);
        }
        if (rowOf[c.marker] != kNone) {
            releaseRow(rowOf[c.marker]);
        } else if (const std::uint32_t slot = markerLeavingRow(c.marker); slot != kNone) {
            pivot(slot, c.marker);
            releaseRow(slot);
        }
        optimize(objective);
        infeasible.clear();
        retire(c.marker);
        if (c.other != kNone) retire(c.other);
        c.marker = c.other = kNone;
        c.state = ConstraintRecord::State::Made;
        return SolverStatus::Ok;
    }

    // The constraint's row constant moves by `delta`. Writing the marker as m = m' + delta / k
    // (k its coefficient in that row) turns the old tableau into the new one: only row constants
    // change, and infeasible rows are listed for the dual simplex.
    void shiftConstant(ConstraintRecord& c, double delta) {
        const double rowDelta = c.relation == Relation::LessOrEqual ? -delta : delta;
        const double shift = rowDelta / c.markerCoefficient;
        if (const std::uint32_t slot = rowOf[c.marker]; slot != kNone) {
            adjustConstant(slot, -shift);
            return;
        }
        // The other symbol's column is the marker's negated: if it is basic, only its row
        // mentions the marker.
        if (c.other != kNone) {
            if (const std::uint32_t slot = rowOf[c.other]; slot != kNone) {
                adjustConstant(slot, coefficientOf(rows[slot], c.marker) * shift);
                return;
            }
        }
        if (c.columnShape != shape) {
            c.column.clear();
            std::uint32_t remaining = counts[c.marker];
            for (std::uint32_t slot = 0; remaining > 0 && slot < rows.size(); ++slot) {
                const double a = coefficientOf(rows[slot], c.marker);
                if (a == 0.0) continue;
                --remaining;
                c.column.push_back(ColumnEntry{slot, a});
            }
            c.columnShape = shape;
        }
        for (const ColumnEntry& e : c.column) adjustConstant(e.slot, e.coefficient * shift);
        objective.constant += coefficientOf(objective, c.marker) * shift;
    }

    SolverStatus setConstant(std::uint32_t index, double value) {
        if (!std::isfinite(value)) return SolverStatus::InvalidValue;
        ConstraintRecord& c = constraints[index];
        const double delta = value - c.constant;
        if (c.state != ConstraintRecord::State::Added || delta == 0.0) {
            c.constant = value;
            return SolverStatus::Ok;
        }
        if (!c.required()) {
            c.constant = value;
            shiftConstant(c, delta);
            pendingDual = true;
            return SolverStatus::Ok;
        }
        settle();
        beginJournal();
        shiftConstant(c, delta);
        if (!dualOptimize()) {
            rollback();
            return SolverStatus::Unsatisfiable;
        }
        commit();
        c.constant = value;
        return SolverStatus::Ok;
    }

    // ---- checks

    bool consistent() const {
        std::vector<std::uint32_t> recount(kinds.size(), 0);
        std::size_t active = 0;
        auto wellFormed = [this](const Row& row) {
            for (std::size_t i = 0; i < row.cells.size(); ++i) {
                const Cell& c = row.cells[i];
                if (i > 0 && row.cells[i - 1].symbol >= c.symbol) return false;
                if (nearZero(c.coefficient) || !std::isfinite(c.coefficient)) return false;
                if (c.symbol >= kinds.size() || rowOf[c.symbol] != kNone) return false;
                if (kinds[c.symbol] == Kind::Free || kinds[c.symbol] == Kind::Retired) return false;
            }
            return std::isfinite(row.constant);
        };
        for (std::uint32_t slot = 0; slot < rows.size(); ++slot) {
            const Row& row = rows[slot];
            if (row.basic == kNone) {
                if (!row.cells.empty()) return false;
                continue;
            }
            ++active;
            if (rowOf[row.basic] != slot || !wellFormed(row)) return false;
            const Kind kind = kinds[row.basic];
            if (kind == Kind::Free || kind == Kind::Retired) return false;
            for (const Cell& c : row.cells) {
                ++recount[c.symbol];
                if (kind != Kind::External && kinds[c.symbol] == Kind::External) return false;
            }
            if (!pendingDual && isInfeasible(row)) return false;
        }
        if (active != activeRows || recount != counts || !wellFormed(objective)) return false;
        for (const std::uint32_t v : variables)
            if (marks[v] != Mark::Moved && values[v] != currentValue(v)) return false;
        for (std::uint32_t s = 0; s < rowOf.size(); ++s)
            if (rowOf[s] != kNone && (rowOf[s] >= rows.size() || rows[rowOf[s]].basic != s)) return false;
        for (const Cell& c : objective.cells) {
            if (kinds[c.symbol] == Kind::External) return false;
            if (!pendingDual && canEnter(kinds[c.symbol]) && c.coefficient < -kSolverEpsilon) return false;
        }
        return !journaling;
    }
};
#pragma GCC diagnostic pop

LayoutSolver::LayoutSolver() : impl_(std::make_unique<Impl>()) {}
LayoutSolver::~LayoutSolver() = default;

Variable LayoutSolver::makeVariable() {
    Impl& m = *impl_;
    const std::uint32_t id = m.newSymbol(Kind::External);
    SymbolInfo& info = m.info[id];
    ++info.generation;
    info.uses = 0;
    info.edit = kNone;
    info.position = static_cast<std::uint32_t>(m.variables.size());
    m.variables.push_back(id);
    m.values[id] = 0.0;
    return Variable{id, info.generation};
}

SolverStatus LayoutSolver::releaseVariable(Variable v) {
    Impl& m = *impl_;
    if (!m.validVariable(v)) return SolverStatus::UnknownVariable;
    if (m.info[v.id].uses > 0) return SolverStatus::VariableInUse;
    const std::uint32_t position = m.info[v.id].position;
    m.variables[position] = m.variables.back();
    m.info[m.variables[position]].position = position;
    m.variables.pop_back();
    m.info[v.id].position = kNone;
    m.retire(v.id);
    return SolverStatus::Ok;
}

Constraint LayoutSolver::makeConstraint(const Expression& expression, Relation relation, double priority) {
    return impl_->make(expression, relation, priority);
}

SolverStatus LayoutSolver::destroyConstraint(Constraint c) {
    if (!impl_->validConstraint(c)) return SolverStatus::UnknownConstraint;
    impl_->destroy(c.index);
    return SolverStatus::Ok;
}

SolverStatus LayoutSolver::addConstraint(Constraint c) {
    if (!impl_->validConstraint(c)) return SolverStatus::UnknownConstraint;
    return impl_->add(c.index);
}

SolverStatus LayoutSolver::removeConstraint(Constraint c) {
    if (!impl_->validConstraint(c)) return SolverStatus::UnknownConstraint;
    return impl_->remove(c.index);
}

bool LayoutSolver::hasConstraint(Constraint c) const {
    return impl_->validConstraint(c) && impl_->constraints[c.index].state == ConstraintRecord::State::Added;
}

SolverStatus LayoutSolver::setConstant(Constraint c, double constant) {
    if (!impl_->validConstraint(c)) return SolverStatus::UnknownConstraint;
    return impl_->setConstant(c.index, constant);
}

SolverStatus LayoutSolver::addEditVariable(Variable v, double priority) {
    Impl& m = *impl_;
    if (!m.validVariable(v)) return SolverStatus::UnknownVariable;
    if (!(priority >= kLowestPriority && priority < kRequiredPriority)) return SolverStatus::InvalidPriority;
    if (m.info[v.id].edit != kNone) return SolverStatus::DuplicateEditVariable;
    m.settle();
    Expression pull(v);
    pull.constant = -m.currentValue(v.id);
    const Constraint edit = m.make(pull, Relation::Equal, priority);
    const SolverStatus status = m.add(edit.index);
    if (status != SolverStatus::Ok) {
        m.destroy(edit.index);
        return status;
    }
    m.info[v.id].edit = edit.index;
    return SolverStatus::Ok;
}

SolverStatus LayoutSolver::removeEditVariable(Variable v) {
    Impl& m = *impl_;
    if (!m.validVariable(v)) return SolverStatus::UnknownVariable;
    const std::uint32_t edit = m.info[v.id].edit;
    if (edit == kNone) return SolverStatus::UnknownEditVariable;
    m.info[v.id].edit = kNone;
    m.destroy(edit);
    return SolverStatus::Ok;
}

bool LayoutSolver::hasEditVariable(Variable v) const {
    return impl_->validVariable(v) && impl_->info[v.id].edit != kNone;
}

SolverStatus LayoutSolver::suggestValue(Variable v, double value) {
    Impl& m = *impl_;
    if (!m.validVariable(v)) return SolverStatus::UnknownVariable;
    const std::uint32_t edit = m.info[v.id].edit;
    if (edit == kNone) return SolverStatus::UnknownEditVariable;
    return m.setConstant(edit, -value);
}

void LayoutSolver::updateVariables() {
    Impl& m = *impl_;
    m.settle();
    m.refreshValues();
}

double LayoutSolver::value(Variable v) const { return impl_->validVariable(v) ? impl_->values[v.id] : 0.0; }

bool LayoutSolver::consistent() const { return impl_->consistent(); }

} // namespace ui::detail
