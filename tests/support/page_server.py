#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# A development server as tests need one: renders ROOT/templates/base.html on every request
# ({% static 'x' %} -> /static/x, {{ marker }} -> "signed-in" for a visitor who sends back the
# session cookie set on the first visit), links a stale /static/css/main.css and serves a click
# counter script and a sheet of its own. A form posted anywhere is sent on to /posted?BODY at its
# own origin, with the Origin it came with in X-Seen-Origin. Usage: page_server.py ROOT [PORT
# [tls]]; prints the port it listens on. With "tls" it speaks HTTPS with a certificate of its
# own, made in ROOT, that no one trusts.
import http.server
import os
import re
import ssl
import subprocess
import sys

root = sys.argv[1]
STALE = b"body { color: rgb(255, 0, 0); }"
SITE = b"p {\n  margin: 0;\n}\n#marker { font-weight: bold; }\n"
COUNTER = b"document.addEventListener('click', () => { window.count = (window.count || 0) + 1;" \
          b" document.body.dataset.count = window.count; }); document.body.dataset.script = 'ran';"


class Handler(http.server.BaseHTTPRequestHandler):
    def send(self, status, kind, body, cookie=None):
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        if cookie:
            self.send_header("Set-Cookie", cookie)
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        path = self.path.split("?")[0]
        if path == "/static/css/main.css":
            return self.send(200, "text/css", STALE)
        if path == "/static/css/site.css":
            return self.send(200, "text/css", SITE)
        if path == "/static/js/counter.js":
            return self.send(200, "text/javascript", COUNTER)
        if path != "/":
            return self.send(404, "text/plain", b"not found")
        try:
            with open(os.path.join(root, "templates", "base.html"), encoding="utf-8") as file:
                page = file.read()
        except OSError:
            return self.send(500, "text/plain", b"no template")
        signed = "session=visitor" in (self.headers.get("Cookie") or "")
        page = re.sub(r"\{% static '([^']*)' %\}", r"/static/\1", page)
        page = page.replace("{{ marker }}", "signed-in" if signed else "")
        self.send(200, "text/html; charset=utf-8", page.encode(), None if signed else "session=visitor; Path=/")

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length") or 0)).decode()
        if self.path != "/form":
            return self.do_GET()  # a form shown again, as with errors in it
        self.send_response(303)
        self.send_header("Location", "http://127.0.0.1:%d/posted?%s" % (self.server.server_address[1], body))
        self.send_header("X-Seen-Origin", self.headers.get("Origin") or "")
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[2]) if len(sys.argv) > 2 else 0), Handler)
if len(sys.argv) > 3 and sys.argv[3] == "tls":
    key, cert = os.path.join(root, "key.pem"), os.path.join(root, "cert.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1",
                    "-keyout", key, "-out", cert], check=True, capture_output=True)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
print(server.server_address[1], flush=True)
server.serve_forever()
