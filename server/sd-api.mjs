// The /sdapi/v1 front: the HTTP endpoints in each fork's registration order
// (modules/api/api.py), the framework around them (http-framework.mjs), the
// fault modes layered over them, and the counters that tests read back
// through /kanvo/status. Generation itself is the backend's.
import { setTimeout as delay } from 'node:timers/promises';
import { gzipSync } from 'node:zlib';
import { createOptions, currentOptions, memoryReport, modelList, setOptions } from './catalog.mjs';
import { validateField } from './field-validation.mjs';
import {
  HTTPException,
  RequestValidationError,
  ServerError,
  checkCredentials,
  errorAnswer,
  matchRoute,
  parseBody,
  requireBody,
  validateQuery,
} from './http-framework.mjs';
import { encodeImage } from './image-encoding.mjs';
import { progressAnswer } from './progress.mjs';
import { samplerList, schedulerList } from './samplers.mjs';
import { txt2img } from './txt2img.mjs';

// Past the 3 s the app's progress poll waits for an answer.
const SLOW_PROGRESS_MS = 4000;
const BOOL_QUERY = { type: 'bool', default: false, optional: false };

const raw = (status, text) => ({ raw: text, status });

function readAll(req) {
  return new Promise((resolve, reject) => {
    const chunks = [];
    req.on('data', (chunk) => chunks.push(chunk));
    req.on('end', () => resolve(Buffer.concat(chunks)));
    req.on('error', reject);
  });
}

/** SD.Next reads its --auth list with quotes and spaces stripped. */
function credentialsFor(flavour, apiAuth) {
  if (apiAuth === null || flavour.name !== 'sdnext') return apiAuth;
  const clean = (text) => text.replaceAll('"', '').trim();
  return new Map([...apiAuth].map(([user, password]) => [clean(user), clean(password)]));
}

