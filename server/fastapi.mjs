// What the servers' web framework (FastAPI on Starlette) does around each
// endpoint: routing with its 404, 405 and trailing-slash redirect, reading
// the body, HTTP Basic credentials, query validation, and the error bodies
// each fork's exception handlers make of all that.
import { bodyMissing, validateField } from './pydantic.mjs';
import { JsonDecodeError, parseJson } from './python-json.mjs';

/** fastapi.HTTPException, or Starlette's own when `starlette` is set (404, 405). */
export class HTTPException extends Error {
  constructor(status, detail, { headers = {}, starlette = false } = {}) {
    super(detail);
    Object.assign(this, { status, detail, headers, starlette });
  }
}

/** A Python exception escaping an endpoint: its class name and its str(). */
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

/**
 * Finds the route for a request. Throws Starlette's 404, its 405 (with
 * the Allow of the first route on that path) or returns a redirect when
 * only the other form of a trailing slash matches.
 */
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
 * The body as FastAPI hands it to validation: `undefined` when absent
 * (no bytes, or JSON null), parsed JSON for JSON content types, the raw
 * text otherwise.
 */
export function parseBody(flavour, bytes, contentType) {
  if (bytes.length === 0) return undefined;
  const mediaType = (contentType ?? '').split(';')[0].trim().toLowerCase();
  const [type, subtype = ''] = mediaType.includes('/') ? mediaType.split('/') : ['text', 'plain'];
  const isJson = !contentType || (type === 'application' && (subtype === 'json' || subtype.endsWith('+json')));
  // A body that is not UTF-8 fails json.loads' decoding, which FastAPI turns into a 400.
  let text;
  try {
    const withoutBom = bytes[0] === 0xef && bytes[1] === 0xbb && bytes[2] === 0xbf ? bytes.subarray(3) : bytes;
    text = new TextDecoder('utf-8', { fatal: true }).decode(withoutBom);
  } catch {
    if (isJson) throw new HTTPException(400, 'There was an error parsing the body');
    text = bytes.toString('latin1');
  }
  if (!isJson) return text;
  try {
    const value = parseJson(text);
    return value === null ? undefined : value;
  } catch (e) {
    if (!(e instanceof JsonDecodeError)) throw e;
    throw new RequestValidationError([jsonDecodeEntry(flavour, e)]);
  }
}

function jsonDecodeEntry(flavour, e) {
  if (flavour.legacyJsonErrors) {
    // FastAPI 0.94 wraps the JSONDecodeError itself; pydantic 1 lists its attributes as ctx.
    const ctx = { msg: e.msg, doc: e.doc, pos: e.pos, lineno: e.lineno, colno: e.colno };
    return { loc: ['body', e.pos], msg: e.message, type: 'value_error.jsondecode', ctx };
  }
  return { type: 'json_invalid', loc: ['body', e.pos], msg: 'JSON decode error', input: {}, ctx: { error: e.msg } };
}

/** The body must be present: FastAPI's "field required" otherwise. */
export function requireBody(flavour, body) {
  if (body === undefined) throw new RequestValidationError([bodyMissing(flavour.pydantic)]);
  return body;
}

/** Python's base64.b64decode without validate=True: stray characters are dropped, padding is not. */
function pythonBase64(text) {
  // eslint-disable-next-line no-control-regex
  if (/[^\x00-\x7f]/.test(text)) return null;
  const cleaned = text.replace(/[^A-Za-z0-9+/=]/g, '');
  const data = cleaned.replace(/=.*$/, '');
  const padding = cleaned.length - data.length;
  if (data.length % 4 === 1 || (data.length % 4 !== 0 && padding < 4 - (data.length % 4))) return null;
  return Buffer.from(data, 'base64');
}

/**
 * FastAPI's HTTPBasic followed by the fork's own check of the user and
 * password; throws the fastapi.HTTPException either raises.
 */
export function checkCredentials(flavour, credentials, header) {
  const challenge = { headers: { 'WWW-Authenticate': 'Basic' } };
  // get_authorization_scheme_param: partition at the first space
  const space = header ? header.indexOf(' ') : -1;
  const scheme = space < 0 ? (header ?? '') : header.slice(0, space);
  const param = space < 0 ? '' : header.slice(space + 1);
  if (!header || scheme.toLowerCase() !== 'basic') {
    throw new HTTPException(401, 'Not authenticated', challenge);
  }
  const decoded = pythonBase64(param);
  const text = decoded && !decoded.some((byte) => byte > 0x7f) ? decoded.toString('latin1') : null;
  if (text === null || !text.includes(':')) throw new HTTPException(401, 'Invalid authentication credentials', challenge);
  const user = text.slice(0, text.indexOf(':'));
  if (credentials.get(user) !== text.slice(text.indexOf(':') + 1)) {
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
