// Turns a txt2img request body into a complete request, every missing or
// null field at its default, or rejects it the way the API does (422).
import { randomInt } from 'node:crypto';
import { ApiError } from './api-error.mjs';
import { DEFAULT_SAMPLER, findSampler } from './catalog.mjs';

const isString = (v) => typeof v === 'string';
const isBoolean = (v) => typeof v === 'boolean';
const isNumber = (v) => typeof v === 'number' && Number.isFinite(v);
const integerIn = (min, max) => (v) => Number.isInteger(v) && v >= min && v <= max;

const FIELDS = {
  prompt: { fallback: '', valid: isString, rule: 'a string' },
  negative_prompt: { fallback: '', valid: isString, rule: 'a string' },
  seed: { fallback: -1, valid: integerIn(-1, Number.MAX_SAFE_INTEGER), rule: 'an integer, -1 for a random seed' },
  steps: { fallback: 50, valid: integerIn(1, 150), rule: 'an integer from 1 to 150' },
  cfg_scale: { fallback: 7.0, valid: isNumber, rule: 'a number' },
  width: { fallback: 512, valid: integerIn(1, 4096), rule: 'an integer from 1 to 4096' },
  height: { fallback: 512, valid: integerIn(1, 4096), rule: 'an integer from 1 to 4096' },
  sampler_name: { fallback: DEFAULT_SAMPLER, valid: isString, rule: 'a string' },
  batch_size: { fallback: 1, valid: integerIn(1, 8), rule: 'an integer from 1 to 8' },
  n_iter: { fallback: 1, valid: integerIn(1, 8), rule: 'an integer from 1 to 8' },
  send_images: { fallback: true, valid: isBoolean, rule: 'true or false' },
  save_images: { fallback: false, valid: isBoolean, rule: 'true or false' },
};

function invalid(detail, rawBody, errors) {
  return new ApiError(422, { error: 'RequestValidationError', detail, body: rawBody, errors });
}

export function parseTxt2imgRequest(rawBody) {
  let body;
  try {
    body = rawBody.trim() === '' ? {} : JSON.parse(rawBody);
  } catch (e) {
    throw invalid(`the body is not JSON: ${e.message}`, rawBody, [
      { loc: ['body'], msg: e.message, type: 'json_invalid' },
    ]);
  }
  if (body === null || typeof body !== 'object' || Array.isArray(body)) {
    throw invalid('the body must be a JSON object', rawBody, [
      { loc: ['body'], msg: 'not an object', type: 'dict_type' },
    ]);
  }

  const request = {};
  const errors = [];
  for (const [name, field] of Object.entries(FIELDS)) {
    const value = body[name] ?? field.fallback;
    if (field.valid(value)) {
      request[name] = value;
    } else {
      errors.push({ loc: ['body', name], msg: `${name} must be ${field.rule}`, type: 'value_error' });
    }
  }
  if (errors.length > 0) {
    throw invalid(errors.map((e) => e.msg).join('; '), rawBody, errors);
  }

  const sampler = findSampler(request.sampler_name);
  if (!sampler) {
    throw new ApiError(404, { error: 'HTTPException', detail: `Sampler not found: ${request.sampler_name}` });
  }
  request.sampler_name = sampler;
  if (request.seed === -1) request.seed = randomInt(0, 2 ** 32);
  return request;
}
