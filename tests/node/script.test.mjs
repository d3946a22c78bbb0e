// The generate script as the app runs it: a real child process, a real
// configuration file and real servers on free loopback ports: the
// stand-in in each flavour and image format, and bare sockets for the
// faults no server makes on purpose.
import assert from 'node:assert/strict';
import { copyFile, mkdir, readFile, readdir, writeFile } from 'node:fs/promises';
import path from 'node:path';
import { test } from 'node:test';
import sharp from 'sharp';
import { renderImage } from '../../server/procedural-image.mjs';
import { FLAVOURS, SCRIPT, getJson, postJson, runNode, startRawServer, startServer, toml, writeConfig } from './helpers.mjs';

const SMALL = { steps: 2, width: 24, height: 16, seed: 11, cfg_scale: 6.5, sampler_name: 'Euler' };
const OLD_OUTPUT = 'an earlier image';
const LINE = /^kanvo-txt2img: [^\n]*\n$/;

// Runs the script on a temporary defaults.toml (none if text is null) and an out.png holding
// OLD_OUTPUT. A stray copy of the script, outside the project, finds no packages.
async function runScript(t, text, { prompt = 'a cat', output = 'out.png', strayScript = false } = {}) {
  const { dir, config } = await writeConfig(t, text);
  await writeFile(path.join(dir, 'out.png'), OLD_OUTPUT);
  let script = SCRIPT;
  if (strayScript) {
    script = path.join(dir, 'kanvo-txt2img.mjs');
    await copyFile(SCRIPT, script);
    await mkdir(path.join(dir, 'txt2img'));
    const modules = path.join(path.dirname(SCRIPT), 'txt2img');
    for (const name of await readdir(modules)) await copyFile(path.join(modules, name), path.join(dir, 'txt2img', name));
  }
  const result = await runNode([script, '--config', config, path.join(dir, output), '--prompt', prompt]);
  return { ...result, output: path.join(dir, 'out.png') };
}

const withUser = (url, userinfo) => url.replace('//', `//${userinfo}`);

test('writes a PNG of the server\'s picture, whatever format each fork sends it in', async (t) => {
  for (const flavour of FLAVOURS) {
    const server = await startServer(t, ['--flavour', flavour, '--step-ms', '0']);
    const expected = renderImage({ ...SMALL, prompt: 'a cat' });
    for (const format of ['png', 'jpg', 'webp']) {
      await postJson(`${server.url}/sdapi/v1/options`, { samples_format: format });
      const result = await runScript(t, toml({ sd_url: server.url, ...SMALL }));
      const what = `${flavour} ${format}`;
      assert.deepEqual([result.code, result.stderr], [0, ''], what);
      const written = await readFile(result.output);
      const { data, info } = await sharp(written).raw().toBuffer({ resolveWithObject: true });
      assert.deepEqual([(await sharp(written).metadata()).format, info.width, info.height], ['png', 24, 16], what);
      // The stand-in is deterministic: these pixels prove prompt, seed and size arrived.
      const difference = data.reduce((sum, value, i) => sum + Math.abs(value - expected[i]), 0) / data.length;
      assert.ok(format === 'png' ? difference === 0 : difference < 8, `${what}: mean difference ${difference}`);
    }
  }
});

