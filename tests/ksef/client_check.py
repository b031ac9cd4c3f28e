#!/usr/bin/env python3
"""Checks the KSeF stand-in with a client of its own: the whole flow once, then refusals and faults.

    client_check.py [--keep DIR]

Starts standin.py on a scratch state folder (DIR with --keep, kept afterwards),
sends the Ministry's example invoices with their seller and numbers changed in
memory, and exits 0 when every case passed, 1 when one failed, 77 when
../shared/ksef (next to the repository) is missing.
"""
import argparse
import base64
import concurrent.futures
import datetime
import hashlib
import http.client
import json
import os
import re
import secrets
import shutil
import ssl
import subprocess
import sys
import tempfile
import time
from urllib.parse import urlsplit
from zoneinfo import ZoneInfo

from cryptography import x509
from cryptography.hazmat.primitives import hashes, padding
from cryptography.hazmat.primitives.asymmetric import padding as rsa_padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

sys.dont_write_bytecode = True  # no __pycache__ beside the sources
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from standin_records import crc8  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SHARED = os.path.normpath(os.path.join(HERE, "..", "..", "..", "shared", "ksef"))
EXAMPLE = os.path.join(SHARED, "examples", "FA_3_Przykład_1.xml")
CORRECTION = os.path.join(SHARED, "examples", "FA_3_Przykład_2.xml")
UPO_SCHEMA = os.path.join(SHARED, "api", "faktury", "upo", "schemy", "upo-v4-3.xsd")
NIP, TOKEN = "5265877635", "20261201-EC-0123456789-ABCDEF0123-4C|nip-5265877635|" + secrets.token_hex(16)
OTHER_NIP, OTHER_TOKEN = "9999999999", "other-" + secrets.token_hex(8)
WRITE_ONLY_TOKEN = "write-only-" + secrets.token_hex(8)
SKIP = 77


class Client:
    def __init__(self, base_url, cafile):
        self.base_url, self.cafile = base_url, cafile
        parts = urlsplit(base_url)
        self.host, self.port, self.base = parts.hostname, parts.port, parts.path
        self.tls = ssl.create_default_context(cafile=cafile)
        self.access = self.refresh_token = None

    def call(self, method, path, body=None, token=None, headers=None):
        """(status, headers, body bytes); path is under the base URL unless it is a whole URL."""
        connection = http.client.HTTPSConnection(self.host, self.port, context=self.tls, timeout=20)
        sent = dict(headers or {})
        if token:
            sent["Authorization"] = "Bearer " + token
        data = None
        if body is not None:
            data = body if isinstance(body, bytes) else json.dumps(body).encode()
            sent["Content-Type"] = "application/json"
        target = urlsplit(path)
        url = target.path + ("?" + target.query if target.query else "") if target.scheme else self.base + path
        try:
            connection.request(method, url, data, sent)
            response = connection.getresponse()
            return response.status, response.headers, response.read()
        finally:
            connection.close()

    def json(self, method, path, body=None, token=None, expect=200, headers=None):
        status, _, data = self.call(method, path, body, token or self.access, headers)
        check(status == expect, "%s %s: %d, wanted %d: %s" % (method, path, status, expect, data[:300]))
        return json.loads(data) if data else None

    def keys(self):
        listed = self.json("GET", "/security/public-key-certificates")
        return {entry["usage"][0]: x509.load_der_x509_certificate(base64.b64decode(entry["certificate"])).public_key()
                for entry in listed}

    def start_auth(self, nip, token, stamp_shift=0, challenge=None):
        challenge = challenge or self.json("POST", "/auth/challenge")
        plain = ("%s|%d" % (token, challenge["timestampMs"] + stamp_shift)).encode()
        encrypted = oaep(self.keys()["KsefTokenEncryption"], plain)
        answer = self.json("POST", "/auth/ksef-token", {
            "challenge": challenge["challenge"], "contextIdentifier": {"type": "Nip", "value": nip},
            "encryptedToken": base64.b64encode(encrypted).decode()}, expect=202)
        return answer["referenceNumber"], answer["authenticationToken"]["token"]

    def auth_status(self, number, operation):
        for _ in range(100):
            status = self.json("GET", "/auth/" + number, token=operation)["status"]
            if status["code"] != 100:
                return status
            time.sleep(0.05)
        raise Failure("authentication still in progress")

    def login(self, nip=NIP, token=TOKEN):
        number, operation = self.start_auth(nip, token)
        status = self.auth_status(number, operation)
        check(status["code"] == 200, "authentication: %s" % status)
        tokens = self.json("POST", "/auth/token/redeem", token=operation)
        self.access, self.refresh_token = tokens["accessToken"]["token"], tokens["refreshToken"]["token"]

    def open_session(self):
        key, iv = os.urandom(32), os.urandom(16)
        answer = self.json("POST", "/sessions/online", {
            "formCode": {"systemCode": "FA (3)", "schemaVersion": "1-0E", "value": "FA"},
            "encryption": {"encryptedSymmetricKey": base64.b64encode(oaep(self.keys()["SymmetricKeyEncryption"],
                                                                          key)).decode(),
                           "initializationVector": base64.b64encode(iv).decode()}}, expect=201)
        return Session(self, answer["referenceNumber"], key, iv)


