// The stand-in for a model: soft coloured blobs over a gradient, chosen by a
// PRNG seeded from the prompt and the seed, so the same request always gives
// the same picture and a different prompt or seed visibly another one.

function fnv1a(text) {
  let h = 0x811c9dc5;
  for (const byte of Buffer.from(text, 'utf8')) h = Math.imul(h ^ byte, 0x01000193);
  return h >>> 0;
}

function mulberry32(state) {
  return () => {
    state = (state + 0x6d2b79f5) >>> 0;
    let t = state;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

function hsvToRgb(h, s, v) {
  const i = Math.floor(h * 6);
  const f = h * 6 - i;
  const p = v * (1 - s);
  const q = v * (1 - f * s);
  const t = v * (1 - (1 - f) * s);
  return [
    [v, t, p],
    [q, v, p],
    [p, v, t],
    [p, q, v],
    [t, p, v],
    [v, p, q],
  ][i % 6].map((c) => c * 255);
}

/** Returns width * height * 3 RGB bytes, rows top to bottom. */
export function renderImage({ prompt, seed, width, height }) {
  const random = mulberry32(fnv1a(prompt) ^ Math.imul(seed % 4294967296, 0x9e3779b1));
  const baseHue = random();
  const top = hsvToRgb(baseHue, 0.35 + 0.3 * random(), 0.95);
  const bottom = hsvToRgb((baseHue + 0.5 + 0.2 * random()) % 1, 0.6, 0.35 + 0.3 * random());
  const blobs = Array.from({ length: 4 + Math.floor(random() * 4) }, () => ({
    x: random(),
    y: random(),
    radius2: (0.08 + 0.22 * random()) ** 2,
    colour: hsvToRgb(random(), 0.5 + 0.5 * random(), 0.6 + 0.4 * random()),
    strength: 0.5 + 0.5 * random(),
  }));

  const scale = Math.min(width, height);
  const rgb = Buffer.alloc(width * height * 3);
  let offset = 0;
  for (let y = 0; y < height; y++) {
    const fy = y / Math.max(1, height - 1);
    for (let x = 0; x < width; x++) {
      let r = top[0] + (bottom[0] - top[0]) * fy;
      let g = top[1] + (bottom[1] - top[1]) * fy;
      let b = top[2] + (bottom[2] - top[2]) * fy;
      for (const blob of blobs) {
        const dx = (x - blob.x * width) / scale;
        const dy = (y - blob.y * height) / scale;
        const weight = blob.strength * Math.exp(-(dx * dx + dy * dy) / blob.radius2);
        r += (blob.colour[0] - r) * weight;
        g += (blob.colour[1] - g) * weight;
        b += (blob.colour[2] - b) * weight;
      }
      rgb[offset++] = r;
      rgb[offset++] = g;
      rgb[offset++] = b;
    }
  }
  return rgb;
}
