// The generate script as the app runs it: a real child process, a real
// configuration file and the stand-in server on a free port.
import assert from 'node:assert/strict';
import { copyFile, mkdtemp, readFile, rm, writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { test } from 'node:test';
import { encodePng } from '../../server/png.mjs';
import { renderImage } from '../../server/procedural-image.mjs';
import { SCRIPT, runNode, startServer } from './helpers.mjs';

const SMALL = { steps: 2, width: 24, height: 16, seed: 11, cfg_scale: 6.5, sampler_name: 'Euler' };
const OLD_OUTPUT = 'an earlier image';
const toml = (settings) => Object.entries(settings).map(([k, v]) => `${k} = ${JSON.stringify(v)}\n`).join('');

// Runs the script on a temporary defaults.toml (none if text is null) and an out.png holding
// OLD_OUTPUT. A stray copy of the script, outside the project, finds no TOML package.
async function runScript(t, text, { prompt = 'a cat', output = 'out.png', strayScript = false } = {}) {
  const dir = await mkdtemp(path.join(tmpdir(), 'kanvo-node-test-'));
  t.after(() => rm(dir, { recursive: true, force: true }));
  const config = path.join(dir, 'defaults.toml');
  if (text !== null) await writeFile(config, text);
  await writeFile(path.join(dir, 'out.png'), OLD_OUTPUT);
  const script = strayScript ? path.join(dir, 'kanvo-txt2img.mjs') : SCRIPT;
  if (strayScript) await copyFile(SCRIPT, script);
  const result = await runNode([script, '--config', config, path.join(dir, output), '--prompt', prompt]);
  return { ...result, output: path.join(dir, 'out.png') };
}

test('writes the PNG rendered for the configured settings and the prompt as typed', async (t) => {
  const cases = [
    { prompt: '--prompt "quoted"  and  spaced ', serverArgs: [], userinfo: '' },
    { prompt: 'a cat', serverArgs: ['--auth', 'ann:p@ss'], userinfo: 'ann:p%40ss@' },
  ];
  for (const c of cases) {
    const server = await startServer(t, ['--step-ms', '0', ...c.serverArgs]);
    const result = await runScript(t, toml({ sd_url: server.url.replace('//', `//${c.userinfo}`), ...SMALL }), c);
    assert.deepEqual([result.code, result.stderr], [0, ''], c.prompt);
    // The stand-in is deterministic: these bytes prove prompt, seed and size arrived.
    const expected = encodePng(SMALL.width, SMALL.height, renderImage({ ...SMALL, prompt: c.prompt }));
    assert.ok((await readFile(result.output)).equals(expected), c.prompt);
  }
});

test('a bad command line exits 2 with the usage line', async () => {
  const [config, out] = ['c.toml', 'out.png'];
  const argvs = [[], ['--config', config, out], ['--config', config, '--prompt', 'a cat', out], ['--config', config, out, '--prompt', 'a', 'cat']];
  for (const argv of argvs) {
    const result = await runNode([SCRIPT, ...argv]);
    const usage = 'kanvo-txt2img: usage: kanvo-txt2img.mjs --config <file> <output.png> --prompt <text>\n';
    assert.deepEqual([result.code, result.stderr], [2, usage], JSON.stringify(argv));
  }
});

// Each case: the server's fault mode, the configuration (settings over the
// working ones, or its text, null for none) and the script's one line.
const FAILURES = [
  { name: 'config-missing', config: null, message: /^cannot read the configuration .*defaults\.toml: ENOENT/ },
  { name: 'config-malformed', config: 'steps = 20\nwidth = [1,\n', message: /^malformed configuration .*defaults\.toml:3:1: / },
  { name: 'config-wrong-type', settings: { steps: 'many' }, message: /: steps must be a positive integer, not "many"$/ },
  { name: 'toml-package-missing', strayScript: true, message: /^the TOML package smol-toml is not installed; run "npm ci"/ },
  { name: 'connection-refused', stopped: true, message: /^no generation server at http:\/\/127\.0\.0\.1:\d+$/ },
  { name: 'http-error-status', server: ['--fail-txt2img', '500'], message: /answered HTTP 500: txt2img fails on purpose \(--fail-txt2img 500\)$/ },
  { name: 'wrong-password', server: ['--auth', 'ann:secret'], userinfo: 'ann:secreT@', message: /wants a user name and password \(HTTP 401\)/ },
  { name: 'reply-not-json', server: ['--txt2img-body', '<html>busy</html>'], message: /did not answer with JSON: <html>busy<\/html>$/ },
  { name: 'reply-without-images', server: ['--txt2img-body', '{"images":[],"info":"{}"}'], message: /answered without an image$/ },
  { name: 'image-not-png', server: ['--txt2img-body', '{"images":["/9j/4AAQSkZJRgABAQ"]}'], message: /sent an image that is not a PNG$/ },
  { name: 'timeout', server: ['--hang'], settings: { timeout_s: 0.3 }, message: /^no image .* at http:\/\/127\.0\.0\.1:\d+ within 0\.3 s \(timeout_s in .*defaults\.toml\)$/ },
  { name: 'output-folder-missing', output: 'missing/out.png', message: /^cannot write .*missing\/out\.png: ENOENT/ },
];

test('every failure prints one line, exits 1 and leaves the earlier output alone', async (t) => {
  for (const c of FAILURES) {
    await t.test(c.name, async (t) => {
      const server = await startServer(t, ['--step-ms', '0', ...(c.server ?? [])]);
      if (c.stopped) await server.stop();
      const sdUrl = server.url.replace('//', `//${c.userinfo ?? ''}`);
      const result = await runScript(t, 'config' in c ? c.config : toml({ sd_url: sdUrl, ...SMALL, ...c.settings }), c);
      assert.deepEqual([result.code, await readFile(result.output, 'utf8')], [1, OLD_OUTPUT]);
      assert.match(result.stderr, /^kanvo-txt2img: .*\n$/, 'one line');
      assert.match(result.stderr.slice('kanvo-txt2img: '.length, -1), c.message);
    });
  }
});
