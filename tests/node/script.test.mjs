// The generate script as the app runs it: a real child process, a real
// configuration file and the stand-in server on a free port.
import assert from 'node:assert/strict';
import { copyFile, mkdir, readFile, readdir, writeFile } from 'node:fs/promises';
import path from 'node:path';
import { test } from 'node:test';
import { SCRIPT, closedPort, getJson, postJson, runNode, runScript, startServer, tempDir, writeConfig } from './helpers.mjs';

const SMALL = { steps: 2, width: 24, height: 16, seed: 11, cfg_scale: 6.5, sampler_name: 'Euler' };
const OLD_OUTPUT = 'an earlier image';

test('writes the PNG the server renders for the configured settings and the prompt as typed', async (t) => {
  const cases = [
    { name: 'prompt-like-an-option', prompt: '--prompt "quoted"  and  spaced ', serverArgs: [], userinfo: '' },
    { name: 'credentials-in-sd-url', prompt: 'a cat', serverArgs: ['--auth', 'ann:p@ss'], userinfo: 'ann:p%40ss@' },
  ];
  for (const c of cases) {
    const server = await startServer(t, ['--step-ms', '0', ...c.serverArgs]);
    const dir = await tempDir(t);
    const sdUrl = server.url.replace('//', `//${c.userinfo}`);
    const config = await writeConfig(dir, { sd_url: sdUrl, ...SMALL, timeout_s: 10 });
    const output = path.join(dir, 'out.png');
    await writeFile(output, OLD_OUTPUT);

    const result = await runScript(config, output, c.prompt);
    assert.equal(result.code, 0, `${c.name}: ${result.stderr}`);
    assert.equal(result.stderr, '');

    // The stand-in is deterministic, so the same request made directly must
    // give the same bytes: proof that every setting and the prompt arrived.
    const headers = c.userinfo ? { Authorization: `Basic ${Buffer.from('ann:p@ss').toString('base64')}` } : {};
    const direct = await postJson(`${server.url}/sdapi/v1/txt2img`, { prompt: c.prompt, ...SMALL }, { headers });
    assert.ok((await readFile(output)).equals(Buffer.from(direct.body.images[0], 'base64')), c.name);
    assert.deepEqual(await readdir(dir), ['defaults.toml', 'out.png'], `${c.name}: no temporary file is left`);
  }
});

test('a bad command line exits 2 with the usage line', async (t) => {
  const dir = await tempDir(t);
  const config = await writeConfig(dir, {});
  const out = path.join(dir, 'out.png');
  const argvs = [
    [],
    ['--config', config, out],
    ['--config', config, '--prompt', 'a cat', out],
    ['--config', config, out, '--prompt', 'a', 'cat'],
    ['--config', '', out, '--prompt', 'a cat'],
  ];
  const results = await Promise.all(argvs.map((argv) => runNode([SCRIPT, ...argv])));
  results.forEach((result, i) => {
    assert.equal(result.code, 2, JSON.stringify(argvs[i]));
    assert.equal(result.stderr, 'kanvo-txt2img: usage: kanvo-txt2img.mjs --config <file> <output.png> --prompt <text>\n');
  });
});

