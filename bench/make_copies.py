"""Writes a customer table in which every person has several independently
corrupted copies, with its truth file, for measuring how groups form when
many records of one person resemble each other only in part.

Usage: python3 bench/make_copies.py OUT_BASE [--persons 1000] [--seed 1]
    [--source DATA/customers-100k.csv.gz]

Takes the original records (role `orig`) of a sample table as persons; each
gets 1 to 9 records: its original and copies made from the original alone
(never from another copy), each with one to three changes drawn from: a
typo, a field emptied, capitals, the street word abbreviated, umlauts
spelt out, first and last name exchanged, blanks changed. Rows are
shuffled and numbered. Writes OUT_BASE.csv and OUT_BASE.truth.csv (id,
entity_id, role, corruptions) in the sample data's format.
"""

import argparse
import csv
import gzip
import os
import random

STREET_WORDS = [("straße", "str."), ("strasse", "str."), ("Street", "St."),
                ("Road", "Rd"), ("Avenue", "Ave."), ("weg", "wg.")]
UMLAUTS = [("ä", "ae"), ("ö", "oe"), ("ü", "ue"), ("ß", "ss"), ("Ä", "Ae"),
           ("Ö", "Oe"), ("Ü", "Ue")]
TEXT_FIELDS = ("first_name", "last_name", "company", "street", "city")
EMPTIED = ("first_name", "company", "postcode", "phone", "email", "city")


def typo(rng, text):
    if len(text) < 2:
        return text
    i = rng.randrange(len(text) - 1)
    kind = rng.randrange(4)
    if kind == 0:
        return text[:i] + text[i + 1:]
    if kind == 1:
        return text[:i] + text[i + 1] + text[i] + text[i + 2:]
    if kind == 2:
        return text[:i] + rng.choice("aeinrst") + text[i:]
    return text[:i] + rng.choice("aeinrst") + text[i + 1:]


def corrupt(rng, row, kind):
    if kind == "typo":
        field = rng.choice([f for f in TEXT_FIELDS if row[f]] or ["last_name"])
        row[field] = typo(rng, row[field])
    elif kind == "missing":
        row[rng.choice(EMPTIED)] = ""
    elif kind == "case":
        field = rng.choice(TEXT_FIELDS)
        row[field] = row[field].upper() if rng.random() < 0.5 else row[field].lower()
    elif kind == "street_abbrev":
        for long, short in STREET_WORDS:
            if long in row["street"]:
                row["street"] = row["street"].replace(long, short)
                break
    elif kind == "umlaut":
        for field in TEXT_FIELDS:
            for letter, spelt in UMLAUTS:
                row[field] = row[field].replace(letter, spelt)
    elif kind == "name_swap":
        row["first_name"], row["last_name"] = row["last_name"], row["first_name"]
    elif kind == "spacing":
        field = rng.choice(TEXT_FIELDS)
        row[field] = row[field].replace(" ", "", 1) if " " in row[field] else row[field] + " "


KINDS = ["typo", "typo", "missing", "case", "street_abbrev", "umlaut",
         "name_swap", "spacing"]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("out_base")
    parser.add_argument("--persons", type=int, default=1000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--source", default=os.path.join(
        here, "..", "..", "shared", "data", "customers-100k.csv.gz"))
    args = parser.parse_args()
    rng = random.Random(args.seed)

    truth_source = args.source.replace(".csv", ".truth.csv")
    with gzip.open(truth_source, "rt", encoding="utf-8", newline="") as f:
        originals = {r["id"]: r["entity_id"] for r in csv.DictReader(f) if r["role"] == "orig"}
    with gzip.open(args.source, "rt", encoding="utf-8", newline="") as f:
        reader = csv.DictReader(f)
        header = reader.fieldnames
        persons = [r for r in reader if r["id"] in originals]
    persons = rng.sample(persons, args.persons)

    rows = []
    for person in persons:
        entity = originals[person["id"]]
        rows.append((dict(person), entity, "orig", ""))
        for _ in range(rng.randrange(9)):
            copy = dict(person)
            kinds = [rng.choice(KINDS) for _ in range(rng.randint(1, 3))]
            for kind in kinds:
                corrupt(rng, copy, kind)
            rows.append((copy, entity, "dup", ";".join(kinds)))
    rng.shuffle(rows)

    with open(args.out_base + ".csv", "w", encoding="utf-8", newline="") as f, \
            open(args.out_base + ".truth.csv", "w", encoding="utf-8", newline="") as t:
        data, truth = csv.writer(f), csv.writer(t)
        data.writerow(header)
        truth.writerow(["id", "entity_id", "role", "corruptions"])
        for n, (row, entity, role, kinds) in enumerate(rows, 1):
            row["id"] = str(n)
            data.writerow([row[h] for h in header])
            truth.writerow([n, entity, role, kinds])
    print(f"{len(rows)} records of {len(persons)} persons")


if __name__ == "__main__":
    main()
