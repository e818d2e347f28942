#!/usr/bin/env python3
"""Local-socket peers for single_copy_test.sh; runs until killed.

  socket_peer.py listen LOG PATH...        listens on each PATH, one line in LOG per connection
  socket_peer.py flood PATH COUNT MEGABYTES opens COUNT idle connections and one that sends
                                           MEGABYTES of zeros, then prints what it managed
"""
import resource
import select
import socket
import sys
import threading


def listen(log, paths):
    servers = []
    for path in paths:
        server = socket.socket(socket.AF_UNIX)
        server.bind(path)
        server.listen(64)
        servers.append(server)
    print("listening", flush=True)
    while True:
        for server in select.select(servers, [], [])[0]:
            connection, _ = server.accept()
            with open(log, "a") as out:
                out.write(f"connection on {server.getsockname()}\n")
            connection.close()


def flood(path, count, megabytes):
    _, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    sent = [0]
    sender = socket.socket(socket.AF_UNIX)  # kept open, as the idle ones

    def send():
        block = bytes(1 << 20)
        try:
            sender.connect(path)
            for _ in range(megabytes):
                sender.sendall(block)
                sent[0] += len(block)
        except OSError:
            pass  # the program refused or dropped it

    thread = threading.Thread(target=send)
    thread.start()
    idle, refused = [], 0
    for _ in range(count):
        peer = socket.socket(socket.AF_UNIX)
        try:
            peer.connect(path)
            idle.append(peer)
        except OSError:
            refused += 1
    thread.join()
    print(f"idle {len(idle)} refused {refused} sent {sent[0]}", flush=True)
    threading.Event().wait()


if __name__ == "__main__":
    if sys.argv[1] == "listen":
        listen(sys.argv[2], sys.argv[3:])
    else:
        flood(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
