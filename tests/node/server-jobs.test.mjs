// The stand-in's jobs over time: progress, previews, interrupt and skip,
// shutdown, the counters tests read, and the fault modes.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { setTimeout as delay } from 'node:timers/promises';
import { call, getJson, postJson, startServer, untilSampling } from './helpers.mjs';

const txt2img = (url, json) => postJson(`${url}/sdapi/v1/txt2img`, json);
const control = (url, what) => call(`${url}/sdapi/v1/${what}`, { method: 'POST' });

test('exits 0 on SIGTERM even mid-generation, cutting the unanswered txt2img off', { timeout: 10_000 }, async (t) => {
  // run.sh waits for the server it stops; an open request must not keep it alive.
  const server = await startServer(t, ['--step-ms', '200']);
  const started = server.logged(/txt2img/);
  const pending = txt2img(server.url, { steps: 100, width: 8, height: 8 }).catch((e) => e);
  await started;
  assert.equal(await server.stop(), 0);
  assert.ok((await pending) instanceof Error);
});

test('progress rises step by step through every batch, as the fork computes it', async (t) => {
  for (const flavour of ['forge', 'sdnext']) {
    const server = await startServer(t, ['--flavour', flavour, '--step-ms', '15']);
    let settled = false;
    const pending = txt2img(server.url, { steps: 5, n_iter: 2, width: 16, height: 16 });
    pending.finally(() => (settled = true)).catch(() => {});
    const seen = [];
    // One progress request at a time, about one a step.
    while (!settled) {
      seen.push(await getJson(`${server.url}/sdapi/v1/progress`));
      await delay(5);
    }
    assert.equal((await pending).status, 200);

    const busy = seen.filter((answer) => answer.state.job_count !== 0);
    const fractions = busy.map((answer) => answer.progress);
    assert.deepEqual(fractions, [...fractions].sort((a, b) => a - b), `${flavour}: progress never goes back`);
    assert.ok(new Set(fractions).size >= 4, `${flavour}: too few steps seen: ${fractions}`);
    assert.ok(busy.every((a) => a.progress >= (flavour === 'forge' ? 0.01 : 0) && a.progress <= 1), flavour);
    assert.ok(busy.some((a) => a.state.job_no === 1), `${flavour}: the second batch is reported`);
    // The original and Forge start at 0.01 and name the batch; SD.Next counts from 0 under its own job names.
    if (flavour === 'forge') assert.ok(busy.every((a) => a.state.job === `Batch ${a.state.job_no + 1} out of 2`));
    else assert.ok(busy.every((a) => ['API-TXT', 'Text'].includes(a.state.job) && typeof a.id === 'string'));
    assert.equal((await getJson(`${server.url}/sdapi/v1/progress`)).progress, 0);
  }
});

test('a preview appears every ten steps unless skip_current_image asks for none', async (t) => {
  const server = await startServer(t, ['--step-ms', '10']);
  const pending = txt2img(server.url, { steps: 1000, width: 16, height: 16 });
  await untilSampling(server.url, 10);
  const withPreview = await getJson(`${server.url}/sdapi/v1/progress`);
  const without = await getJson(`${server.url}/sdapi/v1/progress?skip_current_image=true`);
  assert.match(withPreview.current_image, /^iVBORw0KGgo/, 'a base64 PNG');
  assert.equal(without.current_image, null);
  await control(server.url, 'interrupt');
  assert.equal((await pending).status, 200);
});

test('interrupt ends the job and skip the batch, each still answering with images', { timeout: 20_000 }, async (t) => {
  // At 1 s a step these jobs would outlast the timeout if interrupt or skip did nothing.
  const server = await startServer(t, ['--step-ms', '1000']);
  const interrupted = txt2img(server.url, { steps: 100, width: 8, height: 8, n_iter: 3 });
  await untilSampling(server.url, 0, 100);
  assert.deepEqual((await control(server.url, 'interrupt')).json, {});
  const { status, json } = await interrupted;
  assert.deepEqual([status, json.images.length], [200, 1]);

  const skipped = txt2img(server.url, { steps: 100, width: 8, height: 8, n_iter: 2 });
  await untilSampling(server.url, 0, 100);
  assert.equal((await control(server.url, 'skip')).text, 'null');
  // The second batch starts at once; interrupt it to end the test.
  for (;;) {
    const { state } = await untilSampling(server.url, 0, 100);
    if (state.job_no === 1) break;
  }
  await control(server.url, 'interrupt');
  assert.equal((await skipped).json.images.length, 2);
});

test('the model endpoints agree, txt2img seeds each image in turn, and the status endpoint counts requests', async (t) => {
  const server = await startServer(t, ['--step-ms', '0']);
  const get = (path) => getJson(server.url + path);
  assert.equal((await get('/sdapi/v1/sd-models'))[0].title, (await get('/sdapi/v1/options')).sd_model_checkpoint);
  assert.ok((await get('/sdapi/v1/samplers')).some((s) => s.name === 'Euler a'), 'the default configuration sampler is listed');
  await control(server.url, 'unload-checkpoint');
  await control(server.url, 'skip');
  const request = { seed: 7, batch_size: 2, n_iter: 2, steps: 1, width: 8, height: 8 };
  const { images, info } = (await txt2img(server.url, request)).json;
  assert.deepEqual([JSON.parse(info).all_seeds, new Set(images).size], [[7, 8, 9, 10], 4]);
  for (let i = 0; i < 3; i++) await get('/sdapi/v1/progress');
  assert.deepEqual(await get('/kanvo/status'), {
    unload_count: 1,
    txt2img_count: 1,
    progress_count: 3,
    interrupt_count: 0,
    skip_count: 1,
  });
});

test('fault modes: a failing txt2img in the fork\'s error shape, raw answers, slow progress', async (t) => {
  const failing = await startServer(t, ['--flavour', 'original', '--fail-txt2img', '503']);
  const failed = await txt2img(failing.url, {});
  assert.deepEqual([failed.status, failed.json], [503, {
    error: 'RuntimeError',
    detail: '',
    body: '',
    errors: 'txt2img fails on purpose (--fail-txt2img 503)',
  }]);

  const rawBodies = await startServer(t, ['--txt2img-status', '502', '--txt2img-body', '<h1>busy</h1>', '--progress-body', '{ "progress": 0.50 }']);
  const raw = await txt2img(rawBodies.url, {});
  assert.deepEqual([raw.status, raw.text], [502, '<h1>busy</h1>']);
  assert.equal((await call(`${rawBodies.url}/sdapi/v1/progress`)).text, '{ "progress": 0.50 }');

  // --slow-progress answers only after the 3 s the app waits; other endpoints stay prompt.
  const slow = await startServer(t, ['--slow-progress']);
  const late = getJson(`${slow.url}/sdapi/v1/progress`);
  const early = await Promise.race([late.then(() => 'progress'), getJson(`${slow.url}/kanvo/status`).then(() => 'status')]);
  assert.equal(early, 'status');
  assert.equal((await late).progress, 0);
});
