// POST /sdapi/v1/txt2img: the request validated against the fork's model,
// the sampler resolved, the job run, and the answer { images, parameters,
// info } built as modules/api/api.py (text2imgapi) builds it: `parameters`
// echoes every field of the request as received (a seed of -1 stays -1;
// the seed used is in `info`).
import { randomInt } from 'node:crypto';
import { RequestValidationError, ServerError, requireBody } from './fastapi.mjs';
import { encodeImage } from './image-encoding.mjs';
import { processedInfo, infotext } from './processed.mjs';
import { renderImage } from './procedural-image.mjs';
import { bodyNotObject, validateField } from './pydantic.mjs';
import { isPyFloat } from './python-json.mjs';
import { resolveSampler } from './samplers.mjs';
import { TXT2IMG_FIELDS } from './txt2img-fields.mjs';

// Past this many pixels in one job a real server runs out of memory too.
const MAX_JOB_PIXELS = 1 << 26;
// The latent space is an eighth of the image's size in each direction.
const LATENT_SCALE = 8;

function validateRequest(flavour, body) {
  requireBody(flavour, body);
  let object = body;
  if (object === null || typeof object !== 'object' || Array.isArray(object) || isPyFloat(object)) {
    const asDict = flavour.pydantic === 1 ? validateField(1, { type: 'dict' }, object, ['body']) : { errors: true };
    if (asDict.errors) throw new RequestValidationError([bodyNotObject(flavour.pydantic, object)]);
    object = asDict.value;
  }
  const request = {};
  const errors = [];
  for (const field of TXT2IMG_FIELDS[flavour.name]) {
    if (!Object.hasOwn(object, field.name)) {
      request[field.name] = field.default;
      continue;
    }
    const result = validateField(flavour.pydantic, field, object[field.name], ['body', field.name]);
    if (result.errors) errors.push(...result.errors);
    else request[field.name] = result.value;
  }
  if (errors.length > 0) throw new RequestValidationError(errors);
  return request;
}

// processing.py, get_fixed_seed: only -1 (or nothing) asks for a random seed.
const fixedSeed = (seed) => (seed === null || seed === -1 ? randomInt(0, 4294967294) : seed);

/** Checks what processing would trip over and works out sizes and seeds. */
function planJob(flavour, request) {
  const p = { ...request };
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
  const seed = fixedSeed(p.seed);
  const subseed = fixedSeed(p.subseed);
  const strength = Number(p.subseed_strength);
  return {
    request: p,
    width,
    height,
    infoWidth: flavour.imageSizeFromRequest ? p.width : width,
    infoHeight: flavour.imageSizeFromRequest ? p.height : height,
    seeds: Array.from({ length: count }, (_, i) => seed + (strength === 0 ? i : 0)),
    subseeds: Array.from({ length: count }, (_, i) => subseed + i),
  };
}

/**
 * Handles one txt2img request; `fault` is the --fail-txt2img status or
 * null. Resolves with the answer's body.
 */
export async function txt2img({ flavour, generator, options, body, fault, log }) {
  const request = validateRequest(flavour, body);
  const { sampler, scheduler } = resolveSampler(flavour, request);
  const job = { ...planJob(flavour, request), sampler, scheduler };
  if (fault !== null) throw new ServerError('RuntimeError', `txt2img fails on purpose (--fail-txt2img ${fault})`, fault);

  const p = job.request;
  log(`txt2img ${job.width}x${job.height}, ${p.steps} steps, ${sampler}, seed ${job.seeds[0]}: ${JSON.stringify(p.prompt)}`);
  const draw = (index) => ({
    index,
    width: job.width,
    height: job.height,
    rgb: renderImage({ prompt: p.prompt, seed: job.seeds[index], width: job.width, height: job.height }),
  });
  const batch = (n) => Array.from({ length: p.batch_size }, (_, i) => draw(n * p.batch_size + i));
  const { images: drawn, timestamp } = await generator.run({
    steps: p.steps,
    iterations: Math.max(p.n_iter, 0),
    render: batch,
    preview: (n) => draw(n * p.batch_size),
  });
  job.timestamp = timestamp;

  const images = p.send_images ? await Promise.all(drawn.map((image) => encodeImage(flavour, options, image, infotext(job, image.index)))) : [];
  return { images, parameters: request, info: processedInfo(flavour, job, drawn.length) };
}
