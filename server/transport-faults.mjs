// Faults below the API, for testing clients against a server that breaks
// the connection rather than the answer: chosen with --fault <name>, which
// is taken off the command line before the API's own options are read, and
// applied to every request.
import { setTimeout as delay } from 'node:timers/promises';
import { UsageError } from './cli-options.mjs';

const PROGRESS = '{"progress": 0.5}';
// Far larger than any real progress answer, even one carrying a preview.
const HUGE_BYTES = 64 << 20;
// One byte this often: the whole answer takes longer than a client's 3 s.
const DRIP_MS = 250;

export const FAULTS = {
  // The connection is dropped as soon as the request has arrived.
  reset: (req) => req.socket.destroy(),
  // Bytes that are not HTTP, then the end of the connection.
  'not-http': (req) => req.socket.end('\u0000\u00ffthis is not HTTP\r\n\r\n'),
  // Headers promising a body that stops half-way, then the end of the connection.
  'cut-body': (req, res) => {
    res.writeHead(200, { 'Content-Type': 'application/json', 'Content-Length': String(PROGRESS.length * 2) });
    res.write(PROGRESS, () => res.socket?.destroy());
  },
  // A valid answer, one byte at a time.
  drip: async (req, res, signal) => {
    res.writeHead(200, { 'Content-Type': 'application/json', 'Content-Length': String(PROGRESS.length) });
    for (const byte of PROGRESS) {
      await delay(DRIP_MS, undefined, { signal });
      if (res.destroyed) return;
      res.write(byte);
    }
    res.end();
  },
  // A valid answer of 64 MiB.
  'huge-body': (req, res) => {
    const pad = HUGE_BYTES - PROGRESS.length - 16;
    res.writeHead(200, { 'Content-Type': 'application/json', 'Content-Length': String(HUGE_BYTES) });
    res.end(`{"progress": 0.5, "pad": "${'x'.repeat(pad)}"}`.padEnd(HUGE_BYTES, ' '));
  },
  // An error page from a proxy in front of the server.
  'html-error': (req, res) => {
    res.writeHead(502, { 'Content-Type': 'text/html' });
    res.end('<html><body><h1>502 Bad Gateway</h1></body></html>\n');
  },
};

export const FAULT_USAGE = `[--fault ${Object.keys(FAULTS).join('|')}]`;

/** Splits --fault <name> off the arguments: { fault (or null), rest }. */
export function takeFaultOption(args) {
  const at = args.indexOf('--fault');
  if (at < 0) return { fault: null, rest: args };
  const fault = args[at + 1];
  if (!Object.hasOwn(FAULTS, fault ?? '')) {
    throw new UsageError(`--fault must be one of ${Object.keys(FAULTS).join(', ')}`);
  }
  return { fault, rest: [...args.slice(0, at), ...args.slice(at + 2)] };
}

/** The request handler with the fault in front of it; the handler itself when there is none. */
export function withFault(fault, handle, signal) {
  if (fault === null) return handle;
  return (req, res) => {
    req.resume(); // a request body is read and dropped
    req.on('end', () => FAULTS[fault](req, res, signal)?.catch?.(() => res.destroy()));
  };
}
