#!/usr/bin/env python3
"""Hostile routers against the whole run of pontaro-cli.

Runs on the LAN host of a router lab without miniupnpd (scripts/with-lab.sh
--no-upnpd). For each case it starts a scripted router in the router's
namespace (this file, `serve CASE`): an SSDP responder on UDP 1900 and an HTTP
server on port 5000 whose exchanges for the first rule misbehave as the case
says and whose others answer like a good gateway. Then it runs pontaro-cli with two rules
and checks, from the printed log, that the first rule failed, the second was
still applied, the run kept within its time budgets (3000 ms listening, 3000 ms
for a header block, 3000 ms for a body) and its peak memory stayed near that
of a run against a well-behaved router.

    hostile_router.py --cli PATH --peak-rss PATH [CASE ...]
                                               run the cases (default: all)
    hostile_router.py serve CASE               the router side (used by the above)
"""

import argparse
import os
import socket
import subprocess
import sys
import threading
import time

HTTP_PORT = 5000
SSDP_PORT = 1900

# How long a run may take: discovery answers at once (but may take its whole
# 3000 ms listening budget), the hostile rule may spend a header budget and a
# body budget, the good rule a fraction of a second; plus slack for a loaded
# machine and the sanitizer builds.
RUN_LIMIT_S = 3.0 + 3.0 + 3.0 + 3.0
# Peak memory above that of the baseline run that still counts as bounded.
# The receive buffers of one exchange are 32 KiB; 16 MiB allows for allocator
# noise, nowhere near what 10 MB of headers or an expanded entity would cost.
RSS_SLACK_KB = 16 * 1024

SERVICE = "urn:schemas-upnp-org:service:WANIPConnection:1"


def description(router_ip, friendly=b"router", extra=b""):
    return (
        b'<?xml version="1.0"?>\r\n'
        b'<root xmlns="urn:schemas-upnp-org:device-1-0">'
        b"<specVersion><major>1</major><minor>0</minor></specVersion>"
        b"<device><deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1</deviceType>"
        b"<friendlyName>" + friendly + b"</friendlyName>" + extra +
        b"<deviceList><device><deviceType>urn:schemas-upnp-org:device:WANDevice:1</deviceType>"
        b"<deviceList><device>"
        b"<deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:1</deviceType>"
        b"<serviceList><service><serviceType>" + SERVICE.encode() + b"</serviceType>"
        b"<serviceId>urn:upnp-org:serviceId:WANIPConn1</serviceId>"
        b"<SCPDURL>/WANIPCn.xml</SCPDURL><controlURL>/ctl/IPConn</controlURL>"
        b"<eventSubURL>/evt/IPConn</eventSubURL></service></serviceList>"
        b"</device></deviceList></device></deviceList></device></root>\r\n")


SOAP_OK = (b'<?xml version="1.0"?>\r\n<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/" '
           b's:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><s:Body>'
           b'<u:AddPortMappingResponse xmlns:u="' + SERVICE.encode() + b'"/></s:Body></s:Envelope>\r\n')


def soap_fault(code, text):
    return (b'<?xml version="1.0"?>\r\n<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/">'
            b"<s:Body><s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring>"
            b'<detail><UPnPError xmlns="urn:schemas-upnp-org:control-1-0"><errorCode>' + code +
            b"</errorCode><errorDescription>" + text + b"</errorDescription></UPnPError></detail>"
            b"</s:Fault></s:Body></s:Envelope>\r\n")


def reply(status, body, headers=b""):
    return (b"HTTP/1.0 " + status + b"\r\nContent-Type: text/xml\r\n" + headers +
            b"Content-Length: " + str(len(body)).encode() + b"\r\n\r\n" + body)


BILLION_LAUGHS = (
    b'<?xml version="1.0"?>\r\n<!DOCTYPE root [\r\n<!ENTITY lol "lol">\r\n' +
    b"".join(b'<!ENTITY lol%d "%s">\r\n' % (i, (b"&lol%d;" % (i - 1) if i > 1 else b"&lol;") * 10)
             for i in range(1, 10)) +
    b"]>\r\n" + description(b"", friendly=b"&lol9;"))

