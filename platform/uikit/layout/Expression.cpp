#include "platform/uikit/layout/Expression.h"

#include "platform/uikit/layout/Constraint.h"

namespace zvt::layout {

Variable::Variable() : data_(std::make_shared<Data>()) {}

Variable::Variable(std::string name) : data_(std::make_shared<Data>()) { data_->name = std::move(name); }

Expression operator*(Expression e, double factor) {
  for (Term& t : e.terms) t.coefficient *= factor;
  e.constant *= factor;
  return e;
}

Expression operator+(Expression a, const Expression& b) {
  a.terms.insert(a.terms.end(), b.terms.begin(), b.terms.end());
  a.constant += b.constant;
  return a;
}

Constraint::Constraint(const Expression& lhs, Relation relation, const Expression& rhs, float priority)
    : data_(std::make_shared<Data>()) {
  auto merge = [this](const Term& term, double sign) {
    double c = sign * term.coefficient;
    for (Term& t : data_->terms) {
      if (t.variable.sameAs(term.variable)) {
        t.coefficient += c;
        return;
      }
    }
    data_->terms.push_back(Term{term.variable, c});
  };
  for (const Term& t : lhs.terms) merge(t, 1);
  for (const Term& t : rhs.terms) merge(t, -1);
  std::erase_if(data_->terms, [](const Term& t) { return t.coefficient == 0; });
  data_->constant = rhs.constant - lhs.constant;
  data_->relation = relation;
  data_->priority = priority;
}

Constraint Constraint::withPriority(float priority) const {
  Constraint c;
  c.data_ = std::make_shared<Data>();
  c.data_->terms = data_->terms;
  c.data_->constant = data_->constant;
  c.data_->relation = data_->relation;
  c.data_->priority = priority;
  return c;
}

Constraint operator==(const Expression& lhs, const Expression& rhs) { return Constraint(lhs, Relation::Equal, rhs); }
Constraint operator<=(const Expression& lhs, const Expression& rhs) {
  return Constraint(lhs, Relation::LessThanOrEqual, rhs);
}
Constraint operator>=(const Expression& lhs, const Expression& rhs) {
  return Constraint(lhs, Relation::GreaterThanOrEqual, rhs);
}

}  // namespace zvt::layout
