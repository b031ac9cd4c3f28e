"""The checks KSeF makes on a decrypted invoice, in the order the stand-in makes them.

verify() answers either the invoice's facts (for the ledger, the UPO and the
metadata query) or a Refusal with the invoice status code KSeF would report:
430 the file breaks the XML rules, 450 the document fails the schema or a
semantic check, 415 an attachment in an interactive session, 410 the seller
is not the session's context. Duplicates (440) need the ledger and are left
to the caller.
"""
import os
import re
import subprocess
import xml.etree.ElementTree as ElementTree
import xml.parsers.expat
from decimal import Decimal, InvalidOperation

from standin_records import nip_is_valid, warsaw_date

FA_NAMESPACE = "http://crd.gov.pl/wzor/2025/06/25/13775/"
MAX_INVOICE_SIZE = 1000000

# Characters the XML recommendation discourages, which KSeF refuses outright.
_DISCOURAGED = re.compile("[\x7f-\x84\x86-\x9f\ufdd0-\ufdef" + "".join(
    "%s-%s" % (chr(plane * 0x10000 + 0xFFFE), chr(plane * 0x10000 + 0xFFFF)) for plane in range(1, 17)) + "]")
_DECLARED_ENCODING = re.compile(rb"^<\?xml[^>]*?encoding\s*=\s*[\"']([^\"']*)[\"']")

FILE_ERROR = (430, "Błąd weryfikacji pliku faktury")
SEMANTIC_ERROR = (450, "Błąd weryfikacji semantyki dokumentu faktury")
ATTACHMENT_ERROR = (415, "Brak możliwości wysyłania faktury z załącznikiem")
PERMISSION_ERROR = (410, "Nieprawidłowy zakres uprawnień")

INVOICE_TYPES = {"VAT": "Vat", "ZAL": "Zal", "KOR": "Kor", "ROZ": "Roz", "UPR": "Upr",
                 "KOR_ZAL": "KorZal", "KOR_ROZ": "KorRoz"}


class Refusal(Exception):
    def __init__(self, status, *details):
        super().__init__(status[1])
        self.code, self.description = status
        self.details = list(details)


def _check_xml_rules(plain):
    """UTF-8 without a byte-order mark, a UTF-8 prolog if any, well-formed, no DTD, no processing instruction."""
    if plain.startswith(b"\xef\xbb\xbf"):
        raise Refusal(FILE_ERROR, "Plik zawiera znacznik BOM.")
    declared = _DECLARED_ENCODING.match(plain)
    if declared and declared.group(1).lower() not in (b"utf-8", b"utf8"):
        raise Refusal(FILE_ERROR, "Prolog XML wskazuje kodowanie inne niż UTF-8.")
    try:
        text = plain.decode("utf-8")
    except UnicodeDecodeError as error:
        raise Refusal(FILE_ERROR, "Plik nie jest zapisany w UTF-8 (bajt %d)." % error.start)
    bad = _DISCOURAGED.search(text)
    if bad:
        raise Refusal(FILE_ERROR, "Niedozwolony znak U+%04X." % ord(bad.group()))

    parser = xml.parsers.expat.ParserCreate()

    def refuse(what):
        raise Refusal(FILE_ERROR, "Dokument zawiera niedozwoloną %s." % what)
    parser.ProcessingInstructionHandler = lambda target, data: refuse("instrukcję przetwarzania " + target)
    # A DTD could declare entities; KSeF's documents have none, so parsing stops before anything expands.
    parser.StartDoctypeDeclHandler = lambda *args: refuse("deklarację DOCTYPE")
    try:
        parser.Parse(plain, True)
    except xml.parsers.expat.ExpatError as error:
        raise Refusal(FILE_ERROR, "Dokument nie jest poprawnym XML: %s." % error)


