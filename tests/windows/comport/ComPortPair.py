#!/usr/bin/env python3
"""Two serial ports for Windows programs under Wine, wired to each other like a
null-modem cable: two pseudo-terminals whose masters this script joins, named as COM
ports of a Wine prefix (links in its dosdevices folder). Runs PROGRAM with ARGS while
the ports exist, removes them afterwards and exits with the program's status.

usage: ComPortPair.py PREFIX COM_A COM_B PROGRAM [ARGS...]
"""
import os
import pty
import select
import subprocess
import sys
import threading
import tty


def relay(fd_a, fd_b, stop_read, stop_write):
    """Copies bytes between the two masters until stop_write is read."""
    while True:
        ready, _, _ = select.select([fd_a, fd_b, stop_read], [], [])
        if stop_read in ready:
            return
        for src, dst in ((fd_a, fd_b), (fd_b, fd_a)):
            if src in ready:
                try:
                    data = os.read(src, 65536)
                except OSError:
                    data = b""
                if data:
                    os.write(dst, data)


def main():
    if len(sys.argv) < 5:
        print(__doc__, file=sys.stderr)
        return 2
    prefix, com_a, com_b = sys.argv[1], sys.argv[2].lower(), sys.argv[3].lower()
    program = sys.argv[4:]
    pairs = [pty.openpty() for _ in range(2)]
    os.makedirs(os.path.join(prefix, "dosdevices"), exist_ok=True)
    links = []
    for (master, slave), name in zip(pairs, (com_a, com_b)):
        tty.setraw(slave)
        link = os.path.join(prefix, "dosdevices", name)
        if os.path.lexists(link):
            os.unlink(link)
        os.symlink(os.ttyname(slave), link)
        links.append(link)
    stop_read, stop_write = os.pipe()
    worker = threading.Thread(target=relay, args=(pairs[0][0], pairs[1][0], stop_read, stop_write), daemon=True)
    worker.start()
    try:
        return subprocess.call(program)
    finally:
        os.write(stop_write, b"x")
        worker.join(5)
        for link in links:
            os.unlink(link)


if __name__ == "__main__":
    sys.exit(main())
