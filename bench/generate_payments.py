#!/usr/bin/env python3
"""Writes large, realistic SEPA payment files for benchmarks: credit transfers (pain.001.001.09) or
direct debits (pain.008.001.08) with N transactions, optionally with K schema errors spread evenly
through the file. Each injected error breaks exactly one rule, so a validator must report exactly K.

Examples:
  generate_payments.py --type sct --transactions 100000 out/sct-100k.xml
  generate_payments.py --type sdd --transactions 5000 --errors 50 --single-line out/sdd.xml
  generate_payments.py --type sct --retired --transactions 100000 out/sct-100k.pain.001.001.03.xml

--retired writes the version the banks no longer take (pain.001.001.03, pain.008.001.02): BIC for
BICFI, a plain ReqdExctnDt, and addresses as a street line and a "12345 Town" line (AdrLine), for
measuring the upgrade.
"""

import argparse
import random
import sys

NAMESPACES = {
    "sct": "urn:iso:std:iso:20022:tech:xsd:pain.001.001.09",
    "sdd": "urn:iso:std:iso:20022:tech:xsd:pain.008.001.08",
}
RETIRED_NAMESPACES = {
    "sct": "urn:iso:std:iso:20022:tech:xsd:pain.001.001.03",
    "sdd": "urn:iso:std:iso:20022:tech:xsd:pain.008.001.02",
}
RETIRED = False  # set by --retired

FIRST = ["Anna", "Ben", "Clara", "David", "Emma", "Felix", "Greta", "Hannah", "Jonas", "Katrin",
         "Lukas", "Marie", "Noah", "Olga", "Paul", "Rita", "Sophie", "Tim", "Ute", "Yusuf"]
LAST = ["Becker", "Fischer", "Hoffmann", "Jäger", "Klein", "Lange", "Müller", "Neumann", "Özdemir",
        "Richter", "Schäfer", "Schmidt", "Schulz", "Wagner", "Weber", "Wolf", "Zimmermann"]
FIRMS = ["Baumschule", "Druckerei", "Elektro", "Getränkehandel", "Holzbau", "Kanzlei", "Metallbau",
         "Reisebüro", "Sanitär", "Spedition", "Steuerberatung", "Textilpflege"]
FORMS = ["GmbH", "KG", "AG", "e.K.", "GmbH & Co. KG", "OHG"]
TOWNS = ["Musterstadt", "Beispielheim", "Neuhausen", "Altdorf", "Bergfeld", "Seeburg", "Talheim"]
STREETS = ["Hauptstraße", "Bahnhofstraße", "Lindenallee", "Am Markt", "Gartenweg", "Schulstraße"]
BANK_CODES = ["10020030", "20050060", "30040070", "40030080", "50060090", "60070010", "70080020"]
BICS = ["MUSTDEFFXXX", "BEISDEMMXXX", "SPKMDE21XXX", "GENODEF1ABC", "NEUHDE33XXX"]
PURPOSES = ["SUPP", "SALA", "RENT", "GDDS", "SCVE"]

# Error kinds, used in turn. Each replaces one value or drops one element; see inject().
KINDS = ["name too long", "IBAN pattern", "enumeration", "missing element", "amount fraction", "id pattern"]


def mod97(text):
    return int("".join(str(int(c, 36)) for c in text)) % 97


def iban(rng):
    bban = rng.choice(BANK_CODES) + f"{rng.randrange(10**10):010d}"
    return f"DE{98 - mod97(bban + 'DE00'):02d}{bban}"


def creditor_reference(n):
    ref = f"{n:012d}"
    return f"RF{98 - mod97(ref + 'RF00'):02d}{ref}"


def party_name(rng):
    if rng.random() < 0.6:
        return f"{rng.choice(FIRST)} {rng.choice(LAST)}"
    return f"{rng.choice(FIRMS)} {rng.choice(LAST)} {rng.choice(FORMS)}"


class Writer:
    """Writes elements pretty-printed (two-space indent, LF) or all on one line."""

    def __init__(self, out, single_line):
        self.out = out
        self.single = single_line
        self.depth = 0

    def _indent(self):
        return "" if self.single else "  " * self.depth

    def _nl(self):
        return "" if self.single else "\n"

    def open(self, tag, attrs=""):
        self.out.write(f"{self._indent()}<{tag}{attrs}>{self._nl()}")
        self.depth += 1

    def close(self, tag):
        self.depth -= 1
        self.out.write(f"{self._indent()}</{tag}>{self._nl()}")

    def leaf(self, tag, value, attrs=""):
        if RETIRED and tag == "BICFI":
            tag = "BIC"
        value = value.replace("&", "&amp;").replace("<", "&lt;")
        self.out.write(f"{self._indent()}<{tag}{attrs}>{value}</{tag}>{self._nl()}")

    def path(self, tags, value):
        """Nested single-child elements ending in one value, e.g. Id/IBAN."""
        for t in tags[:-1]:
            self.open(t)
        self.leaf(tags[-1], value)
        for t in reversed(tags[:-1]):
            self.close(t)


