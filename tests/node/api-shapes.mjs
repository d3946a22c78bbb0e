// What a client of each real server receives, written from the servers' sources (not from the stand-in's code):
// the original web UI (AUTOMATIC1111/stable-diffusion-webui 1.10), Forge (lllyasviel/stable-diffusion-webui-forge)
// and SD.Next (vladmandic/sdnext). A shape is a type name ("string", "integer", "number", "boolean", "null", "any",
// alternatives joined by "|"), an object of shapes (exactly those keys, in that order), or ["array", shape of each item].
const words = (text) => text.trim().split(/\s+/);

// modules/shared_state.py, State.dict(); SD.Next's has no stopping_generation.
const A1111_STATE = {
  skipped: 'boolean', interrupted: 'boolean', stopping_generation: 'boolean', job: 'string', job_count: 'integer',
  job_timestamp: 'string', job_no: 'integer', sampling_step: 'integer', sampling_steps: 'integer',
};
const { stopping_generation: _, ...SDNEXT_STATE } = A1111_STATE;

// modules/api/models.py, ProgressResponse (SD.Next: ResProgress, with the task id first)
const A1111_PROGRESS = { progress: 'number', eta_relative: 'number', state: A1111_STATE, current_image: 'string|null', textinfo: 'string|null' };
const SDNEXT_PROGRESS = { id: 'integer|string|null', ...A1111_PROGRESS, state: SDNEXT_STATE };

// modules/processing.py, Processed.js()
const A1111_INFO_KEYS = words(`prompt all_prompts negative_prompt all_negative_prompts seed all_seeds subseed all_subseeds
  subseed_strength width height sampler_name cfg_scale steps batch_size restore_faces face_restoration_model sd_model_name
  sd_model_hash sd_vae_name sd_vae_hash seed_resize_from_w seed_resize_from_h denoising_strength extra_generation_params
  index_of_first_image infotexts styles job_timestamp clip_skip is_using_inpainting_conditioning version`);
const SDNEXT_INFO_KEYS = words(`prompt all_prompts negative_prompt all_negative_prompts seed all_seeds subseed all_subseeds
  subseed_strength width height sampler_name cfg_scale cfg_end steps batch_size detailer detailer_model sd_model_hash
  seed_resize_from_w seed_resize_from_h denoising_strength extra_generation_params index_of_first_image infotexts styles
  job_timestamp clip_skip`);

// The request fields a client sets and reads back from `parameters`
// (modules/api/models.py); Forge adds the Flux guidance, SD.Next its own.
const PARAMETER_KEYS = words(`prompt negative_prompt styles seed subseed subseed_strength sampler_name scheduler
  batch_size n_iter steps cfg_scale width height override_settings sampler_index script_name script_args send_images
  save_images alwayson_scripts`);
const FORGE_PARAMETER_KEYS = [...PARAMETER_KEYS, 'distilled_cfg_scale'];
const SDNEXT_PARAMETER_KEYS = [...PARAMETER_KEYS, 'sd_model_checkpoint', 'clip_skip', 'cfg_end'];

const TXT2IMG = { images: ['array', 'string'], parameters: 'any', info: 'string' };

// modules/api/models.py, SamplerItem / SchedulerItem / SDModelItem / MemoryResponse
const A1111_SAMPLER = { name: 'string', aliases: ['array', 'string'], options: 'any' };
const SCHEDULER = { name: 'string', label: 'string', aliases: 'array|null', default_rho: 'number|null', need_inner_model: 'boolean|null' };
const A1111_MODEL = { title: 'string', model_name: 'string', hash: 'string|null', sha256: 'string|null', filename: 'string', config: 'string|null' };
const SDNEXT_MODEL = { title: 'string', model_name: 'string', filename: 'string', type: 'string', sha256: 'string|null', hash: 'string|null', config: 'string|null' };
const MEMORY = { ram: 'any', cuda: 'any' };

// FastAPI's own answers (fastapi/exception_handlers.py) and pydantic's error entries
const DETAIL = { detail: 'string' };
const V1_ENTRY = { loc: 'array', msg: 'string', type: 'string' };
const V2_ENTRY = { type: 'string', loc: 'array', msg: 'string', input: 'any' };
const V2_ENTRY_WITH_CTX = { ...V2_ENTRY, ctx: 'any' };

