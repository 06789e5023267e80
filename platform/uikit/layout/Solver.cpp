#include "platform/uikit/layout/Solver.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>

namespace zvt::layout {

namespace {

using Sym = uint32_t;
constexpr Sym kNone = std::numeric_limits<Sym>::max();
// Coefficients and constants closer to zero than this are zero. Layout values are points (up
// to some thousands) and multipliers near 1, so this is far below anything visible.
constexpr double kEps = 1e-8;

bool nearZero(double v) { return v < kEps && v > -kEps; }

enum class Kind : uint8_t {
  Free,        // unused id
  External,    // a Variable
  Slack,       // >= 0, turns an inequality into an equation
  Error,       // >= 0, how far an optional constraint is violated; weighted in the objective
  Dummy,       // == 0, the marker of a required equation (never enters the basis)
  Artificial,  // >= 0, phase-one helper while a row without an obvious subject is added
};

bool restricted(Kind k) { return k != Kind::External && k != Kind::Free; }
bool pivotable(Kind k) { return k == Kind::Slack || k == Kind::Error; }

struct Cell {
  Sym sym;
  double coef;
};

// constant + sum(coef * sym), cells sorted by symbol.
struct Row {
  double constant = 0;
  std::vector<Cell> cells;

  std::vector<Cell>::iterator find(Sym s) {
    return std::lower_bound(cells.begin(), cells.end(), s, [](const Cell& c, Sym v) { return c.sym < v; });
  }
  double coef(Sym s) const {
    auto it = std::lower_bound(cells.begin(), cells.end(), s, [](const Cell& c, Sym v) { return c.sym < v; });
    return it != cells.end() && it->sym == s ? it->coef : 0.0;
  }
  // Removes the cell of s; returns its coefficient (0 when absent).
  double erase(Sym s) {
    auto it = find(s);
    if (it == cells.end() || it->sym != s) return 0;
    double c = it->coef;
    cells.erase(it);
    return c;
  }
  // Adds c to the coefficient of s; returns +1 when the cell appeared, -1 when it vanished.
  int add(Sym s, double c) {
    auto it = find(s);
    if (it != cells.end() && it->sym == s) {
      it->coef += c;
      if (nearZero(it->coef)) {
        cells.erase(it);
        return -1;
      }
      return 0;
    }
    if (nearZero(c)) return 0;
    cells.insert(it, Cell{s, c});
    return 1;
  }
  void scale(double f) {
    constant *= f;
    for (Cell& c : cells) c.coef *= f;
  }
};

double clampZero(double v) { return nearZero(v) ? 0.0 : v; }

// The rows a symbol appears in: mostly one to four, so they are kept inline.
class SymList {
 public:
  SymList() {}
  SymList(const SymList& other) {
    for (Sym v : other) push_back(v);
  }
  SymList(SymList&& other) noexcept { take(other); }
  SymList& operator=(SymList other) noexcept {
    release();
    take(other);
    return *this;
  }
  ~SymList() { release(); }

  Sym* begin() { return data(); }
  Sym* end() { return data() + size_; }
  const Sym* begin() const { return data(); }
  const Sym* end() const { return data() + size_; }
  bool empty() const { return size_ == 0; }
  void clear() { size_ = 0; }
  void push_back(Sym v) {
    if (size_ == capacity_) grow();
    data()[size_++] = v;
  }
  // Removes one occurrence of v; order is not kept.
  void eraseValue(Sym v) {
    Sym* d = data();
    for (uint32_t i = 0; i < size_; ++i) {
      if (d[i] == v) {
        d[i] = d[--size_];
        return;
      }
    }
  }

 private:
  static constexpr uint32_t kInline = 4;
  Sym* data() { return capacity_ > kInline ? heap_ : inline_; }
  const Sym* data() const { return capacity_ > kInline ? heap_ : inline_; }
  void grow() {
    uint32_t capacity = capacity_ * 2, size = size_;
    Sym* bigger = new Sym[capacity];
    std::copy(begin(), end(), bigger);
    release();
    heap_ = bigger;
    capacity_ = capacity;
    size_ = size;
  }
  void release() {
    if (capacity_ > kInline) delete[] heap_;
    capacity_ = kInline;
    size_ = 0;
  }
  void take(SymList& other) {
    size_ = other.size_;
    capacity_ = other.capacity_;
    if (capacity_ > kInline) {
      heap_ = other.heap_;
    } else {
      std::copy(other.inline_, other.inline_ + size_, inline_);
    }
    other.capacity_ = kInline;
    other.size_ = 0;
  }

  uint32_t size_ = 0;
  uint32_t capacity_ = kInline;
  union {
    Sym inline_[kInline];
    Sym* heap_;
  };
};

// An array that grows in fixed chunks: elements never move, and growing never copies the
// array or asks the system for fresh pages of twice its size (a layout of thousands of
// constraints would otherwise spend a quarter of its time there).
template <class T>
class Chunked {
 public:
  static constexpr size_t kBits = 9;
  static constexpr size_t kChunk = size_t{1} << kBits;

  Chunked() = default;
  Chunked(const Chunked& other) : size_(other.size_) {
    for (const auto& chunk : other.chunks_) {
      chunks_.push_back(std::make_unique<T[]>(kChunk));
      std::copy(chunk.get(), chunk.get() + kChunk, chunks_.back().get());
    }
  }
  Chunked& operator=(const Chunked&) = delete;
  Chunked(Chunked&&) noexcept = default;
  Chunked& operator=(Chunked&&) noexcept = default;

