// JSON as CPython's json module reads and writes it. The servers the
// stand-in imitates are Python programs: their 422 bodies carry the
// position and message of CPython's parser, they accept NaN and Infinity,
// and their texts (the txt2img `info`) are json.dumps output, with ", "
// separators, \u escapes and floats that keep their ".0".

/** A Python float, so that 7.0 is written back as 7.0 rather than 7. */
export class PyFloat {
  constructor(value) {
    this.value = value;
  }

  valueOf() {
    return this.value;
  }
}

export const isPyFloat = (value) => value instanceof PyFloat;

/** CPython's json.JSONDecodeError: msg, pos in code points, lineno and colno. */
export class JsonDecodeError extends Error {
  constructor(msg, chars, pos) {
    const before = chars.slice(0, pos);
    const lineno = before.filter((c) => c === '\n').length + 1;
    const colno = pos - before.lastIndexOf('\n');
    super(`${msg}: line ${lineno} column ${colno} (char ${pos})`);
    Object.assign(this, { msg, doc: chars.join(''), pos, lineno, colno });
  }
}

const WHITESPACE = new Set([' ', '\t', '\n', '\r']);
const ESCAPES = { '"': '"', '\\': '\\', '/': '/', b: '\b', f: '\f', n: '\n', r: '\r', t: '\t' };
const NUMBER = /^-?(?:0|[1-9]\d*)(\.\d+)?([eE][-+]?\d+)?/;
const CONSTANTS = [
  ['null', null],
  ['true', true],
  ['false', false],
  ['NaN', new PyFloat(NaN)],
  ['Infinity', new PyFloat(Infinity)],
  ['-Infinity', new PyFloat(-Infinity)],
];

/** Signals "no value starts here", which the caller turns into "Expecting value". */
class NoValue {
  constructor(pos) {
    this.pos = pos;
  }
}

function setKey(object, key, value) {
  Object.defineProperty(object, key, { value, enumerable: true, writable: true, configurable: true });
}

/** Parses like json.loads on a str; positions count code points, as Python's do. */
export function parseJson(text) {
  const chars = Array.from(text);
  const fail = (msg, pos) => {
    throw new JsonDecodeError(msg, chars, pos);
  };
  const skipWhitespace = (i) => {
    while (i < chars.length && WHITESPACE.has(chars[i])) i++;
    return i;
  };
  const startsWith = (word, i) => chars.slice(i, i + word.length).join('') === word;

  function scanString(i) {
    // i is just past the opening quote
    const begin = i - 1;
    let out = '';
    for (;;) {
      if (i >= chars.length) fail('Unterminated string starting at', begin);
      const c = chars[i];
      if (c === '"') return [out, i + 1];
      if (c.codePointAt(0) < 0x20) fail('Invalid control character at', i);
      if (c !== '\\') {
        out += c;
        i++;
        continue;
      }
      if (i + 1 >= chars.length) fail('Unterminated string starting at', begin);
      const e = chars[i + 1];
      if (e !== 'u') {
        if (!(e in ESCAPES)) fail('Invalid \\escape', i);
        out += ESCAPES[e];
        i += 2;
        continue;
      }
      const hex = chars.slice(i + 2, i + 6).join('');
      if (i + 6 >= chars.length || !/^[0-9a-fA-F]{4}$/.test(hex)) fail('Invalid \\uXXXX escape', i + 1);
      out += String.fromCharCode(parseInt(hex, 16));
      i += 6;
    }
  }

  function scanValue(i) {
    const c = chars[i];
    if (c === '"') return scanString(i + 1);
    if (c === '{') return scanObject(i + 1);
    if (c === '[') return scanArray(i + 1);
    for (const [word, value] of CONSTANTS) {
      if (startsWith(word, i)) return [value, i + word.length];
    }
    const match = NUMBER.exec(chars.slice(i, i + 400).join(''));
    if (!match) throw new NoValue(i);
    const isFloat = match[1] !== undefined || match[2] !== undefined;
    return [isFloat ? new PyFloat(Number(match[0])) : Number(match[0]), i + match[0].length];
  }

  function scanMember(i) {
    try {
      return scanValue(i);
    } catch (e) {
      if (e instanceof NoValue) fail('Expecting value', e.pos);
      throw e;
    }
  }

  function scanObject(i) {
    const object = {};
    i = skipWhitespace(i);
    if (chars[i] === '}') return [object, i + 1];
    for (;;) {
      if (chars[i] !== '"') fail('Expecting property name enclosed in double quotes', i);
      const [key, afterKey] = scanString(i + 1);
      i = skipWhitespace(afterKey);
      if (chars[i] !== ':') fail("Expecting ':' delimiter", i);
      const [value, afterValue] = scanMember(skipWhitespace(i + 1));
      setKey(object, key, value);
      i = skipWhitespace(afterValue);
      if (chars[i] === '}') return [object, i + 1];
      if (chars[i] !== ',') fail("Expecting ',' delimiter", i);
      i = skipWhitespace(i + 1);
    }
  }

  function scanArray(i) {
    const array = [];
    i = skipWhitespace(i);
    if (chars[i] === ']') return [array, i + 1];
    for (;;) {
      const [value, afterValue] = scanMember(i);
      array.push(value);
      i = skipWhitespace(afterValue);
      if (chars[i] === ']') return [array, i + 1];
      if (chars[i] !== ',') fail("Expecting ',' delimiter", i);
      i = skipWhitespace(i + 1);
    }
  }

  const [value, end] = scanMember(skipWhitespace(0));
  const rest = skipWhitespace(end);
  if (rest !== chars.length) fail('Extra data', rest);
  return value;
}

