"""A second data family for measuring the fuzzy methods: English-speaking
persons with known duplicates, unlike the German-heavy customer tables.

Usage: python3 bench/make_persons.py OUT_DIR [--seed 1]

Modelled on the published designs of synthetic person-data generators for
record linkage: originals whose values are drawn from frequency tables
(names, streets, localities at Zipf-like frequencies, so namesakes occur),
then duplicates of them, their number per original following a Zipf or
Poisson law, each with a number of modifications per record and per field:
typing errors by keyboard neighbourhood, OCR confusions, phonetic variants,
nicknames, missing values, swapped given and family names, swapped address
lines. Columns: id, given_name, surname, street_number, address_1,
address_2, suburb, postcode, state, date_of_birth, soc_sec_id (id in
column 0, given name in 1, surname in 2, as in the customer tables).

Writes, each with a truth file (id, entity_id, role, modifications) beside it:

  persons-1k     1,000 records, 600 originals, Zipf duplicates, 1 to 9
  persons-5k-a   5,000 records, 4,000 originals, Poisson duplicates, up to 9
  persons-5k-b   5,000 records, 2,000 originals, Zipf, more modifications
  persons-link-a / persons-link-b   5,000 originals and, for 3,500 of them,
                 one modified copy among 1,500 other persons (linkage; the
                 truth of -b names its master_id)

The same seed gives the same files byte for byte. The files are a few
hundred KB each and are not committed.
"""

import argparse
import csv
import math
import os
import random

GIVEN_MALE = (
    "james john robert michael william david richard joseph thomas charles "
    "christopher daniel matthew anthony mark donald steven paul andrew joshua "
    "kenneth kevin brian george timothy ronald edward jason jeffrey ryan "
    "jacob gary nicholas eric jonathan stephen larry justin scott brandon "
    "benjamin samuel gregory alexander frank patrick raymond jack dennis "
    "jerry tyler aaron jose adam nathan henry douglas zachary peter kyle "
    "noah ethan jeremy walter christian keith roger terry austin sean "
    "gerald carl harold dylan arthur lawrence jordan jesse bryan billy "
    "bruce gabriel joe logan albert willie alan eugene russell vincent "
    "philip bobby johnny bradley liam oliver lachlan angus hamish callum"
).split()
GIVEN_FEMALE = (
    "mary patricia jennifer linda elizabeth barbara susan jessica sarah "
    "karen lisa nancy betty margaret sandra ashley kimberly emily donna "
    "michelle carol amanda dorothy melissa deborah stephanie rebecca sharon "
    "laura cynthia kathleen amy angela shirley anna brenda pamela emma "
    "nicole helen samantha katherine christine debra rachel carolyn janet "
    "catherine maria heather diane ruth julie olivia joyce virginia victoria "
    "kelly lauren christina joan evelyn judith megan andrea cheryl hannah "
    "jacqueline martha gloria teresa ann sara madison frances kathryn janice "
    "jean abigail alice judy sophia grace denise amber doris marilyn "
    "danielle beverly isabella theresa diana natalie brittany charlotte "
    "marie kayla alexis lori chloe matilda isla ruby zoe"
).split()
SURNAMES = (
    "smith johnson williams brown jones garcia miller davis rodriguez "
    "martinez hernandez lopez gonzalez wilson anderson thomas taylor moore "
    "jackson martin lee perez thompson white harris sanchez clark ramirez "
    "lewis robinson walker young allen king wright scott torres nguyen hill "
    "flores green adams nelson baker hall rivera campbell mitchell carter "
    "roberts gomez phillips evans turner diaz parker cruz edwards collins "
    "reyes stewart morris morales murphy cook rogers gutierrez ortiz morgan "
    "cooper peterson bailey reed kelly howard ramos kim cox ward richardson "
    "watson brooks chavez wood james bennett gray mendoza ruiz hughes price "
    "alvarez castillo sanders patel myers long ross foster jimenez powell "
    "jenkins perry russell sullivan bell coleman butler henderson barnes "
    "gonzales fisher vasquez simmons romero jordan patterson alexander "
    "hamilton graham reynolds griffin wallace moreno west cole hayes bryant "
    "herrera gibson ellis tran medina aguilar stevens murray ford castro "
    "marshall owens harrison fernandez mcdonald woods washington kennedy "
    "wells vargas henry chen freeman webb tucker guzman burns crawford olson "
    "simpson porter hunter gordon mendez silva shaw snyder mason dixon munoz "
    "hunt hicks holmes palmer wagner black robertson boyd rose stone salazar "
    "fox warren mills meyer rice schmidt garza daniels ferguson nichols "
    "stephens soto weaver ryan gardner payne grant dunn kelley spencer "
    "hawkins arnold pierce vazquez hansen peters santos hart bradley knight "
    "elliott cunningham duncan armstrong hudson carroll lane riley andrews "
    "ray berry perkins hoffman johnston matthews pena richards willis "
    "carpenter lawrence sandoval odonnell mcallister fitzgerald oconnor "
    "wojciechowski kowalczyk papadopoulos nakamura abernethy blackwood "
    "featherstone whitlock pemberton ashworth"
).split()
STREETS = (
    "main high church park victoria george king queen station albert "
    "william elizabeth railway john hill mill bridge north south west "
    "east market school water oak maple pine cedar elm lake river forest "
    "spring cherry highland ridge sunset meadow valley garden orchard "
    "beach harbour wattle banksia acacia jacaranda kurrajong eucalyptus "
    "waratah bottlebrush macquarie hume flinders bourke darling murray "
    "collins swanston lonsdale elgin russell chapel wellington nelson "
    "clarence regent prince princess grosvenor kensington windsor "
    "balmoral stirling hamilton abbott fitzroy"
).split()
STREET_TYPES = ["street"] * 8 + ["road"] * 5 + ["avenue"] * 3 + [
    "place", "crescent", "close", "drive", "drive", "parade", "lane", "court",
    "way", "terrace", "circuit", "grove"]
