// POST /sdapi/v1/txt2img: the request validated against the fork's model,
// the sampler resolved, the job run on the backend, and the answer
// { images, parameters, info } built as modules/api/api.py (text2imgapi)
// builds it: `parameters` echoes the request as received (a seed of -1
// stays -1; the seed used is in `info`).
import { ServerError } from './http-framework.mjs';
import { encodeImage } from './image-encoding.mjs';
import { infotext, processedInfo } from './processed.mjs';
import { resolveSampler } from './samplers.mjs';
import { planJob, validateRequest } from './txt2img-request.mjs';

/** The checkpoint a job runs on: override_settings', else the options'. */
function checkpointOf(request, options) {
  return request.override_settings?.sd_model_checkpoint ?? request.sd_model_checkpoint ?? options.sd_model_checkpoint;
}

/**
 * Handles one txt2img request; `fault` is the --fail-txt2img status or
 * null. Resolves with the answer's body.
 */
export async function txt2img({ flavour, backend, runner, options, body, fault, log }) {
  const request = validateRequest(flavour, body);
  const { sampler, scheduler } = resolveSampler(flavour, request, backend);
  const job = { ...planJob(flavour, request, backend.seedLimit), sampler, scheduler, checkpoint: checkpointOf(request, options) };
  // A backend that rounds the size says so in `info` by the size it drew.
  job.sizeAsDrawn = Boolean(backend.sizeAsDrawn);
  if (fault !== null) throw new ServerError('RuntimeError', `txt2img fails on purpose (--fail-txt2img ${fault})`, fault);

  const p = job.request;
  log(`txt2img ${job.width}x${job.height}, ${p.steps} steps, ${sampler}, seed ${job.seeds[0]}: ${JSON.stringify(p.prompt)}`);
  const { images, timestamp } = await runner.run(job);
  Object.assign(job, { timestamp, model: images[0]?.model ?? null });
  const texts = images.map((image) => infotext(flavour, job, image));
  const encoded = p.send_images ? await Promise.all(images.map((image, i) => encodeImage(flavour, options, image, texts[i]))) : [];
  return { images: encoded, parameters: request, info: processedInfo(flavour, job, images, texts) };
}
