#!/usr/bin/env python3
"""Test stand-in for the suite's update server: HTTPS on loopback.

    update_server.py --cert CERT --key KEY --scenario FILE --log FILE
                     [--host 127.0.0.1] [--port 443] [--ready FILE]

Every request is appended to the log as one JSON line (method, path,
headers, body, form). Replies come from the scenario file, read anew on
every request so that a test can change it between cases:

    {"getverlist": {"<appid>": "<reply>"}, "getdbcmd": {"<ver>": "<reply>"},
     "userip": "<text>", "status": {"<cmd or path>": <code>},
     "hold": {"<cmd>": "<release file>"}}

A held command is answered only once its release file exists (at most
HOLD_LIMIT_S later); meanwhile "<release file>.waiting" tells the test that
the request has come, so that it can change the world (stop the database
server, say) between the client's request and its reply.

Fixed paths for the client's own tests:
    /ok        200 "ok" (text/plain; charset=utf-8)
    /empty     200 with no body
    /missing   404
    /cyr       200 UTF-8 Cyrillic text (text/plain; charset=utf-8)
    /latin1    200 bytes as they are (text/plain; charset=windows-1251)
    /big       200 5000 bytes (several 1024-byte chunks)
"""
import argparse
import json
import ssl
import sys
import os
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

ARGS = None
LOG_LOCK = threading.Lock()
HOLD_LIMIT_S = 60.0


def load_scenario():
    try:
        with open(ARGS.scenario, encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError):
        return {}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):  # quiet
        pass

    def record(self, body):
        form = {}
        text = body.decode("utf-8", "replace")
        if text:
            form = {k: v[0] for k, v in urllib.parse.parse_qs(text, keep_blank_values=True).items()}
        entry = {
            "method": self.command,
            "path": self.path,
            "headers": {k: v for k, v in self.headers.items()},
            "body": text,
            "form": form,
        }
        with LOG_LOCK, open(ARGS.log, "a", encoding="utf-8") as f:
            f.write(json.dumps(entry, ensure_ascii=False) + "\n")
        return form

    def reply(self, code, body=b"", ctype="text/plain; charset=utf-8"):
        self.send_response(code)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if body:
            self.wfile.write(body)

    def handle_any(self):
        length = int(self.headers.get("Content-Length", "0") or 0)
        body = self.rfile.read(length) if length else b""
        form = self.record(body)
        path = self.path.lstrip("/")
        scenario = load_scenario()
        status = scenario.get("status", {})
        if path in status:
            return self.reply(int(status[path]), b"error")
        if path == "ok":
            return self.reply(200, b"ok")
        if path == "empty":
            return self.reply(200)
        if path == "missing":
            return self.reply(404, b"not found")
        if path == "cyr":
            return self.reply(200, "Дорога М-4".encode("utf-8"))
        if path == "latin1":
            return self.reply(200, "Дорога".encode("cp1251"), "text/plain; charset=windows-1251")
        if path == "big":
            return self.reply(200, bytes((i * 7) % 251 + 1 for i in range(5000)),
                              "application/octet-stream")
        if path == "getuserip.php":
            return self.reply(200, scenario.get("userip", "203.0.113.7").encode("utf-8"))
        if path == "getupdate.php":
            cmd = form.get("cmd", "")
            if cmd in status:
                return self.reply(int(status[cmd]), b"error")
            release = scenario.get("hold", {}).get(cmd)
            if release:
                hold(release)
            if cmd == "getverlist":
                text = scenario.get("getverlist", {}).get(form.get("appid", ""), '{"cnt":0}')
            elif cmd == "getdbcmd":
                text = scenario.get("getdbcmd", {}).get(form.get("ver", ""), "")
            elif cmd == "writelog":
                text = "ok"
            else:
                text = ""
            return self.reply(200, text.encode("utf-8"))
        return self.reply(404, b"not found")

    do_GET = handle_any
    do_POST = handle_any


def hold(release):
    with open(release + ".waiting", "w") as f:
        f.write("waiting\n")
    deadline = time.monotonic() + HOLD_LIMIT_S
    while not os.path.exists(release) and time.monotonic() < deadline:
        time.sleep(0.05)


def main():
    global ARGS
    p = argparse.ArgumentParser()
    p.add_argument("--cert", required=True)
    p.add_argument("--key", required=True)
    p.add_argument("--scenario", required=True)
    p.add_argument("--log", required=True)
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("--port", type=int, default=443)
    p.add_argument("--ready")
    p.add_argument("--lifetime", type=float, default=600.0,
                   help="seconds after which the server stops by itself")
    ARGS = p.parse_args()
    server = ThreadingHTTPServer((ARGS.host, ARGS.port), Handler)
    server.daemon_threads = True
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(ARGS.cert, ARGS.key)
    server.socket = ctx.wrap_socket(server.socket, server_side=True)
    threading.Timer(ARGS.lifetime, server.shutdown).start()
    if ARGS.ready:
        with open(ARGS.ready, "w") as f:
            f.write("ready\n")
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())
