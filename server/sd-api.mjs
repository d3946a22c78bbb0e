// The HTTP endpoints, the fault modes layered over them, and the counters
// that tests read back through /kanvo/status.
import { setTimeout as delay } from 'node:timers/promises';
import { ApiError } from './api-error.mjs';
import { MODEL, SAMPLERS, options as serverOptions } from './catalog.mjs';
import { parseTxt2imgRequest } from './txt2img-request.mjs';

const MAX_BODY_BYTES = 1 << 20;
// Past the 3 s the app's progress poll waits for an answer.
const SLOW_PROGRESS_MS = 4000;

function sendJson(res, status, value, headers = {}) {
  sendRaw(res, status, JSON.stringify(value), headers);
}

function sendRaw(res, status, text, headers = {}) {
  res.writeHead(status, { 'Content-Type': 'application/json', ...headers });
  res.end(text);
}

function readBody(req) {
  return new Promise((resolve, reject) => {
    const chunks = [];
    let size = 0;
    req.on('data', (chunk) => {
      size += chunk.length;
      if (size <= MAX_BODY_BYTES) chunks.push(chunk);
    });
    req.on('end', () => {
      if (size > MAX_BODY_BYTES) {
        reject(new ApiError(413, { error: 'PayloadTooLarge', detail: 'the request body is larger than 1 MiB' }));
      } else {
        resolve(Buffer.concat(chunks).toString('utf8'));
      }
    });
    req.on('error', reject);
  });
}

function isAuthorised(req, credentials) {
  const header = req.headers.authorization ?? '';
  const match = /^Basic\s+(\S+)$/i.exec(header);
  return match !== null && Buffer.from(match[1], 'base64').toString('utf8') === credentials;
}

export function createApi({ options, generator, signal, log }) {
  const counters = { unload_count: 0, txt2img_count: 0, progress_count: 0 };

  async function txt2img(req, res) {
    counters.txt2img_count++;
    const rawBody = await readBody(req);
    if (options.failTxt2img !== null) {
      throw new ApiError(options.failTxt2img, {
        error: 'KanvoFault',
        detail: `txt2img fails on purpose (--fail-txt2img ${options.failTxt2img})`,
      });
    }
    if (options.txt2imgBody !== null) {
      sendRaw(res, 200, options.txt2imgBody);
      return;
    }
    const request = parseTxt2imgRequest(rawBody);
    log(`txt2img ${request.width}x${request.height}, ${request.steps} steps, seed ${request.seed}: ${JSON.stringify(request.prompt)}`);
    const { images, seeds, timestamp } = await generator.run(request);
    const info = {
      prompt: request.prompt,
      all_prompts: seeds.map(() => request.prompt),
      negative_prompt: request.negative_prompt,
      seed: seeds[0],
      all_seeds: seeds,
      width: request.width,
      height: request.height,
      sampler_name: request.sampler_name,
      steps: request.steps,
      cfg_scale: request.cfg_scale,
      batch_size: request.batch_size,
      job_timestamp: timestamp,
      sd_model_name: MODEL.model_name,
    };
    sendJson(res, 200, {
      images: request.send_images ? images.map((png) => png.toString('base64')) : [],
      parameters: request,
      info: JSON.stringify(info),
    });
  }

  async function progress(req, res) {
    counters.progress_count++;
    if (options.slowProgress) await delay(SLOW_PROGRESS_MS, undefined, { signal });
    if (options.progressBody !== null) {
      sendRaw(res, 200, options.progressBody);
    } else {
      sendJson(res, 200, generator.progress());
    }
  }

  const routes = {
    '/sdapi/v1/txt2img': { POST: txt2img },
    '/sdapi/v1/progress': { GET: progress },
    '/sdapi/v1/interrupt': {
      POST: (req, res) => {
        generator.interrupt();
        sendJson(res, 200, {});
      },
    },
    '/sdapi/v1/unload-checkpoint': {
      POST: (req, res) => {
        counters.unload_count++;
        log('unload-checkpoint');
        sendJson(res, 200, {});
      },
    },
    '/sdapi/v1/sd-models': { GET: (req, res) => sendJson(res, 200, [MODEL]) },
    '/sdapi/v1/options': { GET: (req, res) => sendJson(res, 200, serverOptions()) },
    '/sdapi/v1/samplers': { GET: (req, res) => sendJson(res, 200, SAMPLERS) },
    '/kanvo/status': { GET: (req, res) => sendJson(res, 200, counters) },
  };

  return async function handle(req, res) {
    if (options.hang) return; // the socket stays open and unanswered
    try {
      if (options.auth !== null && !isAuthorised(req, options.auth)) {
        sendJson(res, 401, { detail: 'Incorrect username or password' }, {
          'WWW-Authenticate': 'Basic realm="kanvo-sd-server"',
        });
        return;
      }
      const path = new URL(req.url, 'http://127.0.0.1').pathname;
      const methods = routes[path];
      if (!methods) throw new ApiError(404, { error: 'HTTPException', detail: 'Not Found' });
      const handler = methods[req.method];
      if (!handler) throw new ApiError(405, { error: 'HTTPException', detail: 'Method Not Allowed' });
      await handler(req, res);
    } catch (e) {
      if (signal.aborted || res.headersSent) return; // shutting down, or the client went away
      if (e instanceof ApiError) {
        sendJson(res, e.status, e.body);
      } else {
        sendJson(res, 500, { error: e.name, detail: e.message, body: '', errors: '' });
      }
    }
  };
}
