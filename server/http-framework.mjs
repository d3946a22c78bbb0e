// What the servers' web framework (FastAPI on Starlette) does around each
// endpoint, as far as a client can tell: routing with its 404, 405 and
// trailing-slash redirect, reading the body, HTTP Basic credentials, query
// validation, and the error bodies each fork makes of all that.
import { bodyMissing, validateField } from './field-validation.mjs';

/** fastapi.HTTPException, or Starlette's own when `starlette` is set (404, 405). */
export class HTTPException extends Error {
  constructor(status, detail, { headers = {}, starlette = false } = {}) {
    super(detail);
    Object.assign(this, { status, detail, headers, starlette });
  }
}

/** An exception escaping an endpoint: its class name and its message. */
export class ServerError extends Error {
  constructor(type, message, status = 500) {
    super(message);
    Object.assign(this, { type, status });
  }
}

/** FastAPI's RequestValidationError: a 422 with the entries as `detail`. */
export class RequestValidationError extends Error {
  constructor(errors) {
    super('request validation failed');
    this.errors = errors;
  }
}

/** { status, body, headers } of the answer the fork gives for an exception. */
export function errorAnswer(flavour, e) {
  if (e instanceof RequestValidationError) return { status: 422, body: { detail: e.errors }, headers: {} };
  if (e instanceof HTTPException) {
    // Starlette's own exceptions reach FastAPI's default handler in every fork.
    if (e.starlette) return { status: e.status, body: { detail: e.detail }, headers: e.headers };
    return { status: e.status, ...flavour.routeError(e.status, e.detail, e.headers) };
  }
  return { status: e.status, body: flavour.serverError(e.type, e.message, e.status), headers: {} };
}

/** The route for a request, a redirect to the other trailing-slash form, or Starlette's 404 or 405. */
export function matchRoute(routes, path, method) {
  const onPath = routes.filter((route) => route.path === path);
  if (onPath.length > 0) {
    const route = onPath.find((r) => r.method === method);
    if (route) return { route };
    throw new HTTPException(405, 'Method Not Allowed', { headers: { Allow: onPath[0].method }, starlette: true });
  }
  if (path !== '/') {
    const other = path.endsWith('/') ? path.slice(0, -1) : `${path}/`;
    if (routes.some((route) => route.path === other)) return { redirect: other };
  }
  throw new HTTPException(404, 'Not Found', { starlette: true });
}

/**
 * The body as FastAPI hands it to validation: `undefined` when absent (no
 * bytes, or JSON null), parsed JSON for JSON content types, text otherwise.
 */
export function parseBody(flavour, bytes, contentType) {
  if (bytes.length === 0) return undefined;
  const mediaType = (contentType ?? '').split(';')[0].trim().toLowerCase();
  const isJson = !contentType || /^application\/(.+\+)?json$/.test(mediaType);
  let text;
  try {
    text = new TextDecoder('utf-8', { fatal: true }).decode(bytes);
  } catch {
    // json.loads fails to decode it, which FastAPI turns into a 400.
    if (isJson) throw new HTTPException(400, 'There was an error parsing the body');
    text = bytes.toString('latin1');
  }
  if (!isJson) return text;
  try {
    return JSON.parse(text) ?? undefined;
  } catch (e) {
    const pos = Number(/position (\d+)/.exec(e.message)?.[1] ?? text.length);
    throw new RequestValidationError([jsonDecodeEntry(flavour, e.message, pos)]);
  }
}

function jsonDecodeEntry(flavour, msg, pos) {
  // FastAPI 0.94 wraps the decode error itself; later versions say json_invalid.
  if (flavour.legacyJsonErrors) return { loc: ['body', pos], msg, type: 'value_error.jsondecode', ctx: { msg, pos } };
  return { type: 'json_invalid', loc: ['body', pos], msg: 'JSON decode error', input: {}, ctx: { error: msg } };
}

/** The body must be present: FastAPI's "field required" otherwise. */
export function requireBody(flavour, body) {
  if (body === undefined) throw new RequestValidationError([bodyMissing(flavour.pydantic)]);
  return body;
}

/** FastAPI's HTTPBasic followed by the fork's own check of the user and password. */
export function checkCredentials(flavour, credentials, header) {
  const challenge = { headers: { 'WWW-Authenticate': 'Basic' } };
  const [scheme, param = ''] = (header ?? '').split(/ (.*)/s);
  if (!header || scheme.toLowerCase() !== 'basic') throw new HTTPException(401, 'Not authenticated', challenge);
  const text = Buffer.from(param, 'base64').toString('latin1');
  const colon = text.indexOf(':');
  if (colon < 0) throw new HTTPException(401, 'Invalid authentication credentials', challenge);
  if (credentials.get(text.slice(0, colon)) !== text.slice(colon + 1)) {
    throw new HTTPException(401, flavour.wrongCredentials, challenge);
  }
}

/** Validates query parameters ({ name: field }) the way FastAPI does for a dependency's fields. */
export function validateQuery(flavour, fields, searchParams) {
  const values = {};
  const errors = [];
  for (const [name, field] of Object.entries(fields)) {
    const all = searchParams.getAll(name);
    if (all.length === 0) {
      values[name] = field.default;
      continue;
    }
    // Starlette keeps the last of repeated parameters.
    const result = validateField(flavour.pydantic, field, all[all.length - 1], ['query', name]);
    if (result.errors) errors.push(...result.errors);
    else values[name] = result.value;
  }
  if (errors.length > 0) throw new RequestValidationError(errors);
  return values;
}
