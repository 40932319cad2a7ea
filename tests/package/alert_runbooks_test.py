#!/usr/bin/env python3
"""The shipped alerts as a team on call meets them: every alert says what
is wrong (description) and where to read what to do (runbook_url), and that
place exists: a heading of the README whose anchor the link names. Every
alert is also exercised by the rules test, both firing and held back, so an
alert added without its rows fails here rather than in a school at night.

    alert_runbooks_test.py ALERTS_YML README_MD RULES_TEST_YML
"""
import re
import sys

import yaml


def anchors(markdown):
    """The anchors a Markdown renderer gives the headings (lower case,
    punctuation dropped, spaces to hyphens)."""
    found = set()
    for line in markdown.splitlines():
        heading = re.match(r"#{1,6}\s+(.*?)\s*$", line)
        if heading:
            text = re.sub(r"[^\w\- ]", "", heading.group(1).lower())
            found.add(text.replace(" ", "-"))
    return found


def main(alerts_path, readme_path, rules_test_path):
    with open(alerts_path, encoding="utf-8") as f:
        rules = [r for g in yaml.safe_load(f)["groups"] for r in g["rules"] if "alert" in r]
    with open(readme_path, encoding="utf-8") as f:
        readme = anchors(f.read())
    with open(rules_test_path, encoding="utf-8") as f:
        cases = [c for t in yaml.safe_load(f)["tests"] for c in t.get("alert_rule_test", [])]

    problems = []
    for rule in rules:
        name = rule["alert"]
        notes = rule.get("annotations", {})
        if not notes.get("description", "").strip():
            problems.append(f"{name}: no description")
        url = notes.get("runbook_url", "")
        anchor = url.partition("#")[2]
        if not anchor:
            problems.append(f"{name}: runbook_url '{url}' names no section")
        elif anchor not in readme:
            problems.append(f"{name}: runbook_url '{url}': the README has no heading with the anchor '{anchor}'")
        own = [c for c in cases if c.get("alertname") == name]
        if not any(c.get("exp_alerts") for c in own):
            problems.append(f"{name}: no case of the rules test where it fires")
        if not any(not c.get("exp_alerts") for c in own):
            problems.append(f"{name}: no case of the rules test where it holds back")
    for problem in problems:
        print(problem)
    print(f"{len(rules)} alerts, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
