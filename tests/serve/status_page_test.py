#!/usr/bin/env python3
"""serve's status page in a real browser (headless Chromium driven by Selenium), and its HTTP
endpoints as browsers and monitoring systems meet them.

  status_page_test.py --cli RDSQ7_CLI [--launcher WINE] [--mpx STATION_MPX --shots FOLDER]
      [TEST ...]

The screenshots (status-page.png, status-page-phone.png) go to FOLDER; docs/shots/ holds
copies of them. With --launcher the program runs through it (the Windows build under Wine).
"""
import argparse
import http.client
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

ARGS = None
PS, PI = "RADIO 1", "D3C3"
STATION = ["--ps", PS, "--pi", PI, "--pty", "10", "--di", "0001", "--af", "98.5", "--af", "87.6"]


class Serve:
    """rdsq7-cli serve as a child process on loopback ports chosen by the system."""

    def __init__(self, folder, *options, http="127.0.0.1:0"):
        self.log = open(os.path.join(folder, "serve.log"), "a+")
        self.process = subprocess.Popen(
            ARGS.launcher + [ARGS.cli, "serve", "--listen", "127.0.0.1:0",
             *(["--listen-http", http] if http else []),
             *([] if "--port" in options else ["--dry-run"]),
             "--instance", "page-test-%d" % os.getpid(), *options],
            stdout=subprocess.PIPE, stderr=self.log, text=True)
        first = self.process.stdout.readline()
        ports = dict(re.findall(r" (text|http)=[^ ]*:(\d+)", first))
        if "http" not in ports:
            raise RuntimeError("serve did not start: " + first)
        self.text, self.http = int(ports["text"]), int(ports["http"])

    def ask(self, line):
        with socket.create_connection(("127.0.0.1", self.text), timeout=10) as s:
            s.sendall((line + "\n").encode())
            return s.makefile().readline().strip()

    def request(self, method, path, host="127.0.0.1"):
        connection = http.client.HTTPConnection(host, self.http, timeout=10)
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


def wait_for(what, timeout, step=0.1):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if what():
            return True
        time.sleep(step)
    return what()


class StatusPageTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="rdsq7-page-")

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def browser(self, width, height, phone=False):
        options = webdriver.ChromeOptions()
        options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--hide-scrollbars",
                     "--user-data-dir=" + tempfile.mkdtemp(dir=self.folder),
                     "--window-size=%d,%d" % (width, height), "--lang=en-GB"):
            options.add_argument(flag)
        driver = webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)
        self.addCleanup(driver.quit)
        if phone:  # a window is at least 500 pixels wide: a phone's screen is emulated
            driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                "width": width, "height": height, "deviceScaleFactor": 1, "mobile": True})
        return driver

    def text_of(self, driver, element_id):
        return driver.find_element(By.ID, element_id).text

    def test_the_page_follows_serve_and_says_when_it_is_gone(self):
        mpx = os.path.join(self.folder, "mpx.raw")
        with open(mpx, "wb") as out:
            subprocess.run([ARGS.mpx, "3", *STATION], stdout=out, check=True)
        serve = Serve(self.folder, *STATION, "--monitor-command", "cat '%s'" % mpx,
                      "--monitor-timeout", "5")
        self.addCleanup(serve.stop)
        self.assertEqual(serve.ask("SEND"), "OK")
        driver = self.browser(1280, 860)
        url = "http://127.0.0.1:%d/" % serve.http
        driver.get(url)
        self.assertTrue(wait_for(lambda: "On air as sent" in self.text_of(driver, "verdict"), 30),
                        self.text_of(driver, "verdict"))
        sent = self.text_of(driver, "sent-card")
        self.assertIn(PS, sent)
        self.assertIn(PI, sent)
        self.assertIn("page-test-", self.text_of(driver, "instance"))
        os.makedirs(ARGS.shots, exist_ok=True)
        driver.save_screenshot(os.path.join(ARGS.shots, "status-page.png"))
        phone = self.browser(390, 1100, phone=True)
        phone.get(url)
        self.assertTrue(wait_for(lambda: "On air as sent" in self.text_of(phone, "verdict"), 10))
        phone.save_screenshot(os.path.join(ARGS.shots, "status-page-phone.png"))

        # A change through the text port shows within 3 s, without a reload.
        driver.execute_script("window.notReloaded = true")
        self.assertEqual(serve.ask("PS=NEWS 24"), "OK")
        changed = time.monotonic()
        self.assertTrue(wait_for(lambda: "NEWS 24" in self.text_of(driver, "sent-card"), 3.0),
                        self.text_of(driver, "sent-card"))
        self.assertLess(time.monotonic() - changed, 3.0)
        self.assertTrue(driver.execute_script("return window.notReloaded === true"))
        self.assertTrue(wait_for(lambda: "NEWS 24" in self.text_of(driver, "sent")
                                 and "waiting" not in self.text_of(driver, "sent-card"), 10))

        # serve gone: "connection lost"; back on the same port: the page recovers by itself.
        http_port = serve.http
        serve.stop()
        lost = lambda: driver.find_element(By.ID, "lost").is_displayed()
        self.assertTrue(wait_for(lost, 8), "no 'connection lost'")
        self.assertIn("Connection lost", self.text_of(driver, "lost"))
        again = Serve(self.folder, "--ps", "BACK", http="127.0.0.1:%d" % http_port)
        self.addCleanup(again.stop)
        self.assertTrue(wait_for(lambda: not lost(), 8), "the page did not recover")
        self.assertTrue(driver.execute_script("return window.notReloaded === true"))

    def test_endpoints_answer_reads_only(self):
        serve = Serve(self.folder, "--ps", PS, "--pi", PI)
        self.addCleanup(serve.stop)
        for method, path, status in (("GET", "/", 200), ("HEAD", "/metrics", 200),
                                     ("POST", "/status.json", 405), ("PUT", "/", 405),
                                     ("DELETE", "/", 405), ("GET", "/admin", 404),
                                     ("GET", "/history.json?hours=0", 400)):
            self.assertEqual(serve.request(method, path)[0], status, method + " " + path)
        # /status.json says what STATUS says.
        status = serve.ask("STATUS")
        self.assertIn('"status":"%s"' % status, serve.request("GET", "/status.json")[1])
        # The metrics pass Prometheus's own check.
        metrics = serve.request("GET", "/metrics")[1]
        check = subprocess.run(["promtool", "check", "metrics"], input=metrics, text=True,
                               capture_output=True)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
        self.assertIn('rdsq7_on_air{verdict="not-monitored"} 1', metrics)

    def test_failing_sends_show_in_the_metrics(self):
        serve = Serve(self.folder, "--port", os.path.join(self.folder, "no-such-port"))
        self.addCleanup(serve.stop)
        metrics = lambda: serve.request("GET", "/metrics")[1]
        self.assertTrue(wait_for(lambda: re.search(r"^rdsq7_send_failures_total [1-9]", metrics(),
                                                   re.M), 10), metrics())
        self.assertIn("\nrdsq7_encoder_ok 0\n", metrics())
        self.assertIn("\nrdsq7_sends_total 0\n", metrics())
        self.assertIn('"result":"failed"', serve.request("GET", "/status.json")[1])

    def test_a_peer_outside_allow_gets_nothing(self):
        config = os.path.join(self.folder, "serve.conf")
        with open(config, "w") as out:
            out.write("listen-http 127.0.0.1:0\nallow 10.0.0.0/8\n")
        serve = Serve(self.folder, "--config", config, http=None)
        self.addCleanup(serve.stop)
        with self.assertRaises((ConnectionError, http.client.HTTPException)):
            serve.request("GET", "/status.json")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--launcher", action="append", default=[])
    parser.add_argument("--mpx")
    parser.add_argument("--shots")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
