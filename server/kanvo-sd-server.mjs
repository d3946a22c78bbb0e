#!/usr/bin/env node
// A local stand-in for an image-generation server: the same HTTP API, a
// procedural picture instead of a model. See README.md beside this file.
import { createServer } from 'node:http';
import { USAGE, UsageError, parseOptions } from './cli-options.mjs';
import { FLAVOURS } from './flavours.mjs';
import { Generator } from './generator.mjs';
import { createJobState } from './job-state.mjs';
import { createApi } from './sd-api.mjs';

const HOST = '127.0.0.1';

function log(message) {
  process.stderr.write(`kanvo-sd-server: ${message}\n`);
}

let options;
try {
  options = parseOptions(process.argv.slice(2));
} catch (e) {
  if (!(e instanceof UsageError)) throw e;
  log(e.message);
  process.stderr.write(`${USAGE}\n`);
  process.exit(2);
}

const flavour = FLAVOURS[options.flavour];
const shutdown = new AbortController();
const state = createJobState(flavour);
const generator = new Generator({ stepMs: options.stepMs, signal: shutdown.signal, state, flavour });
const server = createServer(createApi({ options, flavour, generator, state, signal: shutdown.signal, log }));
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
  server.close();
  server.closeAllConnections();
}
process.once('SIGTERM', stop);
process.once('SIGINT', stop);