def transactions(rng, count):
    for i in range(count):
        cents = rng.choice([rng.randrange(100, 20000), rng.randrange(1000, 500000), rng.randrange(1, 99)])
        yield {
            "index": i,
            "e2e": f"E2E-{i + 1:09d}",
            "amount": cents,
            "name": party_name(rng),
            "iban": iban(rng),
            "bic": rng.choice(BICS) if rng.random() < 0.3 else None,
            "address": (rng.choice(STREETS), str(rng.randrange(1, 200)), f"{rng.randrange(10000, 99999)}",
                        rng.choice(TOWNS)) if rng.random() < 0.25 else None,
            "purpose": rng.choice(PURPOSES) if rng.random() < 0.2 else None,
            "structured": rng.random() < 0.15,
            "remittance": f"Rechnung {rng.randrange(100000, 999999)} vom {rng.randrange(1, 29):02d}.11.2026",
            # Unique within the file, as a creditor keeps one mandate per debtor.
            "mandate": f"M-{rng.randrange(10**7):07d}-{i + 1}",
            "signed": f"20{rng.randrange(15, 26)}-{rng.randrange(1, 13):02d}-{rng.randrange(1, 29):02d}",
        }


def error_positions(count, errors):
    """K transaction indices spread evenly, the first a little way in."""
    if errors <= 0:
        return {}
    step = count / errors
    return {int(step * k + step / 2): KINDS[k % len(KINDS)] for k in range(errors)}


def amount_text(cents):
    return f"{cents // 100}.{cents % 100:02d}"


def write_party(w, tag, name, address):
    w.open(tag)
    w.leaf("Nm", name)
    if address and RETIRED:
        street, number, code, town = address
        w.open("PstlAdr")
        w.leaf("Ctry", "DE")
        w.leaf("AdrLine", f"{street} {number}")
        w.leaf("AdrLine", f"{code} {town}")
        w.close("PstlAdr")
    elif address:
        street, number, code, town = address
        w.open("PstlAdr")
        w.leaf("StrtNm", street)
        w.leaf("BldgNb", number)
        w.leaf("PstCd", code)
        w.leaf("TwnNm", town)
        w.leaf("Ctry", "DE")
        w.close("PstlAdr")
    w.close(tag)


def write_sct_transaction(w, tx, error):
    name = tx["name"] + ", " + "Niederlassung " * 6 if error == "name too long" else tx["name"]
    account = tx["iban"].lower() if error == "IBAN pattern" else tx["iban"]
    currency = "USD" if error == "enumeration" else "EUR"
    amount = amount_text(tx["amount"]) + ("5" if error == "amount fraction" else "")
    e2e = tx["e2e"].replace("-", "_") if error == "id pattern" else tx["e2e"]
    w.open("CdtTrfTxInf")
    w.path(["PmtId", "EndToEndId"], e2e)
    w.open("Amt")
    w.leaf("InstdAmt", amount, f' Ccy="{currency}"')
    w.close("Amt")
    if tx["bic"]:
        w.path(["CdtrAgt", "FinInstnId", "BICFI"], tx["bic"])
    write_party(w, "Cdtr", name, tx["address"])
    if error != "missing element":
        w.path(["CdtrAcct", "Id", "IBAN"], account)
    if tx["purpose"]:
        w.path(["Purp", "Cd"], tx["purpose"])
    write_remittance(w, tx)
    w.close("CdtTrfTxInf")


def write_sdd_transaction(w, tx, error):
    name = tx["name"] + ", " + "Niederlassung " * 6 if error == "name too long" else tx["name"]
    account = tx["iban"].lower() if error == "IBAN pattern" else tx["iban"]
    amount = amount_text(tx["amount"]) + ("5" if error == "amount fraction" else "")
    e2e = tx["e2e"].replace("-", "_") if error == "id pattern" else tx["e2e"]
    w.open("DrctDbtTxInf")
    w.path(["PmtId", "EndToEndId"], e2e)
    w.leaf("InstdAmt", amount, ' Ccy="EUR"')
    if error == "enumeration":
        w.leaf("ChrgBr", "SHAR")  # only SLEV is allowed
    w.open("DrctDbtTx")
    w.open("MndtRltdInf")
    w.leaf("MndtId", tx["mandate"])
    if error != "missing element":
        w.leaf("DtOfSgntr", tx["signed"])
    w.leaf("AmdmntInd", "false")
    w.close("MndtRltdInf")
    w.close("DrctDbtTx")
    w.path(["DbtrAgt", "FinInstnId", "BICFI"], tx["bic"] or BICS[tx["index"] % len(BICS)])
    write_party(w, "Dbtr", name, tx["address"])
    w.path(["DbtrAcct", "Id", "IBAN"], account)
    if tx["purpose"]:
        w.path(["Purp", "Cd"], tx["purpose"])
    write_remittance(w, tx)
    w.close("DrctDbtTxInf")