  T& operator[](size_t i) { return chunks_[i >> kBits][i & (kChunk - 1)]; }
  const T& operator[](size_t i) const { return chunks_[i >> kBits][i & (kChunk - 1)]; }
  size_t size() const { return size_; }
  T& emplace_back() {
    if (size_ == chunks_.size() * kChunk) chunks_.push_back(std::make_unique<T[]>(kChunk));
    return (*this)[size_++];
  }
  // n value-initialised elements.
  void assign(size_t n) {
    chunks_.clear();
    size_ = 0;
    while (size_ < n) emplace_back();
  }
  void clear() { assign(0); }

 private:
  std::vector<std::unique_ptr<T[]>> chunks_;
  size_t size_ = 0;
};

}  // namespace

struct Solver::Impl {
  struct SymState {
    Kind kind = Kind::Free;
    bool basic = false;
    bool candidate = false;   // listed in `candidates`
    bool infeasible = false;  // listed in `infeasible`
    bool dirty = false;       // a variable whose value changed since values were last written
    uint32_t owner = 0;       // record index (markers, errors, artificial) or variable slot (external)
  };
  // Objective of one priority: minimise sum(coef[s] * s), dense by symbol. (Its constant, the
  // objective's value, decides nothing and is not kept.)
  struct Level {
    float priority = 0;
    Chunked<double> coef;
    uint32_t refs = 0;
  };
  struct Record {
    Constraint constraint;
    uint64_t seq = 0;
    double constant = 0;
    float priority = kPriorityRequired;
    Relation relation = Relation::Equal;
    Sym marker = kNone;
    Sym other = kNone;
    double markerCoef = 0;  // coefficient of the marker in the row "terms - constant + markers = 0"
    bool live = false;
    bool edit = false;
    bool required() const { return priority >= kPriorityRequired; }
  };
  struct VarSlot {
    std::shared_ptr<Variable::Data> data;
    Sym sym = kNone;
    uint32_t refs = 0;
  };

  Chunked<SymState> st;
  Chunked<Row> rows;              // by symbol; meaningful when basic
  Chunked<SymList> cols;  // by symbol: the basic symbols whose rows hold it
  std::vector<Sym> freeSyms;
  std::vector<Level> levels;  // highest priority first
  std::vector<Sym> candidates;  // symbols whose objective coefficients changed since the last optimum
  std::vector<Sym> infeasible;  // restricted basic symbols whose constants may have gone negative
  std::vector<Sym> dirtyVars;   // variables to write on the next updateVariables
  Row* extraObjective = nullptr;  // phase-one or probing objective, kept current by substitutions

  Chunked<Record> records;
  std::vector<uint32_t> freeRecords;
  uint64_t nextSeq = 0;
  std::unordered_map<const void*, uint32_t> foreignRecords;  // constraints whose cache names another solver
  Chunked<VarSlot> vars;
  std::vector<uint32_t> freeVars;
  std::unordered_map<const void*, Sym> foreignVars;
  std::unordered_map<const void*, uint32_t> edits;  // variable data -> edit record

  Impl() = default;
  Impl(const Impl&) = default;
  ~Impl() { unclaimAll(); }

  // ---- symbols ------------------------------------------------------------------------------

  Sym newSym(Kind kind, uint32_t owner) {
    Sym s;
    if (!freeSyms.empty()) {
      s = freeSyms.back();
      freeSyms.pop_back();
    } else {
      s = static_cast<Sym>(st.size());
      st.emplace_back();
      rows.emplace_back();
      cols.emplace_back();
      for (Level& l : levels) l.coef.emplace_back();
    }
    st[s].kind = kind;
    st[s].basic = false;
    st[s].owner = owner;
    return s;
  }

  // Takes s out of the tableau entirely and frees its id.
  void dropSymbol(Sym s) {
    if (st[s].basic) {
      takeRow(s);
    } else {
      for (Sym b : cols[s]) rows[b].erase(s);
      cols[s].clear();
    }
    for (Level& l : levels) l.coef[s] = 0;
    if (extraObjective) extraObjective->erase(s);
    rows[s] = Row();
    st[s].kind = Kind::Free;
    freeSyms.push_back(s);
  }

  // ---- tableau ------------------------------------------------------------------------------

  void colErase(Sym s, Sym basic) { cols[s].eraseValue(basic); }

  void markInfeasible(Sym b) {
    Kind k = st[b].kind;
    const double c = rows[b].constant;
    bool bad = k == Kind::Dummy ? !nearZero(c) : (restricted(k) && c < -kEps);
    if (bad && !st[b].infeasible) {
      st[b].infeasible = true;
      infeasible.push_back(b);
    }
  }

  void markDirty(Sym s) {
    if (st[s].kind == Kind::External && !st[s].dirty) {
      st[s].dirty = true;
      dirtyVars.push_back(s);
    }
  }

  void markCandidate(Sym s) {
    if (!st[s].candidate) {
      st[s].candidate = true;
      candidates.push_back(s);
    }
  }

