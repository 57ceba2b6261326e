#!/usr/bin/env python3
"""Counts the stops that leave a recipe's process running after zarn ends.

usage: scripts/stop_survivors.py ZARN [RUNS] [PARALLEL]

The recipe leaves a background job, "(sleep 3; echo late > late.txt) & wait",
and zarn is told to stop one second in, RUNS times (default 50) for each of
{zarn alone, its whole process group} x {SIGINT, SIGTERM, SIGHUP}, PARALLEL
runs at a time (default 12), and RUNS times by Ctrl-C typed to an interactive
bash on a pseudo-terminal in which zarn is the foreground job. A run counts as
left behind when a process still has the project as its directory once zarn
has ended. late.txt written while zarn still waited is no survivor: SIGINT,
which the job ignores, is followed by SIGKILL only after 2 seconds, as the
sleep ends.
"""
import concurrent.futures
import os
import pty
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

UNIT = ('unit demo\ngen: {\n  ^o = P"(o.txt)"\n'
        '  cmdline = ["(sleep 3; echo late > late.txt) & wait", "touch ${o}"]\n}\n')


def processes_in(directory, but=()):
    found = []
    for name in os.listdir('/proc'):
        if name.isdigit() and int(name) not in but:
            try:
                if os.readlink(f'/proc/{name}/cwd') == directory:
                    found.append(int(name))
            except OSError:
                pass
    return found


def project():
    root = os.path.realpath(tempfile.mkdtemp(prefix='zarn-stop.'))
    work, home = os.path.join(root, 'work'), os.path.join(root, 'home')
    os.makedirs(work)
    os.makedirs(home)
    with open(os.path.join(work, 'zarn.txt'), 'w') as unit:
        unit.write(UNIT)
    return root, work, {'HOME': home, 'PATH': '/usr/bin:/bin'}


def finish(root, work):
    """Whether something was left behind, which is then killed."""
    left = processes_in(work)
    for pid in left:
        try:
            os.kill(pid, signal.SIGKILL)
        except OSError:
            pass
    shutil.rmtree(root, ignore_errors=True)
    return bool(left)


def signalled(zarn, sig, group):
    root, work, env = project()
    # Files, not pipes: a job left running would hold a pipe open.
    with open(os.path.join(root, 'out'), 'w') as out, open(os.path.join(root, 'err'), 'w') as err:
        run = subprocess.Popen([zarn], cwd=work, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                               process_group=0)
    time.sleep(1.0)
    (os.killpg if group else os.kill)(run.pid, sig)
    run.wait()
    with open(os.path.join(root, 'err')) as err:
        right = run.returncode == -sig and err.read() == f'Build interrupted by {signal.Signals(sig).name}.\n'
    return finish(root, work), right


def read_until(fd, token, timeout):
    text, end = b'', time.monotonic() + timeout
    while token not in text and time.monotonic() < end:
        if select.select([fd], [], [], 0.05)[0]:
            try:
                text += os.read(fd, 4096)
            except OSError:
                break
    return text


def typed(zarn):
    root, work, env = project()
    shell, terminal = pty.fork()
    if shell == 0:
        os.chdir(work)
        os.execve('/bin/bash', ['bash', '--norc', '--noprofile', '-i'], dict(env, PS1='$ ', TERM='dumb'))
    read_until(terminal, b'$ ', 5)
    os.write(terminal, f'{zarn} > ../out 2> ../err\n'.encode())
    time.sleep(1.0)
    os.write(terminal, b'\x03')
    read_until(terminal, b'$ ', 10)
    left = bool(processes_in(work, but=(shell,)))
    os.write(terminal, b'echo "status $?"\n')
    right = b'status 130' in read_until(terminal, b'$ ', 5)
    os.write(terminal, b'exit\n')
    os.waitpid(shell, 0)
    os.close(terminal)
    finish(root, work)  # the shell has ended: only what was left behind remains
    return left, right


def main():
    zarn = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 50
    parallel = int(sys.argv[3]) if len(sys.argv) > 3 else 12
    cases = [(sig, group) for group in (False, True) for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)]
    counts = {case: [0, 0] for case in cases}
    with concurrent.futures.ThreadPoolExecutor(parallel) as pool:
        jobs = [(case, pool.submit(signalled, zarn, *case)) for case in cases for _ in range(runs)]
        for case, job in jobs:
            left, right = job.result()
            counts[case][0] += left
            counts[case][1] += right
    print(f'{zarn}, {runs} runs per case: runs that left a process behind, runs with status and message right')
    for (sig, group), (left, right) in counts.items():
        print(f'  {signal.Signals(sig).name:7} to {"the group" if group else "zarn alone":10}  left behind {left:3}'
              f'  right {right:3}')
    left = right = 0
    for _ in range(runs):
        one_left, one_right = typed(zarn)
        left += one_left
        right += one_right
    print(f'  Ctrl-C typed at a terminal     left behind {left:3}  right {right:3}')


if __name__ == '__main__':
    main()
