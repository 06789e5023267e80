// Randomised small systems checked against the optimum found by enumerating every vertex of the
// feasible region: values, priorities, conflicts, constant changes, removals, edits, ambiguity.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/uikit/layout/Solver.h"

namespace {

using namespace zvt::layout;

struct Blueprint {
  std::vector<double> a;  // one coefficient per variable
  Relation relation;
  double constant;
  float priority;
};

// The reference: minimise, priority by priority, the sum of the optional constraints' violations
// subject to the required ones. Variables z = (x..., one error per optional constraint); every
// vertex of that region is tried (the box bounds of the specs keep it bounded).
struct Reference {
  bool feasible = false;
  std::vector<double> objective;           // per priority, highest first
  std::vector<std::vector<double>> optima;  // x of every optimal vertex
};

double dot(const std::vector<double>& a, const std::vector<double>& x) {
  double s = 0;
  for (size_t i = 0; i < a.size(); ++i) s += a[i] * x[i];
  return s;
}

// How far x is from satisfying the blueprint.
double violation(const Blueprint& s, const std::vector<double>& x) {
  double v = dot(s.a, x) - s.constant;
  return s.relation == Relation::Equal ? std::fabs(v) : std::max(0.0, s.relation == Relation::LessThanOrEqual ? v : -v);
}

// The summed violations of the optional specs, per priority, highest first.
std::vector<double> objectiveOf(const std::vector<Blueprint>& specs, const std::vector<double>& x) {
  std::map<float, double, std::greater<>> levels;
  for (const Blueprint& s : specs) {
    if (s.priority < kPriorityRequired) levels[s.priority] += violation(s, x);
  }
  std::vector<double> o;
  for (const auto& [priority, sum] : levels) o.push_back(sum);
  return o;
}

// -1, 0, 1: lexicographic comparison with a tolerance.
int compare(const std::vector<double>& a, const std::vector<double>& b, double tolerance = 1e-6) {
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] < b[i] - tolerance) return -1;
    if (a[i] > b[i] + tolerance) return 1;
  }
  return 0;
}

// Solves the d x d system in m (row-major, d + 1 columns: the right-hand side last) in place.
bool solveSquare(std::vector<double>& m, size_t d, std::vector<double>& out) {
  const size_t w = d + 1;
  for (size_t c = 0; c < d; ++c) {
    size_t p = c;
    for (size_t r = c + 1; r < d; ++r) {
      if (std::fabs(m[r * w + c]) > std::fabs(m[p * w + c])) p = r;
    }
    if (std::fabs(m[p * w + c]) < 1e-9) return false;
    if (p != c) std::swap_ranges(m.begin() + static_cast<long>(p * w), m.begin() + static_cast<long>(p * w + w),
                                 m.begin() + static_cast<long>(c * w));
    for (size_t r = 0; r < d; ++r) {
      if (r == c || m[r * w + c] == 0) continue;
      double f = m[r * w + c] / m[c * w + c];
      for (size_t k = c; k < w; ++k) m[r * w + k] -= f * m[c * w + k];
    }
  }
  out.resize(d);
  for (size_t i = 0; i < d; ++i) out[i] = m[i * w + d] / m[i * w + i];
  return true;
}

