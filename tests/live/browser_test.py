#!/usr/bin/python3
"""The live results page in a real browser: headless Chromium, driven by Selenium, watches the
real program record laps (through its standard-input driver) and a harness that publishes a
corrected row. Run by CTest with the program and the harness as arguments.

Screenshots of the page at a phone's and at a full-HD size go to $VZ_SHOTS (when set) or to the
test's temporary folder, whose path is printed."""

import os
import socket
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

PROGRAM, HARNESS = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
WAIT = 30  # seconds: generous, for a sanitizer build on a busy machine
failures = []


def check(ok, what):
    print(("ok    " if ok else "FAIL  ") + what, flush=True)
    if not ok:
        failures.append(what)


def wait_for(condition, timeout=WAIT):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        try:
            if condition():
                return True
        except Exception:  # the page may be between two renderings
            pass
        time.sleep(0.05)
    return False


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Program:
    """The real program under its standard-input driver, in a folder of its own."""

    def __init__(self, folder, port, *args):
        env = dict(os.environ, VIDAZOROV_DRIVER="stdin", QT_QPA_PLATFORM="offscreen",
                   XDG_CONFIG_HOME=os.path.join(folder, "config"),
                   XDG_STATE_HOME=os.path.join(folder, "state"))
        self.p = subprocess.Popen([PROGRAM, "--live", str(port), *args], cwd=folder, env=env,
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        assert self.read_until("ready").startswith("ready")

    def read_until(self, prefix):
        while True:
            line = self.p.stdout.readline()
            if not line:
                raise RuntimeError("the program ended before saying " + prefix)
            if line.startswith("ask "):
                # Every question the program asks here (exit, clearing the list before START)
                # is answered Yes, as the operator would.
                self.p.stdin.write("yes\n")
                self.p.stdin.flush()
                continue
            if line.startswith(prefix) or line.startswith("error"):
                return line.rstrip("\n")

    def command(self, line, answer):
        self.p.stdin.write(line + "\n")
        self.p.stdin.flush()
        return self.read_until(answer)

    def quit(self):
        self.command("quit", "ok quit")
        self.p.stdin.close()
        self.p.wait(WAIT)


def browser(folder):
    options = Options()
    options.binary_location = "/usr/bin/chromium"
    for a in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
              "--disable-background-networking", "--disable-component-update", "--disable-sync",
              "--disable-dev-shm-usage", "--user-data-dir=" + os.path.join(folder, "chromium")):
        options.add_argument(a)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def table(driver):
    """The list as the page shows it: the cells of each result row, without a row's mark."""
    rows = driver.find_elements(By.CSS_SELECTOR, "#rows tr:not(.note)")
    return [[td.text.split("\n")[-1] for td in r.find_elements(By.TAG_NAME, "td")] for r in rows]


def text(driver, element_id):
    return driver.find_element(By.ID, element_id).text


def shot(driver, shots, name, width, height):
    driver.set_window_size(width, height)
    time.sleep(0.3)
    path = os.path.join(shots, name)
    driver.save_screenshot(path)
    print("shot  " + path, flush=True)