  // row += factor * src. With a basic symbol, row is that symbol's row in the tableau and the
  // columns follow the cells that appear and vanish. Merges in place from the back, so the
  // row's storage only grows (geometrically) and nothing else is allocated.
  void mergeInto(Row& row, const Row& src, double factor, Sym basic) {
    row.constant = clampZero(row.constant + factor * src.constant);
    if (basic != kNone && src.constant != 0) markDirty(basic);
    if (src.cells.empty()) return;
    std::vector<Cell>& cells = row.cells;
    const std::vector<Cell>& add = src.cells;
    ptrdiff_t i = static_cast<ptrdiff_t>(cells.size()) - 1;
    ptrdiff_t j = static_cast<ptrdiff_t>(add.size()) - 1;
    cells.resize(cells.size() + add.size());
    ptrdiff_t k = static_cast<ptrdiff_t>(cells.size()) - 1;
    // Cells of row not yet looked at stay in [0, i]; results fill (k, end). Cancelled or
    // negligible cells leave k in place, which opens a gap closed at the end.
    while (j >= 0) {
      const Cell& b = add[static_cast<size_t>(j)];
      if (i >= 0 && cells[static_cast<size_t>(i)].sym > b.sym) {
        cells[static_cast<size_t>(k--)] = cells[static_cast<size_t>(i--)];
      } else if (i >= 0 && cells[static_cast<size_t>(i)].sym == b.sym) {
        double v = cells[static_cast<size_t>(i)].coef + factor * b.coef;
        if (nearZero(v)) {
          if (basic != kNone) colErase(b.sym, basic);
        } else {
          cells[static_cast<size_t>(k--)] = Cell{b.sym, v};
        }
        --i;
        --j;
      } else {
        double v = factor * b.coef;
        if (!nearZero(v)) {
          cells[static_cast<size_t>(k--)] = Cell{b.sym, v};
          if (basic != kNone) cols[b.sym].push_back(basic);
        }
        --j;
      }
    }
    if (k > i) cells.erase(cells.begin() + i + 1, cells.begin() + k + 1);
  }

  void installRow(Sym s, Row&& row) {
    for (const Cell& c : row.cells) cols[c.sym].push_back(s);
    rows[s] = std::move(row);
    st[s].basic = true;
    markDirty(s);
  }

  Row takeRow(Sym s) {
    Row row = std::move(rows[s]);
    rows[s] = Row();
    for (const Cell& c : row.cells) colErase(c.sym, s);
    st[s].basic = false;
    markDirty(s);
    return row;
  }

  // s has just become basic: replace it by its row everywhere else.
  void substituteOut(Sym s) {
    SymList users = std::move(cols[s]);
    const Row& r = rows[s];
    for (Sym b : users) {
      Row& target = rows[b];
      double c = target.erase(s);
      mergeInto(target, r, c, b);
      markInfeasible(b);
    }
    for (Level& l : levels) {
      double c = l.coef[s];
      if (c == 0) continue;
      l.coef[s] = 0;
      for (const Cell& cell : r.cells) {
        double& v = l.coef[cell.sym];
        v = clampZero(v + c * cell.coef);
        markCandidate(cell.sym);
      }
    }
    if (extraObjective) {
      double c = extraObjective->erase(s);
      if (c != 0) mergeInto(*extraObjective, r, c, kNone);
    }
  }

  // The basic `leaving` gives way to `entering`, which its row holds.
  void pivot(Sym entering, Sym leaving) {
    Row row = takeRow(leaving);
    double a = row.erase(entering);
    // leaving = k + a * entering + rest  =>  entering = (leaving - k - rest) / a
    row.scale(-1.0 / a);
    row.add(leaving, 1.0 / a);
    row.constant = clampZero(row.constant);
    installRow(entering, std::move(row));
    substituteOut(entering);
  }

  // ---- objective ----------------------------------------------------------------------------

  // Sign of the first non-zero objective coefficient of s, highest priority first.
  int costSign(Sym s) const {
    for (const Level& l : levels) {
      double c = l.coef[s];
      if (c > kEps) return 1;
      if (c < -kEps) return -1;
    }
    return 0;
  }

  int levelIndex(float priority) const {
    for (size_t i = 0; i < levels.size(); ++i) {
      if (levels[i].priority == priority) return static_cast<int>(i);
    }
    return -1;
  }

  Level& levelFor(float priority) {
    int i = levelIndex(priority);
    if (i >= 0) return levels[i];
    auto at = std::find_if(levels.begin(), levels.end(), [&](const Level& l) { return l.priority < priority; });
    Level level;
    level.priority = priority;
    level.coef.assign(st.size());
    return *levels.insert(at, std::move(level));
  }

  // Adds weight * e to the objective level, e being basic or not.
  void addToObjective(Level& level, Sym e, double weight) {
    if (st[e].basic) {
      const Row& r = rows[e];
      for (const Cell& c : r.cells) {
        level.coef[c.sym] = clampZero(level.coef[c.sym] + weight * c.coef);
        markCandidate(c.sym);
      }
    } else {
      level.coef[e] = clampZero(level.coef[e] + weight);
      markCandidate(e);
    }
  }

  size_t iterationCap() const { return 1000 + 20 * st.size(); }

