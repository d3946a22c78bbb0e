// The samplers and schedulers each fork lists (those the backend runs), and
// how each turns a requested sampler name into the one it runs. The original web UI and
// Forge (modules/sd_samplers.py, get_sampler_and_scheduler) split a
// trailing scheduler name off ("DPM++ 2M Karras") and fall back to their
// first sampler for a name they do not know; SD.Next refuses it.
import { HTTPException } from './http-framework.mjs';

const KARRAS = { scheduler: 'karras' };
const EXPONENTIAL = { scheduler: 'exponential' };

// modules/sd_samplers_kdiffusion.py, samplers_timesteps.py and samplers_lcm.py (the original, 1.10)
const A1111_SAMPLERS = [
  ['DPM++ 2M', ['k_dpmpp_2m'], KARRAS],
  ['DPM++ SDE', ['k_dpmpp_sde'], { ...KARRAS, second_order: true, brownian_noise: true }],
  ['DPM++ 2M SDE', ['k_dpmpp_2m_sde'], { ...EXPONENTIAL, brownian_noise: true }],
  ['DPM++ 2M SDE Heun', ['k_dpmpp_2m_sde_heun'], { ...EXPONENTIAL, brownian_noise: true, solver_type: 'heun' }],
  ['DPM++ 2S a', ['k_dpmpp_2s_a'], { ...KARRAS, uses_ensd: true, second_order: true }],
  ['DPM++ 3M SDE', ['k_dpmpp_3m_sde'], { ...EXPONENTIAL, discard_next_to_last_sigma: true, brownian_noise: true }],
  ['Euler a', ['k_euler_a', 'k_euler_ancestral'], { uses_ensd: true }],
  ['Euler', ['k_euler'], {}],
  ['LMS', ['k_lms'], {}],
  ['Heun', ['k_heun'], { second_order: true }],
  ['DPM2', ['k_dpm_2'], { ...KARRAS, discard_next_to_last_sigma: true, second_order: true }],
  ['DPM2 a', ['k_dpm_2_a'], { ...KARRAS, discard_next_to_last_sigma: true, uses_ensd: true, second_order: true }],
  ['DPM fast', ['k_dpm_fast'], { uses_ensd: true }],
  ['DPM adaptive', ['k_dpm_ad'], { uses_ensd: true }],
  ['Restart', ['restart'], { ...KARRAS, second_order: true }],
];
const TIMESTEP_SAMPLERS = [
  ['DDIM', ['ddim'], {}],
  ['DDIM CFG++', ['ddim_cfgpp'], {}],
  ['PLMS', ['plms'], {}],
  ['UniPC', ['unipc'], {}],
  ['LCM', ['k_lcm'], {}],
];
// Forge's modules/sd_samplers_kdiffusion.py adds these to the k-diffusion list.
const FORGE_EXTRA = [
  ['HeunPP2', ['heunpp2'], {}],
  ['IPNDM', ['ipndm'], {}],
  ['IPNDM_V', ['ipndm_v'], {}],
  ['DEIS', ['deis'], {}],
];

// SD.Next: modules/sd_samplers_diffusers.py, `config` (the scheduler options it lists)
const SDNEXT_SAMPLERS = [
  ['UniPC', { flow_shift: 1, predict_x0: true, sample_max_value: 1.0, solver_order: 2, solver_type: 'bh2', thresholding: false, lower_order_final: true, timestep_spacing: 'linspace', final_sigmas_type: 'zero' }],
  ['DDIM', { clip_sample: false, set_alpha_to_one: true, steps_offset: 0, clip_sample_range: 1.0, timestep_spacing: 'leading', rescale_betas_zero_snr: false, thresholding: false }],
  ['Euler', { steps_offset: 0, interpolation_type: 'linear', rescale_betas_zero_snr: false, final_sigmas_type: 'zero', timestep_spacing: 'linspace', use_karras_sigmas: false }],
  ['Euler a', { steps_offset: 0, rescale_betas_zero_snr: false, timestep_spacing: 'linspace' }],
  ['Euler SGM', { steps_offset: 0, interpolation_type: 'linear', timestep_spacing: 'trailing', prediction_type: 'sample' }],
  ['Euler EDM', { sigma_schedule: 'karras' }],
  ['DPM++ 2M', { algorithm_type: 'dpmsolver++', solver_type: 'midpoint', lower_order_final: true, use_karras_sigmas: false, timestep_spacing: 'linspace', solver_order: 2 }],
  ['DPM++ 3M', { algorithm_type: 'dpmsolver++', solver_type: 'midpoint', lower_order_final: true, use_karras_sigmas: false, timestep_spacing: 'linspace', solver_order: 3 }],
  ['DPM++ SDE', { algorithm_type: 'sde-dpmsolver++', solver_type: 'midpoint', lower_order_final: true, timestep_spacing: 'linspace', solver_order: 1 }],
  ['Heun', { use_karras_sigmas: false, timestep_spacing: 'linspace' }],
  ['DEIS', { solver_order: 2, algorithm_type: 'deis', solver_type: 'logrho', lower_order_final: true, timestep_spacing: 'linspace' }],
  ['LMSD', { use_karras_sigmas: false, timestep_spacing: 'linspace', steps_offset: 0 }],
  ['KDPM2', { use_karras_sigmas: false, steps_offset: 0, timestep_spacing: 'linspace' }],
  ['KDPM2 a', { use_karras_sigmas: false, steps_offset: 0, timestep_spacing: 'linspace' }],
  ['DDPM', { variance_type: 'fixed_small', clip_sample: false, timestep_spacing: 'linspace' }],
  ['PNDM', { skip_prk_steps: false, set_alpha_to_one: false, steps_offset: 0, timestep_spacing: 'linspace' }],
];
// SD.Next's own sampler list begins with 'Default' (the model's), which the listing leaves out.
const SDNEXT_NAMES = new Set(['Default', ...SDNEXT_SAMPLERS.map(([name]) => name)]);

