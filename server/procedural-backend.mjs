// The backend without a model: each sampling step takes a fixed time, and
// the images are procedural pictures (procedural-image.mjs). A stopped
// batch still yields its images, as a real fork's interrupted batch does.
import { createHash } from 'node:crypto';
import { setTimeout as delay } from 'node:timers/promises';
import { renderImage } from './procedural-image.mjs';

const MODEL_NAME = 'kanvo-stand-in';
const SHA256 = createHash('sha256').update(MODEL_NAME).digest('hex');
// modules/sd_models.py, CheckpointInfo: the short hash is the sha256's first 10 digits.
const MODEL = {
  title: `${MODEL_NAME}.safetensors [${SHA256.slice(0, 10)}]`,
  model_name: MODEL_NAME,
  hash: SHA256.slice(0, 10),
  sha256: SHA256,
  filename: `${MODEL_NAME}.safetensors`,
};
// The forks' seeds are 32-bit (processing.py, get_fixed_seed).
const SEED_LIMIT = 4294967295;

/** stepMs: time per step; signal: aborting it ends every job in flight. */
export function createProceduralBackend({ stepMs, signal }) {
  let preview = null;
  const draw = (job, index) => ({
    width: job.width,
    height: job.height,
    seed: job.seeds[index],
    model: MODEL,
    rgb: renderImage({ prompt: job.request.prompt, seed: job.seeds[index], width: job.width, height: job.height }),
  });
  return {
    seedLimit: SEED_LIMIT,
    async models() {
      return [MODEL];
    },
    /** Every sampler and scheduler the fork lists. */
    runs: () => true,
    async sample(job, n, { onStep, stopped }) {
      const first = n * job.request.batch_size;
      preview = () => draw(job, first);
      try {
        for (let step = 0; step < job.request.steps && !stopped(); step++) {
          await delay(stepMs, undefined, { signal });
          onStep(step + 1);
        }
      } finally {
        preview = null;
      }
      return Array.from({ length: job.request.batch_size }, (_, i) => draw(job, first + i));
    },
    /** The image the batch being sampled would give now, or null between jobs. */
    preview: () => (preview ? preview() : null),
    interrupt() {},
    async unload() {},
  };
}