  // Primal simplex on the priority levels from a feasible tableau. Entering: the lowest symbol
  // whose cost is negative; leaving: the smallest ratio, then the lowest symbol (Bland's rule,
  // so it cannot cycle). Only symbols whose costs changed since the last optimum are looked at.
  void optimize() {
    for (size_t iteration = 0, cap = iterationCap(); iteration < cap; ++iteration) {
      Sym entering = kNone;
      size_t kept = 0;
      for (Sym s : candidates) {
        if (st[s].basic || !pivotable(st[s].kind) || costSign(s) >= 0) {
          st[s].candidate = false;
          continue;
        }
        candidates[kept++] = s;
        entering = std::min(entering, s);
      }
      candidates.resize(kept);
      if (entering == kNone) return;
      Sym leaving = ratioTest(entering);
      if (leaving == kNone) {
        // Unbounded: cannot happen with a sound objective (errors are >= 0); never loop on it.
        st[entering].candidate = false;
        std::erase(candidates, entering);
        continue;
      }
      pivot(entering, leaving);
    }
  }

  Sym ratioTest(Sym entering) const {
    Sym best = kNone;
    double bestRatio = 0;
    for (Sym b : cols[entering]) {
      if (!restricted(st[b].kind)) continue;
      const Row& r = rows[b];
      double a = r.coef(entering);
      if (a >= 0) continue;
      double ratio = r.constant / -a;
      if (best == kNone || ratio < bestRatio || (ratio == bestRatio && b < best)) {
        best = b;
        bestRatio = ratio;
      }
    }
    return best;
  }

  enum class Minimum { Reached, Unbounded };

  // Primal simplex on a single objective row (phase one, ambiguity probes); `allowed` says
  // which symbols may enter.
  template <class Allowed>
  Minimum minimize(Row& objective, Allowed allowed) {
    extraObjective = &objective;
    Minimum result = Minimum::Reached;
    for (size_t iteration = 0, cap = iterationCap(); iteration < cap; ++iteration) {
      Sym entering = kNone;
      for (const Cell& c : objective.cells) {
        if (c.coef < -kEps && allowed(c.sym)) {
          entering = c.sym;
          break;
        }
      }
      if (entering == kNone) break;
      Sym leaving = ratioTest(entering);
      if (leaving == kNone) {
        result = Minimum::Unbounded;
        break;
      }
      pivot(entering, leaving);
    }
    extraObjective = nullptr;
    return result;
  }

  // Dual simplex: the objective is optimal but some restricted rows are negative (constants
  // moved). Returns kNone when feasible again, else the basic symbol of a row no pivot can mend.
  Sym dualOptimize() {
    Sym stuck = kNone;
    for (size_t iteration = 0, cap = iterationCap(); !infeasible.empty(); ++iteration) {
      Sym b = infeasible.back();
      infeasible.pop_back();
      st[b].infeasible = false;
      if (!st[b].basic) continue;
      const Row& row = rows[b];
      if (st[b].kind == Kind::Dummy) {
        if (!nearZero(row.constant)) {
          stuck = b;
          break;
        }
        continue;
      }
      if (!restricted(st[b].kind) || row.constant >= -kEps) continue;
      Sym entering = iteration < cap ? dualEntering(row) : kNone;
      if (entering == kNone) {
        stuck = b;
        break;
      }
      pivot(entering, b);
    }
    for (Sym s : infeasible) st[s].infeasible = false;
    infeasible.clear();
    return stuck;
  }

  // The entering symbol that keeps the objective optimal: among cells with a positive
  // coefficient, the smallest cost / coefficient, compared priority by priority.
  Sym dualEntering(const Row& row) const {
    Sym best = kNone;
    double bestA = 0;
    for (const Cell& c : row.cells) {
      if (c.coef <= 0 || !pivotable(st[c.sym].kind)) continue;
      if (best == kNone) {
        best = c.sym;
        bestA = c.coef;
        continue;
      }
      int order = 0;
      for (const Level& l : levels) {
        double diff = l.coef[c.sym] / c.coef - l.coef[best] / bestA;
        if (diff < -kEps) order = -1;
        else if (diff > kEps) order = 1;
        if (order != 0) break;
      }
      if (order < 0) {  // ties keep the lower symbol, which came first
        best = c.sym;
        bestA = c.coef;
      }
    }
    return best;
  }

  // ---- variables ----------------------------------------------------------------------------

  Sym findVar(const Variable::Data* d) const {
    if (d->owner == this) return d->symbol;
    auto it = foreignVars.find(d);
    return it == foreignVars.end() ? kNone : it->second;
  }

  Sym retainVar(const Variable& v) {
    Variable::Data* d = v.data_.get();
    Sym s = findVar(d);
    if (s != kNone) {
      ++vars[st[s].owner].refs;
      return s;
    }
    uint32_t slot;
    if (!freeVars.empty()) {
      slot = freeVars.back();
      freeVars.pop_back();
    } else {
      slot = static_cast<uint32_t>(vars.size());
      vars.emplace_back();
    }
    s = newSym(Kind::External, slot);
    vars[slot] = VarSlot{v.data_, s, 1};
    markDirty(s);
    if (d->owner == nullptr) {
      d->owner = this;
      d->symbol = s;
    } else {
      foreignVars[d] = s;
    }
    return s;
  }

  void releaseVar(Sym s) {
    VarSlot& slot = vars[st[s].owner];
    if (--slot.refs > 0) return;
    Variable::Data* d = slot.data.get();
    if (d->owner == this) {
      d->owner = nullptr;
    } else {
      foreignVars.erase(d);
    }
    freeVars.push_back(st[s].owner);
    slot = VarSlot{};
    dropSymbol(s);
  }

  double currentValue(Sym s) const { return st[s].basic ? rows[s].constant : 0.0; }

