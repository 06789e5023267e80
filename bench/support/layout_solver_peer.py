"""Times constraint systems through python3-kiwisolver, the layout solver benchmark's peer.

Reads one system from standard input:
    V <variables>
    C <priority> <relation -1|0|1> <constant> <terms> <variable> <coefficient> ...
    X <constraint index> <constant a> <constant b>     (constants that the change tests move)
    R <runs>
and prints one line per measurement: a name, then the seconds of each run. Every measured run
goes through the binding (Python objects and calls), as a Python caller would see it.
"""
import sys
import time

import kiwisolver as kiwi


def read_system(stream):
    variables = 0
    specs = []
    changes = []
    runs = 20
    for line in stream:
        parts = line.split()
        if not parts:
            continue
        if parts[0] == "V":
            variables = int(parts[1])
        elif parts[0] == "C":
            priority, relation, constant, count = float(parts[1]), int(parts[2]), float(parts[3]), int(parts[4])
            terms = [(int(parts[5 + 2 * i]), float(parts[6 + 2 * i])) for i in range(count)]
            specs.append((priority, relation, constant, terms))
        elif parts[0] == "X":
            changes.append((int(parts[1]), float(parts[2]), float(parts[3])))
        elif parts[0] == "R":
            runs = int(parts[1])
    return variables, specs, changes, runs


def build(variables, blueprint, constant=None):
    priority, relation, own_constant, terms = blueprint
    expression = 0
    for index, coefficient in terms:
        expression = expression + variables[index] * coefficient
    value = own_constant if constant is None else constant
    if relation == 0:
        constraint = expression == value
    elif relation < 0:
        constraint = expression <= value
    else:
        constraint = expression >= value
    if priority < 1000:
        # The peer's strengths are weights, not levels: a priority becomes the weight.
        constraint = constraint | kiwi.strength.create(0, 0, priority)
    return constraint


def main():
    count, specs, changes, runs = read_system(sys.stdin)
    variables = [kiwi.Variable("v%d" % i) for i in range(count)]
    prebuilt = [build(variables, s) for s in specs]
    clock = time.perf_counter

    def scratch_prebuilt():
        start = clock()
        solver = kiwi.Solver()
        for c in prebuilt:
            solver.addConstraint(c)
        solver.updateVariables()
        return clock() - start, solver

    def scratch_building():
        start = clock()
        solver = kiwi.Solver()
        for s in specs:
            solver.addConstraint(build(variables, s))
        solver.updateVariables()
        return clock() - start

    results = {"scratch": [], "scratch_building": []}
    for run in range(runs + 2):  # two warm-up runs
        seconds, solver = scratch_prebuilt()
        building = scratch_building()
        if run >= 2:
            results["scratch"].append(seconds)
            results["scratch_building"].append(building)
    checksum = sum(v.value() for v in variables)

    for number, (index, a, b) in enumerate(changes):
        # The peer cannot change a constraint's constant: it removes the constraint and adds
        # one with the new constant.
        samples = results.setdefault("change%d" % number, [])
        solver = kiwi.Solver()
        current = list(prebuilt)
        for c in current:
            solver.addConstraint(c)
        solver.updateVariables()
        # 200 and 600 changes for the program's 10 and 30 runs; 20 in a smoke run's one.
        changes = runs * 20
        for step in range(changes + 20):
            replacement = build(variables, specs[index], b if step % 2 == 0 else a)
            start = clock()
            solver.removeConstraint(current[index])
            solver.addConstraint(replacement)
            solver.updateVariables()
            seconds = clock() - start
            current[index] = replacement
            if step >= 20:
                samples.append(seconds)

    for name, samples in results.items():
        if samples:
            print(name, " ".join("%.9f" % s for s in samples))
    print("checksum", "%.6f" % checksum)


if __name__ == "__main__":
    main()
