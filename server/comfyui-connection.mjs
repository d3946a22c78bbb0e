// Requests to a ComfyUI instance (server.py's routes) and its websocket
// (/ws?clientId=...), with the credentials of its address sent as HTTP
// Basic auth, for a ComfyUI behind a proxy that wants them. Failures to
// reach it become a ServerError that names it, at once rather than a hang.
import WebSocket from 'ws';
import { ServerError } from './http-framework.mjs';

// Longer than any answer ComfyUI gives (it queues rather than waits), short of a hang.
const REQUEST_TIMEOUT_MS = 60_000;

export function connectTo(address) {
  const url = new URL(address);
  const authorization = url.username
    ? { authorization: `Basic ${Buffer.from(`${decodeURIComponent(url.username)}:${decodeURIComponent(url.password)}`).toString('base64')}` }
    : {};
  url.username = url.password = '';
  const base = url.href.replace(/\/+$/, '');
  const name = `ComfyUI at ${url.protocol}//${url.host}`;
  const unreachable = (e) => new ServerError('ConnectionError', `${name} is not reachable (${e.cause?.code ?? e.code ?? e.message}); is it running?`);

  /** { status, json, bytes } of one request; `body` is sent as JSON. */
  async function request(method, path, body) {
    let response;
    try {
      response = await fetch(base + path, {
        method,
        headers: { ...authorization, ...(body === undefined ? {} : { 'content-type': 'application/json' }) },
        body: body === undefined ? undefined : JSON.stringify(body),
        signal: AbortSignal.timeout(REQUEST_TIMEOUT_MS),
      });
    } catch (e) {
      throw unreachable(e);
    }
    const bytes = Buffer.from(await response.arrayBuffer());
    let json;
    try {
      json = JSON.parse(bytes.toString('utf8'));
    } catch {
      json = undefined;
    }
    if (response.status === 401 || response.status === 403) {
      throw new ServerError('PermissionError', `${name} refused the credentials in its address (HTTP ${response.status})`);
    }
    return { status: response.status, json, bytes };
  }

  /** An open websocket for `clientId`; ComfyUI sends a job's messages only to the client that queued it. */
  function openSocket(clientId) {
    const socket = new WebSocket(`${base.replace(/^http/, 'ws')}/ws?clientId=${encodeURIComponent(clientId)}`, { headers: authorization });
    return new Promise((resolve, reject) => {
      socket.once('open', () => resolve(socket));
      // Once open, an error is followed by `close`, which the job handles.
      socket.on('error', (e) => reject(unreachable(e)));
    });
  }

  return { name, request, openSocket };
}