  // ---- records ------------------------------------------------------------------------------

  static constexpr uint32_t kNoRecord = std::numeric_limits<uint32_t>::max();

  uint32_t findRecord(const Constraint::Data* d) const {
    if (d->owner == this) return d->record;
    auto it = foreignRecords.find(d);
    return it == foreignRecords.end() ? kNoRecord : it->second;
  }

  uint32_t newRecord(const Constraint& c, bool edit) {
    uint32_t ri;
    if (!freeRecords.empty()) {
      ri = freeRecords.back();
      freeRecords.pop_back();
    } else {
      ri = static_cast<uint32_t>(records.size());
      records.emplace_back();
    }
    Record& r = records[ri];
    r = Record{};
    r.constraint = c;
    r.seq = nextSeq++;
    r.constant = c.constant();
    r.priority = c.priority();
    r.relation = c.relation();
    r.live = true;
    r.edit = edit;
    Constraint::Data* d = c.data_.get();
    if (d->owner == nullptr) {
      d->owner = this;
      d->record = ri;
    } else {
      foreignRecords[d] = ri;
    }
    return ri;
  }

  void freeRecord(uint32_t ri) {
    Record& r = records[ri];
    Constraint::Data* d = r.constraint.data_.get();
    if (d->owner == this) {
      d->owner = nullptr;
    } else {
      foreignRecords.erase(d);
    }
    r = Record{};
    freeRecords.push_back(ri);
  }

  std::vector<Sym> errorSymbols(const Record& r) const {
    if (r.required()) return {};
    if (r.relation == Relation::Equal) return {r.marker, r.other};
    return {r.other};
  }

  // The required constraints behind the symbols of a row that proves a contradiction, with the
  // record being added or changed, in the order they were added.
  std::vector<Constraint> explain(const Row& row, Sym extra, uint32_t self) const {
    std::vector<uint32_t> owners{self};
    auto note = [&](Sym s) {
      Kind k = st[s].kind;
      if (k == Kind::Slack || k == Kind::Error || k == Kind::Dummy || k == Kind::Artificial) {
        owners.push_back(st[s].owner);
      }
    };
    for (const Cell& c : row.cells) note(c.sym);
    if (extra != kNone) note(extra);
    std::sort(owners.begin(), owners.end(), [&](uint32_t a, uint32_t b) { return records[a].seq < records[b].seq; });
    owners.erase(std::unique(owners.begin(), owners.end()), owners.end());
    std::vector<Constraint> out;
    for (uint32_t o : owners) {
      if (records[o].live && records[o].required() && !records[o].edit) out.push_back(records[o].constraint);
    }
    return out;
  }

  // Puts a new record's row into the tableau. On a contradiction the tableau is as before and
  // the outcome names the conflict; the caller frees the record.
  Outcome insert(uint32_t ri) {
    Record& r = records[ri];
    Row row;
    row.cells.reserve(r.constraint.terms().size() + 4);
    row.constant = -r.constant;
    for (const Term& t : r.constraint.terms()) {
      Sym x = retainVar(t.variable);
      if (st[x].basic) {
        mergeInto(row, rows[x], t.coefficient, kNone);
      } else {
        row.add(x, t.coefficient);
      }
    }
    const bool required = r.required();
    auto addMarker = [&](Kind kind, double coef) {
      Sym s = newSym(kind, ri);
      row.add(s, coef);
      return s;
    };
    switch (r.relation) {
      case Relation::LessThanOrEqual:
      case Relation::GreaterThanOrEqual: {
        // terms - constant <= 0 becomes terms - constant + slack = 0 (>= flips the sign).
        double sign = r.relation == Relation::LessThanOrEqual ? 1.0 : -1.0;
        r.marker = addMarker(Kind::Slack, sign);
        r.markerCoef = sign;
        if (!required) r.other = addMarker(Kind::Error, -sign);
        break;
      }
      case Relation::Equal:
        if (required) {
          r.marker = addMarker(Kind::Dummy, 1.0);
          r.markerCoef = 1.0;
        } else {
          // terms - constant = plus - minus
          r.marker = addMarker(Kind::Error, -1.0);
          r.other = addMarker(Kind::Error, 1.0);
          r.markerCoef = -1.0;
        }
        break;
    }
    if (!required) {
      Level& level = levelFor(r.priority);
      ++level.refs;
      for (Sym e : errorSymbols(r)) addToObjective(level, e, 1.0);
    }
    if (row.constant < 0) row.scale(-1.0);

    Sym subject = chooseSubject(row, r);
    if (subject != kNone) {
      double a = row.erase(subject);
      row.scale(-1.0 / a);
      installRow(subject, std::move(row));
      substituteOut(subject);
      optimize();
      return Outcome{};
    }
    bool allDummies = std::all_of(row.cells.begin(), row.cells.end(),
                                  [&](const Cell& c) { return st[c.sym].kind == Kind::Dummy; });
    if (allDummies) {
      // A required equation that other required equations already decide: consistent when
      // its constant agrees, else a contradiction between exactly those equations.
      if (nearZero(row.constant) && row.coef(r.marker) != 0) {
        double a = row.erase(r.marker);
        row.scale(-1.0 / a);
        installRow(r.marker, std::move(row));
        return Outcome{};
      }
      Outcome out{Status::Unsatisfiable, explain(row, kNone, ri), r.constraint};
      return out;
    }
    return insertWithArtificial(ri, std::move(row));
  }