// The exception handlers: api.py's api_middleware (original), webui.py's
// _handle_exception (Forge), api/middleware.py's handle_exception (SD.Next).
const ORIGINAL_ERROR = { error: 'string', detail: 'string', body: 'string', errors: 'string' };
const FORGE_ERROR = { error: 'string', detail: 'string', body: 'string', message: 'string' };
const SDNEXT_ERROR = { error: 'string', code: 'integer', detail: 'string', body: 'string', errors: 'string' };

export const API = {
  original: {
    progress: A1111_PROGRESS, txt2img: TXT2IMG, infoKeys: A1111_INFO_KEYS, parameterKeys: PARAMETER_KEYS,
    // SamplerItem.options is Dict[str, str] under pydantic 1.
    sampler: A1111_SAMPLER, samplerOptionValues: 'string', scheduler: SCHEDULER, model: A1111_MODEL, memory: MEMORY,
    // HTTPExceptions raised by the API (401, a missing sampler) go through api_middleware too.
    routeError: ORIGINAL_ERROR, serverError: ORIGINAL_ERROR, validationEntry: V1_ENTRY, jsonDecodeEntry: { ...V1_ENTRY, ctx: 'any' },
    authChallengeHeader: false, progressNeedsAuth: true, wrongCredentials: 'Incorrect username or password',
    unknownSampler: 'fallback', processTimeHeader: true, optionsSetAnswer: 'null',
  },
  forge: {
    progress: A1111_PROGRESS, txt2img: TXT2IMG, infoKeys: A1111_INFO_KEYS, parameterKeys: FORGE_PARAMETER_KEYS,
    sampler: A1111_SAMPLER, samplerOptionValues: 'any', scheduler: SCHEDULER, model: A1111_MODEL, memory: MEMORY,
    routeError: DETAIL, serverError: FORGE_ERROR, validationEntry: V2_ENTRY, jsonDecodeEntry: V2_ENTRY_WITH_CTX,
    authChallengeHeader: true, progressNeedsAuth: false, wrongCredentials: 'Incorrect username or password',
    unknownSampler: 'fallback', processTimeHeader: false, optionsSetAnswer: 'null',
  },
  sdnext: {
    progress: SDNEXT_PROGRESS, txt2img: TXT2IMG, infoKeys: SDNEXT_INFO_KEYS, parameterKeys: SDNEXT_PARAMETER_KEYS,
    sampler: { name: 'string', options: 'any' }, samplerOptionValues: 'any', scheduler: null, model: SDNEXT_MODEL, memory: MEMORY,
    routeError: SDNEXT_ERROR, serverError: SDNEXT_ERROR, validationEntry: V1_ENTRY, jsonDecodeEntry: V2_ENTRY_WITH_CTX,
    authChallengeHeader: false, progressNeedsAuth: true, wrongCredentials: 'Unauthorized',
    unknownSampler: 'refused', processTimeHeader: true, optionsSetAnswer: 'updated',
  },
};

const typeOf = (value) => (value === null ? 'null' : Array.isArray(value) ? 'array' : Number.isInteger(value) ? 'integer' : typeof value);

/** The ways `value` differs from `shape`, as "path: problem" texts; none when it conforms. */
export function mismatches(value, shape, at = '$') {
  const type = typeOf(value);
  if (typeof shape === 'string') {
    const allowed = shape.split('|');
    const fits = allowed.includes('any') || allowed.includes(type) || (type === 'integer' && allowed.includes('number'));
    return fits ? [] : [`${at}: ${type}, expected ${shape}`];
  }
  if (Array.isArray(shape)) {
    return type === 'array' ? value.flatMap((item, i) => mismatches(item, shape[1], `${at}[${i}]`)) : [`${at}: ${type}, expected an array`];
  }
  if (type !== 'object') return [`${at}: ${type}, expected an object`];
  const [keys, expected] = [Object.keys(value).join(', '), Object.keys(shape).join(', ')];
  if (keys !== expected) return [`${at}: keys ${keys}, expected ${expected}`];
  return Object.keys(value).flatMap((key) => mismatches(value[key], shape[key], `${at}.${key}`));
}
