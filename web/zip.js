// The zip of a batch: the files as they are (stored, since PNG, JPEG and WebP
// are compressed already), each with its CRC-32, UTF-8 names, and the Zip64
// records where a size or an offset passes what 32 bits hold. The result is a
// Blob made of the files' own Blobs and the headers between them, so the
// files are not copied into one buffer.
const kMost = 0xffffffff;

const crcTable = (() => {
  const table = new Uint32Array(256);
  for (let n = 0; n < 256; ++n) {
    let c = n;
    for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    table[n] = c >>> 0;
  }
  return table;
})();

async function crc32(blob) {
  let crc = 0xffffffff;
  const reader = blob.stream().getReader();
  for (;;) {
    const { done, value } = await reader.read();
    if (done) break;
    for (let i = 0; i < value.length; ++i) crc = crcTable[(crc ^ value[i]) & 0xff] ^ (crc >>> 8);
  }
  return (crc ^ 0xffffffff) >>> 0;
}

// Little-endian fields into a new byte array.
function record(fields) {
  const size = fields.reduce((sum, [bytes, value]) => sum + (bytes === 0 ? value.length : bytes), 0);
  const out = new Uint8Array(size);
  const view = new DataView(out.buffer);
  let at = 0;
  for (const [bytes, value] of fields) {
    if (bytes === 0) out.set(value, at);
    else if (bytes === 2) view.setUint16(at, value, true);
    else if (bytes === 4) view.setUint32(at, value, true);
    else view.setBigUint64(at, BigInt(value), true);
    at += bytes === 0 ? value.length : bytes;
  }
  return out;
}

// The date and time as MS-DOS keeps them (local time, two-second steps).
function dosTime(date) {
  const year = Math.min(Math.max(date.getFullYear(), 1980), 2107);
  return {
    time: (date.getHours() << 11) | (date.getMinutes() << 5) | (date.getSeconds() >> 1),
    date: ((year - 1980) << 9) | ((date.getMonth() + 1) << 5) | date.getDate(),
  };
}

// `entries`: [{name, file (a Blob)}]. `most` is the largest size or offset
// written in 32 bits (lower only to try the Zip64 records on small files).
export async function zip(entries, { date = new Date(), most = kMost, progress = () => {} } = {}) {
  const { time, date: day } = dosTime(date);
  const encoder = new TextEncoder();
  const parts = [];
  const central = [];
  let offset = 0;
  let done = 0;
  for (const { name, file } of entries) {
    const bytes = encoder.encode(name);
    const crc = await crc32(file);
    const size = file.size;
    const wide = size > most || offset > most;
    const version = wide ? 45 : 20;
    const common = [[2, version], [2, 0x0800], [2, 0], [2, time], [2, day], [4, crc]];
    const local = record([[4, 0x04034b50], ...common,
      [4, wide ? kMost : size], [4, wide ? kMost : size], [2, bytes.length], [2, wide ? 20 : 0], [0, bytes],
      ...(wide ? [[2, 1], [2, 16], [8, size], [8, size]] : [])]);
    central.push(record([[4, 0x02014b50], [2, version], ...common,
      [4, wide ? kMost : size], [4, wide ? kMost : size], [2, bytes.length], [2, wide ? 28 : 0],
      [2, 0], [2, 0], [2, 0], [4, 0], [4, wide ? kMost : offset], [0, bytes],
      ...(wide ? [[2, 1], [2, 24], [8, size], [8, size], [8, offset]] : [])]));
    parts.push(local, file);
    offset += local.length + size;
    progress(++done / entries.length);
  }
  const directorySize = central.reduce((sum, c) => sum + c.length, 0);
  const wide = offset > most || directorySize > most || entries.length >= 0xffff;
  const end = [];
  if (wide) {
    end.push(record([[4, 0x06064b50], [8, 44], [2, 45], [2, 45], [4, 0], [4, 0],
      [8, entries.length], [8, entries.length], [8, directorySize], [8, offset]]));
    end.push(record([[4, 0x07064b50], [4, 0], [8, offset + directorySize], [4, 1]]));
  }
  end.push(record([[4, 0x06054b50], [2, 0], [2, 0],
    [2, wide ? 0xffff : entries.length], [2, wide ? 0xffff : entries.length],
    [4, wide ? kMost : directorySize], [4, wide ? kMost : offset], [2, 0]]));
  return new Blob([...parts, ...central, ...end], { type: 'application/zip' });
}