  // The symbol to solve a new row for: a variable if there is one, else the row's own slack or
  // error when it can be basic with a non-negative value.
  Sym chooseSubject(const Row& row, const Record& r) const {
    for (const Cell& c : row.cells) {
      if (st[c.sym].kind == Kind::External) return c.sym;
    }
    for (Sym s : {r.marker, r.other}) {
      if (s != kNone && pivotable(st[s].kind) && row.coef(s) < 0) return s;
    }
    return kNone;
  }

  // Phase one: an artificial symbol stands for the row; minimising it to zero finds a feasible
  // basis with the row satisfied, or proves that the required constraints contradict.
  Outcome insertWithArtificial(uint32_t ri, Row&& row) {
    Sym art = newSym(Kind::Artificial, ri);
    Row objective = row;
    installRow(art, std::move(row));
    minimize(objective, [&](Sym s) { Kind k = st[s].kind; return pivotable(k) || k == Kind::Artificial; });
    if (!nearZero(objective.constant)) {
      Record& r = records[ri];
      Outcome out{Status::Unsatisfiable, explain(objective, kNone, ri), r.constraint};
      // The artificial symbol is positive, hence basic; dropping its row leaves the tableau of
      // the other constraints, in which the new row's own symbols no longer appear.
      dropSymbol(art);
      optimize();
      return out;
    }
    if (st[art].basic) {
      const Row& ar = rows[art];
      Sym entering = kNone;
      for (const Cell& c : ar.cells) {
        if (pivotable(st[c.sym].kind)) {
          entering = c.sym;
          break;
        }
      }
      if (entering == kNone && !ar.cells.empty()) entering = ar.cells.front().sym;
      if (entering != kNone) pivot(entering, art);
    }
    dropSymbol(art);  // zero from now on
    optimize();
    return Outcome{};
  }

  // Takes a record's row out of the tableau and frees its symbols.
  void extract(uint32_t ri) {
    Record& r = records[ri];
    if (!r.required()) {
      int li = levelIndex(r.priority);
      if (li >= 0) {
        for (Sym e : errorSymbols(r)) addToObjective(levels[li], e, -1.0);
      }
    }
    Sym m = r.marker;
    if (!st[m].basic) {
      Sym leaving = markerLeavingRow(m);
      if (leaving != kNone) pivot(m, leaving);
    }
    dropSymbol(m);
    if (r.other != kNone) dropSymbol(r.other);
    if (!r.required()) {
      int li = levelIndex(r.priority);
      if (li >= 0 && --levels[li].refs == 0) levels.erase(levels.begin() + li);
    }
    for (const Term& t : r.constraint.terms()) {
      Sym x = findVar(t.variable.data_.get());
      if (x != kNone) releaseVar(x);
    }
    r.marker = r.other = kNone;
  }

  // The row to pivot a leaving constraint's marker into, keeping every restricted row
  // non-negative: the tightest restricted row that the marker's growth would shrink, else the
  // tightest one it would grow, else any variable's row.
  Sym markerLeavingRow(Sym m) const {
    Sym shrink = kNone, grow = kNone, unrestricted = kNone;
    double shrinkRatio = 0, growRatio = 0;
    for (Sym b : cols[m]) {
      const Row& r = rows[b];
      double a = r.coef(m);
      if (!restricted(st[b].kind)) {
        unrestricted = std::min(unrestricted, b);
      } else if (a < 0) {
        double ratio = r.constant / -a;
        if (shrink == kNone || ratio < shrinkRatio || (ratio == shrinkRatio && b < shrink)) {
          shrink = b;
          shrinkRatio = ratio;
        }
      } else {
        double ratio = r.constant / a;
        if (grow == kNone || ratio < growRatio || (ratio == growRatio && b < grow)) {
          grow = b;
          growRatio = ratio;
        }
      }
    }
    return shrink != kNone ? shrink : grow != kNone ? grow : unrestricted;
  }

  // Moves a record's constant by delta: the same as moving its marker, in every row that holds
  // the marker (or in the marker's own row).
  void shiftConstant(Record& r, double delta) {
    double shift = -delta / r.markerCoef;
    Sym m = r.marker;
    if (st[m].basic) {
      rows[m].constant = clampZero(rows[m].constant - shift);
      markInfeasible(m);
    } else {
      for (Sym b : cols[m]) {
        Row& row = rows[b];
        row.constant = clampZero(row.constant + row.coef(m) * shift);
        markInfeasible(b);
        markDirty(b);
      }
    }
    r.constant += delta;
  }

  Outcome changeConstant(uint32_t ri, double constant) {
    Record& r = records[ri];
    double delta = constant - r.constant;
    if (delta == 0) return Outcome{};
    shiftConstant(r, delta);
    Sym stuck = dualOptimize();
    if (stuck == kNone) {
      r.constraint.data_->constant = r.constant = constant;
      optimize();
      return Outcome{};
    }
    Outcome out{Status::Unsatisfiable, explain(rows[stuck], stuck, ri), r.constraint};
    // Back to the old constant, which held, then break the constraint.
    shiftConstant(r, -delta);
    if (dualOptimize() != kNone) {
      rebuild(ri);
    } else {
      extract(ri);
      optimize();
    }
    r.constraint.data_->constant = constant;
    if (r.edit) edits.erase(r.constraint.terms().front().variable.key());
    freeRecord(ri);
    return out;
  }

