// One JSON POST to the generation server, bounded in time, with every way
// the connection can fail turned into a sentence that names the server.
import http from 'node:http';
import https from 'node:https';

/** A failure the script reports as its one line; exit status 1 unless said otherwise. */
export class Failure extends Error {
  constructor(message, exitCode = 1) {
    super(message);
    this.exitCode = exitCode;
  }
}

export class Timeout extends Error {}

const TLS_CODES = /^(CERT_|DEPTH_ZERO_SELF_SIGNED_CERT|SELF_SIGNED_CERT_IN_CHAIN|UNABLE_TO_|ERR_TLS_|ERR_SSL_|EPROTO)/;

/** The sentence for a connection that failed before a whole answer arrived. */
export function connectionFailure(name, error, answerStarted) {
  const code = error.code ?? error.message;
  if (code === 'ECONNREFUSED') return `no generation server at ${name}`;
  if (code === 'ENOTFOUND' || code === 'EAI_AGAIN') return `cannot find the host of the generation server ${name}`;
  if (code === 'ECONNRESET' || code === 'EPIPE' || code === 'ECONNABORTED') {
    return answerStarted
      ? `the generation server at ${name} closed the connection in the middle of its answer`
      : `the generation server at ${name} closed the connection without answering`;
  }
  if (code === 'ETIMEDOUT' || code === 'EHOSTUNREACH' || code === 'ENETUNREACH') {
    return `cannot reach the generation server at ${name} (${code})`;
  }
  if (TLS_CODES.test(code)) return `cannot make a secure connection to the generation server at ${name} (${code})`;
  if (String(code).startsWith('HPE_')) return `the generation server at ${name} answered with something that is not HTTP (${code})`;
  return `lost the connection to the generation server at ${name}: ${code}`;
}

/**
 * POSTs a JSON body. Resolves with { status, headers, body } once the whole
 * answer is in; rejects with Timeout, or with the network error (its
 * `answerStarted` set when a status line had arrived).
 */
export function postJson(url, body, timeoutMs) {
  const client = url.protocol === 'https:' ? https : http;
  const payload = Buffer.from(JSON.stringify(body), 'utf8');
  return new Promise((resolve, reject) => {
    // The URL carries any user name and password; node sends them as HTTP Basic auth.
    const request = client.request(url, {
      method: 'POST',
      headers: { 'Content-Type': 'application/json', 'Content-Length': payload.length },
    });
    let answerStarted = false;
    const fail = (e) => {
      clearTimeout(timer);
      e.answerStarted = answerStarted;
      reject(e);
    };
    // Rejects first, so a reply cut off by the time-out still reads as one.
    const timer = setTimeout(() => {
      reject(new Timeout());
      request.destroy();
    }, timeoutMs);
    request.on('response', (response) => {
      answerStarted = true;
      const chunks = [];
      response.on('data', (chunk) => chunks.push(chunk));
      response.on('end', () => {
        clearTimeout(timer);
        resolve({ status: response.statusCode, headers: response.headers, body: Buffer.concat(chunks) });
      });
      response.on('error', fail);
    });
    request.on('error', fail);
    request.end(payload);
  });
}
