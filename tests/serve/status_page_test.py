#!/usr/bin/env python3
"""serve's status page in headless Chromium driven by Selenium, and its endpoints as
monitoring systems meet them: status_page_test.py --cli RDSQ7_CLI [--launcher WINE]
[--mpx STATION_MPX --shots FOLDER] [TEST...]. The screenshots go to FOLDER (copies in
docs/shots/); with --launcher the program runs through it (the Windows build under Wine)."""
import argparse, http.client, os, re, shutil, signal, socket, subprocess, sys, tempfile, time
import unittest

ARGS = None
STATION = ["--ps", "RADIO 1", "--pi", "D3C3", "--pty", "10", "--di", "0001", "--af", "98.5",
           "--af", "87.6"]


class Serve:
    """rdsq7-cli serve as a child process, on loopback ports the system chooses."""

    def __init__(self, folder, *options, http="127.0.0.1:0"):
        self.log = open(os.path.join(folder, "serve.log"), "a+")
        self.process = subprocess.Popen(
            ARGS.launcher + [ARGS.cli, "serve", "--listen", "127.0.0.1:0",
                             *(["--listen-http", http] if http else []),
                             *([] if "--port" in options else ["--dry-run"]),
                             "--instance", "page-test-%d" % os.getpid(), *options],
            stdout=subprocess.PIPE, stderr=self.log, text=True)
        ports = dict(re.findall(r" (text|http)=[^ ]*:(\d+)", self.process.stdout.readline()))
        self.text, self.http = int(ports["text"]), int(ports["http"])

    def ask(self, line):
        with socket.create_connection(("127.0.0.1", self.text), timeout=10) as s:
            s.sendall((line + "\n").encode())
            return s.makefile().readline().strip()

    def request(self, method, path):
        connection = http.client.HTTPConnection("127.0.0.1", self.http, timeout=10)
        connection.request(method, path)
        answer = connection.getresponse()
        return answer.status, answer.read().decode()

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()
        self.log.close()


def wait_for(what, timeout):
    end = time.monotonic() + timeout
    while not what():
        if time.monotonic() > end:
            return False
        time.sleep(0.1)
    return True


class StatusPageTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="rdsq7-page-")
        self.addCleanup(shutil.rmtree, self.folder, True)

    def serve(self, *options, **keywords):
        serve = Serve(self.folder, *options, **keywords)
        self.addCleanup(serve.stop)
        return serve

    def browser(self, width, height):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        options = webdriver.ChromeOptions()
        options.binary_location = shutil.which("chromium")
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--hide-scrollbars",
                     "--user-data-dir=" + tempfile.mkdtemp(dir=self.folder)):
            options.add_argument(flag)
        driver = webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)
        self.addCleanup(driver.quit)
        # A window is at least 500 pixels wide; a phone's screen is emulated.
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": height, "deviceScaleFactor": 1, "mobile": width < 500})
        return driver

    def test_the_page_follows_serve_and_says_when_it_is_gone(self):
        mpx = os.path.join(self.folder, "mpx.raw")
        with open(mpx, "wb") as out:
            subprocess.run([ARGS.mpx, "12", *STATION], stdout=out, check=True)
        serve = self.serve(*STATION, "--monitor-command", "cat '%s'" % mpx, "--monitor-timeout", "5",
                           "--history", os.path.join(self.folder, "history"))
        self.assertEqual(serve.ask("SEND"), "OK")
        os.makedirs(ARGS.shots, exist_ok=True)
        for width, height, shot in ((1280, 860, "status-page.png"),
                                    (390, 1100, "status-page-phone.png")):
            driver = self.browser(width, height)
            driver.get("http://127.0.0.1:%d/" % serve.http)
            text = lambda element: driver.find_element("id", element).text
            self.assertTrue(wait_for(lambda: "On air as sent" in text("verdict"), 30), text("verdict"))
            for shown in ("RADIO 1", "D3C3", "Stereo", "98.5 87.6"):
                self.assertIn(shown, text("sent-card"))
            # The levels of the 12 s the monitor read, and the history's events, newest first.
            self.assertTrue(wait_for(lambda: "kHz" in text("reception"), 10), text("reception"))
            for shown in ("Pilot", "RDS injection", "Block errors"):
                self.assertIn(shown, text("reception"))
            self.assertIn("\nrdsq7_pilot_deviation_hertz ", self.check_metrics(serve))
            self.assertTrue(wait_for(lambda: "Sent: " in text("events"), 10), text("events"))
            events = text("events")
            self.assertLess(events.index("Sent: "), events.index("serve started, with a monitor"))
            self.assertIn("page-test-", text("instance"))
            driver.save_screenshot(os.path.join(ARGS.shots, shot))

        # A change through the text port shows within 3 s, without a reload.
        driver.execute_script("window.notReloaded = true")
        self.assertEqual(serve.ask("PS=NEWS 24"), "OK")
        changed = time.monotonic()
        self.assertTrue(wait_for(lambda: "NEWS 24" in text("sent-card"), 3), text("sent-card"))
        self.assertLess(time.monotonic() - changed, 3)
        self.assertTrue(wait_for(lambda: "NEWS 24" in text("sent") and "waiting" not in
                                 text("sent-card"), 10))

        # serve gone: "connection lost"; back on the same port: the page recovers by itself.
        serve.stop()
        lost = lambda: driver.find_element("id", "lost").is_displayed()
        self.assertTrue(wait_for(lost, 8), "no 'connection lost'")
        self.assertIn("Connection lost", text("lost"))
        self.serve("--ps", "BACK", http="127.0.0.1:%d" % serve.http)
        self.assertTrue(wait_for(lambda: not lost() and "Not monitored" in text("verdict"), 8))
        self.assertTrue(driver.execute_script("return window.notReloaded === true"))

    def test_endpoints_answer_reads_only(self):
        serve = self.serve(*STATION)
        self.assertEqual(serve.request("POST", "/status.json")[0], 405)
        self.assertEqual(serve.request("GET", "/admin")[0], 404)
        self.assertIn('"status":"%s"' % serve.ask("STATUS"), serve.request("GET", "/status.json")[1])
        self.check_metrics(serve)

    def check_metrics(self, serve):
        metrics = serve.request("GET", "/metrics")[1]
        check = subprocess.run(["promtool", "check", "metrics"], input=metrics, text=True,
                               capture_output=True)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
        return metrics

    def test_failing_sends_raise_their_condition_in_the_metrics_and_on_the_page(self):
        serve = self.serve("--port", os.path.join(self.folder, "no-such-port"), "--alarm-trip", "1")
        metrics = lambda: serve.request("GET", "/metrics")[1]
        self.assertTrue(wait_for(lambda: re.search(r"^rdsq7_send_failures_total [1-9]",
                                                   metrics(), re.M), 10), metrics())
        self.assertTrue(wait_for(lambda: '"send-failed":true' in
                                 serve.request("GET", "/status.json")[1], 10))
        for line in ("rdsq7_encoder_ok 0", "rdsq7_sends_total 0", "rdsq7_alarm 1",
                     'rdsq7_condition_active{condition="send-failed"} 1',
                     'rdsq7_condition_active{condition="mismatch"} 0'):
            self.assertIn("\n%s\n" % line, metrics())
        driver = self.browser(1280, 860)
        driver.get("http://127.0.0.1:%d/" % serve.http)
        verdict = lambda: driver.find_element("id", "verdict")
        self.assertTrue(wait_for(lambda: "ALARM sends to the encoder fail" in verdict().text, 10),
                        verdict().text)
        self.assertIn("alarm", verdict().get_attribute("class"))

    def test_a_peer_outside_allow_gets_nothing(self):
        config = os.path.join(self.folder, "serve.conf")
        with open(config, "w") as out:
            out.write("listen-http 127.0.0.1:0\nallow 10.0.0.0/8\n")
        serve = self.serve("--config", config, http=None)
        with self.assertRaises((ConnectionError, http.client.HTTPException)):
            serve.request("GET", "/status.json")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    for option in ("--cli", "--mpx", "--shots"):
        parser.add_argument(option)
    parser.add_argument("--launcher", action="append", default=[])
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
