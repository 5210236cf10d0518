#!/usr/bin/env python3
"""busybox httpd on 127.0.0.1 at a free port: each connection is served by `busybox httpd -i` (one
request on the accepted socket) over the given folder, its cgi-bin included; prints "port N"."""
import socket
import subprocess
import sys

server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
server.bind(("127.0.0.1", 0))
server.listen(8)
print("port %d" % server.getsockname()[1], flush=True)
while True:
    conn, _ = server.accept()
    subprocess.Popen(["busybox", "httpd", "-i", "-h", sys.argv[1]], stdin=conn, stdout=conn,
                     stderr=subprocess.DEVNULL, cwd=sys.argv[1])
    conn.close()
