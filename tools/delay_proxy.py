#!/usr/bin/env python3
"""A TCP relay on 127.0.0.1 that adds network latency, for benchmarks.

    delay_proxy.py <target-port> <round-trip-ms>

Listens on a free port (printed on the first line of standard output) and
relays every connection to 127.0.0.1:<target-port>. Each connection waits
one round trip before its first byte, as a TCP handshake does, and every
piece of data is delivered half a round trip after it arrived, in order, in
both directions.
"""

import asyncio
import sys


async def relay(reader, writer, delay):
    queue = asyncio.Queue()

    async def deliver():
        loop = asyncio.get_running_loop()
        while True:
            due, data = await queue.get()
            await asyncio.sleep(max(0.0, due - loop.time()))
            if data is None:
                break
            writer.write(data)
            await writer.drain()
        writer.close()

    sender = asyncio.create_task(deliver())
    loop = asyncio.get_running_loop()
    try:
        while data := await reader.read(65536):
            queue.put_nowait((loop.time() + delay, data))
    except ConnectionError:
        pass
    queue.put_nowait((loop.time() + delay, None))
    try:
        await sender
    except ConnectionError:
        pass


async def main():
    target, round_trip = int(sys.argv[1]), float(sys.argv[2]) / 1000

    async def accept(client_reader, client_writer):
        await asyncio.sleep(round_trip)
        server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target)
        await asyncio.gather(relay(client_reader, server_writer, round_trip / 2),
                             relay(server_reader, client_writer, round_trip / 2))

    server = await asyncio.start_server(accept, "127.0.0.1", 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
