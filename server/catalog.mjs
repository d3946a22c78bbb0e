// The models the backend offers, the options the server keeps and the
// memory report, each in the shape of the fork's answer.
import { totalmem } from 'node:os';
import { ServerError } from './http-framework.mjs';

/** The /sdapi/v1/sd-models answer (SDModelItem; SD.Next's ItemModel adds `type`). */
export async function modelList(flavour, backend) {
  return (await backend.models()).map(({ title, model_name, hash, sha256, filename }) =>
    flavour.name === 'sdnext'
      ? { title, model_name, filename, type: 'sd', sha256, hash, config: null }
      : { title, model_name, hash, sha256, filename, config: null },
  );
}

/** The options the server keeps, at the defaults of modules/shared_options.py; the checkpoint is looked up when first asked for. */
export function createOptions(samplesFormat) {
  return {
    sd_model_checkpoint: null,
    samples_save: true,
    samples_format: samplesFormat,
    jpeg_quality: 80,
    CLIP_stop_at_last_layers: 1,
    live_previews_enable: true,
    show_progress_every_n_steps: 10,
  };
}

/** GET /sdapi/v1/options: the checkpoint is the backend's first until one is set. */
export async function currentOptions(options, backend) {
  if (options.sd_model_checkpoint === null) options.sd_model_checkpoint = (await backend.models())[0]?.title ?? null;
  return options;
}

const pyRepr = (text) => `'${String(text).replaceAll('\\', '\\\\').replaceAll("'", "\\'")}'`;

/**
 * POST /sdapi/v1/options. The original and Forge (Api.set_config) refuse an
 * unknown checkpoint, fail on options they do not have (Options.set raises
 * KeyError) and answer null; SD.Next reports which options changed.
 */
export async function setOptions(flavour, options, changes, backend) {
  const checkpoint = changes.sd_model_checkpoint;
  if (flavour.name !== 'sdnext' && checkpoint != null) {
    const models = await backend.models();
    const model = models.find((m) => [m.title, m.model_name, m.filename, m.hash, m.sha256].includes(checkpoint));
    if (!model) throw new ServerError('RuntimeError', `model ${pyRepr(checkpoint)} not found`);
    changes = { ...changes, sd_model_checkpoint: model.title };
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
  return { ram: { free: total - used, used, total }, cuda: { error: 'unavailable' } };
}
