#!/usr/bin/env python3
"""A provider on 127.0.0.1 that serves the update manifest normally and, once
told to, holds statistics queries for as long as the client lets it.

Usage: stalling_provider.py PORT VERSION STALL_FLAG LOG LIFETIME_SECONDS

/keldatx.txt always gets a manifest naming VERSION. /kelda_tools_info.php gets
"balance=0.00" while the file STALL_FLAG does not exist; after that the queries
meet, in turn: silence (the query is read and never answered), a header line
trickling in one byte a second, and a body trickling in one byte a second, each
until the client gives up and closes. Every request is logged to LOG as
"<path> answered|silent|trickled head|trickled body". The server ends by itself
after LIFETIME_SECONDS, whatever happens to the script that started it.
"""
import os
import socket
import socketserver
import sys
import threading
import time

PORT, VERSION, STALL_FLAG, LOG, LIFETIME = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], float(sys.argv[5])
log_lock = threading.Lock()
HOLDS = ["silent", "trickled head", "trickled body"]
holds_made = 0


def log(line):
    with log_lock, open(LOG, "a") as f:
        f.write(line + "\n")


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        s = self.request
        s.settimeout(LIFETIME)
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = s.recv(4096)
            if not chunk:
                return
            head += chunk
        path = head.split(b" ", 2)[1].decode("latin-1")
        if path.startswith("/kelda_tools_info.php") and os.path.exists(STALL_FLAG):
            global holds_made
            with log_lock:
                hold = HOLDS[holds_made % len(HOLDS)]
                holds_made += 1
            log(f"{path.split('?')[0]} {hold}")
            hold_until_closed(s, hold)
            return
        if path == "/keldatx.txt":
            body = f"version={VERSION}\r\nfile=/kelda_tx_{VERSION}.zip\r\n".encode()
        elif path.startswith("/kelda_tools_info.php"):
            body = b"balance=0.00\r\n"
        else:
            s.sendall(b"HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n")
            log(f"{path} 404")
            return
        s.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n\r\n" % len(body) + body)
        # The client sends one CR LF more than its headers need: read it before
        # closing, so the kernel does not answer it with a reset that cuts the reply.
        s.shutdown(socket.SHUT_WR)
        s.settimeout(2)
        try:
            while s.recv(4096):
                pass
        except OSError:
            pass
        log(f"{path.split('?')[0]} answered")


def hold_until_closed(s, hold):
    """Keeps the client waiting, silent or one byte a second, until it closes."""
    try:
        if hold == "silent":
            while s.recv(4096):
                pass
            return
        s.sendall(b"HTTP/1.0 200 OK\r\n" + (b"X-Trickle: " if hold == "trickled head" else b"\r\nbalance=0"))
        while True:
            time.sleep(1)
            s.sendall(b"0")
    except OSError:  # the client has gone
        pass


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


def main():
    timer = threading.Timer(LIFETIME, lambda: os._exit(0))
    timer.daemon = True
    timer.start()
    with Server(("127.0.0.1", int(PORT)), Handler) as server:
        server.serve_forever()


if __name__ == "__main__":
    main()
