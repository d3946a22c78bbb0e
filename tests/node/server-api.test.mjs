// The stand-in in each flavour, driven as a black box over HTTP and held
// against the table of what the real servers answer (api-shapes.mjs).
import assert from 'node:assert/strict';
import http from 'node:http';
import { test } from 'node:test';
import { gunzipSync } from 'node:zlib';
import sharp from 'sharp';
import { API, mismatches } from './api-shapes.mjs';
import { FLAVOURS, call, getJson, postJson, startServer } from './helpers.mjs';

const SMALL = { prompt: 'a cat', steps: 1, width: 16, height: 8 };
const conforms = (value, shape, what) => assert.deepEqual(mismatches(value, shape), [], what);
const txt2img = (url, json, options) => postJson(`${url}/sdapi/v1/txt2img`, json, options);
const imageOf = (answer) => Buffer.from(answer.json.images[0], 'base64');

for (const flavour of FLAVOURS) {
  const api = API[flavour];

  test(`${flavour}: every endpoint answers in the fork's shape`, async (t) => {
    const { url } = await startServer(t, ['--flavour', flavour, '--step-ms', '0']);
    const idle = await call(`${url}/sdapi/v1/progress`);
    conforms(idle.json, api.progress, 'progress');
    assert.match(idle.text, /"progress":0\.0,"eta_relative":0\.0/, 'Python floats');
    assert.equal('x-process-time' in idle.headers, api.processTimeHeader, 'timing header');

    const answer = await txt2img(url, { ...SMALL, seed: -1 });
    conforms(answer.json, api.txt2img, 'txt2img');
    const info = JSON.parse(answer.json.info);
    assert.deepEqual(Object.keys(info), api.infoKeys, 'info');
    const parameterKeys = Object.keys(answer.json.parameters);
    if (flavour === 'sdnext') assert.deepEqual(api.parameterKeys.filter((k) => !parameterKeys.includes(k)), [], 'parameters');
    else assert.deepEqual(parameterKeys, api.parameterKeys, 'parameters');
    assert.equal(answer.json.parameters.seed, -1, 'parameters echo the request');
    assert.ok(info.seed >= 0 && info.all_seeds[0] === info.seed, 'info names the seed used');
    assert.match(answer.json.info, /^\{"prompt": "a cat", "all_prompts": \["a cat"\]/, 'json.dumps layout');
    const { width, height, format } = await sharp(imageOf(answer)).metadata();
    assert.deepEqual([format, width, height], ['png', 16, 8]);

    for (const [path, expected] of [['interrupt', '{}'], ['skip', 'null'], ['unload-checkpoint', '{}'], ['reload-checkpoint', '{}']]) {
      const control = await call(`${url}/sdapi/v1/${path}`, { method: 'POST' });
      assert.deepEqual([control.status, control.text], [200, expected], path);
    }
    const options = await getJson(`${url}/sdapi/v1/options`);
    assert.equal(options.samples_format, 'png');
    const set = await postJson(`${url}/sdapi/v1/options`, { samples_format: 'png' });
    assert.equal(set.status, 200);
    if (api.optionsSetAnswer === 'null') assert.equal(set.text, 'null');
    else assert.deepEqual(set.json, { updated: [{ samples_format: false }] });

    const samplers = await getJson(`${url}/sdapi/v1/samplers`);
    conforms(samplers, ['array', api.sampler], 'samplers');
    const optionValues = samplers.flatMap((s) => Object.values(s.options));
    if (api.samplerOptionValues === 'string') assert.ok(optionValues.every((v) => typeof v === 'string'), 'Dict[str, str]');
    const schedulers = await call(`${url}/sdapi/v1/schedulers`);
    if (api.scheduler) conforms(schedulers.json, ['array', api.scheduler], 'schedulers');
    else assert.equal(schedulers.status, 404, 'no schedulers endpoint');
    conforms(await getJson(`${url}/sdapi/v1/sd-models`), ['array', api.model], 'sd-models');
    conforms(await getJson(`${url}/sdapi/v1/memory`), api.memory, 'memory');
  });

  test(`${flavour}: FastAPI's 404, 405, redirect, 422, 400 and 500`, async (t) => {
    const { url } = await startServer(t, ['--flavour', flavour, '--step-ms', '0']);
    const cases = [
      { name: 'unknown path', path: '/sdapi/v1/nothing', status: 404, shape: { detail: 'string' }, detail: 'Not Found' },
      { name: 'wrong method', path: '/sdapi/v1/txt2img', status: 405, detail: 'Method Not Allowed', allow: 'POST' },
      { name: 'first route sets Allow', path: '/sdapi/v1/options', method: 'DELETE', status: 405, allow: 'GET' },
      { name: 'no body', path: '/sdapi/v1/txt2img', method: 'POST', status: 422, loc: ['body'] },
      { name: 'text body', path: '/sdapi/v1/txt2img', method: 'POST', body: 'a cat', headers: { 'content-type': 'text/plain' }, status: 422, loc: ['body'] },
      { name: 'broken JSON', path: '/sdapi/v1/txt2img', method: 'POST', body: '{"steps": 3,}', status: 422, loc: ['body', 12], json: true },
      { name: 'query type', path: '/sdapi/v1/progress?skip_current_image=maybe', status: 422, loc: ['query', 'skip_current_image'] },
      { name: 'not UTF-8', path: '/sdapi/v1/txt2img', method: 'POST', body: Buffer.from([0x7b, 0xff, 0x7d]), status: 400, shape: api.routeError, detail: 'There was an error parsing the body' },
      { name: 'failing job', path: '/sdapi/v1/txt2img', method: 'POST', body: '{"steps": 0}', status: 500, shape: api.serverError, error: 'ZeroDivisionError' },
    ];
    for (const c of cases) {
      const answer = await call(url + c.path, { method: c.method, body: c.body, headers: c.headers });
      assert.equal(answer.status, c.status, c.name);
      if (c.shape) conforms(answer.json, c.shape, c.name);
      if (c.detail) assert.equal(answer.json.detail, c.detail, c.name);
      if (c.allow) assert.equal(answer.headers.allow, c.allow, c.name);
      if (c.error) assert.equal(answer.json.error, c.error, c.name);
      if (c.loc) {
        conforms(answer.json.detail, ['array', c.json ? api.jsonDecodeEntry : api.validationEntry], c.name);
        assert.deepEqual(answer.json.detail[0].loc, c.loc, c.name);
      }
    }
    const redirect = await call(`${url}/sdapi/v1/progress/?skip_current_image=true`);
    assert.deepEqual([redirect.status, redirect.headers.location], [307, `${url}/sdapi/v1/progress?skip_current_image=true`]);
  });

  test(`${flavour}: txt2img coerces and refuses as the fork's pydantic does`, async (t) => {
    const { url } = await startServer(t, ['--flavour', flavour, '--step-ms', '0']);
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
      const answer = await txt2img(url, { ...SMALL, ...fields });
      const what = JSON.stringify(fields);
      if (typeof expected === 'string') {
        assert.equal(answer.status, 422, what);
        assert.equal(answer.json.detail[0].msg, expected, what);
        assert.equal(answer.json.detail[0].loc[1], Object.keys(fields)[0], what);
      } else {
        assert.equal(answer.status, 200, what);
        for (const [key, value] of Object.entries(expected)) assert.equal(answer.json.parameters[key], value, what);
      }
    }
    const floats = await txt2img(url, { ...SMALL, cfg_scale: 7 });
    assert.match(floats.text, /"cfg_scale":7\.0/, 'a float field answers a Python float');
  });

  test(`${flavour}: samplers resolve as the fork resolves them`, async (t) => {
    const { url } = await startServer(t, ['--flavour', flavour, '--step-ms', '0']);
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
      if (expected === null) {
        assert.equal(answer.status, 404, name);
        conforms(answer.json, api.routeError, name);
        assert.equal(answer.json.detail, 'Sampler not found', name);
        continue;
      }
      const info = JSON.parse(answer.json.info);
      assert.deepEqual([info.sampler_name, info.extra_generation_params['Schedule type']], expected, name);
    }
  });

  test(`${flavour}: credentials are checked as the fork checks them`, async (t) => {
    const { url } = await startServer(t, ['--flavour', flavour, '--step-ms', '0', '--api-auth', 'ann:secret,bob:pw2']);
    const models = `${url}/sdapi/v1/sd-models`;
    const cases = [
      { name: 'none', status: 401, detail: 'Not authenticated' },
      { name: 'wrong', auth: 'ann:nope', status: 401, detail: api.wrongCredentials },
      { name: 'garbled', headers: { authorization: 'Basic !!!' }, status: 401, detail: 'Invalid authentication credentials' },
      { name: 'second user', auth: 'bob:pw2', status: 200 },
      { name: 'unknown path', path: `${url}/sdapi/v1/nothing`, status: 404 },
      { name: 'progress', path: `${url}/sdapi/v1/progress`, status: api.progressNeedsAuth ? 401 : 200 },
      // FastAPI reads the body before it asks for credentials.
      { name: 'broken body', path: `${url}/sdapi/v1/txt2img`, method: 'POST', body: '{', status: 422 },
    ];
    for (const c of cases) {
      const answer = await call(c.path ?? models, { auth: c.auth, headers: c.headers, method: c.method, body: c.body });
      assert.equal(answer.status, c.status, c.name);
      if (c.detail) {
        conforms(answer.json, api.routeError, c.name);
        assert.equal(answer.json.detail, c.detail, c.name);
        assert.equal(answer.headers['www-authenticate'], api.authChallengeHeader ? 'Basic' : undefined, c.name);
      }
    }
  });

  test(`${flavour}: job state outlives the job, as the fork's State does`, async (t) => {
    const { url } = await startServer(t, ['--flavour', flavour, '--step-ms', '0']);
    assert.equal((await txt2img(url, { ...SMALL, steps: 3, n_iter: 2 })).status, 200);
    const after = (await getJson(`${url}/sdapi/v1/progress`)).state;
    assert.deepEqual([after.job, after.job_count], ['', 0]);
    assert.notEqual(after.job_timestamp, '0');
    // A1111's State.end() leaves the counters; SD.Next's resets job_no but keeps the steps.
    assert.deepEqual([after.job_no, after.sampling_steps], flavour === 'sdnext' ? [0, 6] : [2, 3]);

    await call(`${url}/sdapi/v1/interrupt`, { method: 'POST' });
    assert.equal((await getJson(`${url}/sdapi/v1/progress`)).state.interrupted, true, 'an idle interrupt shows');
    const next = await txt2img(url, SMALL);
    assert.deepEqual([next.status, next.json.images.length], [200, 1], 'and does not stop the next job');
    assert.equal((await getJson(`${url}/sdapi/v1/progress`)).state.interrupted, false);
  });

  test(`${flavour}: images come in the samples_format option's format, gzipped on request`, async (t) => {
    const { url } = await startServer(t, ['--flavour', flavour, '--step-ms', '0']);
    const signatures = { jpg: 'ffd8ff', webp: '52494646', png: '89504e47' };
    for (const [format, signature] of Object.entries(signatures)) {
      await postJson(`${url}/sdapi/v1/options`, { samples_format: format });
      const answer = await txt2img(url, SMALL);
      assert.equal(imageOf(answer).subarray(0, 4).toString('hex').slice(0, signature.length), signature, format);
    }
    await postJson(`${url}/sdapi/v1/options`, { samples_format: 'tiff' });
    const refused = await txt2img(url, SMALL);
    assert.equal(refused.status, 500);
    if (flavour === 'sdnext') assert.equal(refused.json.error, 'KeyError');
    else conforms(refused.json, api.routeError, 'Invalid image format');

    await postJson(`${url}/sdapi/v1/options`, { samples_format: 'png' });
    const zipped = await new Promise((resolve) => {
      const request = http.request(`${url}/sdapi/v1/txt2img`, {
        method: 'POST',
        headers: { 'content-type': 'application/json', 'accept-encoding': 'gzip' },
      });
      request.on('response', (response) => {
        const chunks = [];
        response.on('data', (chunk) => chunks.push(chunk));
        response.on('end', () => resolve({ headers: response.headers, body: Buffer.concat(chunks) }));
      });
      request.end(JSON.stringify({ ...SMALL, width: 64, height: 64 }));
    });
    assert.equal(zipped.headers['content-encoding'], 'gzip');
    assert.ok(JSON.parse(gunzipSync(zipped.body)).images.length === 1);
  });
}
