// Request fields coerced and refused as the forks' pydantic does it, for the
// cases clients meet: version 1 (the original web UI, SD.Next) takes "3"
// and 16.9 for an integer and a number for a text; version 2 (Forge) refuses
// the last two. Errors come in the shape FastAPI puts into a 422's `detail`.

const isObject = (v) => v !== null && typeof v === 'object' && !Array.isArray(v);
const BOOL_WORDS = new Map([
  ...['0', 'off', 'f', 'false', 'n', 'no'].map((w) => [w, false]),
  ...['1', 'on', 't', 'true', 'y', 'yes'].map((w) => [w, true]),
]);
const INTEGER_TEXT = /^\s*[+-]?\d+\s*$/;
const NUMBER_TEXT = /^\s*[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?\s*$/;

const ok = (value) => ({ value });
// [pydantic 1 type, message], [pydantic 2 type, message]
const bad = (v1, v2) => ({ error: { v1, v2 } });

const RULES = {
  int(v, version) {
    if (typeof v === 'boolean') return ok(Number(v));
    if (Number.isInteger(v)) return ok(v);
    if (typeof v === 'number') {
      return version === 1 ? ok(Math.trunc(v)) : bad(null, ['int_from_float', 'Input should be a valid integer, got a number with a fractional part']);
    }
    if (typeof v === 'string' && INTEGER_TEXT.test(v)) return ok(Number(v));
    if (typeof v === 'string') return bad(['type_error.integer', 'value is not a valid integer'], ['int_parsing', 'Input should be a valid integer, unable to parse string as an integer']);
    return bad(['type_error.integer', 'value is not a valid integer'], ['int_type', 'Input should be a valid integer']);
  },
  float(v) {
    if (typeof v === 'number' || typeof v === 'boolean') return ok(Number(v));
    if (typeof v === 'string' && NUMBER_TEXT.test(v)) return ok(Number(v));
    return bad(['type_error.float', 'value is not a valid float'], ['float_parsing', 'Input should be a valid number, unable to parse string as a number']);
  },
  str(v, version) {
    if (typeof v === 'string') return ok(v);
    if (version === 1 && typeof v === 'number') return ok(String(v));
    if (version === 1 && typeof v === 'boolean') return ok(v ? 'True' : 'False');
    return bad(['type_error.str', 'str type expected'], ['string_type', 'Input should be a valid string']);
  },
  bool(v) {
    if (typeof v === 'boolean') return ok(v);
    if (v === 0 || v === 1) return ok(v === 1);
    const word = typeof v === 'string' ? v.trim().toLowerCase() : null;
    if (BOOL_WORDS.has(word)) return ok(BOOL_WORDS.get(word));
    return bad(['type_error.bool', 'value could not be parsed to a boolean'], ['bool_parsing', 'Input should be a valid boolean, unable to interpret input']);
  },
  list: (v) => (Array.isArray(v) ? ok(v) : bad(['type_error.list', 'value is not a valid list'], ['list_type', 'Input should be a valid list'])),
  dict: (v) => (isObject(v) ? ok(v) : bad(['type_error.dict', 'value is not a valid dict'], ['dict_type', 'Input should be a valid dictionary'])),
  any: (v) => ok(v),
};

// What pydantic 2 says of null in a field that is not Optional.
const NULL_V2 = {
  int: ['int_type', 'Input should be a valid integer'],
  float: ['float_type', 'Input should be a valid number'],
  str: ['string_type', 'Input should be a valid string'],
  bool: ['bool_type', 'Input should be a valid boolean'],
  list: ['list_type', 'Input should be a valid list'],
  dict: ['dict_type', 'Input should be a valid dictionary'],
};

/** One 422 `detail` entry in the layout of the given pydantic version. */
function entry(version, error, loc, input) {
  const [type, msg] = version === 1 ? error.v1 : error.v2;
  return version === 1 ? { loc, msg, type } : { type, loc, msg, input };
}

/**
 * Validates one value against a field { type, optional }: "int", "float",
 * "str", "bool", "list", "dict" or "any". Returns { value } or { errors }.
 */
export function validateField(version, field, value, loc) {
  if (value === null) {
    if (field.optional || field.type === 'any') return { value: null };
    const none = bad(['type_error.none.not_allowed', 'none is not an allowed value'], NULL_V2[field.type]);
    return { errors: [entry(version, none.error, loc, value)] };
  }
  const result = RULES[field.type](value, version);
  return result.error ? { errors: [entry(version, result.error, loc, value)] } : result;
}

/** The 422 entry for a request whose body is not a JSON object. */
export const bodyNotObject = (version, input) =>
  entry(version, bad(['type_error.dict', 'value is not a valid dict'], ['model_attributes_type', 'Input should be a valid dictionary or object to extract fields from']).error, ['body'], input);

/** The 422 entry for a request with no body at all (or JSON null). */
export const bodyMissing = (version) => entry(version, bad(['value_error.missing', 'field required'], ['missing', 'Field required']).error, ['body'], null);