LOCALITIES = [
    ("sydney", "nsw", 2000), ("parramatta", "nsw", 2150),
    ("newcastle", "nsw", 2300), ("wollongong", "nsw", 2500),
    ("penrith", "nsw", 2750), ("blacktown", "nsw", 2148),
    ("liverpool", "nsw", 2170), ("gosford", "nsw", 2250),
    ("dubbo", "nsw", 2830), ("wagga wagga", "nsw", 2650),
    ("albury", "nsw", 2640), ("tamworth", "nsw", 2340),
    ("orange", "nsw", 2800), ("bathurst", "nsw", 2795),
    ("melbourne", "vic", 3000), ("geelong", "vic", 3220),
    ("ballarat", "vic", 3350), ("bendigo", "vic", 3550),
    ("frankston", "vic", 3199), ("dandenong", "vic", 3175),
    ("shepparton", "vic", 3630), ("mildura", "vic", 3500),
    ("brisbane", "qld", 4000), ("gold coast", "qld", 4217),
    ("toowoomba", "qld", 4350), ("cairns", "qld", 4870),
    ("townsville", "qld", 4810), ("mackay", "qld", 4740),
    ("rockhampton", "qld", 4700), ("bundaberg", "qld", 4670),
    ("perth", "wa", 6000), ("fremantle", "wa", 6160),
    ("bunbury", "wa", 6230), ("geraldton", "wa", 6530),
    ("adelaide", "sa", 5000), ("mount gambier", "sa", 5290),
    ("whyalla", "sa", 5600), ("hobart", "tas", 7000),
    ("launceston", "tas", 7250), ("devonport", "tas", 7310),
    ("canberra", "act", 2600), ("belconnen", "act", 2617),
    ("darwin", "nt", 800), ("alice springs", "nt", 870),
]
ADDRESS_2 = ["", "", "", "", "", "", "unit", "flat", "apartment", "suite",
             "rear", "level"]
PLACE_NAMES = ["rosedale", "kingsford", "glenview", "hillcrest", "riverside",
               "parkview", "the oaks", "sunnybank", "brookfield", "fairway",
               "greenacres", "lakeside", "oakleigh", "willowmere"]
