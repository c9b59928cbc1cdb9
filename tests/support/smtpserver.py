#!/usr/bin/env python3
"""An SMTP server on the loopback address for the sending tests.

Modes:
  starttls  aiosmtpd: STARTTLS required, AUTH after it (PLAIN, LOGIN)
  smtps     aiosmtpd: TLS from the start, AUTH
  plain     aiosmtpd: no TLS, AUTH allowed in the clear (a local relay)
  silent    accepts connections and never answers
  drop      answers up to DATA, then closes the connection mid-message

The server's certificate is issued by a CA made here (trustme); the CA's
certificate goes to --ca. The port, once listening, goes to --port-file.
Each message received is written to --out as a JSON file: the envelope,
the raw bytes and the decoded header fields and body (Python's email
package with its iso2022_jp codec).
"""
import argparse
import asyncio
import email
import email.policy
import json
import logging
import os
import ssl
import sys
import warnings

parser = argparse.ArgumentParser()
parser.add_argument("--mode", default="starttls")
parser.add_argument("--port-file", required=True)
parser.add_argument("--ca")
parser.add_argument("--out", default=".")
parser.add_argument("--user", default="writer")
parser.add_argument("--password", default="secret")
parser.add_argument("--refuse", action="append", default=[])
args = parser.parse_args()
# aiosmtpd 1.4 warns of its own deprecated names.
warnings.simplefilter("ignore")
# Refused handshakes and sessions are what some tests are about: not logged.
logging.getLogger("mail.log").setLevel(logging.CRITICAL)


def server_context():
    import trustme

    ca = trustme.CA()
    cert = ca.issue_cert("127.0.0.1", "localhost")
    ca.cert_pem.write_to_path(args.ca)
    ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    cert.configure_cert(ctx)
    return ctx


def decoded(content):
    msg = email.message_from_bytes(content, policy=email.policy.default)
    fields = {name.lower(): str(msg[name]) for name in msg.keys()}
    return {
        "fields": fields,
        "charset": msg.get_content_charset(),
        "body": msg.get_content(),
    }


class Handler:
    count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in args.refuse:
            return "550 5.1.1 <%s>: Recipient address rejected" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        Handler.count += 1
        content = envelope.original_content
        record = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "raw": content.decode("ascii", "replace"),
            "tls": server.transport.get_extra_info("ssl_object") is not None,
        }
        record.update(decoded(content))
        path = os.path.join(args.out, "message%d.json" % Handler.count)
        with open(path + ".part", "w", encoding="utf-8") as f:
            json.dump(record, f, ensure_ascii=False)
        os.replace(path + ".part", path)
        return "250 2.0.0 Queued"


def authenticator(server, session, envelope, mechanism, auth_data):
    from aiosmtpd.smtp import AuthResult, LoginPassword

    ok = (
        isinstance(auth_data, LoginPassword)
        and auth_data.login == args.user.encode()
        and auth_data.password == args.password.encode()
    )
    # handled=False: aiosmtpd answers 535 itself.
    return AuthResult(success=ok, handled=False)


async def silent(reader, writer):
    await reader.read()  # never answers; ends when the client goes


async def drop(reader, writer):
    async def say(line):
        writer.write(line.encode() + b"\r\n")
        await writer.drain()

    await say("220 localhost ESMTP")
    while True:
        line = await reader.readline()
        if not line:
            break
        verb = line.split()[0].upper() if line.split() else b""
        if verb == b"EHLO":
            await say("250-localhost")
            await say("250 8BITMIME")
        elif verb == b"DATA":
            await say("354 End data with <CR><LF>.<CR><LF>")
            await reader.read(10)
            break
        elif verb == b"QUIT":
            await say("221 Bye")
            break
        else:
            await say("250 OK")
    writer.transport.abort()


async def main():
    from aiosmtpd.smtp import SMTP

    loop = asyncio.get_running_loop()
    if args.mode == "silent":
        server = await asyncio.start_server(silent, "127.0.0.1", 0)
    elif args.mode == "drop":
        server = await asyncio.start_server(drop, "127.0.0.1", 0)
    else:
        ctx = server_context() if args.mode in ("starttls", "smtps") else None
        handler = Handler()

        def factory():
            return SMTP(
                handler,
                hostname="localhost",
                tls_context=ctx if args.mode == "starttls" else None,
                require_starttls=args.mode == "starttls",
                authenticator=authenticator,
                auth_required=True,
                # aiosmtpd takes TLS from the start for none: smtps and
                # the local relay allow AUTH without STARTTLS.
                auth_require_tls=args.mode == "starttls",
                decode_data=False,
            )

        server = await loop.create_server(
            factory, "127.0.0.1", 0, ssl=ctx if args.mode == "smtps" else None
        )
    port = server.sockets[0].getsockname()[1]
    with open(args.port_file + ".part", "w") as f:
        f.write(str(port))
    os.replace(args.port_file + ".part", args.port_file)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
