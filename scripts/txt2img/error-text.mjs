// What a generation server said when it refused or failed, in words for a
// person. The servers put it in different places: FastAPI's own errors in
// `detail` (a text, or for a 422 a list of {loc, msg, type} entries); the
// original web UI's exception handler in `errors`, Forge's in `message`,
// both with an empty `detail` and the exception's class in `error`; a
// proxy in front of them answers with an HTML page.

const oneLine = (text) => text.replace(/\s+/g, ' ').trim();

/** Up to `limit` characters of a text flattened to one line. */
export function shorten(text, limit = 300) {
  const flat = oneLine(text);
  return flat.length > limit ? `${flat.slice(0, limit)}…` : flat;
}

/** Text from a page or plain body: tags and entities gone, one line. */
function plainText(text) {
  const withoutTags = text.replace(/<(script|style)[\s\S]*?<\/\1>/gi, ' ').replace(/<[^>]*>/g, ' ');
  const entities = { amp: '&', lt: '<', gt: '>', quot: '"', apos: "'", nbsp: ' ' };
  return oneLine(withoutTags.replace(/&(amp|lt|gt|quot|apos|nbsp);/g, (_, name) => entities[name]));
}

const isEntry = (e) => e !== null && typeof e === 'object' && Array.isArray(e.loc) && typeof e.msg === 'string';

/** "steps", "styles[0]" or "the request body (at character 12)" for a 422 entry's loc. */
function place(loc) {
  const [where, ...path] = loc;
  if (where === 'body' && path.length === 1 && typeof path[0] === 'number') return `the request body (at character ${path[0]})`;
  if (path.length === 0) return 'the request';
  return path.map((part, i) => (typeof part === 'number' ? `[${part}]` : `${i > 0 ? '.' : ''}${part}`)).join('');
}

/** "steps: value is not a valid integer; width: ..." for FastAPI's 422 entries. */
export function validationText(entries) {
  if (!Array.isArray(entries) || entries.length === 0 || !entries.every(isEntry)) return null;
  return entries
    .map((e) => {
      const reason = typeof e.ctx?.error === 'string' ? `${e.msg} (${e.ctx.error})` : e.msg;
      return `${place(e.loc)}: ${oneLine(reason)}`;
    })
    .join('; ');
}

/** A readable text for any JSON value, never raw JSON. */
function textOf(value) {
  if (typeof value === 'string') return oneLine(value);
  if (typeof value === 'number' || typeof value === 'boolean') return String(value);
  if (Array.isArray(value)) return validationText(value) ?? value.map(textOf).filter(Boolean).join('; ');
  if (value && typeof value === 'object') {
    for (const key of ['detail', 'message', 'msg', 'errors', 'error']) {
      const text = textOf(value[key]);
      if (text) return text;
    }
    return Object.entries(value)
      .map(([key, item]) => [key, textOf(item)])
      .filter(([, text]) => text)
      .map(([key, text]) => `${key}: ${text}`)
      .join(', ');
  }
  return '';
}

/**
 * What the server said in an error answer: { refused } for a validation
 * failure (422 entries), { said } for any other message, or null when it
 * said nothing.
 */
export function serverSaid(bodyText) {
  let body;
  try {
    body = JSON.parse(bodyText);
  } catch {
    const text = plainText(bodyText);
    return text ? { said: text } : null;
  }
  const refused = validationText(Array.isArray(body) ? body : body?.detail);
  if (refused) return { refused };
  if (body === null || typeof body !== 'object' || Array.isArray(body)) {
    const text = textOf(body);
    return text ? { said: text } : null;
  }
  const detail = textOf(body.detail);
  if (detail) return { said: detail };
  const message = textOf(body.message) || textOf(body.errors);
  const type = typeof body.error === 'string' ? body.error.trim() : '';
  if (message) return { said: type && type !== 'HTTPException' && !message.includes(type) ? `${type}: ${message}` : message };
  const rest = textOf({ ...body, detail: undefined, body: undefined });
  return rest ? { said: rest } : null;
}