def write_remittance(w, tx):
    w.open("RmtInf")
    if tx["structured"]:
        w.open("Strd")
        w.open("CdtrRefInf")
        w.open("Tp")
        w.path(["CdOrPrtry", "Cd"], "SCOR")
        w.close("Tp")
        w.leaf("Ref", creditor_reference(tx["index"] + 1))
        w.close("CdtrRefInf")
        w.close("Strd")
    else:
        w.leaf("Ustrd", tx["remittance"])
    w.close("RmtInf")


def write_payment_info(w, kind, number, txs, errors):
    total = sum(t["amount"] for t in txs)
    w.open("PmtInf")
    w.leaf("PmtInfId", f"PMT-{number:05d}")
    w.leaf("PmtMtd", "TRF" if kind == "sct" else "DD")
    w.leaf("BtchBookg", "true")
    w.leaf("NbOfTxs", str(len(txs)))
    w.leaf("CtrlSum", amount_text(total))
    w.open("PmtTpInf")
    w.path(["SvcLvl", "Cd"], "SEPA")
    if kind == "sdd":
        w.path(["LclInstrm", "Cd"], "CORE")
        w.leaf("SeqTp", "RCUR")
    w.close("PmtTpInf")
    if kind == "sct":
        if RETIRED:
            w.leaf("ReqdExctnDt", "2026-12-14")
        else:
            w.path(["ReqdExctnDt", "Dt"], "2026-12-14")
        write_party(w, "Dbtr", "Lindenhof Gartenbau GmbH", ("Am Lindenhof", "12", "34567", "Musterstadt"))
        w.path(["DbtrAcct", "Id", "IBAN"], "DE27100200300012345678")
        w.path(["DbtrAgt", "FinInstnId", "BICFI"], "MUSTDEFFXXX")
    else:
        w.leaf("ReqdColltnDt", "2026-12-15")
        write_party(w, "Cdtr", "Turn- und Sportverein Musterstadt e.V.", None)
        w.path(["CdtrAcct", "Id", "IBAN"], "DE48800900300033221100")
        w.path(["CdtrAgt", "FinInstnId", "BICFI"], "MUSTDEFFXXX")
    w.leaf("ChrgBr", "SLEV")
    if kind == "sdd":
        w.open("CdtrSchmeId")
        w.open("Id")
        w.open("PrvtId")
        w.open("Othr")
        w.leaf("Id", "DE32ZZZ00000123456")
        w.path(["SchmeNm", "Prtry"], "SEPA")
        w.close("Othr")
        w.close("PrvtId")
        w.close("Id")
        w.close("CdtrSchmeId")
    for tx in txs:
        error = errors.get(tx["index"])
        (write_sct_transaction if kind == "sct" else write_sdd_transaction)(w, tx, error)
    w.close("PmtInf")


def generate(out, kind, count, error_count, single_line, per_payment_info, seed):
    rng = random.Random(seed)
    txs = list(transactions(rng, count))
    errors = error_positions(count, error_count)
    w = Writer(out, single_line)
    out.write('<?xml version="1.0" encoding="UTF-8"?>' + ("" if single_line else "\n"))
    w.open("Document", f' xmlns="{(RETIRED_NAMESPACES if RETIRED else NAMESPACES)[kind]}"')
    root = "CstmrCdtTrfInitn" if kind == "sct" else "CstmrDrctDbtInitn"
    w.open(root)
    w.open("GrpHdr")
    w.leaf("MsgId", f"BENCH-{kind.upper()}-{count}-{error_count}-{seed}")
    w.leaf("CreDtTm", "2026-12-10T09:30:00")
    w.leaf("NbOfTxs", str(count))
    w.leaf("CtrlSum", amount_text(sum(t["amount"] for t in txs)))
    w.path(["InitgPty", "Nm"], "Lindenhof Gartenbau GmbH" if kind == "sct" else "TSV Musterstadt e.V.")
    w.close("GrpHdr")
    for number, start in enumerate(range(0, count, per_payment_info), 1):
        write_payment_info(w, kind, number, txs[start:start + per_payment_info], errors)
    w.close(root)
    w.close("Document")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("output", help="file to write ('-' for stdout)")
    parser.add_argument("--type", choices=["sct", "sdd"], default="sct",
                        help="sct: credit transfers, pain.001.001.09; sdd: direct debits, pain.008.001.08")
    parser.add_argument("--transactions", type=int, default=1000)
    parser.add_argument("--errors", type=int, default=0, help="schema errors to inject, spread evenly")
    parser.add_argument("--single-line", action="store_true", help="write the whole document on one line")
    parser.add_argument("--per-payment-info", type=int, default=5000,
                        help="transactions per payment information block (PmtInf)")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--retired", action="store_true",
                        help="write pain.001.001.03 or pain.008.001.02, the versions the banks no longer take")
    args = parser.parse_args()
    global RETIRED
    RETIRED = args.retired
    if args.transactions < 1 or not 0 <= args.errors <= args.transactions:
        parser.error("need at least one transaction and at most one error per transaction")
    out = sys.stdout if args.output == "-" else open(args.output, "w", encoding="utf-8", newline="\n")
    with out:
        generate(out, args.type, args.transactions, args.errors, args.single_line,
                 max(1, args.per_payment_info), args.seed)


if __name__ == "__main__":
    main()
