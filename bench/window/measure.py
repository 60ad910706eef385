#!/usr/bin/env python3
"""measure.py OUT COMMAND...: runs COMMAND, then writes its wall time in seconds and
its peak resident memory in KiB to OUT, and exits with its status."""
import resource
import subprocess
import sys
import time

out, command = sys.argv[1], sys.argv[2:]
start = time.monotonic()
status = subprocess.call(command)
elapsed = time.monotonic() - start
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
with open(out, "w") as f:
    f.write(f"{elapsed:.3f} {peak}\n")
sys.exit(status)
