#!/usr/bin/env python3
"""A stand-in for KSeF's REST API 2.0, for tests: one invoice sent with a KSeF token.

    standin.py STATE_DIR [--schemas DIR] [--token NIP[:PERMISSION,...]=TOKEN ...] [--other-root] [--port N]

Serves HTTPS (TLS 1.2 or later) on 127.0.0.1, on an OS-chosen port unless
--port is given, one thread per connection, under the contract's path layout:
the base URL is https://127.0.0.1:PORT/v2 and a client swaps only the host.
--schemas is the FA(3) schema folder with its catalog.xml (default
<repository>/../shared/ksef/schemas). Each --token registers a KSeF token for
the context NIP, with the permissions listed (default InvoiceWrite,InvoiceRead;
sending needs InvoiceWrite, the metadata query and the invoice by KSeF number
InvoiceRead, else 403); the token may contain "|" but no newline. Without one
every authentication fails.

Files in STATE_DIR:
  ca.pem               root of the server certificate: what a client trusts
  server.pem           server certificate (127.0.0.1, localhost), signed by ca.pem
  other-ca.pem         an unrelated root; other-server.pem is signed by it and
                       served instead with --other-root (restart the stand-in
                       with the flag and the same STATE_DIR and --port)
  mf-token.pem         the Ministry's KsefTokenEncryption certificate (RSA 2048)
  mf-symmetric.pem     the Ministry's SymmetricKeyEncryption certificate
  *-key.pem            the matching private keys
  port, base-url       written (atomically) once the server accepts connections
  accepted.json        every accepted invoice: ksefNumber, sellerNip,
                       invoiceNumber (P_2), invoiceType, invoiceHash (SHA-256 of
                       the plain invoice, Base64), sessionReferenceNumber,
                       invoiceReferenceNumber, invoicingDate, acquisitionDate...
  invoices/KSEF.xml    each accepted invoice as received
  knobs.json           fault knobs, written by the test, read at each request
  faults.log           one line "step kind" per fault that fired ("step
                       hold-before" or "step hold-after" for a hold)
Keys, certificates and accepted.json are reused by a restarted stand-in (it
still refuses a duplicate); sessions and bearer tokens are not.

Knobs (knobs.json; a knob's "count" defaults to 1 and is counted down in the
file as it fires, an exhausted knob is removed):
  {"faults": [{"step": "send", "kind": "429", "retryAfter": 2, "count": 1},
              {"step": "open", "kind": "5xx", "status": 503},
              {"step": "send", "kind": "drop"},
              {"step": "send", "kind": "hold", "when": "after", "seconds": 20}],
   "slowInvoiceStatus": {"seconds": 5, "count": 1},
   "refuseToken": {"reason": "revoked", "count": 1},
   "expireAccessToken": {"count": 1}}
  429 / 5xx   answer instead of doing the step (429 with Retry-After seconds)
  drop        do the step, then close the connection without an answer
  hold        keep the request "seconds" (default 20); its faults.log line
              ("send hold-after") is written as the wait begins. "when":
              "before" (the default) then closes the connection without doing
              the step; "after" does the step first and answers after the wait
  slowInvoiceStatus   the next invoices stay "processing" (150) that long
  refuseToken         the next authentications end in status 450; reason
                      revoked, inactive, invalid or time (the documented details)
  expireAccessToken   the access token of the next request expires: 401 from
                      then on, until the client refreshes it
Steps: certs, challenge, auth, auth-status, redeem, refresh, open, send, close,
session-status, invoice-status, list (a session's invoices), upo, query
(invoice metadata), invoice (an invoice by KSeF number); "*" is every step.

Checks, as the Ministry's documents describe KSeF's: the challenge (known,
unused, under 10 minutes old) and the decrypted "token|timestampMs"; bearer
tokens on every call that needs one; the session key and every invoice
decrypted with the stand-in's private keys; SHA-256 and size of the encrypted
(at once, 400 21403/21402) and the plain invoice (status 430); the XML rules
(UTF-8 without BOM, no processing instruction, no discouraged characters: 430),
the FA(3) schema (450), no attachment (415), NIP check digits of every party
(450), seller NIP = context NIP (410), issue date not after the day of receipt
(450), duplicates by seller NIP, invoice kind and number (440, with the
original's KSeF number). An invoice issued before the day it arrives is marked
Offline. Invoices are decrypted with the IV given when the session was opened
(the content carries no IV of its own); a session key that does not decrypt
gives the session status 415 and sending to it 400 21180.

Timing, as in KSeF asynchronous: an authentication ends 0.1 s after it starts
(status 100 until then), an invoice 0.3 s after it arrives (150, or the slow
knob's time); the metadata query and the invoice by KSeF number see it 0.1 s
later. A closed session is 170 until its invoices are done, then 200 with its
UPO page (440 without invoices, 445 without an accepted one). The UPO follows
the v4-3 schema and is not signed (KSeF's carries a XAdES signature).

Errors have the contract's shape (ExceptionResponse, or Problem
Details with "X-Error-Format: problem-details"; 401 and 403 always Problem Details).
One line per request goes to stderr (method, path, status), never a token.
"""
import argparse
import os
import socket
import socketserver
import ssl
import sys
import threading
import traceback
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import urlsplit

