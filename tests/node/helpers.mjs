// Shared by the node tests: the stand-in server as a real child process,
// spoken to over HTTP on 127.0.0.1.
import assert from 'node:assert/strict';
import { execFile, spawn } from 'node:child_process';
import { once } from 'node:events';
import http from 'node:http';
import path from 'node:path';
import { createInterface } from 'node:readline';
import { setTimeout as delay } from 'node:timers/promises';
import { fileURLToPath } from 'node:url';

export const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const FLAVOURS = ['original', 'forge', 'sdnext'];

// Starts the stand-in on a free port, its steps instant unless `args` say otherwise; the test's teardown kills it.
// `stop()` resolves with its exit code, `logged(pattern)` with the first matching line of its log.
export async function startServer(t, args = []) {
  const server = path.join(ROOT, 'server/kanvo-sd-server.mjs');
  const child = spawn(process.execPath, [server, '--port', '0', '--step-ms', '0', ...args], { stdio: ['ignore', 'pipe', 'pipe'] });
  const closed = once(child, 'close');
  // SIGKILL, as a server that ignores SIGTERM must still end.
  t.after(() => child.kill('SIGKILL') && closed);
  const log = createInterface({ input: child.stderr });
  const logged = (pattern) =>
    new Promise((resolve) => {
      const listener = (line) => pattern.test(line) && (log.off('line', listener), resolve(line));
      log.on('line', listener);
    });
  // The app's tests and run.sh read the address from exactly this line.
  const [line] = await Promise.race([once(createInterface({ input: child.stdout }), 'line'), closed.then(() => [''])]);
  const port = /^kanvo-sd-server listening on http:\/\/127\.0\.0\.1:(\d+)$/.exec(line)?.[1];
  assert.ok(port, `the server did not announce itself: "${line}"`);
  return { url: `http://127.0.0.1:${port}`, stop: () => child.kill() && closed.then(([code]) => code), logged };
}

// One HTTP request: { status, headers, bytes, text, json }, `json` parsing the text when read.
// A `json` option is sent as application/json, a `body` as it stands.
export function call(url, { method = 'GET', json, body, headers = {}, auth } = {}) {
  if (json !== undefined) [body, headers] = [JSON.stringify(json), { 'content-type': 'application/json', ...headers }];
  if (auth) headers = { ...headers, authorization: `Basic ${Buffer.from(auth).toString('base64')}` };
  return new Promise((resolve, reject) => {
    const request = http.request(url, { method, headers, timeout: 20_000 }, (response) =>
      response.toArray().then((chunks) => {
        const bytes = Buffer.concat(chunks);
        const text = bytes.toString('utf8');
        resolve({ status: response.statusCode, headers: response.headers, bytes, text, get json() { return JSON.parse(text); } });
      }, reject),
    );
    request.on('timeout', () => request.destroy(new Error(`no answer from ${url}`)));
    request.on('error', reject);
    request.end(body);
  });
}

export const getJson = async (url) => (await call(url)).json;
export const postJson = (url, json, options = {}) => call(url, { method: 'POST', json, ...options });

/** Waits until the server reports a job at least `step` steps in, asking once per `pace` ms (about a step). */
export async function untilSampling(url, step = 0, pace = 20) {
  for (;;) {
    const answer = await getJson(`${url}/sdapi/v1/progress`);
    if (answer.state.job_count !== 0 && answer.state.sampling_step >= step) return answer;
    await delay(pace);
  }
}

/** Runs node on `args` to its end: { code, stderr }. The time limit ends a hang under test. */
export const runNode = (args) =>
  new Promise((resolve) => execFile(process.execPath, args, { timeout: 20_000 }, (e, _, stderr) => resolve({ code: e ? e.code : 0, stderr })));

/** `settings` as the lines of a TOML configuration. */
export const toml = (settings) => Object.entries(settings).map(([k, v]) => `${k} = ${JSON.stringify(v)}\n`).join('');
