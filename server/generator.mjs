// Runs txt2img jobs one at a time, a fixed time per sampling step, and
// describes the running job the way the progress endpoint reports it.
import { setTimeout as delay } from 'node:timers/promises';
import { encodePng } from './png.mjs';
import { renderImage } from './procedural-image.mjs';

const IDLE_STATE = {
  skipped: false,
  interrupted: false,
  job: '',
  job_count: 0,
  job_timestamp: '0',
  job_no: 0,
  sampling_step: 0,
  sampling_steps: 0,
};

function timestamp(date) {
  return date.toISOString().replace(/\D/g, '').slice(0, 14);
}

export class Generator {
  #stepMs;
  #signal;
  #job = null;
  #queue = Promise.resolve();

  /** signal: aborting it ends every job in flight (server shutdown). */
  constructor({ stepMs, signal }) {
    this.#stepMs = stepMs;
    this.#signal = signal;
  }

  /**
   * Resolves with { images: [Buffer PNG], seeds } once the job, queued behind
   * any earlier one, has finished or was interrupted.
   */
  run(request) {
    const result = this.#queue.then(() => this.#execute(request));
    this.#queue = result.catch(() => {});
    return result;
  }

  interrupt() {
    if (this.#job) this.#job.interrupted = true;
  }

  progress() {
    const job = this.#job;
    if (!job) {
      return {
        progress: 0,
        eta_relative: 0,
        state: { ...IDLE_STATE },
        current_image: null,
        textinfo: null,
      };
    }
    const totalSteps = job.n_iter * job.steps;
    const doneSteps = job.job_no * job.steps + job.sampling_step;
    return {
      progress: doneSteps / totalSteps,
      eta_relative: ((totalSteps - doneSteps) * this.#stepMs) / 1000,
      state: {
        skipped: false,
        interrupted: job.interrupted,
        job: 'txt2img',
        job_count: job.n_iter,
        job_timestamp: job.timestamp,
        job_no: job.job_no,
        sampling_step: job.sampling_step,
        sampling_steps: job.steps,
      },
      current_image: null,
      textinfo: `Sampling step ${job.sampling_step} of ${job.steps}`,
    };
  }

  async #execute(request) {
    const job = {
      steps: request.steps,
      n_iter: request.n_iter,
      job_no: 0,
      sampling_step: 0,
      interrupted: false,
      timestamp: timestamp(new Date()),
    };
    this.#job = job;
    try {
      const images = [];
      const seeds = [];
      for (; job.job_no < job.n_iter; job.job_no++) {
        job.sampling_step = 0;
        while (job.sampling_step < job.steps && !job.interrupted) {
          await delay(this.#stepMs, undefined, { signal: this.#signal });
          job.sampling_step++;
        }
        // An interrupted iteration still yields its (unfinished) images.
        for (let i = 0; i < request.batch_size; i++) {
          const seed = request.seed + job.job_no * request.batch_size + i;
          const rgb = renderImage({ prompt: request.prompt, seed, width: request.width, height: request.height });
          images.push(encodePng(request.width, request.height, rgb));
          seeds.push(seed);
        }
        if (job.interrupted) break;
      }
      return { images, seeds, timestamp: job.timestamp };
    } finally {
      this.#job = null;
    }
  }
}
