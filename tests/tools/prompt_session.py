"""Drives brindle-sql's prompt through a pseudo-terminal: waits for each prompt, types the next line (a line
of Ctrl+D alone is typed without Enter), and prints everything the terminal showed, then the exit code on
a line of its own.

usage: prompt_session.py BRINDLE_SQL FOLDER LINE...
"""
import os
import pty
import re
import signal
import sys
import termios
import time

PROMPT = re.compile(rb"brindle> |   \.\.\.> ")


def main():
    program, folder, lines = sys.argv[1], sys.argv[2], sys.argv[3:]
    pid, fd = pty.fork()
    if pid == 0:
        os.execv(program, [program, folder])
    # A program that stops answering fails the test instead of holding it forever.
    signal.alarm(120)
    shown, seen = b"", 0

    def read():
        nonlocal shown
        try:
            data = os.read(fd, 65536)
        except OSError:  # the program ended and closed the terminal
            data = b""
        shown += data
        return data

    for line in lines:
        while not (match := PROMPT.search(shown, seen)):
            if not read():
                raise SystemExit("the program ended before a prompt; it showed:\n" + shown.decode())
        seen = match.end()
        # Typed only once the editor reads the terminal key by key: typed before, the terminal would
        # take a Ctrl+D or echo a line itself.
        while termios.tcgetattr(fd)[3] & termios.ICANON:
            time.sleep(0.01)
        os.write(fd, line.encode() + (b"" if line == "\x04" else b"\r"))
    while read():
        pass
    _, status = os.waitpid(pid, 0)
    sys.stdout.write(shown.decode().replace("\r\n", "\n"))
    print("\nexit %d" % os.waitstatus_to_exitcode(status))


main()
