"""The review page in a real browser, and the server's refusals.

Runs `vexlor dupes` over a small sample, serves its groups with `vexlor
review`, drives Debian's chromium headless over the DevTools protocol
(through --remote-debugging-pipe, so nothing but the browser is needed),
reviews three groups by keyboard (accept, split, merge), reloads and finds
the decisions kept, ends the review with Done and applies the decisions;
the result must equal the expected file. Then the same for the matches of
`vexlor match` with estimated scoring: accept one, reject one, apply, and
see each pair's evidence per column. Screenshots of the page are left in
BUILD/review/ for a person to look at.

usage: review_page_test.py VEXLOR_BINARY SOURCE_DIR BUILD_DIR
Exit status 77 (skipped) when chromium is missing, after the server's
refusals have been checked.
"""

import base64
import http.client
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.parse

SKIPPED = 77


class Browser:
    """Headless chromium spoken to over its DevTools pipe (fds 3 and 4)."""

    def __init__(self, executable, profile, lang):
        to_browser_r, self._to_browser = os.pipe()
        self._from_browser, from_browser_w = os.pipe()
        args = [executable, "--headless=new", "--remote-debugging-pipe",
                "--no-first-run", "--no-default-browser-check",
                "--disable-gpu", "--disable-extensions",
                "--disable-background-networking", "--disable-sync",
                "--disable-component-update", "--disable-features=Translate",
                "--window-size=1280,1000", "--lang=" + lang,
                "--user-data-dir=" + profile, "about:blank"]
        if os.geteuid() == 0:
            args.insert(1, "--no-sandbox")
        # The browser reads fd 3 and writes fd 4; the shell puts the pipe
        # ends there.
        wired = ["sh", "-c", 'exec "$0" "$@" 3<&%d 4>&%d' %
                 (to_browser_r, from_browser_w)] + args
        self.process = subprocess.Popen(
            wired, pass_fds=(to_browser_r, from_browser_w),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self._buffer = b""
        self._next_id = 0
        self.events = []
        self.session = None

    def close(self):
        try:
            self.call("Browser.close", session=False)
        except Exception:  # the browser may be gone already
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
        os.close(self._to_browser)
        os.close(self._from_browser)

    def _read_message(self):
        while b"\0" not in self._buffer:
            chunk = os.read(self._from_browser, 1 << 16)
            if not chunk:
                raise RuntimeError("the browser closed its pipe")
            self._buffer += chunk
        message, self._buffer = self._buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, params=None, session=True):
        self._next_id += 1
        message = {"id": self._next_id, "method": method,
                   "params": params or {}}
        if session and self.session:
            message["sessionId"] = self.session
        os.write(self._to_browser, json.dumps(message).encode() + b"\0")
        while True:
            reply = self._read_message()
            if reply.get("id") == self._next_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply.get("result", {})
            self.events.append(reply)

    def open_page(self):
        target = self.call("Target.createTarget", {"url": "about:blank"},
                           session=False)["targetId"]
        self.session = self.call("Target.attachToTarget",
                                 {"targetId": target, "flatten": True},
                                 session=False)["sessionId"]
        self.call("Page.enable")
        self.call("Runtime.enable")

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", {
            "expression": expression, "returnByValue": True,
            "awaitPromise": True})
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def wait_for(self, expression, what, timeout=20):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.evaluate(expression):
                return
            time.sleep(0.05)
        raise AssertionError("timed out waiting for " + what)

    def press(self, key):
        """One key press as a person makes it: keyDown (with its text) and
        keyUp."""
        special = {"ArrowDown": 40, "ArrowUp": 38, "Enter": 13}
        down = {"type": "keyDown", "key": key}
        if key in special:
            down["windowsVirtualKeyCode"] = special[key]
            down["code"] = key
            if key == "Enter":
                down["text"] = "\r"
        else:
            down["text"] = key
            down["windowsVirtualKeyCode"] = ord(key.upper())
            down["code"] = ("Digit" if key.isdigit() else "Key") + key.upper()
        self.call("Input.dispatchKeyEvent", down)
        self.call("Input.dispatchKeyEvent",
                  {"type": "keyUp", "key": key,
                   "windowsVirtualKeyCode": down["windowsVirtualKeyCode"],
                   "code": down["code"]})

    def screenshot(self, path):
        data = self.call("Page.captureScreenshot", {"format": "png"})["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))


def status_of(address, path, host=None):
    """The HTTP status of GET `path` on the server at `address`."""
    parts = urllib.parse.urlsplit(address)
    connection = http.client.HTTPConnection(parts.hostname, parts.port,
                                            timeout=10)
    headers = {"Host": host} if host else {}
    connection.request("GET", path, headers=headers)
    status = connection.getresponse().status
    connection.close()
    return status


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def same_as_expected(got_path, source, name, shots):
    """Compares a written file with tests/review/NAME; a differing one is
    left in the screenshots' folder."""
    with open(got_path, encoding="utf-8", newline="") as f:
        got = f.read()
    with open(os.path.join(source, "tests/review", name), encoding="utf-8",
              newline="") as f:
        expected = f.read()
    if got != expected:
        shutil.copy(got_path, os.path.join(shots, name))
        raise AssertionError(f"apply wrote other cells than tests/review/"
                             f"{name}; see {os.path.join(shots, name)}")


def start_review(binary, args):
    server = subprocess.Popen([binary, "review"] + args,
                              stdout=subprocess.PIPE, text=True)
    address = server.stdout.readline().strip()
    check(address.startswith("http://127.0.0.1:"), address)
    return server, address


READY = "document.body && document.body.dataset.ready === '1'"
SAVED = ("document.getElementById('saved').dataset.state === 'saved'"
         " && !saver.busy")
PROGRESS = "document.getElementById('progress').textContent"


def review_matches(binary, source, work, shots, browser):
    """Matches scored with estimated weights: accept the first, reject the
    second, see the evidence, apply."""
    people = os.path.join(work, "people.csv")
    incoming = os.path.join(work, "incoming.csv")
    shutil.copy(os.path.join(source, "tests/review/incoming.csv"), incoming)
    matched = os.path.join(work, "matched.csv")
    pairs = os.path.join(work, "match-pairs.csv")
    explain = os.path.join(work, "explain.csv")
    subprocess.run([binary, "match", people, incoming, "--id-column", "id",
                    "--scores", "--scoring", "estimated", "--pairs", pairs,
                    "--explain", explain, "-o", matched], check=True)
    server, address = start_review(
        binary, [matched, incoming, "--pairs", pairs, "--explain", explain,
                 "--id-column", "id"])
    try:
        browser.call("Page.navigate", {"url": address})
        browser.wait_for(READY, "the match page")
        total = browser.evaluate("state.groups.length")
        for key in ["a", "r"]:
            browser.press(key)
        browser.wait_for(SAVED, "the match decisions to be saved")
        check(browser.evaluate(PROGRESS) == f"2 of {total} matches reviewed",
              browser.evaluate(PROGRESS))
        evidence = browser.evaluate(
            "[...document.querySelectorAll('table.evidence')][0]"
            ".querySelector('tbody tr').textContent")
        check("equal" in evidence and "+" in evidence, evidence)
        browser.evaluate("window.scrollTo(0, 0)")
        time.sleep(0.3)
        browser.screenshot(os.path.join(shots, "review-matches.png"))
        browser.evaluate("document.getElementById('done').click()")
        check(server.wait(timeout=15) == 0, "match review did not end")
        server = None
    finally:
        if server:
            server.terminate()
            server.wait(timeout=10)
    reviewed = os.path.join(work, "matched-reviewed.csv")
    subprocess.run([binary, "apply", matched, matched + ".review.json",
                    "-o", reviewed], check=True)
    same_as_expected(reviewed, source, "matched-reviewed.csv", shots)


def main():
    binary, source, build = sys.argv[1:4]
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    shots = os.path.join(build, "review")
    os.makedirs(shots, exist_ok=True)
    work = tempfile.mkdtemp(prefix="vexlor-review-")
    server = None
    browser = None
    try:
        people = os.path.join(work, "people.csv")
        shutil.copy(os.path.join(source, "tests/review/people.csv"), people)
        groups = os.path.join(work, "groups.csv")
        pairs = os.path.join(work, "pairs.csv")
        subprocess.run([binary, "dupes", people, "--id-column", "id",
                        "--labels", "number", "--pairs", pairs, "-o", groups],
                       check=True)
        server = subprocess.Popen(
            [binary, "review", groups, "--pairs", pairs, "--id-column", "id"],
            stdout=subprocess.PIPE, text=True)
        address = server.stdout.readline().strip()
        check(address.startswith("http://127.0.0.1:"), address)
        token = urllib.parse.parse_qs(urllib.parse.urlsplit(address).query)[
            "token"][0]

        # The refusals: no token, a wrong one, another host name, other paths.
        port = urllib.parse.urlsplit(address).port
        for path, host, expected in [
                ("/", None, 403), ("/data", None, 403),
                ("/data?token=" + "0" * len(token), None, 403),
                ("/?token=" + token, "localhost.evil:%d" % port, 403),
                ("/etc/passwd?token=" + token, None, 404),
                ("/../people.csv?token=" + token, None, 404),
                ("/data?token=" + token, None, 200)]:
            got = status_of(address, path, host)
            check(got == expected, f"{path} (Host {host}): {got}, "
                                   f"expected {expected}")

        # The page itself needs the browser; the refusals above do not.
        if not chromium:
            print("SKIPPED: chromium is not installed "
                  "(tools/install-deps.sh installs it)")
            return SKIPPED
        browser = Browser(chromium, os.path.join(work, "profile"), "en-US")
        browser.open_page()
        browser.call("Page.navigate", {"url": address})
        ready = "document.body && document.body.dataset.ready === '1'"
        browser.wait_for(ready, "the page")
        progress = "document.getElementById('progress').textContent"
        total = browser.evaluate("state.groups.length")
        check(total >= 3, f"{total} groups")
        check(browser.evaluate(progress) == f"0 of {total} groups reviewed",
              browser.evaluate(progress))
        # Accept group 1; split the chosen record off group 2; merge group 3
        # into group 1.
        for key in ["a", "s", "j", "m", "1", "Enter"]:
            browser.press(key)
        saved = ("document.getElementById('saved').dataset.state === 'saved'"
                 " && !saver.busy")
        browser.wait_for(saved, "the decisions to be saved")
        check(browser.evaluate(progress) == f"3 of {total} groups reviewed",
              browser.evaluate(progress))
        browser.evaluate("window.scrollTo(0, 0)")
        time.sleep(0.3)
        browser.screenshot(os.path.join(shots, "review-page.png"))

        browser.call("Page.reload")
        time.sleep(0.2)
        browser.wait_for(ready, "the page after reloading")
        check(browser.evaluate(progress) == f"3 of {total} groups reviewed",
              "after reloading: " + browser.evaluate(progress))
        statuses = browser.evaluate(
            "[...document.querySelectorAll('.group .status')]"
            ".slice(0, 3).map((e) => e.textContent)")
        check(statuses == ["reviewed, joined by group 3",
                           "reviewed, 1 split off",
                           "merged into group 1"], statuses)

        # The same page in German.
        browser.call("Emulation.setLocaleOverride", {"locale": "de-DE"})
        browser.call("Network.setUserAgentOverride", {
            "userAgent": browser.evaluate("navigator.userAgent"),
            "acceptLanguage": "de-DE"})
        browser.call("Page.reload")
        time.sleep(0.2)
        browser.wait_for(ready, "the German page")
        check(browser.evaluate(progress) == f"3 von {total} Gruppen geprüft",
              browser.evaluate(progress))
        browser.screenshot(os.path.join(shots, "review-page-de.png"))

        browser.evaluate("document.getElementById('done').click()")
        check(server.wait(timeout=15) == 0, "review did not end with Done")
        server = None

        reviewed = os.path.join(work, "reviewed.csv")
        subprocess.run([binary, "apply", groups, groups + ".review.json",
                        "-o", reviewed], check=True)
        same_as_expected(reviewed, source, "reviewed.csv", shots)

        browser.call("Emulation.setLocaleOverride", {"locale": "en-US"})
        browser.call("Network.setUserAgentOverride", {
            "userAgent": browser.evaluate("navigator.userAgent"),
            "acceptLanguage": "en-US"})
        review_matches(binary, source, work, shots, browser)
        print("review page test passed; screenshots in " + shots)
        return 0
    finally:
        if browser:
            browser.close()
        if server:
            server.terminate()
            server.wait(timeout=10)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
