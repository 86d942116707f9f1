#!/usr/bin/python3
"""Writes a communication file of generated structures that passes every validation rule.

    make_census.py FILE [COUNT] [COMPANY]

COUNT defaults to 32767 (the largest census), COMPANY to 12. Texts are Windows-1252 with accented
letters; provinces come from the region's list, municipalities from 1..300 (all in regcom), every
structure has at least one activity, and each area is either absent (no owner, no surface, a blank
title) or complete. The same arguments always give the same file.
"""
import random
import sys

STREET_KINDS = ["Via", "Viale", "Piazza", "Largo", "Strada Provinciale", "Località", "Via di", "Borgo"]
STREET_NAMES = ["Garibaldi", "Cavour", "della Libertà", "Roma", "dei Mille", "XX Settembre",
                "Fratelli Rosselli", "San Jacopo", "delle Industrie", "Aurelia", "del Porto", "Pisana",
                "Fiorentina", "Senese", "dell'Artigianato", "Nicolò Machiavelli", "Carducci", "Leopardi",
                "Sant'Andrea", "del Ciliegio", "Bonistallo", "Pratese", "Lucchese", "Mazzini"]
PLACES = ["Capoluogo", "Zona Industriale", "Le Fornaci", "Santa Croce", "Pontà", "San Martino", "La Rotta",
          "Stazione FS", "Ponte a Egola", "Il Piano", "Caldine", "Querceto", "Badia", "Perignano", "Ceccano"]
PROVINCES = ["AR", "FI", "GR", "LI", "LU", "MS", "PI", "PO", "PT", "SI"]
OWNERS = ["Comune di Pontedera", "Proprietà aziendale", "Provincia di Arezzo", "Immobiliare Trasporti S.r.l.",
          "Demanio dello Stato", "Ferrovie Regionali S.p.A.", "Consorzio Autostazioni", "Privato in locazione",
          "Regione Orvania", "Comune di San Miniato"]
FLAGS = 7
COUNTS = 36
MODULUS = 1000000000


def clip(text, size):
    return text[:size].rstrip(" ")


def line_checksum(line):
    """The sum of the line's bytes as signed chars, tabs and line feeds left out, in 32-bit arithmetic."""
    total = 0
    for byte in line:
        if byte not in (9, 10):
            total += byte - 256 if byte > 127 else byte
    total &= 0xFFFFFFFF
    return total - (1 << 32) if total >= (1 << 31) else total


def add_checksum(previous, line):
    value = previous + line_checksum(line)
    remainder = abs(value) % MODULUS  # the remainder takes the dividend's sign, as in C++
    return remainder if value >= 0 else -remainder


def record(rnd):
    street = "%s %s %d" % (rnd.choice(STREET_KINDS), rnd.choice(STREET_NAMES), 1 + rnd.randrange(240))
    place = rnd.choice(PLACES)
    if rnd.randrange(3) == 0:
        place += " %d" % (1 + rnd.randrange(30))
    flags = [rnd.randrange(3) == 0 for _ in range(FLAGS)]
    if not any(flags):
        flags[rnd.randrange(FLAGS)] = True
    fields = [clip(street, 40), clip(place, 30), str(1 + rnd.randrange(300)), rnd.choice(PROVINCES)]
    fields += ["1" if f else "0" for f in flags]
    for _ in range(2):  # uncovered areas, covered areas
        if rnd.randrange(4) == 0:
            fields += ["", "0", " "]
        else:
            fields += [clip(rnd.choice(OWNERS), 40), str(50 + rnd.randrange(120000)), "ABC"[rnd.randrange(3)]]
    # Buses: a depot has many, a coach station some, the rest few; most classes are empty.
    scale = 40 if flags[0] else (12 if flags[2] else 3)
    fields += [str(rnd.randrange(scale + 1) if rnd.randrange(3) == 0 else 0) for _ in range(COUNTS)]
    return "\t".join(fields).encode("cp1252")


def main():
    if len(sys.argv) < 2:
        sys.exit("usage: make_census.py FILE [COUNT] [COMPANY]")
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 32767
    company = int(sys.argv[3]) if len(sys.argv) > 3 else 12
    rnd = random.Random(20260315)
    tag = b"ComunicazioneVelumbra"
    head = [b"<Azienda=%d>" % company, b"<Data=01/02/2026>"]
    checksum = 0
    for line in head:
        checksum = add_checksum(checksum, line)
    records = []
    for _ in range(count):
        records.append(record(rnd))
        checksum = add_checksum(checksum, records[-1])
    lines = [b"<" + tag + b">%d" % count] + head + records + [b"</" + tag + b">%d" % checksum]
    with open(sys.argv[1], "wb") as out:
        out.write(b"".join(line + b"\r\n" for line in lines))


if __name__ == "__main__":
    main()
