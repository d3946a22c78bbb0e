// Images leave the server in the format of its samples_format option,
// base64-encoded (modules/api/api.py, encode_pil_to_base64): PNG with the
// parameters text in a text chunk, or JPEG or WEBP at jpeg_quality. Any
// other format fails the request, as it fails the real server's.
import { HTTPException, ServerError } from './fastapi.mjs';
import { encodePng } from './png.mjs';

async function loadSharp() {
  try {
    return (await import('sharp')).default;
  } catch (e) {
    if (e.code !== 'ERR_MODULE_NOT_FOUND') throw e;
    throw new ServerError('ModuleNotFoundError', 'JPEG and WEBP images need the npm package sharp; run "npm ci" in Kanvo\'s folder');
  }
}

/** image: { width, height, rgb }; returns the base64 text the API sends. */
export async function encodeImage(flavour, options, image, parameters = null) {
  const format = String(options.samples_format).toLowerCase();
  const quality = Number(options.jpeg_quality);
  if (format === 'png') {
    const text = parameters === null ? {} : { parameters };
    return encodePng(image.width, image.height, image.rgb, { text }).toString('base64');
  }
  if (format === 'jpg' || format === 'jpeg' || format === 'webp') {
    const sharp = await loadSharp();
    const raw = sharp(image.rgb, { raw: { width: image.width, height: image.height, channels: 3 } });
    const encoded = format === 'webp' ? raw.webp({ quality }) : raw.jpeg({ quality });
    return (await encoded.toBuffer()).toString('base64');
  }
  // SD.Next looks the extension up in Pillow's registry; the others raise HTTPException.
  if (flavour.name === 'sdnext') throw new ServerError('KeyError', `'.${format}'`);
  throw new HTTPException(500, 'Invalid image format');
}