NICKNAMES = {
    "william": ["bill", "will", "billy", "liam"], "robert": ["bob", "rob",
    "bobby"], "richard": ["dick", "rick", "richie"], "james": ["jim",
    "jimmy", "jamie"], "john": ["jack", "johnny"], "michael": ["mike",
    "mick"], "thomas": ["tom", "tommy"], "charles": ["charlie", "chuck"],
    "christopher": ["chris"], "daniel": ["dan", "danny"], "matthew":
    ["matt"], "anthony": ["tony"], "joseph": ["joe", "joey"], "edward":
    ["ed", "ted", "eddie"], "andrew": ["andy", "drew"], "kenneth": ["ken",
    "kenny"], "steven": ["steve"], "timothy": ["tim"], "benjamin": ["ben"],
    "samuel": ["sam"], "alexander": ["alex"], "nicholas": ["nick"],
    "patrick": ["pat", "paddy"], "jonathan": ["jon"], "gregory": ["greg"],
    "lawrence": ["larry"], "margaret": ["maggie", "peggy", "meg"],
    "elizabeth": ["liz", "beth", "betty", "lizzie"], "katherine": ["kate",
    "kathy", "katie"], "catherine": ["cathy", "kate"], "jennifer": ["jenny",
    "jen"], "patricia": ["pat", "patty", "trish"], "susan": ["sue", "susie"],
    "deborah": ["debbie", "deb"], "rebecca": ["becky", "bec"], "victoria":
    ["vicky", "tori"], "samantha": ["sam"], "christine": ["chris",
    "chrissy"], "jacqueline": ["jackie"], "abigail": ["abby"], "alexis":
    ["lexi"], "theresa": ["tess", "terri"], "dorothy": ["dot", "dottie"],
    "barbara": ["barb"], "pamela": ["pam"], "kimberly": ["kim"],
}
KEYBOARD = ["qwertyuiop", "asdfghjkl", "zxcvbnm"]
OCR = [("m", "rn"), ("rn", "m"), ("l", "1"), ("1", "l"), ("o", "0"),
       ("0", "o"), ("s", "5"), ("5", "s"), ("b", "8"), ("8", "b"), ("g", "9"),
       ("cl", "d"), ("d", "cl"), ("vv", "w"), ("w", "vv"), ("i", "l"),
       ("e", "c"), ("h", "b"), ("n", "ri"), ("2", "z"), ("7", "1")]
PHONETIC = [("ph", "f"), ("f", "ph"), ("ck", "k"), ("k", "ck"), ("ie", "y"),
            ("y", "ie"), ("ou", "ow"), ("c", "k"), ("s", "z"), ("ei", "ie"),
            ("ie", "ei"), ("ll", "l"), ("l", "ll"), ("tt", "t"), ("t", "tt"),
            ("mm", "m"), ("nn", "n"), ("n", "nn"), ("ee", "ea"), ("ea", "ee"),
            ("son", "sen"), ("sen", "son"), ("ch", "tch"), ("mac", "mc"),
            ("mc", "mac"), ("th", "t"), ("ai", "ay"), ("er", "a"),
            ("dge", "ge"), ("wr", "r"), ("kn", "n"), ("gh", "")]


def zipf_weights(n, s=1.0):
    return [1.0 / (k + 1) ** s for k in range(n)]


def neighbours(c):
    for r, row in enumerate(KEYBOARD):
        i = row.find(c)
        if i < 0:
            continue
        near = []
        for dr in (-1, 0, 1):
            if 0 <= r + dr < len(KEYBOARD):
                other = KEYBOARD[r + dr]
                for j in (i - 1, i, i + 1):
                    if 0 <= j < len(other) and (dr, j) != (0, i):
                        near.append(other[j])
        return near
    if c.isdigit():
        d = int(c)
        return [str(x) for x in (d - 1, d + 1) if 0 <= x <= 9]
    return []


