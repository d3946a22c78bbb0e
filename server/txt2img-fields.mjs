// The txt2img request model of each server, field by field, in the order
// the server declares it. Each server builds the model from the __init__
// parameters of its StableDiffusionProcessingTxt2Img (every one wrapped in
// Optional) plus a few fields of its own (modules/api/models.py), so the
// `parameters` a txt2img answer echoes has exactly these keys.
import { PyFloat } from './python-json.mjs';

const f = (x) => new PyFloat(x);

// modules/processing.py, StableDiffusionProcessing and ...Txt2Img dataclasses,
// less models.py's API_NOT_ALLOWED; the original web UI (1.10).
const ORIGINAL_PROCESSING = [
  ['prompt', 'str', ''],
  ['negative_prompt', 'str', ''],
  ['styles', 'list[str]', null],
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
  ['cfg_scale', 'float', f(7)],
  ['width', 'int', 512],
  ['height', 'int', 512],
  ['restore_faces', 'bool', null],
  ['tiling', 'bool', null],
  ['do_not_save_samples', 'bool', false],
  ['do_not_save_grid', 'bool', false],
  ['eta', 'float', null],
  ['denoising_strength', 'float', f(0.75)],
  ['s_min_uncond', 'float', null],
  ['s_churn', 'float', null],
  ['s_tmax', 'float', null],
  ['s_tmin', 'float', null],
  ['s_noise', 'float', null],
  ['override_settings', 'dict', null],
  ['override_settings_restore_afterwards', 'bool', true],
  ['refiner_checkpoint', 'str', null],
  ['refiner_switch_at', 'float', null],
  ['disable_extra_networks', 'bool', false],
  ['firstpass_image', 'str', null],
  ['comments', 'dict', null],
  ['enable_hr', 'bool', false],
  ['firstphase_width', 'int', 0],
  ['firstphase_height', 'int', 0],
  ['hr_scale', 'float', f(2)],
  ['hr_upscaler', 'str', null],
  ['hr_second_pass_steps', 'int', 0],
  ['hr_resize_x', 'int', 0],
  ['hr_resize_y', 'int', 0],
  ['hr_checkpoint_name', 'str', null],
  ['hr_sampler_name', 'str', null],
  ['hr_scheduler', 'str', null],
  ['hr_prompt', 'str', ''],
  ['hr_negative_prompt', 'str', ''],
  ['force_task_id', 'str', null],
];

// The fields models.py adds after those (Forge's are the same); not Optional
// unless their type says so.
const A1111_API_FIELDS = [
  ['sampler_index', 'str', 'Euler', false],
  ['script_name', 'str', null, true],
  ['script_args', 'list', [], false],
  ['send_images', 'bool', true, false],
  ['save_images', 'bool', false, false],
  ['alwayson_scripts', 'dict', {}, false],
  ['infotext', 'str', null, true],
];

function insertAfter(fields, name, added) {
  const at = fields.findIndex(([field]) => field === name) + 1;
  return [...fields.slice(0, at), ...added, ...fields.slice(at)];
}

// Forge's dataclasses add the Flux guidance and hires fields.
let forgeProcessing = insertAfter(ORIGINAL_PROCESSING, 'cfg_scale', [['distilled_cfg_scale', 'float', f(3.5)]]);
forgeProcessing = insertAfter(forgeProcessing, 'hr_checkpoint_name', [['hr_additional_modules', 'list', null]]);
forgeProcessing = insertAfter(forgeProcessing, 'hr_negative_prompt', [
  ['hr_cfg', 'float', f(1)],
  ['hr_distilled_cfg', 'float', f(3.5)],
]);

