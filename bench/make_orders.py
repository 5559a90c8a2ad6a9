#!/usr/bin/python3
"""Writes the benchmark table: orders.dbf (dBASE III, CP1252), the same rows as a native SQLite table
(orders.sqlite) and the expected answers of the benchmark queries (orders.expected.json).

Usage: make_orders.py OUT_DIR [--records N] [--seed S]

The rows are deterministic for a given seed and count. Names are unique, so the first rows of an
ORDER BY NAME are the same for every tool, and they are ASCII words in Title Case with a numeric
suffix, which sort the same with or without case folding.
"""
import argparse
import datetime
import heapq
import json
import os
import random
import sqlite3
import struct
import sys

FIELDS = [  # name, type, length, decimals
    ("ID", "N", 10, 0),
    ("NAME", "C", 30, 0),
    ("CITY", "C", 20, 0),
    ("AMOUNT", "N", 12, 2),
    ("ODATE", "D", 8, 0),
    ("ACTIVE", "L", 1, 0),
    ("NOTE", "C", 60, 0),
]
RECORD_LENGTH = 1 + sum(f[2] for f in FIELDS)  # 142 with the deletion flag
LANGUAGE_DRIVER = 0x57  # ANSI / Windows-1252
CHUNK = 50_000

CITIES = [
    "Amsterdam", "Athens", "Barcelona", "Berlin", "Bordeaux", "Bratislava", "Brussels", "Bucharest",
    "Budapest", "Cork", "Dublin", "Düsseldorf", "Edinburgh", "Florence", "Frankfurt", "Geneva", "Genoa",
    "Gothenburg", "Graz", "Hamburg", "Helsinki", "Kraków", "Köln", "Lisbon", "Ljubljana", "London",
    "Lyon", "Madrid", "Málaga", "Marseille", "Milan", "Munich", "Naples", "Nice", "Oslo", "Paris",
    "Porto", "Prague", "Riga", "Rome", "Rotterdam", "Seville", "Sofia", "Stockholm", "Tallinn",
    "Turin", "Valencia", "Vienna", "Warsaw", "Zürich",
]
LAST_NAMES = [
    "Abbott", "Adams", "Baker", "Barnes", "Bell", "Brooks", "Brown", "Bryant", "Butler", "Campbell",
    "Carter", "Clark", "Collins", "Cook", "Cooper", "Cox", "Davis", "Dixon", "Edwards", "Ellis",
    "Evans", "Fisher", "Foster", "Garcia", "Gibson", "Gordon", "Graham", "Grant", "Gray", "Green",
    "Hall", "Harris", "Hayes", "Henderson", "Hill", "Holmes", "Howard", "Hughes", "Hunt", "Jackson",
    "James", "Jenkins", "Johnson", "Jones", "Kelly", "Kennedy", "King", "Knight", "Lee", "Lewis",
    "Marshall", "Martin", "Mason", "Miller", "Mitchell", "Moore", "Morgan", "Morris", "Murphy",
    "Murray", "Nelson", "Owens", "Palmer", "Parker", "Patel", "Perry", "Phillips", "Porter", "Powell",
    "Price", "Reed", "Reynolds", "Richards", "Roberts", "Robinson", "Rogers", "Ross", "Russell",
    "Scott", "Shaw", "Simmons", "Smith", "Spencer", "Stewart", "Stone", "Sullivan", "Taylor",
    "Thomas", "Thompson", "Turner", "Walker", "Wallace", "Ward", "Watson", "Webb", "Wells", "White",
    "Williams", "Wilson", "Wood", "Wright", "Young",
]
FIRST_NAMES = [
    "Aaron", "Adam", "Alice", "Amelia", "Anna", "Ben", "Carla", "Chloe", "Daniel", "David", "Elena",
    "Emma", "Eric", "Eva", "Felix", "George", "Grace", "Hannah", "Harry", "Ivan", "Jack", "Jane",
    "Julia", "Karl", "Laura", "Leo", "Lucy", "Marco", "Maria", "Mark", "Mia", "Nina", "Noah", "Olga",
    "Oscar", "Paul", "Petra", "Rosa", "Ruth", "Sam", "Sara", "Simon", "Sofia", "Tom", "Vera",
    "Victor", "Yann", "Zoe",
]
NOTES = [
    "", "", "", "Deliver before noon", "Leave at the back door", "Call on arrival",
    "Gift wrap, no invoice in the parcel", "Fragile: glassware", "Customer collects in store",
    "Second attempt after a failed delivery", "Invoice to head office", "Express shipping requested",
]
FIRST_DAY = datetime.date(2015, 1, 1).toordinal()
DAY_SPAN = datetime.date(2024, 12, 31).toordinal() - FIRST_DAY + 1
# A bijection of 1..10^7 onto 7-digit codes keeps names unique without looking sequential.
NAME_CODE_MULTIPLIER = 7_654_321
NAME_CODE_MODULUS = 10_000_000


