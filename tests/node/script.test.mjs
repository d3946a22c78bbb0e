// The generate script as the app runs it: a real child process, a real
// configuration file and the stand-in server on a free port.
import assert from 'node:assert/strict';
import { copyFile, mkdir, mkdtemp, readFile, readdir, rm, writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { test } from 'node:test';
import { encodePng } from '../../server/png.mjs';
import { renderImage } from '../../server/procedural-image.mjs';
import { SCRIPT, getJson, runNode, startServer } from './helpers.mjs';

const SMALL = { steps: 2, width: 24, height: 16, seed: 11, cfg_scale: 6.5, sampler_name: 'Euler' };
const OLD_OUTPUT = 'an earlier image';
const USAGE = 'kanvo-txt2img: usage: kanvo-txt2img.mjs --config <file> <output.png> --prompt <text>\n';

const toml = (settings) => Object.entries(settings).map(([k, v]) => `${k} = ${JSON.stringify(v)}\n`).join('');

/** A temporary folder holding defaults.toml with the given text (none if null). */
async function configDir(t, text) {
  const dir = await mkdtemp(path.join(tmpdir(), 'kanvo-node-test-'));
  t.after(() => rm(dir, { recursive: true, force: true }));
  if (text !== null) await writeFile(path.join(dir, 'defaults.toml'), text);
  return { dir, config: path.join(dir, 'defaults.toml'), output: path.join(dir, 'out.png') };
}

const runScript = (config, output, prompt = 'a cat', script = SCRIPT) =>
  runNode([script, '--config', config, output, '--prompt', prompt]);

test('writes the PNG rendered for the configured settings and the prompt as typed, and nothing else', async (t) => {
  const cases = [
    { prompt: '--prompt "quoted"  and  spaced ', serverArgs: [], userinfo: '' },
    { prompt: 'a cat', serverArgs: ['--auth', 'ann:p@ss'], userinfo: 'ann:p%40ss@' },
  ];
  for (const c of cases) {
    const server = await startServer(t, ['--step-ms', '0', ...c.serverArgs]);
    const sdUrl = server.url.replace('//', `//${c.userinfo}`);
    const { dir, config, output } = await configDir(t, toml({ sd_url: sdUrl, ...SMALL }));
    await writeFile(output, OLD_OUTPUT);
    const result = await runScript(config, output, c.prompt);
    assert.deepEqual([result.code, result.stderr], [0, ''], c.prompt);
    // The stand-in is deterministic: these bytes prove prompt, seed and size arrived.
    const expected = encodePng(SMALL.width, SMALL.height, renderImage({ ...SMALL, prompt: c.prompt }));
    assert.ok((await readFile(output)).equals(expected), c.prompt);
    assert.deepEqual(await readdir(dir), ['defaults.toml', 'out.png'], 'no temporary file is left');
  }
});

test('a bad command line exits 2 with the usage line', async () => {
  const argvs = [
    [],
    ['--config', 'c.toml', 'out.png'],
    ['--config', 'c.toml', '--prompt', 'a cat', 'out.png'],
    ['--config', 'c.toml', 'out.png', '--prompt', 'a', 'cat'],
    ['--config', '', 'out.png', '--prompt', 'a cat'],
  ];
  for (const argv of argvs) {
    const result = await runNode([SCRIPT, ...argv]);
    assert.deepEqual([result.code, result.stderr], [2, USAGE], JSON.stringify(argv));
  }
});

// Each case: the server's fault mode, the configuration (settings over the
// working ones, or its text, null for none) and the script's one line.
const FAILURES = [
  { name: 'config-missing', config: null, message: /^cannot read the configuration .*defaults\.toml: ENOENT/ },
  { name: 'config-malformed', config: 'steps = 20\nwidth = [1,\n', message: /^malformed configuration .*defaults\.toml:3:1: / },
  { name: 'config-wrong-type', settings: { steps: 'many' }, message: /: steps must be a positive integer, not "many"$/ },
  { name: 'config-unknown-key', settings: { stpes: 20 }, message: /^configuration .*: unknown setting "stpes"$/ },
  { name: 'connection-refused', stopped: true, message: /^no generation server at http:\/\/127\.0\.0\.1:\d+$/ },
  { name: 'http-error-status', server: ['--fail-txt2img', '500'], message: /answered HTTP 500: txt2img fails on purpose \(--fail-txt2img 500\)$/ },
  { name: 'unknown-sampler', settings: { sampler_name: 'Nope' }, message: /answered HTTP 404: Sampler not found: Nope$/ },
  { name: 'unauthorised', server: ['--auth', 'ann:secret'], message: /wants a user name and password \(HTTP 401\)/ },
  { name: 'reply-not-json', server: ['--txt2img-body', '<html>busy</html>'], message: /did not answer with JSON: <html>busy<\/html>$/ },
  { name: 'reply-without-images', server: ['--txt2img-body', '{"images":[],"info":"{}"}'], message: /answered without an image$/ },
  { name: 'image-not-png', server: ['--txt2img-body', '{"images":["/9j/4AAQSkZJRgABAQ"]}'], message: /sent an image that is not a PNG$/ },
  { name: 'timeout', server: ['--hang'], settings: { timeout_s: 0.3 }, message: /^no image .* at http:\/\/127\.0\.0\.1:\d+ within 0\.3 s \(timeout_s in .*defaults\.toml\)$/ },
  { name: 'output-folder-missing', outputDir: 'missing', message: /^cannot write .*missing\/out\.png: ENOENT/ },
];

test('every failure prints one line, exits 1 and leaves the earlier output alone', async (t) => {
  for (const c of FAILURES) {
    await t.test(c.name, async (t) => {
      const server = await startServer(t, ['--step-ms', '0', ...(c.server ?? [])]);
      if (c.stopped) await server.stop();
      const text = 'config' in c ? c.config : toml({ sd_url: server.url, ...SMALL, ...c.settings });
      const { dir, config, output } = await configDir(t, text);
      await writeFile(output, OLD_OUTPUT);
      const result = await runScript(config, c.outputDir ? path.join(dir, c.outputDir, 'out.png') : output);
      assert.equal(result.code, 1);
      assert.match(result.stderr, /^kanvo-txt2img: .*\n$/, 'one line');
      assert.match(result.stderr.slice('kanvo-txt2img: '.length, -1), c.message);
      assert.equal(await readFile(output, 'utf8'), OLD_OUTPUT);
    });
  }
});

test('a timed-out request asks the server to interrupt its job', async (t) => {
  const server = await startServer(t, ['--step-ms', '1000']);
  const { config, output } = await configDir(t, toml({ ...SMALL, sd_url: server.url, steps: 100, timeout_s: 1.5 }));
  assert.match((await runScript(config, output)).stderr, /within 1\.5 s/);
  // The job stops at its next step boundary; until then it shows as interrupted.
  const { state } = (await getJson(`${server.url}/sdapi/v1/progress`)).body;
  assert.ok(state.interrupted || state.job === '', JSON.stringify(state));
});

test('without its TOML package the script says so in one line', async (t) => {
  const { dir, config, output } = await configDir(t, '');
  await mkdir(path.join(dir, 'scripts'));
  await copyFile(SCRIPT, path.join(dir, 'scripts', 'kanvo-txt2img.mjs'));
  const result = await runScript(config, output, 'a cat', path.join(dir, 'scripts', 'kanvo-txt2img.mjs'));
  assert.deepEqual(
    [result.code, result.stderr],
    [1, 'kanvo-txt2img: the TOML package smol-toml is not installed; run "npm ci" in Kanvo\'s folder\n'],
  );
});
