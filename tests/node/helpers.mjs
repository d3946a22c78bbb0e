// Shared by the node tests: the server and the script as real child
// processes, and JSON over HTTP on 127.0.0.1.
import { spawn } from 'node:child_process';
import { once } from 'node:events';
import path from 'node:path';
import { createInterface } from 'node:readline';
import { fileURLToPath } from 'node:url';

const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const SERVER = path.join(ROOT, 'server/kanvo-sd-server.mjs');
export const SCRIPT = path.join(ROOT, 'scripts/kanvo-txt2img.mjs');
export const READY_LINE = /^kanvo-sd-server listening on http:\/\/127\.0\.0\.1:(\d+)$/;

/** Runs a node program to its end; resolves with { code, stdout, stderr }. */
export async function runNode(args) {
  const child = spawn(process.execPath, args, { stdio: ['ignore', 'pipe', 'pipe'] });
  const result = { stdout: '', stderr: '' };
  child.stdout.on('data', (d) => (result.stdout += d));
  child.stderr.on('data', (d) => (result.stderr += d));
  // A child that outlives this is a hang under test; kill it so the suite ends.
  const limit = setTimeout(() => child.kill('SIGKILL'), 20_000);
  [result.code] = await once(child, 'close');
  clearTimeout(limit);
  return result;
}

/** Starts the stand-in server on a free port, once it has announced itself; the test's teardown stops it. */
export async function startServer(t, args = []) {
  const child = spawn(process.execPath, [SERVER, '--port', '0', ...args], { stdio: ['ignore', 'pipe', 'ignore'] });
  const closed = once(child, 'close');
  const stdout = createInterface({ input: child.stdout });
  const lines = [];
  stdout.on('line', (line) => lines.push(line));
  const [first] = await Promise.race([
    once(stdout, 'line'),
    closed.then(([code]) => Promise.reject(new Error(`the server exited (${code}) before listening`))),
  ]);
  const port = Number(READY_LINE.exec(first)?.[1]);
  /** Resolves with the server's exit code (null if a signal killed it). */
  const stop = async (signal = 'SIGTERM') => {
    child.kill(signal);
    return (await closed)[0];
  };
  t.after(() => stop());
  return { url: `http://127.0.0.1:${port}`, port, lines, stop };
}

export async function getJson(url, init = {}) {
  const response = await fetch(url, init);
  return { status: response.status, body: await response.json() };
}

export const postJson = (url, body) => getJson(url, { method: 'POST', body: JSON.stringify(body) });
