// What the stand-in claims to have loaded: one pseudo model and the usual
// sampler names, so clients that list them find something sensible.
export const MODEL = {
  title: 'kanvo-stand-in.safetensors [00000000]',
  model_name: 'kanvo-stand-in',
  hash: '00000000',
  sha256: '0'.repeat(64),
  filename: 'kanvo-stand-in.safetensors',
  config: null,
};

export const SAMPLERS = [
  { name: 'Euler a', aliases: ['k_euler_a', 'k_euler_ancestral'], options: {} },
  { name: 'Euler', aliases: ['k_euler'], options: {} },
  { name: 'Heun', aliases: ['k_heun'], options: {} },
  { name: 'LMS', aliases: ['k_lms'], options: {} },
  { name: 'DPM++ 2M', aliases: ['k_dpmpp_2m'], options: {} },
  { name: 'DPM++ SDE', aliases: ['k_dpmpp_sde'], options: {} },
  { name: 'DDIM', aliases: [], options: {} },
  { name: 'UniPC', aliases: [], options: {} },
];

export const DEFAULT_SAMPLER = 'Euler a';

/** The sampler's proper name, matched case-insensitively by name or alias; null if unknown. */
export function findSampler(name) {
  const wanted = name.toLowerCase();
  const found = SAMPLERS.find(
    (s) => s.name.toLowerCase() === wanted || s.aliases.some((a) => a.toLowerCase() === wanted),
  );
  return found ? found.name : null;
}

export function options() {
  return {
    sd_model_checkpoint: MODEL.title,
    sd_checkpoint_hash: MODEL.sha256,
    samples_format: 'png',
    samples_save: false,
  };
}
