#!/usr/bin/env python3
"""A small HTTP CONNECT proxy on loopback for the HTTP client's tests.

    connect_proxy.py --port PORT --log FILE [--ready FILE] [--lifetime S]

Each CONNECT request is appended to the log as one JSON line (target and
headers, Proxy-Authorization included), then the tunnel is opened, to
loopback targets only (127.x.x.x and localhost).
"""
import argparse
import json
import select
import socket
import sys
import threading


def pump(a, b):
    socks = [a, b]
    try:
        while True:
            readable, _, _ = select.select(socks, [], [], 30)
            if not readable:
                return
            for s in readable:
                data = s.recv(65536)
                if not data:
                    return
                (b if s is a else a).sendall(data)
    except OSError:
        return
    finally:
        a.close()
        b.close()


def serve(client, log):
    try:
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = client.recv(4096)
            if not chunk:
                client.close()
                return
            head += chunk
        text = head.split(b"\r\n\r\n", 1)[0].decode("latin-1")
        lines = text.split("\r\n")
        method, target, _ = (lines[0].split(" ") + ["", "", ""])[:3]
        headers = {}
        for line in lines[1:]:
            if ":" in line:
                k, v = line.split(":", 1)
                headers[k.strip()] = v.strip()
        with open(log, "a", encoding="utf-8") as f:
            f.write(json.dumps({"method": method, "target": target, "headers": headers}) + "\n")
        host, _, port = target.rpartition(":")
        if method != "CONNECT" or not (host.startswith("127.") or host == "localhost"):
            client.sendall(b"HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n")
            client.close()
            return
        upstream = socket.create_connection((host, int(port)), timeout=10)
        client.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
        pump(client, upstream)
    except OSError:
        client.close()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--log", required=True)
    p.add_argument("--ready")
    p.add_argument("--lifetime", type=float, default=600.0)
    args = p.parse_args()
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", args.port))
    listener.listen(16)
    listener.settimeout(1.0)
    if args.ready:
        with open(args.ready, "w") as f:
            f.write("ready\n")
    stop = threading.Event()
    threading.Timer(args.lifetime, stop.set).start()
    while not stop.is_set():
        try:
            client, _ = listener.accept()
        except socket.timeout:
            continue
        threading.Thread(target=serve, args=(client, args.log), daemon=True).start()
    return 0


if __name__ == "__main__":
    sys.exit(main())