// modules/sd_schedulers.py: name, label, default_rho, need_inner_model, aliases
const SCHEDULERS = [
  ['automatic', 'Automatic', -1, false, null],
  ['uniform', 'Uniform', -1, true, null],
  ['karras', 'Karras', 7, false, null],
  ['exponential', 'Exponential', -1, false, null],
  ['polyexponential', 'Polyexponential', 1, false, null],
  ['sgm_uniform', 'SGM Uniform', -1, true, ['SGMUniform']],
  ['kl_optimal', 'KL Optimal', -1, false, null],
  ['align_your_steps', 'Align Your Steps', -1, false, null],
  ['simple', 'Simple', -1, true, null],
  ['normal', 'Normal', -1, true, null],
  ['ddim', 'DDIM', -1, true, null],
  ['beta', 'Beta', -1, true, null],
].map(([name, label, rho, needInnerModel, aliases]) => ({ name, label, rho, needInnerModel, aliases }));

function samplersOf(flavour, backend) {
  const kdiffusion = flavour.name === 'forge' ? [...A1111_SAMPLERS, ...FORGE_EXTRA] : A1111_SAMPLERS;
  const all = [...kdiffusion, ...TIMESTEP_SAMPLERS].map(([name, aliases, options]) => ({ name, aliases, options }));
  return all.filter((s) => backend.runs(s.name));
}

/** The /sdapi/v1/samplers answer. */
export function samplerList(flavour, backend) {
  if (flavour.name === 'sdnext') return SDNEXT_SAMPLERS.filter(([name]) => backend.runs(name)).map(([name, options]) => ({ name, options }));
  const asText = (options) => Object.fromEntries(Object.entries(options).map(([k, v]) => [k, v === true ? 'True' : String(v)]));
  return samplersOf(flavour, backend).map(({ name, aliases, options }) => ({
    name,
    aliases,
    options: flavour.samplerOptionsAsText ? asText(options) : options,
  }));
}

/** The /sdapi/v1/schedulers answer (SchedulerItem: default_rho is a float). */
export function schedulerList(backend) {
  return SCHEDULERS.filter((s) => backend.runs(s.label)).map((s) => ({
    name: s.name,
    label: s.label,
    aliases: s.aliases,
    default_rho: s.rho,
    need_inner_model: s.needInnerModel,
  }));
}

const schedulerByKey = (key) => SCHEDULERS.find((s) => s.name === key || s.label === key);

/**
 * { sampler, scheduler } for a request: the sampler's name and the label
 * of the schedule type that shows in the image's parameters, or null.
 */
export function resolveSampler(flavour, request, backend) {
  const requested = request.sampler_name || request.sampler_index;
  if (flavour.samplerPolicy === 'strict') {
    if (!SDNEXT_NAMES.has(requested) || !backend.runs(requested)) throw new HTTPException(404, 'Sampler not found');
    return { sampler: requested, scheduler: null };
  }
  const samplers = samplersOf(flavour, backend);
  let name = requested || samplers[0].name;
  let scheduler = schedulerByKey(request.scheduler) ?? SCHEDULERS[0];
  for (const s of SCHEDULERS) {
    for (const option of [s.label, s.name, ...(s.aliases ?? [])]) {
      const ends = flavour.schedulerSuffixCaseInsensitive
        ? name.toLowerCase().endsWith(` ${option.toLowerCase()}`)
        : name.endsWith(` ${option}`);
      if (ends) {
        scheduler = s;
        name = name.slice(0, -(option.length + 1));
        break;
      }
    }
  }
  const sampler = samplers.find((s) => s.name === name) ?? samplers[0];
  // An explicit or split-off schedule wins; otherwise the sampler's own, if it has one.
  const effective = scheduler.name === 'automatic' ? schedulerByKey(sampler.options.scheduler) : scheduler;
  return { sampler: sampler.name, scheduler: effective && effective.name !== 'automatic' ? effective.label : null };
}
