#pragma once
// A linear layout constraint: sum(coefficient * variable) (relation) constant, with a priority.

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "platform/uikit/layout/Expression.h"

namespace zvt::layout {

// The numbers UIKit gives its relations.
enum class Relation : int { LessThanOrEqual = -1, Equal = 0, GreaterThanOrEqual = 1 };

// UIKit's scale: 1000 is required; anything from 1 up to (not including) 1000 is optional, and
// a higher priority always wins over any number of constraints of lower priorities.
constexpr float kPriorityRequired = 1000;
constexpr float kPriorityHigh = 750;
constexpr float kPriorityLow = 250;

// A handle: copies name the same constraint, which a solver holds at most once. Terms and
// relation never change; the constant changes through Solver::setConstant.
class Constraint {
 public:
  Constraint() = default;  // no constraint
  // lhs (relation) rhs, kept as: terms of lhs - rhs (relation) rhs.constant - lhs.constant.
  Constraint(const Expression& lhs, Relation relation, const Expression& rhs, float priority = kPriorityRequired);

  const std::vector<Term>& terms() const { return data_->terms; }
  double constant() const { return data_->constant; }
  Relation relation() const { return data_->relation; }
  float priority() const { return data_->priority; }
  bool isRequired() const { return data_->priority >= kPriorityRequired; }

  // A new constraint with the same terms, relation and constant.
  Constraint withPriority(float priority) const;

  explicit operator bool() const { return data_ != nullptr; }
  bool operator==(const Constraint& other) const { return data_ == other.data_; }
  bool operator!=(const Constraint& other) const { return data_ != other.data_; }
  const void* key() const { return data_.get(); }

 private:
  friend class Solver;
  struct Data {
    std::vector<Term> terms;  // merged: each variable once, in order of first appearance, none zero
    double constant = 0;
    Relation relation = Relation::Equal;
    float priority = kPriorityRequired;
    const void* owner = nullptr;  // the solver that holds it (cached record index)
    uint32_t record = 0;
  };
  std::shared_ptr<Data> data_;
};

Constraint operator==(const Expression& lhs, const Expression& rhs);
Constraint operator<=(const Expression& lhs, const Expression& rhs);
Constraint operator>=(const Expression& lhs, const Expression& rhs);

}  // namespace zvt::layout

template <>
struct std::hash<zvt::layout::Constraint> {
  size_t operator()(const zvt::layout::Constraint& c) const noexcept { return std::hash<const void*>()(c.key()); }
};
