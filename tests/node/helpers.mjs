// Shared by the node tests: the server and the script as real child
// processes, HTTP on 127.0.0.1, and bare TCP servers for faults the
// stand-in does not make.
import assert from 'node:assert/strict';
import { execFile, spawn } from 'node:child_process';
import { once } from 'node:events';
import { mkdtemp, rm, writeFile } from 'node:fs/promises';
import http from 'node:http';
import net from 'node:net';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { createInterface } from 'node:readline';
import { setTimeout as delay } from 'node:timers/promises';
import { fileURLToPath } from 'node:url';

const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const SERVER = path.join(ROOT, 'server/kanvo-sd-server.mjs');
export const SCRIPT = path.join(ROOT, 'scripts/kanvo-txt2img.mjs');
export const FLAVOURS = ['original', 'forge', 'sdnext'];

/** Runs a node program to its end: { code, stdout, stderr }. The time limit ends a hang under test. */
export const runNode = (args) =>
  new Promise((resolve) =>
    execFile(process.execPath, args, { timeout: 20_000 }, (e, stdout, stderr) => resolve({ code: e ? e.code : 0, stdout, stderr })),
  );

/** Starts the stand-in server on a free port once it has announced itself; the test's teardown stops it. */
export async function startServer(t, args = []) {
  const child = spawn(process.execPath, [SERVER, '--port', '0', ...args], { stdio: ['ignore', 'pipe', 'pipe'] });
  const closed = once(child, 'close');
  // Its log on stderr tells when a job has started.
  const log = createInterface({ input: child.stderr });
  const logged = (pattern) =>
    new Promise((resolve) => {
      const listener = (line) => pattern.test(line) && (log.off('line', listener), resolve(line));
      log.on('line', listener);
    });
  // Resolves with the exit code; null if SIGTERM killed the server unhandled.
  const stop = () => child.kill() && closed.then(([code]) => code);
  // Teardown must end the server even when SIGTERM would not (the fault one test looks for).
  t.after(() => child.kill('SIGKILL') && closed);
  // The app's tests and run.sh read the address from exactly this line.
  const [line] = await Promise.race([once(createInterface({ input: child.stdout }), 'line'), closed.then(() => [''])]);
  const port = /^kanvo-sd-server listening on http:\/\/127\.0\.0\.1:(\d+)$/.exec(line)?.[1];
  assert.ok(port, `the server did not announce itself: "${line}"`);
  return { url: `http://127.0.0.1:${port}`, stop, logged };
}

/**
 * One HTTP request as any client sends it: { status, headers, text, json }.
 * `json` sends a value as application/json; `body` sends text as it stands.
 */
export function call(url, { method = 'GET', json, body, headers = {}, auth } = {}) {
  const payload = json !== undefined ? JSON.stringify(json) : body;
  const allHeaders = { ...(json !== undefined ? { 'content-type': 'application/json' } : {}), ...headers };
  if (auth) allHeaders.authorization = `Basic ${Buffer.from(auth).toString('base64')}`;
  return new Promise((resolve, reject) => {
    const request = http.request(url, { method, headers: allHeaders, timeout: 20_000 }, (response) => {
      const chunks = [];
      response.on('data', (chunk) => chunks.push(chunk));
      response.on('end', () => {
        const text = Buffer.concat(chunks).toString('utf8');
        let parsed;
        try {
          parsed = JSON.parse(text);
        } catch {
          parsed = undefined;
        }
        resolve({ status: response.statusCode, headers: response.headers, text, json: parsed });
      });
    });
    request.on('timeout', () => request.destroy(new Error(`no answer from ${url}`)));
    request.on('error', reject);
    request.end(payload);
  });
}

export const getJson = async (url) => (await call(url)).json;
export const postJson = (url, json, options = {}) => call(url, { method: 'POST', json, ...options });

/**
 * Waits until the server reports a job at least `step` steps in, asking
 * once per `pace` ms (about the server's step time).
 */
export async function untilSampling(url, step = 0, pace = 20) {
  for (;;) {
    const answer = await getJson(`${url}/sdapi/v1/progress`);
    if (answer.state.job_count !== 0 && answer.state.sampling_step >= step) return answer;
    await delay(pace);
  }
}

/**
 * A bare TCP server on a free loopback port that hands each connection and
 * the request text received so far to `onRequest(socket, text)`; stopped
 * with the test. Resolves with { url, requests }.
 */
export async function startRawServer(t, onRequest) {
  const requests = [];
  const sockets = new Set();
  const server = net.createServer((socket) => {
    sockets.add(socket);
    socket.on('close', () => sockets.delete(socket));
    let text = '';
    socket.on('data', (chunk) => {
      text += chunk.toString('latin1');
      if (!text.includes('\r\n\r\n')) return;
      const length = Number(/content-length: *(\d+)/i.exec(text)?.[1] ?? 0);
      if (Buffer.byteLength(text.slice(text.indexOf('\r\n\r\n') + 4), 'latin1') < length) return;
      requests.push(text.split('\r\n')[0]);
      onRequest(socket, text);
    });
    socket.on('error', () => {});
  });
  server.listen(0, '127.0.0.1');
  await once(server, 'listening');
  t.after(() => {
    for (const socket of sockets) socket.destroy();
    server.close();
  });
  return { url: `http://127.0.0.1:${server.address().port}`, requests };
}

/** A temporary folder removed after the test. */
export async function temporaryFolder(t) {
  const dir = await mkdtemp(path.join(tmpdir(), 'kanvo-node-test-'));
  t.after(() => rm(dir, { recursive: true, force: true }));
  return dir;
}

export const toml = (settings) => Object.entries(settings).map(([k, v]) => `${k} = ${JSON.stringify(v)}\n`).join('');

/** Writes a defaults.toml (none when text is null) into a fresh folder. */
export async function writeConfig(t, text) {
  const dir = await temporaryFolder(t);
  const config = path.join(dir, 'defaults.toml');
  if (text !== null) await writeFile(config, text);
  return { dir, config };
}
