#!/usr/bin/env python3
"""A small model download endpoint.

Serves GET /vdata.php?fn=KEY from a folder of model archives: the archive for
the key "en-s" is the first file in the folder whose name is "en-s" followed by
an extension ("en-s.zip", "en-s.tar.gz", ...); keys match in any letter case.
The reply carries the archive's MD5 in the header "X-MD5SUM". Any other path
is served as a plain file from the same folder, with its query ignored. A POST
is answered with its own body, for checking what a client sent.

Switches make the server misbehave on purpose, for testing the client:
  --md5 missing|wrong|lower   no checksum, a wrong one, or the header name in
                              lower case ("x-md5sum", as HTTP/2 delivers it)
  --status N                  answer every archive request with status N
  --chunked                   chunked transfer encoding, no Content-Length
  --cut-tar N                 send an (uncompressed) tar archive only up to
                              the header of its entry N (0 is the first),
                              without Content-Length, then close: a transfer
                              dropped between two entries
  --html404                   answer a missing plain file with status 404 and
                              an HTML page that links to a "/download/" page
  --slow SECONDS              pause before every chunk of a body
  --log FILE                  append every request ("METHOD target"), one per
                              line, before it is answered
  --cert FILE --key FILE      speak HTTPS with this certificate

Once listening it prints "PORT <n>" on a line of its own (use --port 0 for a
free port). Python standard library only.
"""

import argparse
import hashlib
import http.server
import os
import re
import signal
import sys
import tarfile
import threading
import time
import urllib.parse

CHUNK = 64 * 1024
KEY_RE = re.compile(r"^[a-z]{2}-[sh]$")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "ModelEndpoint/1.0"

    def log_message(self, fmt, *args):
        pass

    def log_request_line(self):
        if self.server.opts.log:
            with self.server.log_lock, open(self.server.opts.log, "a", encoding="utf-8") as f:
                f.write("%s %s\n" % (self.command, self.path))

    def do_POST(self):
        self.log_request_line()
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        self.log_request_line()

        parts = urllib.parse.urlsplit(self.path)
        if parts.path == "/vdata.php":
            self.serve_model(urllib.parse.parse_qs(parts.query).get("fn", [""])[0])
        else:
            self.serve_static(urllib.parse.unquote(parts.path))

    def serve_model(self, key):
        opts = self.server.opts
        if opts.status:
            self.send_text(opts.status, "error %d\n" % opts.status)
            return
        key = key.lower()
        if not KEY_RE.match(key):
            self.send_text(400, "invalid key\n")
            return
        path = self.find_archive(key)
        if path is None:
            self.send_text(404, "no model for %s\n" % key)
            return
        md5 = self.server.md5_of(path)
        headers = []
        if opts.md5 == "ok":
            headers.append(("X-MD5SUM", md5))
        elif opts.md5 == "lower":
            headers.append(("x-md5sum", md5))
        elif opts.md5 == "wrong":
            headers.append(("X-MD5SUM", hashlib.md5(b"not the archive").hexdigest()))
        self.send_file(path, "application/octet-stream", headers)

    def find_archive(self, key):
        root = self.server.opts.root
        for name in sorted(os.listdir(root)):
            if name.lower().startswith(key + ".") and os.path.isfile(os.path.join(root, name)):
                return os.path.join(root, name)
        return None

    def serve_static(self, path):
        root = os.path.realpath(self.server.opts.root)
        full = os.path.realpath(os.path.join(root, path.lstrip("/")))
        if not full.startswith(root + os.sep) or not os.path.isfile(full):
            if self.server.opts.html404:
                self.send_text(404, '<html><body><h1>Not Found</h1><p>See '
                               '<a href="https://example.com/download/">downloads</a>.</p></body></html>\n',
                               "text/html; charset=utf-8")
            else:
                self.send_text(404, "not found\n")
            return
        self.send_file(full, "text/plain; charset=utf-8", [])

    def send_text(self, status, text, content_type="text/plain; charset=utf-8"):
        body = text.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def send_file(self, path, content_type, headers):
        opts = self.server.opts
        size = os.path.getsize(path)
        cut = None
        if opts.cut_tar is not None and content_type == "application/octet-stream":
            with tarfile.open(path, "r:") as t:
                members = t.getmembers()
            cut = members[opts.cut_tar].offset if opts.cut_tar < len(members) else size
            size = cut
        self.send_response(200)
        self.send_header("Content-Type", content_type)
        for name, value in headers:
            self.send_header(name, value)
        chunked = opts.chunked and cut is None
        if cut is not None:
            # The body's end is the end of the connection.
            self.send_header("Connection", "close")
            self.close_connection = True
        elif chunked:
            self.send_header("Transfer-Encoding", "chunked")
        else:
            self.send_header("Content-Length", str(size))
        self.end_headers()
        self.wfile.flush()
        try:
            with open(path, "rb") as f:
                left = size
                while left > 0:
                    data = f.read(min(CHUNK, left))
                    left -= len(data)
                    if not data:
                        break
                    if opts.slow:
                        time.sleep(opts.slow)
                    if chunked:
                        self.wfile.write(b"%x\r\n%s\r\n" % (len(data), data))
                    else:
                        self.wfile.write(data)
                    self.wfile.flush()
            if chunked:
                self.wfile.write(b"0\r\n\r\n")
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, opts):
        super().__init__((opts.host, opts.port), Handler)
        self.opts = opts
        self.log_lock = threading.Lock()
        self.md5_lock = threading.Lock()
        self.md5_cache = {}

    def md5_of(self, path):
        stamp = (path, os.path.getmtime(path), os.path.getsize(path))
        with self.md5_lock:
            if stamp not in self.md5_cache:
                h = hashlib.md5()
                with open(path, "rb") as f:
                    for block in iter(lambda: f.read(1 << 20), b""):
                        h.update(block)
                self.md5_cache[stamp] = h.hexdigest()
            return self.md5_cache[stamp]


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--root", required=True, help="folder of model archives")
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("--port", type=int, default=8080)
    p.add_argument("--md5", choices=["ok", "missing", "wrong", "lower"], default="ok")
    p.add_argument("--status", type=int, default=0)
    p.add_argument("--chunked", action="store_true")
    p.add_argument("--cut-tar", type=int)
    p.add_argument("--html404", action="store_true")
    p.add_argument("--slow", type=float, default=0.0)
    p.add_argument("--log")
    p.add_argument("--cert")
    p.add_argument("--key")
    opts = p.parse_args()
    if not os.path.isdir(opts.root):
        p.error("%s is not a folder" % opts.root)

    server = Server(opts)
    if opts.cert:
        import ssl
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(opts.cert, opts.key)
        server.socket = ctx.wrap_socket(server.socket, server_side=True)
    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=server.shutdown).start())
    print("PORT %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever(poll_interval=0.05)
    except KeyboardInterrupt:
        pass
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
