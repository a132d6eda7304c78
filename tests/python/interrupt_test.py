"""A long batch call leaves the interpreter free: Ctrl-C cancels it and
other threads keep running."""

import random
import signal
import threading
import time
import unittest

import vexlor


def _people(count, seed=5):
    rng = random.Random(seed)
    first = ["Anna", "Bernd", "Carla", "Dieter", "Eva", "Frank", "Gisela"]
    last = ["Meier", "Maier", "Schmidt", "Schmitt", "Becker", "Wagner"]
    return [[str(i), rng.choice(first), rng.choice(last) + str(rng.randrange(3000)),
             "%d Main Street" % rng.randrange(500), str(rng.randrange(10000, 99999))]
            for i in range(count)]


class InterruptTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.rows = _people(100_000)

    def test_ctrl_c_cancels_and_other_threads_run(self):
        # With events, and with a progress window (not drawn: no terminal),
        # whose message pump watches for Ctrl-C.
        for show_progress in (False, True):
            with self.subTest(show_progress=show_progress):
                self.check_interrupt(show_progress)

    def check_interrupt(self, show_progress):
        ctl = vexlor.Control(label_seed=1)
        ticks, stop = [], threading.Event()

        def ticker():
            while not stop.wait(0.01):
                ticks.append(time.monotonic())

        threading.Thread(target=ticker, daemon=True).start()
        sent = []

        def interrupt():
            sent.append((time.monotonic(), time.process_time()))
            signal.raise_signal(signal.SIGINT)

        timer = threading.Timer(2.5, interrupt)
        timer.start()
        try:
            with self.assertRaises(KeyboardInterrupt):
                ctl.DupeSearch(self.rows, 0, 80.0, 0.5, "", vexlor.DRR_ALL,
                               show_progress)
            returned = (time.monotonic(), time.process_time())
        finally:
            timer.cancel()
            stop.set()
        self.assertTrue(sent)
        # Promptly: measured in processor time, which a loaded machine does
        # not stretch as it stretches the wall clock.
        self.assertLess(returned[1] - sent[0][1], 0.5)
        self.assertLess(returned[0] - sent[0][0], 10)
        # The second thread ticked all along the call.
        self.assertGreater(len([t for t in ticks if t < sent[0][0]]), 50)
        self.assertTrue(ctl.CanceledByUser())
        rows = ctl.DupeSearch([["1", "Anna Meier"], ["2", "Anna Meier"]], 0,
                              80.0, 0.5, "", vexlor.DRR_ALL, False)
        self.assertEqual(rows[0][2], rows[1][2])
        self.assertFalse(ctl.CanceledByUser())


if __name__ == "__main__":
    unittest.main()
