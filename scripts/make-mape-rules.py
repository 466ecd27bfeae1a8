#!/usr/bin/env python3
"""Writes src/line/ProviderRules.inc, the MAP-E rule table the programs carry,
from src/line/mape-rules.csv (its source: docs/third-party.md).

    scripts/make-mape-rules.py          rewrite the table
    scripts/make-mape-rules.py --check  exit 1 when the table is not the CSV's

Run it after every change of the CSV; the test line_rules_current checks that
nobody forgot.
"""
import csv
import ipaddress
import pathlib
import sys

HERE = pathlib.Path(__file__).resolve().parent.parent / "src" / "line"
SERVICES = {"v6plus": "kV6Plus", "ipv6option": "kIpv6Option", "ocn": "kOcn"}


def rows(path):
    with open(path, newline="", encoding="utf-8") as f:
        for n, r in enumerate(csv.DictReader(f), start=2):
            prefix6 = ipaddress.IPv6Network(f"{r['rule_ipv6_prefix']}/{r['rule_ipv6_len']}")
            prefix4 = ipaddress.IPv4Network(f"{r['rule_ipv4_prefix']}/{r['rule_ipv4_len']}")
            ea, k, a = int(r["ea_bits"]), int(r["psid_len"]), int(r["psid_offset"])
            # What the table's reader relies on: the EA bits lie in the first
            # 64 bits and complete the IPv4 address, the PSID fits a port.
            if (prefix6.prefixlen + ea > 64 or prefix4.prefixlen + ea - k != 32 or a + k > 16
                    or r["service"] not in SERVICES):
                sys.exit(f"{path}:{n}: a rule the programs cannot use: {r}")
            yield (int(prefix6.network_address) >> 64, prefix6.prefixlen,
                   int(prefix4.network_address), prefix4.prefixlen, ea, k, a,
                   SERVICES[r["service"]])


def table(path):
    out = ["// Made by scripts/make-mape-rules.py from mape-rules.csv: do not edit.",
           "// ipv6 prefix (first 64 bits), length, ipv4 prefix, length, EA bits,",
           "// PSID length, PSID offset, service"]
    for p6, l6, p4, l4, ea, k, a, service in rows(path):
        out.append(f"{{0x{p6:016x}u, {l6}, 0x{p4:08x}u, {l4}, {ea}, {k}, {a}, Service::{service}}},")
    return "\n".join(out) + "\n"


def main():
    wanted = table(HERE / "mape-rules.csv")
    target = HERE / "ProviderRules.inc"
    if sys.argv[1:] == ["--check"]:
        if not target.exists() or target.read_text(encoding="utf-8") != wanted:
            sys.exit(f"{target} is not made from mape-rules.csv: run scripts/make-mape-rules.py")
        return
    target.write_text(wanted, encoding="utf-8")


main()