  // Last resort after numerical trouble: the tableau again from the records, in their order,
  // leaving out one record (kNone for none). Records that no longer fit are dropped.
  void rebuild(uint32_t leaveOut) {
    std::vector<uint32_t> order;
    for (uint32_t i = 0; i < records.size(); ++i) {
      if (records[i].live && i != leaveOut) order.push_back(i);
    }
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return records[a].seq < records[b].seq; });
    for (size_t i = 0; i < vars.size(); ++i) {
      if (vars[i].data && vars[i].data->owner == this) vars[i].data->owner = nullptr;
    }
    foreignVars.clear();
    dirtyVars.clear();
    st.clear();
    rows.clear();
    cols.clear();
    freeSyms.clear();
    levels.clear();
    candidates.clear();
    infeasible.clear();
    vars.clear();
    freeVars.clear();
    for (uint32_t ri : order) {
      Record& r = records[ri];
      r.marker = r.other = kNone;
      if (!insert(ri).ok()) discard(ri);
    }
  }

  // Frees a record whose insertion failed, with whatever it had registered.
  void discard(uint32_t ri) {
    Record& r = records[ri];
    for (Sym s : {r.marker, r.other}) {
      if (s != kNone) dropSymbol(s);
    }
    if (!r.required()) {
      int li = levelIndex(r.priority);
      if (li >= 0 && --levels[li].refs == 0) levels.erase(levels.begin() + li);
    }
    for (const Term& t : r.constraint.terms()) {
      Sym x = findVar(t.variable.data_.get());
      if (x != kNone) releaseVar(x);
    }
    if (r.edit) edits.erase(r.constraint.terms().front().variable.key());
    freeRecord(ri);
  }

  void unclaimAll() {
    for (size_t i = 0; i < vars.size(); ++i) {
      if (vars[i].data && vars[i].data->owner == this) vars[i].data->owner = nullptr;
    }
    for (size_t i = 0; i < records.size(); ++i) {
      if (records[i].live && records[i].constraint.data_->owner == this) records[i].constraint.data_->owner = nullptr;
    }
  }

  // ---- ambiguity ----------------------------------------------------------------------------

  // Whether some step along the optimal face moves x. Only non-basic symbols whose costs are
  // zero can move without worsening the objective; one that may grow and sits in x's row moves
  // x. When such symbols are all blocked by rows at zero (a degenerate corner), x's range over
  // the optimal face is measured exactly on a copy of the tableau.
  bool ambiguous(Sym x) const {
    if (!st[x].basic) return true;
    bool blocked = false;
    for (const Cell& c : rows[x].cells) {
      Kind k = st[c.sym].kind;
      if (k == Kind::External) return true;
      if (!pivotable(k) || costSign(c.sym) != 0) continue;
      bool canGrow = true;
      for (Sym b : cols[c.sym]) {
        if (!restricted(st[b].kind)) continue;
        double a = rows[b].coef(c.sym);
        if (a < 0 && rows[b].constant / -a <= kEps) {
          canGrow = false;
          break;
        }
      }
      if (canGrow) return true;
      blocked = true;
    }
    if (!blocked) return false;
    return movesOnOptimalFace(x, 1.0) || movesOnOptimalFace(x, -1.0);
  }

  bool movesOnOptimalFace(Sym x, double direction) const {
    Impl probe(*this);  // claims stay with this solver: the copy's address owns nothing
    std::vector<bool> frozen(probe.st.size(), false);
    for (Sym s = 0; s < probe.st.size(); ++s) {
      frozen[s] = !probe.st[s].basic && probe.costSign(s) != 0;
    }
    Row objective = probe.rows[x];
    objective.scale(direction);
    double start = objective.constant;
    auto outcome = probe.minimize(objective, [&](Sym s) { return pivotable(probe.st[s].kind) && !frozen[s]; });
    return outcome == Minimum::Unbounded || objective.constant < start - kEps;
  }

  // ---- checks -------------------------------------------------------------------------------

  std::string check() const {
    std::string problems;
    auto report = [&](const std::string& what, Sym s) { problems += what + " " + std::to_string(s) + "\n"; };
    for (Sym s = 0; s < st.size(); ++s) {
      if (!st[s].basic) continue;
      const Row& r = rows[s];
      if (restricted(st[s].kind) && r.constant < -kEps) report("infeasible row", s);
      for (size_t i = 0; i < r.cells.size(); ++i) {
        Sym t = r.cells[i].sym;
        if (i > 0 && r.cells[i - 1].sym >= t) report("unsorted row", s);
        if (st[t].basic) report("basic symbol inside the row of", s);
        if (st[t].kind == Kind::Free) report("freed symbol inside the row of", s);
        if (std::count(cols[t].begin(), cols[t].end(), s) != 1) report("column out of step for", t);
      }
    }
    for (Sym s = 0; s < st.size(); ++s) {
      for (Sym b : cols[s]) {
        if (!st[b].basic || rows[b].coef(s) == 0) report("stale column entry of", s);
      }
      if (!st[s].basic && pivotable(st[s].kind) && costSign(s) < 0) report("not optimal at", s);
      if (st[s].kind == Kind::External) {
        for (const Level& l : levels) {
          if (l.coef[s] != 0) report("variable in the objective", s);
        }
      }
    }
    return problems;
  }
};

// ---- Solver ---------------------------------------------------------------------------------

