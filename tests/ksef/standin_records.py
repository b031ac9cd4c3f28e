"""What the KSeF stand-in numbers, signs, records and reads from its state folder.

Reference numbers and KSeF numbers in KSeF's layout, the bearer tokens (JWT,
HS256 under a key that lives only in memory), the ledger of accepted invoices
(accepted.json), the fault knobs (knobs.json) and the UPO document.
"""
import base64
import datetime
import hashlib
import hmac
import json
import os
import secrets
import sys
import threading
from xml.sax.saxutils import escape

from standin_pki import write_atomically

try:
    from zoneinfo import ZoneInfo
    WARSAW = ZoneInfo("Europe/Warsaw")
except Exception:  # no time-zone data: UTC, wrong by an hour or two around midnight only
    WARSAW = datetime.timezone.utc


def now():
    return datetime.datetime.now(datetime.timezone.utc)


def iso(moment):
    """ISO 8601 with milliseconds and offset, as KSeF writes its dates."""
    return moment.astimezone(datetime.timezone.utc).isoformat(timespec="milliseconds")


def warsaw_date(moment):
    return moment.astimezone(WARSAW).date()


def crc8(data):
    """CRC-8, polynomial 0x07, initial value 0: the check of a KSeF number."""
    crc = 0
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = ((crc << 1) ^ 0x07) & 0xFF if crc & 0x80 else (crc << 1) & 0xFF
    return crc


def reference_number(kind, moment=None):
    """YYYYMMDD-KK-XXXXXXXXXX-XXXXXXXXXX-CC: challenges CR, auth AU, sessions SO, invoices EE, UPO EU."""
    body = "%s-%s-%s-%s" % (warsaw_date(moment or now()).strftime("%Y%m%d"), kind,
                            secrets.token_hex(5).upper(), secrets.token_hex(5).upper())
    return "%s-%02X" % (body, crc8(body.encode("ascii")))


def ksef_number(seller_nip, moment):
    body = "%s-%s-%s" % (seller_nip, warsaw_date(moment).strftime("%Y%m%d"), secrets.token_hex(6).upper())
    return "%s-%02X" % (body, crc8(body.encode("ascii")))


def nip_is_valid(nip):
    """Ten digits whose weighted sum modulo 11 is the last digit (10 is never valid)."""
    if len(nip) != 10 or not nip.isdigit():
        return False
    total = sum(w * int(d) for w, d in zip((6, 5, 7, 2, 3, 4, 5, 6, 7), nip))
    return total % 11 == int(nip[9])


def token_reference(token):
    """The reference number of a KSeF token: its own leading part when it has one, else one derived from it."""
    head = token.split("|", 1)[0]
    if len(head) == 36 and head[8] == "-" and head[11] == "-":
        return head
    digest = hashlib.sha256(token.encode("utf-8")).hexdigest().upper()
    body = "%s-EC-%s-%s" % (warsaw_date(now()).strftime("%Y%m%d"), digest[:10], digest[10:20])
    return "%s-%02X" % (body, crc8(body.encode("ascii")))


