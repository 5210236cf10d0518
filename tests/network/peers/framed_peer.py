#!/usr/bin/env python3
"""A scripted peer on loopback (framed messages, or raw bytes as an HTTP server would send them), driven line by line on stdin.

Started as `framed_peer.py connect PORT [COUNT]` (opens COUNT connections, 1 by default, to
127.0.0.1:PORT) or `framed_peer.py listen` (binds 127.0.0.1 on a free port, prints "port N", accepts one
connection); `framed_peer.py serve LINES` is an HTTP server that prints "port N" and answers each request
with a head of LINES header lines and a 2-byte body in one send. Every command answers one line starting
with "ok" (or "error ..."), which is the test's handshake. "frames" and "flood" go to every connection, the
others to the first.
"""
import fcntl
import random
import socket
import struct
import sys
import termios
import threading
import time


def reply(text):
    sys.stdout.write(text + "\n")
    sys.stdout.flush()


def recv_exact(conn, n):
    data = bytearray()
    while len(data) < n:
        piece = conn.recv(n - len(data))
        if not piece:
            raise EOFError("closed after %d of %d bytes" % (len(data), n))
        data += piece
    return bytes(data)


def pattern(n, seed):
    """(seed + i * 7) & 0xFF for i in range(n); it repeats every 256 bytes."""
    cycle = bytes((seed + i * 7) & 0xFF for i in range(256))
    return (cycle * (n // 256 + 1))[:n]


def send_fragmented(conn, data, rng):
    at = 0
    while at < len(data):
        step = rng.choice((1, 2, 3, 5, 64, 1000, 4096, 65536))
        conn.sendall(data[at:at + step])
        at += step


def soak(conn, count, seed, max_size):
    """Sends count random messages in random pieces; reads the echo (framed as the other side
    chose) and checks every header against its payload and the whole stream against what went."""
    rng = random.Random(seed)
    sent = bytearray()
    for _ in range(count):
        payload = rng.randbytes(rng.randint(0, max_size))
        sent += payload
        send_fragmented(conn, struct.pack("<I", len(payload)) + payload, rng)
    echoed = bytearray()
    messages = 0
    while len(echoed) < len(sent):
        (length,) = struct.unpack("<I", recv_exact(conn, 4))
        echoed += recv_exact(conn, length)
        messages += 1
    if echoed != sent:
        return "error soak stream differs"
    return "ok soak %d %d" % (len(sent), messages)


def flood(conn, block):
    """Sends block without end, as fast as the socket takes it, until the connection goes."""
    conn.settimeout(None)
    try:
        while True:
            conn.sendall(block)
    except OSError:
        pass


def serve_heads(lines):
    """Answers every request head, on a thread per connection, with the whole response at once."""
    server = socket.create_server(("127.0.0.1", 0), backlog=128)
    response = ("HTTP/1.0 200 OK\r\n" + "".join("X-Line-%d: v\r\n" % i for i in range(lines)) +
                "Content-Length: 2\r\n\r\nok").encode()

    def answer(conn):
        with conn, conn.makefile("rb") as head:
            try:
                while (line := head.readline()) not in (b"\r\n", b""):
                    pass
                if line:
                    conn.sendall(response)
                    conn.recv(1)  # until the client goes
            except OSError:
                pass

    reply("port %d" % server.getsockname()[1])
    while True:
        conn, _ = server.accept()
        threading.Thread(target=answer, args=(conn,), daemon=True).start()


def main():
    if sys.argv[1] == "serve":
        serve_heads(int(sys.argv[2]))
        return
    if sys.argv[1] == "listen":
        server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        server.bind(("127.0.0.1", 0))
        server.listen(1)
        server.settimeout(30)
        reply("port %d" % server.getsockname()[1])
        conns = [server.accept()[0]]
        server.close()
    else:
        count = int(sys.argv[3]) if len(sys.argv) > 3 else 1
        conns = [socket.create_connection(("127.0.0.1", int(sys.argv[2])), timeout=60) for _ in range(count)]
    for conn in conns:
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        conn.settimeout(30)
    conn = conns[0]
    reply("ok connected")
    for line in sys.stdin:
        words = line.split()
        if not words:
            continue
        command, args = words[0], words[1:]
        try:
            if command == "send":
                conn.sendall(bytes.fromhex(args[0]))
                reply("ok")
            elif command == "frame":
                size, seed = int(args[0]), int(args[1]) if len(args) > 1 else 0
                conn.sendall(struct.pack("<I", size) + pattern(size, seed))
                reply("ok")
            elif command == "framehead":
                size, seed, part = int(args[0]), int(args[1]), int(args[2])
                rest = pattern(size, seed)
                conn.sendall(struct.pack("<I", size) + rest[:part])
                rest = rest[part:]
                reply("ok")
            elif command == "framerest":
                conn.sendall(rest)
                reply("ok")
            elif command == "frames":
                count, size = int(args[0]), int(args[1])
                for each in conns:
                    each.sendall((struct.pack("<I", size) + pattern(size, 0)) * count)
                reply("ok")
            elif command == "flood":
                size = int(args[0])
                block = (struct.pack("<I", size) + pattern(size, 0)) * (65536 // (4 + size) + 1)
                for each in conns:
                    threading.Thread(target=flood, args=(each, block), daemon=True).start()
                reply("ok")
            elif command == "checkframe":
                (length,) = struct.unpack("<I", recv_exact(conn, 4))
                same = recv_exact(conn, length) == pattern(length, int(args[0]))
                reply(("ok %d" if same else "error %d bytes differ") % length)
            elif command == "acked":
                # Waits until the other side's socket has acknowledged every byte sent.
                deadline = time.monotonic() + 20
                unacked = lambda: struct.unpack("i", fcntl.ioctl(conn.fileno(), termios.TIOCOUTQ, b"\0" * 4))[0]
                while unacked() > 0 and time.monotonic() < deadline:
                    time.sleep(0.001)
                reply("ok" if unacked() == 0 else "error %d bytes unacknowledged" % unacked())
            elif command == "shutwr":
                conn.shutdown(socket.SHUT_WR)
                reply("ok")
            elif command == "read":
                reply("ok " + recv_exact(conn, int(args[0])).hex())
            elif command == "readhead":
                head = bytearray()
                while not (head.endswith(b"\r\n\r\n") or head.endswith(b"\n\n")):
                    head += recv_exact(conn, 1)
                reply("ok " + head.hex())
            elif command == "readframe":
                (length,) = struct.unpack("<I", recv_exact(conn, 4))
                reply("ok %d %s" % (length, recv_exact(conn, length).hex()))
            elif command == "soak":
                reply(soak(conn, int(args[0]), int(args[1]), int(args[2])))
            elif command == "close":
                conn.close()
                reply("ok")
            elif command == "reset":
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                conn.close()
                reply("ok")
            elif command == "quit":
                reply("ok")
                return
            else:
                reply("error unknown command")
        except (OSError, EOFError) as problem:
            reply("error %s" % problem)


if __name__ == "__main__":
    main()
