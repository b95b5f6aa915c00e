#!/usr/bin/env python3
"""What the dialer does on the wire, written apart from the server's code.

  dialer_client.py token LOGIN PASSWORD     print the statistics token
  dialer_client.py get PORT PATH BODY_FILE  GET PATH from 127.0.0.1:PORT with the dialer's exact bytes;
                                            print the status code, write the body (status 200 only)
"""
import base64
import socket
import sys

PASSWORD_SWAPS = [(2, 7), (0, 5), (6, 1), (3, 8), (4, 0), (7, 5), (1, 3), (8, 2), (5, 6), (0, 4), (2, 3), (6, 8)]
TOKEN_SWAPS = [(3, 0), (7, 2), (5, 8), (1, 4), (6, 3), (0, 7), (8, 1), (2, 5), (4, 6), (3, 8), (1, 0), (7, 6)]


def swapped(text, pairs):
    chars = list(text)
    for i, j in pairs:
        if i < len(chars) and j < len(chars):
            chars[i], chars[j] = chars[j], chars[i]
    return "".join(chars)


def token(login, password):
    text = (login + ":" + swapped(password, PASSWORD_SWAPS))[:49]
    return swapped(base64.b64encode(text.encode("latin-1")).decode("ascii"), TOKEN_SWAPS)


def get(port, path):
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        # Three writes, as the dialer makes them; the last carries one CR LF more than needed.
        s.sendall(b"GET " + path.encode("latin-1") + b" HTTP/1.0\r\n")
        s.sendall(b"Accept: */*\r\nUser-Agent: MSIE 5.5\r\nConnection: close\r\n")
        s.sendall(b"\r\n\r\n")
        reply = b""
        while chunk := s.recv(1024):
            reply += chunk
    head, sep, body = reply.partition(b"\r\n\r\n")
    if not sep or len(head) < 12:
        return "cut", b""
    return head[9:12].decode("latin-1"), body


def main(argv):
    if len(argv) == 4 and argv[1] == "token":
        print(token(argv[2], argv[3]))
    elif len(argv) == 5 and argv[1] == "get":
        status, body = get(int(argv[2]), argv[3])
        if status == "200":
            with open(argv[4], "wb") as f:
                f.write(body)
        print(status)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
