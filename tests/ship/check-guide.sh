#!/usr/bin/env bash
# The guide PDF as a reader gets it: every heading of the Markdown source is text on its pages,
# the pictures are in it, and the Japanese font is embedded (a PDF without it shows boxes or
# another face on a machine without Noto CJK).
# Usage: tests/ship/check-guide.sh GUIDE.pdf GUIDE.md
set -euo pipefail
pdf=$1
md=$2
[[ -s $pdf ]] || { echo "no guide at $pdf"; exit 1; }

# Headings and page text compared without white space (the layout breaks lines where it likes)
# and in NFKC: the PDF's text map names some ideographs by their compatibility twins (the font
# draws 見 and the radical ⾒ with one glyph).
status=0
count=$(grep -cE '^#{1,3} ' "$md" || true)
pdftotext -enc UTF-8 "$pdf" - | python3 -c '
import re, sys, unicodedata
norm = lambda t: re.sub(r"\s+", "", unicodedata.normalize("NFKC", t))
text = norm(sys.stdin.read())
missing = [h for h in open(sys.argv[1], encoding="utf-8").read().splitlines()
           if re.match(r"#{1,3} ", h) and norm(re.sub(r"^#+", "", h)) not in text]
for h in missing:
    print("heading missing from the PDF:", h)
sys.exit(1 if missing else 0)' "$md" || status=1
((count >= 8)) || { echo "only $count headings found in $md"; status=1; }

fonts=$(pdffonts "$pdf")
echo "$fonts"
# pdffonts columns: name type encoding emb sub uni object ID; "emb" is the fourth from the end.
if ! awk 'NR > 2 && $1 ~ /^NotoSansCJKjp-/ && $(NF-4) == "yes" { found = 1 } END { exit !found }' <<<"$fonts"; then
    echo "the Noto CJK font is not embedded"
    status=1
fi
if awk 'NR > 2 && $(NF-4) != "yes" { bad = 1 } END { exit !bad }' <<<"$fonts"; then
    echo "a font of the guide is not embedded"
    status=1
fi

pictures=$(pdfimages -list "$pdf" | awk 'NR > 2' | wc -l)
wanted=$(grep -cE '!\[[^]]*\]\([^)]+\.png\)' "$md")
if ((pictures < wanted)); then
    echo "the PDF holds $pictures pictures, the guide shows $wanted"
    status=1
fi
pages=$(pdfinfo "$pdf" | awk '/^Pages:/ { print $2 }')
echo "guide: $count headings, $pictures pictures, $pages pages"
exit $status
