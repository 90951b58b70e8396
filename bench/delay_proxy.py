#!/usr/bin/env python3
"""A TCP proxy that delays every byte by a fixed time in each direction, for
benchmarks that need a network round trip on a machine without netem.

    delay_proxy.py LISTEN_PORT TARGET_PORT [ONE_WAY_MS]   (default 10 ms each way)

Bytes keep their order; nothing limits the bandwidth. A half-close is passed
on after the bytes before it.
"""
import asyncio
import socket
import sys


async def forward(reader, writer, delay):
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def deliver():
        while True:
            due, data = await queue.get()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if data is None:
                break
            writer.write(data)
            await writer.drain()
        if writer.can_write_eof():
            writer.write_eof()

    delivery = asyncio.create_task(deliver())
    try:
        while True:
            data = await reader.read(1 << 16)
            await queue.put((loop.time() + delay, data or None))
            if not data:
                break
    except (ConnectionError, OSError):
        await queue.put((loop.time(), None))
    try:
        await delivery
    except (ConnectionError, OSError):
        pass


async def serve(client_reader, client_writer, target_port, delay):
    try:
        server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target_port)
    except OSError:
        client_writer.close()
        return
    for w in (client_writer, server_writer):
        sock = w.get_extra_info("socket")
        if sock is not None:
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    await asyncio.gather(forward(client_reader, server_writer, delay),
                         forward(server_reader, client_writer, delay))
    for w in (client_writer, server_writer):
        w.close()


async def main():
    listen_port, target_port = int(sys.argv[1]), int(sys.argv[2])
    delay = (float(sys.argv[3]) if len(sys.argv) > 3 else 10.0) / 1000.0
    server = await asyncio.start_server(
        lambda r, w: serve(r, w, target_port, delay), "127.0.0.1", listen_port, backlog=1024)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
