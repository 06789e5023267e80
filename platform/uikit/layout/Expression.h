#pragma once
// Variables and linear expressions of the layout engine: a view's edges and sizes are variables,
// and every layout constraint is a linear relation between them.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zvt::layout {

class Solver;

// A quantity the solver determines (a view's minimum x, its width...). A handle: copies name the
// same variable. Its value is what the last Solver::updateVariables() wrote.
class Variable {
 public:
  Variable();
  explicit Variable(std::string name);
  // Copies only (no moves), so that no Variable is ever left without its quantity.
  Variable(const Variable&) = default;
  Variable& operator=(const Variable&) = default;

  const std::string& name() const { return data_->name; }
  double value() const { return data_->value; }
  bool sameAs(const Variable& other) const { return data_ == other.data_; }
  // A key for hashing and ordering by identity (not stable across runs: never order results by it).
  const void* key() const { return data_.get(); }

 private:
  friend class Solver;
  struct Data {
    std::string name;
    double value = 0;
    // The solver that registered this variable first caches its symbol here, sparing a map
    // look-up on every constraint; any other solver keeps its own map.
    const void* owner = nullptr;
    uint32_t symbol = 0;
  };
  std::shared_ptr<Data> data_;
};

struct Term {
  Variable variable;
  double coefficient = 1;
};

// sum(coefficient * variable) + constant. Variables may repeat; a Constraint merges them.
class Expression {
 public:
  Expression(double constant = 0) : constant(constant) {}  // NOLINT: numbers read as expressions
  Expression(const Variable& variable, double coefficient = 1, double constant = 0)  // NOLINT
      : terms{Term{variable, coefficient}}, constant(constant) {}
  Expression(std::vector<Term> terms, double constant = 0) : terms(std::move(terms)), constant(constant) {}

  std::vector<Term> terms;
  double constant = 0;
};

Expression operator*(Expression e, double factor);
inline Expression operator*(double factor, Expression e) { return std::move(e) * factor; }
inline Expression operator/(Expression e, double divisor) { return std::move(e) * (1.0 / divisor); }
Expression operator+(Expression a, const Expression& b);
inline Expression operator-(Expression e) { return std::move(e) * -1.0; }
inline Expression operator-(Expression a, const Expression& b) { return std::move(a) + (-b); }

}  // namespace zvt::layout
