#!/usr/bin/env python3
"""Many framed peers in one process: `flood_peer.py PORT COUNT` opens COUNT connections to
127.0.0.1:PORT and answers "ok connected COUNT"; then every command line answers one line starting
with "ok" (or "error ..."), the test's handshake.

  frames N SIZE   every connection sends N messages of SIZE bytes (all zero), queued before the answer
  flood SIZE      every connection sends messages of SIZE bytes without end, as fast as its socket takes
"""
import select
import socket
import struct
import sys
import threading


def reply(text):
    sys.stdout.write(text + "\n")
    sys.stdout.flush()


def flood(conns, size):
    """Whole blocks of messages on every connection; a short send keeps its rest for the next turn."""
    block = (struct.pack("<I", size) + bytes(size)) * max(1, 65536 // (4 + size))
    rest = {conn: block for conn in conns}
    for conn in conns:
        conn.setblocking(False)
    while rest:
        _, ready, _ = select.select([], list(rest), [], 0.1)
        for conn in ready:
            try:
                rest[conn] = rest[conn][conn.send(rest[conn]):] or block
            except BlockingIOError:
                pass
            except OSError:
                del rest[conn]


def main():
    port, count = int(sys.argv[1]), int(sys.argv[2])
    conns = [socket.create_connection(("127.0.0.1", port), timeout=60) for _ in range(count)]
    for conn in conns:
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    reply("ok connected %d" % count)
    for line in sys.stdin:
        words = line.split()
        try:
            if words[:1] == ["frames"]:
                message = struct.pack("<I", int(words[2])) + bytes(int(words[2]))
                for conn in conns:
                    conn.sendall(message * int(words[1]))
                reply("ok")
            elif words[:1] == ["flood"]:
                threading.Thread(target=flood, args=(conns, int(words[1])), daemon=True).start()
                reply("ok")
            else:
                reply("error unknown command")
        except OSError as problem:
            reply("error %s" % problem)


if __name__ == "__main__":
    main()
