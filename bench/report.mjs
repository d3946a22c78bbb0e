// Turns the benchmarks' output into one table: each target with its
// measured figure and whether it holds. Usage:
//   node bench/report.mjs IMAGE_BENCH_JSON MEMORY_LINE_FILE STARTUP_LINE_FILE
import { readFileSync } from 'node:fs';

const [imageJson, memoryFile, startupFile] = process.argv.slice(2);
const medians = new Map();
const counters = new Map();
for (const run of JSON.parse(readFileSync(imageJson, 'utf8')).benchmarks) {
  if (run.run_type === 'aggregate' && run.aggregate_name !== 'median') continue;
  const name = run.run_name.replace(/\/real_time$/, '').replace(/\/iterations:\d+$/, '');
  medians.set(name, run.real_time);
  for (const key of ['memory_ratio', 'psnr_db', 'naive_psnr_db']) {
    if (key in run) counters.set(`${name}:${key}`, run[key]);
  }
}
const fields = (file) =>
  Object.fromEntries([...readFileSync(file, 'utf8').matchAll(/(\w+)=([\d.]+)/g)].map((m) => [m[1], Number(m[2])]));

const rows = [];
const row = (what, figure, target, holds) => rows.push([what, figure, target, holds ? 'yes' : 'NO']);
const ms = (value) => `${value.toFixed(value < 10 ? 2 : 1)} ms`;

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
  const match = name.match(/^pyramid\/jpeg\/(.+)$/);
  if (!match) continue;
  const share = medians.get(name) / medians.get(`decode/jpeg/${match[1]}/kanvo`);
  row(`pyramid ${match[1]}: ${ms(medians.get(name))} / JPEG decode`, share.toFixed(2), '<= 0.15', share <= 0.15);
  const memory = counters.get(`${name}:memory_ratio`);
  row(`pyramid ${match[1]}: all levels / full image, bytes`, memory.toFixed(3), '<= 1.34', memory <= 1.34);
}
for (const name of medians.keys()) {
  if (!name.startsWith('repaint/')) continue;
  const value = medians.get(name);
  row(`canvas paint 1116x802, ${name.slice('repaint/'.length)}`, ms(value), '<= 3 ms', value <= 3);
}
const psnr = counters.get('quality/zone-plate/zoom-1:psnr_db');
const naive = counters.get('quality/zone-plate/zoom-1:naive_psnr_db');
row(`zone plate at zoom 1, PSNR vs area average (naive bilinear: ${naive.toFixed(1)} dB)`, `${psnr.toFixed(1)} dB`, '>= 35 dB', psnr >= 35);
const startup = fields(startupFile);
row(`start to first paint: Kanvo ${ms(startup.kanvo_ms)} / minimal window ${ms(startup.minimal_ms)}`, startup.ratio.toFixed(2), '<= 1.3', startup.ratio <= 1.3);
const memory = fields(memoryFile);
row(`peak RSS opening eight large photos (budget ${memory.budget_mb} MB)`, `${memory.peak_rss_mb} MB`, `<= ${memory.ceiling_mb} MB`, memory.peak_rss_mb <= memory.ceiling_mb);

const header = ['measure (medians)', 'figure', 'target', 'holds'];
const widths = header.map((h, i) => Math.max(h.length, ...rows.map((r) => String(r[i]).length)));
const line = (cells) => `| ${cells.map((c, i) => String(c).padEnd(widths[i])).join(' | ')} |`;
console.log(line(header));
console.log(line(widths.map((w) => '-'.repeat(w))));
for (const r of rows) console.log(line(r));