sys.dont_write_bytecode = True  # no __pycache__ beside the sources
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from standin_api import Api, Request  # noqa: E402
from standin_pki import write_atomically  # noqa: E402

MAX_BODY = 3000000
DEFAULT_PERMISSIONS = ("InvoiceWrite", "InvoiceRead")


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    timeout = 30

    def setup(self):
        self.request.settimeout(self.timeout)
        # Headers and body leave in separate writes; without this the body waits for a delayed ACK.
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.request = self.server.tls.wrap_socket(self.request, server_side=True)
        super().setup()

    def log_message(self, format, *args):
        pass  # serve() writes one line per request, without headers

    def _answer(self, status, body=b"", content_type="application/json", headers=()):
        self.send_response(status)
        if body or status not in (204, 304):
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(body)))
        for name, value in headers:
            self.send_header(name, value)
        if self.close_connection:
            self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)

    def serve(self):
        path = urlsplit(self.path).path
        outcome = "?"
        try:
            if self.headers.get("Transfer-Encoding"):
                self.close_connection = True
                outcome = 411
                self._answer(411, b"")
                return
            length = int(self.headers.get("Content-Length") or 0)
            if length < 0 or length > MAX_BODY:
                # The body is not read, so the connection cannot carry another request.
                self.close_connection = True
                response = self.server.api.too_large(Request(self, b""), MAX_BODY)
            else:
                body = self.rfile.read(length)
                response = self.server.api.handle(Request(self, body))
            if response.drop:
                self.close_connection = True
                outcome = "%d dropped" % response.status if response.status else "dropped"
                return
            outcome = response.status
            try:
                self._answer(response.status, response.body, response.content_type, response.headers)
            except OSError as error:  # the client left, e.g. killed while a hold kept its answer back
                self.close_connection = True
                outcome = "%d unheard (%s)" % (response.status, type(error).__name__)
        except Exception:
            outcome = 500
            traceback.print_exc(file=sys.stderr)
            self.close_connection = True
            try:
                self._answer(500, b'{"title":"Internal Server Error","status":500}', "application/problem+json")
            except OSError:
                pass
        finally:
            print("standin: %s %s %s" % (self.command, path, outcome), file=sys.stderr, flush=True)

    do_GET = do_POST = do_PUT = do_DELETE = do_PATCH = serve


class Server(ThreadingHTTPServer):
    daemon_threads = True

    def server_bind(self):
        # HTTPServer's own would look up the host name, which can stall without a resolver.
        socketserver.TCPServer.server_bind(self)
        self.server_name, self.server_port = self.server_address[:2]

    def handle_error(self, request, client_address):
        error = sys.exc_info()[1]
        print("standin: connection from %s:%d ended: %s" % (client_address + (error,)), file=sys.stderr, flush=True)


def default_schemas():
    repository = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    return os.path.normpath(os.path.join(repository, "..", "shared", "ksef", "schemas"))


def parse_tokens(values):
    """{token: (NIP, permissions)} from NIP=TOKEN or NIP:PERMISSION,...=TOKEN arguments."""
    tokens = {}
    for value in values:
        owner, sep, token = value.partition("=")
        nip, _, permissions = owner.partition(":")
        if not sep or not token or "\n" in token:
            sys.exit("standin: --token wants NIP=TOKEN or NIP:PERMISSION,...=TOKEN")
        tokens[token] = (nip, permissions.split(",") if permissions else list(DEFAULT_PERMISSIONS))
    return tokens


def main():
    parser = argparse.ArgumentParser(description="KSeF API 2.0 stand-in for tests")
    parser.add_argument("state_dir")
    parser.add_argument("--schemas", default=default_schemas())
    parser.add_argument("--token", action="append", default=[], metavar="NIP[:PERMISSION,...]=TOKEN")
    parser.add_argument("--other-root", action="store_true",
                        help="serve the certificate signed by other-ca.pem")
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    if not os.path.isfile(os.path.join(args.schemas, "schemat.xsd")):
        sys.exit("standin: no FA(3) schema in %s (see --schemas)" % args.schemas)
    os.makedirs(args.state_dir, exist_ok=True)

    api = Api(args.state_dir, args.schemas, parse_tokens(args.token))
    tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    tls.minimum_version = ssl.TLSVersion.TLSv1_2
    tls.load_cert_chain(*api.pki.server_files(args.other_root))

    server = Server(("127.0.0.1", args.port), Handler)
    server.tls = tls
    server.api = api
    port = server.server_address[1]
    api.origin = "https://127.0.0.1:%d" % port
    write_atomically(os.path.join(args.state_dir, "base-url"), (api.origin + "/v2\n").encode("ascii"))
    write_atomically(os.path.join(args.state_dir, "port"), b"%d\n" % port)
    print("standin: listening on %s/v2" % api.origin, file=sys.stderr, flush=True)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        thread.join()
    except KeyboardInterrupt:
        server.shutdown()


if __name__ == "__main__":
    main()
