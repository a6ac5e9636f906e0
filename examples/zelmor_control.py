#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Drives a running Zelmor panel through its control socket.

From a shell, each argument is one request and each reply is printed:

    examples/zelmor_control.py ':online 1' 'FR145.5MZ AP-30DM' '?'

From Python, a frequency response with the panel kept in step:

    from zelmor_control import Panel
    with Panel() as panel:
        saved = panel.ask("?")
        for mhz in range(100, 201, 10):
            panel.ask(f"FR{mhz}MZ")
            ...  # read the receiver or the power meter here
        panel.ask(saved)
"""
import os
import socket
import sys


def socket_path(instance=""):
    """Where the copy started with `instance` (none: "") listens."""
    chosen = os.environ.get("ZELMOR_CONTROL", "")
    if chosen and chosen != "off":
        return chosen
    key = "Zelmor" + (" - " + instance if instance else "")
    name = "".join(
        chr(b) if 0x20 <= b < 0x7F and chr(b) not in "/%" else "%%%02X" % b
        for b in key.encode())
    return os.path.join(os.environ["XDG_RUNTIME_DIR"], "zelmor", name + ".sock")


class Panel:
    def __init__(self, path=None):
        self._socket = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self._socket.connect(path or socket_path())
        self._file = self._socket.makefile("rwb")

    def ask(self, line):
        """Sends one request; returns what follows "OK", raises on "ERR"."""
        self._file.write(line.encode() + b"\n")
        self._file.flush()
        reply = self._file.readline().decode().rstrip("\r\n")
        if reply != "OK" and not reply.startswith("OK "):
            raise RuntimeError(f"{line!r}: {reply or 'no reply'}")
        return reply[3:]

    def close(self):
        self._file.close()
        self._socket.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


if __name__ == "__main__":
    failed = False
    with Panel() as panel:
        for request in sys.argv[1:]:
            try:
                rest = panel.ask(request)
                print("OK " + rest if rest else "OK")
            except RuntimeError as error:
                print(error, file=sys.stderr)
                failed = True
    sys.exit(1 if failed else 0)
