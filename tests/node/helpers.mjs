// Shared by the node tests: real child processes for the server and the
// script, temporary folders, and small HTTP helpers against 127.0.0.1.
import { spawn } from 'node:child_process';
import { once } from 'node:events';
import { mkdtemp, rm, writeFile } from 'node:fs/promises';
import { createServer } from 'node:net';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { createInterface } from 'node:readline';
import { fileURLToPath } from 'node:url';

export const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const SERVER = path.join(ROOT, 'server/kanvo-sd-server.mjs');
export const SCRIPT = path.join(ROOT, 'scripts/kanvo-txt2img.mjs');
export const READY_LINE = /^kanvo-sd-server listening on http:\/\/127\.0\.0\.1:(\d+)$/;

// A child that outlives this is a hang under test; kill it so the suite ends.
const CHILD_LIMIT_MS = 20_000;

/** Runs a node program to its end; resolves with { code, signal, stdout, stderr }. */
export async function runNode(args, { env = process.env } = {}) {
  const child = spawn(process.execPath, args, { env, stdio: ['ignore', 'pipe', 'pipe'] });
  let stdout = '';
  let stderr = '';
  child.stdout.on('data', (d) => (stdout += d));
  child.stderr.on('data', (d) => (stderr += d));
  const limit = setTimeout(() => child.kill('SIGKILL'), CHILD_LIMIT_MS);
  const [code, signal] = await once(child, 'close');
  clearTimeout(limit);
  return { code, signal, stdout, stderr };
}

export function runScript(configPath, outputPath, prompt) {
  return runNode([SCRIPT, '--config', configPath, outputPath, '--prompt', prompt]);
}

/**
 * Starts the stand-in server on a free port and waits for its ready line.
 * The test's teardown stops it; stop() can also be awaited by the test.
 */
export async function startServer(t, args = []) {
  const child = spawn(process.execPath, [SERVER, '--port', '0', ...args], { stdio: ['ignore', 'pipe', 'pipe'] });
  const exited = once(child, 'exit');
  let stderr = '';
  child.stderr.on('data', (d) => (stderr += d));
  const lines = createInterface({ input: child.stdout });
  const stdoutLines = [];
  lines.on('line', (line) => stdoutLines.push(line));
  const [first] = await Promise.race([
    once(lines, 'line'),
    exited.then(() => {
      throw new Error(`server exited before listening: ${stderr}`);
    }),
  ]);
  const port = Number(READY_LINE.exec(first)?.[1]);
  const server = {
    url: `http://127.0.0.1:${port}`,
    port,
    stdoutLines,
    stderr: () => stderr,
    async stop(signal = 'SIGTERM') {
      if (child.exitCode === null && child.signalCode === null) child.kill(signal);
      const [code, signalCode] = await exited;
      return { code, signal: signalCode };
    },
  };
  t.after(() => server.stop());
  return server;
}

/** A port on 127.0.0.1 that nothing listens on (just released by us). */
export async function closedPort() {
  const probe = createServer();
  probe.listen(0, '127.0.0.1');
  await once(probe, 'listening');
  const { port } = probe.address();
  probe.close();
  await once(probe, 'close');
  return port;
}

export async function tempDir(t) {
  const dir = await mkdtemp(path.join(tmpdir(), 'kanvo-node-test-'));
  t.after(() => rm(dir, { recursive: true, force: true }));
  return dir;
}

/** Writes a configuration with the given settings; strings are quoted the JSON way, which TOML reads alike. */
export async function writeConfig(dir, settings) {
  const text = Object.entries(settings)
    .map(([key, value]) => `${key} = ${JSON.stringify(value)}`)
    .join('\n');
  const configPath = path.join(dir, 'defaults.toml');
  await writeFile(configPath, `${text}\n`);
  return configPath;
}

export async function getJson(url, init = {}) {
  const response = await fetch(url, init);
  return { status: response.status, headers: response.headers, body: await response.json() };
}

export function postJson(url, body, init = {}) {
  return getJson(url, {
    ...init,
    method: 'POST',
    headers: { 'Content-Type': 'application/json', ...init.headers },
    body: JSON.stringify(body),
  });
}
