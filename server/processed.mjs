// The txt2img answer's `info`: Processed.js() of modules/processing.py with
// the fork's keys, and the per-image parameter texts (infotexts) in the
// layout of create_infotext.

// modules/infotext_utils.py, quote: values with , : or a line break are JSON-quoted.
const quote = (text) => (/[,:\n]/.test(text) ? JSON.stringify(text) : text);

/** The size the fork reports: as asked, or (SD.Next, and backends that round) as drawn. */
function reportedSize(flavour, job) {
  const asDrawn = !flavour.imageSizeFromRequest || job.sizeAsDrawn;
  return asDrawn ? [job.width, job.height] : [job.request.width, job.request.height];
}

/** The parameters text of one image. */
export function infotext(flavour, job, image) {
  const { request } = job;
  const [width, height] = reportedSize(flavour, job);
  const params = [
    ['Steps', request.steps],
    ['Sampler', job.sampler],
    ['Schedule type', job.scheduler],
    ['CFG scale', request.cfg_scale],
    ['Seed', image.seed],
    ['Size', `${width}x${height}`],
    ['Model hash', job.model?.hash],
    ['Model', job.model?.model_name],
  ].filter(([, value]) => value !== null && value !== undefined);
  const negative = request.negative_prompt ? `\nNegative prompt: ${request.negative_prompt}` : '';
  const text = params.map(([key, value]) => `${key}: ${quote(String(value))}`).join(', ');
  return `${request.prompt}${negative}\n${text}`.trim();
}

/** The keys every fork's `info` starts with, in their order. */
function sharedInfo(flavour, job, images) {
  const { request } = job;
  const [width, height] = reportedSize(flavour, job);
  const seeds = images.length > 0 ? images.map((image) => image.seed) : job.seeds;
  return {
    prompt: request.prompt,
    all_prompts: seeds.map(() => request.prompt),
    negative_prompt: request.negative_prompt,
    all_negative_prompts: seeds.map(() => request.negative_prompt),
    seed: seeds[0],
    all_seeds: seeds,
    subseed: job.subseeds[0],
    all_subseeds: job.subseeds.slice(0, seeds.length),
    subseed_strength: request.subseed_strength,
    width,
    height,
    sampler_name: job.sampler,
  };
}

function a1111Info(flavour, job, images, infotexts) {
  const { request, model } = job;
  return {
    ...sharedInfo(flavour, job, images),
    cfg_scale: request.cfg_scale,
    steps: request.steps,
    batch_size: request.batch_size,
    restore_faces: request.restore_faces ?? false,
    face_restoration_model: null,
    sd_model_name: model?.model_name ?? null,
    sd_model_hash: model?.hash ?? null,
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

function sdnextInfo(flavour, job, images, infotexts) {
  const { request } = job;
  return {
    ...sharedInfo(flavour, job, images),
    cfg_scale: request.cfg_scale > 1 ? request.cfg_scale : null,
    cfg_end: request.cfg_end < 0 ? request.cfg_end : null,
    steps: request.steps || 0,
    batch_size: Math.max(1, request.batch_size),
    detailer: request.detailer_enabled || false,
    detailer_model: null,
    sd_model_hash: job.model?.hash ?? null,
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

/** Processed.js() for a finished job, as the JSON text the API sends. */
export function processedInfo(flavour, job, images, infotexts) {
  const info = flavour.name === 'sdnext' ? sdnextInfo : a1111Info;
  return JSON.stringify(info(flavour, job, images, infotexts));
}