Reference reference(const std::vector<Blueprint>& specs, size_t n) {
  size_t k = 0;
  for (const Blueprint& s : specs) k += s.priority < kPriorityRequired;
  size_t d = n + k;
  // Rows a.z <= b.
  std::vector<std::vector<double>> A;
  std::vector<double> B;
  auto add = [&](std::vector<double> a, double b) {
    A.push_back(std::move(a));
    B.push_back(b);
  };
  size_t e = n;
  for (const Blueprint& s : specs) {
    std::vector<double> row(d, 0), neg(d, 0);
    for (size_t i = 0; i < n; ++i) {
      row[i] = s.a[i];
      neg[i] = -s.a[i];
    }
    bool optional = s.priority < kPriorityRequired;
    if (optional) {
      row[e] = neg[e] = -1;
      std::vector<double> nonNegative(d, 0);
      nonNegative[e] = -1;
      add(nonNegative, 0);
      ++e;
    }
    if (s.relation != Relation::GreaterThanOrEqual) add(row, s.constant);
    if (s.relation != Relation::LessThanOrEqual) add(neg, -s.constant);
  }
  Reference ref;
  std::vector<size_t> pick(d);
  std::vector<double> z;
  std::vector<double> m((d + 1) * d);
  auto visit = [&]() {
    for (size_t r = 0; r < d; ++r) {
      std::copy(A[pick[r]].begin(), A[pick[r]].end(), m.begin() + static_cast<long>(r * (d + 1)));
      m[r * (d + 1) + d] = B[pick[r]];
    }
    if (!solveSquare(m, d, z)) return;
    for (size_t r = 0; r < A.size(); ++r) {
      if (dot(A[r], z) > B[r] + 1e-7) return;
    }
    std::vector<double> x(z.begin(), z.begin() + static_cast<long>(n));
    std::vector<double> o = objectiveOf(specs, x);
    int c = ref.feasible ? compare(o, ref.objective) : -1;
    if (c < 0) {
      ref.feasible = true;
      ref.objective = o;
      ref.optima.clear();
    }
    if (c <= 0) ref.optima.push_back(x);
  };
  // Every d-subset of the rows as the active set.
  std::function<void(size_t, size_t)> choose = [&](size_t from, size_t depth) {
    if (depth == d) return visit();
    for (size_t r = from; r + (d - depth) <= A.size(); ++r) {
      pick[depth] = r;
      choose(r + 1, depth + 1);
    }
  };
  choose(0, 0);
  return ref;
}

struct Case {
  size_t n;
  std::vector<Variable> vars;
  std::vector<Constraint> live;  // what the solver holds, in order
  std::map<const void*, Blueprint> specs;
  std::optional<Blueprint> edit;      // the edit variable on vars[0], as a blueprint
};

std::vector<Blueprint> liveSpecs(const Case& c) {
  std::vector<Blueprint> out;
  for (const Constraint& k : c.live) out.push_back(c.specs.at(k.key()));
  if (c.edit) out.push_back(*c.edit);
  return out;
}

Constraint make(const Case& c, const Blueprint& s) {
  Expression e;
  for (size_t i = 0; i < c.n; ++i) {
    if (s.a[i] != 0) e = e + Expression(c.vars[i], s.a[i]);
  }
  return Constraint(e, s.relation, Expression(s.constant), s.priority);
}

Blueprint randomSpec(std::mt19937& rng, size_t n, bool mayBeOptional) {
  std::uniform_int_distribution<int> coef(-3, 3), constant(-30, 30), relation(-1, 1), pick(0, 5);
  Blueprint s;
  s.a.assign(n, 0);
  while (std::all_of(s.a.begin(), s.a.end(), [](double v) { return v == 0; })) {
    for (double& v : s.a) v = pick(rng) < 3 ? coef(rng) : 0;
  }
  s.relation = static_cast<Relation>(relation(rng));
  s.constant = constant(rng);
  static const float kPriorities[] = {250, 500, 750, 999};
  s.priority = mayBeOptional && pick(rng) >= 2 ? kPriorities[pick(rng) % 4] : kPriorityRequired;
  return s;
}

// The solver's solution against the reference for the constraints it holds.
void expectOptimal(Solver& solver, const Case& c) {
  ASSERT_EQ(solver.checkTableau(), "");
  std::vector<Blueprint> specs = liveSpecs(c);
  Reference ref = reference(specs, c.n);
  ASSERT_TRUE(ref.feasible) << "the solver holds a contradiction";
  solver.updateVariables();
  std::vector<double> x;
  for (const Variable& v : c.vars) x.push_back(v.value());
  for (const Blueprint& s : specs) {
    if (s.priority >= kPriorityRequired) {
      EXPECT_LT(violation(s, x), 1e-5) << "a required constraint is broken";
    }
  }
  EXPECT_EQ(compare(objectiveOf(specs, x), ref.objective, 1e-4), 0) << "not optimal";
  for (size_t i = 0; i < c.n; ++i) {
    bool fixed = std::all_of(ref.optima.begin(), ref.optima.end(),
                             [&](const std::vector<double>& o) { return std::fabs(o[i] - ref.optima[0][i]) < 1e-6; });
    if (fixed) {
      EXPECT_NEAR(x[i], ref.optima[0][i], 1e-5) << "variable " << i;
    }
    EXPECT_EQ(solver.isAmbiguous(c.vars[i]), !fixed) << "variable " << i;
  }
}

