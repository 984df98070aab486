// The playground page: one effect from the module, animated on a canvas
// from the property list typed into the editor.
import createPlayground from './playground.js';
import { decodePng } from './png.js';

const $ = (id) => document.getElementById(id);

// Lists to start from, as the README's examples write them.
const kStartLists = {
  mosaic: '[#animMode: #pendulum, #numFrames: 12, #startXRes: 1, #startYRes: 1, #endXRes: 12, #endYRes: 12]',
  rotate: '[#animMode: #infinite, #numFrames: 24, #startDegrees: 0, #endDegrees: 360]',
  rgb: '[#animMode: #pendulum, #numFrames: 12, #startRed: 0, #redShift: 160, #startBlue: 0, #blueShift: -160]',
  hsb: '[#animMode: #infinite, #numFrames: 24, #hueShift: 360, #satShift: 40]',
  lineskip: '[#animMode: #pendulum, #numFrames: 12, #linesToDraw: 4, #startSkip: 0, #linesToSkip: 8, #startOffset: 0, #offset: 12]',
  snow: '[#intensity: 6, #strength: 5, #speed: 7]',
  pointel: '[#intensity: 3, #radius: 3, #speed: 7]',
  swirl: '[#animMode: #pendulum, #numFrames: 12, #startDegrees: 0, #endDegrees: 360]',
  magnify: '[#animMode: #pendulum, #numFrames: 12, #startPercentage: 100, #endPercentage: 250, #magPoint: point(-8, 6)]',
};

const wasm = await createPlayground();
const call = (name, types, args) => wasm.ccall(name, 'string', types, args);
const json = (name, types = [], args = []) => JSON.parse(call(name, types, args));

const effects = json('vx_effects');
const canvas = $('stage');
const context = canvas.getContext('2d');

const state = {
  effect: null,       // entry of `effects`
  frame: 0,           // frames drawn since the effect started
  playing: true,
  goodList: '',       // the last list that parsed
  calls: [],          // {beforeFrame, text} made since the start
  spriteName: null,   // the dropped PNG's file name, when it is the sprite
};

// Copies RGBA bytes into the module's memory for the duration of `use`.
function withBytes(bytes, use) {
  const pointer = wasm._malloc(bytes.length);
  wasm.HEAPU8.set(bytes, pointer);
  try {
    return use(pointer);
  } finally {
    wasm._free(pointer);
  }
}

function report(answer) {
  $('status').textContent = answer.ok ? 'ready' : answer.error;
  return answer;
}

function zoom() {
  canvas.style.width = `${canvas.width * Number($('zoom').value)}px`;
}

function drawFrame() {
  const answer = json('vx_next_frame');
  if (!answer.ok) return report(answer);
  const pixels = new Uint8ClampedArray(wasm.HEAPU8.buffer, wasm._vx_frame_pixels(), answer.width * answer.height * 4);
  if (canvas.width !== answer.width || canvas.height !== answer.height) {
    canvas.width = answer.width;
    canvas.height = answer.height;
    zoom();
  }
  context.putImageData(new ImageData(pixels, answer.width, answer.height), 0, 0);
  $('frame').value = ++state.frame;
  return answer;
}

// The error under the line it is on, a caret at its column.
function showError(text, answer) {
  const box = $('error');
  if (answer.ok) {
    box.hidden = true;
    return;
  }
  let line = 1, start = 0;
  for (let i = 0; i < answer.column - 1 && i < text.length; ++i)
    if (text[i] === '\n') ++line, start = i + 1;
  const end = text.indexOf('\n', start);
  const lineText = text.slice(start, end < 0 ? text.length : end);
  const column = answer.column - start;
  box.textContent = answer.column > 0
    ? `line ${line}, column ${column}: ${answer.error}\n${lineText}\n${' '.repeat(Math.max(0, column - 1))}^`
    : answer.error;
  box.hidden = false;
}

// SetProperties with the editor's text; a list that does not parse leaves
// the last good one animating.
function applyList() {
  const text = $('props').value;
  const answer = json('vx_apply', ['string'], [text]);
  showError(text, answer);
  $('warnings').replaceChildren(...(answer.warnings || []).map((w) => {
    const item = document.createElement('li');
    item.textContent = w;
    return item;
  }));
  if (answer.ok) state.goodList = text;
  return answer;
}

function offerKeys() {
  const keys = $('keys');
  keys.replaceChildren(...state.effect.properties.map((p) => {
    const chip = document.createElement('button');
    chip.type = 'button';
    chip.textContent = `#${p.key}`;
    chip.dataset.key = p.key;
    chip.title = p.described && p.described !== p.type ? `${p.type} (described as ${p.described})` : p.type;
    chip.addEventListener('click', () => insertKey(p.key));
    return chip;
  }));
}

