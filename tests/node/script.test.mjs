// The generate script as the app runs it: a real child process and a real
// configuration file, against the stand-in on a free loopback port in each
// flavour, image format and fault mode.
import assert from 'node:assert/strict';
import { cp, mkdtemp, readFile, rm, writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { test } from 'node:test';
import sharp from 'sharp';
import { renderImage } from '../../server/procedural-image.mjs';
import { FLAVOURS, ROOT, getJson, postJson, runNode, startServer, toml } from './helpers.mjs';

const SCRIPT = path.join(ROOT, 'scripts/kanvo-txt2img.mjs');
const SMALL = { steps: 2, width: 24, height: 16, seed: 11, cfg_scale: 6.5, sampler_name: 'Euler' };
const OLD_OUTPUT = 'an earlier image';
const withUser = (url, userinfo = '') => url.replace('//', `//${userinfo}`);

// Runs the script on a defaults.toml holding `config` (none if null) in a fresh folder, whose
// out.png holds OLD_OUTPUT. A stray copy of the script, outside the project, finds no packages.
async function runScript(t, config, { prompt = 'a cat', output = 'out.png', strayScript = false } = {}) {
  const dir = await mkdtemp(path.join(tmpdir(), 'kanvo-node-test-'));
  t.after(() => rm(dir, { recursive: true, force: true }));
  const configPath = path.join(dir, 'defaults.toml');
  if (config !== null) await writeFile(configPath, config);
  await writeFile(path.join(dir, 'out.png'), OLD_OUTPUT);
  const script = strayScript ? path.join(dir, 'kanvo-txt2img.mjs') : SCRIPT;
  if (strayScript) await cp(path.dirname(SCRIPT), dir, { recursive: true });
  const result = await runNode([script, '--config', configPath, path.join(dir, output), '--prompt', prompt]);
  return { ...result, output: path.join(dir, 'out.png') };
}

test('writes a PNG of the server\'s picture from the prompt as typed, credentials in sd_url, any fork and image format', async (t) => {
  const prompt = '--prompt "quoted"  and  spaced ';
  const expected = renderImage({ ...SMALL, prompt });
  for (const flavour of FLAVOURS) {
    const server = await startServer(t, ['--flavour', flavour, '--api-auth', 'ann:p@ss,bob:x']);
    for (const format of ['png', 'jpg', 'webp']) {
      await postJson(`${server.url}/sdapi/v1/options`, { samples_format: format }, { auth: 'bob:x' });
      const result = await runScript(t, toml({ sd_url: withUser(server.url, 'ann:p%40ss@'), ...SMALL }), { prompt });
      const what = `${flavour} ${format}`;
      assert.deepEqual([result.code, result.stderr], [0, ''], what);
      const written = sharp(await readFile(result.output));
      const { data, info } = await written.raw().toBuffer({ resolveWithObject: true });
      assert.deepEqual([(await written.metadata()).format, info.width, info.height], ['png', 24, 16], what);
      // The stand-in is deterministic: these pixels prove prompt, seed and size arrived.
      const difference = data.reduce((sum, value, i) => sum + Math.abs(value - expected[i]), 0) / data.length;
      assert.ok(format === 'png' ? difference === 0 : difference < 8, `${what}: mean difference ${difference}`);
    }
  }
});

test('a bad command line exits 2 with the usage line', async () => {
  const usage = 'kanvo-txt2img: usage: kanvo-txt2img.mjs --config <file> <output.png> --prompt <text>\n';
  for (const argv of [[], ['--config', 'c.toml', 'o.png'], ['--config', 'c.toml', '--prompt', 'a', 'o.png'], ['--config', 'c.toml', 'o.png', '--prompt', 'a', 'b']]) {
    assert.deepEqual(Object.values(await runNode([SCRIPT, ...argv])), [2, usage], JSON.stringify(argv));
  }
});

const SERVER = 'the generation server at http://127.0.0.1:\\d+';
const said = (text) => new RegExp(`^${SERVER} ${text}$`);
const raw = (status, body) => ['--txt2img-status', String(status), '--txt2img-body', typeof body === 'string' ? body : JSON.stringify(body)];
const entry = (field, msg, type, input) => (input === undefined ? { loc: ['body', field], msg, type } : { type, loc: ['body', field], msg, input });
const NOT_INTEGER = 'Input should be a valid integer, unable to parse string as an integer';

// Each case: the server's options, the configuration (settings over the working ones, or its
// text, null for none) and the message of the script's one line.
const FAILURES = [
  { name: 'config-missing', config: null, message: /^cannot read the configuration .*defaults\.toml: ENOENT/ },
  { name: 'config-malformed', config: 'steps = 20\nwidth = [1,\n', message: /^malformed configuration .*defaults\.toml:3:1: / },
  { name: 'config-wrong-type', settings: { steps: 'many' }, message: /: steps must be a positive integer, not "many"$/ },
  { name: 'packages-missing', strayScript: true, message: /^the TOML package smol-toml is not installed; run "npm ci"/ },
  { name: 'output-folder-missing', output: 'missing/out.png', message: /^cannot write .*missing\/out\.png: ENOENT/ },
  { name: 'connection-refused', stopped: true, message: /^no generation server at http:\/\/127\.0\.0\.1:\d+$/ },
  { name: 'reset', server: ['--fault', 'reset'], message: said('closed the connection without answering') },
  { name: 'cut-body', server: ['--fault', 'cut-body'], message: said('closed the connection in the middle of its answer') },
  { name: 'not-http', server: ['--fault', 'not-http'], message: /^the generation server at .* answered with something that is not HTTP \(HPE_/ },
  { name: 'silent', server: ['--hang'], settings: { timeout_s: 0.3 }, message: new RegExp(`^no image from ${SERVER} within 0\\.3 s \\(timeout_s in .*defaults\\.toml\\); it may still be working on it$`) },
  // Each fork's error body for a job that fails inside the server (a CUDA error, say)
  ...FLAVOURS.map((flavour) => ({ name: `server-failure-${flavour}`, server: ['--flavour', flavour, '--fail-txt2img', '503'], message: said('answered HTTP 503: RuntimeError: txt2img fails on purpose \\(--fail-txt2img 503\\)') })),
  { name: 'credentials-missing', server: ['--flavour', 'original', '--api-auth', 'ann:secret'], message: new RegExp(`^${SERVER} wants a user name and password \\(HTTP 401: Not authenticated\\); give them in sd_url`) },
  { name: 'credentials-wrong', server: ['--flavour', 'sdnext', '--api-auth', 'ann:secret'], userinfo: 'ann:secreT@', message: said('refused the user name and password in sd_url \\(HTTP 401: Unauthorized\\)') },
  { name: 'unknown-sampler-sdnext', server: ['--flavour', 'sdnext'], settings: { sampler_name: 'DPM++ 2M Karras' }, message: said('answered HTTP 404: Sampler not found \\(sampler_name in .*defaults\\.toml\\)') },
  // The real servers' other answers, as they word them
  { name: '422-pydantic-1', server: raw(422, { detail: [entry('steps', 'value is not a valid integer', 'type_error.integer')] }), message: said('refused steps: value is not a valid integer \\(HTTP 422\\)') },
  {
    name: '422-pydantic-2',
    server: raw(422, { detail: [entry('steps', NOT_INTEGER, 'int_parsing', 'x'), entry('width', 'Input should be a valid integer, got a number with a fractional part', 'int_from_float', 1.5)] }),
    message: said(`refused steps: ${NOT_INTEGER}; width: Input should be a valid integer, got a number with a fractional part \\(HTTP 422\\)`),
  },
  {
    name: '422-json',
    server: raw(422, { detail: [{ type: 'json_invalid', loc: ['body', 12], msg: 'JSON decode error', input: {}, ctx: { error: 'Expecting value' } }] }),
    message: said('refused the request body \\(at character 12\\): JSON decode error \\(Expecting value\\) \\(HTTP 422\\)'),
  },
  { name: 'no-api', server: raw(404, { detail: 'Not Found' }), message: said('has no /sdapi/v1/txt2img \\(HTTP 404\\); start it with --api') },
  { name: 'proxy-page', server: raw(502, '<html><head><title>502 Bad Gateway</title></head>\n<body><h1>502 Bad Gateway</h1></body></html>'), message: said('answered HTTP 502: 502 Bad Gateway 502 Bad Gateway') },
  { name: 'empty-500', server: raw(500, ''), message: said('answered HTTP 500 \\(Internal Server Error\\) without saying why') },
  { name: 'empty-fields', server: raw(500, { error: 'RuntimeError', detail: '', body: '', errors: '' }), message: said('answered HTTP 500: RuntimeError') },
  { name: 'bare-string', server: raw(500, "unsupported operand type(s) for *: 'NoneType' and 'int'"), message: said("answered HTTP 500: unsupported operand type\\(s\\) for \\*: 'NoneType' and 'int'") },
  { name: 'reply-not-json', server: raw(200, '<html>busy</html>'), message: said('did not answer with JSON: <html>busy</html>') },
  { name: 'reply-empty', server: raw(204, ''), message: said('answered HTTP 204 with nothing in it') },
  { name: 'reply-without-images', server: raw(200, { images: [], parameters: {}, info: '{}' }), message: said('answered without an image') },
  { name: 'image-unreadable', server: raw(200, { images: ['/9j/4AAQSkZJRgABAQ'] }), message: new RegExp(`^${SERVER} sent an image Kanvo cannot read \\(`) },
  { name: 'image-jpeg-xl', server: raw(200, { images: ['/wr/AAAA'] }), message: said("sent a JPEG XL image, which Kanvo cannot read; set the server's image format to PNG, JPEG or WEBP") },
];

test('every failure prints one line in the server\'s own words, exits 1 and leaves the earlier output alone', async (t) => {
  for (const c of FAILURES) {
    await t.test(c.name, async (t) => {
      const server = await startServer(t, c.server);
      if (c.stopped) await server.stop();
      const result = await runScript(t, 'config' in c ? c.config : toml({ sd_url: withUser(server.url, c.userinfo), ...SMALL, ...c.settings }), c);
      assert.deepEqual([result.code, await readFile(result.output, 'utf8')], [1, OLD_OUTPUT]);
      assert.match(result.stderr, /^kanvo-txt2img: [^\n]*\n$/, 'one line');
      assert.match(result.stderr.slice('kanvo-txt2img: '.length, -1), c.message);
    });
  }
});

test('on its time-out behind another client\'s long job, the script gives up without a retry and interrupts nothing', async (t) => {
  const busy = await startServer(t, ['--step-ms', '50']);
  const started = busy.logged(/txt2img/);
  const theirs = postJson(`${busy.url}/sdapi/v1/txt2img`, { steps: 40, width: 8, height: 8 });
  await started;
  assert.equal((await runScript(t, toml({ sd_url: busy.url, ...SMALL, timeout_s: 0.3 }))).code, 1);
  const { txt2img_count, interrupt_count, skip_count } = await getJson(`${busy.url}/kanvo/status`);
  assert.deepEqual([txt2img_count, interrupt_count, skip_count], [2, 0, 0]);
  assert.equal((await theirs).json.images.length, 1);
});