void expectContradiction(const Outcome& out, const Constraint& broken, const Case& c, const Blueprint& brokenSpec) {
  ASSERT_EQ(out.status, Status::Unsatisfiable);
  EXPECT_EQ(out.broken, broken);
  EXPECT_NE(std::find(out.conflict.begin(), out.conflict.end(), broken), out.conflict.end());
  // The named constraints are required, held (or the broken one), and contradict each other.
  std::vector<Blueprint> named;
  for (const Constraint& k : out.conflict) {
    EXPECT_TRUE(k.isRequired());
    bool held = std::find(c.live.begin(), c.live.end(), k) != c.live.end();
    EXPECT_TRUE(held || k == broken);
    named.push_back(k == broken ? brokenSpec : c.specs.at(k.key()));
  }
  // Box bounds come along so that the region is bounded.
  for (size_t i = 0; i < 2 * c.n; ++i) named.push_back(c.specs.at(c.live[i].key()));
  EXPECT_FALSE(reference(named, c.n).feasible) << "the named constraints do not contradict";
}

TEST(LayoutSolverProperty, RandomSystemsMatchTheEnumeratedOptimum) {
  for (unsigned seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    Case c;
    c.n = 1 + seed % 3;
    for (size_t i = 0; i < c.n; ++i) c.vars.emplace_back("x" + std::to_string(i));
    Solver solver;
    auto add = [&](const Blueprint& s) {
      Constraint k = make(c, s);
      c.specs[k.key()] = s;
      Outcome out = solver.addConstraint(k);
      if (out.ok()) {
        c.live.push_back(k);
      } else {
        expectContradiction(out, k, c, s);
      }
    };
    for (size_t i = 0; i < c.n; ++i) {
      std::vector<double> a(c.n, 0);
      a[i] = 1;
      add(Blueprint{a, Relation::GreaterThanOrEqual, -100, kPriorityRequired});
      add(Blueprint{a, Relation::LessThanOrEqual, 100, kPriorityRequired});
    }
    const size_t maxOptional = c.n == 3 ? 2 : 3;
    size_t optional = 0;
    size_t count = 2 + rng() % 4;
    for (size_t i = 0; i < count; ++i) {
      Blueprint s = randomSpec(rng, c.n, optional < maxOptional);
      optional += s.priority < kPriorityRequired;
      add(s);
    }
    if (optional < maxOptional && rng() % 2) {
      float p = rng() % 2 ? 500.0f : 999.0f;
      ASSERT_TRUE(solver.addEditVariable(c.vars[0], p).ok());
      // A whole number, so that the reference's tolerances see the same optimal face.
      std::vector<double> a(c.n, 0);
      a[0] = 1;
      c.edit = Blueprint{a, Relation::Equal, std::round(solver.valueOf(c.vars[0])), p};
      ASSERT_TRUE(solver.suggestValue(c.vars[0], c.edit->constant).ok());
    }
    ASSERT_NO_FATAL_FAILURE(expectOptimal(solver, c));

    for (int step = 0; step < 6; ++step) {
      SCOPED_TRACE("step " + std::to_string(step));
      size_t first = 2 * c.n;  // box bounds stay
      switch (rng() % 3) {
        case 0:
          if (c.live.size() > first) {
            size_t i = first + rng() % (c.live.size() - first);
            Constraint k = c.live[i];
            Blueprint s = c.specs.at(k.key());
            s.constant = static_cast<double>(static_cast<int>(rng() % 121) - 60);
            Outcome out = solver.setConstant(k, s.constant);
            c.live.erase(c.live.begin() + static_cast<long>(i));
            if (out.ok()) {
              c.live.insert(c.live.begin() + static_cast<long>(i), k);
              c.specs[k.key()] = s;
            } else {
              expectContradiction(out, k, c, s);
              EXPECT_FALSE(solver.hasConstraint(k));
            }
          }
          break;
        case 1:
          if (c.live.size() > first) {
            size_t i = first + rng() % (c.live.size() - first);
            ASSERT_TRUE(solver.removeConstraint(c.live[i]).ok());
            c.live.erase(c.live.begin() + static_cast<long>(i));
          }
          break;
        case 2:
          if (c.edit) {
            c.edit->constant = static_cast<double>(static_cast<int>(rng() % 201) - 100);
            ASSERT_TRUE(solver.suggestValue(c.vars[0], c.edit->constant).ok());
          } else {
            add(randomSpec(rng, c.n, false));
          }
          break;
      }
      ASSERT_NO_FATAL_FAILURE(expectOptimal(solver, c));
    }
  }
}

}  // namespace
