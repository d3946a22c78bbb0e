// The txt2img answer's `info`: Processed.js() of modules/processing.py,
// a json.dumps text with the fork's keys, and the per-image parameter
// texts (infotexts) in the layout of create_infotext.
import { MODEL } from './catalog.mjs';
import { dumpJson, pyStr } from './python-json.mjs';

// modules/infotext_utils.py, quote: values with , : or a line break are JSON-quoted.
const quote = (text) => (/[,:\n]/.test(text) ? dumpJson(text, { compact: true }) : text);

/** The parameters text of the index-th image. */
export function infotext(job, index) {
  const { request } = job;
  const params = [
    ['Steps', request.steps],
    ['Sampler', job.sampler],
    ['Schedule type', job.scheduler],
    ['CFG scale', request.cfg_scale],
    ['Seed', job.seeds[index]],
    ['Size', `${job.infoWidth}x${job.infoHeight}`],
    ['Model hash', MODEL.shorthash],
    ['Model', MODEL.name],
  ].filter(([, value]) => value !== null && value !== undefined);
  const negative = request.negative_prompt ? `\nNegative prompt: ${request.negative_prompt}` : '';
  const text = params.map(([key, value]) => `${key}: ${quote(pyStr(value))}`).join(', ');
  return `${request.prompt}${negative}\n${text}`.trim();
}

/** The keys every fork's `info` starts with, in their order. */
function sharedInfo(job) {
  const { request } = job;
  return {
    prompt: request.prompt,
    all_prompts: job.seeds.map(() => request.prompt),
    negative_prompt: request.negative_prompt,
    all_negative_prompts: job.seeds.map(() => request.negative_prompt),
    seed: job.seeds[0],
    all_seeds: job.seeds,
    subseed: job.subseeds[0],
    all_subseeds: job.subseeds,
    subseed_strength: request.subseed_strength,
    width: job.infoWidth,
    height: job.infoHeight,
    sampler_name: job.sampler,
  };
}

function a1111Info(job, infotexts) {
  const { request } = job;
  return {
    ...sharedInfo(job),
    cfg_scale: request.cfg_scale,
    steps: request.steps,
    batch_size: request.batch_size,
    restore_faces: request.restore_faces ?? false,
    face_restoration_model: null,
    sd_model_name: MODEL.name,
    sd_model_hash: MODEL.shorthash,
    sd_vae_name: null,
    sd_vae_hash: null,
    seed_resize_from_w: request.seed_resize_from_w,
    seed_resize_from_h: request.seed_resize_from_h,
    denoising_strength: request.denoising_strength,
    extra_generation_params: job.scheduler ? { 'Schedule type': job.scheduler } : {},
    index_of_first_image: 0,
    infotexts,
    styles: request.styles ?? [],
    job_timestamp: job.timestamp,
    clip_skip: 1,
    is_using_inpainting_conditioning: false,
    // program_version(): the checkout's git tag, None without one
    version: null,
  };
}

function sdnextInfo(job, infotexts) {
  const { request } = job;
  return {
    ...sharedInfo(job),
    cfg_scale: request.cfg_scale > 1 ? request.cfg_scale : null,
    cfg_end: request.cfg_end < 0 ? request.cfg_end : null,
    steps: request.steps || 0,
    batch_size: Math.max(1, request.batch_size),
    detailer: request.detailer_enabled || false,
    detailer_model: null,
    sd_model_hash: MODEL.shorthash,
    seed_resize_from_w: request.seed_resize_from_w,
    seed_resize_from_h: request.seed_resize_from_h,
    denoising_strength: request.denoising_strength,
    extra_generation_params: {},
    index_of_first_image: 0,
    infotexts,
    styles: request.styles,
    job_timestamp: job.timestamp,
    clip_skip: request.clip_skip,
  };
}

/** Processed.js() for a finished job that gave `imageCount` images. */
export function processedInfo(flavour, job, imageCount) {
  const infotexts = Array.from({ length: imageCount }, (_, i) => infotext(job, i));
  const info = flavour.name === 'sdnext' ? sdnextInfo(job, infotexts) : a1111Info(job, infotexts);
  return dumpJson(info);
}
