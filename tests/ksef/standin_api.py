"""The KSeF stand-in's API: routes, bearer tokens, faults and the handling of each call.

Field names, status codes and error shapes follow the contract (open-api.json);
the behaviour follows the Ministry's integrator guide. Everything shared
between threads is changed under one lock; decryption and the schema check run
outside it.
"""
import base64
import binascii
import datetime
import hashlib
import json
import re
import secrets
import threading
import time
from http import HTTPStatus
from urllib.parse import parse_qs, urlsplit

import standin_checks
from standin_pki import Pki, aes_decrypt
from standin_records import (Knobs, Ledger, Signer, iso, ksef_number, now, reference_number, token_reference,
                             upo_xml, warsaw_date, WARSAW)

BASE = "/v2"
REF = r"(\d{8}-[0-9A-Z]{2}-[0-9A-F]{10}-[0-9A-F]{10}-[0-9A-F]{2})"
KSEF = r"(\d{10}-\d{8}-[0-9A-F]{6}-?[0-9A-F]{6}-[0-9A-F]{2})"
NIP = re.compile(r"[1-9]((\d[1-9])|([1-9]\d))\d{7}")
# Permissions the contract names for the calls of sending (WRITE) and of reading invoices (READ).
WRITE = ("InvoiceWrite", "Introspection", "PefInvoiceWrite", "EnforcementOperations")
READ = ("InvoiceRead",)
FORM_FA3 = {"systemCode": "FA (3)", "schemaVersion": "1-0E", "value": "FA"}
SECOND = datetime.timedelta(seconds=1)
CHALLENGE_LIFETIME = 600 * SECOND
OPERATION_LIFETIME = 3600 * SECOND
ACCESS_LIFETIME = 900 * SECOND
REFRESH_LIFETIME = 7 * 86400 * SECOND
SESSION_LIFETIME = 12 * 3600 * SECOND
LINK_LIFETIME = 3 * 86400 * SECOND
# Authentication and invoice processing are asynchronous in KSeF; a short delay makes a client poll.
AUTH_DELAY = 0.1 * SECOND
INVOICE_DELAY = 0.3 * SECOND
MAX_SESSION_INVOICES = 10000

AUTH_REFUSALS = {"revoked": "Token unieważniony", "inactive": "Token nieaktywny",
                 "invalid": "Nieprawidłowy token", "time": "Nieprawidłowy czas tokena"}
TOKEN_FAILED = "Uwierzytelnianie zakończone niepowodzeniem z powodu błędnego tokenu"
INPUT_ERROR = (21405, "Błąd walidacji danych wejściowych.")
NO_SESSION = (21173, "Brak sesji o wskazanym numerze referencyjnym.")
SESSION_STATE = (21180, "Status sesji nie pozwala na wykonanie operacji.")
NO_UPO = (21178, "Nie znaleziono UPO dla podanych kryteriów.")
NOT_AUTHORIZED = (21301, "Brak autoryzacji.")


class ApiError(Exception):
    def __init__(self, error, *details, status=400):
        super().__init__(error[1])
        self.status, self.code, self.description, self.details = status, error[0], error[1], list(details)


class Unauthorized(Exception):
    pass


class Forbidden(Exception):
    def __init__(self, required, present):
        super().__init__("Brak wymaganych uprawnień do wykonania operacji w bieżącym kontekście.")
        self.security = {"requiredAnyOfPermissions": list(required), "presentPermissions": list(present)}


class Request:
    def __init__(self, handler, body):
        parts = urlsplit(handler.path)
        self.method, self.path, self.body = handler.command, parts.path, body
        self.query = {k: v[-1] for k, v in parse_qs(parts.query).items()}
        self.headers = handler.headers
        self.client_ip = handler.client_address[0]
        self.problem = (self.headers.get("X-Error-Format") or "").lower() == "problem-details"


class Response:
    def __init__(self, status, body=b"", content_type="application/json", headers=(), drop=False):
        self.status, self.body, self.content_type, self.headers, self.drop = (
            status, body, content_type, list(headers), drop)


def json_response(status, value):
    return Response(status, json.dumps(value, ensure_ascii=False).encode("utf-8"))


def xml_response(data):
    digest = base64.b64encode(hashlib.sha256(data).digest()).decode("ascii")
    return Response(200, data, "application/xml", [("x-ms-meta-hash", digest)])


def _status(code, description, details=None, extensions=None):
    status = {"code": code, "description": description}
    if details:
        status["details"] = details
    if extensions:
        status["extensions"] = extensions
    return status


