// Shared by the node tests: the server and the script as real child
// processes, and JSON over HTTP on 127.0.0.1.
import assert from 'node:assert/strict';
import { execFile, spawn } from 'node:child_process';
import { once } from 'node:events';
import path from 'node:path';
import { createInterface } from 'node:readline';
import { fileURLToPath } from 'node:url';

const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const SERVER = path.join(ROOT, 'server/kanvo-sd-server.mjs');
export const SCRIPT = path.join(ROOT, 'scripts/kanvo-txt2img.mjs');

/** Runs a node program to its end: { code, stdout, stderr }. The time limit ends a hang under test. */
export const runNode = (args) =>
  new Promise((resolve) =>
    execFile(process.execPath, args, { timeout: 20_000 }, (e, stdout, stderr) => resolve({ code: e ? e.code : 0, stdout, stderr })),
  );

/** Starts the stand-in server on a free port once it has announced itself; the test's teardown stops it. */
export async function startServer(t, args = []) {
  const child = spawn(process.execPath, [SERVER, '--port', '0', ...args], { stdio: ['ignore', 'pipe', 'ignore'] });
  const closed = once(child, 'close');
  // Resolves with the exit code; null if SIGTERM killed the server unhandled.
  const stop = () => child.kill() && closed.then(([code]) => code);
  // Teardown must end the server even when SIGTERM would not (the fault one test looks for).
  t.after(() => child.kill('SIGKILL') && closed);
  // The app's tests and run.sh read the address from exactly this line.
  const [line] = await Promise.race([once(createInterface({ input: child.stdout }), 'line'), closed.then(() => [''])]);
  const port = /^kanvo-sd-server listening on http:\/\/127\.0\.0\.1:(\d+)$/.exec(line)?.[1];
  assert.ok(port, `the server did not announce itself: "${line}"`);
  return { url: `http://127.0.0.1:${port}`, stop };
}

export async function getJson(url, init = {}) {
  const response = await fetch(url, init);
  return { status: response.status, body: await response.json() };
}

export const postJson = (url, body) => getJson(url, { method: 'POST', body: JSON.stringify(body) });