class Session:
    def __init__(self, client, number, key, iv):
        self.client, self.number, self.key, self.iv = client, number, key, iv

    def send(self, plain, spoil=None):
        """(status, body) of sending plain; spoil(request) may damage the request first."""
        padder = padding.PKCS7(128).padder()
        encryptor = Cipher(algorithms.AES(self.key), modes.CBC(self.iv)).encryptor()
        encrypted = encryptor.update(padder.update(plain) + padder.finalize()) + encryptor.finalize()
        request = {"invoiceHash": sha256(plain), "invoiceSize": len(plain), "encryptedInvoiceHash": sha256(encrypted),
                   "encryptedInvoiceSize": len(encrypted),
                   "encryptedInvoiceContent": base64.b64encode(encrypted).decode()}
        if spoil:
            spoil(request)
        status, _, data = self.client.call("POST", "/sessions/online/%s/invoices" % self.number, request,
                                           self.client.access)
        return status, json.loads(data)

    def invoice_status(self, number, wait=True):
        for _ in range(200):
            view = self.client.json("GET", "/sessions/%s/invoices/%s" % (self.number, number))
            if not wait or view["status"]["code"] not in (100, 150):
                return view
            time.sleep(0.05)
        raise Failure("invoice %s still processing" % number)

    def submit(self, plain, spoil=None):
        status, body = self.send(plain, spoil)
        check(status == 202, "send: %d %s" % (status, body))
        return self.invoice_status(body["referenceNumber"])


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def eventually(fetch, done, what):
    """fetch() until done(answer): an invoice reaches the metadata query only once it is stored for good."""
    for _ in range(60):
        answer = fetch()
        if done(answer):
            return answer
        time.sleep(0.05)
    raise Failure("%s: %s" % (what, answer))


def oaep(public_key, data):
    return public_key.encrypt(data, rsa_padding.OAEP(mgf=rsa_padding.MGF1(hashes.SHA256()), algorithm=hashes.SHA256(),
                                                     label=None))


def sha256(data):
    return base64.b64encode(hashlib.sha256(data).digest()).decode()


def today():
    """The day in Poland, which decides KSeF's dates."""
    return datetime.datetime.now(ZoneInfo("Europe/Warsaw")).date()


def invoice(number, seller=NIP, issued=None, edit=None, example=EXAMPLE):
    """An example (a VAT invoice by default) with this seller, number (P_2) and issue date (P_1, default today)."""
    with open(example, encoding="utf-8") as f:
        text = f.read()
    text = text.replace("<NIP>9999999999</NIP>", "<NIP>%s</NIP>" % seller, 1)
    text = re.sub(r"<P_2>[^<]*</P_2>", "<P_2>%s</P_2>" % number, text)
    text = re.sub(r"<P_1>[^<]*</P_1>", "<P_1>%s</P_1>" % (issued or today()).isoformat(), text)
    return (edit(text) if edit else text).encode("utf-8")