def _b64decode(value, field):
    try:
        if not isinstance(value, str):
            raise ValueError
        return base64.b64decode(value, validate=True)
    except (ValueError, binascii.Error):
        raise ApiError(INPUT_ERROR, "Pole %s nie jest poprawnym ciągiem Base64." % field)


def _json_body(request, *required):
    try:
        body = json.loads(request.body.decode("utf-8"))
    except (UnicodeDecodeError, ValueError, RecursionError) as error:
        raise ApiError(INPUT_ERROR, "Treść żądania nie jest poprawnym JSON: %s" % error)
    if not isinstance(body, dict):
        raise ApiError(INPUT_ERROR, "Treść żądania musi być obiektem JSON.")
    for name in required:
        if body.get(name) is None:
            raise ApiError(INPUT_ERROR, "Pole %s jest wymagane." % name)
    return body


def _check_key_id(key_id, key):
    """A client may name the key it encrypted with; a name other than the published key's is refused."""
    if key_id is not None and key_id != key.public_key_id:
        raise ApiError((21470, "Przesłany identyfikator klucza jest nieznany lub wskazuje na wycofany klucz."),
                       "Klucz o identyfikatorze %s nie jest wspierany." % key_id)


def _parse_date(value, field):
    try:
        moment = datetime.datetime.fromisoformat(value)
    except (TypeError, ValueError):
        raise ApiError(INPUT_ERROR, "Pole %s nie jest datą ISO 8601." % field)
    return moment if moment.tzinfo else moment.replace(tzinfo=WARSAW)