class Maker:
    def __init__(self, rng):
        self.rng = rng
        self.w_male = zipf_weights(len(GIVEN_MALE), 0.9)
        self.w_female = zipf_weights(len(GIVEN_FEMALE), 0.9)
        self.w_surname = zipf_weights(len(SURNAMES), 0.8)
        self.w_street = zipf_weights(len(STREETS), 0.6)
        self.w_locality = zipf_weights(len(LOCALITIES), 0.9)
        self.used_ids = set()

    def pick(self, items, weights):
        return self.rng.choices(items, weights)[0]

    def original(self):
        rng = self.rng
        female = rng.random() < 0.5
        given = self.pick(GIVEN_FEMALE, self.w_female) if female else \
            self.pick(GIVEN_MALE, self.w_male)
        suburb, state, base = self.pick(LOCALITIES, self.w_locality)
        postcode = base + rng.choice([0, 0, 0, 1, 2, 3, 5, 7, 11, 14])
        number = str(int(rng.paretovariate(1.1))) if rng.random() < 0.9 else \
            str(rng.randint(1, 400))
        street = self.pick(STREETS, self.w_street) + " " + rng.choice(STREET_TYPES)
        extra = rng.choice(ADDRESS_2)
        if extra:
            extra = f"{extra} {rng.randint(1, 60)}"
        elif rng.random() < 0.1:
            extra = rng.choice(PLACE_NAMES)
        year = rng.randint(1925, 2005)
        dob = f"{year}{rng.randint(1, 12):02d}{rng.randint(1, 28):02d}"
        while True:
            ssid = str(rng.randint(1000000, 9999999))
            if ssid not in self.used_ids:
                self.used_ids.add(ssid)
                break
        return {"given_name": given, "surname": self.pick(SURNAMES, self.w_surname),
                "street_number": number, "address_1": street,
                "address_2": extra, "suburb": suburb,
                "postcode": f"{postcode:04d}", "state": state,
                "date_of_birth": dob, "soc_sec_id": ssid}


# Per field: how likely it is chosen for a modification (the published
# generators weight names and addresses above identifiers).
FIELD_SHARE = {"given_name": 0.2, "surname": 0.2, "street_number": 0.08,
               "address_1": 0.12, "address_2": 0.06, "suburb": 0.1,
               "postcode": 0.08, "state": 0.04, "date_of_birth": 0.07,
               "soc_sec_id": 0.05}


def modify_text(rng, value, kinds):
    if not value:
        return value, "none"
    kind = rng.choices(list(kinds), list(kinds.values()))[0]
    if kind == "typo":
        i = rng.randrange(len(value))
        op = rng.choice(["sub", "sub", "ins", "del", "swap"])
        c = value[i]
        near = neighbours(c) or [c]
        if op == "sub":
            value = value[:i] + rng.choice(near) + value[i + 1:]
        elif op == "ins":
            value = value[:i] + rng.choice(near) + value[i:]
        elif op == "del" and len(value) > 1:
            value = value[:i] + value[i + 1:]
        elif i + 1 < len(value):
            value = value[:i] + value[i + 1] + value[i] + value[i + 2:]
    elif kind in ("ocr", "phonetic"):
        rules = [r for r in (OCR if kind == "ocr" else PHONETIC) if r[0] in value]
        if rules:
            old, new = rng.choice(rules)
            at = [i for i in range(len(value)) if value.startswith(old, i)]
            i = rng.choice(at)
            value = value[:i] + new + value[i + len(old):]
        else:
            return modify_text(rng, value, {"typo": 1})
    elif kind == "missing":
        value = ""
    return value, kind


def modify(rng, record, modifications):
    rec = dict(record)
    done = []
    text_kinds = {"typo": 0.5, "ocr": 0.15, "phonetic": 0.2, "missing": 0.15}
    code_kinds = {"typo": 0.7, "ocr": 0.15, "missing": 0.15}
    fields = list(FIELD_SHARE)
    for _ in range(modifications):
        roll = rng.random()
        if roll < 0.06:
            rec["given_name"], rec["surname"] = rec["surname"], rec["given_name"]
            done.append("swap_names")
            continue
        if roll < 0.09:
            rec["address_1"], rec["address_2"] = rec["address_2"], rec["address_1"]
            done.append("swap_address")
            continue
        if roll < 0.16 and rec["given_name"] in NICKNAMES:
            rec["given_name"] = rng.choice(NICKNAMES[rec["given_name"]])
            done.append("nickname")
            continue
        field = rng.choices(fields, [FIELD_SHARE[f] for f in fields])[0]
        digits = field in ("street_number", "postcode", "date_of_birth", "soc_sec_id")
        # Up to three changes in one field, fewer more often.
        for _ in range(rng.choices([1, 2, 3], [0.7, 0.2, 0.1])[0]):
            rec[field], kind = modify_text(rng, rec[field],
                                           code_kinds if digits else text_kinds)
            if kind != "none":
                done.append(f"{field}:{kind}")
            if not rec[field]:
                break
    return rec, done


