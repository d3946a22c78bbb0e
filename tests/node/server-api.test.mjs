// The stand-in in each flavour, driven as a black box over HTTP and held
// against the table of what the real servers answer (api-shapes.mjs).
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { gunzipSync } from 'node:zlib';
import { API, mismatches } from './api-shapes.mjs';
import { FLAVOURS, call, getJson, postJson, startServer } from './helpers.mjs';

const SMALL = { prompt: 'a cat', steps: 1, width: 16, height: 8 };
const conforms = (value, shape, what) => assert.deepEqual(mismatches(value, shape), [], what);
const txt2img = (url, json, options) => postJson(`${url}/sdapi/v1/txt2img`, json, options);

for (const flavour of FLAVOURS) {
  const api = API[flavour];
  const start = (t, ...args) => startServer(t, ['--flavour', flavour, ...args]);

  test(`${flavour}: every endpoint answers in the fork's shape, and job state outlives the job as the fork's State does`, async (t) => {
    const { url } = await start(t);
    const idle = await call(`${url}/sdapi/v1/progress`);
    conforms(idle.json, api.progress, 'progress');
    assert.equal('x-process-time' in idle.headers, api.processTimeHeader, 'timing header');

    const answer = await txt2img(url, { ...SMALL, seed: -1, steps: 3, batch_size: 2, n_iter: 2 });
    conforms(answer.json, api.txt2img, 'txt2img');
    const info = JSON.parse(answer.json.info);
    assert.deepEqual(Object.keys(info), api.infoKeys, 'info');
    assert.deepEqual(api.parameterKeys.filter((k) => !(k in answer.json.parameters)), [], 'parameters');
    assert.equal(answer.json.parameters.seed, -1, 'parameters echo the request');
    assert.ok(info.seed >= 0, 'info names the seed used');
    assert.deepEqual([info.all_seeds, new Set(answer.json.images).size], [[0, 1, 2, 3].map((i) => info.seed + i), 4], 'each image seeded in turn');
    const state = async () => (await getJson(`${url}/sdapi/v1/progress`)).state;
    const after = await state();
    // A1111's State.end() leaves the counters; SD.Next's resets job_no but keeps the steps.
    const counters = flavour === 'sdnext' ? [0, 6] : [2, 3];
    assert.deepEqual([after.job, after.job_count, after.job_timestamp !== '0', after.job_no, after.sampling_steps], ['', 0, true, ...counters]);

    for (const [path, expected] of [['interrupt', '{}'], ['skip', 'null'], ['unload-checkpoint', '{}'], ['reload-checkpoint', '{}']]) {
      const control = await call(`${url}/sdapi/v1/${path}`, { method: 'POST' });
      assert.deepEqual([control.status, control.text], [200, expected], path);
    }
    assert.equal((await state()).interrupted, true, 'an idle interrupt shows');
    assert.equal((await txt2img(url, SMALL)).json.images.length, 1, 'and does not stop the next job');
    assert.equal((await state()).interrupted, false);
    const options = await getJson(`${url}/sdapi/v1/options`);
    const set = await postJson(`${url}/sdapi/v1/options`, { samples_format: 'png' });
    if (api.optionsSetAnswer === 'null') assert.deepEqual([set.status, set.text], [200, 'null']);
    else assert.deepEqual([set.status, set.json], [200, { updated: [{ samples_format: false }] }]);

    const lists = {};
    for (const [path, item] of [['samplers', api.sampler], ['schedulers', api.scheduler], ['sd-models', api.model]]) {
      const answer = await call(`${url}/sdapi/v1/${path}`);
      if (item) conforms((lists[path] = answer.json), ['array', item], path);
      else assert.equal(answer.status, 404, path); // SD.Next has no schedulers endpoint
    }
    conforms(await getJson(`${url}/sdapi/v1/memory`), api.memory, 'memory');
    conforms(lists.samplers.flatMap((s) => Object.values(s.options)), ['array', api.samplerOptionValues], 'sampler options');
    assert.ok(lists.samplers.some((s) => s.name === 'Euler a'), 'the default configuration sampler is listed');
    assert.deepEqual([options.samples_format, options.sd_model_checkpoint], ['png', lists['sd-models'][0].title], 'options');
  });

  test(`${flavour}: FastAPI's 404, 405, redirect, 422, 400 and 500, and credentials as the fork checks them`, async (t) => {
    const { url } = await start(t);
    const locked = (await start(t, '--api-auth', 'ann:secret,bob:pw2')).url;
    const post = { path: '/sdapi/v1/txt2img', method: 'POST' };
    const models = { url: locked, path: '/sdapi/v1/sd-models', shape: api.routeError };
    const cases = [
      { name: 'unknown path', path: '/sdapi/v1/nothing', status: 404, shape: { detail: 'string' }, detail: 'Not Found' },
      { name: 'wrong method', path: '/sdapi/v1/txt2img', status: 405, detail: 'Method Not Allowed', allow: 'POST' },
      { name: 'first route sets Allow', path: '/sdapi/v1/options', method: 'DELETE', status: 405, allow: 'GET' },
      { name: 'no body', ...post, status: 422, loc: ['body'] },
      { name: 'text body', ...post, body: 'a cat', headers: { 'content-type': 'text/plain' }, status: 422, loc: ['body'] },
      { name: 'broken JSON', ...post, body: '{"steps": 3,}', status: 422, loc: ['body', 12], entry: api.jsonDecodeEntry },
      { name: 'query type', path: '/sdapi/v1/progress?skip_current_image=maybe', status: 422, loc: ['query', 'skip_current_image'] },
      { name: 'not UTF-8', ...post, body: Buffer.from([0x7b, 0xff, 0x7d]), status: 400, shape: api.routeError, detail: 'There was an error parsing the body' },
      { name: 'failing job', ...post, body: '{"steps": 0}', status: 500, shape: api.serverError, error: 'ZeroDivisionError' },
      { name: 'no credentials', ...models, status: 401, detail: 'Not authenticated' },
      { name: 'wrong credentials', ...models, auth: 'ann:nope', status: 401, detail: api.wrongCredentials },
      { name: 'garbled credentials', ...models, headers: { authorization: 'Basic !!!' }, status: 401, detail: 'Invalid authentication credentials' },
      { name: 'second user', ...models, auth: 'bob:pw2', status: 200, shape: ['array', api.model] },
      { name: 'unknown path, locked', url: locked, path: '/sdapi/v1/nothing', status: 404 },
      { name: 'progress, locked', url: locked, path: '/sdapi/v1/progress', status: api.progressNeedsAuth ? 401 : 200 },
      // FastAPI reads the body before it asks for credentials.
      { name: 'broken body, locked', url: locked, ...post, body: '{', status: 422 },
    ];
    for (const c of cases) {
      const answer = await call((c.url ?? url) + c.path, c);
      assert.equal(answer.status, c.status, c.name);
      if (c.shape) conforms(answer.json, c.shape, c.name);
      if (c.detail) assert.equal(answer.json.detail, c.detail, c.name);
      if (c.allow) assert.equal(answer.headers.allow, c.allow, c.name);
      if (c.error) assert.equal(answer.json.error, c.error, c.name);
      if (c.status === 401) assert.equal(answer.headers['www-authenticate'], api.authChallengeHeader ? 'Basic' : undefined, c.name);
      if (c.loc) {
        conforms(answer.json.detail, ['array', c.entry ?? api.validationEntry], c.name);
        assert.deepEqual(answer.json.detail[0].loc, c.loc, c.name);
      }
    }
    const redirect = await call(`${url}/sdapi/v1/progress/?skip_current_image=true`);
    assert.deepEqual([redirect.status, redirect.headers.location], [307, `${url}/sdapi/v1/progress?skip_current_image=true`]);
  });

  test(`${flavour}: txt2img coerces and refuses as the fork's pydantic does`, async (t) => {
    const { url } = await start(t);
    const v1 = api.validationEntry === API.original.validationEntry;
    // [request fields, what pydantic 1 makes of them, what pydantic 2 makes of them]
    const cases = [
      [{ steps: '2' }, { steps: 2 }, { steps: 2 }],
      [{ send_images: 'true', save_images: 'no' }, { send_images: true, save_images: false }, { send_images: true, save_images: false }],
      [{ width: 16.9 }, { width: 16 }, 'Input should be a valid integer, got a number with a fractional part'],
      [{ prompt: 5 }, { prompt: '5' }, 'Input should be a valid string'],
      [{ steps: 'two' }, 'value is not a valid integer', 'Input should be a valid integer, unable to parse string as an integer'],
      [{ send_images: null }, 'none is not an allowed value', 'Input should be a valid boolean'],
      // no limits of the stand-in's own: size and steps are the client's business
      [{ width: 4104, steps: 300 }, { width: 4104, steps: 300 }, { width: 4104, steps: 300 }],
    ];
    for (const [fields, ifV1, ifV2] of cases) {
      const expected = v1 ? ifV1 : ifV2;
      const { status, json } = await txt2img(url, { ...SMALL, ...fields });
      const what = JSON.stringify(fields);
      if (typeof expected === 'string') {
        assert.deepEqual([status, json.detail[0].msg, json.detail[0].loc[1]], [422, expected, Object.keys(fields)[0]], what);
      } else {
        assert.equal(status, 200, what);
        for (const [key, value] of Object.entries(expected)) assert.equal(json.parameters[key], value, what);
      }
    }
    const unknownScript = await txt2img(url, { ...SMALL, script_name: 'x/y plot' });
    assert.deepEqual([unknownScript.status, unknownScript.json.detail, mismatches(unknownScript.json, api.routeError)], [422, "Script 'x/y plot' not found", []]);
  });

  test(`${flavour}: samplers resolve as the fork resolves them`, async (t) => {
    const { url } = await start(t);
    const fallback = api.unknownSampler === 'fallback';
    // [sampler_name, sampler that runs and its schedule type; null where the fork refuses]
    const cases = [
      [undefined, fallback ? ['Euler', undefined] : ['Default', undefined]],
      ['Euler a', ['Euler a', undefined]],
      ['Nope', fallback ? ['DPM++ 2M', 'Karras'] : null],
      ['DPM++ 2M Karras', fallback ? ['DPM++ 2M', 'Karras'] : null],
      ['Euler Exponential', fallback ? ['Euler', 'Exponential'] : null],
    ];
    for (const [name, expected] of cases) {
      const answer = await txt2img(url, { ...SMALL, sampler_name: name });
      if (expected) {
        const info = JSON.parse(answer.json.info);
        assert.deepEqual([info.sampler_name, info.extra_generation_params['Schedule type']], expected, name);
      } else assert.deepEqual([answer.status, answer.json.detail, mismatches(answer.json, api.routeError)], [404, 'Sampler not found', []], name);
    }
  });

  test(`${flavour}: images come in the samples_format option's format, gzipped on request`, async (t) => {
    const { url } = await start(t);
    for (const [format, signature] of [['jpg', 'ffd8ff'], ['webp', '52494646'], ['png', '89504e47']]) {
      await postJson(`${url}/sdapi/v1/options`, { samples_format: format });
      const image = Buffer.from((await txt2img(url, SMALL)).json.images[0], 'base64');
      assert.equal(image.subarray(0, signature.length / 2).toString('hex'), signature, format);
    }
    await postJson(`${url}/sdapi/v1/options`, { samples_format: 'tiff' });
    const refused = await txt2img(url, SMALL);
    assert.equal(refused.status, 500);
    if (flavour === 'sdnext') assert.equal(refused.json.error, 'KeyError');
    else conforms(refused.json, api.routeError, 'Invalid image format');

    await postJson(`${url}/sdapi/v1/options`, { samples_format: 'png' });
    const zipped = await txt2img(url, { ...SMALL, width: 64, height: 64 }, { headers: { 'accept-encoding': 'gzip' } });
    assert.equal(zipped.headers['content-encoding'], 'gzip');
    assert.equal(JSON.parse(gunzipSync(zipped.bytes)).images.length, 1);
  });
}