def _check_schema(plain, schemas):
    env = dict(os.environ, XML_CATALOG_FILES=os.path.join(schemas, "catalog.xml"))
    result = subprocess.run(["xmllint", "--nonet", "--noout", "--schema", os.path.join(schemas, "schemat.xsd"), "-"],
                            input=plain, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    if result.returncode != 0:
        lines = [line for line in result.stderr.decode("utf-8", "replace").splitlines()
                 if line and not line.endswith("fails to validate")]
        raise Refusal(SEMANTIC_ERROR, *(lines[:5] or ["Dokument niezgodny ze schematem FA(3)."]))


def _text(node, path):
    found = node.find(path, {"fa": FA_NAMESPACE}) if node is not None else None
    return found.text.strip() if found is not None and found.text else None


def _amount(value):
    try:
        return float(Decimal(value)) if value else 0.0
    except InvalidOperation:
        return 0.0


def _facts(root):
    fa = root.find("fa:Fa", {"fa": FA_NAMESPACE})
    buyer = root.find("fa:Podmiot2", {"fa": FA_NAMESPACE})
    buyer_nip = _text(buyer, "fa:DaneIdentyfikacyjne/fa:NIP")
    buyer_eu = _text(buyer, "fa:DaneIdentyfikacyjne/fa:NrVatUE")
    buyer_other = _text(buyer, "fa:DaneIdentyfikacyjne/fa:NrID")
    if buyer_nip:
        identifier = {"type": "Nip", "value": buyer_nip}
    elif buyer_eu:
        identifier = {"type": "VatUe", "value": buyer_eu}
    elif buyer_other:
        identifier = {"type": "Other", "value": buyer_other}
    else:
        identifier = {"type": "None"}
    net = vat = 0.0
    for child in list(fa):
        name = child.tag.split("}")[-1]
        if re.fullmatch(r"P_13_\d+", name):
            net += _amount(child.text)
        elif re.fullmatch(r"P_14_\d+", name):
            vat += _amount(child.text)
    kind = _text(fa, "fa:RodzajFaktury")
    return {"sellerNip": _text(root, "fa:Podmiot1/fa:DaneIdentyfikacyjne/fa:NIP"),
            "sellerName": _text(root, "fa:Podmiot1/fa:DaneIdentyfikacyjne/fa:Nazwa"),
            "buyer": {"identifier": identifier, "name": _text(buyer, "fa:DaneIdentyfikacyjne/fa:Nazwa")},
            "invoiceNumber": _text(fa, "fa:P_2"), "invoiceType": kind,
            "queryInvoiceType": INVOICE_TYPES.get(kind, kind), "issueDate": _text(fa, "fa:P_1"),
            "currency": _text(fa, "fa:KodWaluty"), "netAmount": round(net, 2), "vatAmount": round(vat, 2),
            "grossAmount": _amount(_text(fa, "fa:P_15"))}


def _tax_numbers(root):
    """(where, NIP) of every party whose NIP KSeF checks, the NIP part of an internal id included."""
    ns = {"fa": FA_NAMESPACE}
    for party in ("Podmiot1", "Podmiot2", "Podmiot3", "PodmiotUpowazniony"):
        for node in root.findall("fa:" + party, ns):
            nip = _text(node, "fa:DaneIdentyfikacyjne/fa:NIP")
            if nip:
                yield party, nip
            internal = _text(node, "fa:DaneIdentyfikacyjne/fa:IDWew")
            if internal:
                yield party + " IDWew", internal.split("-")[0]


def verify(plain, context_nip, received, schemas):
    """The facts of an invoice KSeF would take from this context at this moment; Refusal otherwise."""
    if len(plain) > MAX_INVOICE_SIZE:
        raise Refusal(FILE_ERROR, "Rozmiar faktury przekracza %d bajtów." % MAX_INVOICE_SIZE)
    _check_xml_rules(plain)
    _check_schema(plain, schemas)
    root = ElementTree.fromstring(plain)
    if root.find(".//fa:Zalacznik", {"fa": FA_NAMESPACE}) is not None:
        raise Refusal(ATTACHMENT_ERROR, "Faktury z załącznikiem można wysyłać tylko w sesji wsadowej.")
    for where, nip in _tax_numbers(root):
        if not nip_is_valid(nip):
            raise Refusal(SEMANTIC_ERROR, "Nieprawidłowa suma kontrolna numeru NIP %s (%s)." % (nip, where))
    facts = _facts(root)
    if facts["sellerNip"] != context_nip:
        raise Refusal(PERMISSION_ERROR, "NIP sprzedawcy %s nie jest NIP-em kontekstu %s."
                      % (facts["sellerNip"], context_nip))
    if facts["issueDate"] > warsaw_date(received).isoformat():
        raise Refusal(SEMANTIC_ERROR, "Data wystawienia %s jest późniejsza niż data przyjęcia %s."
                      % (facts["issueDate"], warsaw_date(received).isoformat()))
    return facts