def main():
    folder = tempfile.mkdtemp(prefix="vz-live-browser-")
    shots = os.environ.get("VZ_SHOTS") or folder
    os.makedirs(shots, exist_ok=True)
    port = free_port()
    program = Program(folder, port)
    answer = program.command("live", "live")
    url = "http://127.0.0.1:%d/" % port
    check(url in answer.split(), "the program says where the page is: " + answer)

    driver = browser(folder)
    try:
        driver.set_window_size(412, 915)  # a phone held upright
        driver.get(url)
        check(wait_for(lambda: text(driver, "link") == "Live"), "the page connects")
        check(wait_for(lambda: text(driver, "state") == "READY"), "a program just started is ready")
        check(table(driver) == [], "no rows before the first lap")

        program.command("start", "ok start")
        check(wait_for(lambda: text(driver, "state") == "RUNNING"), "START shows as running")
        first = program.command("lap 117", "row 1").split("\t")[1:]
        started = time.monotonic()
        check(wait_for(lambda: table(driver) == [first]), "the first lap appears: %s" % first)
        print("      the row appeared %.0f ms after the program showed it"
              % ((time.monotonic() - started) * 1000), flush=True)
        # A start number is text, never markup (the box takes five characters).
        second = program.command("lap <b>7", "row 2").split("\t")[1:]
        check(wait_for(lambda: table(driver) == [first, second]), "the second lap appears: %s" % second)
        check(driver.find_elements(By.CSS_SELECTOR, "#rows b") == [], "'<b>7' makes no element")
        check(table(driver)[1][1] == "<b>7", "'<b>7' shows as typed")
        newest = driver.find_elements(By.CSS_SELECTOR, "#rows tr.newest")
        check(len(newest) == 1 and newest[0].find_elements(By.TAG_NAME, "td")[1].text == "<b>7",
              "the newest finisher is highlighted")
        third = program.command("lap 33", "row 3").split("\t")[1:]
        check(wait_for(lambda: len(table(driver)) == 3), "the third lap appears")
        before = text(driver, "clock")
        check(wait_for(lambda: text(driver, "clock") != before, 5), "the race clock runs")
        edited = program.command("edit 42", "row 3").split("\t")[1:]
        check(wait_for(lambda: table(driver)[2] == edited), "a corrected start number appears: %s" % edited)
        check(text(driver, "updated").startswith("Last update "), "the time of the last update shows")
        # A correction in the program: two start numbers swapped, both rows marked with the note.
        program.command("swap 1 2", "ok swap")
        check(wait_for(lambda: len(driver.find_elements(By.CSS_SELECTOR, "#rows tr.corrected")) == 2),
              "the rows the program corrected are marked")
        check(wait_for(lambda: [r[1] for r in table(driver)[:2]] == ["<b>7", "117"]),
              "and show the swapped numbers")
        notes = [n.text for n in driver.find_elements(By.CSS_SELECTOR, "#rows tr.note")]
        check(notes and all("swapped" in n for n in notes), "their notes say what changed: %s" % notes)
        shot(driver, shots, "live-phone-running.png", 412, 915)

        program.command("stop", "ok stop")
        check(wait_for(lambda: text(driver, "state") == "STOPPED"), "STOP shows as stopped")
        stopped = text(driver, "clock")
        time.sleep(0.3)
        check(text(driver, "clock") == stopped, "the clock stands after STOP: " + stopped)
        rows = table(driver)

        # The program ends and starts again with the list it saved: the page reconnects and
        # gets the whole list.
        program.quit()
        check(wait_for(lambda: text(driver, "link") == "Reconnecting…"), "the page notices the program is gone")
        check(table(driver) == rows, "the list stays while the program is gone")
        program = Program(folder, port, "vidazorov.txt")
        check(wait_for(lambda: text(driver, "link") == "Live"), "the page reconnects")
        check(wait_for(lambda: table(driver) == rows), "and shows the whole list again")
        # RESET follows a STOP.
        program.command("start", "ok start")
        program.command("stop", "ok stop")
        check(wait_for(lambda: text(driver, "state") == "STOPPED"), "the reopened list's run stopped")
        program.command("reset", "ok reset")
        check(wait_for(lambda: table(driver) == []), "RESET empties the list")
        check(wait_for(lambda: text(driver, "state") == "READY"), "RESET shows as ready")
        program.quit()

        # A corrected row with a note that holds markup, from the harness.
        harness = subprocess.Popen([HARNESS, "0"], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        hport = int(harness.stdout.readline().split()[1])
        try:
            driver.get("http://127.0.0.1:%d/" % hport)
            check(wait_for(lambda: len(table(driver)) == 3), "the harness's rows appear")
            corrected = driver.find_elements(By.CSS_SELECTOR, "#rows tr.corrected")
            check(len(corrected) == 1, "one row is marked corrected")
            check(corrected and corrected[0].find_element(By.CSS_SELECTOR, ".mark").text.lower() == "corrected",
                  "its mark says so")
            note = driver.find_elements(By.CSS_SELECTOR, "#rows tr.note td")
            check(len(note) == 1 and note[0].text == 'Nr. corrected from "<b>12</b>" to 21 at 10:32:05',
                  "its note shows as text")
            check(driver.find_elements(By.CSS_SELECTOR, "#rows img, #rows b") == [], "no markup from the rows")
            check(driver.title == "Live results", "no script from the rows ran")
            check("<img src=x" in table(driver)[1][1], "the start number shows as sent")
            shot(driver, shots, "live-phone-corrected.png", 412, 915)
            body = lambda: driver.find_element(By.TAG_NAME, "body").get_attribute("class") or ""
            body_element = driver.find_element(By.TAG_NAME, "body")
            body_element.send_keys("f")
            check(wait_for(lambda: "big" in body()), "F switches to the full-screen view")
            body_element.send_keys("f")
            check(wait_for(lambda: "big" not in body()), "and F again back")
            driver.get("http://127.0.0.1:%d/?screen" % hport)
            check(wait_for(lambda: "big" in body()), "/?screen opens in the full-screen view")
            check(wait_for(lambda: len(table(driver)) == 3), "with the rows")
            shot(driver, shots, "live-fullhd-big.png", 1920, 1080)
            driver.get("http://127.0.0.1:%d/" % hport)
            check(wait_for(lambda: len(table(driver)) == 3), "the normal view at full HD")
            shot(driver, shots, "live-fullhd.png", 1920, 1080)
        finally:
            harness.stdin.close()
            harness.wait(WAIT)
    finally:
        driver.quit()
        if program.p.poll() is None:
            program.p.kill()
    print("%d check(s) failed" % len(failures) if failures else "all checks passed", flush=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
