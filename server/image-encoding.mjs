// Images leave the server in the format of its samples_format option,
// base64-encoded (modules/api/api.py, encode_pil_to_base64): PNG with the
// parameters text in a text chunk, or JPEG or WEBP at jpeg_quality. Any
// other format fails the request, as it fails the real server's.
import { loadSharp } from '../scripts/txt2img/load-sharp.mjs';
import { HTTPException, ServerError } from './http-framework.mjs';
import { encodePng } from './png.mjs';

/** image: { width, height, rgb } or { png } (a backend's own PNG); returns the base64 text the API sends. */
export async function encodeImage(flavour, options, image, parameters = null) {
  const format = String(options.samples_format).toLowerCase();
  const quality = Number(options.jpeg_quality);
  if (format === 'png') {
    if (image.png) return image.png.toString('base64');
    const text = parameters === null ? {} : { parameters };
    return encodePng(image.width, image.height, image.rgb, { text }).toString('base64');
  }
  if (format === 'jpg' || format === 'jpeg' || format === 'webp') {
    const sharp = await loadSharp((message) => new ServerError('ModuleNotFoundError', message));
    const source = image.png ? sharp(image.png) : sharp(image.rgb, { raw: { width: image.width, height: image.height, channels: 3 } });
    const encoded = format === 'webp' ? source.webp({ quality }) : source.jpeg({ quality });
    return (await encoded.toBuffer()).toString('base64');
  }
  // SD.Next looks the extension up in Pillow's registry; the others raise HTTPException.
  if (flavour.name === 'sdnext') throw new ServerError('KeyError', `'.${format}'`);
  throw new HTTPException(500, 'Invalid image format');
}
