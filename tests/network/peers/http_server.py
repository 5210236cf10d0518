#!/usr/bin/env python3
"""Python's own HTTP server on 127.0.0.1 at a free port, serving a folder; prints "port N"."""
import functools
import http.server
import sys

handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=sys.argv[1])
handler.func.log_message = lambda *args: None
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
print("port %d" % server.server_address[1], flush=True)
server.serve_forever()
