// The server-wide job state that progress reports, as each fork keeps it
// (modules/shared_state.py). Like the real servers', it outlives a job:
// end() clears only what the fork clears, so after a job the progress
// answer still shows its last step, and an interrupt sent while idle is
// visible until the next job begins.
import { randomBytes } from 'node:crypto';

function timestamp() {
  return new Date().toISOString().replace(/\D/g, '').slice(0, 14);
}

/** What every fork's State holds. */
class SharedState {
  skipped = false;
  interrupted = false;
  job = '';
  job_no = 0;
  job_count = 0;
  job_timestamp = '0';
  sampling_step = 0;
  sampling_steps = 0;
  textinfo = null;
  time_start = null;
  current_image = null;
}

/** The original web UI's and Forge's State. */
class A1111State extends SharedState {
  stopping_generation = false;
  current_image_sampling_step = 0;

  dict() {
    const { skipped, interrupted, stopping_generation, job, job_count, job_timestamp } = this;
    const { job_no, sampling_step, sampling_steps } = this;
    return { skipped, interrupted, stopping_generation, job, job_count, job_timestamp, job_no, sampling_step, sampling_steps };
  }

  begin(job) {
    Object.assign(this, {
      sampling_step: 0,
      time_start: Date.now(),
      job_count: -1,
      job_no: 0,
      job_timestamp: timestamp(),
      current_image: null,
      current_image_sampling_step: 0,
      skipped: false,
      interrupted: false,
      stopping_generation: false,
      textinfo: null,
      job,
    });
  }

  end() {
    this.job = '';
    this.job_count = 0;
  }

  nextjob() {
    this.job_no += 1;
    this.sampling_step = 0;
    this.current_image_sampling_step = 0;
  }
}

/** SD.Next's State: a task id, no stopping_generation, and a fuller reset at the end. */
class SdNextState extends SharedState {
  id = 0;

  dict() {
    const { skipped, interrupted, job, job_count, job_timestamp, job_no, sampling_step, sampling_steps } = this;
    return { skipped, interrupted, job, job_count, job_timestamp, job_no, sampling_step, sampling_steps };
  }

  begin(job) {
    Object.assign(this, {
      current_image: null,
      interrupted: false,
      id: randomBytes(8).toString('hex').slice(0, 15),
      job,
      job_count: 1,
      job_no: 0,
      job_timestamp: timestamp(),
      sampling_step: 0,
      sampling_steps: 0,
      skipped: false,
      textinfo: null,
      time_start: Date.now(),
    });
  }

  /** State.update: each processing pass adds its steps and one job. */
  update(job, steps, jobs) {
    this.sampling_steps += steps * jobs;
    this.job_count += jobs;
    this.job = job;
  }

  end() {
    Object.assign(this, { id: '', job: '', job_count: 0, job_no: 0, interrupted: false, skipped: false });
  }

  nextjob() {
    this.job_no += 1;
  }
}

export function createJobState(flavour) {
  return flavour.stateModel === 'sdnext' ? new SdNextState() : new A1111State();
}
