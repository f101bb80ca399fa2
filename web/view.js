// The whole-picture view: the filter's output over the whole picture, fitted
// to its frame or at any zoom (1:1 is one pixel of the picture on one pixel
// of the screen), moved by dragging or the arrow keys, zoomed by its buttons,
// + and -, a double-click, Ctrl and the wheel (a touchpad's pinch) or two
// fingers; and compared with the original: a split the user drags (the
// original left of it), or the original alone while O or the Hold button is
// held down. Until the whole picture's bitmaps come, the thumbnails stand in
// for them, scaled to the picture's size.
const kLevels = [1 / 32, 1 / 16, 1 / 8, 1 / 4, 1 / 2, 1, 2, 4, 8, 16, 32];

export class WholeView {
  constructor({ frame, canvas, split, beforeTag, afterTag, scaleLabel, fitLabel, reducedLabel }) {
    Object.assign(this, { frame, canvas, split, beforeTag, afterTag, scaleLabel, fitLabel, reducedLabel });
    this.context = canvas.getContext('2d');
    this.width = 0;
    this.height = 0;
    this.images = { before: null, after: null, beforeStandIn: null, afterStandIn: null };
    this.fit = true;
    this.scale = 1;       // device pixels a picture pixel, when not fitted
    this.centre = [0, 0]; // the picture's point at the canvas's centre
    this.compare = false;
    this.splitAt = 0.5;   // of the canvas's width
    this.holding = new Set();  // what holds the original on: keys, a pointer
    this.pointers = new Map();
    this.gesture = null;
    new ResizeObserver(() => this.resize()).observe(frame);
    this.listen();
    this.resize();
  }

  // A new picture of `width` x `height` pixels: fitted, nothing to show yet.
  picture(width, height) {
    for (const key of Object.keys(this.images)) this.replace(key, null);
    this.width = width;
    this.height = height;
    this.fit = true;
    this.centre = [width / 2, height / 2];
    this.draw();
  }

  // Sets one of the images shown (an ImageBitmap or a canvas), closing the
  // bitmap it replaces.
  replace(key, image) {
    const old = this.images[key];
    if (old && old !== image && typeof old.close === 'function') old.close();
    this.images[key] = image;
  }

  show(key, image) {
    this.replace(key, image);
    this.draw();
  }

  // Device pixels a picture pixel, as shown now.
  shownScale() {
    if (!this.width) return 1;
    return this.fit ? Math.min(this.canvas.width / this.width, this.canvas.height / this.height) : this.scale;
  }

  // The picture's pixels a side of a pixel of the bitmap shown (1 but for a
  // very large picture, which the view keeps smaller).
  reduction() {
    const image = this.images.after || this.images.before;
    return image && this.width ? Math.round(this.width / image.width) : 1;
  }

  // Where the picture lies on the canvas, in the canvas's pixels, and how the
  // comparison stands.
  placement() {
    const s = this.shownScale();
    this.clampCentre(s);
    return {
      left: Math.round(this.canvas.width / 2 - this.centre[0] * s),
      top: Math.round(this.canvas.height / 2 - this.centre[1] * s),
      scale: s,
      splitX: this.compare ? Math.round(this.splitAt * this.canvas.width) : null,
      original: this.holding.size > 0,
      reduction: this.reduction(),
    };
  }

  // The centre is kept where the picture covers the canvas, or in the middle
  // along a side where it is smaller than the canvas.
  clampCentre(s) {
    const keep = (c, size, room) => {
      const half = room / 2 / s;
      return size * s <= room ? size / 2 : Math.min(Math.max(c, half), size - half);
    };
    this.centre = [keep(this.centre[0], this.width, this.canvas.width), keep(this.centre[1], this.height, this.canvas.height)];
  }

