// A minimal PNG encoder: 8-bit RGB, one IDAT, no interlace, optional text
// chunks. Enough for the stand-in server's images; every decoder reads this
// subset.
import { deflateSync } from 'node:zlib';

const SIGNATURE = Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);

const CRC_TABLE = (() => {
  const table = new Uint32Array(256);
  for (let n = 0; n < 256; n++) {
    let c = n;
    for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    table[n] = c >>> 0;
  }
  return table;
})();

export function crc32(bytes) {
  let c = 0xffffffff;
  for (const byte of bytes) c = CRC_TABLE[(c ^ byte) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}

function chunk(type, data) {
  const typeAndData = Buffer.concat([Buffer.from(type, 'latin1'), data]);
  const length = Buffer.alloc(4);
  length.writeUInt32BE(data.length);
  const crc = Buffer.alloc(4);
  crc.writeUInt32BE(crc32(typeAndData));
  return Buffer.concat([length, typeAndData, crc]);
}

/** A text chunk as Pillow writes one: tEXt when the text is Latin-1, iTXt (UTF-8) otherwise. */
function textChunk(keyword, text) {
  const key = Buffer.from(keyword, 'latin1');
  if (/^[\u0000-\u00ff]*$/.test(text)) return chunk('tEXt', Buffer.concat([key, Buffer.from([0]), Buffer.from(text, 'latin1')]));
  // keyword, compression flag and method, empty language tag and translated keyword
  return chunk('iTXt', Buffer.concat([key, Buffer.from([0, 0, 0, 0, 0]), Buffer.from(text, 'utf8')]));
}

/** rgb: width * height * 3 bytes, rows top to bottom; text: { keyword: text } chunks before the image data. */
export function encodePng(width, height, rgb, { text = {} } = {}) {
  if (rgb.length !== width * height * 3) {
    throw new RangeError(`expected ${width * height * 3} RGB bytes, got ${rgb.length}`);
  }
  const ihdr = Buffer.alloc(13);
  ihdr.writeUInt32BE(width, 0);
  ihdr.writeUInt32BE(height, 4);
  ihdr[8] = 8; // bit depth
  ihdr[9] = 2; // colour type: truecolour
  // compression, filter and interlace methods stay 0

  const stride = width * 3;
  const scanlines = Buffer.alloc((stride + 1) * height);
  for (let y = 0; y < height; y++) {
    // Each scanline starts with filter type 0 (none), already zero.
    rgb.copy(scanlines, y * (stride + 1) + 1, y * stride, (y + 1) * stride);
  }

  return Buffer.concat([
    SIGNATURE,
    chunk('IHDR', ihdr),
    ...Object.entries(text).map(([keyword, value]) => textChunk(keyword, value)),
    chunk('IDAT', deflateSync(scanlines)),
    chunk('IEND', Buffer.alloc(0)),
  ]);
}
