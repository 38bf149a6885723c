#!/usr/bin/python3
"""Takes pictures of the site as today's browsers show it, in a phone-sized
and a desktop-sized headless Chromium window, into docs/screenshots (or the
folder given), as the README shows them. The program runs on a loopback
port with a shared folder and a Graffiti message of its own.

Usage: scripts/site-screenshots.py [<pocketlane binary>] [<folder>]
(the binary defaults to build/src/pocketlane)."""
import html
import re
import subprocess
import sys
import tempfile
import urllib.parse
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "browser"))
from site_in_browser import Server, fetch  # noqa: E402

PHONE = "360,720"
DESKTOP = "1280,800"


def links(page):
    return [(html.unescape(href), label)
            for href, label in re.findall(r'<a href="([^"]*)">(.*?)</a>', page)]


def page(server, path):
    return fetch(server.url(path))[1].decode("utf-8")


def follow(server, path, text):
    """The address of the first link on the page at path that holds text."""
    return next(href for href, label in links(page(server, path)) if text in label)


def shoot(server, path, size, out):
    subprocess.run(["/usr/bin/chromium", "--headless", "--no-sandbox", "--disable-gpu",
                    "--hide-scrollbars", "--disable-background-networking",
                    "--host-resolver-rules=MAP * ~NOTFOUND , EXCLUDE 127.0.0.1",
                    "--window-size=" + size, "--screenshot=" + str(out), server.url(path)],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def main():
    binary = sys.argv[1] if len(sys.argv) > 1 else str(ROOT / "build" / "src" / "pocketlane")
    out = Path(sys.argv[2] if len(sys.argv) > 2 else ROOT / "docs" / "screenshots")
    with tempfile.TemporaryDirectory(prefix="pocketlane-") as home:
        share = Path(home) / "Pictures" / "Holiday 2004"
        share.mkdir(parents=True)
        (share / "Beach.wbmp").write_bytes((ROOT / "data" / "Pocketlane.wbmp").read_bytes())
        (share / "Ring tone.mid").write_bytes(b"MThd")
        (share.parent / "Family").mkdir()
        server = Server(binary, home)
        server.admin("--set", "EnablePassword=N", "--set", "EnableSharedFolders=Y",
                     "--set", "EnableGraffiti=Y", "--set", "EnableMyComputer=Y")
        server.admin("--share", str(share.parent))
        server.start()
        try:
            welcome = page(server, "/")
            menu = "/" if "<title>Main Menu" in welcome else links(welcome)[0][0]
            adding = follow(server, follow(server, menu, "Graffiti"), "Add Graffiti")
            form = page(server, adding)
            fields = dict(re.findall(r'name="([^"]*)" value="([^"]*)"', form))
            fields["G"] = "Hello from the beach!"
            board = "/?" + urllib.parse.urlencode(fields)
            root = follow(server, menu, "Shared Folders")
            folder = follow(server, follow(server, root, "Pictures"), "Holiday")
            picture = follow(server, folder, "Beach")
            shoot(server, "/", PHONE, out / "site-phone-welcome.png")
            shoot(server, picture, PHONE, out / "site-phone-picture.png")
            shoot(server, folder, DESKTOP, out / "site-desktop-folder.png")
            shoot(server, board, DESKTOP, out / "site-desktop-graffiti.png")
        finally:
            server.stop()


if __name__ == "__main__":
    main()
