// The incremental linear constraint solver behind auto layout. Private to the UIKit stand-in: the
// layout pass keeps one solver per window and updates it as constraints come and go.
//
// The solver keeps a simplex tableau in solved form. Required constraints are hard; every other
// constraint carries error variables whose weighted sum is minimised. Adding and removing a
// constraint re-optimises with the primal simplex. Changing a constant or suggesting an edit value
// shifts the affected row constants in place and restores feasibility with the dual simplex, and
// so does a required constraint that the present solution violates: it enters infeasible and the
// dual simplex moves the optimum until it holds, or proves that it cannot.
//
// Strengths. A priority of 1000 (`kRequiredPriority`) is required. A priority p in [1, 1000) is
// optional, with the weight
//     strengthWeight(p) = 1000^(p / 500) = 10^(0.006 p)
// so one priority step multiplies the weight by about 1.014, fifty steps double it and five
// hundred steps multiply it by 1000: 250 weighs 31.6, 500 weighs 1000, 750 weighs 31 623 and 999
// weighs 985 000. On a shared variable the higher priority wins (251 over 250 one against one;
// 750 over 250 unless a thousand low constraints pull the other way at once). The range is kept
// under 10^6 so that objective coefficients stay far above the tableau's rounding noise.
//
// Numerics. Coefficients within `kSolverEpsilon` of zero are zero; a row is infeasible only when
// its constant is below -kSolverEpsilon.
//
// Errors are results: nothing throws. A refused operation leaves the solver exactly as it was
// (the tableau, its basis and the identifiers it hands out next), so later solves are unchanged.
//
// Values. `value()` reads what `updateVariables()` last computed. Suggested edit values and
// changed constants of optional constraints take effect at the next `updateVariables()` (the
// dual simplex runs once for all of them); every other operation settles pending ones first.
//
// Allocation. Rows are sorted vectors of (symbol, coefficient) that keep their capacity; once a
// cycle of suggestions or constant changes has run, repeating it allocates nothing.
//
// Cost. A suggestion or constant change that moves no vertex shifts the constants of the rows that
// mention the constraint's marker (a list kept while the tableau's cells stand still) and refreshes
// only the variables whose rows moved. A pivot rewrites every row that mentions the entering
// symbol. The tableau is in solved form, so a chain fills it in: the top of the n-th view of a
// stack is written in terms of every size above it, and a change of one size reaches every row
// below. A pivot on such a chain costs about the square of its length, whatever the order of
// rows, constraints or pivots; only a factored basis would avoid that.
//
// Not thread-safe: one solver belongs to one window, used on the main thread.

#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace ui::detail {

inline constexpr double kSolverEpsilon = 1.0e-8;
inline constexpr double kRequiredPriority = 1000.0;
inline constexpr double kLowestPriority = 1.0;

// The objective weight of an optional constraint of this priority (see above). Only meaningful for
// priorities in [1, 1000).
double strengthWeight(double priority);

// A variable handle. A default-made handle, or one whose variable was released, names nothing.
struct Variable {
    std::uint32_t id = 0;
    std::uint32_t generation = 0;
    friend bool operator==(Variable, Variable) = default;
};

// A constraint handle, valid from makeConstraint until destroyConstraint.
struct Constraint {
    std::uint32_t index = 0;
    std::uint32_t generation = 0;
    friend bool operator==(Constraint, Constraint) = default;
};

struct Term {
    Variable variable;
    double coefficient = 1.0;
};

// A linear expression: the sum of its terms plus a constant. Repeated variables are merged when a
// constraint is made from it.
struct Expression {
    Expression() = default;
    Expression(double value) : constant(value) {}
    Expression(Variable v) : terms{Term{v, 1.0}} {}

    std::vector<Term> terms;
    double constant = 0.0;
};

inline Expression operator*(Expression e, double k) {
    for (Term& t : e.terms) t.coefficient *= k;
    e.constant *= k;
    return e;
}
inline Expression operator*(double k, Expression e) { return std::move(e) * k; }
inline Expression operator-(Expression e) { return std::move(e) * -1.0; }
inline Expression operator+(Expression a, const Expression& b) {
    a.terms.insert(a.terms.end(), b.terms.begin(), b.terms.end());
    a.constant += b.constant;
    return a;
}
inline Expression operator-(Expression a, const Expression& b) { return std::move(a) + (-b); }

// A constraint states `expression <relation> 0`.
enum class Relation : std::uint8_t { Equal, LessOrEqual, GreaterOrEqual };

enum class SolverStatus : std::uint8_t {
    Ok,
    Unsatisfiable,         // a required constraint, or a required constant, conflicts with the others
    DuplicateConstraint,   // the constraint is already in the solver
    UnknownConstraint,     // destroyed, never made, or (to remove it) not in the solver
    UnknownVariable,       // the handle names no live variable of this solver
    DuplicateEditVariable, // the variable already is an edit variable
    UnknownEditVariable,   // the variable is not an edit variable
    InvalidPriority,       // outside [1, 1000], or required for an edit variable
    InvalidValue,          // a coefficient, constant or suggested value that is not finite
    VariableInUse,         // a variable still named by a constraint cannot be released
};

const char* describe(SolverStatus status);

class LayoutSolver {
public:
    LayoutSolver();
    ~LayoutSolver();
    LayoutSolver(const LayoutSolver&) = delete;
    LayoutSolver& operator=(const LayoutSolver&) = delete;

    // A new variable, at 0 until a constraint decides it.
    Variable makeVariable();
    // Refused with VariableInUse while a constraint (made, added or an edit) names it.
    [[nodiscard]] SolverStatus releaseVariable(Variable v);

    // Records `expression <relation> 0` at a priority without adding it. Invalid input (an unknown
    // variable, a value that is not finite, a priority outside [1, 1000]) is reported by
    // addConstraint.
    Constraint makeConstraint(const Expression& expression, Relation relation,
                              double priority = kRequiredPriority);
    // Removes the constraint first if it is in the solver; the handle names nothing afterwards.
    SolverStatus destroyConstraint(Constraint c);

    [[nodiscard]] SolverStatus addConstraint(Constraint c);
    [[nodiscard]] SolverStatus removeConstraint(Constraint c);
    bool hasConstraint(Constraint c) const;
    // Replaces the constant of the constraint's expression, in place. For a required constraint in
    // the solver a conflict is refused (Unsatisfiable) and the old constant kept.
    [[nodiscard]] SolverStatus setConstant(Constraint c, double constant);

    // An edit variable is pulled towards the values suggested for it at an optional priority. It
    // starts at the variable's present value, so adding it moves nothing.
    [[nodiscard]] SolverStatus addEditVariable(Variable v, double priority);
    [[nodiscard]] SolverStatus removeEditVariable(Variable v);
    bool hasEditVariable(Variable v) const;
    [[nodiscard]] SolverStatus suggestValue(Variable v, double value);

    // Settles pending suggestions and constants, then refreshes the value of every variable whose
    // row changed since the last refresh.
    void updateVariables();
    // The value as of the last updateVariables(); 0 for a handle that names nothing.
    double value(Variable v) const;

    // Checks the tableau's invariants (solved form, feasibility, bookkeeping); for tests.
    bool consistent() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace ui::detail