// The `#word` being typed at the caret, if any.
function keyAtCaret() {
  const editor = $('props');
  const match = /#(\w*)$/.exec(editor.value.slice(0, editor.selectionStart));
  return match ? { start: editor.selectionStart - match[1].length, word: match[1] } : null;
}

// While a `#word` is typed, only the keys it begins are offered.
function narrowKeys() {
  const typed = keyAtCaret();
  for (const chip of $('keys').children)
    chip.hidden = typed !== null && !chip.dataset.key.toLowerCase().startsWith(typed.word.toLowerCase());
}

// Completes the `#word` at the caret, else adds `#key: ` at the end of the
// list; the caret after it.
function insertKey(key) {
  const editor = $('props');
  const typed = keyAtCaret();
  if (typed) {
    const rest = editor.value.slice(editor.selectionStart);
    editor.value = `${editor.value.slice(0, typed.start)}${key}: ${rest}`;
    const caret = typed.start + key.length + 2;
    editor.setSelectionRange(caret, caret);
  } else {
    let text = editor.value.trimEnd();
    if (!text.endsWith(']')) text = '[' + (text.startsWith('[') ? text.slice(1) : text) + ']';
    const body = text.slice(0, -1).trimEnd();
    editor.value = `${body === '[' ? '[' : `${body}, `}#${key}: ]`;
    editor.setSelectionRange(editor.value.length - 1, editor.value.length - 1);
  }
  editor.focus();
  narrowKeys();
  applyList();
}

function restart() {
  report(json('vx_restart'));
  state.frame = 0;
  state.calls = [];
  drawFrame();
}

function selectEffect(symbol) {
  state.effect = effects.find((e) => e.symbol === symbol);
  $('description').textContent = state.effect.description;
  $('alpha').disabled = !state.effect.changesAlpha;
  if (!state.effect.changesAlpha) $('alpha').checked = false;
  offerKeys();
  $('props').value = kStartLists[symbol] ?? '[]';
  report(json('vx_select', ['string'], [symbol]));
  applyDrawing();
  applyList();
  state.frame = 0;
  state.calls = [];
  drawFrame();
}

function applyDrawing() {
  const thresholds = $('use-thresholds').checked;
  report(json('vx_drawing', ['number', 'number', 'number', 'number', 'number'],
    [Number($('depth').value), Number($('blend').value), thresholds ? Number($('low').value) : -1,
      Number($('high').value), $('alpha').checked ? 1 : 0]));
}

function applyStage() {
  const colour = $('colour').value;
  state.stageName = null;
  $('stage-file').value = '';
  report(json('vx_stage_colour', ['number'], [$('checker').checked ? -1 : parseInt(colour.slice(1), 16)]));
}

function setSprite(rgba, width, height) {
  return report(withBytes(rgba, (p) => json('vx_sprite', ['number', 'number', 'number'], [p, width, height])));
}

// A PNG file's pixels: exact where png.js reads it, else as the browser
// decodes it (soft alpha then passes through premultiplied pixels).
async function readPicture(file) {
  const exact = await decodePng(await file.arrayBuffer());
  if (exact) return exact;
  const bitmap = await createImageBitmap(file, { premultiplyAlpha: 'none', colorSpaceConversion: 'none' });
  const scratch = new OffscreenCanvas(bitmap.width, bitmap.height).getContext('2d');
  scratch.drawImage(bitmap, 0, 0);
  const image = scratch.getImageData(0, 0, bitmap.width, bitmap.height);
  return { width: image.width, height: image.height, rgba: new Uint8Array(image.data.buffer) };
}

async function loadSprite(file) {
  const picture = await readPicture(file);
  if (setSprite(picture.rgba, picture.width, picture.height).ok) {
    state.spriteName = file.name;
    state.droppedSprite = picture;
    $('sprite-name').textContent = file.name;
    $('sprite-file-choice').disabled = false;
    $('sprite-file-choice').checked = true;
    drawFrame();
  }
}

async function loadStage(file) {
  const picture = await readPicture(file);
  const answer = report(withBytes(picture.rgba,
    (p) => json('vx_stage_rgba', ['number', 'number', 'number'], [p, picture.width, picture.height])));
  if (answer.ok) {
    state.stageName = file.name;
    $('checker').checked = false;
    drawFrame();
  }
}

