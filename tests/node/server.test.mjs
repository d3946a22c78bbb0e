// The stand-in generation server, driven over real HTTP on 127.0.0.1.
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { test } from 'node:test';
import { renderImage } from '../../server/procedural-image.mjs';
import { READY_LINE, SERVER, getJson, postJson, runNode, startServer } from './helpers.mjs';

const hasImageMagick = spawnSync('convert', ['-version']).status === 0;

/** Polls progress until the txt2img promise settles; returns every answer seen meanwhile. */
async function progressDuring(url, pending) {
  let settled = false;
  pending.finally(() => (settled = true)).catch(() => {});
  const seen = [];
  while (!settled) seen.push((await getJson(`${url}/sdapi/v1/progress`)).body);
  return seen;
}

async function waitForProgressAbove(url, fraction) {
  for (;;) {
    const { body } = await getJson(`${url}/sdapi/v1/progress`);
    if (body.progress > fraction) return body;
  }
}

test('announces itself in one stdout line and exits 0 on SIGTERM and SIGINT, even mid-generation', async (t) => {
  for (const signal of ['SIGTERM', 'SIGINT']) {
    const server = await startServer(t, ['--step-ms', '200']);
    const pending = postJson(`${server.url}/sdapi/v1/txt2img`, { steps: 100 }).catch((e) => e);
    await waitForProgressAbove(server.url, 0);
    assert.deepEqual(await server.stop(signal), { code: 0, signal: null }, signal);
    assert.ok((await pending) instanceof Error, 'the unanswered txt2img is cut off');
    assert.equal(server.stdoutLines.length, 1);
    assert.match(server.stdoutLines[0], READY_LINE);
  }
});

test('refuses a bad command line (exit 2) and a port already in use (exit 1)', async (t) => {
  const cases = [
    { args: ['--bogus'], code: 2, message: /unknown argument "--bogus"/ },
    { args: ['--port', '70000'], code: 2, message: /--port must be a port number/ },
    { args: ['--fail-txt2img', '200'], code: 2, message: /--fail-txt2img must be an HTTP error status/ },
  ];
  const busy = await startServer(t);
  cases.push({ args: ['--port', String(busy.port)], code: 1, message: /port \d+ on 127\.0\.0\.1 is already in use/ });

  for (const c of cases) {
    const result = await runNode([SERVER, ...c.args]);
    assert.equal(result.code, c.code, c.args.join(' '));
    assert.match(result.stderr.split('\n')[0], c.message);
    assert.equal(result.stdout, '');
  }
});

test('progress is 0 when idle, rises step by step during a txt2img, and is 0 again afterwards', async (t) => {
  const server = await startServer(t, ['--step-ms', '25']);
  const idle = (await getJson(`${server.url}/sdapi/v1/progress`)).body;
  assert.equal(idle.progress, 0);
  assert.equal(idle.state.job_count, 0);

  const pending = postJson(`${server.url}/sdapi/v1/txt2img`, { steps: 5, n_iter: 2, width: 16, height: 16 });
  const seen = await progressDuring(server.url, pending);
  assert.equal((await pending).status, 200);

  // Answers after the job ended but before its reply arrived are idle ones.
  const busy = seen.filter((answer) => answer.state.job === 'txt2img');
  const fractions = busy.map((answer) => answer.progress);
  assert.deepEqual(
    fractions,
    [...fractions].sort((a, b) => a - b),
    'progress never goes back',
  );
  assert.ok(new Set(fractions).size >= 4, `too few steps seen: ${fractions}`);
  assert.ok(busy.every((a) => a.progress <= 1 && a.state.sampling_steps === 5 && a.state.job_count === 2));
  assert.ok(busy.some((a) => a.state.job_no === 1), 'the second iteration is reported');
  assert.equal((await getJson(`${server.url}/sdapi/v1/progress`)).body.progress, 0);
});

