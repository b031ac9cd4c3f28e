#!/usr/bin/env python3
"""Writes db.json for the raw_records_* cases: every record the writers read is
given as raw bytes at offsets typed here from the host's record tables, not
taken from the plug-in's own layout header, so that a wrong offset or room on
both sides of the build still changes some output.

  python3 make_db.py > db.json
"""
import json
import struct


def text(offset, value):
    return {"offset": offset, "hex": (value.encode("ascii") + b"\0").hex(" ")}


def money(offset, amount):
    return {"offset": offset, "hex": struct.pack("<d", round(amount * 10000)).hex(" ")}


def int16(offset, value):
    return {"offset": offset, "hex": struct.pack("<h", value).hex(" ")}


def uint16(offset, value):
    return {"offset": offset, "hex": struct.pack("<H", value).hex(" ")}


def int32(offset, value):
    return {"offset": offset, "hex": struct.pack("<i", value).hex(" ")}


def date(offset, ymd):
    return {"offset": offset, "hex": (ymd.encode("ascii") + b"\0").hex(" ")}


# Sales invoice header, 1469 bytes.
def header(recipient):
    return [
        text(2, "RAW/FV/0042/2025-A"),          # NrFaktury, room 34
        text(36, "RAWSYMODB"),                  # SymbolOdbiorcy, room 17
        text(53, "Raw Nabywca Odbiorca Sp. z o.o."),  # NazwaOdbiorcy, room 101
        text(154, "ul. Surowa 11, 02-345 Bajtowo"),   # AdresOdbiorcy, room 51
        text(205, "111-22-33-444"),             # NipOdbiorcy, room 14
        int16(219, 1),                          # RodzajCen: priced net
        date(221, "20250314"),                  # DataSprzedazy
        date(230, "20250317"),                  # DataWystawienia
        money(239, 10.00),                      # Zaplacono
        money(247, 36.07),                      # KwotaDoZaplaty
        uint16(255, 3 << 9),                    # FormaPlatnosci: cheque
        uint16(257, 21),                        # TerminPlatnosci
        money(259, 46.07),                      # RazemBrutto
        money(267, 38.51),                      # RazemNetto
        money(275, 7.56),                       # RazemVat
        money(283, 37.96),                      # BruttoA
        money(291, 30.86),                      # NettoA
        money(299, 7.10),                       # VatA
        money(307, 4.67),                       # BruttoB
        money(315, 4.32),                       # NettoB
        money(323, 0.35),                       # VatB
        money(331, 1.22),                       # BruttoC
        money(339, 1.11),                       # NettoC
        money(347, 0.11),                       # VatC
        money(355, 2.22),                       # Netto0
        money(379, 7.77),                       # WartoscOpakowan
        text(436, "Uwagi surowe: zaplata czekiem"),   # Uwagi
        text(581, "EUR"),                       # Waluta
        text(652, "RAWSYMDOST"),                # SymbolDostawy, room 17
        text(669, "Raw Dostawa Magazyn"),       # NazwaDostawy, room 101
        text(770, "ul. Dostawcza 5, 03-456 Paczkowo"),  # AdresDostawy
        money(839, 4.3210),                     # KursWaluty
        int16(995, 14),                         # RodzajTransakcji
        int32(1449, recipient),                 # IdDostawy
        int32(1453, 4711),                      # IdKontrahenta
        int32(1465, 9877 if recipient else 9876),  # IdDokumentu
    ]


# Sales document lines, 515 bytes each.
LINES = [
    [
        text(2, "Srubka surowa M6x40"),         # Nazwa, room 121
        text(123, "5907777000011"),             # Kod, room 17
        int32(140, 2500),                       # Ilosc: 2.5
        text(144, "kg"),                        # Jm, room 6
        money(150, 12.3456),                    # CenaDokumentu (net)
        uint16(166, 0),                         # KodVat: 23 %
        money(192, 15.1851),                    # CenaPrzeliczona (gross)
        text(216, "DOST-A1"),                   # KodDostawcy
        text(280, "25.94.11.0"),                # Pkwiu
        uint16(509, 3),                         # RefTowaru1
        uint16(511, 9),                         # RefTowaru2
    ],
    [
        text(2, "Nakretka surowa M6"),
        text(123, "5907777000028"),
        int32(140, 10000),                      # Ilosc: 10
        text(144, "szt."),
        money(150, 0.4321),
        uint16(166, 1),                         # KodVat: 8 %
        money(192, 0.4667),
        text(216, "DOST-B2"),
        text(280, "25.94.12.0"),
        uint16(509, 0),
        uint16(511, 0),
    ],
]

# Customer record, 1536 bytes.
CUSTOMER = [
    text(2, "RAWKONTR"),                        # Symbol, room 17
    text(19, "Raw Kontrahent Hurt s.c."),       # Nazwa, room 101
    text(120, "44-555 Rawice ul. Kontowa 8"),   # Adres
    text(176, "PL5550001111"),                  # Nip
    text(239, "Bank Surowy 12 3456 7890 1234 5678 9012 3456"),  # BankKonto
    text(855, "raw@kontrahent.example.pl"),     # Email
]

# Company record, 2240 bytes.
COMPANY = [
    text(42, "Raw Sprzedawca Firma Sp. k."),    # Nazwa
    text(311, "ul. Firmowa"),                   # Ulica, room 21
    text(332, "7B/2"),                          # NrDomu, room 14
    text(346, "66-777"),                        # KodPocztowy, room 7
    text(353, "Firmowo"),                       # Miejscowosc
    text(511, "Bank Firmowy 98 7654 3210 9876 5432 1098 7654"),  # BankKonto
    text(2212, "999-88-77-666"),                # Nip, room 14
    text(2226, "PL9998877666"),                 # NipUE
]

# Goods record of the first line, 1024 bytes.
GOODS = [text(123, "GOODS-RAW-39")]             # Kod

db = {
    "company": {"rawBytes": COMPANY},
    "vatRates": {"0": 23, "1": 8, "2": 5, "3": 0},
    "customers": [{"Id": 4711, "rawBytes": CUSTOMER}],
    "goods": [{"RefTowaru1": 3, "RefTowaru2": 9, "rawBytes": GOODS}],
    "invoices": [
        {"rawBytes": header(0), "lines": [{"rawBytes": line} for line in LINES]},
        {"rawBytes": header(4711), "lines": [{"rawBytes": line} for line in LINES]},
    ],
}
print(json.dumps(db, indent=1))