namespace {

bool finite(const Constraint& c) {
  if (!std::isfinite(c.constant())) return false;
  for (const Term& t : c.terms()) {
    if (!std::isfinite(t.coefficient)) return false;
  }
  return true;
}

bool validPriority(float p) { return p >= 1 && p <= kPriorityRequired; }

Outcome status(Status s) { return Outcome{s, {}, {}}; }

}  // namespace

Solver::Solver() : impl_(std::make_unique<Impl>()) {}
Solver::~Solver() = default;

Outcome Solver::addConstraint(const Constraint& constraint) {
  if (!constraint) return status(Status::Invalid);
  if (impl_->findRecord(constraint.data_.get()) != Impl::kNoRecord) return status(Status::Duplicate);
  if (!finite(constraint) || !validPriority(constraint.priority())) return status(Status::Invalid);
  uint32_t ri = impl_->newRecord(constraint, false);
  Outcome out = impl_->insert(ri);
  if (!out.ok()) impl_->discard(ri);
  return out;
}

Outcome Solver::removeConstraint(const Constraint& constraint) {
  if (!constraint) return status(Status::Unknown);
  uint32_t ri = impl_->findRecord(constraint.data_.get());
  if (ri == Impl::kNoRecord || impl_->records[ri].edit) return status(Status::Unknown);
  impl_->extract(ri);
  impl_->freeRecord(ri);
  impl_->optimize();
  return Outcome{};
}

bool Solver::hasConstraint(const Constraint& constraint) const {
  if (!constraint) return false;
  uint32_t ri = impl_->findRecord(constraint.data_.get());
  return ri != Impl::kNoRecord && !impl_->records[ri].edit;
}

std::vector<Constraint> Solver::constraints() const {
  std::vector<const Impl::Record*> live;
  for (size_t i = 0; i < impl_->records.size(); ++i) {
    const Impl::Record& r = impl_->records[i];
    if (r.live && !r.edit) live.push_back(&r);
  }
  std::sort(live.begin(), live.end(), [](auto* a, auto* b) { return a->seq < b->seq; });
  std::vector<Constraint> out;
  out.reserve(live.size());
  for (auto* r : live) out.push_back(r->constraint);
  return out;
}

Outcome Solver::setConstant(const Constraint& constraint, double constant) {
  if (!constraint) return status(Status::Unknown);
  uint32_t ri = impl_->findRecord(constraint.data_.get());
  if (ri == Impl::kNoRecord || impl_->records[ri].edit) return status(Status::Unknown);
  if (!std::isfinite(constant)) return status(Status::Invalid);
  return impl_->changeConstant(ri, constant);
}

Outcome Solver::addEditVariable(const Variable& variable, float priority) {
  if (impl_->edits.count(variable.key())) return status(Status::Duplicate);
  if (!(priority >= 1 && priority < kPriorityRequired)) return status(Status::Invalid);
  Constraint c(variable, Relation::Equal, Expression(valueOf(variable)), priority);
  Outcome out = addConstraint(c);
  if (out.ok()) {
    uint32_t ri = impl_->findRecord(c.data_.get());
    impl_->records[ri].edit = true;
    impl_->edits[variable.key()] = ri;
  }
  return out;
}

Outcome Solver::removeEditVariable(const Variable& variable) {
  auto it = impl_->edits.find(variable.key());
  if (it == impl_->edits.end()) return status(Status::Unknown);
  uint32_t ri = it->second;
  impl_->edits.erase(it);
  impl_->extract(ri);
  impl_->freeRecord(ri);
  impl_->optimize();
  return Outcome{};
}

bool Solver::hasEditVariable(const Variable& variable) const { return impl_->edits.count(variable.key()) != 0; }

Outcome Solver::suggestValue(const Variable& variable, double value) {
  auto it = impl_->edits.find(variable.key());
  if (it == impl_->edits.end()) return status(Status::Unknown);
  if (!std::isfinite(value)) return status(Status::Invalid);
  return impl_->changeConstant(it->second, value);
}

void Solver::updateVariables() {
  for (Sym s : impl_->dirtyVars) {
    Impl::SymState& state = impl_->st[s];
    state.dirty = false;
    if (state.kind == Kind::External) impl_->vars[state.owner].data->value = snap(impl_->currentValue(s));
  }
  impl_->dirtyVars.clear();
}

double Solver::valueOf(const Variable& variable) const {
  Sym s = impl_->findVar(variable.data_.get());
  return s == kNone ? variable.value() : snap(impl_->currentValue(s));
}

bool Solver::isAmbiguous(const Variable& variable) const {
  Sym s = impl_->findVar(variable.data_.get());
  return s == kNone || impl_->ambiguous(s);
}

void Solver::reset() { impl_ = std::make_unique<Impl>(); }

std::string Solver::checkTableau() const { return impl_->check(); }

double Solver::snap(double value) {
  constexpr double kGrid = 1048576.0;  // 2^20
  // Adding and taking away 1.5 * 2^52 rounds to the nearest integer (ties to even) in the
  // default rounding mode, for magnitudes below 2^51: what nearbyint does, without its call.
  constexpr double kRound = 6755399441055744.0;
  if (!(std::fabs(value) < 1e9)) return value;
  double s = ((value * kGrid + kRound) - kRound) / kGrid;
  return s == 0 ? 0.0 : s;
}

}  // namespace zvt::layout
