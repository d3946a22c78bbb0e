// The stand-in generation server, driven over real HTTP on 127.0.0.1.
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { test } from 'node:test';
import { renderImage } from '../../server/procedural-image.mjs';
import { SERVER, getJson, postJson, runNode, startServer } from './helpers.mjs';

const hasImageMagick = spawnSync('convert', ['-version']).status === 0;
const progressOf = async (url) => (await getJson(`${url}/sdapi/v1/progress`)).body;

const untilSampling = async (url) => (await progressOf(url)).progress > 0 || untilSampling(url);

test('announces itself in one stdout line and exits 0 on SIGTERM and SIGINT, even mid-generation', async (t) => {
  for (const signal of ['SIGTERM', 'SIGINT']) {
    const server = await startServer(t, ['--step-ms', '200']);
    const pending = postJson(`${server.url}/sdapi/v1/txt2img`, { steps: 100 }).catch((e) => e);
    await untilSampling(server.url);
    assert.equal(await server.stop(signal), 0, signal);
    assert.ok((await pending) instanceof Error, 'the unanswered txt2img is cut off');
    assert.equal(server.lines.length, 1);
  }
});

test('refuses a bad command line (exit 2) and a port already in use (exit 1)', async (t) => {
  const busy = await startServer(t);
  const cases = [
    { args: ['--bogus'], code: 2, message: /unknown argument "--bogus"/ },
    { args: ['--port', '70000'], code: 2, message: /--port must be a port number/ },
    { args: ['--fail-txt2img', '200'], code: 2, message: /--fail-txt2img must be an HTTP error status/ },
    { args: ['--port', String(busy.port)], code: 1, message: /port \d+ on 127\.0\.0\.1 is already in use/ },
  ];
  for (const c of cases) {
    const result = await runNode([SERVER, ...c.args]);
    assert.deepEqual([result.code, result.stdout], [c.code, ''], c.args.join(' '));
    assert.match(result.stderr.split('\n')[0], c.message);
  }
});

test('progress is 0 when idle, rises step by step during a txt2img, and is 0 again afterwards', async (t) => {
  const server = await startServer(t, ['--step-ms', '25']);
  const idle = await progressOf(server.url);
  assert.deepEqual([idle.progress, idle.state.job_count], [0, 0]);

  let settled = false;
  const pending = postJson(`${server.url}/sdapi/v1/txt2img`, { steps: 5, n_iter: 2, width: 16, height: 16 });
  pending.finally(() => (settled = true)).catch(() => {});
  const seen = [];
  while (!settled) seen.push(await progressOf(server.url));
  assert.equal((await pending).status, 200);

  // Answers after the job ended but before its reply arrived are idle ones.
  const busy = seen.filter((answer) => answer.state.job === 'txt2img');
  const fractions = busy.map((answer) => answer.progress);
  assert.deepEqual(fractions, [...fractions].sort((a, b) => a - b), 'progress never goes back');
  assert.ok(new Set(fractions).size >= 4, `too few steps seen: ${fractions}`);
  assert.ok(busy.every((a) => a.progress <= 1 && a.state.sampling_steps === 5 && a.state.job_count === 2));
  assert.ok(busy.some((a) => a.state.job_no === 1), 'the second iteration is reported');
  assert.equal((await progressOf(server.url)).progress, 0);
});

test('txt2img renders the prompt and seed deterministically at the requested size', async (t) => {
  const server = await startServer(t, ['--step-ms', '0']);
  const generate = async (fields) => {
    const request = { steps: 1, width: 40, height: 24, ...fields };
    const { status, body } = await postJson(`${server.url}/sdapi/v1/txt2img`, request);
    assert.equal(status, 200, JSON.stringify(body));
    return { ...body, info: JSON.parse(body.info) };
  };
  const first = await generate({ prompt: 'a lighthouse', seed: 42 });
  assert.equal((await generate({ prompt: 'a lighthouse', seed: 42 })).images[0], first.images[0]);
  assert.notEqual((await generate({ prompt: 'a lighthouse', seed: 43 })).images[0], first.images[0]);
  assert.notEqual((await generate({ prompt: 'a lighthouse at night', seed: 42 })).images[0], first.images[0]);

  const random = await generate({ seed: -1 });
  assert.ok(Number.isInteger(random.info.seed) && random.info.seed >= 0, 'a random seed is picked and reported');
  const batch = await generate({ seed: 7, batch_size: 2, n_iter: 2 });
  assert.deepEqual([batch.info.all_seeds, batch.images.length], [[7, 8, 9, 10], 4]);

  await t.test('a real decoder reads the very pixels that were rendered', { skip: !hasImageMagick }, () => {
    const png = Buffer.from(first.images[0], 'base64');
    const decoded = execFileSync('convert', ['png:-', '-depth', '8', 'rgb:-'], { input: png });
    assert.ok(decoded.equals(renderImage({ prompt: 'a lighthouse', seed: 42, width: 40, height: 24 })));
  });
});

