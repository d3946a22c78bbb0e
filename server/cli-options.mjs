// Command line of the stand-in server. Fault modes exist so that clients
// (the generate script, the app's poll and quit) can be tested against them.
import { DEFAULT_PORT } from '../scripts/txt2img/default-address.mjs';
import { FLAVOUR_NAMES } from './flavours.mjs';

export const USAGE =
  'usage: kanvo-sd-server.mjs [--port <n>] [--flavour original|forge|sdnext] [--api-auth <user:pass>[,...]] ' +
  '[--samples-format png|jpg|webp] [--step-ms <ms>] [--fail-txt2img <status>] [--txt2img-body <text>] ' +
  '[--txt2img-status <status>] [--hang] [--progress-body <text>] [--slow-progress] [--comfyui <url> [--workflow <file>]]';

export class UsageError extends Error {}

const integerIn = (min, max) => (text) => {
  const n = Number(text);
  return /^\d+$/.test(text) && n >= min && n <= max ? n : undefined;
};

const oneOf = (names) => (text) => (names.includes(text) ? text : undefined);

/** "user:pass,user2:pass2" as the servers read --api-auth: each entry splits at its one colon. */
function credentials(text) {
  const entries = text.split(',').map((entry) => entry.split(':'));
  return entries.every((parts) => parts.length === 2 && parts[0] !== '') ? new Map(entries) : undefined;
}

/** An http(s) address, credentials allowed, without a trailing slash. */
function httpAddress(text) {
  try {
    const url = new URL(text);
    return /^https?:$/.test(url.protocol) ? text.replace(/\/+$/, '') : undefined;
  } catch {
    return undefined;
  }
}

const CREDENTIALS = { key: 'apiAuth', parse: credentials, rule: 'user:password, or several separated by commas (no colon in a password)' };

const OPTIONS = {
  '--port': { key: 'port', parse: integerIn(0, 65535), rule: 'a port number (0 for any free port)' },
  '--flavour': { key: 'flavour', parse: oneOf(FLAVOUR_NAMES), rule: FLAVOUR_NAMES.join(', ') },
  '--api-auth': CREDENTIALS,
  '--auth': CREDENTIALS,
  '--samples-format': { key: 'samplesFormat', parse: oneOf(['png', 'jpg', 'jpeg', 'webp']), rule: 'png, jpg or webp' },
  '--step-ms': { key: 'stepMs', parse: integerIn(0, 60_000), rule: 'milliseconds from 0 to 60000' },
  '--fail-txt2img': { key: 'failTxt2img', parse: integerIn(400, 599), rule: 'an HTTP error status (400-599)' },
  '--txt2img-body': { key: 'txt2imgBody', parse: (text) => text },
  '--txt2img-status': { key: 'txt2imgStatus', parse: integerIn(100, 599), rule: 'an HTTP status (100-599)' },
  '--progress-body': { key: 'progressBody', parse: (text) => text },
  '--hang': { key: 'hang', flag: true },
  '--slow-progress': { key: 'slowProgress', flag: true },
  '--comfyui': { key: 'comfyui', parse: httpAddress, rule: 'an http:// or https:// address, such as http://127.0.0.1:8188' },
  '--workflow': { key: 'workflow', parse: (text) => text },
};

export function parseOptions(args) {
  const options = {
    port: DEFAULT_PORT,
    flavour: 'forge',
    apiAuth: null,
    samplesFormat: 'png',
    stepMs: 150,
    failTxt2img: null,
    txt2imgBody: null,
    txt2imgStatus: 200,
    progressBody: null,
    hang: false,
    slowProgress: false,
    comfyui: null,
    workflow: null,
  };
  for (let i = 0; i < args.length; i++) {
    const option = OPTIONS[args[i]];
    if (!option) throw new UsageError(`unknown argument ${JSON.stringify(args[i])}`);
    if (option.flag) {
      options[option.key] = true;
      continue;
    }
    if (i + 1 >= args.length) throw new UsageError(`${args[i]} needs a value`);
    const value = option.parse(args[++i]);
    if (value === undefined) throw new UsageError(`${args[i - 1]} must be ${option.rule}`);
    options[option.key] = value;
  }
  if (options.workflow !== null && options.comfyui === null) throw new UsageError('--workflow needs --comfyui');
  return options;
}