// SD.Next: modules/processing_class.py, StableDiffusionProcessing.__init__;
// models.py's own fields replace sampler_index, sampler_name, hr_sampler_name
// and script_args where they stand and add the rest at the end.
const SDNEXT_PROCESSING = [
  ['sd_model_checkpoint', 'str', null],
  ['prompt', 'str', ''],
  ['negative_prompt', 'str', ''],
  ['seed', 'int', -1],
  ['subseed', 'int', -1],
  ['subseed_strength', 'float', 0],
  ['seed_resize_from_h', 'int', -1],
  ['seed_resize_from_w', 'int', -1],
  ['batch_size', 'int', 1],
  ['n_iter', 'int', 1],
  ['steps', 'int', 20],
  ['clip_skip', 'int', 1],
  ['width', 'int', 1024],
  ['height', 'int', 1024],
  ['sampler_index', 'int|str', 0, false],
  ['sampler_name', 'str', 'Default', false],
  ['hr_sampler_name', 'str', 'Same as primary', false],
  ['eta', 'float', null],
  ['cfg_scale', 'float', f(6)],
  ['cfg_end', 'float', 1],
  ['diffusers_guidance_rescale', 'float', f(0)],
  ['pag_scale', 'float', f(0)],
  ['pag_adaptive', 'float', f(0.5)],
  ['styles', 'list[str]', []],
  ['tiling', 'bool', false],
  ['vae_type', 'str', 'Full'],
  ['hidiffusion', 'bool', false],
  ['do_not_reload_embeddings', 'bool', false],
  ['restore_faces', 'bool', false],
  ['detailer_enabled', 'bool', false],
  ['detailer_prompt', 'str', ''],
  ['detailer_negative', 'str', ''],
  ['detailer_steps', 'int', 10],
  ['detailer_strength', 'float', f(0.3)],
  ['hdr_mode', 'int', 0],
  ['hdr_brightness', 'float', 0],
  ['hdr_color', 'float', 0],
  ['hdr_sharpen', 'float', 0],
  ['hdr_clamp', 'bool', false],
  ['hdr_boundary', 'float', f(4)],
  ['hdr_threshold', 'float', f(0.95)],
  ['hdr_maximize', 'bool', false],
  ['hdr_max_center', 'float', f(0.6)],
  ['hdr_max_boundary', 'float', f(1)],
  ['hdr_color_picker', 'str', null],
  ['hdr_tint_ratio', 'float', 0],
  ['init_images', 'list', null],
  ['denoising_strength', 'float', f(0.3)],
  ['image_cfg_scale', 'float', null],
  ['initial_noise_multiplier', 'float', null],
  ['scale_by', 'float', 1],
  ['selected_scale_tab', 'int', 0],
  ['resize_mode', 'int', 0],
  ['resize_name', 'str', 'None'],
  ['resize_context', 'str', 'None'],
  ...['width', 'height'].flatMap((d) => ['before', 'after', 'mask'].map((w) => [`${d}_${w}`, 'int', 0])),
  ...['before', 'after', 'mask'].map((w) => [`resize_name_${w}`, 'str', 'None']),
  ...['before', 'after', 'mask'].map((w) => [`resize_mode_${w}`, 'int', 0]),
  ...['before', 'after', 'mask'].map((w) => [`resize_context_${w}`, 'str', 'None']),
  ...['before', 'after', 'mask'].map((w) => [`selected_scale_tab_${w}`, 'int', 0]),
  ...['before', 'after', 'mask'].map((w) => [`scale_by_${w}`, 'float', 1]),
  ['mask', 'any', null],
  ['latent_mask', 'any', null],
  ['mask_for_overlay', 'any', null],
  ['mask_blur', 'int', 4],
  ['paste_to', 'any', null],
  ['inpainting_fill', 'int', 1],
  ['inpaint_full_res', 'bool', false],
  ['inpaint_full_res_padding', 'int', 0],
  ['inpainting_mask_invert', 'int', 0],
  ['overlay_images', 'any', null],
  ['enable_hr', 'bool', false],
  ['firstphase_width', 'int', 0],
  ['firstphase_height', 'int', 0],
  ['hr_scale', 'float', f(2)],
  ['hr_force', 'bool', false],
  ['hr_resize_mode', 'int', 0],
  ['hr_resize_context', 'str', 'None'],
  ['hr_upscaler', 'str', null],
  ['hr_second_pass_steps', 'int', 0],
  ['hr_resize_x', 'int', 0],
  ['hr_resize_y', 'int', 0],
  ['hr_denoising_strength', 'float', f(0)],
  ['refiner_steps', 'int', 5],
  ['refiner_start', 'float', 0],
  ['refiner_prompt', 'str', ''],
  ['refiner_negative', 'str', ''],
  ['hr_refiner_start', 'float', 0],
  ['enhance_prompt', 'bool', false],
  ['do_not_save_samples', 'bool', false],
  ['do_not_save_grid', 'bool', false],
  ['xyz', 'bool', false],
  ['script_args', 'list', [], false],
  ['override_settings', 'dict', {}],
  ['override_settings_restore_afterwards', 'bool', true],
  ['script_name', 'str', '', true],
  ['send_images', 'bool', true, false],
  ['save_images', 'bool', false, false],
  ['alwayson_scripts', 'dict', {}, false],
  ['ip_adapter', 'any', null, true],
  ['face', 'any', null, true],
  ['extra', 'dict', {}, true],
];

/** [{ name, type, default, optional }] in declaration order. */
const fields = (rows) => rows.map(([name, type, value, optional = true]) => ({ name, type, default: value, optional }));

export const TXT2IMG_FIELDS = {
  original: fields([...ORIGINAL_PROCESSING, ...A1111_API_FIELDS]),
  forge: fields([...forgeProcessing, ...A1111_API_FIELDS]),
  sdnext: fields(SDNEXT_PROCESSING),
};
