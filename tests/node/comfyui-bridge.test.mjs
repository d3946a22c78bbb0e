// The local server in front of a ComfyUI (comfyui-stand-in.mjs): every
// /sdapi/v1 endpoint, the graphs it queues, workflows filled in, ComfyUI's
// own words for what goes wrong, and stopping only its own job.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { once } from 'node:events';
import { mkdtemp, rm, writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { createInterface } from 'node:readline';
import { test } from 'node:test';
import { setTimeout as delay } from 'node:timers/promises';
import { startComfyStandIn } from './comfyui-stand-in.mjs';
import { ROOT, call, getJson, postJson, runNode, startServer, toml } from './helpers.mjs';

const txt2img = (url, json) => postJson(`${url}/sdapi/v1/txt2img`, json);
const bridge = (t, comfy, ...args) => startServer(t, ['--comfyui', comfy.url, ...args]);
const queuedGraph = (comfy, i = -1) => comfy.seen.prompts.at(i).prompt;
const nodeOf = (graph, classType) => Object.values(graph).find((node) => node.class_type === classType).inputs;

async function tempFile(t, name, content) {
  const dir = await mkdtemp(path.join(tmpdir(), 'kanvo-comfy-test-'));
  t.after(() => rm(dir, { recursive: true, force: true }));
  await writeFile(path.join(dir, name), content);
  return path.join(dir, name);
}

test('txt2img queues a full graph under its websocket client, reports rising progress, and unload frees ComfyUI', async (t) => {
  const comfy = await startComfyStandIn(t, { stepMs: 40, auth: 'ann:p@ss' });
  const { url } = await bridge(t, { url: comfy.url.replace('//', '//ann:p%40ss@') });
  assert.deepEqual((await getJson(`${url}/sdapi/v1/sd-models`)).map((m) => m.title), ['sd15/v1-5-pruned.safetensors', 'sdxl_base.safetensors']);
  assert.equal((await getJson(`${url}/sdapi/v1/options`)).sd_model_checkpoint, 'sd15/v1-5-pruned.safetensors');
  const samplers = (await getJson(`${url}/sdapi/v1/samplers`)).map((s) => s.name);
  assert.ok(samplers.includes('Euler a') && !samplers.includes('PLMS'), `only what ComfyUI runs: ${samplers}`);

  let settled = false;
  const pending = txt2img(url, { prompt: 'a cat', negative_prompt: 'dogs', seed: -1, steps: 8, cfg_scale: 6.5, width: 510, height: 300, batch_size: 2, sampler_name: 'DPM++ 2M Karras' })
    .finally(() => (settled = true));
  const fractions = [];
  while (!settled) {
    const { progress, state } = await getJson(`${url}/sdapi/v1/progress`);
    if (state.job_count !== 0) fractions.push(progress);
    await delay(30);
  }
  const answer = await pending;
  assert.equal(answer.status, 200, answer.text);
  assert.deepEqual(fractions, [...fractions].sort((a, b) => a - b), 'progress never goes back');
  assert.ok(fractions.some((f) => f > 0.3 && f < 1), `progress rises with the steps: ${fractions}`);
  assert.equal((await getJson(`${url}/sdapi/v1/progress`)).progress, 0, 'idle after');

  const info = JSON.parse(answer.json.info);
  const graph = queuedGraph(comfy);
  assert.equal(typeof comfy.seen.prompts[0].client_id, 'string');
  assert.deepEqual(nodeOf(graph, 'KSampler'), { ...nodeOf(graph, 'KSampler'), seed: info.seed, steps: 8, cfg: 6.5, sampler_name: 'dpmpp_2m', scheduler: 'karras' });
  assert.deepEqual(Object.values(graph).filter((n) => n.class_type === 'CLIPTextEncode').map((n) => n.inputs.text), ['a cat', 'dogs']);
  assert.deepEqual(nodeOf(graph, 'EmptyLatentImage'), { width: 504, height: 296, batch_size: 2 });
  assert.equal(nodeOf(graph, 'CheckpointLoaderSimple').ckpt_name, 'sd15/v1-5-pruned.safetensors');
  assert.ok(info.seed >= 0 && info.seed <= Number.MAX_SAFE_INTEGER);
  assert.deepEqual([info.width, info.height, info.sampler_name, answer.json.images.length], [504, 296, 'DPM++ 2M', 2], 'the size drawn is the size reported');
  assert.equal(Buffer.from(answer.json.images[0], 'base64').readUInt32BE(16), 504);

  await postJson(`${url}/sdapi/v1/options`, { sd_model_checkpoint: 'sdxl_base.safetensors' });
  assert.equal((await txt2img(url, { steps: 1, width: 64, height: 64 })).status, 200);
  assert.equal(nodeOf(queuedGraph(comfy), 'CheckpointLoaderSimple').ckpt_name, 'sdxl_base.safetensors', 'the checkpoint set through options');
  await txt2img(url, { steps: 1, width: 64, height: 64, override_settings: { sd_model_checkpoint: 'sd15/v1-5-pruned.safetensors' } });
  assert.equal(nodeOf(queuedGraph(comfy), 'CheckpointLoaderSimple').ckpt_name, 'sd15/v1-5-pruned.safetensors', 'override_settings wins');

  assert.deepEqual((await call(`${url}/sdapi/v1/unload-checkpoint`, { method: 'POST' })).json, {});
  assert.deepEqual(comfy.seen.frees, [{ unload_models: true, free_memory: true }]);
});

test('sampler names map to ComfyUI\'s; an unknown one answers as the flavour does', async (t) => {
  const comfy = await startComfyStandIn(t);
  const forge = (await bridge(t, comfy)).url;
  const sdnext = (await bridge(t, comfy, '--flavour', 'sdnext')).url;
  const cases = [['Euler a', 'euler_ancestral', 'normal'], ['Euler', 'euler', 'normal'], ['DPM++ SDE', 'dpmpp_sde', 'karras'], ['Euler Exponential', 'euler', 'exponential'], ['Nope', 'dpmpp_2m', 'karras']];
  for (const [name, sampler, scheduler] of cases) {
    assert.equal((await txt2img(forge, { steps: 1, width: 64, height: 64, sampler_name: name })).status, 200, name);
    const { sampler_name, scheduler: used } = nodeOf(queuedGraph(comfy), 'KSampler');
    assert.deepEqual([sampler_name, used], [sampler, scheduler], name);
  }
  const refused = await txt2img(sdnext, { steps: 1, sampler_name: 'Nope' });
  assert.deepEqual([refused.status, refused.json.detail], [404, 'Sampler not found']);
});

const link = (id, slot = 0) => [id, slot];
const WORKFLOWS = {
  basic: {
    4: { class_type: 'CheckpointLoaderSimple', inputs: { ckpt_name: 'sd15/v1-5-pruned.safetensors' } },
    6: { class_type: 'CLIPTextEncode', inputs: { text: 'old', clip: link('4', 1) } },
    7: { class_type: 'CLIPTextEncode', inputs: { text: 'old negative', clip: link('4', 1) } },
    5: { class_type: 'EmptyLatentImage', inputs: { width: 512, height: 512, batch_size: 1 } },
    3: { class_type: 'KSampler', inputs: { seed: 1, steps: 20, cfg: 8, sampler_name: 'euler', scheduler: 'normal', denoise: 1, model: link('4'), positive: link('6'), negative: link('7'), latent_image: link('5') } },
    8: { class_type: 'VAEDecode', inputs: { samples: link('3'), vae: link('4', 2) } },
    9: { class_type: 'SaveImage', inputs: { filename_prefix: 'ComfyUI', images: link('8') } },
  },
  // A LoRA between loader and sampler, SDXL's two-text encoders, KSamplerAdvanced.
  sdxl: {
    4: { class_type: 'CheckpointLoaderSimple', inputs: { ckpt_name: 'sdxl_base.safetensors' } },
    10: { class_type: 'LoraLoader', inputs: { lora_name: 'mine.safetensors', strength_model: 0.8, strength_clip: 0.8, model: link('4'), clip: link('4', 1) } },
    6: { class_type: 'CLIPTextEncodeSDXL', inputs: { text_g: 'old', text_l: 'old', width: 4096, height: 4096, crop_w: 0, crop_h: 0, target_width: 4096, target_height: 4096, clip: link('10', 1) } },
    7: { class_type: 'CLIPTextEncodeSDXL', inputs: { text_g: 'old negative', text_l: 'old negative', width: 4096, height: 4096, crop_w: 0, crop_h: 0, target_width: 4096, target_height: 4096, clip: link('10', 1) } },
    5: { class_type: 'EmptyLatentImage', inputs: { width: 1024, height: 1024, batch_size: 1 } },
    3: { class_type: 'KSamplerAdvanced', inputs: { add_noise: 'enable', noise_seed: 1, steps: 25, cfg: 8, sampler_name: 'dpmpp_2m_sde', scheduler: 'karras', start_at_step: 0, end_at_step: 10000, return_with_leftover_noise: 'disable', model: link('10'), positive: link('6'), negative: link('7'), latent_image: link('5') } },
    8: { class_type: 'VAEDecode', inputs: { samples: link('3'), vae: link('4', 2) } },
    9: { class_type: 'SaveImage', inputs: { filename_prefix: 'sdxl', images: link('8') } },
  },
  // Flux: guidance on the positive conditioning, the negative zeroed out from the same encoder.
  flux: {
    1: { class_type: 'UNETLoader', inputs: { unet_name: 'flux1-dev.safetensors', weight_dtype: 'default' } },
    2: { class_type: 'DualCLIPLoader', inputs: { clip_name1: 't5xxl_fp16.safetensors', clip_name2: 'clip_l.safetensors', type: 'flux' } },
    3: { class_type: 'VAELoader', inputs: { vae_name: 'ae.safetensors' } },
    6: { class_type: 'CLIPTextEncode', inputs: { text: 'old', clip: link('2') } },
    11: { class_type: 'FluxGuidance', inputs: { guidance: 3.5, conditioning: link('6') } },
    12: { class_type: 'ConditioningZeroOut', inputs: { conditioning: link('6') } },
    5: { class_type: 'EmptySD3LatentImage', inputs: { width: 1024, height: 1024, batch_size: 1 } },
    13: { class_type: 'KSampler', inputs: { seed: 1, steps: 20, cfg: 1, sampler_name: 'euler', scheduler: 'simple', denoise: 1, model: link('1'), positive: link('11'), negative: link('12'), latent_image: link('5') } },
    8: { class_type: 'VAEDecode', inputs: { samples: link('13'), vae: link('3') } },
    9: { class_type: 'SaveImage', inputs: { filename_prefix: 'flux', images: link('8') } },
  },
};

test('an exported workflow is filled in where it has the values, and keeps the rest', async (t) => {
  const comfy = await startComfyStandIn(t);
  const request = { prompt: 'a lighthouse', negative_prompt: 'fog', seed: 77, steps: 3, cfg_scale: 5, width: 256, height: 192 };
  const expected = {
    basic: { texts: { 6: ['a lighthouse'], 7: ['fog'] }, sampler: ['Euler', 'Normal'] },
    sdxl: { texts: { 6: ['a lighthouse', 'a lighthouse'], 7: ['fog', 'fog'] }, sampler: ['DPM++ 2M SDE', 'Karras'] },
    flux: { texts: { 6: ['a lighthouse'] }, sampler: ['Euler', 'Simple'] },
  };
  for (const [name, workflow] of Object.entries(WORKFLOWS)) {
    const { url } = await bridge(t, comfy, '--workflow', await tempFile(t, `${name}.json`, JSON.stringify(workflow)));
    const answer = await txt2img(url, request);
    assert.equal(answer.status, 200, `${name}: ${answer.text}`);
    const graph = queuedGraph(comfy);
    for (const [id, texts] of Object.entries(expected[name].texts)) {
      assert.deepEqual(Object.entries(graph[id].inputs).filter(([k, v]) => /^text/.test(k) && v).map(([, v]) => v), texts, `${name} node ${id}`);
    }
    const sampler = Object.values(graph).find((n) => /^KSampler/.test(n.class_type)).inputs;
    assert.deepEqual([sampler.seed ?? sampler.noise_seed, sampler.steps, sampler.cfg], [77, 3, 5], name);
    const latent = graph[sampler.latent_image[0]].inputs;
    assert.deepEqual([latent.width, latent.height, latent.batch_size], [256, 192, 1], name);
    const info = JSON.parse(answer.json.info);
    assert.deepEqual([info.sampler_name, info.extra_generation_params['Schedule type']], expected[name].sampler, `${name}: the workflow's sampler is named`);
  }
  assert.equal(queuedGraph(comfy, 1)[10].inputs.lora_name, 'mine.safetensors', 'the LoRA stays');
  assert.equal(queuedGraph(comfy)[11].inputs.guidance, 3.5, 'Flux guidance stays');

  const refusals = [[{ 1: { class_type: 'SaveImage', inputs: {} } }, /has no KSampler or KSamplerAdvanced node/], [{ nodes: [], links: [] }, /not in API format; export it .*"Export \(API\)"/]];
  for (const [graph, message] of refusals) {
    const file = await tempFile(t, 'w.json', JSON.stringify(graph));
    const { code, stderr } = await runNode([path.join(ROOT, 'server/kanvo-sd-server.mjs'), '--port', '0', '--comfyui', comfy.url, '--workflow', file]);
    assert.equal(code, 2);
    assert.match(stderr, message);
  }
});

/** Runs the generate script against the server at `url`: { code, stderr }. */
async function generate(t, url, settings = {}) {
  const config = await tempFile(t, 'defaults.toml', toml({ sd_url: url, steps: 3, width: 64, height: 64, ...settings }));
  return runNode([path.join(ROOT, 'scripts/kanvo-txt2img.mjs'), '--config', config, path.join(path.dirname(config), 'out.png'), '--prompt', 'a cat']);
}

test('ComfyUI\'s own words reach the script\'s line: a refused graph, an execution error, no checkpoint, and ComfyUI down at once', async (t) => {
  const comfy = await startComfyStandIn(t);
  const { url } = await bridge(t, comfy);
  assert.match((await generate(t, url, { cfg_scale: 150 })).stderr, /HTTP 500: PromptValidationError: ComfyUI refused the graph: KSampler 5: cfg: Value 150\.0 bigger than max of 100\.0\n$/);

  const failing = await bridge(t, await startComfyStandIn(t, { errorAtStep: 2 }));
  assert.match((await generate(t, failing.url)).stderr, /HTTP 500: torch\.OutOfMemoryError: CUDA out of memory\. Tried to allocate 20\.00 MiB\n$/);

  const empty = await bridge(t, await startComfyStandIn(t, { checkpoints: [] }));
  assert.match((await txt2img(empty.url, { steps: 1 })).json.message, /has no checkpoint in its models\/checkpoints folder/);

  await comfy.stop();
  const started = Date.now();
  const down = await generate(t, url);
  assert.match(down.stderr, /ConnectionError: ComfyUI at http:\/\/127\.0\.0\.1:\d+ is not reachable \(ECONNREFUSED\); is it running\?/);
  assert.ok(Date.now() - started < 5000, 'no hang');
});

test('a slow start: refused clearly until ComfyUI listens, then served', async (t) => {
  const comfy = await startComfyStandIn(t, { slowStartMs: 1500 });
  const { url } = await bridge(t, comfy);
  assert.match((await txt2img(url, { steps: 1, width: 64, height: 64 })).json.message, /is not reachable/);
  await comfy.listening;
  assert.equal((await txt2img(url, { steps: 1, width: 64, height: 64 })).json.images.length, 1);
});

test('interrupt stops only our own prompt, queued or running; another client\'s job runs on', async (t) => {
  const comfy = await startComfyStandIn(t, { stepMs: 20 });
  const { url } = await bridge(t, comfy);
  const theirGraph = { ...WORKFLOWS.basic, 3: { ...WORKFLOWS.basic[3], inputs: { ...WORKFLOWS.basic[3].inputs, steps: 40 } } };
  const theirs = (await postJson(`${comfy.url}/prompt`, { prompt: theirGraph, client_id: 'someone-else' })).json.prompt_id;

  const ours = txt2img(url, { steps: 5, width: 64, height: 64 });
  while (comfy.queued().length === 0) await delay(10);
  await call(`${url}/sdapi/v1/interrupt`, { method: 'POST' });
  assert.deepEqual((await ours).json.images, [], 'an interrupted job has no image');
  assert.deepEqual([comfy.seen.deleted, comfy.running()], [[comfy.seen.prompts[1].id], theirs], 'ours left the queue; theirs runs');
  await call(`${url}/sdapi/v1/interrupt`, { method: 'POST' });
  assert.deepEqual(comfy.seen.interrupts, [comfy.seen.prompts[1].id], 'idle, we interrupt nothing');
  while (!comfy.history[theirs]) await delay(20);
  assert.equal(comfy.history[theirs].status.status_str, 'success');

  const running = txt2img(url, { steps: 200, width: 64, height: 64 });
  while (comfy.running() === null) await delay(10);
  await call(`${url}/sdapi/v1/interrupt`, { method: 'POST' });
  assert.deepEqual((await running).json.images, []);
  assert.equal(comfy.seen.interrupts.at(-1), comfy.seen.prompts.at(-1).id, 'by prompt_id');
});

test('a websocket cut mid-job falls back to /history; a cached repeat ends without progress', async (t) => {
  const comfy = await startComfyStandIn(t, { cutSocketAtStep: 2, stepMs: 20 });
  const { url } = await bridge(t, comfy);
  const request = { seed: 5, steps: 6, width: 64, height: 64 };
  assert.equal((await txt2img(url, request)).json.images.length, 1);
  assert.equal((await txt2img(url, request)).json.images.length, 1, 'every node cached');
});

test('the launcher starts the server on sd_url\'s port in front of comfyui_url, with the workflow beside the configuration', async (t) => {
  const comfy = await startComfyStandIn(t);
  const workflow = await tempFile(t, 'flux.json', JSON.stringify(WORKFLOWS.flux));
  const config = path.join(path.dirname(workflow), 'defaults.toml');
  await writeFile(config, `sd_url = "http://127.0.0.1:0"\ncomfyui_url = "${comfy.url}"\ncomfyui_workflow = "flux.json"\n`);
  const child = spawn(path.join(ROOT, 'scripts/kanvo-sd-server'), [], { env: { ...process.env, KANVO_CONFIG: config }, stdio: ['ignore', 'pipe', 'ignore'] });
  t.after(() => child.kill());
  const [line] = await once(createInterface({ input: child.stdout }), 'line');
  assert.equal((await txt2img(line.split(' ').at(-1), { steps: 1, width: 64, height: 64 })).status, 200);
  assert.equal(queuedGraph(comfy)[1].class_type, 'UNETLoader');
});
