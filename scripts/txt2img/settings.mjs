// Kanvo's generation configuration (resources/generate/defaults.toml), read
// and checked for the generate script. Run as a program with the file's
// path, it prints the local server's settings one a line (sd_url,
// comfyui_url, comfyui_workflow as an absolute path), for run.sh and the
// kanvo-sd-server launcher.
import { readFile } from 'node:fs/promises';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { DEFAULT_SD_URL } from './default-address.mjs';
import { Failure } from './http-post.mjs';

const isString = (v) => typeof v === 'string';
const isPositiveInteger = (v) => Number.isInteger(v) && v > 0;

const SETTINGS = {
  sd_url: { fallback: DEFAULT_SD_URL, valid: isString, rule: 'a string' },
  steps: { fallback: 20, valid: isPositiveInteger, rule: 'a positive integer' },
  width: { fallback: 512, valid: isPositiveInteger, rule: 'a positive integer' },
  height: { fallback: 512, valid: isPositiveInteger, rule: 'a positive integer' },
  cfg_scale: { fallback: 7.0, valid: Number.isFinite, rule: 'a number' },
  sampler_name: { fallback: 'Euler a', valid: isString, rule: 'a string' },
  seed: { fallback: -1, valid: (v) => Number.isInteger(v) && v >= -1, rule: 'an integer, -1 for a random seed' },
  negative_prompt: { fallback: '', valid: isString, rule: 'a string' },
  timeout_s: { fallback: 300, valid: (v) => Number.isFinite(v) && v > 0, rule: 'a positive number of seconds' },
  // For the local server only (run.sh, kanvo-sd-server): the ComfyUI it drives, and a workflow of one's own.
  comfyui_url: { fallback: '', valid: isString, rule: 'a string' },
  comfyui_workflow: { fallback: '', valid: isString, rule: 'a string' },
};

async function loadTomlParser() {
  try {
    return (await import('smol-toml')).parse;
  } catch (e) {
    if (e.code !== 'ERR_MODULE_NOT_FOUND') throw e;
    throw new Failure('the TOML package smol-toml is not installed; run "npm ci" in Kanvo\'s folder');
  }
}

function describe(value) {
  return typeof value === 'string' ? JSON.stringify(value) : String(value);
}

/** The settings of the configuration file, each checked, with the fallbacks for those it leaves out. */
export async function readConfig(configPath) {
  let text;
  try {
    text = await readFile(configPath, 'utf8');
  } catch (e) {
    throw new Failure(`cannot read the configuration ${configPath}: ${e.message}`);
  }
  const parseToml = await loadTomlParser();
  let table;
  try {
    table = parseToml(text);
  } catch (e) {
    if (typeof e.line !== 'number') throw e;
    const reason = e.message.split('\n')[0].replace(/^Invalid TOML document: /, '');
    throw new Failure(`malformed configuration ${configPath}:${e.line}:${e.column}: ${reason}`);
  }

  const config = {};
  for (const key of Object.keys(table)) {
    if (!(key in SETTINGS)) throw new Failure(`configuration ${configPath}: unknown setting "${key}"`);
  }
  for (const [key, setting] of Object.entries(SETTINGS)) {
    const value = table[key] ?? setting.fallback;
    if (!setting.valid(value)) {
      throw new Failure(`configuration ${configPath}: ${key} must be ${setting.rule}, not ${describe(value)}`);
    }
    config[key] = value;
  }
  return config;
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const configPath = process.argv[2];
  try {
    const config = await readConfig(configPath);
    // A workflow named relative to the configuration lies beside it.
    const workflow = config.comfyui_workflow && path.resolve(path.dirname(configPath), config.comfyui_workflow);
    process.stdout.write(`${config.sd_url}\n${config.comfyui_url}\n${workflow}\n`);
  } catch (e) {
    process.stderr.write(`${e.message}\n`);
    process.exitCode = 1;
  }
}
