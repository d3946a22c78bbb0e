// Runs txt2img jobs one at a time (the servers' queue lock), a fixed time
// per sampling step, moving the job state as each fork's processing loop
// does: the original web UI and Forge report the index of the step last
// finished and start each batch at step 0; SD.Next counts steps up across
// the whole job. Interrupt ends the job after its current step, skip ends
// the current batch; either way that batch still yields its images.
import { setTimeout as delay } from 'node:timers/promises';

export class Generator {
  #stepMs;
  #signal;
  #state;
  #flavour;
  #queue = Promise.resolve();
  #preview = null;

  /** signal: aborting it ends every job in flight (server shutdown). */
  constructor({ stepMs, signal, state, flavour }) {
    this.#stepMs = stepMs;
    this.#signal = signal;
    this.#state = state;
    this.#flavour = flavour;
  }

  /**
   * Queues a job: { steps, iterations, render(n) -> images, preview(n) -> image }.
   * Resolves with { images, timestamp }: the images of every batch that ran
   * and the job's timestamp.
   */
  run(job) {
    const result = this.#queue.then(() => this.#execute(job));
    this.#queue = result.catch(() => {});
    return result;
  }

  /** The image the batch being sampled would give now, or null between jobs. */
  preview() {
    return this.#preview ? this.#preview() : null;
  }

  async #execute(job) {
    const state = this.#state;
    state.begin(this.#flavour.jobTitle);
    const images = [];
    try {
      if (this.#flavour.stateModel === 'a1111') state.job_count = job.iterations;
      for (let n = 0; n < job.iterations; n++) {
        if (state.skipped) state.skipped = false;
        if (state.interrupted) break;
        this.#preview = () => job.preview(n);
        await this.#sample(job, n);
        images.push(...job.render(n));
        state.nextjob();
      }
      return { images, timestamp: state.job_timestamp };
    } finally {
      this.#preview = null;
      state.end();
    }
  }

  async #sample(job, n) {
    const state = this.#state;
    if (this.#flavour.stateModel === 'a1111') {
      if (job.iterations > 1) state.job = `Batch ${n + 1} out of ${job.iterations}`;
      state.sampling_steps = job.steps;
      state.sampling_step = 0;
    } else {
      state.update('Text', job.steps, 1);
    }
    for (let step = 0; step < job.steps; step++) {
      if (state.interrupted || state.skipped) return;
      await delay(this.#stepMs, undefined, { signal: this.#signal });
      if (this.#flavour.stateModel === 'a1111') state.sampling_step = step;
      else state.sampling_step += 1;
    }
  }
}