/** Python's repr of a float: shortest round trip, exponent outside 1e-4..1e16. */
export function floatRepr(x) {
  if (Number.isNaN(x)) return 'NaN';
  if (!Number.isFinite(x)) return x > 0 ? 'Infinity' : '-Infinity';
  if (x === 0) return Object.is(x, -0) ? '-0.0' : '0.0';
  const [mantissa, exponentText] = x.toExponential().split('e');
  const exponent = Number(exponentText);
  const sign = mantissa.startsWith('-') ? '-' : '';
  const digits = mantissa.replace('-', '').replace('.', '');
  if (exponent >= -4 && exponent < 16) {
    if (exponent < 0) return `${sign}0.${'0'.repeat(-exponent - 1)}${digits}`;
    const whole = digits.slice(0, exponent + 1).padEnd(exponent + 1, '0');
    return `${sign}${whole}.${digits.slice(exponent + 1) || '0'}`;
  }
  const fraction = digits.length > 1 ? `.${digits.slice(1)}` : '';
  const magnitude = String(Math.abs(exponent)).padStart(2, '0');
  return `${sign}${digits[0]}${fraction}e${exponent < 0 ? '-' : '+'}${magnitude}`;
}

/** The Python `str()` of a value as the stand-in keeps it. */
export function pyStr(value) {
  if (value === null || value === undefined) return 'None';
  if (value === true) return 'True';
  if (value === false) return 'False';
  if (value instanceof PyFloat) return floatRepr(value.value);
  return String(value);
}

function quote(text, ensureAscii) {
  let out = '"';
  for (const unit of text) {
    const code = unit.codePointAt(0);
    const simple = { '"': '\\"', '\\': '\\\\', '\n': '\\n', '\r': '\\r', '\t': '\\t', '\b': '\\b', '\f': '\\f' }[unit];
    if (simple) out += simple;
    else if (code < 0x20 || (ensureAscii && code > 0x7e)) {
      for (let i = 0; i < unit.length; i++) out += `\\u${unit.charCodeAt(i).toString(16).padStart(4, '0')}`;
    } else out += unit;
  }
  return `${out}"`;
}

/** Thrown for NaN or Infinity where Starlette's JSONResponse refuses them. */
export class OutOfRangeFloat extends Error {}

/**
 * Writes JSON as Python does. Defaults are json.dumps's (", " and ": ",
 * ASCII only, NaN allowed); `compact` is Starlette's JSONResponse (",", ":",
 * UTF-8, NaN refused).
 */
export function dumpJson(value, { compact = false } = {}) {
  const [itemSeparator, keySeparator] = compact ? [',', ':'] : [', ', ': '];
  const write = (v) => {
    if (v === null || v === undefined) return 'null';
    if (v === true) return 'true';
    if (v === false) return 'false';
    if (v instanceof PyFloat || (typeof v === 'number' && !Number.isInteger(v))) {
      const x = Number(v);
      if (compact && !Number.isFinite(x)) throw new OutOfRangeFloat('Out of range float values are not JSON compliant');
      return floatRepr(x);
    }
    if (typeof v === 'number') return Number.isSafeInteger(v) ? String(v) : BigInt(v).toString();
    if (typeof v === 'string') return quote(v, !compact);
    if (Array.isArray(v)) return `[${v.map(write).join(itemSeparator)}]`;
    const entries = Object.entries(v).map(([k, item]) => `${quote(k, !compact)}${keySeparator}${write(item)}`);
    return `{${entries.join(itemSeparator)}}`;
  };
  return write(value);
}