def validate_upo(data):
    with tempfile.NamedTemporaryFile(suffix=".xml") as f:
        f.write(data)
        f.flush()
        result = subprocess.run(["xmllint", "--nonet", "--noout", "--schema", UPO_SCHEMA, f.name],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    check(result.returncode == 0, "UPO fails its schema: %s" % result.stdout.decode(errors="replace"))


class Harness:
    def __init__(self, state):
        self.state = state
        self.log = open(os.path.join(state, "standin.log"), "ab")
        self.process = None
        self.port = 0

    def start(self, *extra):
        port_file = os.path.join(self.state, "port")
        if os.path.exists(port_file):
            os.remove(port_file)
        self.process = subprocess.Popen([sys.executable, os.path.join(HERE, "standin.py"), self.state, "--token",
                                         "%s=%s" % (NIP, TOKEN), "--token", "%s=%s" % (OTHER_NIP, OTHER_TOKEN),
                                         "--token", "%s:InvoiceWrite=%s" % (NIP, WRITE_ONLY_TOKEN),
                                         "--port", str(self.port)] + list(extra), stderr=self.log)
        for _ in range(300):
            if os.path.exists(port_file):
                with open(port_file) as f:
                    self.port = int(f.read())
                with open(os.path.join(self.state, "base-url")) as f:
                    return f.read().strip()
            check(self.process.poll() is None, "the stand-in exited early")
            time.sleep(0.05)
        raise Failure("the stand-in did not start")

    def stop(self):
        if self.process:
            self.process.terminate()
            self.process.wait(10)

    def knobs(self, **knobs):
        path = os.path.join(self.state, "knobs.json")
        with open(path + ".tmp", "w") as f:
            json.dump(knobs, f)
        os.replace(path + ".tmp", path)

    def accepted(self):
        with open(os.path.join(self.state, "accepted.json"), encoding="utf-8") as f:
            return json.load(f)


def whole_flow(harness, client):
    """One invoice: accepted, its KSeF number, invoice and session UPO, the ledger, the lookups."""
    client.login()
    session = client.open_session()
    plain = invoice("KW/1/2026")
    view = session.submit(plain)
    check(view["status"]["code"] == 200, "status %s" % view["status"])
    number = view["ksefNumber"]
    check(crc8(b"5265877635-20250826-0100001AF629") == 0xAF, "CRC-8 of the documented example")
    check(re.fullmatch(r"%s-%s-[0-9A-F]{12}-[0-9A-F]{2}" % (NIP, today().strftime("%Y%m%d")), number)
          and int(number[-2:], 16) == crc8(number[:32].encode()), "KSeF number %s" % number)
    check(view["invoicingMode"] == "Online" and view["invoiceHash"] == sha256(plain), "view %s" % view)

    status, headers, upo = client.call("GET", "/sessions/%s/invoices/%s/upo" % (session.number,
                                                                               view["referenceNumber"]),
                                       token=client.access)
    check(status == 200 and number.encode() in upo and headers["x-ms-meta-hash"] == sha256(upo), "UPO %d" % status)
    validate_upo(upo)
    status, _, linked = client.call("GET", view["upoDownloadUrl"])
    check(status == 200 and linked == upo, "UPO by its link without a token: %d" % status)

    client.json("POST", "/sessions/online/%s/close" % session.number, expect=204)
    closed = client.json("GET", "/sessions/" + session.number)
    check(closed["status"]["code"] == 200 and closed["successfulInvoiceCount"] == 1, "session %s" % closed)
    status, _, session_upo = client.call("GET", closed["upo"]["pages"][0]["downloadUrl"])
    check(status == 200 and number.encode() in session_upo, "session UPO %d" % status)
    validate_upo(session_upo)

    eventually(lambda: client.json("POST", "/invoices/query/metadata?pageSize=10", {
        "subjectType": "Subject1", "invoiceNumber": "KW/1/2026",
        "dateRange": {"dateType": "Invoicing", "from": (today() - datetime.timedelta(days=1)).isoformat() + "T00:00"}}),
        lambda found: [i["ksefNumber"] for i in found["invoices"]] == [number], "metadata query")
    status, _, stored = client.call("GET", "/invoices/ksef/" + number, token=client.access)
    check(status == 200 and stored == plain, "invoice by KSeF number: %d" % status)
    records = harness.accepted()
    check(len(records) == 1 and records[0]["ksefNumber"] == number and records[0]["invoiceNumber"] == "KW/1/2026"
          and records[0]["invoiceHash"] == sha256(plain), "accepted.json %s" % records)
    return number


def bad_hash(request):
    request["invoiceHash"] = sha256(b"something else")


def bad_encrypted_hash(request):
    request["encryptedInvoiceHash"] = sha256(b"something else")


# name, invoice maker, spoil, HTTP status of the send, (invoice status code, text in its details) or (error code,)
INVOICE_REFUSALS = [
    ("plain hash wrong", lambda: invoice("KW/R/1"), bad_hash, 202, (430, "Skrót")),
    ("encrypted hash wrong", lambda: invoice("KW/R/2"), bad_encrypted_hash, 400, (21403,)),
    ("seller NIP check digit wrong", lambda: invoice("KW/R/3", seller="5265877636"), None, 202, (450, "5265877636")),
    ("seller not the session's context", lambda: invoice("KW/R/4", seller=OTHER_NIP), None, 202, (410, OTHER_NIP)),
    ("duplicate of the accepted invoice", lambda: invoice("KW/1/2026"), None, 202, (440, "Duplikat")),
    ("schema-invalid document", lambda: invoice("KW/R/6", edit=lambda t: t.replace("<KodKraju>PL", "<KodKraju>XX", 1)),
     None, 202, (450, "KodKraju")),
    ("issued after the day of receipt", lambda: invoice("KW/R/7", issued=today() + datetime.timedelta(days=2)), None,
     202, (450, "Data")),
    ("prolog naming another encoding",
     lambda: invoice("KW/R/11", edit=lambda t: t.replace('encoding="UTF-8"', 'encoding="ISO-8859-2"', 1)), None, 202,
     (430, "UTF-8")),
    ("byte-order mark", lambda: b"\xef\xbb\xbf" + invoice("KW/R/8"), None, 202, (430, "BOM")),
    ("processing instruction",
     lambda: invoice("KW/R/9", edit=lambda t: t.replace("<Naglowek>", "<?pi x?><Naglowek>", 1)), None, 202,
     (430, "instrukcj")),
]


def invoice_refusals(harness, client, first_number):
    session = client.open_session()
    sent = [(case, session.send(case[1](), case[2])) for case in INVOICE_REFUSALS]  # all processed at once
    for (name, _, _, http_status, expected), (status, body) in sent:
        check(status == http_status, "%s: HTTP %d %s" % (name, status, body))
        if status == 400:
            check(body["exception"]["exceptionDetailList"][0]["exceptionCode"] == expected[0], "%s: %s" % (name, body))
            continue
        view = session.invoice_status(body["referenceNumber"])
        details = " ".join(view["status"].get("details") or [])
        check(view["status"]["code"] == expected[0] and expected[1] in details, "%s: %s" % (name, view["status"]))
        check("ksefNumber" not in view, "%s: refused but numbered" % name)
        if expected[0] == 440:
            check(view["status"]["extensions"]["originalKsefNumber"] == first_number, "%s: %s" % (name, view))
    offline = session.submit(invoice("KW/R/10", issued=today() - datetime.timedelta(days=3)))
    check(offline["status"]["code"] == 200 and offline["invoicingMode"] == "Offline", "back-dated %s" % offline)
    correction = session.submit(invoice("KW/1/2026", example=CORRECTION))
    check(correction["status"]["code"] == 200, "a correction numbered like a VAT invoice: %s" % correction["status"])
    check(len(harness.accepted()) == 3, "refused invoices reached accepted.json")


def concurrent_duplicates(harness, client):
    """The same invoice sent six times at once is accepted once."""
    session = client.open_session()
    plain = invoice("KW/C/1")
    with concurrent.futures.ThreadPoolExecutor(6) as pool:
        answers = list(pool.map(lambda _: session.send(plain), range(6)))
    codes = sorted(session.invoice_status(body["referenceNumber"])["status"]["code"] for _, body in answers)
    check(codes == [200] + [440] * 5, "concurrent sends: %s" % codes)
    check(sum(r["invoiceNumber"] == "KW/C/1" for r in harness.accepted()) == 1, "accepted.json after them")


def auth_refusals(harness, client):
    """A wrong token, a wrong timestamp, a reused challenge, a missing or foreign bearer token."""
    for token, shift, detail in [("not-a-token", 0, "Nieprawidłowy token"), (TOKEN, 1, "Nieprawidłowy czas tokena")]:
        number, operation = client.start_auth(NIP, token, shift)
        status = client.auth_status(number, operation)
        check(status["code"] == 450 and status["details"] == [detail], "%s: %s" % (detail, status))
        redeemed = client.call("POST", "/auth/token/redeem", token=operation)
        check(redeemed[0] == 400, "refused authentication redeemed: %d" % redeemed[0])
    number, operation = client.start_auth(OTHER_NIP, TOKEN)
    check(client.auth_status(number, operation)["code"] == 415, "token of one NIP let into another's context")
    challenge = client.json("POST", "/auth/challenge")
    client.start_auth(NIP, TOKEN, challenge=challenge)
    status, _, data = client.call("POST", "/auth/ksef-token", {
        "challenge": challenge["challenge"], "contextIdentifier": {"type": "Nip", "value": NIP},
        "encryptedToken": base64.b64encode(oaep(client.keys()["KsefTokenEncryption"], b"x|1")).decode()})
    check(status == 400 and b"21111" in data, "challenge used twice: %d" % status)
    check(client.call("POST", "/sessions/online", {})[0] == 401, "no bearer token accepted")
    check(client.call("POST", "/sessions/online", {}, token=operation)[0] == 401, "operation token used as access")
    writer = Client(client.base_url, client.cafile)
    writer.login(token=WRITE_ONLY_TOKEN)
    status, _, data = writer.call("POST", "/invoices/query/metadata", {}, token=writer.access)
    check(status == 403 and json.loads(data)["reasonCode"] == "missing-permissions", "query without InvoiceRead")
    problem = client.call("POST", "/auth/ksef-token", b"{not json", headers={"X-Error-Format": "problem-details"})
    check(problem[0] == 400 and json.loads(problem[2])["errors"][0]["code"] == 21405, "malformed JSON: %s" % (problem,))


def knobs(harness, client):
    """Each fault knob once, and what a client sees of it."""
    session = client.open_session()
    harness.knobs(faults=[{"step": "send", "kind": "429", "retryAfter": 7}])
    status, body = session.send(invoice("KW/K/1"))
    check(status == 429 and body["status"]["code"] == 429, "429: %d %s" % (status, body))
    check(session.submit(invoice("KW/K/1"))["status"]["code"] == 200, "after 429")

    harness.knobs(faults=[{"step": "open", "kind": "5xx", "status": 502}])
    check(client.call("POST", "/sessions/online", {}, token=client.access)[0] == 502, "5xx knob")

    harness.knobs(faults=[{"step": "send", "kind": "drop"}])
    try:
        session.send(invoice("KW/K/2"))
        raise Failure("the dropped answer arrived")
    except (http.client.HTTPException, ConnectionError, ssl.SSLError):
        pass
    eventually(lambda: client.json("POST", "/invoices/query/metadata", {
        "subjectType": "Subject1", "invoiceNumber": "KW/K/2",
        "dateRange": {"dateType": "PermanentStorage", "from": today().isoformat() + "T00:00:00"}}),
        lambda found: len(found["invoices"]) == 1, "invoice of the dropped answer not found")
    again = session.submit(invoice("KW/K/2"))
    check(again["status"]["code"] == 440, "second send after a lost answer: %s" % again["status"])

    harness.knobs(slowInvoiceStatus={"seconds": 0.5})
    status, body = session.send(invoice("KW/K/3"))
    check(session.invoice_status(body["referenceNumber"], wait=False)["status"]["code"] == 150, "slow status")
    check(session.invoice_status(body["referenceNumber"])["status"]["code"] == 200, "slow status never ended")

    harness.knobs(refuseToken={"reason": "revoked"})
    number, operation = client.start_auth(NIP, TOKEN)
    status = client.auth_status(number, operation)
    check(status["code"] == 450 and status["details"] == ["Token unieważniony"], "revoked token: %s" % status)

    harness.knobs(expireAccessToken={})
    check(client.call("GET", "/sessions/" + session.number, token=client.access)[0] == 401, "expired token")
    check(client.call("GET", "/sessions/" + session.number, token=client.access)[0] == 401, "expired token revived")
    client.access = client.json("POST", "/auth/token/refresh", token=client.refresh_token)["accessToken"]["token"]
    client.json("GET", "/sessions/" + session.number)

    with open(os.path.join(harness.state, "faults.log")) as f:
        fired = f.read().split("\n")
    check(fired[:3] == ["send 429", "open 5xx", "send drop"], "faults.log %s" % fired)
    check(len(harness.accepted()) == 7, "accepted.json after the knobs: %d" % len(harness.accepted()))


def other_root(harness, client):
    harness.stop()
    url = harness.start("--other-root")
    try:
        Client(url, os.path.join(harness.state, "ca.pem")).call("POST", "/auth/challenge")
        raise Failure("a certificate from another root was trusted")
    except ssl.SSLCertVerificationError:
        pass
    Client(url, os.path.join(harness.state, "other-ca.pem")).json("POST", "/auth/challenge")
    harness.stop()
    Client(harness.start(), os.path.join(harness.state, "ca.pem")).json("POST", "/auth/challenge")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--keep", help="state folder to use and keep")
    args = parser.parse_args()
    if not os.path.isfile(EXAMPLE):
        print("SKIP: %s not found" % SHARED)
        return SKIP
    state = args.keep or tempfile.mkdtemp(prefix="ksef-standin-")
    os.makedirs(state, exist_ok=True)
    harness = Harness(state)
    failures = 0
    try:
        try:
            client = Client(harness.start(), os.path.join(state, "ca.pem"))
        except Failure as error:
            with open(os.path.join(state, "standin.log"), encoding="utf-8", errors="replace") as f:
                print("FAIL %s:\n%s" % (error, f.read()[-2000:]))
            return 1
        first = None
        for name, case in [("whole flow", lambda: whole_flow(harness, client)),
                           ("invoice refusals", lambda: invoice_refusals(harness, client, first)),
                           ("concurrent duplicates", lambda: concurrent_duplicates(harness, client)),
                           ("authentication refusals", lambda: auth_refusals(harness, client)),
                           ("fault knobs", lambda: knobs(harness, client)),
                           ("certificate from another root", lambda: other_root(harness, client))]:
            try:
                started = time.monotonic()
                result = case()
                first = first or result
                print("ok   %s (%.1f s)" % (name, time.monotonic() - started))
            except Exception as error:
                failures += 1
                print("FAIL %s: %s: %s" % (name, type(error).__name__, error))
    finally:
        harness.stop()
        harness.log.close()
    with open(os.path.join(state, "standin.log"), encoding="utf-8") as f:
        log = f.read()
    if any(secret in log for secret in (TOKEN.split("|")[-1], OTHER_TOKEN, WRITE_ONLY_TOKEN, "Bearer")):
        failures += 1
        print("FAIL the stand-in's log shows a token")
    if not args.keep:
        shutil.rmtree(state, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