def header(records, today):
    fields = b"".join(
        struct.pack("<11sc4xBB14x", name.encode("ascii"), kind.encode("ascii"), length, decimals)
        for name, kind, length, decimals in FIELDS
    )
    header_length = 32 + len(fields) + 1
    head = struct.pack(
        "<B3BIHH17xB2x", 0x03, today.year - 1900, today.month, today.day, records, header_length, RECORD_LENGTH,
        LANGUAGE_DRIVER,
    )
    return head + fields + b"\r"


def generate(records, seed):
    """Yields chunks of (dbf bytes, sqlite rows) and accumulates nothing itself."""
    rng = random.Random(seed)
    choice, randrange = rng.choice, rng.randrange
    for start in range(1, records + 1, CHUNK):
        parts, rows = [], []
        for ident in range(start, min(start + CHUNK, records + 1)):
            code = ident * NAME_CODE_MULTIPLIER % NAME_CODE_MODULUS
            name = "%s %s %07d" % (choice(LAST_NAMES), choice(FIRST_NAMES), code)
            city = choice(CITIES)
            cents = randrange(1, 100_000)  # 0.01 .. 999.99
            day = datetime.date.fromordinal(FIRST_DAY + randrange(DAY_SPAN))
            active = randrange(4) != 0
            note = choice(NOTES)
            parts.append(
                " %10d%-30s%-20s%12s%s%s%-60s"
                % (ident, name, city, "%d.%02d" % divmod(cents, 100), day.strftime("%Y%m%d"), "T" if active else "F",
                   note)
            )
            rows.append((ident, name, city, cents, day.isoformat(), int(active), note))
        yield "".join(parts).encode("cp1252"), rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out_dir")
    parser.add_argument("--records", type=int, default=1_000_000)
    parser.add_argument("--seed", type=int, default=20240601)
    args = parser.parse_args()
    if not 0 < args.records < NAME_CODE_MODULUS:
        sys.exit("make_orders.py: --records must be between 1 and %d" % (NAME_CODE_MODULUS - 1))
    os.makedirs(args.out_dir, exist_ok=True)
    dbf_path = os.path.join(args.out_dir, "orders.dbf")
    sqlite_path = os.path.join(args.out_dir, "orders.sqlite")
    expected_path = os.path.join(args.out_dir, "orders.expected.json")
    for path in (dbf_path, sqlite_path, expected_path):
        if os.path.exists(path):
            os.remove(path)

    # Answers are computed from the generated rows in exact (cent) arithmetic.
    over_500 = 0
    by_city = {}
    first_by_name = []  # the 10 rows with the smallest names so far

    db = sqlite3.connect(sqlite_path + ".part")
    db.execute("PRAGMA journal_mode = OFF")
    db.execute("PRAGMA synchronous = OFF")
    db.execute(
        "CREATE TABLE orders (ID INTEGER, NAME TEXT, CITY TEXT, AMOUNT REAL, ODATE TEXT, ACTIVE INTEGER, NOTE TEXT)"
    )
    with open(dbf_path + ".part", "wb") as out:
        out.write(header(args.records, datetime.date.today()))
        for data, rows in generate(args.records, args.seed):
            out.write(data)
            db.executemany("INSERT INTO orders VALUES (?, ?, ?, ?/100.0, ?, ?, ?)", rows)
            for row in rows:
                cents = row[3]
                over_500 += cents > 50_000
                entry = by_city.setdefault(row[2], [0, 0])
                entry[0] += 1
                entry[1] += cents
            first_by_name = heapq.nsmallest(10, first_by_name + rows, key=lambda r: r[1])
        out.write(b"\x1a")
    db.commit()
    db.close()
    os.replace(dbf_path + ".part", dbf_path)
    os.replace(sqlite_path + ".part", sqlite_path)

    expected = {
        "records": args.records,
        "seed": args.seed,
        "count_over_500": over_500,
        "group_by_city": {city: [n, cents / 100] for city, (n, cents) in sorted(by_city.items())},
        "first_10_by_name": [
            [ident, name, city, cents / 100, day, bool(active), note]
            for ident, name, city, cents, day, active, note in first_by_name
        ],
    }
    with open(expected_path, "w", encoding="utf-8") as f:
        json.dump(expected, f, ensure_ascii=False, indent=1)
    print("%s: %d records, %d bytes" % (dbf_path, args.records, os.path.getsize(dbf_path)))


if __name__ == "__main__":
    main()
