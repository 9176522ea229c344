#!/usr/bin/python3
"""Shares of a callgrind profile (callgrind.out), by function.

callgrind_annotate splits a function's cost by the source file each line
comes from (code inlined from a header counts under that header), so one
function shows up under several names and the inclusive costs of a group of
functions that call each other add up twice. This reads the profile itself
and keys every cost by function (the object file's name goes in front of
functions without a symbol, such as SQLite's static ones):

- exclusive: the instructions of the function's own code, inlined code
  included;
- inclusive of a group: its own instructions plus every call out of the
  group, each call counted once however deep inside the group it starts.
  Exact unless a function outside the group calls back into it (expat's
  handlers of the .xlsx reader, say): the callback's instructions then count
  in the call out and again as the group's own.

Usage: callgrind_shares.py CALLGRIND.OUT [--group LABEL REGEX]...
         [--exclusive LABEL REGEX [LEFT_OUT]]... [--top N]

A REGEX (Python re.search) selects every function for which it matches
"OBJECT|FILE:FUNCTION" for the object file and any source file of its
definition (the file of its first line, not of code inlined into it), so
"StatementMap\\.cpp:" selects the functions defined there and
"\\|[^|]*:vip::store::" those of a namespace. --group prints the group's
inclusive instructions, --exclusive the sum of its functions' exclusive
ones; with LEFT_OUT (a REGEX too), less the functions LEFT_OUT selects and
those called only from them, directly or through each other (the reading
of a workbook and the number formatting only it calls, say). The output is tab-separated "LABEL instructions percent" lines (the
first one "total"), then "top instructions percent FUNCTION" lines for the N
(10) functions with the most exclusive instructions.
"""

import argparse
import collections
import os
import re
import sys


class Profile:
    def __init__(self, path):
        self.total = 0
        self.exclusive = collections.Counter()  # function -> instructions
        self.calls = collections.Counter()  # (caller, callee) -> inclusive instructions
        self.where = collections.defaultdict(set)  # function -> {"OBJECT|FILE"}
        self._names = {"ob": {}, "fl": {}, "fn": {}}
        self._read(path)

    def _name(self, kind, value):
        match = re.match(r"\((\d+)\)(?: (.*))?$", value)
        if not match:
            return value
        if match.group(2) is not None:
            self._names[kind][match.group(1)] = match.group(2)
            return match.group(2)
        return self._names[kind][match.group(1)]

    @staticmethod
    def _key(obj, fn):
        # Functions without a symbol are named by address: name the object too.
        return f"{os.path.basename(obj)}:{fn}" if fn.startswith("0x") else fn

    def _read(self, path):
        obj = fl = fn = None
        callee_obj = callee = None
        in_call = False
        summary = totals = None
        with open(path, encoding="utf-8", errors="replace") as lines:
            for line in lines:
                line = line.rstrip("\n")
                if not line or line.startswith("#"):
                    continue
                if line[0].isdigit() or line[0] in "+-*":
                    fields = line.split()
                    cost = int(fields[1]) if len(fields) > 1 else 0
                    if in_call:
                        self.calls[(fn, callee)] += cost
                        in_call = False
                    else:
                        self.exclusive[fn] += cost
                    continue
                key, _, value = line.partition("=")
                if key == "ob":
                    obj = self._name("ob", value)
                elif key == "fl":
                    fl = self._name("fl", value)
                elif key in ("fi", "fe", "cfi", "cfl", "jfi"):
                    self._name("fl", value)
                elif key == "fn":
                    name = self._name("fn", value)
                    fn = self._key(obj, name)
                    self.where[fn].add(f"{obj}|{fl}")
                elif key == "cob":
                    callee_obj = self._name("ob", value)
                elif key == "cfn":
                    callee = self._key(callee_obj or obj, self._name("fn", value))
                elif key == "jfn":
                    self._name("fn", value)
                elif key == "calls":
                    in_call = True
                    callee_obj = None  # a cob= line names the callee of one call
                elif line.startswith("summary:"):
                    summary = int(line.split()[1])
                elif line.startswith("totals:"):
                    totals = int(line.split()[1])
        self.total = summary or totals or sum(self.exclusive.values())

    def select(self, pattern):
        regex = re.compile(pattern)
        functions = set(self.exclusive) | {callee for _, callee in self.calls}
        return {f for f in functions
                if any(regex.search(f"{place}:{f}") for place in self.where.get(f, {"?|?"}))}

    def group_inclusive(self, group):
        own = sum(self.exclusive[f] for f in group)
        out = sum(cost for (caller, callee), cost in self.calls.items()
                  if caller in group and callee not in group)
        return own + out

    def group_exclusive(self, group):
        return sum(self.exclusive[f] for f in group)

    def called_only_from(self, group):
        """The group and every function called from nowhere else, transitively."""
        callers = collections.defaultdict(set)
        for caller, callee in self.calls:
            if caller != callee:
                callers[callee].add(caller)
        closed = set(group)
        grown = True
        while grown:
            grown = False
            for callee, its_callers in callers.items():
                if callee not in closed and its_callers <= closed:
                    closed.add(callee)
                    grown = True
        return closed


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("profile")
    parser.add_argument("--group", nargs=2, action="append", default=[], metavar=("LABEL", "REGEX"))
    parser.add_argument("--exclusive", nargs="+", action="append", default=[],
                        metavar="LABEL REGEX [LEFT_OUT]")
    parser.add_argument("--top", type=int, default=10)
    args = parser.parse_args()
    if any(len(e) not in (2, 3) for e in args.exclusive):
        parser.error("--exclusive takes LABEL REGEX [LEFT_OUT]")
    profile = Profile(args.profile)
    total = profile.total

    def show(label, count, name=""):
        print(f"{label}\t{count}\t{100.0 * count / total:.2f}" + (f"\t{name}" if name else ""))

    show("total", total)
    for label, pattern in args.group:
        show(label, profile.group_inclusive(profile.select(pattern)))
    for label, pattern, *left_out in args.exclusive:
        group = profile.select(pattern)
        if left_out:
            group -= profile.called_only_from(profile.select(left_out[0]))
        show(label, profile.group_exclusive(group))
    for fn, count in profile.exclusive.most_common(args.top):
        show("top", count, fn)
    return 0


if __name__ == "__main__":
    sys.exit(main())
