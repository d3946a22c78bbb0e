// The stand-in's jobs over time: progress, previews, interrupt and skip,
// shutdown, the counters tests read, and slow progress answers.
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
    const pending = txt2img(server.url, { steps: 5, n_iter: 2, width: 16, height: 16 }).finally(() => (settled = true));
    const busy = [];
    // One progress request at a time, about one a step.
    while (!settled) {
      const answer = await getJson(`${server.url}/sdapi/v1/progress`);
      if (answer.state.job_count !== 0) busy.push(answer);
      await delay(5);
    }
    assert.equal((await pending).status, 200);
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

test('a preview every ten steps unless skip_current_image; interrupt ends the job and skip the batch, with images', { timeout: 20_000 }, async (t) => {
  // At 10 ms a step each batch takes 100 s: the test times out if interrupt or skip does nothing.
  const server = await startServer(t, ['--step-ms', '10']);
  const interrupted = txt2img(server.url, { steps: 10_000, width: 16, height: 16, n_iter: 3 });
  await untilSampling(server.url, 10);
  assert.match((await getJson(`${server.url}/sdapi/v1/progress`)).current_image, /^iVBORw0KGgo/, 'a base64 PNG');
  assert.equal((await getJson(`${server.url}/sdapi/v1/progress?skip_current_image=true`)).current_image, null);
  assert.deepEqual((await control(server.url, 'interrupt')).json, {});
  assert.deepEqual(await interrupted.then(({ status, json }) => [status, json.images.length]), [200, 1]);

  const skipped = txt2img(server.url, { steps: 10_000, width: 16, height: 16, n_iter: 2 });
  await untilSampling(server.url);
  assert.equal((await control(server.url, 'skip')).text, 'null');
  // The second batch starts at once; interrupt it to end the test.
  while ((await untilSampling(server.url)).state.job_no !== 1);
  await control(server.url, 'interrupt');
  assert.equal((await skipped).json.images.length, 2);
});

test('the status endpoint counts each kind of request', async (t) => {
  const server = await startServer(t);
  for (const what of ['unload-checkpoint', 'skip', 'interrupt', 'skip']) await control(server.url, what);
  await txt2img(server.url, { steps: 1, width: 8, height: 8 });
  for (let i = 0; i < 3; i++) await getJson(`${server.url}/sdapi/v1/progress`);
  assert.deepEqual(await getJson(`${server.url}/kanvo/status`), { unload_count: 1, txt2img_count: 1, progress_count: 3, interrupt_count: 1, skip_count: 2 });
});

test('--slow-progress holds progress answers past the app\'s wait, and only those', async (t) => {
  // --slow-progress answers only after the 3 s the app waits; other endpoints stay prompt.
  const slow = await startServer(t, ['--slow-progress']);
  const late = getJson(`${slow.url}/sdapi/v1/progress`);
  const early = await Promise.race([late.then(() => 'progress'), getJson(`${slow.url}/kanvo/status`).then(() => 'status')]);
  assert.equal(early, 'status');
  assert.equal((await late).progress, 0);
});
