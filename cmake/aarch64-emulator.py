#!/usr/bin/python3
"""Runs an AArch64 program under qemu's user emulation: aarch64-emulator.py PROGRAM [ARGS...]

qemu 7.2 passes waitid(P_PIDFD, ...) through to the kernel but refuses clone(CLONE_PIDFD). Qt
takes the first as proof that it may start children with a pidfd, then takes the refused clone
for a started child with pid -1: its exit status is invented and ending it kills every process
of the machine (kill(-1, SIGKILL)). Refusing that waitid here makes Qt start children the way it
does on kernels without pidfds. The filter holds for everything started from the program too.
"""
import errno
import os
import sys

import seccomp

P_PIDFD = 3
QEMU = "/usr/bin/qemu-aarch64-static"

rules = seccomp.SyscallFilter(seccomp.ALLOW)
rules.add_rule(seccomp.ERRNO(errno.EINVAL), "waitid", seccomp.Arg(0, seccomp.EQ, P_PIDFD))
rules.load()
os.execv(QEMU, [QEMU] + sys.argv[1:])