test('interrupt ends the running job, which still answers with its image', { timeout: 15_000 }, async (t) => {
  // At 1 s a step this job would outlast the test's timeout if interrupt did nothing.
  const server = await startServer(t, ['--step-ms', '1000']);
  const pending = postJson(`${server.url}/sdapi/v1/txt2img`, { steps: 100, width: 8, height: 8 });
  await untilSampling(server.url);
  assert.deepEqual((await postJson(`${server.url}/sdapi/v1/interrupt`, {})).body, {});
  const { status, body } = await pending;
  assert.deepEqual([status, body.images.length], [200, 1]);
});

test('the model endpoints agree and the status endpoint counts unload, txt2img and progress requests', async (t) => {
  const server = await startServer(t, ['--step-ms', '0']);
  const get = async (path) => (await getJson(server.url + path)).body;
  assert.equal((await get('/sdapi/v1/sd-models'))[0].title, (await get('/sdapi/v1/options')).sd_model_checkpoint);
  assert.ok((await get('/sdapi/v1/samplers')).some((s) => s.name === 'Euler a'), 'the default sampler is listed');

  assert.deepEqual((await postJson(`${server.url}/sdapi/v1/unload-checkpoint`, {})).body, {});
  await postJson(`${server.url}/sdapi/v1/txt2img`, { steps: 1, width: 8, height: 8 });
  await postJson(`${server.url}/sdapi/v1/txt2img`, { sampler_name: 'Nope' });
  for (let i = 0; i < 3; i++) await get('/sdapi/v1/progress');
  assert.deepEqual(await get('/kanvo/status'), { unload_count: 1, txt2img_count: 2, progress_count: 3 });
});

test('rejects what the API rejects, with the error body', async (t) => {
  const server = await startServer(t, ['--step-ms', '0']);
  const cases = [
    { name: 'unknown-sampler', request: ['/sdapi/v1/txt2img', 'POST', '{"sampler_name":"Nope"}'], status: 404, detail: /Sampler not found: Nope/ },
    { name: 'body-not-json', request: ['/sdapi/v1/txt2img', 'POST', '{"prompt":'], status: 422, detail: /not JSON/ },
    { name: 'steps-zero-and-width-text', request: ['/sdapi/v1/txt2img', 'POST', '{"steps":0,"width":"9"}'], status: 422, detail: /steps must be .*; width must be/ },
    { name: 'oversized-body', request: ['/sdapi/v1/txt2img', 'POST', 'x'.repeat(2 << 20)], status: 413, detail: /larger than 1 MiB/ },
    { name: 'unknown-path', request: ['/sdapi/v1/img2img', 'POST', '{}'], status: 404, detail: /Not Found/ },
    { name: 'wrong-method', request: ['/sdapi/v1/txt2img', 'GET'], status: 405, detail: /Method Not Allowed/ },
  ];
  for (const { name, request: [path, method, body], ...expected } of cases) {
    const answer = await getJson(server.url + path, { method, body });
    const keys = Object.keys(answer.body).sort();
    assert.deepEqual([answer.status, keys], [expected.status, ['body', 'detail', 'error', 'errors']], name);
    assert.match(answer.body.detail, expected.detail, name);
  }
});

test('fault modes serve raw bodies and late progress answers', async (t) => {
  await t.test('--txt2img-body and --progress-body serve their text as it stands', async (t) => {
    const server = await startServer(t, ['--txt2img-body', 'not json', '--progress-body', '{"progress":"0.5"}']);
    const text = async (path, init) => (await fetch(server.url + path, init)).text();
    assert.equal(await text('/sdapi/v1/txt2img', { method: 'POST', body: '{}' }), 'not json');
    assert.equal(await text('/sdapi/v1/progress'), '{"progress":"0.5"}');
  });

  await t.test('--slow-progress answers progress only after the 3 s the app waits', async (t) => {
    const server = await startServer(t, ['--slow-progress']);
    const late = getJson(`${server.url}/sdapi/v1/progress`);
    const cut = getJson(`${server.url}/sdapi/v1/progress`, { signal: AbortSignal.timeout(3000) });
    await assert.rejects(cut, { name: 'TimeoutError' });
    assert.equal((await getJson(`${server.url}/kanvo/status`)).status, 200, 'other endpoints stay prompt');
    assert.equal((await late).body.progress, 0);
  });
});
