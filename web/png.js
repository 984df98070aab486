// PNG files to straight RGBA bytes, exactly as stored: a browser hands
// canvas pixels back premultiplied, which changes soft edges. Takes
// non-interlaced images of up to 8 bits per sample in sRGB (no gamma,
// chromaticities or profile); for the rest it answers null and the caller lets the browser
// decode.

const kChannels = { 0: 1, 2: 3, 3: 1, 4: 2, 6: 4 };

async function inflate(bytes) {
  const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('deflate'));
  return new Uint8Array(await new Response(stream).arrayBuffer());
}

// The row filters undone in place; `bpp` bytes per pixel (at least 1).
function unfilter(data, height, stride, bpp) {
  const rows = new Uint8Array(height * stride);
  for (let y = 0; y < height; ++y) {
    const type = data[y * (stride + 1)];
    const src = data.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    const row = rows.subarray(y * stride, (y + 1) * stride);
    const up = y > 0 ? rows.subarray((y - 1) * stride, y * stride) : new Uint8Array(stride);
    for (let i = 0; i < stride; ++i) {
      const a = i >= bpp ? row[i - bpp] : 0, b = up[i], c = i >= bpp ? up[i - bpp] : 0;
      let predictor = 0;
      if (type === 1) predictor = a;
      else if (type === 2) predictor = b;
      else if (type === 3) predictor = (a + b) >> 1;
      else if (type === 4) {
        const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
        predictor = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      } else if (type !== 0) throw new Error(`PNG row filter ${type}`);
      row[i] = (src[i] + predictor) & 255;
    }
  }
  return rows;
}

export async function decodePng(buffer) {
  const bytes = new Uint8Array(buffer);
  const view = new DataView(buffer);
  const signature = [137, 80, 78, 71, 13, 10, 26, 10];
  if (!signature.every((b, i) => bytes[i] === b)) throw new Error('not a PNG file');
  let width = 0, height = 0, depth = 0, type = 0, interlaced = false, palette = null, transparency = null;
  const idat = [];
  for (let at = 8; at + 8 <= bytes.length;) {
    const length = view.getUint32(at);
    const name = String.fromCharCode(...bytes.subarray(at + 4, at + 8));
    const body = bytes.subarray(at + 8, at + 8 + length);
    if (name === 'IHDR') {
      width = view.getUint32(at + 8);
      height = view.getUint32(at + 12);
      [depth, type] = [body[8], body[9]];
      interlaced = body[12] !== 0;
    } else if (name === 'PLTE') palette = body;
    else if (name === 'tRNS') transparency = body;
    else if (name === 'IDAT') idat.push(body);
    else if (['gAMA', 'cHRM', 'iCCP'].includes(name)) return null;
    else if (name === 'IEND') break;
    at += 12 + length;
  }
  if (interlaced || depth > 8 || !(type in kChannels) || width === 0 || height === 0) return null;

  const channels = kChannels[type];
  const stride = Math.ceil((width * channels * depth) / 8);
  const rows = unfilter(await inflate(new Uint8Array(await new Blob(idat).arrayBuffer())), height, stride,
    Math.max(1, (channels * depth) >> 3));
  const rgba = new Uint8Array(width * height * 4);
  const scale = 255 / ((1 << depth) - 1);
  for (let y = 0; y < height; ++y)
    for (let x = 0; x < width; ++x) {
      const sample = (c) => {
        if (depth === 8) return rows[y * stride + x * channels + c];
        const bit = x * depth;  // one channel below 8 bits
        return (rows[y * stride + (bit >> 3)] >> (8 - depth - (bit & 7))) & ((1 << depth) - 1);
      };
      const out = rgba.subarray((y * width + x) * 4, (y * width + x) * 4 + 4);
      if (type === 3) {
        const i = sample(0);
        out.set([palette[i * 3], palette[i * 3 + 1], palette[i * 3 + 2],
          transparency && i < transparency.length ? transparency[i] : 255]);
      } else if (type === 0 || type === 4) {
        const raw = sample(0), v = Math.round(raw * scale);
        const key = transparency && type === 0 ? (transparency[0] << 8) | transparency[1] : -1;
        out.set([v, v, v, type === 4 ? sample(1) : raw === key ? 0 : 255]);
      } else {
        const [r, g, b] = [sample(0), sample(1), sample(2)];
        const keyed = transparency && type === 2 && r === transparency[1] && g === transparency[3] &&
          b === transparency[5];
        out.set([r, g, b, type === 6 ? sample(3) : keyed ? 0 : 255]);
      }
    }
  return { width, height, rgba };
}
