#!/usr/bin/env python3
"""A stand-in for the launcher server, for tests and the demo.

Answers the launcher's POST on 127.0.0.1 (port 8000 by default). What it answers
is read from CONTROL_DIR/mode at every request, so a test can change it between
requests; every request body received is appended to CONTROL_DIR/requests.log,
one line each.

mode file: first line one of
  ok        200 with {"resdata":[{"Type":"pkg","URL":<url>}]}, url from the second line;
            with more lines, one "pkg" entry per line, in their order
  empty     200 with {"resdata":[]}
  nopkg     200 with an entry of another type only
  garbage   200 with a body that is not JSON
  deep      200 with 1,001 nested arrays (valid JSON, deeper than any answer)
  huge      200 with a 2 MiB answer (valid, with a "pkg" entry), without
            Content-Length: it ends when the connection closes
  404       404 with an empty body
A missing mode file means "ok" with the url given by --url.
"""
import argparse
import http.server
import json
import os
import sys


def make_handler(control_dir, default_url):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, fmt, *args):
            pass

        def _mode(self):
            try:
                with open(os.path.join(control_dir, "mode"), encoding="utf-8") as f:
                    lines = f.read().splitlines()
            except FileNotFoundError:
                return "ok", [default_url]
            mode = lines[0].strip() if lines else "ok"
            urls = [line.strip() for line in lines[1:] if line.strip()] or [default_url]
            return mode, urls

        def _answer(self, status, body):
            self.send_response(status)
            self.send_header("Content-Type", "application/json; charset=utf-8")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def do_POST(self):
            length = int(self.headers.get("Content-Length") or 0)
            body = self.rfile.read(length)
            with open(os.path.join(control_dir, "requests.log"), "ab") as log:
                log.write(body.replace(b"\n", b" ") + b"\n")
            mode, urls = self._mode()
            url = urls[-1]
            if mode == "404":
                self._answer(404, b"")
            elif mode == "garbage":
                self._answer(200, b"<html>not json</html>")
            elif mode == "deep":
                self._answer(200, b"[" * 1001 + b"]" * 1001)
            elif mode == "huge":
                answer = {"resdata": [{"Type": "pkg", "URL": url}], "pad": "x" * (2 << 20)}
                self.send_response(200)
                self.send_header("Content-Type", "application/json; charset=utf-8")
                self.send_header("Connection", "close")
                self.end_headers()
                self.wfile.write(json.dumps(answer).encode())
                self.close_connection = True
            elif mode == "empty":
                self._answer(200, json.dumps({"resdata": []}).encode())
            elif mode == "nopkg":
                self._answer(200, json.dumps({"resdata": [{"Type": "apk", "URL": url}]}).encode())
            else:
                answer = {"code": 0, "resdata": [{"Type": "pkg", "URL": u, "md5": "default_md5"} for u in urls]}
                self._answer(200, json.dumps(answer).encode())

        do_GET = do_POST

    return Handler


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--port", type=int, default=8000)
    parser.add_argument("--control-dir", required=True)
    parser.add_argument("--url", default="", help="CDN list URL answered in mode ok")
    parser.add_argument("--pid-file")
    args = parser.parse_args()
    os.makedirs(args.control_dir, exist_ok=True)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), make_handler(args.control_dir, args.url))
    if args.pid_file:
        with open(args.pid_file, "w") as f:
            f.write(str(os.getpid()))
    sys.stdout.write("launcher server stub on 127.0.0.1:%d\n" % args.port)
    sys.stdout.flush()
    server.serve_forever()


if __name__ == "__main__":
    main()
