"""How quickly the review page opens and scrolls for a large search.

usage: review_open.py VEXLOR GROUPS.csv PAIRS.csv [review options...]

Serves GROUPS.csv (a result of `vexlor dupes`) with its pairs file through
`vexlor review`, opens the page in headless chromium several times and
reports: the time from navigation to the first groups drawn (the page's
own mark, and as the test driver sees it), the size of the list of groups
and of all the data fetched before that first paint (the records of the
groups on screen come in pieces of their own), the elements on the page
(only groups on screen are drawn), and frame times while scrolling through
the list 400 px a frame.
"""

import importlib
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
# The browser driver of the review page's test, imported from its folder.
sys.path.insert(0, os.path.join(HERE, "..", "tests", "review"))
driver = importlib.import_module("review_page_test")

SCROLL = """
(async () => {
  const times = [];
  let drawing = 0;
  const original = window.draw;
  window.draw = () => {
    const t0 = performance.now();
    original();
    drawing += performance.now() - t0;
  };
  let last = performance.now();
  const end = document.documentElement.scrollHeight - innerHeight;
  const frames = Math.min(600, Math.ceil(end / 400));
  for (let i = 0; i < frames; ++i) {
    window.scrollBy(0, 400);
    await new Promise((r) => requestAnimationFrame(r));
    const now = performance.now();
    times.push(now - last);
    last = now;
  }
  window.draw = original;
  return {frames, times, drawing, nodes: document.getElementsByTagName('*').length,
          drawn: document.querySelectorAll('.group').length};
})()
"""


def main():
    binary, groups, pairs = sys.argv[1:4]
    extra = sys.argv[4:]
    work = tempfile.mkdtemp(prefix="vexlor-review-bench-")
    decisions = os.path.join(work, "decisions.json")
    started = time.monotonic()
    server = subprocess.Popen(
        [binary, "review", groups, "--pairs", pairs, "--decisions",
         decisions] + extra, stdout=subprocess.PIPE, text=True)
    address = server.stdout.readline().strip()
    print(f"server ready after {time.monotonic() - started:.2f} s "
          "(reading the files and building the data)")
    browser = driver.Browser("chromium", os.path.join(work, "profile"),
                             "en-US")
    try:
        browser.open_page()
        opens, marks, loads = [], [], []
        for _ in range(3):
            t0 = time.monotonic()
            browser.call("Page.navigate", {"url": address})
            browser.wait_for("document.body && "
                             "document.body.dataset.ready === '1'",
                             "the page", timeout=60)
            opens.append(time.monotonic() - t0)
            marks.append(browser.evaluate(
                "performance.getEntriesByName('vexlor-review-ready')[0]"
                ".startTime") / 1000)
            loads.append(browser.evaluate(
                "performance.getEntriesByName('vexlor-review-data')[0]"
                ".startTime") / 1000)
            first_paint_bytes = browser.evaluate(
                "performance.getEntriesByType('resource').filter((e) => "
                "/(data|groups)\\?/.test(e.name)).reduce((n, e) => "
                "n + e.decodedBodySize, 0)")
        size = browser.evaluate(
            "fetch('data?token=' + TOKEN).then((r) => r.text())"
            ".then((t) => t.length)")
        count = browser.evaluate("state.groups.length")
        rows = browser.evaluate(
            "state.groups.reduce((n, g) => n + g.size, 0)")
        pair_count = browser.evaluate(
            "state.groups.reduce((n, g) => n + g.pairCount, 0)")
        scroll = browser.evaluate(SCROLL)
        times = sorted(scroll["times"])
        print(f"groups {count}, grouped records {rows}, pairs {pair_count}, "
              f"list of groups {size / 1e6:.2f} MB, fetched before the first "
              f"paint {first_paint_bytes / 1e6:.2f} MB")
        print("open (navigation to first groups drawn), page mark: " +
              ", ".join(f"{m:.2f} s" for m in marks) +
              "; seen by the driver: " +
              ", ".join(f"{o:.2f} s" for o in opens) +
              "; of which data fetched and parsed: " +
              ", ".join(f"{o:.2f} s" for o in loads))
        print(f"elements on the page after scrolling: {scroll['nodes']} "
              f"({scroll['drawn']} groups drawn)")
        print(f"scrolling {scroll['frames']} frames of 400 px: frame time "
              f"median {statistics.median(times):.1f} ms, "
              f"p95 {times[int(len(times) * 0.95)]:.1f} ms, "
              f"max {times[-1]:.1f} ms; drawing "
              f"{scroll['drawing'] / scroll['frames']:.1f} ms a frame")
        print(json.dumps({"open_s": marks, "frames_ms": {
            "median": statistics.median(times),
            "p95": times[int(len(times) * 0.95)], "max": times[-1]}}))
    finally:
        browser.close()
        server.terminate()
        server.wait(timeout=10)


if __name__ == "__main__":
    main()
