// The backend that runs each batch of a job as one prompt on ComfyUI:
// queued with POST /prompt under a websocket client id of its own (without
// it ComfyUI sends the job's messages to nobody), followed over /ws, and
// collected from /history/{id} and /view (server.py). Progress comes only
// over the websocket; when it drops, /history is polled instead.
import { randomUUID } from 'node:crypto';
import { setTimeout as delay } from 'node:timers/promises';
import { connectTo } from './comfyui-connection.mjs';
import { WorkflowError, basicGraph, fillWorkflow, loadWorkflow, samplerNodeOf } from './comfyui-graph.mjs';
import { comfyRuns, fromComfy, toComfy } from './comfyui-samplers.mjs';
import { ServerError } from './http-framework.mjs';

export { WorkflowError };

// nodes.py, KSampler: seeds up to 0xffffffffffffffff; JavaScript counts exactly up to 2^53.
const SEED_LIMIT = 2 ** 53;
const HISTORY_POLL_MS = 500;

const parseMessage = (text) => {
  try {
    return JSON.parse(text);
  } catch {
    return {};
  }
};
const pngSize = (png) => ({ width: png.readUInt32BE(16), height: png.readUInt32BE(20) });
const modelNamed = (checkpoint) => ({ model_name: checkpoint.replace(/\.[^./\\]+$/, ''), hash: null });

/** A refused graph in ComfyUI's words: its nodes' errors, which say what is wrong, else the top-level error (execution.py, validate_prompt). */
function refusal(answer) {
  const nodes = Object.entries(answer?.node_errors ?? {}).flatMap(([id, node]) =>
    (node.errors ?? []).map((e) => `${node.class_type} ${id}: ${e.details ? `${e.details}: ` : ''}${e.message}`),
  );
  const error = answer?.error;
  const top = typeof error === 'string' ? error : [error?.message, error?.details].filter(Boolean).join(': ');
  return new ServerError('PromptValidationError', `ComfyUI refused the graph: ${nodes.join('; ') || top || 'no reason given'}`);
}

/** The outcome a history entry records (execution.py, PromptQueue.task_done; status messages from add_message). */
function outcomeOf(entry) {
  const messages = entry.status?.messages ?? [];
  const [, error] = messages.find(([type]) => type === 'execution_error') ?? [];
  if (error) return { error };
  if (messages.some(([type]) => type === 'execution_interrupted')) return { interrupted: true };
  return entry.status?.status_str === 'error' ? { error: { exception_message: 'the prompt failed' } } : { done: true };
}

