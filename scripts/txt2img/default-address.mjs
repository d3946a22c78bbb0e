// Where Kanvo's generation server listens unless the configuration says
// otherwise: the generate script's fallback for sd_url, the local server's
// default port, and (run as a program) what run.sh asks for.
export const DEFAULT_PORT = 51544;
export const DEFAULT_SD_URL = `http://127.0.0.1:${DEFAULT_PORT}`;
