// A ComfyUI for the tests, in this process on 127.0.0.1, answering as
// ComfyUI's server.py, execution.py, main.py and nodes.py do (an
// EmptyLatentImage's latent is an eighth of the size, so images come out
// cropped to multiples of 8). Fault modes: no checkpoints, an execution error
// at step N, the websocket cut at step N, a slow start, and down (stop()).
import { once } from 'node:events';
import http from 'node:http';
import { randomUUID } from 'node:crypto';
import { setTimeout as delay } from 'node:timers/promises';
import { WebSocketServer } from 'ws';
import { encodePng } from '../../server/png.mjs';

// nodes.py INPUT_TYPES: [min, max, is a FLOAT] of the inputs the stand-in checks.
const SAMPLING = { steps: [1, 10000], cfg: [0, 100, true] };
const LIMITS = {
  KSampler: { ...SAMPLING, seed: [0, 2 ** 64 - 1] },
  KSamplerAdvanced: { ...SAMPLING, noise_seed: [0, 2 ** 64 - 1] },
  EmptyLatentImage: { width: [16, 16384], height: [16, 16384], batch_size: [1, 4096] },
  EmptySD3LatentImage: { width: [16, 16384], height: [16, 16384], batch_size: [1, 4096] },
};
const NODES = new Set([...Object.keys(LIMITS), 'CheckpointLoaderSimple', 'CLIPTextEncode', 'CLIPTextEncodeSDXL', 'LoraLoader',
  'UNETLoader', 'DualCLIPLoader', 'VAELoader', 'FluxGuidance', 'ConditioningZeroOut', 'VAEDecode', 'SaveImage']);
const SAMPLERS = new Set(['KSampler', 'KSamplerAdvanced']);
// Python's str() of a number: a FLOAT input keeps its ".0".
const pyNumber = (value, float) => (float && Number.isInteger(value) ? value.toFixed(1) : String(value));

function validate(prompt, checkpoints) {
  const fail = (error, nodeErrors = {}) => ({ status: 400, json: { error: { ...error, extra_info: {} }, node_errors: nodeErrors } });
  for (const [id, node] of Object.entries(prompt ?? {})) {
    if (!NODES.has(node.class_type)) return fail({ type: 'missing_node_type', message: `Node '${node.class_type}' not found. The custom node may not be installed.`, details: `Node ID '#${id}'` });
  }
  const outputs = Object.keys(prompt).filter((id) => prompt[id].class_type === 'SaveImage');
  if (outputs.length === 0) return fail({ type: 'prompt_no_outputs', message: 'Prompt has no outputs', details: '' });
  const nodeErrors = {};
  for (const [id, { class_type, inputs }] of Object.entries(prompt)) {
    const errors = [];
    for (const [name, [min, max, float]] of Object.entries(LIMITS[class_type] ?? {})) {
      const value = inputs[name];
      if (value < min) errors.push({ type: 'value_smaller_than_min', message: `Value ${pyNumber(value, float)} smaller than min of ${pyNumber(min, float)}`, details: name });
      if (value > max) errors.push({ type: 'value_bigger_than_max', message: `Value ${pyNumber(value, float)} bigger than max of ${pyNumber(max, float)}`, details: name });
    }
    if ('ckpt_name' in inputs && !checkpoints.includes(inputs.ckpt_name)) {
      errors.push({ type: 'value_not_in_list', message: 'Value not in list', details: `ckpt_name: '${inputs.ckpt_name}' not in [${checkpoints.map((c) => `'${c}'`).join(', ')}]` });
    }
    if (errors.length > 0) nodeErrors[id] = { errors, dependent_outputs: outputs, class_type };
  }
  if (Object.keys(nodeErrors).length === 0) return null;
  const details = Object.values(nodeErrors).flatMap((n) => n.errors.map((e) => `${e.message}: ${e.details}`)).join('\n');
  return fail({ type: 'prompt_outputs_failed_validation', message: 'Prompt outputs failed validation', details }, nodeErrors);
}

