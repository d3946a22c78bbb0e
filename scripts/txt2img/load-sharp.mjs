// The image package sharp, which the generate script and the local server
// both load only when they meet an image that needs it.

/** sharp, or the error `failure(message)` makes when it is not installed. */
export async function loadSharp(failure) {
  try {
    return (await import('sharp')).default;
  } catch (e) {
    if (e.code !== 'ERR_MODULE_NOT_FOUND') throw e;
    throw failure('the image package sharp is not installed; run "npm ci" in Kanvo\'s folder');
  }
}
