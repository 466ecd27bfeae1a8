#!/usr/bin/env python3
"""A scripted SSDP responder for the router namespace of a lab.

    ssdp_responder.py ROUTER_IP [--answer TEXT]... [--delay-ms N] [--port P]
                      [--describe-port H]

Listens on UDP port P (1900) for the multicast group 239.255.255.250 (joined
on ROUTER_IP) and for unicast. Prints "ready", then one line per datagram:

    got dst=<address it was sent to> src=<ip>:<port> len=<n> hex=<payload in hex>

The first datagram is answered, after --delay-ms, with each --answer in turn
(backslash escapes such as \\r\\n are decoded; \\0 gives a zero byte).

With --describe-port, the router also serves a gateway's description at every
path on ROUTER_IP:H over HTTP: the answers' locations lead there, since the
program asks the device that answered whatever host a location names.
"""
import argparse
import http.server
import socket
import socketserver
import struct
import sys
import threading
import time

DESCRIPTION = (b'<?xml version="1.0"?><root xmlns="urn:schemas-upnp-org:device-1-0"><device>'
               b'<serviceList><service><serviceType>urn:schemas-upnp-org:service:WANIPConnection:1'
               b'</serviceType><controlURL>/ctl/IPConn</controlURL></service></serviceList>'
               b'</device></root>')


class Describe(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(200)
        self.send_header("Content-Length", str(len(DESCRIPTION)))
        self.end_headers()
        self.wfile.write(DESCRIPTION)

    def log_message(self, *args):
        pass


def serve_description(address, port):
    # Not http.server's own server class: it looks up the host's name, which
    # hangs in a namespace without a resolver.
    socketserver.ThreadingTCPServer.allow_reuse_address = True
    server = socketserver.ThreadingTCPServer((address, port), Describe)
    threading.Thread(target=server.serve_forever, daemon=True).start()

IP_PKTINFO = getattr(socket, "IP_PKTINFO", 8)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("router_ip")
    parser.add_argument("--answer", action="append", default=[])
    parser.add_argument("--delay-ms", type=int, default=0)
    parser.add_argument("--port", type=int, default=1900)
    parser.add_argument("--describe-port", type=int, default=0)
    args = parser.parse_args()
    if args.describe_port:
        serve_description(args.router_ip, args.describe_port)
    answers = [a.encode("latin-1").decode("unicode_escape").encode("latin-1") for a in args.answer]

    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.setsockopt(socket.IPPROTO_IP, IP_PKTINFO, 1)
    s.bind(("", args.port))
    group = socket.inet_aton("239.255.255.250")
    s.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                 struct.pack("4s4s", group, socket.inet_aton(args.router_ip)))
    print("ready", flush=True)
    answered = False
    while True:
        data, ancillary, _flags, peer = s.recvmsg(65536, socket.CMSG_SPACE(12))
        dst = "?"
        for level, kind, payload in ancillary:
            if level == socket.IPPROTO_IP and kind == IP_PKTINFO and len(payload) >= 12:
                dst = socket.inet_ntoa(payload[8:12])  # ipi_addr: the header's destination
        print("got dst=%s src=%s:%d len=%d hex=%s" % (dst, peer[0], peer[1], len(data), data.hex()),
              flush=True)
        if not answered:
            answered = True
            time.sleep(args.delay_ms / 1000.0)
            for a in answers:
                s.sendto(a, peer)


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        sys.exit(0)