// The `vornix render` line that makes the same animation.
function previewerCommand() {
  const quote = (s) => `'${s.replace(/'/g, `'\\''`)}'`;
  const alpha = $('alpha').checked;
  const symbol = state.effect.symbol;
  const parts = ['vornix', 'render', symbol, '-o', `${symbol}.${alpha ? 'webp' : 'gif'}`,
    '--frames', String(Math.max(1, state.frame))];
  const list = state.goodList.replace(/\s*\n\s*/g, ' ').trim();
  if (list) parts.push('--props', quote(list));
  for (const c of state.calls) parts.push('--call', quote(`${c.beforeFrame}:${c.text}`));
  if (state.spriteName && $('sprite-file-choice').checked) parts.push('--input', quote(state.spriteName));
  if (state.stageName) parts.push('--background', quote(state.stageName));
  else if (!$('checker').checked) parts.push('--background', `'${$('colour').value}'`);
  if ($('depth').value !== '32') parts.push('--depth', $('depth').value);
  if ($('blend').value !== '255') parts.push('--blend', $('blend').value);
  if ($('use-thresholds').checked) parts.push('--thresholds', `${$('low').value},${$('high').value}`);
  if (alpha) parts.push('--alpha');
  return parts.join(' ');
}

// Frames at the chosen rate, whatever the display's: each is due an
// interval after the one before (a display tick early counts), and a late
// one lets the next follow at once, but no more than one.
let last = performance.now();
function tick(now) {
  const interval = 1000 / Math.max(1, Number($('speed').value) || 1);
  if (!state.playing) {
    last = now;
  } else if (now - last >= interval - 2) {
    drawFrame();
    last = Math.max(last + interval, now - interval);
  }
  requestAnimationFrame(tick);
}

$('effect').replaceChildren(...effects.map((e) => new Option(`${e.name} (#${e.symbol})`, e.symbol)));
$('effect').addEventListener('change', () => selectEffect($('effect').value));
$('props').addEventListener('input', () => {
  applyList();
  narrowKeys();
});
for (const event of ['click', 'keyup']) $('props').addEventListener(event, narrowKeys);
$('play').addEventListener('click', () => {
  state.playing = !state.playing;
  $('play').textContent = state.playing ? 'Pause' : 'Play';
});
$('step').addEventListener('click', drawFrame);
$('zoom').addEventListener('input', zoom);
$('restart').addEventListener('click', restart);
$('run-call').addEventListener('click', () => {
  const text = $('call').value.trim();
  const answer = json('vx_call', ['string'], [text]);
  $('call-result').textContent = answer.ok ? `= ${answer.result ?? '(no result)'}` : answer.error;
  if (answer.ok) state.calls.push({ beforeFrame: state.frame + 1, text });
});
for (const id of ['depth', 'blend', 'use-thresholds', 'low', 'high', 'alpha'])
  $(id).addEventListener('input', () => {
    $('blend-value').value = $('blend').value;
    applyDrawing();
  });
for (const id of ['checker', 'colour']) $(id).addEventListener('input', applyStage);
$('sprite-file').addEventListener('change', () => $('sprite-file').files[0] && loadSprite($('sprite-file').files[0]));
$('stage-file').addEventListener('change', () => $('stage-file').files[0] && loadStage($('stage-file').files[0]));
for (const radio of document.querySelectorAll('input[name=sprite]'))
  radio.addEventListener('change', () => {
    const picture = state.droppedSprite;
    if (radio.value === 'builtin') setSprite(new Uint8Array(0), 0, 0);
    else if (picture) setSprite(picture.rgba, picture.width, picture.height);
  });
document.addEventListener('dragover', (e) => {
  e.preventDefault();
  document.body.classList.add('dragging');
});
document.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
document.addEventListener('drop', (e) => {
  e.preventDefault();
  document.body.classList.remove('dragging');
  const file = [...e.dataTransfer.files].find((f) => f.type === 'image/png');
  if (file) loadSprite(file);
});
canvas.addEventListener('mousemove', (e) => {
  const box = canvas.getBoundingClientRect();
  const x = Math.floor((e.clientX - box.left) * canvas.width / box.width);
  const y = Math.floor((e.clientY - box.top) * canvas.height / box.height);
  const alpha = wasm._vx_hit(x, y);
  $('hit').textContent = alpha >= 0 ? `hit (${x}, ${y}): alpha ${alpha}`
    : alpha === -1 ? `hit (${x}, ${y}): #${state.effect.symbol} does not answer hit tests` : `hit (${x}, ${y}): failed`;
});
$('copy').addEventListener('click', async () => {
  const command = previewerCommand();
  $('command').textContent = command;
  try {
    await navigator.clipboard.writeText(command);
  } catch {
    // Shown on the page either way.
  }
});

selectEffect(effects[0].symbol);
requestAnimationFrame(tick);

// For scripted use (the browser test): the effects, and stepping without
// the clock.
window.playground = {
  effects: effects.map((e) => e.symbol),
  selectEffect: (symbol) => { $('effect').value = symbol; selectEffect(symbol); },
  setSprite,
  drawFrame,
  state,
  // The last frame as the module drew it, base64.
  frameBytes: () => {
    const answer = { width: canvas.width, height: canvas.height };
    const bytes = new Uint8Array(wasm.HEAPU8.buffer, wasm._vx_frame_pixels(), canvas.width * canvas.height * 4);
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return { ...answer, base64: btoa(text) };
  },
};
document.body.dataset.ready = 'true';