def duplicate_counts(rng, originals, duplicates, law, most):
    """How many duplicates each original gets: `duplicates` in all, at most
    `most` each, spread over a random set of originals by a Zipf or Poisson
    law."""
    counts = [0] * originals
    chosen = list(range(originals))
    rng.shuffle(chosen)
    left = duplicates
    k = 0
    while left > 0:
        if law == "zipf":
            n = rng.choices(range(1, most + 1), zipf_weights(most, 1.4))[0]
        else:
            # Poisson of mean 1.5, shifted to at least one.
            n, p, limit = 0, 1.0, math.exp(-1.5)
            while True:
                p *= rng.random()
                if p < limit:
                    break
                n += 1
            n = min(most, n + 1)
        n = min(n, left)
        counts[chosen[k % originals]] = n
        left -= n
        k += 1
    return counts


COLUMNS = ["id", "given_name", "surname", "street_number", "address_1",
           "address_2", "suburb", "postcode", "state", "date_of_birth",
           "soc_sec_id"]


def write(path, rows, columns):
    with open(path, "w", encoding="utf-8", newline="") as f:
        w = csv.writer(f, lineterminator="\r\n")
        w.writerow(columns)
        w.writerows(rows)


def dedup_table(rng, out, name, originals, duplicates, law, most, per_record):
    maker = Maker(rng)
    base = [maker.original() for _ in range(originals)]
    records = []
    for e, rec in enumerate(base):
        records.append((f"E{e}", "orig", "", rec))
    for e, n in enumerate(duplicate_counts(rng, originals, duplicates, law, most)):
        for _ in range(n):
            mods = rng.choices(range(1, len(per_record) + 1), per_record)[0]
            dup, done = modify(rng, base[e], mods)
            records.append((f"E{e}", "dup", ";".join(done), dup))
    rng.shuffle(records)
    rows, truth = [], []
    for i, (entity, role, done, rec) in enumerate(records, 1):
        rows.append([str(i)] + [rec[c] for c in COLUMNS[1:]])
        truth.append([str(i), entity, role, done])
    write(os.path.join(out, name + ".csv"), rows, COLUMNS)
    write(os.path.join(out, name + ".truth.csv"), truth,
          ["id", "entity_id", "role", "modifications"])


def link_tables(rng, out, masters, copies, others):
    maker = Maker(rng)
    base = [maker.original() for _ in range(masters)]
    rows = [[f"A{e + 1:05d}"] + [r[c] for c in COLUMNS[1:]] for e, r in enumerate(base)]
    write(os.path.join(out, "persons-link-a.csv"), rows, COLUMNS)
    write(os.path.join(out, "persons-link-a.truth.csv"),
          [[r[0], f"E{e}"] for e, r in enumerate(rows)], ["id", "entity_id"])
    incoming = []
    for e in rng.sample(range(masters), copies):
        mods = rng.choices([1, 2, 3, 4], [0.4, 0.3, 0.2, 0.1])[0]
        dup, done = modify(rng, base[e], mods)
        incoming.append((f"E{e}", f"A{e + 1:05d}", ";".join(done), dup))
    for k in range(others):
        incoming.append((f"N{k}", "", "", maker.original()))
    rng.shuffle(incoming)
    rows, truth = [], []
    for i, (entity, master, done, rec) in enumerate(incoming, 1):
        rows.append([f"B{i:05d}"] + [rec[c] for c in COLUMNS[1:]])
        truth.append([f"B{i:05d}", entity, master, done])
    write(os.path.join(out, "persons-link-b.csv"), rows, COLUMNS)
    write(os.path.join(out, "persons-link-b.truth.csv"), truth,
          ["id", "entity_id", "master_id", "modifications"])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("out")
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    # One generator per table, so that changing one table leaves the others.
    dedup_table(random.Random(args.seed * 100 + 1), args.out, "persons-1k",
                600, 400, "zipf", 9, [0.5, 0.3, 0.2])
    dedup_table(random.Random(args.seed * 100 + 2), args.out, "persons-5k-a",
                4000, 1000, "poisson", 9, [0.6, 0.3, 0.1])
    dedup_table(random.Random(args.seed * 100 + 3), args.out, "persons-5k-b",
                2000, 3000, "zipf", 9, [0.2, 0.3, 0.3, 0.2])
    link_tables(random.Random(args.seed * 100 + 4), args.out, 5000, 3500, 1500)


if __name__ == "__main__":
    main()
