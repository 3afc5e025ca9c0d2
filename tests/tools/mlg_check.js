#!/usr/bin/env node
// Reads an MLG log with the independent parser of the mlg-converter package and compares
// every record with the expected values: a CSV whose header names the fields and whose rows
// hold the shown values ("nan" for none). Prints "mlg-converter: N records, M markers equal"
// and exits 0 when all match, 1 otherwise.
'use strict';
const fs = require('fs');
const path = require('path');
const { Parser } = require(path.join(__dirname, 'node_modules', 'mlg-converter'));

const [logPath, expectedPath] = process.argv.slice(2);
const b = fs.readFileSync(logPath);
const parsed = new Parser(b.buffer.slice(b.byteOffset, b.byteOffset + b.byteLength)).parse();
const fields = new Map(parsed.fields.map((f) => [f.name, f]));
const records = parsed.records.filter((r) => r.type === 'field');
const markers = parsed.records.filter((r) => r.type === 'marker');

const lines = fs.readFileSync(expectedPath, 'utf8').split('\n').filter((l) => l.length > 0);
const names = lines[0].split(',');
const expectedMarkers = Number(process.env.MLG_MARKERS || markers.length);
let failures = 0;
const fail = (text) => {
  if (failures++ < 10) console.error(text);
};
if (parsed.formatVersion !== 1) fail(`format version ${parsed.formatVersion}`);
if (records.length !== lines.length - 1) fail(`${records.length} records, expected ${lines.length - 1}`);
if (markers.length !== expectedMarkers) fail(`${markers.length} markers, expected ${expectedMarkers}`);
for (const name of names) if (!fields.has(name)) fail(`field ${name} missing`);
for (let i = 1; i < lines.length && i - 1 < records.length; ++i) {
  const values = lines[i].split(',').map(Number);
  const record = records[i - 1];
  names.forEach((name, k) => {
    const f = fields.get(name);
    if (!f) return;
    const shown = (Number(record[name]) + f.transform) * f.scale;
    // NaN is a channel without a value (no wide-band reading): it must read as NaN, not 0.
    if (Number.isNaN(values[k]) || Number.isNaN(shown)) {
      if (Number.isNaN(values[k]) !== Number.isNaN(shown))
        fail(`record ${i - 1} ${name}: ${shown} != ${values[k]}`);
      return;
    }
    if (Math.abs(shown - values[k]) > 1e-6 + 1e-7 * Math.abs(values[k]))
      fail(`record ${i - 1} ${name}: ${shown} != ${values[k]}`);
  });
}
if (failures > 0) {
  console.error(`mlg-converter: ${failures} differences`);
  process.exit(1);
}
console.log(`mlg-converter: ${records.length} records, ${markers.length} markers equal`);
