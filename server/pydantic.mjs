// Field validation the way the servers' pydantic does it: version 1
// (the original web UI, SD.Next) coerces generously and words its errors
// "value is not a valid integer"; version 2 (Forge) is stricter in places
// ("3.5" is no integer) and words them "Input should be a valid integer".
// Each error is returned in the shape FastAPI puts into a 422's `detail`.
import { PyFloat, floatRepr, isPyFloat } from './python-json.mjs';

const isObject = (v) => v !== null && typeof v === 'object' && !Array.isArray(v) && !isPyFloat(v);
const isInt = (v) => typeof v === 'number' && Number.isInteger(v);
const BOOL_WORDS = new Map([
  ...['0', 'off', 'f', 'false', 'n', 'no'].map((w) => [w, false]),
  ...['1', 'on', 't', 'true', 'y', 'yes'].map((w) => [w, true]),
]);
// Python's int() and float() accept surrounding white space and digit underscores.
const PY_INT = /^\s*[+-]?\d(?:_?\d)*\s*$/;
const PY_FLOAT = /^\s*[+-]?(?:(?:\d(?:_?\d)*)?\.\d(?:_?\d)*|\d(?:_?\d)*\.?)(?:[eE][+-]?\d(?:_?\d)*)?\s*$/;
const PY_FLOAT_WORD = /^\s*[+-]?(?:inf|infinity|nan)\s*$/i;
const RUST_INT = /^\s*[+-]?\d+\s*$/;
const RUST_FLOAT = /^\s*[+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?\s*$/;

const ok = (value) => ({ value });
const bad = (v1, v2) => ({ error: { v1, v2 } });

function pyNumber(text) {
  const word = text.trim().toLowerCase().replace(/^[+-]/, '');
  const sign = text.trim().startsWith('-') ? -1 : 1;
  if (word === 'nan') return NaN;
  if (word === 'inf' || word === 'infinity') return sign * Infinity;
  return Number(text.trim().replaceAll('_', ''));
}

// Version 1: pydantic/validators.py. Each returns ok(value) or bad(...).
const V1 = {
  int(v) {
    const fail = bad({ msg: 'value is not a valid integer', type: 'type_error.integer' });
    if (typeof v === 'boolean') return ok(v ? 1 : 0);
    if (isInt(v)) return ok(v);
    if (isPyFloat(v)) return Number.isFinite(v.value) ? ok(Math.trunc(v.value)) : fail;
    if (typeof v === 'string' && PY_INT.test(v)) return ok(pyNumber(v));
    return fail;
  },
  float(v) {
    if (isPyFloat(v)) return ok(v);
    if (typeof v === 'number' || typeof v === 'boolean') return ok(new PyFloat(Number(v)));
    if (typeof v === 'string' && (PY_FLOAT.test(v) || PY_FLOAT_WORD.test(v))) return ok(new PyFloat(pyNumber(v)));
    return bad({ msg: 'value is not a valid float', type: 'type_error.float' });
  },
  str(v) {
    if (typeof v === 'string') return ok(v);
    if (typeof v === 'boolean') return ok(v ? 'True' : 'False');
    if (isInt(v)) return ok(String(v));
    if (isPyFloat(v)) return ok(floatRepr(v.value));
    return bad({ msg: 'str type expected', type: 'type_error.str' });
  },
  bool(v) {
    if (typeof v === 'boolean') return ok(v);
    const word = typeof v === 'string' ? v.toLowerCase() : Number(v);
    if (typeof v === 'string' && BOOL_WORDS.has(word)) return ok(BOOL_WORDS.get(word));
    if ((isInt(v) || isPyFloat(v)) && (word === 0 || word === 1)) return ok(word === 1);
    return bad({ msg: 'value could not be parsed to a boolean', type: 'type_error.bool' });
  },
  list(v) {
    return Array.isArray(v) ? ok(v) : bad({ msg: 'value is not a valid list', type: 'type_error.list' });
  },
  dict(v) {
    if (isObject(v)) return ok(v);
    // dict(v) also takes a list of key-value pairs
    if (Array.isArray(v) && v.every((pair) => Array.isArray(pair) && pair.length === 2 && typeof pair[0] === 'string')) {
      return ok(Object.fromEntries(v));
    }
    return bad({ msg: 'value is not a valid dict', type: 'type_error.dict' });
  },
  none: () => bad({ msg: 'none is not an allowed value', type: 'type_error.none.not_allowed' }),
  body: () => bad({ msg: 'value is not a valid dict', type: 'type_error.dict' }),
  missing: () => bad({ msg: 'field required', type: 'value_error.missing' }),
};

// Version 2: pydantic-core's lax mode for Python input, which is what
// FastAPI hands it (the body after json.loads, query strings as they are).
const V2 = {
  int(v) {
    if (typeof v === 'boolean') return ok(v ? 1 : 0);
    if (isInt(v)) return ok(v);
    if (isPyFloat(v)) {
      if (!Number.isFinite(v.value)) return bad(null, { type: 'finite_number', msg: 'Input should be a finite number' });
      if (!Number.isInteger(v.value)) {
        return bad(null, { type: 'int_from_float', msg: 'Input should be a valid integer, got a number with a fractional part' });
      }
      return ok(v.value);
    }
    if (typeof v === 'string') {
      return RUST_INT.test(v)
        ? ok(Number(v.trim()))
        : bad(null, { type: 'int_parsing', msg: 'Input should be a valid integer, unable to parse string as an integer' });
    }
    return bad(null, { type: 'int_type', msg: 'Input should be a valid integer' });
  },
  float(v) {
    if (isPyFloat(v)) return ok(v);
    if (typeof v === 'number' || typeof v === 'boolean') return ok(new PyFloat(Number(v)));
    if (typeof v === 'string') {
      return RUST_FLOAT.test(v) || PY_FLOAT_WORD.test(v)
        ? ok(new PyFloat(pyNumber(v)))
        : bad(null, { type: 'float_parsing', msg: 'Input should be a valid number, unable to parse string as a number' });
    }
    return bad(null, { type: 'float_type', msg: 'Input should be a valid number' });
  },
  str(v) {
    return typeof v === 'string' ? ok(v) : bad(null, { type: 'string_type', msg: 'Input should be a valid string' });
  },
  bool(v) {
    if (typeof v === 'boolean') return ok(v);
    if ((isInt(v) || isPyFloat(v)) && (Number(v) === 0 || Number(v) === 1)) return ok(Number(v) === 1);
    const word = typeof v === 'string' ? v.trim().toLowerCase() : null;
    if (BOOL_WORDS.has(word)) return ok(BOOL_WORDS.get(word));
    if (typeof v === 'string' || typeof v === 'number' || isPyFloat(v)) {
      return bad(null, { type: 'bool_parsing', msg: 'Input should be a valid boolean, unable to interpret input' });
    }
    return bad(null, { type: 'bool_type', msg: 'Input should be a valid boolean' });
  },
  list(v) {
    return Array.isArray(v) ? ok(v) : bad(null, { type: 'list_type', msg: 'Input should be a valid list' });
  },
  dict(v) {
    return isObject(v) ? ok(v) : bad(null, { type: 'dict_type', msg: 'Input should be a valid dictionary' });
  },
  body: () => bad(null, { type: 'model_attributes_type', msg: 'Input should be a valid dictionary or object to extract fields from' }),
  missing: () => bad(null, { type: 'missing', msg: 'Field required' }),
};

const VERSIONS = { 1: V1, 2: V2 };

/** One 422 `detail` entry in the layout of the given pydantic version. */
function entry(version, error, loc, input) {
  if (version === 1) return { loc, msg: error.v1.msg, type: error.v1.type };
  return { type: error.v2.type, loc, msg: error.v2.msg, input, ...(error.v2.ctx ? { ctx: error.v2.ctx } : {}) };
}

/**
 * Validates one value against a field type: "int", "float", "str",
 * "bool", "list", "list[str]", "dict", "int|str" or "any". Returns
 * { value } or { errors: [422 detail entries] }.
 */
export function validateField(version, field, value, loc) {
  const rules = VERSIONS[version];
  if (value === null) {
    // Version 1 lets None through wherever the default is None.
    if (field.optional || (version === 1 && field.default === null) || field.type === 'any') return { value: null };
    if (version === 1) return { errors: [entry(1, V1.none().error, loc, value)] };
  }
  if (field.type === 'any') return { value };
  if (field.type === 'int|str') {
    const asInt = rules.int(value);
    if (!asInt.error) return asInt;
    const asStr = rules.str(value);
    if (!asStr.error) return asStr;
    return { errors: [entry(version, asInt.error, loc, value), entry(version, asStr.error, loc, value)] };
  }
  if (field.type === 'list[str]') {
    const list = rules.list(value);
    if (list.error) return { errors: [entry(version, list.error, loc, value)] };
    const items = list.value.map((item, i) => ({ i, result: rules.str(item) }));
    const errors = items.filter((x) => x.result.error).map((x) => entry(version, x.result.error, [...loc, x.i], list.value[x.i]));
    return errors.length > 0 ? { errors } : { value: items.map((x) => x.result.value) };
  }
  const result = rules[field.type](value);
  return result.error ? { errors: [entry(version, result.error, loc, value)] } : result;
}

/** The 422 entry for a request whose body is not a JSON object. */
export const bodyNotObject = (version, input) => entry(version, VERSIONS[version].body().error, ['body'], input);

/** The 422 entry for a request with no body at all (or JSON null). */
export const bodyMissing = (version) => entry(version, VERSIONS[version].missing().error, ['body'], null);
