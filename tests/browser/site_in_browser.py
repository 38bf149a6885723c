#!/usr/bin/python3
"""The site as today's browsers see it, on loopback only.

A real headless Chromium goes through the site as its owner's friend would:
welcome page, password, main menu, a folder with non-ASCII names, a
picture's page (the picture shows), a ring tone's download (the bytes of
the file), a Graffiti message with non-ASCII text read back on the board,
the My Computer menu and one confirmation page, whose Yes is never
followed. Then every page of the site, with the password on and off, is
fetched as a browser fetches it and checked against the XHTML Basic 1.1 DTD.

Usage: site_in_browser.py <pocketlane binary>
"""
import base64
import os
import re
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request
from html import unescape
from pathlib import Path

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

BROWSER_ACCEPT = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8"
XHTML_CATALOG = "/usr/share/xml/w3c-sgml-lib/schema/dtd/catalog.xml"
PASSWORD = "sesam öffne"
GRAFFITI = "Grüße aus Köln, 東京 ☕"
FOLDER = "Bilder & Töne Ü"
PICTURE = "Logo Ärger.wbmp"
RING_TONE = "Klingelton ñ.mid"


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Server:
    """The real program, headless and offline, on a loopback port."""

    def __init__(self, binary, home):
        self.binary, self.home = binary, home
        self.settings = os.path.join(home, "settings.reg")
        # Everything the program keeps (the Graffiti board too) stays in home.
        self.env = dict(os.environ, XDG_RUNTIME_DIR=os.path.join(home, "run"),
                        XDG_CONFIG_HOME=home, XDG_DATA_HOME=home)
        os.makedirs(self.env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
        self.process = None
        self.port = None

    def admin(self, *arguments):
        subprocess.run([self.binary, "--settings", self.settings, *arguments], env=self.env,
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def start(self):
        self.port = free_port()
        self.log = open(os.path.join(self.home, "log.txt"), "a")
        self.process = subprocess.Popen(
            [self.binary, "--headless", "--offline", "--settings", self.settings,
             "--port", str(self.port)], env=self.env, stdout=self.log, stderr=self.log)
        for _ in range(200):
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return
            except OSError:
                time.sleep(0.05)
        raise SystemExit("the server did not start listening")

    def stop(self):
        self.process.terminate()
        status = self.process.wait(timeout=30)
        self.log.close()
        if status != 0:
            raise SystemExit("the server ended with status %d:\n%s" % (
                status, Path(self.home, "log.txt").read_text()[-3000:]))

    def url(self, path="/"):
        return "http://127.0.0.1:%d%s" % (self.port, path)


def fetch(url, accept=BROWSER_ACCEPT):
    request = urllib.request.Request(url, headers={"Accept": accept})
    with urllib.request.urlopen(request, timeout=20) as answer:
        return answer.headers.get("Content-Type", ""), answer.read()


def dtd_problems(page, folder):
    path = os.path.join(folder, "page.xhtml")
    Path(path).write_bytes(page)
    result = subprocess.run(["xmllint", "--nonet", "--noout", "--valid", path],
                            env=dict(os.environ, XML_CATALOG_FILES=XHTML_CATALOG),
                            capture_output=True, text=True)
    return (result.stdout + result.stderr).strip()


def crawl(server, folder, password):
    """Every page reachable from the entry, as a browser gets it: each one
    XHTML that the DTD takes. Links named Yes (the My Computer actions) are
    never followed; forms are sent with a typed value."""
    start = "/?P=" + urllib.parse.quote(password) if password else "/"
    seen, queue, pages, problems = set(), ["/", start], 0, []
    while queue and pages < 400:
        path = queue.pop(0)
        if path in seen:
            continue
        seen.add(path)
        content_type, body = fetch(server.url(path))
        if not content_type.startswith("application/xhtml+xml"):
            continue  # a download
        pages += 1
        found = dtd_problems(body, folder)
        if found:
            problems.append("%s: %s" % (path, found))
        text = body.decode("utf-8")
        for href, label in re.findall(r'<a href="([^"]*)">(.*?)</a>', text):
            if label != "Yes" and href.startswith("/"):
                queue.append(unescape(href))
        for action, fields in re.findall(r'<form action="([^"]*)" method="get">(.*?)</form>', text):
            names = re.findall(r'<input type="(?:text|password|hidden)" name="([^"]*)"'
                               r'(?: value="([^"]*)")?', fields)
            query = "&".join("%s=%s" % (urllib.parse.quote(name),
                                        urllib.parse.quote(unescape(value) or "crawl"))
                             for name, value in names)
            queue.append(unescape(action) + "?" + query)
    if pages < 12:
        problems.append("only %d pages found" % pages)
    return pages, problems


def browser(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu",
                     "--disable-background-networking", "--disable-component-update",
                     "--disable-default-apps", "--disable-sync", "--no-first-run",
                     "--host-resolver-rules=MAP * ~NOTFOUND , EXCLUDE 127.0.0.1",
                     "--user-data-dir=" + profile, "--window-size=800,900"):
        options.add_argument(argument)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


class Visit:
    def __init__(self, driver):
        self.driver = driver

    def check_page(self, title):
        kind = self.driver.execute_script("return document.contentType")
        assert kind == "application/xhtml+xml", "not a browser page: " + kind
        assert "<wml" not in self.driver.page_source, "a raw WML page"
        assert title in self.driver.title, "expected %r, got %r" % (title, self.driver.title)

    def follow(self, text, title):
        self.driver.find_element(By.LINK_TEXT, text).click()
        self.check_page(title)

    def submit(self, value, title):
        field = self.driver.find_element(By.CSS_SELECTOR, "input[type=text],input[type=password]")
        field.send_keys(value)
        self.driver.find_element(By.CSS_SELECTOR, "input[type=submit]").click()
        self.check_page(title)


def link_with(driver, text):
    """The text of the first link on the page that holds text (any case)."""
    labels = [a.text for a in driver.find_elements(By.TAG_NAME, "a")]
    found = [label for label in labels if text in label.lower()]
    assert found, "no link with %r among %r" % (text, labels)
    return found[0]


def walk_through(server, driver, share):
    visit = Visit(driver)
    driver.get(server.url())
    visit.check_page("Pocketlane")
    visit.submit(PASSWORD, "Main Menu")
    visit.follow("Shared Folders", "Folders")
    visit.follow(link_with(driver, "share"), "")
    visit.follow(link_with(driver, "bilder"), "")
    assert "töne" in driver.find_element(By.TAG_NAME, "body").text.lower()
    visit.follow(link_with(driver, "logo"), "")
    picture = driver.find_element(By.CSS_SELECTOR, "img")
    for _ in range(100):
        if driver.execute_script("return arguments[0].complete", picture):
            break
        time.sleep(0.05)
    width = driver.execute_script("return arguments[0].naturalWidth", picture)
    assert width > 0, "the picture does not show"
    driver.back()
    driver.find_element(By.LINK_TEXT, link_with(driver, "klingelton")).click()
    download = driver.find_element(By.PARTIAL_LINK_TEXT, "Download").get_attribute("href")
    fetched = driver.execute_async_script(
        "const done = arguments[1];"
        "fetch(arguments[0]).then(r => r.arrayBuffer()).then(b => {"
        "  let s = ''; new Uint8Array(b).forEach(c => s += String.fromCharCode(c));"
        "  done(btoa(s)); });", download)
    assert base64.b64decode(fetched) == (share / RING_TONE).read_bytes(), "the ring tone differs"
    visit.follow("[^] Main Menu", "Main Menu")
    visit.follow("Graffiti", "Graffiti")
    visit.follow("Add Graffiti", "Add Graffiti")
    visit.submit(GRAFFITI, "Graffiti")
    board = driver.find_element(By.TAG_NAME, "body").text
    assert board.startswith("Graffiti\n" + GRAFFITI + "\n"), "the message is not shown: " + board
    visit.follow("[^] Main Menu", "Main Menu")
    visit.follow("My Computer", "My Computer")
    visit.follow("Shutdown Pocketlane", "Shutdown Pocketlane")
    assert driver.find_element(By.LINK_TEXT, "Yes")  # there, and never followed
    assert server.process.poll() is None


def main():
    binary = sys.argv[1]
    with tempfile.TemporaryDirectory() as home:
        share = Path(home) / "share" / FOLDER
        share.mkdir(parents=True)
        (share / PICTURE).write_bytes((Path(__file__).parents[2] / "data" / "Pocketlane.wbmp")
                                      .read_bytes())
        (share / RING_TONE).write_bytes(bytes(range(256)) * 8)
        server = Server(binary, home)
        server.admin("--set", "EnablePassword=Y", "--set", "Password=" + PASSWORD,
                     "--set", "EnableSharedFolders=Y", "--set", "EnableGraffiti=Y",
                     "--set", "EnableMyComputer=Y")
        server.admin("--share", str(share.parent))
        server.start()
        try:
            driver = browser(os.path.join(home, "profile"))
            try:
                walk_through(server, driver, share)
            finally:
                driver.quit()
            pages, problems = crawl(server, home, PASSWORD)
        finally:
            server.stop()
        server.admin("--set", "EnablePassword=N")
        server.start()
        try:
            more, more_problems = crawl(server, home, None)
        finally:
            server.stop()
        problems += more_problems
        print("walked through the site; %d + %d pages valid XHTML" % (pages, more))
        if problems:
            print("\n".join(problems[:20]))
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
