// Command line of the stand-in server. Fault modes exist so that clients
// (the generate script, the app's poll and quit) can be tested against them.

export const USAGE =
  'usage: kanvo-sd-server.mjs [--port <n>] [--step-ms <ms>] [--fail-txt2img <status>] ' +
  '[--txt2img-body <text>] [--hang] [--progress-body <text>] [--slow-progress] [--auth <user:pass>]';

export class UsageError extends Error {}

const integerIn = (min, max) => (text) => {
  const n = Number(text);
  return /^\d+$/.test(text) && n >= min && n <= max ? n : undefined;
};

const OPTIONS = {
  '--port': { key: 'port', parse: integerIn(0, 65535), rule: 'a port number (0 for any free port)' },
  '--step-ms': { key: 'stepMs', parse: integerIn(0, 60_000), rule: 'milliseconds from 0 to 60000' },
  '--fail-txt2img': { key: 'failTxt2img', parse: integerIn(400, 599), rule: 'an HTTP error status (400-599)' },
  '--txt2img-body': { key: 'txt2imgBody', parse: (text) => text },
  '--progress-body': { key: 'progressBody', parse: (text) => text },
  '--auth': { key: 'auth', parse: (text) => (text.includes(':') ? text : undefined), rule: 'user:password' },
  '--hang': { key: 'hang', flag: true },
  '--slow-progress': { key: 'slowProgress', flag: true },
};

export function parseOptions(args) {
  const options = {
    port: 51544,
    stepMs: 150,
    failTxt2img: null,
    txt2imgBody: null,
    progressBody: null,
    auth: null,
    hang: false,
    slowProgress: false,
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
  return options;
}