/** url: ComfyUI's address; workflowFile: an exported API-format graph, or null for a graph of our own. */
export async function createComfyBackend({ url, workflowFile, log }) {
  const comfy = connectTo(url);
  const workflow = workflowFile ? await loadWorkflow(workflowFile) : null;
  const sockets = new Set();
  let current = null;

  async function checkpoints() {
    const { status, json } = await comfy.request('GET', '/models/checkpoints');
    if (status !== 200 || !Array.isArray(json)) throw new ServerError('RuntimeError', `${comfy.name} did not list its checkpoints (HTTP ${status})`);
    return json;
  }

  /** The graph for batch n, and the checkpoint it loads. */
  async function graphFor(job, n) {
    const { request } = job;
    const values = { prompt: request.prompt, negative: request.negative_prompt, seed: job.seeds[n * request.batch_size] };
    Object.assign(values, { steps: request.steps, cfg: request.cfg_scale, width: job.width, height: job.height, batchSize: request.batch_size });
    if (workflow) {
      const graph = fillWorkflow(workflow, values);
      // The workflow keeps its own sampler; the answer names it.
      const { sampler_name, scheduler } = graph[samplerNodeOf(graph)].inputs;
      Object.assign(job, fromComfy(sampler_name, scheduler));
      const loader = Object.values(graph).find((node) => typeof node.inputs?.ckpt_name === 'string');
      return { graph, checkpoint: loader?.inputs.ckpt_name ?? null };
    }
    const checkpoint = job.checkpoint ?? (await checkpoints())[0];
    if (!checkpoint) throw new ServerError('FileNotFoundError', `${comfy.name} has no checkpoint in its models/checkpoints folder`);
    return { graph: basicGraph({ ...values, checkpoint, ...toComfy(job.sampler, job.scheduler) }), checkpoint };
  }

  /** Polls /history until it holds the prompt's outcome: execution_success comes before main.py's prompt_worker records it. */
  async function historyEntry(promptId, signal) {
    for (;;) {
      const entry = (await comfy.request('GET', `/history/${promptId}`)).json?.[promptId];
      if (entry?.status?.completed || entry?.status?.status_str === 'error') return entry;
      await delay(HISTORY_POLL_MS, undefined, { signal });
    }
  }

  /** Queues the graph and waits for its outcome: { done }, { interrupted } or { error }. */
  async function execute(graph, clientId, socket, { onStep, stopped, steps }) {
    // A cached prompt can end before POST /prompt answers: its messages wait for the id.
    const early = [];
    let handle = (message) => early.push(message);
    socket.on('message', (text, binary) => binary || handle(parseMessage(text)));
    const queued = await comfy.request('POST', '/prompt', { prompt: graph, client_id: clientId });
    if (queued.status !== 200) throw refusal(queued.json);
    const promptId = queued.json.prompt_id;
    const samplerId = samplerNodeOf(graph);
    const polling = new AbortController();
    try {
      return await new Promise((resolve, reject) => {
        current = { promptId, started: false, settle: resolve };
        // execution.py sends these to the queuing client only (add_message); progress is throttled (comfy_execution/progress.py).
        handle = ({ type, data }) => {
          if (data?.prompt_id !== promptId) return;
          if (type === 'execution_start') current.started = true;
          else if (type === 'progress' && data.node === samplerId) onStep(Math.max(1, Math.round((data.value / data.max) * steps)));
          else if (type === 'execution_error') resolve({ error: data });
          else if (type === 'execution_interrupted') resolve({ interrupted: true });
          else if (type === 'execution_success' || (type === 'executing' && data.node === null)) resolve({ done: true });
        };
        early.forEach(handle);
        const fallBack = () => !polling.signal.aborted && historyEntry(promptId, polling.signal).then(outcomeOf).then(resolve, reject);
        if (socket.readyState === socket.OPEN) socket.on('close', fallBack);
        else fallBack();
        if (stopped()) backend.interrupt().catch(reject);
      }).then((outcome) => ({ ...outcome, promptId }));
    } finally {
      polling.abort();
      current = null;
    }
  }

  /** The saved images of a finished prompt, fetched through /view. */
  async function imagesOf(promptId) {
    const entry = await historyEntry(promptId);
    const all = Object.values(entry?.outputs ?? {}).flatMap((output) => output.images ?? []);
    const saved = all.some((image) => image.type === 'output') ? all.filter((image) => image.type === 'output') : all;
    return Promise.all(
      saved.map(async ({ filename, subfolder = '', type = 'output' }) => {
        const query = new URLSearchParams({ filename, subfolder, type });
        const { status, bytes } = await comfy.request('GET', `/view?${query}`);
        if (status !== 200) throw new ServerError('FileNotFoundError', `${comfy.name} has no image ${filename} (HTTP ${status})`);
        return bytes;
      }),
    );
  }

  const backend = {
    seedLimit: SEED_LIMIT,
    // EmptyLatentImage works in steps of 8, so the answer reports the size drawn.
    sizeAsDrawn: true,
    runs: comfyRuns,
    async models() {
      return (await checkpoints()).map((name) => ({ title: name, ...modelNamed(name), sha256: null, filename: name }));
    },
    async sample(job, n, context) {
      const { graph, checkpoint } = await graphFor(job, n);
      const clientId = randomUUID();
      const socket = await comfy.openSocket(clientId);
      sockets.add(socket);
      try {
        const outcome = await execute(graph, clientId, socket, { ...context, steps: job.request.steps });
        log(`ComfyUI prompt ${outcome.promptId}: ${outcome.error ? 'failed' : outcome.interrupted ? 'interrupted' : 'done'}`);
        // An interrupted prompt saves nothing.
        if (outcome.interrupted) return [];
        if (outcome.error) throw new ServerError(outcome.error.exception_type ?? 'RuntimeError', outcome.error.exception_message);
        const seed = job.seeds[n * job.request.batch_size];
        const model = checkpoint ? modelNamed(checkpoint) : null;
        return (await imagesOf(outcome.promptId)).map((png) => ({ png, ...pngSize(png), seed, model }));
      } finally {
        sockets.delete(socket);
        socket.terminate();
      }
    },
    preview: () => null,
    /** Stops our own prompt only: out of the queue if it waits there, interrupted by id if it runs. */
    async interrupt() {
      if (!current) return;
      const { promptId } = current;
      await comfy.request('POST', '/queue', { delete: [promptId] });
      await comfy.request('POST', '/interrupt', { prompt_id: promptId });
      if (current && !current.started) current.settle({ interrupted: true });
    },
    /** server.py, post_free: without a JSON body ComfyUI answers 500. */
    async unload() {
      const { status } = await comfy.request('POST', '/free', { unload_models: true, free_memory: true });
      if (status !== 200) throw new ServerError('RuntimeError', `${comfy.name} did not free its memory (HTTP ${status})`);
    },
    close() {
      for (const socket of sockets) socket.terminate();
    },
  };
  return backend;
}
