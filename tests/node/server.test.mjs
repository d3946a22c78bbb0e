// The stand-in generation server, driven over real HTTP on 127.0.0.1.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { setTimeout as delay } from 'node:timers/promises';
import { getJson, postJson, startServer } from './helpers.mjs';

// Polls are spaced well below a sampling step, so every step is seen without
// the client crowding out the server it watches.
const POLL_MS = 10;
const progressOf = async (url) => (await getJson(`${url}/sdapi/v1/progress`)).body;
async function untilSampling(url) {
  while ((await progressOf(url)).progress === 0) await delay(POLL_MS);
}

test('exits 0 on SIGTERM even mid-generation, cutting the unanswered txt2img off', { timeout: 10_000 }, async (t) => {
  // run.sh waits for the server it stops; an open request must not keep it alive.
  const server = await startServer(t, ['--step-ms', '200']);
  const pending = postJson(`${server.url}/sdapi/v1/txt2img`, { steps: 100 }).catch((e) => e);
  await untilSampling(server.url);
  assert.equal(await server.stop(), 0);
  assert.ok((await pending) instanceof Error);
});

test('progress is 0 when idle, rises step by step during a txt2img, and is 0 again afterwards', async (t) => {
  const server = await startServer(t, ['--step-ms', '40']);
  assert.equal((await progressOf(server.url)).progress, 0);

  let settled = false;
  const pending = postJson(`${server.url}/sdapi/v1/txt2img`, { steps: 5, n_iter: 2, width: 16, height: 16 });
  pending.finally(() => (settled = true)).catch(() => {});
  const seen = [];
  while (!settled) {
    seen.push(await progressOf(server.url));
    await delay(POLL_MS);
  }
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

test('interrupt ends the running job, which still answers with its image', { timeout: 15_000 }, async (t) => {
  // At 1 s a step this job would outlast the test's timeout if interrupt did nothing.
  const server = await startServer(t, ['--step-ms', '1000']);
  const pending = postJson(`${server.url}/sdapi/v1/txt2img`, { steps: 100, width: 8, height: 8 });
  await untilSampling(server.url);
  assert.deepEqual((await postJson(`${server.url}/sdapi/v1/interrupt`, {})).body, {});
  const { status, body } = await pending;
  assert.deepEqual([status, body.images.length], [200, 1]);
});

test('the model endpoints agree, txt2img seeds each image in turn, and the status endpoint counts requests', async (t) => {
  const server = await startServer(t, ['--step-ms', '0']);
  const get = async (path) => (await getJson(server.url + path)).body;
  assert.equal((await get('/sdapi/v1/sd-models'))[0].title, (await get('/sdapi/v1/options')).sd_model_checkpoint);
  assert.ok((await get('/sdapi/v1/samplers')).some((s) => s.name === 'Euler a'), 'the default sampler is listed');
  assert.deepEqual((await postJson(`${server.url}/sdapi/v1/unload-checkpoint`, {})).body, {});
  const request = { seed: 7, batch_size: 2, n_iter: 2, steps: 1, width: 8, height: 8 };
  const { images, info } = (await postJson(`${server.url}/sdapi/v1/txt2img`, request)).body;
  assert.deepEqual([JSON.parse(info).all_seeds, new Set(images).size], [[7, 8, 9, 10], 4]);
  for (let i = 0; i < 3; i++) await get('/sdapi/v1/progress');
  assert.deepEqual(await get('/kanvo/status'), { unload_count: 1, txt2img_count: 1, progress_count: 3 });
});

test('txt2img rejects what the API rejects, with the error body', async (t) => {
  const server = await startServer(t, ['--step-ms', '0']);
  const cases = [
    ['{"sampler_name":"Nope"}', 404, /^Sampler not found: Nope$/],
    ['{"steps":0,"width":"9"}', 422, /steps must be .*; width must be/],
  ];
  for (const [body, status, detail] of cases) {
    const answer = await getJson(`${server.url}/sdapi/v1/txt2img`, { method: 'POST', body });
    assert.deepEqual([answer.status, Object.keys(answer.body).sort()], [status, ['body', 'detail', 'error', 'errors']], body);
    assert.match(answer.body.detail, detail, body);
  }
});

test('--progress-body serves its text as it stands; --slow-progress answers only after the 3 s the app waits', async (t) => {
  const raw = await startServer(t, ['--progress-body', '{ "progress": 0.50 }']);
  assert.equal(await (await fetch(`${raw.url}/sdapi/v1/progress`)).text(), '{ "progress": 0.50 }');

  const slow = await startServer(t, ['--slow-progress']);
  const late = getJson(`${slow.url}/sdapi/v1/progress`);
  await assert.rejects(getJson(`${slow.url}/sdapi/v1/progress`, { signal: AbortSignal.timeout(3000) }), { name: 'TimeoutError' });
  assert.equal((await getJson(`${slow.url}/kanvo/status`)).status, 200, 'other endpoints stay prompt');
  assert.equal((await late).body.progress, 0);
});
