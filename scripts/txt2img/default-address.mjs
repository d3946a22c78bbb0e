// Where Kanvo's generation server listens unless the configuration says
// otherwise: the fallback for sd_url and the local server's default port.
export const DEFAULT_PORT = 51544;
export const DEFAULT_SD_URL = `http://127.0.0.1:${DEFAULT_PORT}`;
