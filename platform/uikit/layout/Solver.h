#pragma once
// The layout engine's incremental constraint solver.
//
// A simplex tableau kept optimal as constraints come and go: every constraint becomes one row
// with a slack (inequality) or a fixed dummy (required equality) marker; an optional constraint
// also gets error variables that the objective minimises, one objective level per priority, so
// that a higher priority is worth more than any amount of lower ones. Adding a constraint
// solves its row for one symbol and re-optimises; changing a constant or an edit variable
// shifts row constants and restores feasibility with the dual simplex, without rebuilding.
//
// Results are deterministic: every choice depends only on the order of the calls made, never
// on addresses, so the same calls give bit-identical values. A solver, and the variables and
// constraints it holds, are used from one thread at a time (the main thread, for views).

#include <memory>
#include <string>
#include <vector>

#include "platform/uikit/layout/Constraint.h"
#include "platform/uikit/layout/Expression.h"

namespace zvt::layout {

enum class Status {
  Ok,
  Duplicate,      // the constraint (or edit variable) is already there
  Unknown,        // the constraint (or edit variable) is not there
  Unsatisfiable,  // required constraints contradict each other: see Outcome::conflict
  Invalid,        // a coefficient or constant that is not finite, or a priority outside 1...1000
};

struct Outcome {
  Status status = Status::Ok;
  // For Unsatisfiable: the required constraints that cannot all hold together, in the order they
  // were added; the broken one (the constraint being added, or whose constant was changed) is
  // among them and has been left out of the solver.
  std::vector<Constraint> conflict;
  Constraint broken;

  bool ok() const { return status == Status::Ok; }
};

class Solver {
 public:
  Solver();
  ~Solver();
  Solver(const Solver&) = delete;
  Solver& operator=(const Solver&) = delete;

  Outcome addConstraint(const Constraint& constraint);
  Outcome removeConstraint(const Constraint& constraint);
  bool hasConstraint(const Constraint& constraint) const;
  // The constraints held, in the order they were added.
  std::vector<Constraint> constraints() const;

  // Changes the right-hand constant of a held constraint and re-solves from the current
  // solution. A required constraint whose new constant contradicts other required constraints
  // is broken: it leaves the solver, and the outcome names the conflict.
  Outcome setConstant(const Constraint& constraint, double constant);

  // Edit variables: an optional "variable == value" constraint whose value suggestValue moves.
  // It starts at the variable's current value. Required priority is refused.
  Outcome addEditVariable(const Variable& variable, float priority);
  Outcome removeEditVariable(const Variable& variable);
  bool hasEditVariable(const Variable& variable) const;
  Outcome suggestValue(const Variable& variable, double value);

  // Writes the current solution into the variables the solver knows: those whose values
  // changed since the last call (a variable shared with another solver shows what the last
  // writer wrote).
  void updateVariables();
  // The current solution for one variable (its last written value if the solver does not know it).
  double valueOf(const Variable& variable) const;
  // True when the constraints held do not fix the variable: other values would satisfy the
  // required constraints and the optional ones equally well. Unknown variables are ambiguous.
  bool isAmbiguous(const Variable& variable) const;

  // Removes every constraint and edit variable.
  void reset();

  // Inconsistencies of the internal tableau, one per line (empty when sound). For tests.
  std::string checkTableau() const;

  // Values are rounded to this grid (2^-20 points) so that rounding to pixels later does not
  // depend on floating-point noise (113.49999999997 and 113.5 must give the same pixel).
  static double snap(double value);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zvt::layout
