// The txt2img request as each fork's model reads it (modules/api/models.py
// over the processing class's fields, every one Optional), limited to the
// fields a job here uses; the answer's `parameters` echoes these. Then the
// checks processing makes before it starts, with the exception each raises.
import { randomBytes } from 'node:crypto';
import { HTTPException, RequestValidationError, ServerError, requireBody } from './http-framework.mjs';
import { bodyNotObject, validateField } from './field-validation.mjs';

// [name, type, default, optional]
const FIELDS = [
  ['prompt', 'str', ''],
  ['negative_prompt', 'str', ''],
  ['styles', 'list', null],
  ['seed', 'int', -1],
  ['subseed', 'int', -1],
  ['subseed_strength', 'float', 0],
  ['seed_resize_from_h', 'int', -1],
  ['seed_resize_from_w', 'int', -1],
  ['sampler_name', 'str', null],
  ['scheduler', 'str', null],
  ['batch_size', 'int', 1],
  ['n_iter', 'int', 1],
  ['steps', 'int', 50],
  ['cfg_scale', 'float', 7],
  ['width', 'int', 512],
  ['height', 'int', 512],
  ['restore_faces', 'bool', null],
  ['denoising_strength', 'float', 0.75],
  ['override_settings', 'dict', null],
  ['sampler_index', 'str', 'Euler', false],
  ['script_name', 'str', null],
  ['script_args', 'list', [], false],
  ['send_images', 'bool', true, false],
  ['save_images', 'bool', false, false],
  ['alwayson_scripts', 'dict', {}, false],
];

// Where a fork's model differs: other defaults, and fields of its own.
const DIFFERENCES = {
  original: {},
  // Forge's dataclasses add the Flux guidance.
  forge: { distilled_cfg_scale: ['float', 3.5] },
  // SD.Next: modules/processing_class.py and its models.py
  sdnext: {
    sd_model_checkpoint: ['str', null],
    steps: ['int', 20],
    width: ['int', 1024],
    height: ['int', 1024],
    cfg_scale: ['float', 6],
    cfg_end: ['float', 1],
    clip_skip: ['int', 1],
    sampler_index: ['any', 0, false],
    sampler_name: ['str', 'Default', false],
    styles: ['list', []],
    restore_faces: ['bool', false],
    detailer_enabled: ['bool', false],
    denoising_strength: ['float', 0.3],
    script_name: ['str', ''],
  },
};

function fieldsOf(flavour) {
  const rows = FIELDS.map(([name, ...rest]) => [name, ...(DIFFERENCES[flavour.name][name] ?? rest)]);
  const added = Object.entries(DIFFERENCES[flavour.name]).filter(([name]) => !FIELDS.some(([known]) => known === name));
  return [...rows, ...added.map(([name, rest]) => [name, ...rest])].map(([name, type, value, optional = true]) => ({ name, type, default: value, optional }));
}

/** The request's fields, coerced as the fork's pydantic does; throws its 422. */
export function validateRequest(flavour, body) {
  requireBody(flavour, body);
  if (body === null || typeof body !== 'object' || Array.isArray(body)) {
    throw new RequestValidationError([bodyNotObject(flavour.pydantic, body)]);
  }
  const request = {};
  const errors = [];
  for (const field of fieldsOf(flavour)) {
    if (!Object.hasOwn(body, field.name)) {
      request[field.name] = field.default;
      continue;
    }
    const result = validateField(flavour.pydantic, field, body[field.name], ['body', field.name]);
    if (result.errors) errors.push(...result.errors);
    else request[field.name] = result.value;
  }
  if (errors.length > 0) throw new RequestValidationError(errors);
  return request;
}

// The latent space is an eighth of the image's size in each direction.
const LATENT_SCALE = 8;
// Past this many pixels in one job a real server runs out of memory too.
const MAX_JOB_PIXELS = 1 << 26;

/** A random seed below `limit` (at most 2^53, where JavaScript still counts exactly). */
const randomSeed = (limit) => Number(randomBytes(8).readBigUInt64BE() % BigInt(limit));

/** The seeds of a request; processing.py, get_fixed_seed: only -1 (or nothing) asks for a random one. */
const fixedSeed = (seed, limit) => (seed === null || seed === -1 ? randomSeed(limit) : seed);

/** Checks what processing would trip over and works out sizes and seeds (random ones below `seedLimit`). */
export function planJob(flavour, request, seedLimit) {
  const p = { ...request };
  // modules/api/api.py, get_script: a script the server does not have
  if (p.script_name) throw new HTTPException(422, `Script '${p.script_name}' not found`);
  if (flavour.name === 'sdnext') {
    // StableDiffusionProcessingTxt2Img.init: `self.width = self.width or 1024`
    p.width = p.width || 1024;
    p.height = p.height || 1024;
  }
  for (const name of ['prompt', 'negative_prompt', 'steps', 'cfg_scale', 'width', 'height', 'batch_size', 'n_iter', 'subseed_strength']) {
    if (p[name] === null) throw new ServerError('TypeError', `${name} is None`);
  }
  // setup_conds divides by the step count.
  if (p.steps === 0) throw new ServerError('ZeroDivisionError', 'integer division or modulo by zero');
  if (p.steps < 0) throw new ServerError('RuntimeError', `cannot sample ${p.steps} steps`);
  const width = Math.floor(p.width / LATENT_SCALE) * LATENT_SCALE;
  const height = Math.floor(p.height / LATENT_SCALE) * LATENT_SCALE;
  const count = p.batch_size * p.n_iter;
  // process_images ends with Processed(seed=p.all_seeds[0]), an empty list when nothing was asked for.
  if (count <= 0) throw new ServerError('IndexError', 'list index out of range');
  if (width <= 0 || height <= 0) throw new ServerError('RuntimeError', `cannot draw an image of ${width} x ${height} pixels`);
  if (width * height * count > MAX_JOB_PIXELS) {
    throw new ServerError('OutOfMemoryError', `out of memory for ${count} images of ${width} x ${height} pixels`);
  }
  // Room for one seed per image above a random one.
  const seed = fixedSeed(p.seed, seedLimit - count);
  const subseed = fixedSeed(p.subseed, seedLimit - count);
  return {
    request: p,
    width,
    height,
    seeds: Array.from({ length: count }, (_, i) => seed + (Number(p.subseed_strength) === 0 ? i : 0)),
    subseeds: Array.from({ length: count }, (_, i) => subseed + i),
  };
}