def _b64url(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode("ascii")


class Signer:
    """Issues and checks the bearer tokens; a restarted stand-in no longer knows earlier ones."""

    def __init__(self):
        self.key = secrets.token_bytes(32)

    def issue(self, claims):
        header = _b64url(json.dumps({"alg": "HS256", "typ": "JWT"}).encode())
        payload = _b64url(json.dumps(dict(claims, jti=secrets.token_hex(8), iss="ksef-standin")).encode())
        signature = hmac.new(self.key, ("%s.%s" % (header, payload)).encode(), hashlib.sha256).digest()
        return "%s.%s.%s" % (header, payload, _b64url(signature))

    def claims(self, token):
        """The claims of a token this stand-in signed and that has not expired, else None."""
        parts = token.split(".")
        if len(parts) != 3:
            return None
        expected = hmac.new(self.key, ("%s.%s" % (parts[0], parts[1])).encode(), hashlib.sha256).digest()
        if not hmac.compare_digest(_b64url(expected).encode(), parts[2].encode("utf-8", "replace")):
            return None
        claims = json.loads(base64.urlsafe_b64decode(parts[1] + "=" * (-len(parts[1]) % 4)))
        if claims.get("exp", 0) < now().timestamp():
            return None
        return claims


class Ledger:
    """Every accepted invoice, kept in accepted.json (rewritten whole, atomically, on each acceptance)."""

    def __init__(self, folder):
        self.path = os.path.join(folder, "accepted.json")
        self.invoice_folder = os.path.join(folder, "invoices")
        os.makedirs(self.invoice_folder, exist_ok=True)
        self.records = []
        if os.path.exists(self.path):
            with open(self.path, encoding="utf-8") as f:
                self.records = json.load(f)

    def duplicate_of(self, seller_nip, invoice_type, invoice_number):
        for record in self.records:
            if (record["sellerNip"], record["invoiceType"], record["invoiceNumber"]) == (
                    seller_nip, invoice_type, invoice_number):
                return record
        return None

    def add(self, record, plain):
        write_atomically(os.path.join(self.invoice_folder, record["ksefNumber"] + ".xml"), plain)
        self.records.append(record)
        write_atomically(self.path, json.dumps(self.records, indent=1, ensure_ascii=False).encode("utf-8"))

    def by_ksef_number(self, number):
        return next((r for r in self.records if r["ksefNumber"] == number), None)

    def invoice_bytes(self, record):
        with open(os.path.join(self.invoice_folder, record["ksefNumber"] + ".xml"), "rb") as f:
            return f.read()


class Knobs:
    """Fault knobs from knobs.json, read at each request; a knob that fires is counted down in the file.

    A fault that fires is also written to faults.log, one line "step kind" ("step
    hold-before" or "step hold-after" for a hold), so a test can tell that it
    happened; the line is written before the fault takes effect.
    """

    def __init__(self, folder):
        self.path = os.path.join(folder, "knobs.json")
        self.log_path = os.path.join(folder, "faults.log")
        self.lock = threading.Lock()

    def _read(self):
        try:
            with open(self.path, encoding="utf-8") as f:
                knobs = json.load(f)
            return knobs if isinstance(knobs, dict) else {}
        except FileNotFoundError:
            return {}
        except (ValueError, OSError) as error:
            print("standin: knobs.json ignored: %s" % error, file=sys.stderr)
            return {}

    def _fired(self, knobs, line):
        write_atomically(self.path, json.dumps(knobs, indent=1).encode("utf-8"))
        with open(self.log_path, "a", encoding="utf-8") as f:
            f.write(line + "\n")
        print("standin: fault %s" % line, file=sys.stderr)

    def take_fault(self, step):
        """The first fault entry for this step ("*" matches every step), counted down; None when none."""
        with self.lock:
            knobs = self._read()
            faults = knobs.get("faults") or []
            for entry in faults:
                if isinstance(entry, dict) and entry.get("step") in (step, "*") and entry.get("count", 1) > 0:
                    entry["count"] = entry.get("count", 1) - 1
                    knobs["faults"] = [f for f in faults if not isinstance(f, dict) or f.get("count", 1) > 0]
                    kind = entry.get("kind")
                    if kind == "hold":
                        kind = "hold-after" if entry.get("when") == "after" else "hold-before"
                    self._fired(knobs, "%s %s" % (step, kind))
                    return entry
            return None

    def take(self, name):
        """The knob of this name (an object with an optional count, default 1), counted down; None when unset."""
        with self.lock:
            knobs = self._read()
            entry = knobs.get(name)
            if not isinstance(entry, dict) or entry.get("count", 1) <= 0:
                return None
            entry["count"] = entry.get("count", 1) - 1
            if entry["count"] <= 0:
                del knobs[name]
            self._fired(knobs, "%s -" % name)
            return entry


def upo_xml(session_ref, context_nip, token_ref, documents, page=None):
    """A receipt in the layout of UPO v4-3: one Dokument per accepted invoice, a page header for a session UPO.

    The range's end is the last document's number, as in the Ministry's examples (the schema's note says exclusive).
    """
    lines = ['<?xml version="1.0" encoding="utf-8"?>',
             '<Potwierdzenie xmlns="http://upo.schematy.mf.gov.pl/KSeF/v4-3" wersjaSchemy="4-3">',
             "<NazwaPodmiotuPrzyjmujacego>Ministerstwo Finansów</NazwaPodmiotuPrzyjmujacego>",
             "<NumerReferencyjnySesji>%s</NumerReferencyjnySesji>" % session_ref,
             "<Uwierzytelnienie><IdKontekstu><Nip>%s</Nip></IdKontekstu>" % escape(context_nip),
             "<NumerReferencyjnyTokenaKSeF>%s</NumerReferencyjnyTokenaKSeF></Uwierzytelnienie>" % token_ref]
    if page:
        lines.append("<OpisPotwierdzenia><Strona>1</Strona><LiczbaStron>1</LiczbaStron>"
                     "<ZakresDokumentowOd>1</ZakresDokumentowOd><ZakresDokumentowDo>%d</ZakresDokumentowDo>"
                     "<CalkowitaLiczbaDokumentow>%d</CalkowitaLiczbaDokumentow></OpisPotwierdzenia>"
                     % (len(documents), len(documents)))
    lines.append("<NazwaStrukturyLogicznej>Schemat_FA(3)_v1-0E.xsd</NazwaStrukturyLogicznej>")
    lines.append("<KodFormularza>FA (3)</KodFormularza>")
    for r in documents:
        lines.append("<Dokument><NipSprzedawcy>%s</NipSprzedawcy><NumerKSeFDokumentu>%s</NumerKSeFDokumentu>"
                     "<NumerFaktury>%s</NumerFaktury><DataWystawieniaFaktury>%s</DataWystawieniaFaktury>"
                     "<DataPrzeslaniaDokumentu>%s</DataPrzeslaniaDokumentu>"
                     "<DataNadaniaNumeruKSeF>%s</DataNadaniaNumeruKSeF><SkrotDokumentu>%s</SkrotDokumentu>"
                     "<TrybWysylki>%s</TrybWysylki></Dokument>"
                     % (r["sellerNip"], r["ksefNumber"], escape(r["invoiceNumber"]), r["issueDate"],
                        r["invoicingDate"], r["acquisitionDate"], r["invoiceHash"], r["invoicingMode"]))
    lines.append("</Potwierdzenie>")
    return ("\n".join(lines) + "\n").encode("utf-8")
