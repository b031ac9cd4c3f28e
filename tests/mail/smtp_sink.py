#!/usr/bin/env python3
"""A local SMTP server for the tests.

Listens on 127.0.0.1 on a free port, writes the port into the ready file once
it accepts connections, and saves every message it accepts into the folder as
NNNN.eml (the message bytes) with NNNN.rcpt (the envelope recipients, one a
line). With --refuse it answers every message with 554 instead; with
--delay SECONDS it answers each message only after that long, so that several
senders are inside a delivery at once.
"""
import argparse
import asyncio
import os
import socket

from aiosmtpd.smtp import SMTP


class Sink:
    def __init__(self, folder, refuse, delay):
        self.folder = folder
        self.refuse = refuse
        self.delay = delay
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        if self.delay:
            await asyncio.sleep(self.delay)
        if self.refuse:
            return "554 5.7.1 Message refused"
        self.count += 1
        base = os.path.join(self.folder, "%04d" % self.count)
        content = envelope.original_content or envelope.content
        with open(base + ".rcpt.tmp", "w") as f:
            f.write("\n".join(envelope.rcpt_tos) + "\n")
        os.replace(base + ".rcpt.tmp", base + ".rcpt")
        with open(base + ".tmp", "wb") as f:
            f.write(content)
        os.replace(base + ".tmp", base + ".eml")
        return "250 2.0.0 OK"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("ready_file")
    parser.add_argument("--refuse", action="store_true")
    parser.add_argument("--delay", type=float, default=0.0)
    args = parser.parse_args()
    os.makedirs(args.folder, exist_ok=True)

    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.bind(("127.0.0.1", 0))
    sock.listen(8)
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    handler = Sink(args.folder, args.refuse, args.delay)
    loop.run_until_complete(loop.create_server(lambda: SMTP(handler), sock=sock))
    with open(args.ready_file + ".tmp", "w") as f:
        f.write("%d\n" % sock.getsockname()[1])
    os.replace(args.ready_file + ".tmp", args.ready_file)
    loop.run_forever()


if __name__ == "__main__":
    main()
