// The server's image as PNG bytes. A server whose image format setting is
// JPEG or WEBP sends those; they are converted, at the server's size and
// pixels as they are. A PNG is kept byte for byte (with the parameters the
// server wrote into it) once it is known to decode.
import { Failure } from './http-post.mjs';
import { loadSharp } from './load-sharp.mjs';

const JPEG_XL = [Buffer.from([0xff, 0x0a]), Buffer.from('0000000c4a584c200d0a870a', 'hex')];

/** The base64 text of an API image, with or without a data: URL prefix, as bytes. */
export function imageBytes(encoded) {
  return Buffer.from(encoded.replace(/^data:[^,]*;base64,/, ''), 'base64');
}

/** PNG bytes of the image the server at `name` sent. */
export async function toPng(bytes, name) {
  if (JPEG_XL.some((signature) => bytes.subarray(0, signature.length).equals(signature))) {
    throw new Failure(
      `the generation server at ${name} sent a JPEG XL image, which Kanvo cannot read; ` +
        "set the server's image format to PNG, JPEG or WEBP",
    );
  }
  const sharp = await loadSharp((message) => new Failure(message));
  try {
    const { format } = await sharp(bytes).metadata();
    if (format === 'png') {
      await sharp(bytes).raw().toBuffer();
      return bytes;
    }
    return await sharp(bytes).png().toBuffer();
  } catch (e) {
    throw new Failure(`the generation server at ${name} sent an image Kanvo cannot read (${e.message})`);
  }
}
