#!/usr/bin/env python3
"""Checks that includes follow the engine's layering: the faces reach the engine only through its
host API, the registry knows no host, and the stages' files include one another without a cycle.

check_layers.py SOURCE_DIR   reports every include that breaks a rule; status 1 when there is one.
check_layers.py --self-test  breaks each rule in a scratch tree and checks that it is reported.
"""
import os
import re
import sys
import tempfile

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)

# (folder whose files are checked, include prefixes they must not use, why)
FORBIDDEN = [
    ("cli", ("dsp/", "params/"), "the command-line processor uses the host API"),
    ("lv2", ("dsp/", "params/"), "the LV2 plug-in uses the host API"),
    ("analysis", ("dsp/", "params/"), "the portable analysis code uses the host API"),
    ("console", ("dsp/", "params/"), "the console reaches the engine through the host API"),
    ("ui", ("dsp/", "params/engine.h"), "the windows go through the module's interface and the host API"),
    ("params", ("host/",), "the registry and preset code know no module or host"),
]



def source_files(root, folder):
    base = os.path.join(root, folder)
    for directory, _, names in os.walk(base):
        for name in sorted(names):
            if name.endswith((".h", ".cpp")):
                path = os.path.join(directory, name)
                yield os.path.relpath(path, root).replace(os.sep, "/"), path


def includes(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return INCLUDE.findall(f.read())


def forbidden_includes(root):
    problems = []
    for folder, prefixes, why in FORBIDDEN:
        for name, path in source_files(root, folder):
            for target in includes(path):
                if target.startswith(prefixes):
                    problems.append(f"{name} includes {target}: {why}")
    return problems


def pair_of(name):
    """A stage's header and source are one node: dsp/frame.h and dsp/frame.cpp are dsp/frame."""
    return name.rsplit(".", 1)[0]


def dsp_cycles(root):
    # A stage calls its four-lane kernels, compiled apart with their own flags (*_avx2), which take
    # the stage's records: that pair is one stage split by compile options, so calls into kernel
    # files are not counted.
    graph = {}
    for name, path in source_files(root, "dsp"):
        node = pair_of(name)
        graph.setdefault(node, set())
        for target in includes(path):
            if target.startswith("dsp/") and pair_of(target) != node and not pair_of(target).endswith("_avx2"):
                graph[node].add(pair_of(target))
    cycles, state = [], {}

    def visit(node, stack):
        state[node] = "open"
        stack.append(node)
        for nxt in sorted(graph.get(node, ())):
            if state.get(nxt) == "open":
                cycles.append(" -> ".join(stack[stack.index(nxt):] + [nxt]))
            elif nxt not in state:
                visit(nxt, stack)
        stack.pop()
        state[node] = "done"

    for node in sorted(graph):
        if node not in state:
            visit(node, [])
    return [f"include cycle in dsp/: {cycle}" for cycle in cycles]


def check(root):
    return forbidden_includes(root) + dsp_cycles(root)


def self_test():
    broken = {
        "cli/a.cpp": '#include "dsp/frame.h"\n',
        "lv2/b.cpp": '#include "params/registry.h"\n',
        "analysis/c.cpp": '#include "dsp/processor_state.h"\n',
        "console/m.cpp": '#include "params/slider_math.h"\n#include "dsp/chain.h"\n#include "host/engine_api.h"\n',
        "ui/d.cpp": '#include "dsp/shared_value.h"\n',
        "ui/d2.cpp": '#include "params/engine.h"\n#include "params/registry.h"\n',
        "params/e.cpp": '#include "host/winamp_dsp.h"\n',
        "dsp/f.h": '#include "dsp/g.h"\n',
        "dsp/g.cpp": '#include "dsp/f.h"\n',
        "dsp/h.cpp": '#include "dsp/f.h"\n',
        "dsp/k.cpp": '#include "dsp/k_avx2.h"\n',
        "dsp/k_avx2.h": '#include "dsp/k.h"\n',
    }
    with tempfile.TemporaryDirectory() as root:
        for name, text in broken.items():
            os.makedirs(os.path.join(root, os.path.dirname(name)), exist_ok=True)
            with open(os.path.join(root, name), "w") as f:
                f.write(text)
        problems = check(root)
    expected = ["cli/a.cpp", "lv2/b.cpp", "analysis/c.cpp", "console/m.cpp includes params/", "console/m.cpp includes dsp/", "ui/d.cpp", "ui/d2.cpp includes params/engine.h",
                "params/e.cpp", "dsp/f -> dsp/g -> dsp/f"]
    missing = [e for e in expected if not any(e in p for p in problems)]
    extra = len(problems) - len(expected)
    for e in missing:
        print(f"self-test: a broken rule went unreported: {e}")
    if extra != 0:
        print(f"self-test: {extra:+d} reports beyond the broken rules: {problems}")
    return 1 if missing or extra else 0


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    if len(sys.argv) != 2:
        print(__doc__.strip())
        return 2
    problems = check(sys.argv[1])
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