/** Starts it; the test's teardown stops it. Options: checkpoints, stepMs, errorAtStep, cutSocketAtStep, slowStartMs, auth ("user:pass"). */
export async function startComfyStandIn(t, { checkpoints = ['sd15/v1-5-pruned.safetensors', 'sdxl_base.safetensors'], stepMs = 5, errorAtStep = null, cutSocketAtStep = null, slowStartMs = 0, auth = null } = {}) {
  const seen = { prompts: [], interrupts: [], deleted: [], frees: [] };
  const history = {};
  const files = new Map();
  const executed = new Map();
  const sockets = new Map();
  let queue = [];
  let running = null;
  let working = false;

  const send = (clientId, type, data) => sockets.get(clientId)?.send(JSON.stringify({ type, data }));

  async function execute(item) {
    const { id: prompt_id, prompt, clientId } = item;
    const messages = [];
    // execution.py add_message: kept for the history, sent to the queuing client only
    const message = (type, data) => (messages.push([type, data]), send(clientId, type, data));
    message('execution_start', { prompt_id });
    const key = JSON.stringify(prompt);
    let outputs = executed.get(key);
    const finish = (status_str) => {
      history[prompt_id] = { prompt: [0, prompt_id, prompt, {}, []], outputs: outputs ?? {}, status: { status_str, completed: status_str === 'success', messages } };
      send(clientId, 'executing', { node: null, prompt_id });
    };
    message('execution_cached', { nodes: outputs ? Object.keys(prompt) : [], prompt_id });
    if (outputs) return (message('execution_success', { prompt_id }), finish('success'));
    outputs = {};
    for (const [node, { class_type, inputs }] of Object.entries(prompt)) {
      send(clientId, 'executing', { node, display_node: node, prompt_id });
      for (let step = 1; SAMPLERS.has(class_type) && step <= inputs.steps; step++) {
        await delay(stepMs);
        const base = { prompt_id, node_id: node, node_type: class_type, executed: [] };
        if (item.interrupted) return (message('execution_interrupted', base), finish('error'));
        if (step === errorAtStep) {
          message('execution_error', { ...base, exception_message: 'CUDA out of memory. Tried to allocate 20.00 MiB', exception_type: 'torch.OutOfMemoryError', traceback: [], current_inputs: {}, current_outputs: [] });
          return finish('error');
        }
        send(clientId, 'progress', { value: step, max: inputs.steps, prompt_id, node });
        if (step === cutSocketAtStep) for (const socket of sockets.values()) socket.terminate();
      }
      if (class_type === 'SaveImage') {
        const sampler = Object.values(prompt).find((n) => SAMPLERS.has(n.class_type));
        const latent = prompt[sampler.inputs.latent_image[0]].inputs;
        const [width, height] = [latent.width & ~7, latent.height & ~7];
        const images = Array.from({ length: latent.batch_size }, (_, i) => {
          const filename = `kanvo_${String(files.size + 1).padStart(5, '0')}_.png`;
          files.set(filename, encodePng(width, height, Buffer.alloc(width * height * 3, 40 * i)));
          return { filename, subfolder: '', type: 'output' };
        });
        outputs[node] = { images };
        send(clientId, 'executed', { node, display_node: node, output: { images }, prompt_id });
      }
    }
    executed.set(key, outputs);
    message('execution_success', { prompt_id });
    finish('success');
  }

  async function work() {
    if (working) return;
    working = true;
    while (queue.length > 0) {
      running = queue.shift();
      await execute(running);
      running = null;
    }
    working = false;
  }

  const routes = {
    'GET /models/checkpoints': () => ({ json: checkpoints }),
    'POST /prompt': (body) => {
      const refused = validate(body.prompt, checkpoints);
      if (refused) return refused;
      const id = randomUUID();
      seen.prompts.push({ id, ...body });
      queue.push({ id, prompt: body.prompt, clientId: body.client_id });
      work();
      return { json: { prompt_id: id, number: seen.prompts.length, node_errors: {} } };
    },
    'POST /queue': (body) => {
      seen.deleted.push(...(body.delete ?? []));
      queue = queue.filter((item) => !body.delete?.includes(item.id));
      return {};
    },
    'POST /interrupt': (body) => {
      seen.interrupts.push(body.prompt_id ?? null);
      if (running && (!body.prompt_id || body.prompt_id === running.id)) running.interrupted = true;
      return {};
    },
    'POST /free': (body) => (seen.frees.push(body), {}),
  };

  const server = http.createServer(async (req, res) => {
    const url = new URL(req.url, 'http://127.0.0.1');
    const text = Buffer.concat(await req.toArray()).toString();
    const reply = (status, body, type = 'application/json') => (res.writeHead(status, { 'content-type': type }), res.end(body));
    if (auth && req.headers.authorization !== `Basic ${Buffer.from(auth).toString('base64')}`) return reply(401, '401: Unauthorized', 'text/plain');
    const route = routes[`${req.method} ${url.pathname}`];
    if (route) {
      let body = {};
      try {
        if (req.method === 'POST') body = JSON.parse(text);
      } catch {
        return reply(500, '500 Internal Server Error', 'text/plain'); // aiohttp's request.json() raises
      }
      const { status = 200, json } = route(body);
      return reply(status, json === undefined ? '' : JSON.stringify(json));
    }
    if (req.method === 'GET' && url.pathname.startsWith('/history/')) {
      const id = url.pathname.slice('/history/'.length);
      return reply(200, JSON.stringify(history[id] ? { [id]: history[id] } : {}));
    }
    const file = files.get(url.searchParams.get('filename'));
    if (req.method === 'GET' && url.pathname === '/view' && file) return reply(200, file, 'image/png');
    reply(404, '404: Not Found', 'text/plain');
  });
  const wss = new WebSocketServer({ noServer: true });
  server.on('upgrade', (req, socket, head) => {
    const url = new URL(req.url, 'http://127.0.0.1');
    if (url.pathname !== '/ws' || (auth && req.headers.authorization !== `Basic ${Buffer.from(auth).toString('base64')}`)) return socket.destroy();
    wss.handleUpgrade(req, socket, head, (ws) => {
      const sid = url.searchParams.get('clientId') ?? randomUUID();
      sockets.set(sid, ws);
      ws.on('close', () => sockets.get(sid) === ws && sockets.delete(sid));
      ws.send(JSON.stringify({ type: 'status', data: { status: { exec_info: { queue_remaining: queue.length } }, sid } }));
    });
  });

  // A slow start: the port is known at once, but nothing listens on it for a while.
  server.listen(0, '127.0.0.1');
  await once(server, 'listening');
  const { port } = server.address();
  const listening = slowStartMs > 0 ? (server.close(), delay(slowStartMs).then(() => once(server.listen(port, '127.0.0.1'), 'listening'))) : null;
  const stop = () => {
    for (const socket of sockets.values()) socket.terminate();
    server.closeAllConnections();
    return new Promise((resolve) => server.close(() => resolve()));
  };
  t.after(stop);
  return { url: `http://127.0.0.1:${port}`, seen, history, listening, stop, queued: () => queue.map((item) => item.id), running: () => running?.id ?? null };
}
