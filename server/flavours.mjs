// Where the three servers that offer /sdapi/v1 differ, in one table. The
// files named are those of each fork's repository that the behaviour comes
// from; server/README.md lists the same differences for people.

export const FLAVOURS = {
  // AUTOMATIC1111/stable-diffusion-webui 1.10
  original: {
    name: 'original',
    // requirements_versions.txt: fastapi 0.94 with pydantic 1
    pydantic: 1,
    legacyJsonErrors: true,
    // modules/api/api.py, api_middleware: HTTPExceptions raised by the API
    // and every other exception go through handle_exception, which answers
    // without the exception's headers.
    routeError: (status, detail) => ({
      body: { error: 'HTTPException', detail, body: '', errors: `${status}: ${detail}` },
      headers: {},
    }),
    serverError: (type, message) => ({ error: type, detail: '', body: '', errors: message }),
    processTimeHeader: true,
    gzipMinimumSize: 1000,
    // Api.add_api_route puts the auth dependency on every route.
    progressNeedsAuth: true,
    wrongCredentials: 'Incorrect username or password',
    stateModel: 'a1111',
    samplerPolicy: 'fallback',
    schedulerSuffixCaseInsensitive: false,
    // models.py SamplerItem.options is Dict[str, str]: pydantic 1 turns True into "True".
    samplerOptionsAsText: true,
    hasSchedulers: true,
    jobTitle: 'scripts_txt2img',
    imageSizeFromRequest: true,
  },
  // lllyasviel/stable-diffusion-webui-forge (the Gradio 4 branch)
  forge: {
    name: 'forge',
    // modules/api/models.py uses pydantic 2 (ConfigDict), with a FastAPI of the 0.100 line
    pydantic: 2,
    legacyJsonErrors: false,
    // webui.py installs only an Exception handler (_handle_exception, which
    // says `message`); api_middleware is commented out in modules/api/api.py,
    // so HTTPExceptions get FastAPI's own {"detail"} with their headers.
    routeError: (status, detail, headers) => ({ body: { detail }, headers }),
    serverError: (type, message) => ({ error: type, detail: '', body: '', message }),
    processTimeHeader: false,
    gzipMinimumSize: 1000,
    // modules/api/api.py registers progress with auth_required=False.
    progressNeedsAuth: false,
    wrongCredentials: 'Incorrect username or password',
    stateModel: 'a1111',
    samplerPolicy: 'fallback',
    // modules/sd_samplers.py, get_sampler_and_scheduler: lower-cases before endswith
    schedulerSuffixCaseInsensitive: true,
    samplerOptionsAsText: false,
    hasSchedulers: true,
    jobTitle: 'scripts_txt2img',
    imageSizeFromRequest: true,
  },
  // vladmandic/sdnext
  sdnext: {
    name: 'sdnext',
    // requirements.txt pins pydantic 1.10 under a current FastAPI
    pydantic: 1,
    legacyJsonErrors: false,
    // modules/api/middleware.py, handle_exception adds `code`.
    routeError: (status, detail) => ({
      body: { error: 'HTTPException', code: status, detail, body: '', errors: `${status}: ${detail}` },
      headers: {},
    }),
    serverError: (type, message, status) => ({ error: type, code: status, detail: '', body: '', errors: message }),
    processTimeHeader: true,
    gzipMinimumSize: 2048,
    progressNeedsAuth: true,
    // modules/api/api.py, Api.auth
    wrongCredentials: 'Unauthorized',
    stateModel: 'sdnext',
    // modules/api/helpers.py, validate_sampler_name: 404 "Sampler not found"
    samplerPolicy: 'strict',
    schedulerSuffixCaseInsensitive: false,
    samplerOptionsAsText: false,
    hasSchedulers: false,
    jobTitle: 'API-TXT',
    // modules/processing.py, process_images rounds the size down to the VAE's 8
    imageSizeFromRequest: false,
  },
};

export const FLAVOUR_NAMES = Object.keys(FLAVOURS);
