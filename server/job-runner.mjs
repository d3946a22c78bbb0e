// Runs txt2img jobs one at a time (the servers' queue lock), each batch on
// the backend, moving the job state as each fork's processing loop does:
// the original web UI and Forge report the index of the step last finished
// and start each batch at step 0; SD.Next counts steps up across the job.
// Interrupt ends the job and skip the current batch; what a stopped batch
// yields is the backend's to say.
export class JobRunner {
  #state;
  #flavour;
  #backend;
  #queue = Promise.resolve();

  constructor({ state, flavour, backend }) {
    this.#state = state;
    this.#flavour = flavour;
    this.#backend = backend;
  }

  /** Queues a job (planned by txt2img-request.mjs); resolves with { images, timestamp }. */
  run(job) {
    const result = this.#queue.then(() => this.#execute(job));
    this.#queue = result.catch(() => {});
    return result;
  }

  async #execute(job) {
    const state = this.#state;
    const a1111 = this.#flavour.stateModel === 'a1111';
    const { steps, n_iter: iterations } = job.request;
    state.begin(this.#flavour.jobTitle);
    const images = [];
    try {
      if (a1111) state.job_count = iterations;
      for (let n = 0; n < iterations; n++) {
        if (state.skipped) state.skipped = false;
        if (state.interrupted) break;
        if (a1111) {
          if (iterations > 1) state.job = `Batch ${n + 1} out of ${iterations}`;
          Object.assign(state, { sampling_steps: steps, sampling_step: 0 });
        } else state.update('Text', steps, 1);
        const base = state.sampling_step;
        images.push(
          ...(await this.#backend.sample(job, n, {
            onStep: (done) => (state.sampling_step = a1111 ? done - 1 : base + done),
            stopped: () => state.interrupted || state.skipped,
          })),
        );
        state.nextjob();
      }
      return { images, timestamp: state.job_timestamp };
    } finally {
      state.end();
    }
  }
}