test('txt2img renders the prompt and seed deterministically at the requested size', async (t) => {
  const server = await startServer(t, ['--step-ms', '0']);
  const generate = async (fields) => {
    const { status, body } = await postJson(`${server.url}/sdapi/v1/txt2img`, { steps: 1, ...fields });
    assert.equal(status, 200, JSON.stringify(body));
    return { ...body, info: JSON.parse(body.info) };
  };

  const first = await generate({ prompt: 'a lighthouse', seed: 42, width: 40, height: 24 });
  const again = await generate({ prompt: 'a lighthouse', seed: 42, width: 40, height: 24 });
  const otherSeed = await generate({ prompt: 'a lighthouse', seed: 43, width: 40, height: 24 });
  const otherPrompt = await generate({ prompt: 'a lighthouse at night', seed: 42, width: 40, height: 24 });
  assert.equal(first.images.length, 1);
  assert.equal(again.images[0], first.images[0]);
  assert.notEqual(otherSeed.images[0], first.images[0]);
  assert.notEqual(otherPrompt.images[0], first.images[0]);
  assert.equal(first.parameters.sampler_name, 'Euler a', 'the default sampler fills in');
  const alias = await generate({ sampler_name: 'K_DPMPP_2M', width: 8, height: 8 });
  assert.equal(alias.parameters.sampler_name, 'DPM++ 2M', 'samplers match by alias, in any case');

  const random = await generate({ seed: -1, width: 8, height: 8 });
  assert.ok(Number.isInteger(random.info.seed) && random.info.seed >= 0, 'a random seed is picked and reported');

  const batch = await generate({ seed: 7, batch_size: 2, n_iter: 2, width: 8, height: 8 });
  assert.deepEqual(batch.info.all_seeds, [7, 8, 9, 10]);
  assert.equal(batch.images.length, 4);

  assert.deepEqual((await generate({ send_images: false, width: 8, height: 8 })).images, []);

  await t.test('a real decoder reads the very pixels that were rendered', { skip: !hasImageMagick }, () => {
    const decoded = execFileSync('convert', ['png:-', '-depth', '8', 'rgb:-'], {
      input: Buffer.from(first.images[0], 'base64'),
    });
    assert.ok(decoded.equals(renderImage({ prompt: 'a lighthouse', seed: 42, width: 40, height: 24 })));
  });
});

test('interrupt ends the running job, which still answers with its image', { timeout: 15_000 }, async (t) => {
  // At 1 s a step this job would outlast the test's timeout if interrupt did nothing.
  const server = await startServer(t, ['--step-ms', '1000']);
  const pending = postJson(`${server.url}/sdapi/v1/txt2img`, { steps: 100, width: 8, height: 8 });
  await waitForProgressAbove(server.url, 0);
  assert.deepEqual((await postJson(`${server.url}/sdapi/v1/interrupt`, {})).body, {});
  const { status, body } = await pending;
  assert.equal(status, 200);
  assert.equal(body.images.length, 1);
  assert.equal((await getJson(`${server.url}/sdapi/v1/progress`)).body.progress, 0);
});

test('the status endpoint counts unload, txt2img and progress requests', async (t) => {
  const server = await startServer(t, ['--step-ms', '0']);
  for (let i = 0; i < 2; i++) {
    assert.deepEqual((await postJson(`${server.url}/sdapi/v1/unload-checkpoint`, {})).body, {});
  }
  await postJson(`${server.url}/sdapi/v1/txt2img`, { steps: 1, width: 8, height: 8 });
  await postJson(`${server.url}/sdapi/v1/txt2img`, { sampler_name: 'Nope' });
  for (let i = 0; i < 3; i++) await getJson(`${server.url}/sdapi/v1/progress`);
  assert.deepEqual((await getJson(`${server.url}/kanvo/status`)).body, {
    unload_count: 2,
    txt2img_count: 2,
    progress_count: 3,
  });
});

test('rejects what the API rejects, with the error body', async (t) => {
  const server = await startServer(t, ['--step-ms', '0']);
  const send = (path, method, body) =>
    fetch(`${server.url}${path}`, { method, body }).then(async (r) => ({ status: r.status, body: await r.json() }));
  const cases = [
    { name: 'unknown-sampler', request: ['/sdapi/v1/txt2img', 'POST', '{"sampler_name":"Nope"}'], status: 404, detail: /Sampler not found: Nope/ },
    { name: 'body-not-json', request: ['/sdapi/v1/txt2img', 'POST', '{"prompt":'], status: 422, detail: /not JSON/ },
    { name: 'steps-zero-and-width-text', request: ['/sdapi/v1/txt2img', 'POST', '{"steps":0,"width":"9"}'], status: 422, detail: /steps must be .*; width must be/ },
    { name: 'oversized-body', request: ['/sdapi/v1/txt2img', 'POST', 'x'.repeat(2 << 20)], status: 413, detail: /larger than 1 MiB/ },
    { name: 'unknown-path', request: ['/sdapi/v1/img2img', 'POST', '{}'], status: 404, detail: /Not Found/ },
    { name: 'wrong-method', request: ['/sdapi/v1/txt2img', 'GET'], status: 405, detail: /Method Not Allowed/ },
  ];
  for (const c of cases) {
    const { status, body } = await send(...c.request);
    assert.equal(status, c.status, c.name);
    assert.deepEqual(Object.keys(body).sort(), ['body', 'detail', 'error', 'errors'], c.name);
    assert.match(body.detail, c.detail, c.name);
  }
});

test('fault modes serve raw bodies and late progress answers', async (t) => {
  await t.test('--txt2img-body and --progress-body serve their text as it stands', async (t) => {
    const server = await startServer(t, ['--txt2img-body', 'not json', '--progress-body', '{"progress":"0.5"}']);
    const txt2img = await fetch(`${server.url}/sdapi/v1/txt2img`, { method: 'POST', body: '{}' });
    assert.equal(await txt2img.text(), 'not json');
    assert.equal(await (await fetch(`${server.url}/sdapi/v1/progress`)).text(), '{"progress":"0.5"}');
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