test('passes the prompt as typed and the credentials in sd_url', async (t) => {
  const server = await startServer(t, ['--step-ms', '0', '--api-auth', 'ann:p@ss,bob:x']);
  const prompt = '--prompt "quoted"  and  spaced ';
  const result = await runScript(t, toml({ sd_url: withUser(server.url, 'ann:p%40ss@'), ...SMALL }), { prompt });
  assert.deepEqual([result.code, result.stderr], [0, '']);
  const { data } = await sharp(await readFile(result.output)).raw().toBuffer({ resolveWithObject: true });
  assert.ok(data.equals(renderImage({ ...SMALL, prompt })));
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

const SERVER = 'the generation server at http://127.0.0.1:\\d+';
const raw = (status, body) => ['--txt2img-status', String(status), '--txt2img-body', typeof body === 'string' ? body : JSON.stringify(body)];
const v1Entry = (field, msg, type) => ({ loc: ['body', field], msg, type });
const v2Entry = (field, msg, type, input) => ({ type, loc: ['body', field], msg, input });

// Each case: the server's options, the configuration (settings over the
// working ones, or its text, null for none) and the message of the script's one line.
const FAILURES = [
  { name: 'config-missing', config: null, message: /^cannot read the configuration .*defaults\.toml: ENOENT/ },
  { name: 'config-malformed', config: 'steps = 20\nwidth = [1,\n', message: /^malformed configuration .*defaults\.toml:3:1: / },
  { name: 'config-wrong-type', settings: { steps: 'many' }, message: /: steps must be a positive integer, not "many"$/ },
  { name: 'packages-missing', strayScript: true, message: /^the TOML package smol-toml is not installed; run "npm ci"/ },
  { name: 'connection-refused', stopped: true, message: /^no generation server at http:\/\/127\.0\.0\.1:\d+$/ },
  // Each fork's answer to a job that fails inside the server (a CUDA error, say)
  ...FLAVOURS.map((flavour) => ({
    name: `server-failure-${flavour}`,
    server: ['--flavour', flavour, '--fail-txt2img', '500'],
    message: new RegExp(`^${SERVER} answered HTTP 500: RuntimeError: txt2img fails on purpose \\(--fail-txt2img 500\\)$`),
  })),
  ...FLAVOURS.flatMap((flavour) => [
    {
      name: `credentials-missing-${flavour}`,
      server: ['--flavour', flavour, '--api-auth', 'ann:secret'],
      message: new RegExp(`^${SERVER} wants a user name and password \\(HTTP 401: Not authenticated\\); give them in sd_url`),
    },
    {
      name: `credentials-wrong-${flavour}`,
      server: ['--flavour', flavour, '--api-auth', 'ann:secret'],
      userinfo: 'ann:secreT@',
      message: new RegExp(`^${SERVER} refused the user name and password in sd_url \\(HTTP 401: ${flavour === 'sdnext' ? 'Unauthorized' : 'Incorrect username or password'}\\)$`),
    },
  ]),
  {
    name: 'unknown-sampler-sdnext',
    server: ['--flavour', 'sdnext'],
    settings: { sampler_name: 'DPM++ 2M Karras' },
    message: new RegExp(`^${SERVER} answered HTTP 404: Sampler not found \\(sampler_name in .*defaults\\.toml\\)$`),
  },
  // The real servers' other answers, as they word them
  {
    name: '422-pydantic-1',
    server: raw(422, { detail: [v1Entry('steps', 'value is not a valid integer', 'type_error.integer')] }),
    message: new RegExp(`^${SERVER} refused steps: value is not a valid integer \\(HTTP 422\\)$`),
  },
  {
    name: '422-pydantic-2',
    server: raw(422, {
      detail: [
        v2Entry('steps', 'Input should be a valid integer, unable to parse string as an integer', 'int_parsing', 'x'),
        v2Entry('width', 'Input should be a valid integer, got a number with a fractional part', 'int_from_float', 1.5),
      ],
    }),
    message: new RegExp(`^${SERVER} refused steps: Input should be a valid integer, unable to parse string as an integer; width: Input should`),
  },
  {
    name: '422-json',
    server: raw(422, { detail: [{ type: 'json_invalid', loc: ['body', 12], msg: 'JSON decode error', input: {}, ctx: { error: 'Expecting value' } }] }),
    message: new RegExp(`^${SERVER} refused the request body \\(at character 12\\): JSON decode error \\(Expecting value\\) \\(HTTP 422\\)$`),
  },
  { name: 'no-api', server: raw(404, { detail: 'Not Found' }), message: new RegExp(`^${SERVER} has no /sdapi/v1/txt2img \\(HTTP 404\\); start it with --api$`) },
  { name: 'plain-500', server: raw(500, 'Internal Server Error'), message: new RegExp(`^${SERVER} answered HTTP 500: Internal Server Error$`) },
  { name: 'proxy-page', server: raw(502, '<html><head><title>502 Bad Gateway</title></head>\n<body><h1>502 Bad Gateway</h1></body></html>'), message: new RegExp(`^${SERVER} answered HTTP 502: 502 Bad Gateway 502 Bad Gateway$`) },
  { name: 'empty-500', server: raw(500, ''), message: new RegExp(`^${SERVER} answered HTTP 500 \\(Internal Server Error\\) without saying why$`) },
  { name: 'empty-fields', server: raw(500, { error: 'RuntimeError', detail: '', body: '', errors: '' }), message: new RegExp(`^${SERVER} answered HTTP 500: RuntimeError$`) },
  { name: 'bare-string', server: raw(500, "unsupported operand type(s) for *: 'NoneType' and 'int'"), message: /answered HTTP 500: unsupported operand type\(s\) for \*: 'NoneType' and 'int'$/ },
  { name: 'reply-not-json', server: raw(200, '<html>busy</html>'), message: new RegExp(`^${SERVER} did not answer with JSON: <html>busy</html>$`) },
  { name: 'reply-empty', server: raw(204, ''), message: new RegExp(`^${SERVER} answered HTTP 204 with nothing in it$`) },
  { name: 'reply-without-images', server: raw(200, { images: [], parameters: {}, info: '{}' }), message: new RegExp(`^${SERVER} answered without an image$`) },
  { name: 'image-unreadable', server: raw(200, { images: ['/9j/4AAQSkZJRgABAQ'] }), message: new RegExp(`^${SERVER} sent an image Kanvo cannot read \\(`) },
  { name: 'image-jpeg-xl', server: raw(200, { images: ['/wr/AAAA'] }), message: new RegExp(`^${SERVER} sent a JPEG XL image, which Kanvo cannot read; set the server's image format to PNG, JPEG or WEBP$`) },
  { name: 'output-folder-missing', output: 'missing/out.png', message: /^cannot write .*missing\/out\.png: ENOENT/ },
];

test('every failure prints one line naming the server\'s own words, exits 1 and leaves the earlier output alone', async (t) => {
  for (const c of FAILURES) {
    await t.test(c.name, async (t) => {
      const server = await startServer(t, ['--step-ms', '0', ...(c.server ?? [])]);
      if (c.stopped) await server.stop();
      const sdUrl = withUser(server.url, c.userinfo ?? '');
      const result = await runScript(t, 'config' in c ? c.config : toml({ sd_url: sdUrl, ...SMALL, ...c.settings }), c);
      assert.deepEqual([result.code, await readFile(result.output, 'utf8')], [1, OLD_OUTPUT]);
      assert.match(result.stderr, LINE, 'one line');
      assert.doesNotMatch(result.stderr, /\[\{"loc"|: $|:\n$/, 'no raw JSON, no empty message');
      assert.match(result.stderr.slice('kanvo-txt2img: '.length, -1), c.message);
    });
  }
});

test('servers that close the connection are named in one line', async (t) => {
  const cases = [
    ['without answering', (socket) => socket.destroy(), /closed the connection without answering$/],
    [
      'in the middle of its answer',
      (socket) => socket.end('HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 1000\r\n\r\n{"images": ['),
      /closed the connection in the middle of its answer$/,
    ],
    ['with something that is not HTTP', (socket) => socket.end('hello\r\n\r\n'), /answered with something that is not HTTP \(HPE_/],
  ];
  for (const [name, answer, message] of cases) {
    const server = await startRawServer(t, answer);
    const result = await runScript(t, toml({ sd_url: server.url, ...SMALL }));
    assert.equal(result.code, 1, name);
    assert.match(result.stderr, LINE, name);
    assert.match(result.stderr.trim(), message, name);
  }
});

test('on its time-out the script stops waiting and interrupts nothing', async (t) => {
  // A server that accepts and never answers sees exactly the one request.
  const silent = await startRawServer(t, () => {});
  const timedOut = await runScript(t, toml({ sd_url: silent.url, ...SMALL, timeout_s: 0.3 }));
  assert.equal(timedOut.code, 1);
  assert.match(timedOut.stderr, /^kanvo-txt2img: no image from the generation server at http:\/\/127\.0\.0\.1:\d+ within 0\.3 s \(timeout_s in .*defaults\.toml\); it may still be working on it\n$/);
  assert.deepEqual(silent.requests, ['POST /sdapi/v1/txt2img HTTP/1.1']);

  // Behind another client's long job, the script gives up and that job runs on.
  const busy = await startServer(t, ['--step-ms', '50']);
  const started = busy.logged(/txt2img/);
  const theirs = postJson(`${busy.url}/sdapi/v1/txt2img`, { steps: 40, width: 8, height: 8 });
  await started;
  const ours = await runScript(t, toml({ sd_url: busy.url, ...SMALL, timeout_s: 0.3 }));
  assert.equal(ours.code, 1);
  assert.equal((await getJson(`${busy.url}/kanvo/status`)).interrupt_count, 0);
  const { json } = await theirs;
  assert.equal(json.images.length, 1);
  assert.equal(JSON.parse(json.info).steps, 40);
  assert.equal((await getJson(`${busy.url}/sdapi/v1/progress`)).state.interrupted, false);
});
