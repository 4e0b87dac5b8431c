#!/usr/bin/env python3
"""Runs tools/mutation-test on tests/mutation/mutants.txt with Render.TableView alone and checks that it
runs to the end: the first fault killed by that test, the second reported as survived, both counted.

usage: tests/mutation/check.py WORK_DIR
"""
import os, re, subprocess, sys

here = os.path.dirname(os.path.abspath(__file__))
tool = os.path.join(here, "..", "..", "tools", "mutation-test")
r = subprocess.run([sys.executable, tool, "--tests", r"^Render\.TableView$", os.path.join(here, "mutants.txt"),
                    sys.argv[1]], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
print(r.stdout)
want = [r"^  1 scenarios  console/render\.cpp: .*Render\.TableView", r"^  2 survived   engine/human_play\.cpp: ",
        r"^2 mutants, 2 built: killed 1 \(1 by scenario and simulation tests, 0 only by the signature\), "
        r"survived 1$"]
missing = [w for w in want if not re.search(w, r.stdout, re.M)]
if r.returncode != 0 or missing:
    sys.exit(f"mutation-test exited {r.returncode}; missing lines: {missing}")
print("mutation-test reports the killed fault and the survivor")
