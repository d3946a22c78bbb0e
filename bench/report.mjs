// Turns the benchmarks' output into one table: each target with its
// measured figure and whether it holds. Usage:
//   node bench/report.mjs IMAGE_BENCH_JSON MEMORY_LINE_FILE STARTUP_LINE_FILE PIXELS_LINES_FILE
import { readFileSync } from 'node:fs';

const [imageJson, memoryFile, startupFile, pixelsFile] = process.argv.slice(2);
const medians = new Map();
const counters = new Map();
for (const run of JSON.parse(readFileSync(imageJson, 'utf8')).benchmarks) {
  if (run.run_type === 'aggregate' && run.aggregate_name !== 'median') continue;
  const name = run.run_name.replace(/\/real_time$/, '').replace(/\/iterations:\d+$/, '');
  medians.set(name, run.real_time);
  for (const key of ['memory_ratio', 'psnr_db', 'naive_psnr_db', 'reduction', 'centre_ms', 'corner_ms']) {
    if (key in run) counters.set(`${name}:${key}`, run[key]);
  }
}
const fields = (file) =>
  Object.fromEntries([...readFileSync(file, 'utf8').matchAll(/(\w+)=([\d.]+)/g)].map((m) => [m[1], Number(m[2])]));

// One measure a line: its name, then name=value fields.
const measures = (file) =>
  readFileSync(file, 'utf8')
    .split('\n')
    .filter((line) => line.trim())
    .map((line) => {
      const [name, ...pairs] = line.trim().split(/\s+/);
      return { name, ...Object.fromEntries(pairs.map((pair) => pair.split('=')).map(([k, v]) => [k, /^[\d.]+$/.test(v) ? Number(v) : v])) };
    });

const rows = [];
const row = (what, figure, target, holds) => rows.push([what, figure, target, holds ? 'yes' : 'NO']);
// A figure shown beside the others with no target of its own.
const info = (what, figure) => rows.push([what, figure, '-', '-']);
const skipped = (what, target) => rows.push([what, '-', target, 'skipped']);
const ms = (value) => `${value.toFixed(value < 10 ? 2 : 1)} ms`;
const mb = (value) => `${value.toFixed(0)} MB`;