export function createApi({ options: cli, flavour, backend, runner, state, signal, log }) {
  const counters = { unload_count: 0, txt2img_count: 0, progress_count: 0, interrupt_count: 0, skip_count: 0 };
  const serverOptions = createOptions(cli.samplesFormat);
  const credentials = credentialsFor(flavour, cli.apiAuth);

  const endpoints = {
    txt2img: async ({ body }) => {
      counters.txt2img_count++;
      if (cli.txt2imgBody !== null) return raw(cli.txt2imgStatus, cli.txt2imgBody);
      return txt2img({ flavour, backend, runner, options: serverOptions, body, fault: cli.failTxt2img, log });
    },
    progress: async ({ query }) => {
      counters.progress_count++;
      if (cli.slowProgress) await delay(SLOW_PROGRESS_MS, undefined, { signal });
      if (cli.progressBody !== null) return raw(200, cli.progressBody);
      const encode = (image) => encodeImage(flavour, serverOptions, image);
      return progressAnswer({ flavour, state, backend, skipCurrentImage: query.skip_current_image, encode });
    },
    // Both stop only this server's job: the backend's own, never another client's.
    interrupt: async () => {
      counters.interrupt_count++;
      state.interrupted = true;
      await backend.interrupt();
      return {};
    },
    skip: async () => {
      counters.skip_count++;
      state.skipped = true;
      await backend.interrupt();
      return null;
    },
    getOptions: () => currentOptions(serverOptions, backend),
    setOptions: ({ body }) => {
      const changes = validateField(flavour.pydantic, { type: 'dict' }, requireBody(flavour, body), ['body']);
      if (changes.errors) throw new RequestValidationError(changes.errors);
      return setOptions(flavour, serverOptions, changes.value, backend);
    },
    samplers: () => samplerList(flavour, backend),
    schedulers: () => schedulerList(backend),
    models: () => modelList(flavour, backend),
    memory: () => memoryReport(),
    unload: async () => {
      counters.unload_count++;
      log('unload-checkpoint');
      await backend.unload();
      return {};
    },
    reload: () => {
      log('reload-checkpoint');
      return {};
    },
  };

  const api = (path, method, handler, extra = {}) => ({ path: `/sdapi/v1/${path}`, method, handler, auth: true, ...extra });
  const routes = [
    api('txt2img', 'POST', endpoints.txt2img, { body: true }),
    api('progress', 'GET', endpoints.progress, {
      auth: flavour.progressNeedsAuth,
      query: { skip_current_image: BOOL_QUERY },
    }),
    api('interrupt', 'POST', endpoints.interrupt),
    api('skip', 'POST', endpoints.skip),
    api('options', 'GET', endpoints.getOptions),
    api('options', 'POST', endpoints.setOptions, { body: true }),
    api('samplers', 'GET', endpoints.samplers),
    ...(flavour.hasSchedulers ? [api('schedulers', 'GET', endpoints.schedulers)] : []),
    api('sd-models', 'GET', endpoints.models),
    api('memory', 'GET', endpoints.memory),
    api('unload-checkpoint', 'POST', endpoints.unload),
    // SD.Next's post_reload_checkpoint takes a `force` query parameter.
    api('reload-checkpoint', 'POST', endpoints.reload, flavour.name === 'sdnext' ? { query: { force: BOOL_QUERY } } : {}),
  ];

  async function answer(req, url, path) {
    const match = matchRoute(routes, path, req.method);
    if (match.redirect) {
      const location = `http://${req.headers.host ?? '127.0.0.1'}${match.redirect}${url.search}`;
      return { status: 307, text: '', headers: { location } };
    }
    const { route } = match;
    // FastAPI reads (and may reject) the body before it solves the auth dependency.
    const body = route.body ? parseBody(flavour, await readAll(req), req.headers['content-type']) : undefined;
    if (!route.body) req.resume();
    if (credentials !== null && route.auth) checkCredentials(flavour, credentials, req.headers.authorization);
    const query = route.query ? validateQuery(flavour, route.query, url.searchParams) : {};
    const value = await route.handler({ body, query });
    if (value && value.raw !== undefined) return { status: value.status, text: value.raw, headers: {} };
    return { status: 200, text: JSON.stringify(value), headers: {} };
  }

  function errorToAnswer(e) {
    let error = e;
    if (!(e instanceof HTTPException || e instanceof ServerError || e instanceof RequestValidationError)) {
      log(`unexpected ${e.stack ?? e}`);
      error = new ServerError(e.name ?? 'Exception', e.message ?? String(e));
    }
    const { status, body, headers } = errorAnswer(flavour, error);
    return { status, text: JSON.stringify(body), headers, unhandled: error instanceof ServerError };
  }

  function send(req, res, started, reply) {
    const headers = { 'content-type': 'application/json', ...reply.headers };
    // The timing middleware never sees an answer made from an escaped exception.
    if (flavour.processTimeHeader && !reply.unhandled) {
      headers['x-process-time'] = String(Math.round((performance.now() - started) * 10) / 10000);
    }
    let bytes = Buffer.from(reply.text, 'utf8');
    if (bytes.length >= flavour.gzipMinimumSize && /\bgzip\b/.test(req.headers['accept-encoding'] ?? '')) {
      bytes = gzipSync(bytes);
      Object.assign(headers, { 'content-encoding': 'gzip', vary: 'Accept-Encoding' });
    }
    if (reply.status === 307) delete headers['content-type'];
    res.writeHead(reply.status, { ...headers, 'content-length': bytes.length });
    res.end(bytes);
  }

  return async function handle(req, res) {
    if (cli.hang) return; // the socket stays open and unanswered
    const started = performance.now();
    const url = new URL(req.url, 'http://127.0.0.1');
    let path = url.pathname;
    try {
      path = decodeURIComponent(path);
    } catch {
      // Starlette matches an undecodable path as it stands
    }
    if (path === '/kanvo/status') {
      res.writeHead(200, { 'content-type': 'application/json' });
      res.end(JSON.stringify(counters));
      return;
    }
    let reply;
    try {
      reply = await answer(req, url, path);
    } catch (e) {
      if (signal.aborted || res.headersSent) return; // shutting down, or the client went away
      reply = errorToAnswer(e);
    }
    if (!res.headersSent && !res.destroyed) send(req, res, started, reply);
  };
}