  draw() {
    const { context, canvas } = this;
    context.clearRect(0, 0, canvas.width, canvas.height);
    const before = this.images.before || this.images.beforeStandIn;
    const after = this.images.after || this.images.afterStandIn;
    const { left, top, scale, splitX, original } = this.placement();
    const put = (image) => {
      if (!image || !this.width) return;
      context.imageSmoothingEnabled = scale < 1 || image.width !== this.width;
      context.imageSmoothingQuality = 'high';
      context.drawImage(image, left, top, this.width * scale, this.height * scale);
    };
    if (original) {
      put(before);
    } else {
      put(after);
      if (splitX !== null) {
        context.save();
        context.beginPath();
        context.rect(0, 0, splitX, canvas.height);
        context.clip();
        put(before);
        context.restore();
      }
    }
    this.split.hidden = !this.compare || original;
    this.split.style.left = `${this.splitAt * 100}%`;
    this.split.setAttribute('aria-valuenow', String(Math.round(this.splitAt * 100)));
    this.beforeTag.hidden = !(this.compare || original) || !this.width;
    this.afterTag.hidden = !this.compare || original || !this.width;
    const percent = Math.round((scale * 100) / (window.devicePixelRatio || 1) * 10) / 10;
    const reduction = this.reduction();
    this.scaleLabel.textContent = !this.width ? '' : `${this.fit ? this.fitLabel(percent) : `${percent} %`}` +
      `${reduction > 1 ? ` ${this.reducedLabel(reduction)}` : ''}`;
  }

  resize() {
    const ratio = window.devicePixelRatio || 1;
    const width = Math.max(1, Math.round(this.frame.clientWidth * ratio));
    const height = Math.max(1, Math.round(this.frame.clientHeight * ratio));
    if (this.canvas.width !== width || this.canvas.height !== height) {
      this.canvas.width = width;
      this.canvas.height = height;
    }
    this.draw();
  }

  // Zooms to `scale` keeping the picture's point under canvas point (x, y).
  zoomTo(scale, x = this.canvas.width / 2, y = this.canvas.height / 2) {
    if (!this.width) return;
    const fitted = Math.min(this.canvas.width / this.width, this.canvas.height / this.height);
    const s = this.shownScale();
    const next = Math.min(Math.max(scale, Math.min(fitted, kLevels[0])), kLevels[kLevels.length - 1]);
    const { left, top } = this.placement();
    const px = (x - left) / s, py = (y - top) / s;
    this.fit = false;
    this.scale = next;
    this.centre = [px + (this.canvas.width / 2 - x) / next, py + (this.canvas.height / 2 - y) / next];
    this.draw();
  }

  zoomStep(up) {
    const s = this.shownScale();
    const level = up ? kLevels.find((l) => l > s * 1.001) : [...kLevels].reverse().find((l) => l < s / 1.001);
    if (level) this.zoomTo(level);
  }

  fitToFrame() {
    this.fit = true;
    this.draw();
  }

  actualPixels(x, y) {
    this.zoomTo(1, x, y);
  }

  pan(dx, dy) {
    const s = this.shownScale();
    if (this.fit) {
      this.fit = false;
      this.scale = s;
    }
    this.centre = [this.centre[0] - dx / s, this.centre[1] - dy / s];
    this.draw();
  }

  hold(what, on) {
    if (on) this.holding.add(what);
    else this.holding.delete(what);
    this.draw();
  }

  setCompare(on) {
    this.compare = on;
    this.draw();
  }

  // A point of an event on the canvas, in the canvas's pixels.
  at(event) {
    const box = this.canvas.getBoundingClientRect();
    return [(event.clientX - box.left) * this.canvas.width / box.width, (event.clientY - box.top) * this.canvas.height / box.height];
  }

