#!/usr/bin/python3
"""Loopback HTTP server for the request tests.

Prints its port on the first line of standard output, then serves until killed
or until its standard input closes (the test that started it has gone).
Every request is appended to LOG as one JSON line (method, raw path, headers,
the client's port) before it is answered.

Routes:
  /status/NNN     answers status NNN with a short body
  /hang           never answers
  /slow           answers 200 after half a second
  /zero           a body holding a zero byte
  /<name>.keys    the entry <name> (percent-decoded) of the KEYS JSON file, 404 if absent;
                  an entry of null never answers
  anything else   200 "ok"
"""
import argparse
import json
import os
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def record(self):
        entry = {"method": self.command, "path": self.path, "headers": dict(self.headers.items()),
                 "client_port": self.client_address[1]}
        with self.server.log_lock, open(self.server.log_path, "a") as log:
            log.write(json.dumps(entry) + "\n")

    def answer(self, status, body):
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def route(self):
        self.record()
        path = self.path
        if path.startswith("/status/"):
            self.answer(int(path[len("/status/"):]), b"status body")
        elif path == "/hang":
            time.sleep(3600)
        elif path == "/slow":
            time.sleep(0.5)
            self.answer(200, b"slow")
        elif path == "/zero":
            self.answer(200, b"before\0after")
        elif path.endswith(".keys") and path.count("/") == 1:
            name = urllib.parse.unquote(path[1:-len(".keys")])
            keys = self.server.keys()
            if name in keys and keys[name] is None:
                time.sleep(3600)
            elif name in keys:
                self.answer(200, keys[name].encode())
            else:
                self.answer(404, b"Not Found")
        else:
            self.answer(200, b"ok")

    do_GET = route
    do_DELETE = route


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--log", required=True)
    parser.add_argument("--keys", help="JSON object: user name -> keys body")
    args = parser.parse_args()

    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.log_path = args.log
    server.log_lock = threading.Lock()
    server.keys = lambda: json.load(open(args.keys)) if args.keys else {}
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