DEEP_NESTING = (b'<?xml version="1.0"?><root>' + b"<a>" * 100000 + b"x" + b"</a>" * 100000 +
                b"</root>")


# ---------------------------------------------------------------------------
# The router side


class Router:
    def __init__(self, case, router_ip):
        self.case = case
        self.ip = router_ip
        self.connections = 0
        self.lock = threading.Lock()

    # SSDP ------------------------------------------------------------------

    def ssdp_answer(self, path=b"/rootDesc.xml", extra=b""):
        return (b"HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\nST: " + SERVICE.encode() +
                b"\r\nUSN: uuid:hostile::" + SERVICE.encode() + b"\r\nEXT:\r\n" + extra +
                b"SERVER: Hostile/1 UPnP/1.1\r\nLOCATION: http://" + self.ip.encode() + b":" +
                str(HTTP_PORT).encode() + path + b"\r\n\r\n")

    def serve_ssdp(self):
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind(("0.0.0.0", SSDP_PORT))
        while True:
            data, peer = s.recvfrom(65536)
            if not data.startswith(b"M-SEARCH"):
                continue
            if self.case == "ssdp_flood":
                self.flood(s, peer)
            elif self.case == "not_utf8":
                s.sendto(self.ssdp_answer(b"/desc\xff\xfe\x80.xml",
                                          b"X-Name: \xff\xfe\xc0\xaf\xed\xa0\x80\r\n"), peer)
            else:
                s.sendto(self.ssdp_answer(), peer)

    def flood(self, s, peer):
        # Two seconds of answers: most are junk (no location, broken text,
        # the largest datagrams UDP carries), one in 500 is a good one.
        junk = [b"HTTP/1.1 200 OK\r\nST: x\r\n\r\n",
                b"\xff" * 1400,
                b"HTTP/1.1 200 OK\r\nLocation:" + b" " * 60000 + b"\r\n\r\n",
                b"HTTP/1.1 200 OK\r\nLOCATION: \r\n\r\n",
                b"\x00Location: http://10.77.0.66:1/x\r\n"]
        end = time.monotonic() + 2.0
        i = 0
        while time.monotonic() < end:
            data = self.ssdp_answer() if i % 500 == 499 else junk[i % len(junk)]
            try:
                s.sendto(data, peer)
            except OSError:
                pass
            i += 1

    # HTTP ------------------------------------------------------------------

    def serve_http(self):
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(("0.0.0.0", HTTP_PORT))
        listener.listen(16)
        print("ready", flush=True)
        while True:
            conn, _ = listener.accept()
            with self.lock:
                index = self.connections
                self.connections += 1
            threading.Thread(target=self.handle, args=(conn, index), daemon=True).start()

    @staticmethod
    def read_request(conn):
        data = b""
        while b"\r\n\r\n" not in data:
            piece = conn.recv(65536)
            if not piece:
                return data
            data += piece
        head, _, body = data.partition(b"\r\n\r\n")
        length = 0
        for line in head.split(b"\r\n")[1:]:
            name, _, value = line.partition(b":")
            if name.strip().lower() == b"content-length":
                length = int(value.strip() or b"0")
        while len(body) < length:
            piece = conn.recv(65536)
            if not piece:
                break
            body += piece
        return data

    @staticmethod
    def hold(conn, seconds=30):
        # Keeps the line open, silent, until the client goes.
        conn.settimeout(seconds)
        try:
            while conn.recv(4096):
                pass
        except OSError:
            pass

    def good(self, conn, request):
        if request.startswith(b"GET"):
            conn.sendall(reply(b"200 OK", description(self.ip.encode())))
        else:
            conn.sendall(reply(b"200 OK", SOAP_OK))

    def handle(self, conn, index):
        try:
            request = self.read_request(conn)
            # Exchange 0 is discovery reading the description (the run's
            # only GET), exchange 1 the first rule's POST. The entity bombs
            # are descriptions; the text case spoils both; every other case
            # spoils the first rule's reply. Everything else is a good gateway.
            hostile = index in HOSTILE_EXCHANGES.get(self.case, (1,))
            if not hostile or self.case in ("good", "ssdp_flood"):
                self.good(conn, request)
            elif self.case == "silent":
                self.hold(conn)
            elif self.case == "trickle":
                whole = reply(b"200 OK", description(self.ip.encode()))
                for i in range(len(whole)):
                    conn.sendall(whole[i:i + 1])
                    time.sleep(1.0)
            elif self.case == "huge_headers":
                conn.sendall(b"HTTP/1.0 200 OK\r\n")
                line = b"X-Padding: " + b"a" * 1000 + b"\r\n"
                for _ in range(10 * 1024 * 1024 // len(line)):
                    conn.sendall(line)
                conn.sendall(b"Content-Length: 0\r\n\r\n")
                self.hold(conn, 5)
            elif self.case == "body_close":
                whole = reply(b"200 OK", description(self.ip.encode()))
                conn.sendall(whole[:len(whole) // 2])
            elif self.case == "billion_laughs":
                conn.sendall(reply(b"200 OK", BILLION_LAUGHS))
            elif self.case == "deep_nesting":
                conn.sendall(reply(b"200 OK", DEEP_NESTING))
                self.hold(conn, 5)
            elif self.case == "not_utf8":
                if request.startswith(b"GET"):
                    conn.sendall(reply(b"200 \xff\xfeOK", description(
                        self.ip.encode(), friendly=b"\x83\x8b\x81[\x83^\xff\xfe")))
                else:
                    conn.sendall(reply(b"500 \x82\xa0\xff", soap_fault(
                        b"7\xff18", b"Conflict\xff\xfe\xc0\xafInMapping\xed\xa0\x80")))
        except OSError:
            pass  # the client went away first: expected of most cases
        finally:
            conn.close()


HOSTILE_EXCHANGES = {"billion_laughs": (0,), "deep_nesting": (0,), "not_utf8": (0, 1)}


def serve(case):
    router = Router(case, os.environ.get("PONTARO_LAB_ROUTER_IP", "10.77.0.1"))
    threading.Thread(target=router.serve_ssdp, daemon=True).start()
    router.serve_http()


# ---------------------------------------------------------------------------
# The LAN side

# Each case: what the first rule's outcome must be ("no router": the only
# description is unusable, so the run ends with the not-found line).
CASES = {
    "good": "success",
    "silent": "failure",
    "trickle": "failure",
    "huge_headers": "failure",
    "body_close": "failure",
    "billion_laughs": "no router",
    "deep_nesting": "no router",
    "ssdp_flood": "success",
    "not_utf8": "failure",
}

NOT_FOUND = "UPnP対応ルータが見つかりませんでした。"
SUCCESS = "○\u3000設定に成功しました。"
FAILURE = "×\u3000設定に失敗しました。"


def run_cli(args, rules, env):
    rss_file = os.path.join(env["XDG_CONFIG_HOME"], "peak-rss")
    start = time.monotonic()
    proc = subprocess.run([args.peak_rss, rss_file, args.cli, "--verbose"] + rules,
                          capture_output=True, env=env)
    elapsed = time.monotonic() - start
    with open(rss_file) as f:
        rss = int(f.read())
    return proc.returncode, proc.stdout, proc.stderr, elapsed, rss


def run_case(case, args, env):
    router_ns = os.environ["PONTARO_LAB_ROUTER_NS"]
    server = subprocess.Popen(["ip", "netns", "exec", router_ns, sys.executable,
                               os.path.abspath(__file__), "serve", case],
                              stdout=subprocess.PIPE, env=env)
    try:
        if server.stdout.readline().strip() != b"ready":
            raise RuntimeError("the scripted router did not start")
        rules = ["10001, 10001, TCP, hostile", "10002, 10002, TCP, next"]
        return run_cli(args, rules, env)
    finally:
        server.terminate()
        server.wait()


def check(case, code, out, elapsed, rss, baseline_rss):
    problems = []
    try:
        text = out.decode("utf-8")
    except UnicodeDecodeError as e:
        return ["output is not UTF-8: %s" % e], []
    outcomes = [l for l in text.splitlines() if SUCCESS in l or FAILURE in l]
    if CASES[case] == "no router":
        if outcomes or NOT_FOUND not in text:
            problems.append("expected the not-found line and no rule lines")
    elif len(outcomes) != 2:
        problems.append("expected two rule lines, got %d" % len(outcomes))
    else:
        want = SUCCESS if CASES[case] == "success" else FAILURE
        if want not in outcomes[0]:
            problems.append("first rule: expected %s" % CASES[case])
        if SUCCESS not in outcomes[1]:
            problems.append("second rule was not applied after the first")
    want_code = {"success": 0, "failure": 1, "no router": 2}[CASES[case]]
    if code != want_code:
        problems.append("exit status %d, expected %d" % (code, want_code))
    if elapsed > RUN_LIMIT_S:
        problems.append("run took %.1f s (limit %.1f s)" % (elapsed, RUN_LIMIT_S))
    if baseline_rss is not None and rss > baseline_rss + RSS_SLACK_KB:
        problems.append("peak RSS %d KiB, baseline %d KiB" % (rss, baseline_rss))
    if case == "not_utf8" and "\ufffd" not in text:
        problems.append("bad bytes were not shown as U+FFFD")
    reasons = [l.strip() for l in text.splitlines() if l.startswith("  ")]
    return problems, reasons


def main_run(args):
    env = dict(os.environ)
    env["XDG_CONFIG_HOME"] = os.environ.get("PONTARO_LAB_STATE_DIR", "/tmp") + "/hostile-config"
    os.makedirs(env["XDG_CONFIG_HOME"], exist_ok=True)
    # Leaks are looked for by the unit tests; here only the run's behaviour.
    env.setdefault("ASAN_OPTIONS", "detect_leaks=0")
    cases = args.cases or list(CASES)
    unknown = [c for c in cases if c not in CASES]
    if unknown:
        print("unknown case(s): %s" % ", ".join(unknown), file=sys.stderr)
        return 2
    if cases[0] != "good":
        cases = ["good"] + [c for c in cases if c != "good"]
    baseline = None
    failed = False
    print("%-15s %-8s %4s %8s %10s  %s" % ("case", "rule 1", "exit", "time", "peak RSS", "reason"))
    for case in cases:
        code, out, err, elapsed, rss = run_case(case, args, env)
        if case == "good":
            baseline = rss
        problems, reasons = check(case, code, out, elapsed, rss,
                                  None if case == "good" else baseline)
        text = out.decode("utf-8", "replace")
        first = "failure" if FAILURE in text.split(SUCCESS)[0] else "success"
        if NOT_FOUND in text:
            first = "no router"
        print("%-15s %-8s %4d %7.2fs %7d KiB  %s" % (case, first, code, elapsed, rss,
                                                    reasons[0] if reasons else ""))
        if problems:
            failed = True
            for p in problems:
                print("  FAILED: " + p)
            print("  --- output:\n" + text + "  --- errors:\n" + err.decode("utf-8", "replace"))
    return 1 if failed else 0


def main():
    if len(sys.argv) >= 3 and sys.argv[1] == "serve":
        serve(sys.argv[2])
        return 0
    parser = argparse.ArgumentParser(description="hostile routers against pontaro-cli")
    parser.add_argument("--cli", required=True, help="the pontaro-cli program")
    parser.add_argument("--peak-rss", required=True, help="the pontaro_peak_rss launcher")
    parser.add_argument("cases", nargs="*", help="cases to run (default: all)")
    args = parser.parse_args()
    if "PONTARO_LAB_ROUTER_NS" not in os.environ:
        print("hostile_router.py: run inside a lab (scripts/with-lab.sh --no-upnpd -- ...)",
              file=sys.stderr)
        return 2
    return main_run(args)


if __name__ == "__main__":
    sys.exit(main())