class Api:
    def __init__(self, folder, schemas, tokens):
        self.schemas = schemas
        self.tokens = tokens
        self.pki = Pki(folder)
        self.signer = Signer()
        self.ledger = Ledger(folder)
        self.knobs = Knobs(folder)
        self.lock = threading.Lock()
        self.origin = ""
        self.challenges, self.auths, self.sessions, self.invoices, self.links = {}, {}, {}, {}, {}
        self.expired = set()
        self.routes = [(method, re.compile(BASE + pattern + "$"), step, handler) for method, pattern, step, handler in [
            ("GET", "/security/public-key-certificates", "certs", self.certificates),
            ("POST", "/auth/challenge", "challenge", self.challenge),
            ("POST", "/auth/ksef-token", "auth", self.authenticate),
            ("POST", "/auth/token/redeem", "redeem", self.redeem),
            ("POST", "/auth/token/refresh", "refresh", self.refresh),
            ("GET", "/auth/" + REF, "auth-status", self.auth_status),
            ("POST", "/sessions/online", "open", self.open_session),
            ("POST", "/sessions/online/%s/invoices" % REF, "send", self.send),
            ("POST", "/sessions/online/%s/close" % REF, "close", self.close),
            ("GET", "/sessions/" + REF, "session-status", self.session_status),
            ("GET", "/sessions/%s/invoices" % REF, "list", self.session_invoices),
            ("GET", "/sessions/%s/invoices/failed" % REF, "list", self.failed_invoices),
            ("GET", "/sessions/%s/invoices/%s" % (REF, REF), "invoice-status", self.invoice_status),
            ("GET", "/sessions/%s/invoices/%s/upo" % (REF, REF), "upo", self.invoice_upo),
            ("GET", "/sessions/%s/invoices/ksef/%s/upo" % (REF, KSEF), "upo", self.invoice_upo_by_number),
            ("GET", "/sessions/%s/upo/%s" % (REF, REF), "upo", self.session_upo),
            ("POST", "/invoices/query/metadata", "query", self.query_metadata),
            ("GET", "/invoices/ksef/" + KSEF, "invoice", self.invoice_by_number)]]
        self.routes.append(("GET", re.compile(r"/storage/upo/([0-9a-f]{32})$"), "upo", self.storage))

    # ----- dispatch, errors, faults

    def handle(self, request):
        matching = [(method, step, handler, match) for method, pattern, step, handler in self.routes
                    for match in [pattern.match(request.path)] if match]
        chosen = [route for route in matching if route[0] == request.method]
        if not chosen:
            if matching:
                return self._problem(request, 405, "Method Not Allowed", "Metoda nie jest obsługiwana.")
            return self._problem(request, 404, "Not Found", "Nie ma takiego zasobu.")
        _, step, handler, match = chosen[0]
        fault = self.knobs.take_fault(step)
        hold = None
        if fault and fault.get("kind") == "hold":
            hold = "after" if fault.get("when") == "after" else "before"
        if hold == "before":
            # The request never reaches the step: after the wait the connection closes unanswered.
            time.sleep(float(fault.get("seconds", 20)))
            return Response(0, drop=True)
        if fault and fault.get("kind") == "429":
            return self._too_many(request, int(fault.get("retryAfter", 1)))
        if fault and fault.get("kind") == "5xx":
            status = HTTPStatus(int(fault.get("status", 503)))
            return self._problem(request, status.value, status.phrase, "Usługa chwilowo niedostępna.")
        try:
            response = handler(request, *match.groups())
        except ApiError as error:
            response = self._error(request, error)
        except Unauthorized as error:
            response = self._problem(request, 401, "Unauthorized", str(error))
        except Forbidden as error:
            response = self._problem(request, 403, "Forbidden", str(error), reasonCode="missing-permissions",
                                     security=error.security)
        response.drop = bool(fault and fault.get("kind") == "drop")
        if hold == "after":
            # The step is done; its answer waits (a client killed meanwhile never hears it).
            time.sleep(float(fault.get("seconds", 20)))
        return response

    def too_large(self, request, limit):
        too_large = ApiError(INPUT_ERROR, "Treść żądania przekracza %d bajtów." % limit, status=413)
        return self._error(request, too_large)

    def _trace(self):
        return secrets.token_hex(16)

    def _problem(self, request, status, title, detail, **extra):
        body = dict({"title": title, "status": status, "instance": request.path, "detail": detail,
                     "timestamp": iso(now()), "traceId": self._trace()}, **extra)
        return Response(status, json.dumps(body, ensure_ascii=False).encode("utf-8"), "application/problem+json")

    def _error(self, request, error):
        if request.problem:
            return self._problem(request, error.status, "Bad Request", "Żądanie jest nieprawidłowe.", errors=[
                {"code": error.code, "description": error.description, "details": error.details}])
        return json_response(error.status, {"exception": {
            "exceptionDetailList": [{"exceptionCode": error.code, "exceptionDescription": error.description,
                                     "details": error.details}],
            "referenceNumber": None, "serviceCode": self._trace(), "serviceCtx": "srvSTANDIN",
            "serviceName": "Undefined", "timestamp": iso(now())}})

    def _too_many(self, request, seconds):
        detail = "Przekroczono limit żądań. Spróbuj ponownie po %d sekundach." % seconds
        if request.problem:
            response = self._problem(request, 429, "Too Many Requests", detail)
        else:
            response = json_response(429, {"status": {"code": 429, "description": "Too Many Requests",
                                                      "details": [detail]}})
        response.headers.append(("Retry-After", str(seconds)))
        return response

    # ----- bearer tokens

    def _claims(self, request, kind, required=None):
        header = request.headers.get("Authorization") or ""
        if not header.startswith("Bearer "):
            raise Unauthorized("Wymagane jest uwierzytelnienie.")
        claims = self.signer.claims(header[7:].strip())
        if claims is None or claims.get("token-type") != kind:
            raise Unauthorized("Token jest nieprawidłowy lub wygasł.")
        if kind == "ContextToken":
            if claims["jti"] in self.expired or self.knobs.take("expireAccessToken"):
                self.expired.add(claims["jti"])
                raise Unauthorized("Token dostępu wygasł.")
        if required and not set(required) & set(claims["permissions"]):
            raise Forbidden(required, claims["permissions"])
        return claims

    def _token(self, claims, lifetime):
        until = now() + lifetime
        return {"token": self.signer.issue(dict(claims, exp=int(until.timestamp()))), "validUntil": iso(until)}

    # ----- authentication

    def certificates(self, request):
        return json_response(200, self.pki.listing())

    def challenge(self, request):
        moment = now()
        moment = moment.replace(microsecond=moment.microsecond // 1000 * 1000)
        number = reference_number("CR", moment)
        milliseconds = int(moment.timestamp() * 1000)
        with self.lock:
            self.challenges[number] = {"ms": milliseconds, "at": moment}
        return json_response(200, {"challenge": number, "timestamp": iso(moment), "timestampMs": milliseconds,
                                   "clientIp": request.client_ip})

    def authenticate(self, request):
        body = _json_body(request, "challenge", "contextIdentifier", "encryptedToken")
        if not isinstance(body["challenge"], str):
            raise ApiError(INPUT_ERROR, "Pole challenge musi być tekstem.")
        context = body["contextIdentifier"]
        if not isinstance(context, dict) or context.get("type") not in ("Nip", "InternalId", "NipVatUe", "PeppolId") \
                or not isinstance(context.get("value"), str):
            raise ApiError(INPUT_ERROR, "Pole contextIdentifier wymaga type i value.")
        if context["type"] == "Nip" and not NIP.fullmatch(context["value"]):
            raise ApiError(INPUT_ERROR, "Pole contextIdentifier.value nie jest numerem NIP.")
        _check_key_id(body.get("publicKeyId"), self.pki.token_key)
        encrypted = _b64decode(body["encryptedToken"], "encryptedToken")
        with self.lock:
            challenge = self.challenges.pop(body["challenge"], None)  # one use only
        if challenge is None or now() - challenge["at"] > CHALLENGE_LIFETIME:
            raise ApiError((21111, "Nieprawidłowe wyzwanie autoryzacyjne."))

        outcome, token = _status(200, "Uwierzytelnianie zakończone sukcesem"), None
        try:
            token, _, stamp = self.pki.token_key.decrypt(encrypted).decode("utf-8").rpartition("|")
        except (ValueError, UnicodeDecodeError):
            pass
        if not token or token not in self.tokens:
            outcome = _status(450, TOKEN_FAILED, ["Nieprawidłowy token"])
        elif stamp != str(challenge["ms"]):
            outcome = _status(450, TOKEN_FAILED, ["Nieprawidłowy czas tokena"])
        elif (refusal := self.knobs.take("refuseToken")) is not None:
            outcome = _status(450, TOKEN_FAILED, [AUTH_REFUSALS.get(refusal.get("reason"), "Token unieważniony")])
        elif context["type"] != "Nip" or self.tokens[token][0] != context["value"]:
            outcome = _status(415, "Uwierzytelnianie zakończone niepowodzeniem", ["Brak przypisanych uprawnień"])
        started = now()
        number = reference_number("AU", started)
        with self.lock:
            self.auths[number] = {"started": started, "ready": started + AUTH_DELAY, "outcome": outcome,
                                  "nip": context["value"], "redeemed": False,
                                  "permissions": self.tokens[token][1] if outcome["code"] == 200 else [],
                                  "tokenRef": token_reference(token) if outcome["code"] == 200 else None}
        operation = self._token({"token-type": "OperationToken", "operation-reference-number": number},
                                OPERATION_LIFETIME)
        return json_response(202, {"referenceNumber": number, "authenticationToken": operation})

    def _auth_state(self, auth):
        if now() < auth["ready"]:
            return _status(100, "Uwierzytelnianie w toku")
        return auth["outcome"]

    def _operation(self, number):
        auth = self.auths.get(number)
        if auth is None:
            raise ApiError((21304, "Brak uwierzytelnienia."), "Operacja uwierzytelniania o numerze referencyjnym "
                           "%s nie została znaleziona." % number)
        return auth

    def auth_status(self, request, number):
        if self._claims(request, "OperationToken")["operation-reference-number"] != number:
            raise Unauthorized("Token nie dotyczy tej operacji uwierzytelniania.")
        with self.lock:
            auth = self._operation(number)
            body = {"startDate": iso(auth["started"]), "authenticationMethod": "Token",
                    "authenticationMethodInfo": {"category": "Token", "code": "token.ksef",
                                                 "displayName": "Token KSeF"},
                    "status": self._auth_state(auth), "isTokenRedeemed": auth["redeemed"]}
        return json_response(200, body)

    def _context_claims(self, number, auth):
        return {"token-type": "ContextToken", "operation-reference-number": number,
                "context-identifier-type": "Nip", "context-identifier-value": auth["nip"],
                "permissions": auth["permissions"]}

    def redeem(self, request):
        number = self._claims(request, "OperationToken")["operation-reference-number"]
        with self.lock:
            auth = self._operation(number)
            state = self._auth_state(auth)
            if auth["redeemed"]:
                raise ApiError(NOT_AUTHORIZED,
                               "Tokeny dla operacji uwierzytelniania %s zostały już pobrane." % number)
            if state["code"] != 200:
                raise ApiError(NOT_AUTHORIZED, "Status uwierzytelniania (%d) nie pozwala na pobranie tokenów."
                               % state["code"])
            auth["redeemed"] = True
        claims = self._context_claims(number, auth)
        return json_response(200, {"accessToken": self._token(claims, ACCESS_LIFETIME),
                                   "refreshToken": self._token(dict(claims, **{"token-type": "RefreshToken"}),
                                                               REFRESH_LIFETIME)})

    def refresh(self, request):
        claims = self._claims(request, "RefreshToken")
        with self.lock:
            auth = self._operation(claims["operation-reference-number"])
        context = self._context_claims(claims["operation-reference-number"], auth)
        return json_response(200, {"accessToken": self._token(context, ACCESS_LIFETIME)})

    # ----- sessions and invoices

    def open_session(self, request):
        claims = self._claims(request, "ContextToken", WRITE)
        body = _json_body(request, "formCode", "encryption")
        if body["formCode"] != FORM_FA3:
            raise ApiError(INPUT_ERROR, "Wskazany kod formularza nie jest wspierany.")
        encryption = body["encryption"]
        if not isinstance(encryption, dict) or encryption.get("encryptedSymmetricKey") is None \
                or encryption.get("initializationVector") is None:
            raise ApiError(INPUT_ERROR, "Pole encryption wymaga encryptedSymmetricKey i initializationVector.")
        _check_key_id(encryption.get("publicKeyId"), self.pki.symmetric_key)
        wrapped = _b64decode(encryption["encryptedSymmetricKey"], "encryptedSymmetricKey")
        iv = _b64decode(encryption["initializationVector"], "initializationVector")
        if len(iv) != 16:
            raise ApiError(INPUT_ERROR, "Wektor inicjalizujący musi mieć 16 bajtów.")
        try:
            key = self.pki.symmetric_key.decrypt(wrapped)
        except ValueError:
            key = None
        created = now()
        number = reference_number("SO", created)
        auth = self.auths[claims["operation-reference-number"]]
        with self.lock:
            self.sessions[number] = {
                "nip": claims["context-identifier-value"], "tokenRef": auth["tokenRef"], "created": created,
                "updated": created, "validUntil": created + SESSION_LIFETIME, "key": key, "iv": iv,
                "status": 100 if key is not None and len(key) == 32 else 415, "closed": None, "invoices": [],
                "upoRef": None}
        return json_response(201, {"referenceNumber": number, "validUntil": iso(created + SESSION_LIFETIME)})

    def _session(self, claims, number):
        session = self.sessions.get(number)
        if session is None or session["nip"] != claims["context-identifier-value"]:
            raise ApiError(NO_SESSION, "Sesja o numerze referencyjnym %s nie została odnaleziona." % number)
        if session["status"] == 100 and now() > session["validUntil"]:
            session["status"], session["closed"] = 170, session["validUntil"]
        return session

    def send(self, request, number):
        claims = self._claims(request, "ContextToken", WRITE)
        body = _json_body(request, "invoiceHash", "invoiceSize", "encryptedInvoiceHash", "encryptedInvoiceSize",
                          "encryptedInvoiceContent")
        for field in ("invoiceHash", "encryptedInvoiceHash"):
            if len(_b64decode(body[field], field)) != 32:
                raise ApiError(INPUT_ERROR, "Pole %s nie jest skrótem SHA-256 w Base64." % field)
        for field in ("invoiceSize", "encryptedInvoiceSize"):
            if not isinstance(body[field], int) or isinstance(body[field], bool) or body[field] < 1:
                raise ApiError(INPUT_ERROR, "Pole %s musi być liczbą dodatnią." % field)
        if body["invoiceSize"] > standin_checks.MAX_INVOICE_SIZE:
            raise ApiError(INPUT_ERROR, "Rozmiar faktury przekracza %d bajtów." % standin_checks.MAX_INVOICE_SIZE)
        content = _b64decode(body["encryptedInvoiceContent"], "encryptedInvoiceContent")
        with self.lock:
            session = self._session(claims, number)
            if session["status"] != 100:
                raise ApiError(SESSION_STATE, "Status sesji %d uniemożliwia wysyłkę faktur." % session["status"])
            if len(session["invoices"]) >= MAX_SESSION_INVOICES:
                raise ApiError((21155, "Przekroczono dozwoloną liczbę faktur w sesji."), "Sesja o numerze "
                               "referencyjnym %s osiągnęła dozwolony limit liczby faktur %d." % (number,
                                                                                             MAX_SESSION_INVOICES))
        if len(content) != body["encryptedInvoiceSize"]:
            raise ApiError((21402, "Nieprawidłowy rozmiar pliku."),
                           "Długość treści nie zgadza się z rozmiarem pliku.")
        if base64.b64encode(hashlib.sha256(content).digest()).decode() != body["encryptedInvoiceHash"]:
            raise ApiError((21403, "Nieprawidłowy skrót pliku."), "Skrót treści nie zgadza się ze skrótem pliku.")

        received = now()
        slow = self.knobs.take("slowInvoiceStatus")
        ready = received + (float(slow.get("seconds", 5)) * SECOND if slow else INVOICE_DELAY)
        plain, facts, outcome = None, None, None
        try:
            plain = aes_decrypt(session["key"], session["iv"], content)
        except ValueError:
            outcome = _status(435, "Błąd odszyfrowania pliku")
        if outcome is None and (len(plain) != body["invoiceSize"] or base64.b64encode(
                hashlib.sha256(plain).digest()).decode() != body["invoiceHash"]):
            outcome = _status(*standin_checks.FILE_ERROR, ["Skrót lub rozmiar faktury nie zgadza się z "
                                                          "odszyfrowaną treścią."])
        if outcome is None:
            try:
                facts = standin_checks.verify(plain, session["nip"], received, self.schemas)
            except standin_checks.Refusal as refusal:
                outcome = _status(refusal.code, refusal.description, refusal.details)
        with self.lock:
            invoice_number = reference_number("EE", received)
            record = None
            if outcome is None:
                original = self.ledger.duplicate_of(facts["sellerNip"], facts["invoiceType"], facts["invoiceNumber"])
                if original:
                    outcome = _status(440, "Duplikat faktury", [
                        "Duplikat faktury. Faktura o numerze KSeF: %s została już prawidłowo przesłana do systemu "
                        "w sesji: %s" % (original["ksefNumber"], original["sessionReferenceNumber"])],
                        {"originalSessionReferenceNumber": original["sessionReferenceNumber"],
                         "originalKsefNumber": original["ksefNumber"]})
                else:
                    offline = bool(body.get("offlineMode")) or facts["issueDate"] < warsaw_date(received).isoformat()
                    record = dict(facts, ksefNumber=ksef_number(facts["sellerNip"], received),
                                  invoiceHash=body["invoiceHash"], sessionReferenceNumber=number,
                                  invoiceReferenceNumber=invoice_number, invoicingDate=iso(received),
                                  acquisitionDate=iso(ready), permanentStorageDate=iso(ready + 0.1 * SECOND),
                                  invoicingMode="Offline" if offline else "Online", contextNip=session["nip"],
                                  tokenReferenceNumber=session["tokenRef"])
                    self.ledger.add(record, plain)
                    outcome = _status(200, "Sukces")
            session["invoices"].append(invoice_number)
            session["updated"] = received
            self.invoices[invoice_number] = {
                "session": number, "ordinal": len(session["invoices"]), "received": received, "ready": ready,
                "hash": body["invoiceHash"], "number": facts["invoiceNumber"] if facts else None,
                "outcome": outcome, "record": record}
        return json_response(202, {"referenceNumber": invoice_number})

    def close(self, request, number):
        claims = self._claims(request, "ContextToken", WRITE)
        with self.lock:
            session = self._session(claims, number)
            if session["status"] != 100:
                raise ApiError(SESSION_STATE, "Status sesji %d uniemożliwia jej zamknięcie." % session["status"])
            session["status"], session["closed"] = 170, now()
        return Response(204)

    def _link(self, kind, *keys):
        link = secrets.token_hex(16)
        until = now() + LINK_LIFETIME
        self.links[link] = (kind, keys, until)
        return self.origin + "/storage/upo/" + link, iso(until)

    def _invoice_view(self, invoice_number):
        invoice = self.invoices[invoice_number]
        view = {"ordinalNumber": invoice["ordinal"], "referenceNumber": invoice_number,
                "invoiceHash": invoice["hash"], "invoicingDate": iso(invoice["received"])}
        if invoice["number"]:
            view["invoiceNumber"] = invoice["number"]
        if now() < invoice["ready"]:
            view["status"] = _status(150, "Trwa przetwarzanie")
            return view
        record = invoice["record"]
        if record:
            url, until = self._link("invoice", invoice["session"], record["ksefNumber"])
            view.update(ksefNumber=record["ksefNumber"], acquisitionDate=record["acquisitionDate"],
                        permanentStorageDate=record["permanentStorageDate"], upoDownloadUrl=url,
                        upoDownloadUrlExpirationDate=until, invoicingMode=record["invoicingMode"])
        view["status"] = invoice["outcome"]
        return view

    def invoice_status(self, request, number, invoice_number):
        claims = self._claims(request, "ContextToken", WRITE)
        with self.lock:
            self._session(claims, number)
            if self.invoices.get(invoice_number, {}).get("session") != number:
                raise ApiError(INPUT_ERROR, "Faktura o numerze referencyjnym %s nie została znaleziona w sesji %s."
                               % (invoice_number, number))
            return json_response(200, self._invoice_view(invoice_number))

    def _counts(self, session):
        done = [self.invoices[n] for n in session["invoices"] if now() >= self.invoices[n]["ready"]]
        good = sum(1 for invoice in done if invoice["record"])
        return len(session["invoices"]), len(done), good

    def session_status(self, request, number):
        claims = self._claims(request, "ContextToken", WRITE)
        with self.lock:
            session = self._session(claims, number)
            total, done, good = self._counts(session)
            body = {"dateCreated": iso(session["created"]), "dateUpdated": iso(session["updated"]),
                    "validUntil": iso(session["validUntil"]), "invoiceCount": total,
                    "successfulInvoiceCount": good, "failedInvoiceCount": done - good}
            if session["status"] == 415:
                body["status"] = _status(415, "Błąd odszyfrowania dostarczonego klucza")
            elif session["status"] == 100:
                body["status"] = _status(100, "Sesja interaktywna otwarta")
            elif total == 0:
                body["status"] = _status(440, "Sesja anulowana", ["Nie przesłano faktur"])
            elif done < total:
                body["status"] = _status(170, "Sesja interaktywna zamknięta")
            elif good == 0:
                body["status"] = _status(445, "Błąd weryfikacji, brak poprawnych faktur")
            else:
                session["upoRef"] = session["upoRef"] or reference_number("EU")
                url, until = self._link("session", number)
                body["status"] = _status(200, "Sesja interaktywna przetworzona pomyślnie")
                body["upo"] = {"pages": [{"referenceNumber": session["upoRef"], "downloadUrl": url,
                                          "downloadUrlExpirationDate": until}]}
        return json_response(200, body)

    def _list(self, request, number, failed_only):
        claims = self._claims(request, "ContextToken", WRITE)
        try:
            size = int(request.query.get("pageSize", 10))
        except ValueError:
            size = 0
        if not 10 <= size <= 1000:
            raise ApiError(INPUT_ERROR, "Parametr pageSize musi mieścić się w zakresie 10-1000.")
        continuation = request.headers.get("x-continuation-token")
        try:
            start = int(base64.b64decode(continuation, validate=True)) if continuation else 0
        except (ValueError, binascii.Error):
            raise ApiError((21418, "Przekazany token kontynuacji ma nieprawidłowy format."))
        with self.lock:
            session = self._session(claims, number)
            views = [self._invoice_view(n) for n in session["invoices"]]
        if failed_only:
            views = [v for v in views if v["status"]["code"] >= 400]
        body = {"invoices": views[start:start + size]}
        if start + size < len(views):
            body["continuationToken"] = base64.b64encode(str(start + size).encode()).decode()
        return json_response(200, body)

    def session_invoices(self, request, number):
        return self._list(request, number, False)

    def failed_invoices(self, request, number):
        return self._list(request, number, True)

    # ----- receipts

    def _invoice_upo(self, session_number, record):
        session = self.sessions.get(session_number)
        token_ref = session["tokenRef"] if session else record["tokenReferenceNumber"]
        return upo_xml(session_number, record["contextNip"], token_ref, [record])

    def invoice_upo(self, request, number, invoice_number):
        claims = self._claims(request, "ContextToken", WRITE)
        with self.lock:
            self._session(claims, number)
            invoice = self.invoices.get(invoice_number)
            if not invoice or invoice["session"] != number or not invoice["record"] or now() < invoice["ready"]:
                raise ApiError(NO_UPO, "UPO faktury %s w sesji %s nie zostało znalezione." % (invoice_number, number))
            return xml_response(self._invoice_upo(number, invoice["record"]))

    def invoice_upo_by_number(self, request, number, ksef):
        claims = self._claims(request, "ContextToken", WRITE)
        with self.lock:
            self._session(claims, number)
            record = self.ledger.by_ksef_number(ksef)
            ready = record and self.invoices.get(record["invoiceReferenceNumber"], {}).get("ready", now()) <= now()
            if not record or record["sessionReferenceNumber"] != number or not ready:
                raise ApiError(NO_UPO, "UPO o numerze KSeF %s i numerze referencyjnym sesji %s nie zostało "
                               "znalezione." % (ksef, number))
            return xml_response(self._invoice_upo(number, record))

    def _session_upo(self, number):
        session = self.sessions[number]
        records = [self.invoices[n]["record"] for n in session["invoices"] if self.invoices[n]["record"]]
        return upo_xml(number, session["nip"], session["tokenRef"], records, page=True)

    def session_upo(self, request, number, upo_number):
        claims = self._claims(request, "ContextToken", WRITE)
        with self.lock:
            session = self._session(claims, number)
            if session["upoRef"] != upo_number:
                raise ApiError(NO_UPO, "UPO o numerze referencyjnym %s dla sesji %s nie zostało znalezione."
                               % (upo_number, number))
            return xml_response(self._session_upo(number))

    def storage(self, request, link):
        with self.lock:
            kind, keys, until = self.links.get(link, (None, None, None))
            if kind is None or now() > until:
                return Response(404, b"", "application/xml")
            if kind == "session":
                return xml_response(self._session_upo(*keys))
            return xml_response(self._invoice_upo(keys[0], self.ledger.by_ksef_number(keys[1])))

    # ----- looking an invoice up

    def query_metadata(self, request):
        claims = self._claims(request, "ContextToken", READ)
        body = _json_body(request, "subjectType", "dateRange")
        nip = claims["context-identifier-value"]
        span = body["dateRange"]
        if not isinstance(span, dict) or span.get("dateType") not in ("Issue", "Invoicing", "PermanentStorage"):
            raise ApiError(INPUT_ERROR, "Pole dateRange.dateType jest wymagane.")
        start = _parse_date(span.get("from"), "dateRange.from")
        end = _parse_date(span["to"], "dateRange.to") if span.get("to") else now()
        if end - start > datetime.timedelta(days=92):
            raise ApiError(INPUT_ERROR, "Zakres dat przekracza 3 miesiące.")
        try:
            offset, size = int(request.query.get("pageOffset", 0)), int(request.query.get("pageSize", 10))
        except ValueError:
            offset, size = -1, 0
        if offset < 0 or not 10 <= size <= 250:
            raise ApiError(INPUT_ERROR, "Parametry stronicowania poza zakresem.")
        field = {"Issue": "issueDate", "Invoicing": "invoicingDate",
                 "PermanentStorage": "permanentStorageDate"}[span["dateType"]]
        subject = body["subjectType"]
        kinds = body.get("invoiceTypes")
        if kinds is not None and not isinstance(kinds, list):
            raise ApiError(INPUT_ERROR, "Pole invoiceTypes musi być listą.")

        def matches(record):
            if subject == "Subject1" and record["sellerNip"] != nip:
                return False
            if subject == "Subject2" and record["buyer"]["identifier"].get("value") != nip:
                return False
            if subject not in ("Subject1", "Subject2"):
                return False
            for key, value in (("ksefNumber", body.get("ksefNumber")), ("invoiceNumber", body.get("invoiceNumber")),
                               ("sellerNip", body.get("sellerNip"))):
                if value is not None and record[key] != value:
                    return False
            if kinds and record["queryInvoiceType"] not in kinds:
                return False
            moment = _parse_date(record[field], field)
            if field == "issueDate":
                return start.date() <= moment.date() <= end.date()
            return start <= moment <= end

        with self.lock:
            visible = [r for r in self.ledger.records
                       if _parse_date(r["permanentStorageDate"], "permanentStorageDate") <= now()]
        found = sorted((r for r in visible if matches(r)), key=lambda r: r[field],
                       reverse=request.query.get("sortOrder") == "Desc")
        page = found[offset * size:(offset + 1) * size]
        return json_response(200, {
            "hasMore": len(found) > (offset + 1) * size, "isTruncated": False,
            "permanentStorageHwmDate": iso(min(end, now())) if field == "permanentStorageDate" else None,
            "invoices": [self._metadata(r) for r in page]})

    def _metadata(self, record):
        return {"ksefNumber": record["ksefNumber"], "invoiceNumber": record["invoiceNumber"],
                "issueDate": record["issueDate"], "invoicingDate": record["invoicingDate"],
                "acquisitionDate": record["acquisitionDate"], "permanentStorageDate": record["permanentStorageDate"],
                "seller": {"nip": record["sellerNip"], "name": record["sellerName"]}, "buyer": record["buyer"],
                "netAmount": record["netAmount"], "grossAmount": record["grossAmount"],
                "vatAmount": record["vatAmount"], "currency": record["currency"],
                "invoicingMode": record["invoicingMode"], "invoiceType": record["queryInvoiceType"],
                "formCode": FORM_FA3, "isSelfInvoicing": False, "hasAttachment": False,
                "invoiceHash": record["invoiceHash"]}

    def invoice_by_number(self, request, ksef):
        claims = self._claims(request, "ContextToken", READ)
        nip = claims["context-identifier-value"]
        with self.lock:
            record = self.ledger.by_ksef_number(ksef)
            if not record or nip not in (record["sellerNip"], record["buyer"]["identifier"].get("value")):
                raise ApiError((21164, "Faktura o podanym identyfikatorze nie istnieje."),
                               "Faktura o numerze KSeF %s nie została znaleziona." % ksef)
            if _parse_date(record["permanentStorageDate"], "permanentStorageDate") > now():
                raise ApiError((21165, "Faktura o podanym numerze KSeF nie jest jeszcze dostępna."),
                               "Faktura o numerze KSeF %s została przetworzona, ale nie jest jeszcze dostępna do "
                               "pobrania. Spróbuj ponownie później." % ksef)
            return xml_response(self.ledger.invoice_bytes(record))
