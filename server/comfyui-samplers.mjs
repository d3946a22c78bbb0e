// The forks' sampler and schedule names and ComfyUI's, both ways. Written
// from the forks' modules/sd_samplers_kdiffusion.py (samplers_k_diffusion:
// each name and the k-diffusion function it calls), sd_samplers_timesteps.py,
// sd_schedulers.py and SD.Next's sd_samplers_diffusers.py, against
// ComfyUI's comfy/samplers.py (KSAMPLER_NAMES, SAMPLER_NAMES and
// SCHEDULER_HANDLERS), whose names are those k-diffusion functions' less
// "sample_".
const SAMPLERS = {
  'DPM++ 2M': 'dpmpp_2m',
  'DPM++ SDE': 'dpmpp_sde',
  'DPM++ 2M SDE': 'dpmpp_2m_sde',
  'DPM++ 2M SDE Heun': 'dpmpp_2m_sde_heun',
  'DPM++ 2S a': 'dpmpp_2s_ancestral',
  'DPM++ 3M SDE': 'dpmpp_3m_sde',
  'Euler a': 'euler_ancestral',
  Euler: 'euler',
  LMS: 'lms',
  Heun: 'heun',
  DPM2: 'dpm_2',
  'DPM2 a': 'dpm_2_ancestral',
  'DPM fast': 'dpm_fast',
  'DPM adaptive': 'dpm_adaptive',
  DDIM: 'ddim',
  UniPC: 'uni_pc',
  LCM: 'lcm',
  HeunPP2: 'heunpp2',
  IPNDM: 'ipndm',
  IPNDM_V: 'ipndm_v',
  DEIS: 'deis',
  // SD.Next's diffusers names for the same samplers; "Default" is the model's own, Euler for most.
  Default: 'euler',
  DDPM: 'ddpm',
  LMSD: 'lms',
  KDPM2: 'dpm_2',
  'KDPM2 a': 'dpm_2_ancestral',
};

// Schedule type labels (sd_schedulers.py) and ComfyUI's scheduler names;
// "Automatic" is the sampler's own, which ComfyUI calls "normal".
const SCHEDULERS = {
  Automatic: 'normal',
  Karras: 'karras',
  Exponential: 'exponential',
  'SGM Uniform': 'sgm_uniform',
  'KL Optimal': 'kl_optimal',
  Simple: 'simple',
  Normal: 'normal',
  DDIM: 'ddim_uniform',
  Beta: 'beta',
};

/** Whether ComfyUI runs a fork's sampler or schedule type of this name. */
export const comfyRuns = (name) => Object.hasOwn(SAMPLERS, name) || Object.hasOwn(SCHEDULERS, name);

/** ComfyUI's { sampler_name, scheduler } for a fork's sampler and schedule label (null: automatic). */
export const toComfy = (sampler, schedule) => ({ sampler_name: SAMPLERS[sampler], scheduler: SCHEDULERS[schedule ?? 'Automatic'] });

/** The fork's { sampler, scheduler } for what a ComfyUI graph samples with; ComfyUI's own name where the forks have none. */
export function fromComfy(samplerName, schedulerName) {
  const sampler = Object.keys(SAMPLERS).find((name) => SAMPLERS[name] === samplerName) ?? samplerName;
  const label = Object.keys(SCHEDULERS).find((name) => name !== 'Automatic' && SCHEDULERS[name] === schedulerName);
  return { sampler, scheduler: label ?? schedulerName ?? null };
}
