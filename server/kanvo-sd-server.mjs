#!/usr/bin/env node
// Kanvo's local generation server: the /sdapi/v1 HTTP API in front of a
// backend, either a procedural picture (a stand-in for tests and machines
// without a GPU) or a ComfyUI instance. See README.md beside this file.
import { createServer } from 'node:http';
import { USAGE, UsageError, parseOptions } from './cli-options.mjs';
import { FLAVOURS } from './flavours.mjs';
import { createComfyBackend, WorkflowError } from './comfyui-backend.mjs';
import { createJobState } from './job-state.mjs';
import { JobRunner } from './job-runner.mjs';
import { createProceduralBackend } from './procedural-backend.mjs';
import { createApi } from './sd-api.mjs';
import { FAULT_USAGE, takeFaultOption, withFault } from './transport-faults.mjs';

const HOST = '127.0.0.1';

function log(message) {
  process.stderr.write(`kanvo-sd-server: ${message}\n`);
}

let options;
let fault;
try {
  const { fault: chosen, rest } = takeFaultOption(process.argv.slice(2));
  fault = chosen;
  options = parseOptions(rest);
} catch (e) {
  if (!(e instanceof UsageError)) throw e;
  log(e.message);
  process.stderr.write(`${USAGE} ${FAULT_USAGE}\n`);
  process.exit(2);
}

const flavour = FLAVOURS[options.flavour];
const shutdown = new AbortController();
const state = createJobState(flavour);
let backend;
try {
  backend = options.comfyui
    ? await createComfyBackend({ url: options.comfyui, workflowFile: options.workflow, log })
    : createProceduralBackend({ stepMs: options.stepMs, signal: shutdown.signal });
} catch (e) {
  if (!(e instanceof WorkflowError)) throw e;
  log(e.message);
  process.exit(2);
}
const runner = new JobRunner({ state, flavour, backend });
const api = createApi({ options, flavour, backend, runner, state, signal: shutdown.signal, log });
const server = createServer(withFault(fault, api, shutdown.signal));
// Generations legitimately take minutes; never cut a request short.
server.requestTimeout = 0;

server.on('error', (e) => {
  log(e.code === 'EADDRINUSE' ? `port ${options.port} on ${HOST} is already in use` : e.message);
  process.exit(1);
});

server.listen(options.port, HOST, () => {
  // Clients wait for exactly this line before they send anything.
  process.stdout.write(`kanvo-sd-server listening on http://${HOST}:${server.address().port}\n`);
});

function stop() {
  shutdown.abort();
  backend.close?.();
  server.close();
  server.closeAllConnections();
}
process.once('SIGTERM', stop);
process.once('SIGINT', stop);