  listen() {
    const { canvas, split } = this;
    canvas.addEventListener('pointerdown', (event) => {
      canvas.setPointerCapture(event.pointerId);
      this.pointers.set(event.pointerId, this.at(event));
      this.startGesture();
    });
    canvas.addEventListener('pointermove', (event) => {
      if (!this.pointers.has(event.pointerId)) return;
      this.pointers.set(event.pointerId, this.at(event));
      this.moveGesture();
    });
    const up = (event) => {
      this.pointers.delete(event.pointerId);
      this.startGesture();
    };
    canvas.addEventListener('pointerup', up);
    canvas.addEventListener('pointercancel', up);
    canvas.addEventListener('dblclick', (event) => {
      if (this.fit || Math.abs(this.shownScale() - 1) > 1e-6) this.actualPixels(...this.at(event));
      else this.fitToFrame();
    });
    canvas.addEventListener('wheel', (event) => {
      if (!event.ctrlKey || !this.width) return;  // a plain wheel scrolls the page
      event.preventDefault();
      this.zoomTo(this.shownScale() * Math.exp(-event.deltaY * 0.01), ...this.at(event));
    }, { passive: false });
    canvas.addEventListener('keydown', (event) => {
      const step = Math.max(this.canvas.width, this.canvas.height) / 10;
      const keys = {
        '+': () => this.zoomStep(true), '=': () => this.zoomStep(true), '-': () => this.zoomStep(false),
        '0': () => this.fitToFrame(), '1': () => this.actualPixels(),
        ArrowLeft: () => this.pan(step, 0), ArrowRight: () => this.pan(-step, 0),
        ArrowUp: () => this.pan(0, step), ArrowDown: () => this.pan(0, -step),
      };
      if (event.key === 'o' || event.key === 'O') {
        event.preventDefault();
        if (!event.repeat) this.hold('key', true);
      } else if (keys[event.key]) {
        event.preventDefault();
        keys[event.key]();
      }
    });
    canvas.addEventListener('keyup', (event) => {
      if (event.key === 'o' || event.key === 'O') this.hold('key', false);
    });
    canvas.addEventListener('blur', () => this.hold('key', false));

    // The split: dragged, or moved by the arrow keys.
    const moveSplit = (event) => {
      const box = this.frame.getBoundingClientRect();
      this.splitAt = Math.min(1, Math.max(0, (event.clientX - box.left) / box.width));
      this.draw();
    };
    split.addEventListener('pointerdown', (event) => {
      split.setPointerCapture(event.pointerId);
      split.dataset.dragging = 'true';
      event.stopPropagation();
    });
    split.addEventListener('pointermove', (event) => {
      if (split.dataset.dragging === 'true') moveSplit(event);
    });
    for (const end of ['pointerup', 'pointercancel']) {
      split.addEventListener(end, () => { delete split.dataset.dragging; });
    }
    split.addEventListener('keydown', (event) => {
      const moves = { ArrowLeft: -0.02, ArrowRight: 0.02, ArrowDown: -0.02, ArrowUp: 0.02, PageDown: -0.1, PageUp: 0.1 };
      if (event.key === 'Home') this.splitAt = 0;
      else if (event.key === 'End') this.splitAt = 1;
      else if (moves[event.key]) this.splitAt = Math.min(1, Math.max(0, this.splitAt + moves[event.key]));
      else return;
      event.preventDefault();
      this.draw();
    });
  }

  // One pointer drags the picture; two pinch it, zooming about their middle.
  startGesture() {
    const points = [...this.pointers.values()];
    const s = this.shownScale();
    if (points.length >= 2) {
      const [a, b] = points;
      this.gesture = { kind: 'pinch', distance: Math.hypot(a[0] - b[0], a[1] - b[1]) || 1, scale: s };
    } else if (points.length === 1) {
      this.gesture = { kind: 'drag', from: points[0] };
    } else {
      this.gesture = null;
    }
  }

  moveGesture() {
    const points = [...this.pointers.values()];
    if (!this.gesture) return;
    if (this.gesture.kind === 'pinch' && points.length >= 2) {
      const [a, b] = points;
      const distance = Math.hypot(a[0] - b[0], a[1] - b[1]);
      this.zoomTo(this.gesture.scale * distance / this.gesture.distance, (a[0] + b[0]) / 2, (a[1] + b[1]) / 2);
    } else if (this.gesture.kind === 'drag' && points.length === 1) {
      const [x, y] = points[0];
      const [fx, fy] = this.gesture.from;
      if (x === fx && y === fy) return;
      this.gesture.from = points[0];
      const { scale } = this.placement();
      if (this.width * scale > this.canvas.width || this.height * scale > this.canvas.height) this.pan(x - fx, y - fy);
    }
  }
}
