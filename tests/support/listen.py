#!/usr/bin/env python3
# Holds sockets open until killed, as a server behind an opened port would:
#   listen.py READY-FILE tcp:0.0.0.0:8401 udp:0.0.0.0:8403 ...
# TCP ones listen, UDP ones are bound; READY-FILE appears once all are.
import socket
import sys
import time

held = []
for wanted in sys.argv[2:]:
    kind, rest = wanted.split(":", 1)
    address, port = rest.rsplit(":", 1)
    family = socket.AF_INET6 if ":" in address else socket.AF_INET
    s = socket.socket(family, socket.SOCK_STREAM if kind == "tcp" else socket.SOCK_DGRAM)
    s.bind((address, int(port)))
    if kind == "tcp":
        s.listen()
    held.append(s)
open(sys.argv[1], "w").close()
time.sleep(600)