// Each case: the server's fault mode (null: no server), the configuration
// (settings, or raw text), and the one line the script must print.
const FAILURES = [
  { name: 'config-missing', server: null, configText: null, message: /^cannot read the configuration .*defaults\.toml: ENOENT/ },
  { name: 'config-malformed', server: null, configText: 'steps = 20\nwidth = [1,\n', message: /^malformed configuration .*defaults\.toml:3:1: / },
  { name: 'config-bad-key-syntax', server: null, configText: 'sd_url = "http://127.0.0.1:1"\nsteps 20\n', message: /^malformed configuration .*defaults\.toml:2:\d+: / },
  { name: 'config-wrong-type', server: null, settings: { steps: 'many' }, message: /^configuration .*: steps must be a positive integer, not "many"$/ },
  { name: 'config-unknown-key', server: null, settings: { stpes: 20 }, message: /^configuration .*: unknown setting "stpes"$/ },
  { name: 'sd-url-not-http', server: null, settings: { sd_url: 'ftp://127.0.0.1:1' }, message: /sd_url "ftp:\/\/127\.0\.0\.1:1" is not an http:\/\/ or https:\/\/ address$/ },
  { name: 'connection-refused', server: null, settings: {}, message: /^no generation server at http:\/\/127\.0\.0\.1:\d+$/ },
  { name: 'http-error-status', server: ['--fail-txt2img', '500'], message: /answered HTTP 500: txt2img fails on purpose \(--fail-txt2img 500\)$/ },
  { name: 'unknown-sampler', server: [], settings: { sampler_name: 'Nope' }, message: /answered HTTP 404: Sampler not found: Nope$/ },
  { name: 'validation-error', server: [], settings: { width: 9000 }, message: /answered HTTP 422: width must be an integer from 1 to 4096$/ },
  { name: 'unauthorised', server: ['--auth', 'ann:secret'], message: /wants a user name and password \(HTTP 401\)/ },
  { name: 'reply-not-json', server: ['--txt2img-body', '<html>busy</html>'], message: /did not answer with JSON: <html>busy<\/html>$/ },
  { name: 'reply-without-images', server: ['--txt2img-body', '{"images":[],"info":"{}"}'], message: /answered without an image$/ },
  { name: 'image-not-png', server: ['--txt2img-body', '{"images":["/9j/4AAQSkZJRgABAQ"]}'], message: /sent an image that is not a PNG$/ },
  { name: 'timeout', server: ['--hang'], settings: { timeout_s: 0.3 }, message: /^no image from the generation server at http:\/\/127\.0\.0\.1:\d+ within 0\.3 s \(timeout_s in .*defaults\.toml\)$/ },
  { name: 'output-folder-missing', server: [], outputDir: 'missing', message: /^cannot write .*missing\/out\.png: ENOENT/ },
];

test('every failure prints one line, exits 1 and leaves the earlier output alone', async (t) => {
  for (const c of FAILURES) {
    await t.test(c.name, async (t) => {
      const server = c.server && (await startServer(t, ['--step-ms', '0', ...c.server]));
      const sdUrl = server ? server.url : `http://127.0.0.1:${await closedPort()}`;
      const dir = await tempDir(t);
      const configPath = path.join(dir, 'defaults.toml');
      if (c.configText) await writeFile(configPath, c.configText);
      if (c.configText === undefined) await writeConfig(dir, { sd_url: sdUrl, ...SMALL, ...c.settings });
      const outputDir = path.join(dir, c.outputDir ?? '');
      const output = path.join(outputDir, 'out.png');
      if (!c.outputDir) await writeFile(output, OLD_OUTPUT);

      const result = await runScript(configPath, output, 'a cat');
      assert.equal(result.code, 1);
      const lines = result.stderr.split('\n');
      assert.equal(lines.length, 2, `one line and its end: ${JSON.stringify(result.stderr)}`);
      assert.match(lines[0].replace(/^kanvo-txt2img: /, ''), c.message);
      if (!c.outputDir) {
        assert.equal(await readFile(output, 'utf8'), OLD_OUTPUT);
        assert.equal((await readdir(dir)).filter((f) => f.endsWith('.tmp')).length, 0);
      }
    });
  }
});

test('a timed-out request asks the server to interrupt its job', async (t) => {
  const server = await startServer(t, ['--step-ms', '1000']);
  const dir = await tempDir(t);
  const config = await writeConfig(dir, { sd_url: server.url, steps: 100, width: 8, height: 8, timeout_s: 1.5 });
  const result = await runScript(config, path.join(dir, 'out.png'), 'a cat');
  assert.match(result.stderr, /within 1\.5 s/);
  // The job stops at its next step boundary; until then it shows as interrupted.
  const { body } = await getJson(`${server.url}/sdapi/v1/progress`);
  assert.ok(body.state.interrupted || body.state.job === '', JSON.stringify(body));
});

test('without its TOML package the script says so in one line', async (t) => {
  const dir = await tempDir(t);
  await mkdir(path.join(dir, 'scripts'));
  const copy = path.join(dir, 'scripts', 'kanvo-txt2img.mjs');
  await copyFile(SCRIPT, copy);
  const config = await writeConfig(dir, {});
  const result = await runNode([copy, '--config', config, path.join(dir, 'out.png'), '--prompt', 'a cat']);
  assert.equal(result.code, 1);
  assert.match(result.stderr, /^kanvo-txt2img: the TOML package smol-toml is not installed; run "npm ci" in Kanvo's folder\n$/);
});
