// What the stand-in claims to have loaded (one pseudo model), the options
// it keeps, and the memory report, each in the shape of the fork's answer.
import { createHash } from 'node:crypto';
import { totalmem } from 'node:os';
import { ServerError } from './fastapi.mjs';
import { PyFloat } from './python-json.mjs';

const MODEL_NAME = 'kanvo-stand-in';
const SHA256 = createHash('sha256').update(MODEL_NAME).digest('hex');

// modules/sd_models.py, CheckpointInfo: the short hash is the sha256's first 10 digits.
export const MODEL = {
  name: MODEL_NAME,
  filename: `${MODEL_NAME}.safetensors`,
  sha256: SHA256,
  shorthash: SHA256.slice(0, 10),
  title: `${MODEL_NAME}.safetensors [${SHA256.slice(0, 10)}]`,
};

/** The /sdapi/v1/sd-models answer (SDModelItem; SD.Next's ItemModel adds `type`). */
export function modelList(flavour) {
  const { title, name, filename, sha256, shorthash } = MODEL;
  if (flavour.name === 'sdnext') {
    return [{ title, model_name: name, filename, type: 'sd', sha256, hash: shorthash, config: null }];
  }
  return [{ title, model_name: name, hash: shorthash, sha256, filename, config: null }];
}

/** The options the stand-in keeps, at the defaults of modules/shared_options.py. */
export function createOptions(samplesFormat) {
  return {
    sd_model_checkpoint: MODEL.title,
    sd_checkpoint_hash: MODEL.sha256,
    samples_save: true,
    samples_format: samplesFormat,
    jpeg_quality: 80,
    CLIP_stop_at_last_layers: 1,
    live_previews_enable: true,
    show_progress_every_n_steps: 10,
  };
}

const pyRepr = (text) => `'${String(text).replaceAll('\\', '\\\\').replaceAll("'", "\\'")}'`;

/**
 * POST /sdapi/v1/options. The original and Forge (Api.set_config) refuse an
 * unknown checkpoint, fail on options they do not have (Options.set raises
 * KeyError) and answer null; SD.Next reports which options changed.
 */
export function setOptions(flavour, options, changes) {
  const checkpoint = changes.sd_model_checkpoint;
  const aliases = [MODEL.title, MODEL.name, MODEL.filename, MODEL.shorthash, MODEL.sha256];
  if (flavour.name !== 'sdnext' && checkpoint != null && !aliases.includes(checkpoint)) {
    throw new ServerError('RuntimeError', `model ${pyRepr(checkpoint)} not found`);
  }
  const updated = [];
  for (const [key, value] of Object.entries(changes)) {
    const known = key in options;
    if (!known && flavour.name !== 'sdnext' && value !== null) throw new ServerError('KeyError', pyRepr(key));
    const changed = known && options[key] !== value;
    if (changed) options[key] = value;
    updated.push({ [key]: changed });
  }
  return flavour.name === 'sdnext' ? { updated } : null;
}

/** GET /sdapi/v1/memory as a server without CUDA answers it. */
export function memoryReport() {
  const total = totalmem();
  const used = process.memoryUsage().rss;
  return { ram: { free: new PyFloat(total - used), used, total: new PyFloat(total) }, cuda: { error: 'unavailable' } };
}
