// The progress answer, computed as each fork's endpoint computes it:
// the original web UI and Forge in modules/api/api.py (progressapi),
// SD.Next in modules/api/server.py (get_progress). Fields come in the
// order of the fork's response model.
// modules/shared_options.py: show_progress_every_n_steps defaults to 10.
const PREVIEW_EVERY_N_STEPS = 10;

const encodedPreviews = new WeakMap();

async function previewText(image, encode) {
  if (!encodedPreviews.has(image)) encodedPreviews.set(image, await encode(image));
  return encodedPreviews.get(image);
}

const secondsSince = (start) => (Date.now() - start) / 1000;

async function a1111Progress({ state, backend, skipCurrentImage, encode }) {
  if (state.job_count === 0) {
    return { progress: 0, eta_relative: 0, state: state.dict(), current_image: null, textinfo: state.textinfo };
  }
  let progress = 0.01;
  if (state.job_count > 0) progress += state.job_no / state.job_count;
  if (state.sampling_steps > 0) progress += ((1 / state.job_count) * state.sampling_step) / state.sampling_steps;
  const elapsed = secondsSince(state.time_start);
  const etaRelative = elapsed / progress - elapsed;
  progress = Math.min(progress, 1);

  // State.set_current_image: a fresh preview once enough steps have passed
  if (state.sampling_step - state.current_image_sampling_step >= PREVIEW_EVERY_N_STEPS) {
    const image = backend.preview();
    if (image) {
      state.current_image = image;
      state.current_image_sampling_step = state.sampling_step;
    }
  }
  const currentImage = state.current_image && !skipCurrentImage ? await previewText(state.current_image, encode) : null;
  return {
    progress: progress,
    eta_relative: etaRelative,
    state: state.dict(),
    current_image: currentImage,
    textinfo: state.textinfo,
  };
}

const round2 = (x) => Math.round(x * 100) / 100;

async function sdnextProgress({ state, backend, skipCurrentImage, encode }) {
  if (state.job_count === 0) {
    const idle = { progress: 0, eta_relative: 0, state: state.dict(), current_image: null };
    return { id: state.id, ...idle, textinfo: state.textinfo };
  }
  // State.do_set_current_image: a preview whenever a step has given a latent
  if (state.sampling_step > 0) state.current_image = backend.preview() ?? state.current_image;
  const currentImage = state.current_image && !skipCurrentImage ? await previewText(state.current_image, encode) : null;
  const batchDone = Math.max(state.job_no, 0);
  const batches = Math.max(state.job_count, 1);
  const stepsDone = Math.max(state.sampling_step, 0);
  const previousSteps = Math.max(state.sampling_steps, 1);
  while (stepsDone > state.sampling_steps) state.sampling_steps += previousSteps;
  const steps = Math.max(state.sampling_steps, 1);
  const current = steps * batchDone + stepsDone;
  const total = steps * batches;
  const progress = Math.min(current > 0 && total > 0 ? current / total : 0, 1);
  const elapsed = secondsSince(state.time_start);
  const etaRelative = progress > 0 ? elapsed / progress - elapsed : 0;
  return {
    id: state.id,
    progress: round2(progress),
    eta_relative: round2(etaRelative),
    state: state.dict(),
    current_image: currentImage,
    textinfo: state.textinfo,
  };
}

/** options: { flavour, state, backend, skipCurrentImage, encode(image) -> base64 } */
export function progressAnswer(options) {
  return options.flavour.stateModel === 'sdnext' ? sdnextProgress(options) : a1111Progress(options);
}
