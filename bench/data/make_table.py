#!/usr/bin/env python3
"""Writes a table of N occurrences in decimal degrees, shaped as a GBIF
"simple" download (tab-separated, the usual fifty columns), in nine species:

    python3 bench/data/make_table.py 1000000 /tmp/t1m.tsv

Positions lie on the main islands (latitude 31-45 N, longitude 130-145 E)
with five or six decimals, elevations in metres (a fifth of the rows have
none, some give only minimumElevationInMeters). With --csv the same rows are
written comma-separated with Japanese headers (種名, 緯度, 経度, 標高) as a
spreadsheet saves them. The same N and seed give the same file byte for byte.
"""
import random
import sys

GBIF_COLUMNS = (
    "gbifID datasetKey occurrenceID kingdom phylum class order family genus species "
    "infraspecificEpithet taxonRank scientificName verbatimScientificName verbatimScientificNameAuthorship "
    "countryCode locality stateProvince occurrenceStatus individualCount publishingOrgKey "
    "decimalLatitude decimalLongitude coordinateUncertaintyInMeters coordinatePrecision elevation "
    "elevationAccuracy depth depthAccuracy eventDate day month year taxonKey speciesKey basisOfRecord "
    "institutionCode collectionCode catalogNumber recordNumber identifiedBy dateIdentified license "
    "rightsHolder recordedBy typeStatus establishmentMeans lastInterpreted mediaType issue"
).split()
# minimumElevationInMeters is not in the simple download; some exports add it.
GBIF_COLUMNS.insert(GBIF_COLUMNS.index("elevationAccuracy"), "minimumElevationInMeters")

SPECIES = ["Fagus crenata", "Quercus crispula", "Abies mariesii", "Betula ermanii", "Pinus pumila",
           "Tsuga diversifolia", "Acer japonicum", "Sorbus commixta", "Alnus maximowiczii"]


def main() -> int:
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    csv = "--csv" in sys.argv
    if len(args) not in (2, 3):
        print("usage: make_table.py [--csv] ROWS OUTPUT [SEED]", file=sys.stderr)
        return 2
    total = int(args[0])
    rng = random.Random(int(args[2]) if len(args) == 3 else 5)
    with open(args[1], "w", encoding="utf-8", newline="\n") as out:
        if csv:
            out.write("種名,緯度,経度,標高,備考\n")
        else:
            out.write("\t".join(GBIF_COLUMNS) + "\n")
        index = {c: i for i, c in enumerate(GBIF_COLUMNS)}
        lines = []
        for n in range(total):
            species = SPECIES[rng.randrange(len(SPECIES))]
            digits = 5 + rng.randrange(2)
            lat = "%.*f" % (digits, 31 + rng.random() * 14)
            lon = "%.*f" % (digits, 130 + rng.random() * 15)
            r = rng.random()
            elev = "" if r < 0.2 else "%d" % rng.randrange(3000) if r < 0.9 else "%.1f" % (rng.random() * 3000)
            if csv:
                lines.append("%s,%s,%s,%s,\n" % (species, lat, lon, elev))
            else:
                row = [""] * len(GBIF_COLUMNS)
                row[index["gbifID"]] = str(4000000000 + n)
                row[index["datasetKey"]] = "50c9509d-22c7-4a22-a47d-8c48425ef4a7"
                row[index["kingdom"]] = "Plantae"
                row[index["species"]] = species
                row[index["scientificName"]] = species + " L."
                row[index["taxonRank"]] = "SPECIES"
                row[index["countryCode"]] = "JP"
                row[index["occurrenceStatus"]] = "PRESENT"
                row[index["decimalLatitude"]] = lat
                row[index["decimalLongitude"]] = lon
                if r < 0.8:
                    row[index["elevation"]] = elev
                else:
                    row[index["minimumElevationInMeters"]] = elev
                row[index["eventDate"]] = "2019-06-%02d" % (1 + n % 28)
                row[index["year"]] = "2019"
                row[index["basisOfRecord"]] = "HUMAN_OBSERVATION"
                row[index["license"]] = "CC_BY_4_0"
                lines.append("\t".join(row) + "\n")
            if len(lines) >= 10000:
                out.write("".join(lines))
                lines = []
        out.write("".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main())
