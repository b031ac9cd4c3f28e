"""Keys and certificates of the KSeF stand-in, kept in its state folder.

Files are made on the first start and reused afterwards, so a client that
trusts ca.pem keeps trusting a restarted stand-in, and the Ministry keys it
fetched stay valid.
"""
import base64
import datetime
import hashlib
import ipaddress
import os

from cryptography import x509
from cryptography.hazmat.primitives import hashes, padding, serialization
from cryptography.hazmat.primitives.asymmetric import padding as rsa_padding
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

TOKEN_USAGE = "KsefTokenEncryption"
SYMMETRIC_USAGE = "SymmetricKeyEncryption"


def write_atomically(path, data):
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def _name(common_name, organization=None):
    parts = [x509.NameAttribute(NameOID.COUNTRY_NAME, "PL")]
    if organization:
        parts.append(x509.NameAttribute(NameOID.ORGANIZATION_NAME, organization))
    parts.append(x509.NameAttribute(NameOID.COMMON_NAME, common_name))
    return x509.Name(parts)


def _certificate(subject, key, issuer, issuer_key, extensions, years=2):
    now = datetime.datetime.now(datetime.timezone.utc)
    builder = (x509.CertificateBuilder().subject_name(subject).issuer_name(issuer)
               .public_key(key.public_key()).serial_number(x509.random_serial_number())
               .not_valid_before(now - datetime.timedelta(days=1))
               .not_valid_after(now + datetime.timedelta(days=365 * years)))
    for extension, critical in extensions:
        builder = builder.add_extension(extension, critical=critical)
    return builder.sign(issuer_key, hashes.SHA256())


def _pem_key(key):
    return key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                             serialization.NoEncryption())


def _load_or_make(folder, stem, make):
    """(certificate, key) from stem.pem / stem-key.pem, made by make() when missing."""
    cert_path = os.path.join(folder, stem + ".pem")
    key_path = os.path.join(folder, stem + "-key.pem")
    if os.path.exists(cert_path) and os.path.exists(key_path):
        with open(cert_path, "rb") as f:
            cert = x509.load_pem_x509_certificate(f.read())
        with open(key_path, "rb") as f:
            key = serialization.load_pem_private_key(f.read(), None)
        return cert, key
    cert, key = make()
    write_atomically(key_path, _pem_key(key))
    write_atomically(cert_path, cert.public_bytes(serialization.Encoding.PEM))
    return cert, key


def _new_key():
    return rsa.generate_private_key(public_exponent=65537, key_size=2048)


def _root(common_name):
    def make():
        key = _new_key()
        name = _name(common_name, "KSeF stand-in")
        cert = _certificate(name, key, name, key, [
            (x509.BasicConstraints(ca=True, path_length=0), True),
            (x509.KeyUsage(digital_signature=False, content_commitment=False, key_encipherment=False,
                           data_encipherment=False, key_agreement=False, key_cert_sign=True, crl_sign=True,
                           encipher_only=False, decipher_only=False), True),
            (x509.SubjectKeyIdentifier.from_public_key(key.public_key()), False)], years=10)
        return cert, key
    return make


def _server(root_cert, root_key):
    def make():
        key = _new_key()
        cert = _certificate(_name("localhost"), key, root_cert.subject, root_key, [
            (x509.SubjectAlternativeName([x509.IPAddress(ipaddress.ip_address("127.0.0.1")),
                                          x509.DNSName("localhost")]), False),
            (x509.BasicConstraints(ca=False, path_length=None), True),
            (x509.KeyUsage(digital_signature=True, content_commitment=False, key_encipherment=True,
                           data_encipherment=False, key_agreement=False, key_cert_sign=False, crl_sign=False,
                           encipher_only=False, decipher_only=False), True),
            (x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]), False),
            (x509.AuthorityKeyIdentifier.from_issuer_public_key(root_key.public_key()), False)])
        return cert, key
    return make


def _ministry(usage):
    def make():
        key = _new_key()
        name = _name("Ministerstwo Finansów", "KSeF stand-in " + usage)
        return _certificate(name, key, name, key, [(x509.BasicConstraints(ca=False, path_length=None), True)]), key
    return make


def _b64(data):
    return base64.b64encode(data).decode("ascii")


def _validity(cert, end):
    """not_valid_before/after as an aware time, with Debian's cryptography 38 as with newer ones."""
    aware = getattr(cert, "not_valid_%s_utc" % end, None)
    return aware or getattr(cert, "not_valid_%s" % end).replace(tzinfo=datetime.timezone.utc)


def _iso(moment):
    return moment.astimezone(datetime.timezone.utc).isoformat()


class MinistryKey:
    """One published key pair: its certificate as the API lists it, and decryption."""

    def __init__(self, usage, cert, key):
        self.usage = usage
        self.key = key
        der = cert.public_bytes(serialization.Encoding.DER)
        spki = cert.public_key().public_bytes(serialization.Encoding.DER,
                                              serialization.PublicFormat.SubjectPublicKeyInfo)
        self.public_key_id = _b64(hashlib.sha256(spki).digest())
        self.listing = {"certificate": _b64(der), "certificateId": _b64(hashlib.sha256(der).digest()),
                        "publicKeyId": self.public_key_id, "validFrom": _iso(_validity(cert, "before")),
                        "validTo": _iso(_validity(cert, "after")), "usage": [usage]}

    def decrypt(self, data):
        """RSA-OAEP with SHA-256 and MGF1-SHA-256; ValueError when it does not decrypt."""
        return self.key.decrypt(data, rsa_padding.OAEP(mgf=rsa_padding.MGF1(hashes.SHA256()),
                                                       algorithm=hashes.SHA256(), label=None))


class Pki:
    def __init__(self, folder):
        ca_cert, ca_key = _load_or_make(folder, "ca", _root("KSeF stand-in test root"))
        other_cert, other_key = _load_or_make(folder, "other-ca", _root("Unrelated test root"))
        _load_or_make(folder, "server", _server(ca_cert, ca_key))
        _load_or_make(folder, "other-server", _server(other_cert, other_key))
        self.folder = folder
        self.token_key = MinistryKey(TOKEN_USAGE, *_load_or_make(folder, "mf-token", _ministry(TOKEN_USAGE)))
        self.symmetric_key = MinistryKey(SYMMETRIC_USAGE,
                                         *_load_or_make(folder, "mf-symmetric", _ministry(SYMMETRIC_USAGE)))

    def server_files(self, other_root):
        stem = os.path.join(self.folder, "other-server" if other_root else "server")
        return stem + ".pem", stem + "-key.pem"

    def listing(self):
        return [self.token_key.listing, self.symmetric_key.listing]


def aes_decrypt(key, iv, data):
    """AES-256-CBC with PKCS#7 padding; ValueError when the data or padding is wrong."""
    if len(data) == 0 or len(data) % 16:
        raise ValueError("the ciphertext is not a whole number of AES blocks")
    decryptor = Cipher(algorithms.AES(key), modes.CBC(iv)).decryptor()
    padded = decryptor.update(data) + decryptor.finalize()
    unpadder = padding.PKCS7(128).unpadder()
    return unpadder.update(padded) + unpadder.finalize()