for (const name of medians.keys()) {
  const match = name.match(/^decode\/(.+)\/kanvo$/);
  if (!match) continue;
  const file = match[1];
  const kanvo = medians.get(name);
  const codec = medians.get(`decode/${file}/codec`);
  const qt = medians.get(`decode/${file}/qt`);
  row(`decode ${file}: Kanvo ${ms(kanvo)} / codec ${ms(codec)}`, (kanvo / codec).toFixed(2), '<= 1.15', kanvo / codec <= 1.15);
  row(`decode ${file}: Qt reader ${ms(qt)} / Kanvo`, (qt / kanvo).toFixed(2), '>= 1.5', qt / kanvo >= 1.5);
}
for (const name of medians.keys()) {
  const match = name.match(/^preview\/jpeg\/(.+)\/pieces$/);
  if (!match) continue;
  const libjpeg = medians.get(`preview/jpeg/${match[1]}/libjpeg`);
  const reduction = counters.get(`${name}:reduction`);
  info(`preview jpeg/${match[1]} at 1/${reduction}: in pieces ${ms(medians.get(name))} / libjpeg ${ms(libjpeg)}`, (medians.get(name) / libjpeg).toFixed(2));
}
for (const name of medians.keys()) {
  const match = name.match(/^pyramid\/jpeg\/(.+)$/);
  if (!match) continue;
  const share = medians.get(name) / medians.get(`decode/jpeg/${match[1]}/kanvo`);
  row(`pyramid ${match[1]}: ${ms(medians.get(name))} / JPEG decode`, share.toFixed(2), '<= 0.15', share <= 0.15);
  const memory = counters.get(`${name}:memory_ratio`);
  row(`pyramid ${match[1]}: all levels / full image, bytes`, memory.toFixed(3), '<= 1.34', memory <= 1.34);
}
for (const name of medians.keys()) {
  const match = name.match(/^decode-job\/jpeg-tagged\/(.+)$/);
  if (!match) continue;
  const untagged = medians.get(`decode-job/jpeg-untagged/${match[1]}`);
  const ratio = medians.get(name) / untagged;
  row(`decode job + fitted rendition jpeg/${match[1]}: ICC-tagged ${ms(medians.get(name))} / untagged ${ms(untagged)}`, ratio.toFixed(2), '<= 1.15', ratio <= 1.15);
}
for (const name of medians.keys()) {
  if (!name.startsWith('repaint/')) continue;
  const value = medians.get(name);
  row(`canvas paint 1116x802, ${name.slice('repaint/'.length)}`, ms(value), '<= 3 ms', value <= 3);
}
for (const name of medians.keys()) {
  if (!name.startsWith('zoom/')) continue;
  for (const where of ['centre', 'corner']) {
    const value = counters.get(`${name}:${where}_ms`);
    row(`${name.slice('zoom/'.length)} zoomed in fully at its ${where === 'centre' ? 'middle' : 'corner'}: sharp after`, ms(value), '<= 300 ms', value <= 300);
  }
}
const psnr = counters.get('quality/zone-plate/zoom-1:psnr_db');
const naive = counters.get('quality/zone-plate/zoom-1:naive_psnr_db');
row(`zone plate at zoom 1, PSNR vs area average (naive bilinear: ${naive.toFixed(1)} dB)`, `${psnr.toFixed(1)} dB`, '>= 35 dB', psnr >= 35);
const startup = fields(startupFile);
row(`start to first paint: Kanvo ${ms(startup.kanvo_ms)}, ${mb(startup.kanvo_mb)} / minimal window ${ms(startup.minimal_ms)}, ${mb(startup.minimal_mb)}`, startup.ratio.toFixed(2), '<= 1.3', startup.ratio <= 1.3);
// Time to first pixels on screen, each against its baseline in the same run;
// beside each time, that program's peak resident memory a few seconds later.
const pixelTargets = {
  'launch/jpeg/medium': ['<= 0.8', (ratio) => ratio <= 0.8],
  'launch/jpeg/large': ['<= 0.6', (ratio) => ratio <= 0.6],
  'launch/png/medium': ['< 1.0', (ratio) => ratio < 1.0],
  'open/jpeg/medium': ['<= 0.6', (ratio) => ratio <= 0.6],
  'open/png/medium': ['<= 0.8', (ratio) => ratio <= 0.8],
  'launch/jpeg/400MP': ['<= 0.6', (ratio) => ratio <= 0.6],
  'launch/jpeg/1GP': ['<= 0.6', (ratio) => ratio <= 0.6],
  'launch/png/400MP': ['<= 0.8', (ratio) => ratio <= 0.8],
};
// The images too large to hold decoded: a memory bound (half their plain
// four-byte pixels for 400 MP, a gigabyte for the gigapixel) under which
// Kanvo must also stay below every other viewer, and for the gigapixel a
// time of its own.
const hugeTargets = {
  'launch/jpeg/400MP': { megabytes: 732 },
  'launch/jpeg/1GP': { megabytes: 1000, milliseconds: 2000 },
  'launch/png/400MP': { megabytes: 732 },
};
const pixels = measures(pixelsFile);
for (const m of pixels) {
  const [, kind, format] = m.name.split('/');
  if (kind === 'launch-one-core') {
    const peer = Object.keys(m).find((key) => key.endsWith('_ms') && key !== 'kanvo_ms');
    info(`launch to pixels on one core, ${format} ${m.size}: Kanvo ${ms(m.kanvo_ms)} / ${peer.slice(0, -3)} ${ms(m[peer])}`, (m.kanvo_ms / m[peer]).toFixed(2));
    continue;
  }
  const [target, holds] = pixelTargets[m.name.slice('pixels/'.length)];
  const what = `${kind === 'launch' ? 'launch' : 'Open dialog'} to pixels, ${format} ${m.size}: Kanvo ${ms(m.kanvo_ms)}, ${mb(m.kanvo_mb)}`;
  const against = (name, label = name) => `${what} / ${label} ${ms(m[`${name}_ms`])}, ${mb(m[`${name}_mb`])}`;
  const ratio = (name) => m.kanvo_ms / m[`${name}_ms`];
  if (kind === 'open') {
    row(against('reader', 'QImageReader decode'), ratio('reader').toFixed(2), target, holds(ratio('reader')));
    continue;
  }
  // The target is set against the fastest of the other viewers installed.
  const peers = Object.keys(m)
    .filter((key) => key.endsWith('_ms') && !['kanvo_ms', 'bare_ms'].includes(key))
    .map((key) => key.slice(0, -'_ms'.length))
    .sort((a, b) => m[`${a}_ms`] - m[`${b}_ms`]);
  if (peers.length === 0) {
    skipped(`${what} / fastest other viewer (none installed)`, target);
  } else {
    row(against(peers[0], `fastest other viewer, ${peers[0]}`), ratio(peers[0]).toFixed(2), target, holds(ratio(peers[0])));
  }
  for (const peer of peers.slice(1)) info(against(peer), ratio(peer).toFixed(2));
  for (const peer of m.missing ? m.missing.split(',') : []) rows.push([`${what} / ${peer} (not installed)`, '-', '-', 'skipped']);
  for (const peer of m.failing ? m.failing.split(',') : []) info(`${what} / ${peer}`, 'cannot show it');
  if ('bare_ms' in m) info(against('bare', 'bare Qt viewer'), ratio('bare').toFixed(2));
  const huge = hugeTargets[m.name.slice('pixels/'.length)];
  if (!huge) continue;
  const least = Math.min(...peers.map((peer) => m[`${peer}_mb`]));
  row(`peak resident memory, ${format} ${m.size}: Kanvo, against its bound and every other viewer`, mb(m.kanvo_mb), `<= ${huge.megabytes} MB, < ${peers.length ? mb(least) : 'the others'}`, m.kanvo_mb <= huge.megabytes && m.kanvo_mb < least);
  if (huge.milliseconds) row(`launch to pixels, ${format} ${m.size}: Kanvo`, ms(m.kanvo_ms), `<= ${huge.milliseconds} ms`, m.kanvo_ms <= huge.milliseconds);
}
const memory = fields(memoryFile);
row(`peak RSS opening eight large photos (budget ${memory.budget_mb} MB)`, `${memory.peak_rss_mb} MB`, `<= ${memory.ceiling_mb} MB`, memory.peak_rss_mb <= memory.ceiling_mb);
row(`peak RSS exporting the gigapixel JPEG held in tiles to JPEG (${(memory.export_ms / 1000).toFixed(1)} s)`, `${memory.export_peak_rss_mb} MB`, '<= 1000 MB', memory.export_peak_rss_mb <= 1000);

const header = ['measure (medians)', 'figure', 'target', 'holds'];
const widths = header.map((h, i) => Math.max(h.length, ...rows.map((r) => String(r[i]).length)));
const line = (cells) => `| ${cells.map((c, i) => String(c).padEnd(widths[i])).join(' | ')} |`;
console.log(line(header));
console.log(line(widths.map((w) => '-'.repeat(w))));
for (const r of rows) console.log(line(r));
